// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <stdlib.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

// The one reader of the test data under tests/. Expected texts are written in ASCII with escapes
// (\n \t \r \0 \\ \xHH for a byte, \u{HEX} for a character, \*{N}c for N times c), so that no
// expected value passes through the program's own decoder.
namespace skycall::fixtures {

namespace fs = std::filesystem;

inline fs::path path(const std::string& relative) {
  return fs::path(SKYCALL_TESTS) / relative;
}
inline std::string readBytes(const fs::path& p) {
  std::ifstream in(p, std::ios::binary);
  return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}
inline void writeBytes(const fs::path& p, const std::string& bytes) {
  std::ofstream(p, std::ios::binary | std::ios::trunc) << bytes;
}

// An escaped field as characters (wide) or as bytes (narrow).
template <typename Char>
std::basic_string<Char> unescape(const std::string& field) {
  std::basic_string<Char> out;
  std::size_t times = 1;  // set by \*{N} for the next character
  const auto put = [&](auto c) { out.append(std::exchange(times, 1), static_cast<Char>(c)); };
  for (std::size_t i = 0; i < field.size(); ++i) {
    const char e = field[i] == '\\' && i + 1 < field.size() ? field[++i] : 0;  // escaped
    if (e == 'x' || e == 'u' || e == '*') {
      const std::size_t start = i + (e == 'x' ? 1 : 2);
      const std::size_t end = e == 'x' ? start + 2 : field.find('}', start);
      const auto n = std::stoul(field.substr(start, end - start), nullptr, e == '*' ? 10 : 16);
      i = e == 'x' ? end - 1 : end;
      e == '*' ? void(times = n) : put(n);
    } else {
      put(!e ? field[i] : e == 'n' ? '\n' : e == 't' ? '\t' : e == 'r' ? '\r' : e == '0' ? 0 : e);
    }
  }
  return out;
}
inline constexpr auto text = &unescape<wchar_t>;
inline constexpr auto bytes = &unescape<char>;

// Splits a line at " | "; one that ends in " |" ends in an empty field.
inline std::vector<std::string> fields(std::string line) {
  if (line.ends_with(" |")) line += ' ';
  std::vector<std::string> out;
  for (std::size_t at = 0, bar = 0; bar != std::string::npos; at = bar + 3) {
    bar = line.find(" | ", at);
    out.push_back(line.substr(at, bar - at));
  }
  return out;
}

// One line of a data file: where it stands ("keys.txt:15") and what it says.
struct Line {
  std::string where, text;
};

// The lines of a data file that are neither blank nor notes (starting with "#").
inline std::vector<Line> lines(const fs::path& file) {
  std::istringstream in(readBytes(file));
  std::vector<Line> out;
  int number = 0;
  for (std::string line; std::getline(in, line);)
    if (++number, !line.empty() && line[0] != '#')
      out.push_back({file.filename().string() + ":" + std::to_string(number), line});
  return out;
}

// The files of a folder under tests/ with the given ending, in name order.
inline std::vector<fs::path> files(const std::string& folder, const std::string& ext) {
  std::vector<fs::path> found;
  for (const auto& entry : fs::directory_iterator(path(folder)))
    if (entry.path().extension() == ext) found.push_back(entry.path());
  std::sort(found.begin(), found.end());
  return found;
}

// A saved forecast page: its first line "<!-- kind=K weekday=N charset=C" names the page kind,
// the weekday it is read on and the charset its response declares, then lists the rows it gives
// up to "-->"; the page as the site sends it follows. A .rows file holds the rows alone.
struct SavedPage {
  std::string kind, charset, body;
  int weekday = 0;
  std::vector<std::wstring> rows;
};
inline SavedPage page(const fs::path& file) {
  std::istringstream in(readBytes(file));
  SavedPage p;
  std::string line, word;
  if (in.peek() == '<') {
    std::getline(in, line);
    for (std::istringstream heading(line); heading >> word;) {
      const auto value = word.substr(word.find('=') + 1);
      if (word.starts_with("kind=")) p.kind = value;
      if (word.starts_with("weekday=")) p.weekday = std::stoi(value);
      if (word.starts_with("charset=")) p.charset = value;
    }
  }
  while (std::getline(in, line) && line != "-->") p.rows.push_back(text(line));
  if (in) p.body = in.str().substr(static_cast<std::size_t>(in.tellg()));
  return p;
}

// A temporary folder, removed with everything in it.
struct TempFolder {
  const fs::path dir = [] {
    std::string pattern = fs::temp_directory_path() / "skycall-test-XXXXXX";
    if (!::mkdtemp(pattern.data())) throw std::runtime_error("no temporary folder");
    return fs::path(pattern);
  }();
  std::error_code ignored;
  ~TempFolder() { fs::remove_all(dir, ignored); }
};

}  // namespace skycall::fixtures
