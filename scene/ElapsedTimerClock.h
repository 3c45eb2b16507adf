// The clock ElapsedTimer reads, replaceable so that its commands can be checked with a clock
// under the caller's control.
#pragma once

// Seconds on some fixed origin; must be callable at any time.
using ElapsedTimerClock = double (*)();

// Makes ElapsedTimer read `clock`; null restores the default, a monotonic clock whose origin is
// the program's start.
void SetElapsedTimerClock(ElapsedTimerClock clock);
