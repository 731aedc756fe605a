#pragma once

// skycall-site run as its own process, the way a user starts it: on a free loopback port,
// its announcement read from stdout, its log kept from stderr.

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <fstream>
#include <regex>
#include <sstream>
#include <stdexcept>
#include <string>
#include <vector>

namespace skycall::sitetest {

class SiteProcess {
 public:
  explicit SiteProcess(std::vector<std::string> extraArgs = {}) {
    logPath_ = "/tmp/skycall-site-test-" + std::to_string(getpid()) + "-" +
               std::to_string(++counter()) + ".log";
    int out[2];
    if (pipe(out) != 0) throw std::runtime_error("pipe");
    std::vector<std::string> args = {SKYCALL_SITE_BINARY, "--listen", "127.0.0.1:0"};
    args.insert(args.end(), extraArgs.begin(), extraArgs.end());
    pid_ = fork();
    if (pid_ == 0) {
      dup2(out[1], STDOUT_FILENO);
      const int log = open(logPath_.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
      dup2(log, STDERR_FILENO);
      close(out[0]);
      std::vector<char*> argv;
      for (auto& arg : args) argv.push_back(arg.data());
      argv.push_back(nullptr);
      execv(argv[0], argv.data());
      _exit(127);
    }
    close(out[1]);
    stdout_ = out[0];
    announcement_ = readLine(std::chrono::seconds(10));
    std::smatch match;
    static const std::regex kPort(R"(http://127\.0\.0\.1:([0-9]+)/)");
    if (std::regex_search(announcement_, match, kPort)) port_ = std::stoi(match[1].str());
  }

  ~SiteProcess() {
    if (pid_ > 0 && !stopped_) stop(SIGKILL);
    if (stdout_ >= 0) close(stdout_);
    unlink(logPath_.c_str());
  }

  int port() const { return port_; }
  std::string host() const { return "127.0.0.1:" + std::to_string(port_); }
  const std::string& announcement() const { return announcement_; }

  // Sends the signal and waits; the exit code, or 128 + signal when the process was killed,
  // or -1 when it did not end within five seconds (it is then killed).
  int stop(int signal) {
    stopped_ = true;
    kill(pid_, signal);
    for (int waited = 0; waited < 500; ++waited) {
      int status = 0;
      if (waitpid(pid_, &status, WNOHANG) == pid_)
        return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
      usleep(10'000);
    }
    kill(pid_, SIGKILL);
    waitpid(pid_, nullptr, 0);
    return -1;
  }

  std::string log() const {
    std::ifstream file(logPath_);
    std::stringstream text;
    text << file.rdbuf();
    return text.str();
  }

 private:
  static int& counter() {
    static int n = 0;
    return n;
  }

  std::string readLine(std::chrono::milliseconds limit) {
    std::string line;
    const auto deadline = std::chrono::steady_clock::now() + limit;
    while (std::chrono::steady_clock::now() < deadline) {
      pollfd fd{stdout_, POLLIN, 0};
      if (poll(&fd, 1, 100) <= 0) continue;
      char c;
      if (read(stdout_, &c, 1) != 1) break;
      if (c == '\n') break;
      line += c;
    }
    return line;
  }

  pid_t pid_ = -1;
  int stdout_ = -1;
  int port_ = 0;
  bool stopped_ = false;
  std::string announcement_;
  std::string logPath_;
};

}  // namespace skycall::sitetest
