#pragma once

#include <string>

#include "speech/Window.h"

namespace skycall {

// Asks for a location until the answer is neither "" (Cancel) nor "0". Line breaks are taken
// out of the answer, so a location always stays one line.
std::wstring promptForLocation(Window& window);

}  // namespace skycall
