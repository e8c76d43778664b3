// Text of the window system's cells: UTF-8 strings and the characters of cells.
#pragma once

#include <string>

// Decodes UTF-8 (invalid bytes become U+FFFD).
std::u32string utf8_decode(const std::string& text);
std::string utf8_encode(char32_t ch);
