// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <filesystem>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "app/RefreshSchedule.h"
#include "interfaces/Background.h"
#include "interfaces/Clock.h"
#include "interfaces/KeySender.h"
#include "interfaces/Notifier.h"
#include "interfaces/PageFetcher.h"
#include "interfaces/ScreenReader.h"
#include "interfaces/Voice.h"
#include "interfaces/Window.h"

namespace skycall {

// The outside services the main window object works through.
struct Platform {
  Window& window;
  // Each throws SpeechError (with a message for the start-up log) when the component
  // cannot be created.
  std::function<std::unique_ptr<Voice>()> createVoice;
  std::function<std::unique_ptr<ScreenReader>()> createScreenReader;
  // Whether a screen reader runs now (it reads dialogs aloud itself); none: never.
  std::function<bool()> screenReaderRunning;
  KeySender* keys = nullptr;  // null: every key synthesis fails
  PageFetcher& fetcher;
  const Clock& clock;
  std::filesystem::path programFolder;  // holds progress.ini
  std::filesystem::path workingFolder;  // holds debuglog.txt and myversion.txt
  std::string forecastHost;             // host[:port] of the forecast site
  // Lines for the start-up log about how the program runs here (the window system chosen, a
  // speech route that cannot work), written after its first line.
  std::vector<std::wstring> startupNotes = {};
  // The forecast and alerts loaded while the program runs, away from the window's thread, by
  // a fetcher of their own; none: only when the user asks.
  Background* background = nullptr;
  PageFetcher* backgroundFetcher = nullptr;
  RefreshTimes refreshTimes = {};
  Notifier* notifier = nullptr;  // null: no desktop notifications
};

}  // namespace skycall
