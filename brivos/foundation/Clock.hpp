#pragma once

#include <functional>

#include "brivos/foundation/Date.hpp"

namespace brivos {

// The current local date and time, to the whole second.
Date Now();

// The system's local date and time, to the whole second, whatever clock
// SetClock installed.
Date SystemNow();

// Test seam: the clock every "current local date and time" reads. nullptr
// restores the system clock.
void SetClock(std::function<Date()> now);

// True while no clock is installed: Now() reads the system's.
bool ClockIsSystem();

}  // namespace brivos
