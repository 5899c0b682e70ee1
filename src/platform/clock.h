// Wall clock, steady clock and local-time texts.
#pragma once

#include <cstdint>
#include <string>

namespace velorin::platform {

// 100-nanosecond ticks since 1970-01-01 00:00:00 UTC.
int64_t WallClockTicks();

// Steady clock in nanoseconds.
int64_t SteadyNanoseconds();

// A steady clock of a few milliseconds' resolution that costs far less to
// read: for deciding whether a poll is due.
int64_t CoarseSteadyNanoseconds();

// Sleeps until the steady clock reads `deadline` nanoseconds (at once when it has passed).
void SleepUntilSteady(int64_t deadline);

// Local time of whole seconds since the epoch as "%F %H:%M:%S".
std::string FormatLocalTime(int64_t seconds_since_epoch);

// The C library's ctime text of the present moment: 24 characters and a line feed.
std::string CtimeNow();

}  // namespace velorin::platform
