// SPDX-License-Identifier: GPL-3.0-or-later
#include "platform/ScreenReaderPresence.h"

#include <sys/stat.h>
#include <unistd.h>

#include <QDBusConnection>
#include <QDBusMessage>
#include <QDBusVariant>
#include <QLibraryInfo>
#include <QVersionNumber>
#include <array>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <nlohmann/json.hpp>
#include <string>

namespace skycall {

namespace {

namespace fs = std::filesystem;

constexpr int kStatusTimeoutMs = 300;

// Orca's layouts, as its settings number them.
constexpr int kLaptopLayout = 2;

// Orca's modifier keys by the names its settings give them, in the order they are tried.
struct ModifierKey {
  const char* name;
  HotKeyKey key;
};
constexpr std::array<ModifierKey, 3> kOrcaModifiers{{
    {"Insert", {vk::Insert, true}},
    {"KP_Insert", {vk::Insert, false}},
    {"Caps_Lock", {vk::CapsLock, false}},
}};

bool desktopSaysScreenReaderRuns() {
  QDBusMessage get = QDBusMessage::createMethodCall(
      QStringLiteral("org.a11y.Bus"), QStringLiteral("/org/a11y/bus"),
      QStringLiteral("org.freedesktop.DBus.Properties"), QStringLiteral("Get"));
  get << QStringLiteral("org.a11y.Status") << QStringLiteral("ScreenReaderEnabled");
  // Asking must not start the accessibility bus where the desktop runs none.
  get.setAutoStartService(false);
  const QDBusMessage reply =
      QDBusConnection::sessionBus().call(get, QDBus::Block, kStatusTimeoutMs);
  if (reply.type() != QDBusMessage::ReplyMessage || reply.arguments().isEmpty()) return false;
  return reply.arguments().first().value<QDBusVariant>().variant().toBool();
}

// The variables that tell one desktop from another: an Orca whose own differ from ours reads
// another desktop of the same user (a second login, a nested session), not this one.
constexpr std::array<const char*, 3> kDesktopVariables{"DBUS_SESSION_BUS_ADDRESS", "DISPLAY",
                                                       "WAYLAND_DISPLAY"};

bool onThisDesktop(const fs::path& process) {
  std::ifstream environ(process / "environ", std::ios::binary);
  std::string entry;
  while (std::getline(environ, entry, '\0')) {
    const auto equals = entry.find('=');
    if (equals == std::string::npos) continue;
    const std::string name = entry.substr(0, equals);
    for (const char* variable : kDesktopVariables) {
      const char* ours = std::getenv(variable);
      if (name == variable && ours && entry.compare(equals + 1, std::string::npos, ours) != 0)
        return false;
    }
  }
  return true;
}

bool orcaOfThisUserRuns() {
  std::error_code error;
  for (const auto& entry : fs::directory_iterator("/proc", error)) {
    const std::string pid = entry.path().filename();
    if (pid.find_first_not_of("0123456789") != std::string::npos) continue;
    struct stat owner {};
    if (::stat(entry.path().c_str(), &owner) != 0 || owner.st_uid != ::getuid()) continue;
    std::string name;
    std::getline(std::ifstream(entry.path() / "comm"), name);
    if (name == "orca" && onThisDesktop(entry.path())) return true;
  }
  return false;
}

fs::path orcaSettingsFile() {
  const char* data = std::getenv("XDG_DATA_HOME");
  const char* home = std::getenv("HOME");
  const fs::path base = data && *data == '/' ? fs::path(data)
                        : home               ? fs::path(home) / ".local/share"
                                             : fs::path();
  return base / "orca" / "user-settings.conf";
}

// A setting as Orca takes it: the starting profile's value over the general one.
nlohmann::json orcaSetting(const nlohmann::json& settings, const char* key) {
  const nlohmann::json general = settings.value("general", nlohmann::json::object());
  const nlohmann::json starting = general.value("startingProfile", nlohmann::json::array());
  const std::string profile = starting.size() > 1 && starting[1].is_string()
                                  ? starting[1].get<std::string>()
                                  : std::string("default");
  const nlohmann::json profiles = settings.value("profiles", nlohmann::json::object());
  const nlohmann::json own = profiles.value(profile, nlohmann::json::object());
  if (own.is_object() && own.contains(key)) return own[key];
  return general.is_object() && general.contains(key) ? general[key] : nlohmann::json();
}

ReadTitleKeys readTitleKeysFromSettings() {
  nlohmann::json settings = nlohmann::json::parse(std::ifstream(orcaSettingsFile()), nullptr,
                                                  /*allow_exceptions=*/false);
  if (!settings.is_object()) settings = nlohmann::json::object();
  const nlohmann::json layout = orcaSetting(settings, "keyboardLayout");
  const bool laptop = layout.is_number() && layout.get<int>() == kLaptopLayout;
  nlohmann::json modifiers = orcaSetting(settings, "orcaModifierKeys");
  if (!modifiers.is_array())
    modifiers = laptop ? nlohmann::json{"Caps_Lock"} : nlohmann::json{"Insert"};
  for (const nlohmann::json& name : modifiers)
    for (const ModifierKey& modifier : kOrcaModifiers)
      if (name == modifier.name)
        return {{modifier.key, laptop ? HotKeyKey{vk::Slash} : HotKeyKey{vk::Enter, true}}, true};
  return kCtrlShiftT;  // no modifier key that can be synthesised: Orca has no command to press
}

}  // namespace

bool screenReaderRunning() {
  return orcaOfThisUserRuns() || desktopSaysScreenReaderRuns();
}

std::optional<ReadTitleKeys> orcaReadTitleKeys() {
  if (!orcaOfThisUserRuns()) return std::nullopt;
  // From Qt 6.8 on, Qt itself tells Orca of every new title, and Orca speaks it: its command
  // would only say the title a second time.
  if (QLibraryInfo::version() >= QVersionNumber(6, 8)) return ReadTitleKeys{};
  return readTitleKeysFromSettings();
}

}  // namespace skycall
