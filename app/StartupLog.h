#pragma once

#include <filesystem>
#include <fstream>
#include <string>

namespace skycall {

// The start-up log: created empty at every start, one message per line, CR LF after each.
// When the file cannot be created the lines are lost, never the start-up.
class StartupLog {
 public:
  void open(const std::filesystem::path& path);
  void line(const std::wstring& text);
  void close();
  // One line added after start-up has closed the log.
  void append(const std::wstring& text);

 private:
  std::filesystem::path path_;
  std::ofstream out_;
};

}  // namespace skycall
