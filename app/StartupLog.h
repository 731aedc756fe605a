// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <filesystem>
#include <fstream>
#include <string>

namespace skycall {

// The start-up log: created empty at every start, one message per line, CR LF after each.
// When the file cannot be created or written the lines are lost, never the start-up; the
// terminal is told once.
class StartupLog {
 public:
  void open(const std::filesystem::path& path);
  void line(const std::wstring& text);
  void close();
  bool isOpen() const { return out_.is_open(); }
  // One line added after start-up has closed the log.
  void append(const std::wstring& text);

 private:
  std::filesystem::path path_;
  void reportTrouble();

  std::ofstream out_;
  bool reported_ = false;
};

}  // namespace skycall
