#pragma once
// Text crosses between UTF-8 (inside the program) and code page 1251 (files, the
// description, the wire) only at the edges, through these functions.

#include <cstddef>
#include <string>
#include <string_view>

namespace vesk::platform {

// UTF-8 -> cp1251. A character with no cp1251 form becomes '?'; invalid UTF-8 bytes too.
std::string Utf8ToCp1251(std::string_view utf8);
// cp1251 -> UTF-8. Every byte maps (0x98, unassigned, becomes U+FFFD).
std::string Cp1251ToUtf8(std::string_view cp1251);

// cp1251 form of UTF-8 text into `out`. Returns false when a character has no cp1251
// form or the text is not valid UTF-8 (`out` then holds what came before it).
bool TryUtf8ToCp1251(std::string_view utf8, std::string& out);

// Code points of UTF-8 text; invalid, overlong and surrogate sequences become U+FFFD.
std::u32string Utf8ToCodePoints(std::string_view utf8);
// Appends the UTF-8 form of one code point.
void AppendUtf8(std::string& out, char32_t cp);

// Number of characters (code points) of UTF-8 text; equals its length in cp1251.
size_t Utf8Length(std::string_view utf8);
// The first n characters of UTF-8 text.
std::string Utf8Prefix(std::string_view utf8, size_t n);

// Lower/upper case of ASCII and Cyrillic letters (Ё/ё included), other text unchanged.
std::string FoldLower(std::string_view utf8);
std::string FoldUpper(std::string_view utf8);
// Comparison without regard to case, folding ASCII and Cyrillic alike.
bool Iequals(std::string_view a, std::string_view b);
// <0, 0, >0 as strcmp, after folding to lower case.
int Icompare(std::string_view a, std::string_view b);

}  // namespace vesk::platform
