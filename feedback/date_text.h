#pragma once

#include <QLocale>

#include <string>

#include "base/calendar_date.h"

namespace mirebolt::feedback {

// A calendar date as the person reads it: in the locale's short date format where a locale
// applies (the recipient list, the picker), and as ISO 8601 where the text is also read by
// programs (the command line's listings). Empty for a date that is not a real day.
std::string ShortDateText(const platform::CalendarDate& date, const QLocale& locale);
std::string IsoDateText(const platform::CalendarDate& date);

}  // namespace mirebolt::feedback
