// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace skycall {

// Bytes as they stand in an address: letters, digits and "+-._~," stay ("+" is a location's
// blank), every other byte becomes "%XX".
std::string percentEncoded(std::string_view bytes);

// ASCII letters in lower case; other bytes (UTF-8 among them) as they are.
std::string lowered(std::string text);

// The words of a text, split at blanks, tabs and line breaks.
std::vector<std::string> words(std::string_view text);

// Words from..to-1 joined by single blanks.
std::string joined(const std::vector<std::string>& words, std::size_t from, std::size_t to);

// The text without the given characters at either end.
std::string trimmed(std::string_view text, std::string_view unwanted = " \t\r\n");

}  // namespace skycall
