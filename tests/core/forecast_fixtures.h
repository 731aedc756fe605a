#pragma once

#include <filesystem>
#include <sstream>
#include <stdexcept>
#include <string>
#include <vector>

#include "fakes/Files.h"
#include "forecast/TextCodec.h"

namespace skycall::testing {

// The bytes of a saved page under tests/fixtures/pages/.
inline std::string pageBytes(const std::string& name) {
  const std::filesystem::path path = std::string(SKYCALL_FIXTURES) + "/pages/" + name;
  if (!std::filesystem::exists(path)) throw std::runtime_error("missing fixture " + path.string());
  return fakes::readBytes(path);
}

// The rows a saved page must give: one UTF-8 line per row, with \n, \t, \r and \\ written as
// escapes so that rows holding line breaks fit on one line.
inline std::vector<std::wstring> expectedRows(const std::string& name) {
  std::istringstream lines(pageBytes(name));
  std::vector<std::wstring> rows;
  for (std::string line; std::getline(lines, line);) {
    std::string row;
    for (std::size_t i = 0; i < line.size(); ++i) {
      if (line[i] != '\\' || i + 1 == line.size()) {
        row += line[i];
        continue;
      }
      const char escaped = line[++i];
      row += escaped == 'n' ? '\n' : escaped == 't' ? '\t' : escaped == 'r' ? '\r' : escaped;
    }
    rows.push_back(fromUtf8(row));
  }
  return rows;
}

}  // namespace skycall::testing
