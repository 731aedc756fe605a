// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <optional>
#include <string>
#include <vector>

namespace skycall {

constexpr char kProgramVersion[] = SKYCALL_VERSION;  // set by the build

// The text --help or --version prints on the terminal, instead of starting the program; none
// for any other command line (Qt's own options among them).
std::optional<std::string> terminalAnswer(const std::vector<std::string>& args);

}  // namespace skycall
