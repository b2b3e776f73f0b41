#include "feedback/date_text.h"

#include <gtest/gtest.h>

namespace mirebolt::feedback {
namespace {

TEST(DateText, ShortFormatFollowsTheLocale) {
    const platform::CalendarDate newYear{2021, 1, 1};
    EXPECT_EQ(ShortDateText(newYear, QLocale(QLocale::English, QLocale::UnitedStates)), "1/1/21");
    EXPECT_EQ(ShortDateText(newYear, QLocale(QLocale::German, QLocale::Germany)), "01.01.21");
    EXPECT_EQ(ShortDateText({2030, 12, 31}, QLocale(QLocale::English, QLocale::UnitedKingdom)),
              "31/12/2030");
}

TEST(DateText, IsoIsPaddedWhateverTheLocale) {
    QLocale::setDefault(QLocale(QLocale::Arabic, QLocale::Egypt));
    EXPECT_EQ(IsoDateText({2021, 1, 1}), "2021-01-01");
    EXPECT_EQ(IsoDateText({987, 12, 31}), "0987-12-31");
    QLocale::setDefault(QLocale::c());
}

TEST(DateText, NoTextForADayThatDoesNotExist) {
    for (const platform::CalendarDate& date :
         {platform::CalendarDate{}, {2021, 2, 29}, {2021, 13, 1}}) {
        EXPECT_EQ(ShortDateText(date, QLocale::c()), "");
        EXPECT_EQ(IsoDateText(date), "");
    }
}

}  // namespace
}  // namespace mirebolt::feedback
