// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <string>
#include <string_view>

namespace skycall {

// A page body as text, by the charset its response declared (UTF-8, ISO-8859-1, windows-1252;
// the name in any case); an unknown or missing charset is read as UTF-8. UTF-8 is read as
// fromUtf8 does, so a stray windows-1252 byte in a UTF-8 page still comes out as its character.
std::wstring decodePage(std::string_view body, std::string_view charset);

// UTF-8 with windows-1252 for invalid bytes, so no byte is ever lost.
std::wstring fromUtf8(std::string_view bytes);

// Lone surrogates and values above U+10FFFF become U+FFFD.
std::string toUtf8(std::wstring_view text);

}  // namespace skycall
