// SPDX-License-Identifier: GPL-3.0-or-later
#include "app/StartupLog.h"

#include <cerrno>
#include <cstring>
#include <iostream>

#include "text/TextCodec.h"

namespace skycall {

void StartupLog::open(const std::filesystem::path& path) {
  path_ = path;
  out_.open(path, std::ios::binary | std::ios::trunc);
  if (!out_.is_open()) reportTrouble();
}

void StartupLog::line(const std::wstring& text) {
  if (!out_.is_open()) return;
  out_ << toUtf8(text) << "\r\n";
  out_.flush();
  if (!out_) reportTrouble();
}

void StartupLog::close() {
  if (out_.is_open()) out_.close();
}

void StartupLog::append(const std::wstring& text) {
  if (path_.empty()) return;
  out_.open(path_, std::ios::binary | std::ios::app);
  if (!out_.is_open()) reportTrouble();
  line(text);
  close();
}

void StartupLog::reportTrouble() {
  if (reported_) return;
  reported_ = true;
  std::cerr << "skycall: cannot write " << path_.string() << ": " << std::strerror(errno)
            << "; the program goes on without it\n";
}

}  // namespace skycall
