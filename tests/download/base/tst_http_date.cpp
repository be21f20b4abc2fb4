// The HTTP date parser.
#include <gtest/gtest.h>

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <ctime>

#include <boost/date_time/posix_time/posix_time.hpp>

#include "../TurkishLocale.h"
#include "dlhttp/http_date.h"

namespace {

struct Case {
    const char* text;
    bool ok;
    std::int64_t seconds;
};

// Each text parses (from a value it must overwrite) as its case says, to the
// case's seconds when it is taken.
template <std::size_t N>
void expectParsed(const Case (&cases)[N]) {
    for (const Case& c : cases) {
        std::int64_t seconds = 12345;
        EXPECT_EQ(dlhttp::detail::parse_http_date(c.text, seconds), c.ok) << c.text;
        if (c.ok) {
            EXPECT_EQ(seconds, c.seconds) << c.text;
        }
    }
}

TEST(HttpDate, ParsesTheUsualForms) {
    const Case cases[] = {
        {"Sun, 06 Nov 1994 08:49:37 GMT", true, 784111777},
        {"Sunday, 06-Nov-94 08:49:37 GMT", true, 784111777},
        {"Sun Nov  6 08:49:37 1994", true, 784111777},
        {"06 Nov 1994 08:49:37 +0100", true, 784108177},
        {"06 Nov 1994 08:49:37 -0130", true, 784111777 + 5400},
        {"06 Nov 1994 08:49:37 EST", true, 784111777 + 5 * 3600},
        {"06 Nov 1994 08:49:37 cest", true, 784111777 - 2 * 3600},
        {"06 Nov 1994 08:49:37 Z", true, 784111777},
        {"06 Nov 1994 08:49", true, 784111740},
        {"06 Nov 1994", true, 784080000},
        {"19941106", true, 784080000},
        {"Wed, 09 Jun 2021 10:18:14 GMT", true, 1623233894},
        {"1 Jan 70", true, 3155760000},  // two-digit years up to 70 are 20xx
        {"1 Jan 71", true, 31536000},
        {"29 Feb 2000", true, 951782400},
        {"1 Mar 2100", true, 4107542400},
        {"32 Jan 2000", false, 0},     // 32 is no day: taken as a year, then 2000 is a second year
        {"19700001", true, -2678400},  // month 0 of the eight-digit form is December of the year before
        {"06 Nov 1969", false, 0},
        {"06 November 1994", false, 0},
        {"Thurs, 06 Nov 1994", false, 0},
        {"06 Nov 1994 08:49:37 GMT UTC", false, 0},
        {"06 Nov 1994 08:49:37 Foo", false, 0},
        {"Nov 1994", false, 0},
        {"06 1994", false, 0},
        {"", false, 0},
        {"Sun, 06 Nov 1994 08:49:37 GMT extra words", true, 784111777},  // only six tokens are read
    };
    expectParsed(cases);
}

// Names are compared in ASCII alone: under Turkish, "I" lowers to the dotless
// "ı" and the byte 0xFD is a letter, yet the dates read as they do in "C".
TEST(HttpDate, ReadsTheSameUnderATurkishLocale) {
    const Case cases[] = {
        {"FRI, 02 APR 2027 10:00:00 GMT", true, 1806660000},
        {"FRIDAY, 02-Apr-27 10:00:00 GMT", true, 1806660000},
        {"Fri, 02 Apr 2027 10:00:00 gmt", true, 1806660000},
        {"02 Apr 2027 10:00:00 idle", true, 1806660000 - 720 * 60},
        {"02 Apr 2027 10:00:00 i", true, 1806660000 + 540 * 60},
        {"Fri, 02 Apr 2027 10:00:00 GMT\xfd", true, 1806660000},
        {"\xfd"
         "02 Apr 2027",
         true, 1806624000},
        {"02 Apr 2027 10:00:00 GMT FRIDAY", true, 1806660000},
    };
    TurkishLocale turkish;
    REQUIRE_TURKISH_LOCALE(turkish);
    expectParsed(cases);
}

// After February of a leap year every date has one day more before it; a
// century year is a leap year only every 400 years.
TEST(HttpDate, LeapYearsFromMarchToDecember) {
    const Case cases[] = {
        {"Tue, 29 Feb 2028 00:00:00 GMT", true, 1835395200},
        {"Wed, 01 Mar 2028 00:00:00 GMT", true, 1835481600},
        {"Sun, 31 Dec 2028 23:59:59 GMT", true, 1861919999},
        {"Wed, 01 Mar 2000 00:00:00 GMT", true, 951868800},
        {"1 Mar 00", true, 951868800},
        {"Sun, 31 Dec 2000 00:00:00 GMT", true, 978220800},
        {"Mon, 15 Jul 2024 12:00:00 GMT", true, 1721044800},
        {"Mon, 01 Mar 2100 00:00:00 GMT", true, 4107542400},  // 2100 is no leap year
        {"Fri, 31 Dec 2100 00:00:00 GMT", true, 4133894400},
        {"Wed, 01 Mar 2400 00:00:00 GMT", true, 13574649600},  // 2400 is one
        {"Thu, 01 Mar 1900 00:00:00 GMT", false, 0},           // before 1970: refused
    };
    expectParsed(cases);
}

// Every day from 1970 to 2400 reads as the C library's calendar gives it.
TEST(HttpDate, EveryDayAgreesWithTheCalendar) {
    const char* const months[] = {"Jan", "Feb", "Mar", "Apr", "May", "Jun", "Jul", "Aug", "Sep", "Oct", "Nov", "Dec"};
    int wrong = 0;
    for (std::int64_t day = 0; wrong < 5; ++day) {
        const std::time_t t = static_cast<std::time_t>(day * 86400 + 3723);
        std::tm tm{};
        ASSERT_TRUE(gmtime_r(&t, &tm));
        if (tm.tm_year + 1900 > 2400) break;
        char text[64];
        std::snprintf(text, sizeof text, "%02d %s %d 01:02:03 GMT", tm.tm_mday, months[tm.tm_mon], tm.tm_year + 1900);
        std::int64_t seconds = 0;
        const bool ok = dlhttp::detail::parse_http_date(text, seconds);
        if (!ok || seconds != static_cast<std::int64_t>(t)) {
            ++wrong;
            ADD_FAILURE() << text << " read as " << seconds << ", not " << static_cast<long long>(t);
        }
    }
}

TEST(HttpDate, YearBefore1970SetsZero) {
    std::int64_t seconds = 99;
    EXPECT_FALSE(dlhttp::detail::parse_http_date("06 Nov 1969 08:49:37 GMT", seconds));
    EXPECT_EQ(seconds, 0);
}

TEST(HttpDate, HugeNumbersFailWithoutOverflow) {
    std::int64_t seconds = 0;
    EXPECT_FALSE(dlhttp::detail::parse_http_date("1 Jan 99999999999999999999999999", seconds));
    EXPECT_FALSE(dlhttp::detail::parse_http_date("1 Jan 300000000000", seconds));
}

TEST(HttpDate, ToPtime) {
    boost::posix_time::ptime t;
    ASSERT_TRUE(dlhttp::detail::http_date_to_ptime("Wed, 09 Jun 2021 10:18:14 GMT", t));
    EXPECT_EQ(t, boost::posix_time::time_from_string("2021-06-09 10:18:14"));

    // Not a date: the output stays as it was.
    EXPECT_FALSE(dlhttp::detail::http_date_to_ptime("Foo", t));
    EXPECT_EQ(t, boost::posix_time::time_from_string("2021-06-09 10:18:14"));

    // A date beyond what a ptime holds is refused.
    EXPECT_FALSE(dlhttp::detail::http_date_to_ptime("1 Jan 12000", t));
}

}  // namespace
