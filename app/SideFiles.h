// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <filesystem>
#include <string>

namespace skycall {

constexpr char kStartupLogName[] = "debuglog.txt";
constexpr char kVersionFileName[] = "myversion.txt";

// The version file: one line holding the version. Throws std::runtime_error when it cannot
// be written.
void writeVersionFile(const std::filesystem::path& folder, const std::wstring& version);

}  // namespace skycall
