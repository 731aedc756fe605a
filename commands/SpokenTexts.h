// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <exception>

#include "interfaces/PageFetcher.h"

namespace skycall {

// Fixed texts more than one command says.
constexpr wchar_t kForecastNotLoaded[] = L"The forecast could not be loaded.";
constexpr wchar_t kNoForecastForPlace[] = L"No forecast was found for that place.";
constexpr wchar_t kSiteOfAnotherUser[] =
    L"The forecast site on this computer belongs to another user.";
constexpr wchar_t kNoScreenReader[] = L"Jaws does not seem to be responding, Sapi on.";

// What the user hears when a fetch cycle failed: a place the site does not know is for the
// user to retype; a site of another user's, which was not read, is for someone to look into;
// anything else is for them to wait out.
inline const wchar_t* fetchFailureText(const std::exception& failure) {
  if (dynamic_cast<const PlaceNotFound*>(&failure)) return kNoForecastForPlace;
  if (dynamic_cast<const SiteOfAnotherUser*>(&failure)) return kSiteOfAnotherUser;
  return kForecastNotLoaded;
}

}  // namespace skycall
