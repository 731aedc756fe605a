// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <optional>
#include <string>
#include <vector>

namespace skycall {

constexpr char kProgramVersion[] = SKYCALL_VERSION;  // set by the build

// What the command line says on the terminal instead of starting the program.
struct TerminalAnswer {
  std::string text;
  int status;  // 0: the text goes to standard output; otherwise a usage error on standard error
};

constexpr int kUsageError = 2;

// The option that asks for every text in high contrast, whatever the desktop's setting.
constexpr char kHighContrastOption[] = "--high-contrast";

// --help and --version answer at once; an option of the program's own it does not know, or an
// argument that is no value of a window-system option (single-dash, which Qt takes), is a usage
// error. None for a command line the program starts with.
std::optional<TerminalAnswer> terminalAnswer(const std::vector<std::string>& args);

// Whether the command line asks for high contrast.
bool asksForHighContrast(const std::vector<std::string>& args);

// The usage error for arguments the window system left untaken.
TerminalAnswer usageError(const std::string& argument);

}  // namespace skycall
