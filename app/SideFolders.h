// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <filesystem>
#include <string>

namespace skycall {

// Where the settings file and the start-up log and version file go.
struct SideFolders {
  std::filesystem::path settings;  // holds progress.ini
  std::filesystem::path log;       // holds debuglog.txt and myversion.txt
};

// What is known about the folder the program runs from.
struct ProgramPlace {
  std::filesystem::path folder;
  bool writable = false;
  bool holdsSettings = false;  // progress.ini is there
};

// The environment variables that say where a user's files live; empty when unset.
struct UserFolders {
  std::string home;
  std::string xdgConfigHome;
  std::string xdgStateHome;
};

// A copy run from its build or unpacked folder keeps its files as it always has: the settings
// beside the executable, the log in the current folder. An installed copy keeps them in the
// user's configuration and state folders, and never writes to the current folder.
SideFolders sideFolders(const ProgramPlace& place, const std::filesystem::path& currentFolder,
                        const UserFolders& user);

// sideFolders() for this process: looks at the executable's folder and the environment, and
// creates the user's folders when an installed copy needs them.
SideFolders locateSideFolders(const std::filesystem::path& programFolder,
                              const std::filesystem::path& currentFolder);

}  // namespace skycall
