// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <filesystem>
#include <functional>
#include <memory>
#include <string>

#include "forecast/Clock.h"
#include "forecast/PageFetcher.h"
#include "speech/KeySender.h"
#include "speech/ScreenReader.h"
#include "speech/Voice.h"
#include "speech/Window.h"

namespace skycall {

// The outside services the main window object works through.
struct Platform {
  Window& window;
  // Each throws SpeechError (with a message for the start-up log) when the component
  // cannot be created.
  std::function<std::unique_ptr<Voice>()> createVoice;
  std::function<std::unique_ptr<ScreenReader>()> createScreenReader;
  KeySender* keys = nullptr;  // null: every key synthesis fails
  PageFetcher& fetcher;
  const Clock& clock;
  std::filesystem::path programFolder;  // holds progress.ini
  std::filesystem::path workingFolder;  // holds debuglog.txt and myversion.txt
  std::string forecastHost;             // host[:port] of the forecast site
};

}  // namespace skycall
