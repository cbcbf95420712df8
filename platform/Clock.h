// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The system's date-time: days since 1899-12-30 00:00 local time as a double, the fraction being
// the time of day. All code takes "now" from here; tests replace it.

#include <cstdint>
#include <functional>
#include <string>

namespace oru::clock {

double now();
// Replaces now() until reset with nullptr. Used by tests for fixed dates.
void setNowForTesting(std::function<double()> source);

// The local date-time of a moment given as seconds and nanoseconds since 1970-01-01 00:00 UTC
// (a file's modification time), to the millisecond.
double fromUnix(int64_t seconds, int64_t nanoseconds);

// Date-time from local calendar fields (month 1-12), and back.
double fromLocal(int year, int month, int day, int hour, int minute, int second, int millisecond = 0);
struct LocalTime { int year, month, day, hour, minute, second, millisecond; };
// dateTime must be inRange (otherwise a zeroed LocalTime).
LocalTime toLocal(double dateTime);
// Whether dateTime is a finite date-time from year 1 to year 9999: the ones a calendar shows.
// A catalog may hold anything (NaN, infinities, 1e300); those are shown as "?".
bool inRange(double dateTime);
// "YYYY-MM-DD HH:MM:SS", or "?" for a date-time out of range.
std::string formatIso(double dateTime);

}  // namespace oru::clock
