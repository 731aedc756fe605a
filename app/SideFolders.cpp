// SPDX-License-Identifier: GPL-3.0-or-later
#include "app/SideFolders.h"

#include <pwd.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <cstdlib>
#include <string_view>
#include <system_error>

#include "app/SettingsFile.h"

namespace skycall {

namespace {

namespace fs = std::filesystem;

// Folders a package installs programs into. Root can write to them, and must not leave
// settings there.
constexpr std::array<std::string_view, 6> kSystemProgramFolders = {
    "/usr/bin", "/usr/local/bin", "/bin", "/usr/games", "/usr/local/games", "/usr/sbin"};

bool isSystemProgramFolder(const fs::path& folder) {
  std::string text = folder.lexically_normal().string();
  if (text.size() > 1 && text.back() == '/') text.pop_back();
  return std::find(kSystemProgramFolders.begin(), kSystemProgramFolders.end(), text) !=
         kSystemProgramFolders.end();
}

// A base folder variable counts only when it holds an absolute path.
fs::path baseFolder(const std::string& variable, const std::string& home, const char* underHome) {
  if (!variable.empty() && variable.front() == '/') return variable;
  return fs::path(home) / underHome;
}

std::string environment(const char* name) {
  const char* value = std::getenv(name);
  return value ? value : "";
}

std::string homeFolder() {
  std::string home = environment("HOME");
  if (home.empty())
    if (const passwd* entry = getpwuid(getuid()); entry && entry->pw_dir) home = entry->pw_dir;
  return home;
}

}  // namespace

SideFolders sideFolders(const ProgramPlace& place, const fs::path& currentFolder,
                        const UserFolders& user) {
  const bool portable =
      place.holdsSettings || (place.writable && !isSystemProgramFolder(place.folder));
  if (portable) return {place.folder, currentFolder};
  return {baseFolder(user.xdgConfigHome, user.home, ".config") / "skycall",
          baseFolder(user.xdgStateHome, user.home, ".local/state") / "skycall"};
}

SideFolders locateSideFolders(const fs::path& programFolder, const fs::path& currentFolder) {
  std::error_code ignored;
  const ProgramPlace place{programFolder, access(programFolder.c_str(), W_OK) == 0,
                           fs::exists(programFolder / kSettingsFileName, ignored)};
  const SideFolders folders =
      sideFolders(place, currentFolder,
                  {homeFolder(), environment("XDG_CONFIG_HOME"), environment("XDG_STATE_HOME")});
  // A folder that cannot be made shows up as a file that cannot be written, which the
  // program already reports.
  if (folders.settings != programFolder) fs::create_directories(folders.settings, ignored);
  if (folders.log != currentFolder) fs::create_directories(folders.log, ignored);
  return folders;
}

}  // namespace skycall
