// SPDX-License-Identifier: GPL-3.0-or-later
#include "platform/SiteStarter.h"

#include <fcntl.h>
#include <linux/close_range.h>
#include <signal.h>
#include <sys/prctl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <exception>
#include <sstream>
#include <thread>
#include <vector>

#include "http/OwnSite.h"

namespace skycall {

namespace {

namespace fs = std::filesystem;

constexpr char kSiteProgram[] = "skycall-site";
// The user unit's own arguments.
constexpr char kSourceOption[] = "--source";
constexpr char kSourceChoice[] = "auto";
constexpr auto kAnswerWait = std::chrono::seconds(3);
constexpr auto kRetryEvery = std::chrono::milliseconds(50);

// The site beside the executable, else the first on PATH; empty when there is none.
fs::path siteProgram(const fs::path& programFolder) {
  if (::access((programFolder / kSiteProgram).c_str(), X_OK) == 0)
    return programFolder / kSiteProgram;
  const char* path = std::getenv("PATH");
  std::istringstream folders(path ? path : "");
  for (std::string folder; std::getline(folders, folder, ':');)
    if (!folder.empty() && ::access((fs::path(folder) / kSiteProgram).c_str(), X_OK) == 0)
      return fs::path(folder) / kSiteProgram;
  return {};
}

}  // namespace

SiteStarter::SiteStarter(CurlFetcher& fetcher, std::string host, fs::path programFolder,
                         std::function<void()> whileWaiting,
                         std::function<void(const std::string&)> report)
    : fetcher_(fetcher, host),
      host_(std::move(host)),
      programFolder_(std::move(programFolder)),
      whileWaiting_(std::move(whileWaiting)),
      report_(std::move(report)) {}

SiteStarter::~SiteStarter() {
  if (!siteRuns()) return;
  ::kill(site_, SIGTERM);
  ::waitpid(site_, nullptr, 0);
}

FetchedPage SiteStarter::fetch(const std::string& address) {
  if (!onThisMachine(host_)) return fetcher_.fetch(address);
  std::exception_ptr unread;
  try {
    return fetcher_.fetch(address);
  } catch (const SiteOfAnotherUser& e) {
    if (report_) report_(e.what());
    unread = std::current_exception();
  } catch (const FetchRefused&) {
    unread = std::current_exception();
  }
  if (!siteRuns() && !startSite()) std::rethrow_exception(unread);
  // Until the site started publishes its address, the one found may still be there.
  const auto deadline = std::chrono::steady_clock::now() + kAnswerWait;
  for (;;) {
    try {
      return fetcher_.fetch(address);
    } catch (const SiteOfAnotherUser&) {
      if (!siteRuns() || std::chrono::steady_clock::now() >= deadline) throw;
    } catch (const FetchRefused&) {
      if (!siteRuns() || std::chrono::steady_clock::now() >= deadline) throw;
    }
    if (whileWaiting_) whileWaiting_();
    std::this_thread::sleep_for(kRetryEvery);
  }
}

bool SiteStarter::siteRuns() {
  if (site_ <= 0) return false;
  if (::waitpid(site_, nullptr, WNOHANG) == 0) return true;
  site_ = -1;  // it ended, and is reaped
  return false;
}

bool SiteStarter::startSite() {
  const fs::path program = siteProgram(programFolder_);
  if (program.empty()) return false;
  const std::vector<std::string> args = {program.string(), kSourceOption, kSourceChoice};
  std::vector<char*> argv;
  for (const std::string& arg : args) argv.push_back(const_cast<char*>(arg.c_str()));
  argv.push_back(nullptr);
  const pid_t parent = ::getpid();
  const pid_t child = ::fork();
  if (child < 0) return false;
  if (child == 0) {
    // Ends with the program, even one killed; its request log is not for the user's terminal.
    ::prctl(PR_SET_PDEATHSIG, SIGTERM);
    if (::getppid() != parent) ::_exit(1);
    const int quiet = ::open("/dev/null", O_WRONLY);
    if (quiet >= 0) {
      ::dup2(quiet, STDOUT_FILENO);
      ::dup2(quiet, STDERR_FILENO);
    }
    // Nor does it hold the program's connections (the X display, the buses) open after it.
    ::close_range(STDERR_FILENO + 1, ~0U, 0);
    ::execv(argv[0], argv.data());
    ::_exit(127);
  }
  site_ = child;
  if (report_) {
    std::string command;
    for (const std::string& arg : args) command += (command.empty() ? "" : " ") + arg;
    report_("No forecast site of this user answered: started " + command +
            ", which ends with Skycall");
  }
  return true;
}

}  // namespace skycall
