// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <string>

#include "commands/CommandHost.h"

namespace skycall {

// Asks for a location until the answer is neither "" (Cancel) nor "0", saying the question
// each time the box is shown. Line breaks are taken out of the answer, so a location always
// stays one line. saidBefore, when given, is a text said just before the box: it is said again
// joined to the first question, which would otherwise cut it off.
std::wstring promptForLocation(CommandHost& form, const std::wstring& saidBefore = L"");

}  // namespace skycall
