// SPDX-License-Identifier: GPL-3.0-or-later
#include "text/Words.h"

#include <algorithm>
#include <sstream>

namespace skycall {

std::string percentEncoded(std::string_view bytes) {
  constexpr std::string_view kHex = "0123456789ABCDEF";
  constexpr std::string_view kPlainMarks = "+-._~,";
  std::string out;
  out.reserve(bytes.size());
  for (const char ch : bytes) {
    const auto c = static_cast<unsigned char>(ch);
    if ((c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') ||
        kPlainMarks.find(ch) != std::string_view::npos) {
      out.push_back(ch);
    } else {
      out.push_back('%');
      out.push_back(kHex[c >> 4]);
      out.push_back(kHex[c & 0x0F]);
    }
  }
  return out;
}

std::string lowered(std::string text) {
  std::transform(text.begin(), text.end(), text.begin(), [](char c) {
    return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c;
  });
  return text;
}

std::vector<std::string> words(std::string_view text) {
  std::vector<std::string> out;
  std::istringstream in{std::string(text)};
  for (std::string word; in >> word;) out.push_back(word);
  return out;
}

std::string joined(const std::vector<std::string>& words, std::size_t from, std::size_t to) {
  std::string out;
  for (std::size_t i = from; i < to; ++i) out += (out.empty() ? "" : " ") + words[i];
  return out;
}

std::string trimmed(std::string_view text, std::string_view unwanted) {
  const auto first = text.find_first_not_of(unwanted);
  if (first == std::string_view::npos) return {};
  return std::string(text.substr(first, text.find_last_not_of(unwanted) - first + 1));
}

}  // namespace skycall
