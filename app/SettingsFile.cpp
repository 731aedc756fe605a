// SPDX-License-Identifier: GPL-3.0-or-later
#include "app/SettingsFile.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <charconv>
#include <chrono>
#include <cmath>
#include <cstring>
#include <fstream>
#include <sstream>
#include <string_view>

#include "text/TextCodec.h"

namespace skycall {

namespace {

// A save's temporary file is named progress.ini.skycall-XXXXXX (mkstemp's six characters), a
// pattern of the program's own: a user's progress.ini.backup is never taken for one.
constexpr std::string_view kTemporaryMark = ".skycall-";
constexpr std::string_view kTemporarySuffix = "XXXXXX";
constexpr auto kStaleTemporaryAge = std::chrono::minutes(1);

bool isDigit(wchar_t c) {
  return c >= L'0' && c <= L'9';
}

bool isLineEnd(wchar_t c) {
  return c == L'\r' || c == L'\n';
}

// A number as the file writes it: optional sign, digits, optional fraction and exponent.
bool readsAsNumber(const std::wstring& s, double& out) {
  std::size_t i = 0;
  if (i < s.size() && (s[i] == L'-' || s[i] == L'+')) ++i;
  std::size_t digits = 0;
  while (i < s.size() && isDigit(s[i])) ++i, ++digits;
  if (i < s.size() && s[i] == L'.') {
    ++i;
    while (i < s.size() && isDigit(s[i])) ++i, ++digits;
  }
  if (digits == 0) return false;
  if (i < s.size() && (s[i] == L'e' || s[i] == L'E')) {
    std::size_t j = i + 1;
    if (j < s.size() && (s[j] == L'-' || s[j] == L'+')) ++j;
    std::size_t expDigits = 0;
    while (j < s.size() && isDigit(s[j])) ++j, ++expDigits;
    if (expDigits == 0) return false;
    i = j;
  }
  if (i != s.size()) return false;
  // Read the same in every locale: the window system sets the user's, where 0.75 may be
  // written 0,75.
  const std::string ascii(s.begin(), s.end());
  const char* first = ascii.data() + (ascii[0] == '+' ? 1 : 0);
  return std::from_chars(first, ascii.data() + ascii.size(), out).ec == std::errc() &&
         std::isfinite(out);
}

std::string systemError(const std::string& what, const std::filesystem::path& path) {
  return what + " " + path.string() + ": " + std::strerror(errno);
}

// A save killed between its write and its rename leaves its temporary file behind; the next
// save clears those too old to belong to a save still in progress.
void removeStaleTemporaries(const std::filesystem::path& path) {
  const std::string stem = path.filename().string() + std::string(kTemporaryMark);
  const auto now = std::filesystem::file_time_type::clock::now();
  std::error_code ignored;
  for (const auto& entry : std::filesystem::directory_iterator(path.parent_path(), ignored)) {
    const std::string name = entry.path().filename().string();
    if (name.size() != stem.size() + kTemporarySuffix.size() || name.rfind(stem, 0) != 0) continue;
    const auto written = entry.last_write_time(ignored);
    if (!ignored && now - written > kStaleTemporaryAge)
      std::filesystem::remove(entry.path(), ignored);
  }
}

// Where a file kept as a link (dotfiles managed elsewhere) really is: written there, the link
// stays a link.
std::filesystem::path linkTarget(std::filesystem::path path) {
  constexpr int kMostHops = 40;  // as the system follows them
  std::error_code error;
  for (int hop = 0; hop < kMostHops && std::filesystem::is_symlink(path, error); ++hop) {
    const std::filesystem::path next = std::filesystem::read_symlink(path, error);
    if (error) break;
    path = next.is_absolute() ? next : path.parent_path() / next;
  }
  return path;
}

}  // namespace

void SettingsReader::skipLineEnd() {
  if (pos_ < text_.size() && text_[pos_] == L'\r') ++pos_;
  if (pos_ < text_.size() && text_[pos_] == L'\n') ++pos_;
}

SettingValue SettingsReader::readValue() {
  if (pos_ >= text_.size()) throw SettingsError("Input past end of file");
  while (pos_ < text_.size() && text_[pos_] == L' ') ++pos_;
  std::wstring value;
  if (pos_ < text_.size() && text_[pos_] == L'"') {
    // A quoted value ends at its line's end at the latest: one spanning lines would be
    // written back as several and shift every later line of the file.
    // Two quotes in a row stand for one quote inside the value.
    const std::size_t lineEnd = std::min(text_.find_first_of(L"\r\n", pos_), text_.size());
    std::size_t at = pos_ + 1;
    for (;;) {
      const std::size_t close = std::min(text_.find(L'"', at), lineEnd);
      value += text_.substr(at, close - at);
      if (close + 1 < lineEnd && text_[close + 1] == L'"') {
        value += L'"';
        at = close + 2;
        continue;
      }
      pos_ = close < lineEnd ? close + 1 : lineEnd;
      break;
    }
    while (pos_ < text_.size() && text_[pos_] != L',' && !isLineEnd(text_[pos_])) ++pos_;
  } else {
    const std::size_t start = pos_;
    while (pos_ < text_.size() && text_[pos_] != L',' && !isLineEnd(text_[pos_])) ++pos_;
    value = text_.substr(start, pos_ - start);
    while (!value.empty() && value.back() == L' ') value.pop_back();
  }
  if (pos_ < text_.size() && text_[pos_] == L',')
    ++pos_;
  else
    skipLineEnd();
  double number = 0;
  if (readsAsNumber(value, number)) return number;
  if (value.empty()) return std::monostate{};
  return value;
}

std::wstring SettingsReader::readLine() {
  if (pos_ >= text_.size()) throw SettingsError("Input past end of file");
  const std::size_t start = pos_;
  while (pos_ < text_.size() && !isLineEnd(text_[pos_])) ++pos_;
  std::wstring line = text_.substr(start, pos_ - start);
  skipLineEnd();
  return line;
}

std::string settingsFileBytes(const SettingValue& speechMode, int rate,
                              const SettingValue& spareSetting, const std::wstring& location) {
  std::wstring text;
  for (const std::wstring& line : {settingLine(speechMode), settingLine(static_cast<double>(rate)),
                                   settingLine(spareSetting), location})
    text += line + L"\r\n";
  for (int i = 4; i < kSettingsLines; ++i) text += L"\r\n";
  return toUtf8(text);
}

void writeFileAtomically(const std::filesystem::path& requested, const std::string& bytes) {
  const std::filesystem::path path = linkTarget(requested);
  removeStaleTemporaries(path);
  std::string temp = path.string() + std::string(kTemporaryMark) + std::string(kTemporarySuffix);
  const int fd = ::mkstemp(temp.data());
  if (fd < 0) throw std::runtime_error(systemError("Cannot create a file beside", path));
  std::size_t done = 0;
  bool ok = true;
  while (ok && done < bytes.size()) {
    const ssize_t n = ::write(fd, bytes.data() + done, bytes.size() - done);
    if (n < 0 && errno == EINTR) continue;
    ok = n > 0;
    if (ok) done += static_cast<std::size_t>(n);
  }
  const std::string failure = ok ? "" : systemError("Cannot write", temp);
  ok = ok && ::fchmod(fd, 0644) == 0 && ::fsync(fd) == 0;
  ::close(fd);
  if (ok && ::rename(temp.c_str(), path.c_str()) == 0) return;
  const std::string message = failure.empty() ? systemError("Cannot replace", path) : failure;
  ::unlink(temp.c_str());
  throw std::runtime_error(message);
}

std::wstring readSettingsText(const std::filesystem::path& path) {
  std::ifstream in(path, std::ios::binary);
  if (!in) throw SettingsError("Cannot open " + path.string());
  std::ostringstream bytes;
  bytes << in.rdbuf();
  return fromUtf8(bytes.str());
}

}  // namespace skycall
