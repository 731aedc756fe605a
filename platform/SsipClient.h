// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <string>
#include <string_view>

namespace skycall {

// A connection to speech-dispatcher in its own protocol, SSIP: commands and their replies as
// lines over a socket. The program speaks it itself: libspeechd ends the whole process on a
// reply it does not understand, and holds a stdio stream's lock while it waits for one.
class SsipClient {
 public:
  SsipClient() = default;
  ~SsipClient() { close(); }
  SsipClient(const SsipClient&) = delete;
  SsipClient& operator=(const SsipClient&) = delete;

  // Connects where SPEECHD_ADDRESS says ("unix_socket:PATH", "inet_socket:HOST[:PORT]"), else
  // to the user's own daemon, started when none runs, and names the program to it. False, with
  // why, when there is no daemon there or what answers is none.
  bool open(std::string& error);
  void close();
  bool isOpen() const { return socket_ >= 0; }

  // One command ("SET self RATE 30"); true when the daemon took it.
  bool command(std::string_view line);
  // A text spoken, at the priority and rate set before.
  bool speak(std::string_view text);

 private:
  bool connectTo(const std::string& address);
  bool send(std::string_view bytes);
  // The code of the daemon's whole reply (its last line's), 0 when it gave none that SSIP
  // knows.
  int reply();

  int socket_ = -1;
  std::string received_;
};

}  // namespace skycall
