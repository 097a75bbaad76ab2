#include "kvad_nso/date_time.h"

#include <gtest/gtest.h>

namespace kvad {
namespace {

TEST(DateTime, ParsesIsoForms) {
    EXPECT_EQ(DateTime::ParseIso("2019-01-03"), (DateTime{2019, 1, 3, 0, 0, 0}));
    EXPECT_EQ(DateTime::ParseIso("2019-01-03 14:05"), (DateTime{2019, 1, 3, 14, 5, 0}));
    EXPECT_EQ(DateTime::ParseIso("2019-01-03T14:05:09.123Z"), (DateTime{2019, 1, 3, 14, 5, 9}));
    EXPECT_EQ(DateTime::ParseIso("2019-01-03T14:05:09+01:00"), (DateTime{2019, 1, 3, 14, 5, 9}));
    EXPECT_EQ(DateTime::ParseIso("2019-01-03-05:00"), (DateTime{2019, 1, 3, 0, 0, 0}));
    for (const char* bad : {"2019-1-3", "19-01-03", "2019-01-03 14", "2019-01-03x",
                            "2019-01-03T14:05:09.", "03/01/2019", ""}) {
        EXPECT_FALSE(DateTime::ParseIso(bad).has_value()) << bad;
    }
}

TEST(DateTime, ParsesItalianDayMonthYear) {
    EXPECT_EQ(DateTime::ParseItalian("03/01/2019"), (DateTime{2019, 1, 3, 0, 0, 0}));
    EXPECT_EQ(DateTime::ParseItalian("3-1-2019"), (DateTime{2019, 1, 3, 0, 0, 0}));
    EXPECT_EQ(DateTime::ParseItalian("31.12.2019 8:30"), (DateTime{2019, 12, 31, 8, 30, 0}));
    EXPECT_EQ(DateTime::ParseItalian(" 29/02/2020 23:59:59 "), (DateTime{2020, 2, 29, 23, 59, 59}));
    for (const char* bad :
         {"03/01-2019", "03/01/19", "003/01/2019", "03/01/2019 12", "3/1", "2019-01-03"}) {
        EXPECT_FALSE(DateTime::ParseItalian(bad).has_value()) << bad;
    }
}

TEST(DateTime, RejectsImpossibleDatesAndTimes) {
    for (const char* bad :
         {"31/02/2019", "29/02/2019", "01/13/2019", "00/01/2019", "01/01/2019 24:00",
          "01/01/2019 10:60", "2019-04-31", "2019-01-01 10:00:60", "2100-02-29"}) {
        EXPECT_FALSE(DateTime::Parse(bad).has_value()) << bad;
    }
    EXPECT_TRUE(DateTime::Parse("2000-02-29").has_value());
    EXPECT_FALSE((DateTime{2019, 2, 29, 0, 0, 0}).IsValid());
}

TEST(DateTime, ParseChoosesIsoForYearFirstTextElseItalian) {
    EXPECT_EQ(DateTime::Parse("03/01/2019"), (DateTime{2019, 1, 3, 0, 0, 0}));
    EXPECT_EQ(DateTime::Parse("2019-01-03"), (DateTime{2019, 1, 3, 0, 0, 0}));
    EXPECT_EQ(DateTime::Parse("03-01-2019"), (DateTime{2019, 1, 3, 0, 0, 0}));
    EXPECT_FALSE(DateTime::Parse("today").has_value());
}

TEST(DateTime, FormatsIsoAndItalianText) {
    const DateTime moment{2019, 1, 3, 7, 5, 9};
    EXPECT_EQ(moment.ToIso(), "2019-01-03 07:05:09");
    EXPECT_EQ(moment.ToIsoDate(), "2019-01-03");
    EXPECT_EQ(moment.ToText(), "03/01/2019 07:05:09");
    EXPECT_EQ(moment.DateOnly().ToText(), "03/01/2019");
    EXPECT_EQ(moment.DateOnly().ToIso(), "2019-01-03 00:00:00");
}

TEST(DateTime, CountsDaysAcrossTheCalendar) {
    EXPECT_EQ((DateTime{1970, 1, 1, 0, 0, 0}).DaysSinceEpoch(), 0);
    EXPECT_EQ((DateTime{1899, 12, 30, 0, 0, 0}).DaysSinceEpoch(), -25569);
    EXPECT_EQ((DateTime{2000, 3, 1, 0, 0, 0}).DaysSinceEpoch(), 11017);
    for (std::int64_t days : {-719162L, -25569L, -1L, 0L, 59L, 11016L, 2932896L}) {
        EXPECT_EQ(DateTime::FromDaysSinceEpoch(days).DaysSinceEpoch(), days);
    }
    EXPECT_EQ((DateTime{2019, 12, 31, 10, 0, 0}).AddDays(1), (DateTime{2020, 1, 1, 10, 0, 0}));
    EXPECT_EQ((DateTime{2020, 3, 1, 0, 0, 0}).AddDays(-1), (DateTime{2020, 2, 29, 0, 0, 0}));
    EXPECT_EQ((DateTime{2020, 2, 29, 0, 0, 0}).AddYears(1), (DateTime{2021, 2, 28, 0, 0, 0}));
    EXPECT_EQ((DateTime{2020, 2, 29, 0, 0, 0}).AddYears(4), (DateTime{2024, 2, 29, 0, 0, 0}));
    EXPECT_LT((DateTime{2019, 1, 3, 0, 0, 0}), (DateTime{2019, 1, 3, 0, 0, 1}));
    EXPECT_TRUE(DateTime::Now().IsValid());
}

} // namespace
} // namespace kvad
