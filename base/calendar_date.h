#pragma once

namespace mirebolt::platform {

// A day of the calendar, such as the first or last day a certificate is valid.
struct CalendarDate {
    int year = 0;
    int month = 0;  // 1 to 12
    int day = 0;    // 1 to 31
    bool operator==(const CalendarDate&) const = default;
};

}  // namespace mirebolt::platform
