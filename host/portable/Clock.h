// The portable loop's clock. Programs run on real time; tests switch to a virtual clock on which
// time moves only when the loop would otherwise block: it then jumps to the next timer deadline,
// so timer-driven logic runs in (deadline, sequence) order without sleeping.
#pragma once

#include <cstdint>

namespace host::portable {

void UseVirtualClock();
void UseRealClock();
// Moves the virtual clock forward; timers that become due fire at the next dispatch.
void AdvanceClock(std::int64_t milliseconds);

}  // namespace host::portable
