#pragma once

#include <stdlib.h>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <stdexcept>
#include <string>

namespace skycall::fakes {

// A temporary folder, removed with everything in it (made writable first, in case a test
// locked it).
class TempFolder {
 public:
  TempFolder() {
    std::string pattern = (std::filesystem::temp_directory_path() / "skycall-test-XXXXXX");
    if (!::mkdtemp(pattern.data())) throw std::runtime_error("no temporary folder");
    path_ = pattern;
  }
  ~TempFolder() {
    std::error_code ignored;
    std::filesystem::permissions(path_, std::filesystem::perms::owner_all,
                                 std::filesystem::perm_options::add, ignored);
    std::filesystem::remove_all(path_, ignored);
  }
  const std::filesystem::path& path() const { return path_; }

 private:
  std::filesystem::path path_;
};

inline std::string readBytes(const std::filesystem::path& p) {
  std::ifstream in(p, std::ios::binary);
  return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

inline void writeBytes(const std::filesystem::path& p, const std::string& bytes) {
  std::ofstream(p, std::ios::binary | std::ios::trunc) << bytes;
}

// A settings file as the program writes it: route, rate, an empty spare line, the location,
// and nine empty lines; route and rate as their lines stand (" 0 ", "-3 ").
inline std::string settingsFile(const std::string& route, const std::string& rate,
                                const std::string& location) {
  std::string s = route + "\r\n" + rate + "\r\n\r\n" + location + "\r\n";
  for (int i = 0; i < 9; ++i) s += "\r\n";
  return s;
}

}  // namespace skycall::fakes
