// Comparisons of names the system reads without regard to case (directory names, account words), over
// ASCII letters only: the names compared are ASCII, and a code page's other letters are left as they are.
#pragma once

#include <string_view>

namespace brolt {

bool equalIgnoringCase(std::string_view a, std::string_view b);
bool startsWithIgnoringCase(std::string_view text, std::string_view prefix);
bool endsWithIgnoringCase(std::string_view text, std::string_view suffix);
// c with an ASCII capital made small; any other byte as it is.
char asciiLower(char c);

}  // namespace brolt
