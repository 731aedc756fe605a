// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <optional>
#include <string>

#include "commands/CommandHost.h"

namespace skycall {

// Asks for a location until the answer is neither "" nor "0"; none when the user leaves the box
// (Esc, Cancel, its close button). Line breaks are taken out of the answer, so a location always
// stays one line. With no screen reader running the question is said each time the box is shown
// (a screen reader reads the box itself). saidBefore, when given, is a text said just before the
// box: it is said again joined to the first question, which would otherwise cut it off.
std::optional<std::wstring> promptForLocation(CommandHost& form,
                                              const std::wstring& saidBefore = L"");

}  // namespace skycall
