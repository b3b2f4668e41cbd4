#pragma once

// The time zone that TZ names, read the way the C library reads it. Private
// to the calendar: only Calendar.cpp includes it, so ICU stays behind the
// Calendar type for everyone else.

#include <unicode/timezone.h>

#include <memory>

namespace taskory {

// `tz` as getenv("TZ") returns it (nullptr when unset); never null.
std::unique_ptr<icu::TimeZone> zoneFromTZ(const char *tz);

} // namespace taskory
