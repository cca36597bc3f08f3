#pragma once
// The text rules the HTTP units share: what counts as blank, the case
// mapping (ASCII letters only, so bytes of multi-byte UTF-8 characters pass
// unchanged), and hexadecimal digits.

#include <string>
#include <string_view>

// Without the leading and trailing characters of codes 0 to 32.
std::string_view Trim(std::string_view text);
// Without the leading characters of codes 0 to 32.
std::string_view TrimLeft(std::string_view text);
std::string UpperCase(std::string_view text);
std::string LowerCase(std::string_view text);
// Equal but for the case of ASCII letters.
bool SameText(std::string_view a, std::string_view b);
// The value of a hexadecimal digit of either case; -1 for any other character.
int HexDigitValue(char c);
