// SPDX-License-Identifier: GPL-3.0-or-later
#include "platform/Clock.h"

#include <cmath>
#include <cstdio>
#include <ctime>
#include <sys/time.h>

namespace oru::clock {
namespace {

std::function<double()>& override() {
    static std::function<double()> source;
    return source;
}

constexpr double kMsPerDay = 86400000.0;

// Days from 1899-12-30 to the given civil date (proleptic Gregorian).
int64_t daysFromCivil(int64_t y, unsigned m, unsigned d) {
    y -= m <= 2;
    const int64_t era = (y >= 0 ? y : y - 399) / 400;
    const unsigned yoe = static_cast<unsigned>(y - era * 400);
    const unsigned doy = (153 * (m + (m > 2 ? -3 : 9)) + 2) / 5 + d - 1;
    const unsigned doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
    const int64_t unixDays = era * 146097 + static_cast<int64_t>(doe) - 719468;
    return unixDays + 25569;  // 1970-01-01 is day 25569 since 1899-12-30
}

void civilFromDays(int64_t days, int& y, int& m, int& d) {
    int64_t z = days - 25569 + 719468;
    const int64_t era = (z >= 0 ? z : z - 146096) / 146097;
    const unsigned doe = static_cast<unsigned>(z - era * 146097);
    const unsigned yoe = (doe - doe / 1460 + doe / 36524 - doe / 146096) / 365;
    const int64_t yy = static_cast<int64_t>(yoe) + era * 400;
    const unsigned doy = doe - (365 * yoe + yoe / 4 - yoe / 100);
    const unsigned mp = (5 * doy + 2) / 153;
    d = static_cast<int>(doy - (153 * mp + 2) / 5 + 1);
    m = static_cast<int>(mp < 10 ? mp + 3 : mp - 9);
    y = static_cast<int>(yy + (m <= 2));
}

}  // namespace

double now() {
    if (override()) return override()();
    struct timeval tv {};
    ::gettimeofday(&tv, nullptr);
    time_t seconds = tv.tv_sec;
    struct tm local {};
    ::localtime_r(&seconds, &local);
    return fromLocal(local.tm_year + 1900, local.tm_mon + 1, local.tm_mday, local.tm_hour, local.tm_min,
                     local.tm_sec, static_cast<int>(tv.tv_usec / 1000));
}

double fromUnix(int64_t seconds, int64_t nanoseconds) {
    time_t t = static_cast<time_t>(seconds);
    struct tm local {};
    if (::localtime_r(&t, &local) == nullptr) {
        // Outside what the C library can break down: count the days in UTC instead.
        return 25569.0 + static_cast<double>(seconds) / 86400.0 + static_cast<double>(nanoseconds) / 8.64e13;
    }
    return fromLocal(local.tm_year + 1900, local.tm_mon + 1, local.tm_mday, local.tm_hour, local.tm_min,
                     local.tm_sec, static_cast<int>(nanoseconds / 1000000));
}

void setNowForTesting(std::function<double()> source) { override() = std::move(source); }

double fromLocal(int year, int month, int day, int hour, int minute, int second, int millisecond) {
    const int64_t days = daysFromCivil(year, static_cast<unsigned>(month), static_cast<unsigned>(day));
    const double ms = ((hour * 60.0 + minute) * 60.0 + second) * 1000.0 + millisecond;
    return static_cast<double>(days) + ms / kMsPerDay;
}

bool inRange(double dateTime) {
    // 0001-01-01 00:00 is day -693593; 10000-01-01 00:00 is day 2958466.
    return std::isfinite(dateTime) && dateTime >= -693593.0 && dateTime < 2958466.0;
}

LocalTime toLocal(double dateTime) {
    if (!inRange(dateTime)) return LocalTime{};
    // Work in whole milliseconds so that 23:59:59.9995 does not print as second 60.
    const double totalMs = std::nearbyint(dateTime * kMsPerDay);
    int64_t days = static_cast<int64_t>(std::floor(totalMs / kMsPerDay));
    int64_t msOfDay = static_cast<int64_t>(totalMs - static_cast<double>(days) * kMsPerDay);
    LocalTime t{};
    civilFromDays(days, t.year, t.month, t.day);
    t.hour = static_cast<int>(msOfDay / 3600000);
    t.minute = static_cast<int>(msOfDay / 60000 % 60);
    t.second = static_cast<int>(msOfDay / 1000 % 60);
    t.millisecond = static_cast<int>(msOfDay % 1000);
    return t;
}

std::string formatIso(double dateTime) {
    if (!inRange(dateTime)) return "?";
    LocalTime t = toLocal(dateTime);
    char buffer[48];
    std::snprintf(buffer, sizeof buffer, "%04d-%02d-%02d %02d:%02d:%02d", t.year, t.month, t.day, t.hour, t.minute,
                  t.second);
    return buffer;
}

}  // namespace oru::clock
