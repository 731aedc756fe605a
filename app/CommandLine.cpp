// SPDX-License-Identifier: GPL-3.0-or-later
#include "app/CommandLine.h"

#include <algorithm>

namespace skycall {

namespace {

constexpr char kUsage[] =
    "usage: skycall [--help] [--version] [--refresh MINUTES] [--alerts-every MINUTES]\n"
    "               [--high-contrast]\n";

// Every text in high contrast, whatever the desktop's setting.
constexpr char kHighContrastOption[] = "--high-contrast";

// A day in minutes: longer waits are no refresh.
constexpr long kLongestWait = 24 * 60;

constexpr char kHelp[] =
    "Reads the local weather forecast aloud, for blind and low-vision users.\n"
    "\n"
    "Keys in the window:\n"
    "  Down, Up         next, previous topic (Right and Left too)\n"
    "  Enter            on the first topic: asks for a new location\n"
    "  Ctrl             stops speech\n"
    "  Tab              next speech route: the voice (speech-dispatcher); the screen reader\n"
    "                   (the window title); the title plus the read-title key (Orca's own,\n"
    "                   Insert+KP_Enter or Caps Lock+slash, else Ctrl+Shift+T); the screen\n"
    "                   reader's speech interface\n"
    "  Page Up, Down    faster, slower voice\n"
    "  Esc              minimises the window; Shift+Esc saves the settings and quits\n"
    "Any other key repeats the current topic. Esc in the first location box quits.\n"
    "\n"
    "The window shows the last text said in large type, above the forecast's rows with the\n"
    "current topic's rows highlighted. It follows the desktop's text size, dark style and\n"
    "high-contrast setting.\n"
    "\n"
    "Options:\n"
    "  --refresh MINUTES       load the forecast again this often (default 30; 0: never),\n"
    "                          besides at midnight and on waking from a suspend, silently\n"
    "  --alerts-every MINUTES  look for weather alerts this often (default 2; 0: only with the\n"
    "                          forecast); a new alert is said at once, and shown as a desktop\n"
    "                          notification on the screen reader's routes\n"
    "  --high-contrast         every text in high contrast, whatever the desktop's setting\n"
    "\n"
    "The forecast comes from skycall-site on this machine. The package starts it in every\n"
    "user session (restart it with: systemctl --user restart skycall-site); when none answers,\n"
    "Skycall starts one itself, which ends with it. It serves live weather from the Open-Meteo\n"
    "services when they answer at its start, else the demo forecast, which says so.\n"
    "\n"
    "Files: an installed copy keeps progress.ini (route, rate, location; saved by Shift+Esc)\n"
    "in $XDG_CONFIG_HOME/skycall, and debuglog.txt and myversion.txt (written at each start)\n"
    "in $XDG_STATE_HOME/skycall; a copy run from a folder it can write keeps progress.ini\n"
    "beside itself and the other two in the current folder. See skycall(1).\n";

}  // namespace

std::variant<TerminalAnswer, ProgramOptions> readCommandLine(const std::vector<std::string>& args) {
  ProgramOptions options;
  const std::pair<const char*, int*> minutes[] = {
      {"--refresh", &options.refreshTimes.refreshMinutes},
      {"--alerts-every", &options.refreshTimes.alertsMinutes}};
  bool valueMayFollow = false;  // after a single-dash option, which the window system takes
  for (std::size_t i = 0; i < args.size(); ++i) {
    const std::string& arg = args[i];
    if (arg == "--version")
      return TerminalAnswer{std::string("skycall ") + kProgramVersion + "\n", 0};
    if (arg == "--help" || arg == "-h") return TerminalAnswer{std::string(kUsage) + kHelp, 0};
    if (arg == kHighContrastOption) {
      options.highContrast = true;
      valueMayFollow = false;
      continue;
    }
    bool taken = false;
    for (const auto& [name, value] : minutes) {
      const std::string prefix = std::string(name) + "=";
      if (arg != name && !arg.starts_with(prefix)) continue;
      const std::string given =
          arg == name ? (i + 1 < args.size() ? args[++i] : "") : arg.substr(prefix.size());
      if (given.empty() || given.size() > 5 ||
          given.find_first_not_of("0123456789") != std::string::npos ||
          std::stol(given) > kLongestWait)
        return TerminalAnswer{
            std::string("skycall: ") + name + " takes a number of minutes from 0 to " +
                std::to_string(kLongestWait) + ", not \"" + given + "\"\n" + kUsage,
            kUsageError};
      *value = std::stoi(given);
      taken = true;
    }
    if (taken) {
      valueMayFollow = false;
      continue;
    }
    const bool qtOption = arg.size() > 1 && arg[0] == '-' && arg[1] != '-';
    if (!qtOption && !valueMayFollow) return usageError(arg);
    valueMayFollow = qtOption;
  }
  return options;
}

TerminalAnswer usageError(const std::string& argument) {
  return {"skycall: unknown argument \"" + argument + "\"\n" + kUsage +
              "Try 'skycall --help' for more.\n",
          kUsageError};
}

}  // namespace skycall
