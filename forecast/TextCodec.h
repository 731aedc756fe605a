#pragma once

#include <string>
#include <string_view>

namespace skycall {

// A page body as text, by the charset its response declared (UTF-8, ISO-8859-1, windows-1252);
// otherwise UTF-8, with each invalid byte read as windows-1252.
std::wstring decodePage(std::string_view body, std::string_view charset);

// UTF-8 with windows-1252 for invalid bytes, so no byte is ever lost.
std::wstring fromUtf8(std::string_view bytes);

std::string toUtf8(std::wstring_view text);

}  // namespace skycall
