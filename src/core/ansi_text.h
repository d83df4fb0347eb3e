// Conversions between narrow text in the ANSI code page and UTF-16, for the wide system calls and
// for text handed to the Java side. (File names go through the file-API code page in files/paths.h.)
#pragma once

#include <string>
#include <string_view>

// The UTF-16 form of ANSI code page text; embedded terminators are converted like any character.
std::wstring fromAnsiCodePage(std::string_view text);
// The ANSI code page form of UTF-16 text; characters without one become the code page's default.
std::string toAnsiCodePage(std::wstring_view text);
