#include "feedback/date_text.h"

#include <QDate>

namespace mirebolt::feedback {

namespace {

QDate ToQDate(const platform::CalendarDate& date) {
    return QDate(date.year, date.month, date.day);
}

}  // namespace

std::string ShortDateText(const platform::CalendarDate& date, const QLocale& locale) {
    const QDate day = ToQDate(date);
    return day.isValid() ? locale.toString(day, QLocale::ShortFormat).toStdString() : std::string();
}

std::string IsoDateText(const platform::CalendarDate& date) {
    const QDate day = ToQDate(date);
    return day.isValid() ? day.toString(Qt::ISODate).toStdString() : std::string();
}

}  // namespace mirebolt::feedback
