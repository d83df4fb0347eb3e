# The word size a test source is about, from its "word size:" line: "# word size: 32" or
# "// word size: 64" (the first such line counts); "any" when it has none. A test runs on every build
# whose word size it names, or on every build for "any".
#
# In script mode it prints the answer for one file, for the tests of this rule:
#   cmake -DWORD_SIZE_OF=<file> -P cmake/word_size.cmake
function(brolt_word_size_of source out)
    file(STRINGS ${source} lines REGEX "^[ \t]*(#|//)[ \t]*word size:" LIMIT_COUNT 1)
    set(value any)
    if(lines)
        string(REGEX REPLACE "^[ \t]*(#|//)[ \t]*word size:[ \t]*([^ \t]*).*$" "\\2" value "${lines}")
    endif()
    if(NOT value MATCHES "^(any|32|64)$")
        message(FATAL_ERROR "${source}: the word size must be any, 32 or 64, not \"${value}\"")
    endif()
    set(${out} ${value} PARENT_SCOPE)
endfunction()

if(CMAKE_SCRIPT_MODE_FILE AND DEFINED WORD_SIZE_OF)
    brolt_word_size_of(${WORD_SIZE_OF} answer)
    message(NOTICE "${answer}")
endif()
