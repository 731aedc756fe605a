// SPDX-License-Identifier: GPL-3.0-or-later
#include "app/CommandLine.h"

namespace skycall {

std::optional<std::string> terminalAnswer(const std::vector<std::string>& args) {
  for (const std::string& arg : args) {
    if (arg == "--version") return std::string("skycall ") + kProgramVersion + "\n";
    if (arg == "--help" || arg == "-h")
      return "usage: skycall [--help] [--version]\n"
             "Reads the local weather forecast aloud, from the skycall-site forecast site.\n"
             "In the window: Down and Up step through the topics, Enter on the first topic\n"
             "changes the location, Tab changes the speech route, Page Up and Page Down the\n"
             "rate, Ctrl stops speech, Esc minimises, Shift+Esc saves the settings and quits.\n"
             "An installed copy keeps progress.ini in $XDG_CONFIG_HOME/skycall and\n"
             "debuglog.txt and myversion.txt in $XDG_STATE_HOME/skycall; a copy run from a\n"
             "folder it can write keeps progress.ini beside itself and the other two in the\n"
             "current folder.\n";
  }
  return std::nullopt;
}

}  // namespace skycall
