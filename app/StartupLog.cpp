#include "app/StartupLog.h"

#include "forecast/TextCodec.h"

namespace skycall {

void StartupLog::open(const std::filesystem::path& path) {
  path_ = path;
  out_.open(path, std::ios::binary | std::ios::trunc);
}

void StartupLog::line(const std::wstring& text) {
  if (!out_.is_open()) return;
  out_ << toUtf8(text) << "\r\n";
  out_.flush();
}

void StartupLog::close() {
  if (out_.is_open()) out_.close();
}

void StartupLog::append(const std::wstring& text) {
  if (path_.empty()) return;
  out_.open(path_, std::ios::binary | std::ios::app);
  line(text);
  close();
}

}  // namespace skycall
