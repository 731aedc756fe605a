#pragma once

// skycall-site run as its own process, the way a user starts it: on a free loopback port, its
// announcement and log read from one pipe.

#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <regex>
#include <string>
#include <vector>

namespace skycall::sitetest {

class SiteProcess {
 public:
  explicit SiteProcess(std::vector<std::string> args = {}) {
    args.insert(args.begin(), {SKYCALL_SITE_BINARY, "--listen", "127.0.0.1:0"});
    int out[2];
    if (pipe(out) != 0) return;
    pid_ = fork();
    if (pid_ == 0) {
      dup2(out[1], STDOUT_FILENO);
      dup2(out[1], STDERR_FILENO);
      std::vector<char*> argv;
      for (auto& arg : args) argv.push_back(arg.data());
      argv.push_back(nullptr);
      execv(argv[0], argv.data());
      _exit(127);
    }
    close(out[1]);
    // Kept open while the site runs: a closed pipe would end it at its next line. The
    // announcement is the line with the address; a site that hangs before it is left to the
    // test's time-out.
    output_ = fdopen(out[0], "r");
    std::smatch match;
    while (port_ == 0 && !(announcement_ = readLine()).empty())
      if (std::regex_search(announcement_, match, std::regex(R"(http://127\.0\.0\.1:([0-9]+)/)")))
        port_ = std::stoi(match[1].str());
  }

  ~SiteProcess() {
    if (pid_ > 0 && !stopped_) stop(SIGKILL);
    if (output_) fclose(output_);
  }

  int port() const { return port_; }
  const std::string& announcement() const { return announcement_; }

  // Sends the signal and waits: the exit code, 128 + signal when it was killed, or -1 when it
  // did not end within five seconds.
  int stop(int signal) {
    stopped_ = true;
    kill(pid_, signal);
    int status = 0;
    for (int waited = 0; waited < 500; ++waited, usleep(10'000))
      if (waitpid(pid_, &status, WNOHANG) == pid_)
        return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
    kill(pid_, SIGKILL);
    waitpid(pid_, nullptr, 0);
    return -1;
  }

  // Everything the site wrote after its announcement; call after stop().
  std::string log() {
    std::string text;
    for (std::string line; !(line = readLine()).empty();) text += line;
    return text;
  }

 private:
  std::string readLine() {
    char line[1024] = "";
    return output_ && fgets(line, sizeof line, output_) ? line : "";
  }

  FILE* output_ = nullptr;
  pid_t pid_ = -1;
  int port_ = 0;
  bool stopped_ = false;
  std::string announcement_;
};

}  // namespace skycall::sitetest
