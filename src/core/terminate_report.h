// What the launcher writes to standard error when the C++ runtime ends it (an exception nothing
// caught, a noexcept function that threw). The standard library's own report demangles the
// exception's type name with a general demangler, the largest single piece the launcher would link;
// the launcher only ever throws the standard library's exceptions, so a table of their names gives
// the same text.
#pragma once

#include <cstdio>
#include <typeinfo>

namespace brolt {

// The readable name of a standard library exception type ("std::bad_alloc"); the name as the
// compiler stores it for any other type, as the standard library's report shows a name it cannot
// demangle.
const char* readableTypeName(const std::type_info& type);

// Writes the standard library's report on the exception being handled to out: its type, and what()
// for a std::exception; or that there is none. Allocates nothing, as it may report a std::bad_alloc.
void writeTerminateReport(std::FILE* out);

}  // namespace brolt
