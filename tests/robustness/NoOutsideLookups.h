#pragma once

namespace skycall::robustness {

// How many look-ups of ".invalid" names this suite has answered without the name server.
int reservedNamesAnsweredHere();

}  // namespace skycall::robustness
