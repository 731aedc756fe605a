// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <string>
#include <variant>
#include <vector>

#include "app/RefreshSchedule.h"

namespace skycall {

constexpr char kProgramVersion[] = SKYCALL_VERSION;  // set by the build

// What the command line says on the terminal instead of starting the program.
struct TerminalAnswer {
  std::string text;
  int status;  // 0: the text goes to standard output; otherwise a usage error on standard error
};

constexpr int kUsageError = 2;

// What the program starts with.
struct ProgramOptions {
  RefreshTimes refreshTimes;
  bool highContrast = false;  // every text in high contrast, whatever the desktop's setting
};

// --help and --version answer at once; an option of the program's own it does not know, one
// without its value, or an argument that is no value of a window-system option (single-dash,
// which Qt takes), is a usage error. Otherwise the options the program starts with:
// --refresh MINUTES and --alerts-every MINUTES (0: never), as "--refresh 30" or "--refresh=30",
// and --high-contrast.
std::variant<TerminalAnswer, ProgramOptions> readCommandLine(const std::vector<std::string>& args);

// The usage error for arguments the window system left untaken.
TerminalAnswer usageError(const std::string& argument);

}  // namespace skycall
