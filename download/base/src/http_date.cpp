#include "dlhttp/http_date.h"

#include <cstring>
#include <ctime>
#include <limits>
#include <stdexcept>

#include <boost/date_time/gregorian/gregorian_types.hpp>

#include "dlhttp/text.h"

namespace dlhttp {
namespace detail {

namespace {

// Date arithmetic is done in 128 bits so that no year the parser accepts can
// overflow; the result is checked against the 64-bit range at the end.
__extension__ typedef __int128 wide_int;

struct zone {
    const char* name;
    int minutes;  // added to the local time read to give UTC
};

const zone zones[] = {
    {"GMT", 0},     {"UTC", 0},     {"WET", 0},     {"BST", -60},  {"WAT", 60},    {"AST", 240},   {"ADT", 180},
    {"EST", 300},   {"EDT", 240},   {"CST", 360},   {"CDT", 300},  {"MST", 420},   {"MDT", 360},   {"PST", 480},
    {"PDT", 420},   {"YST", 540},   {"YDT", 480},   {"HST", 600},  {"HDT", 540},   {"CAT", 600},   {"AHST", 600},
    {"NT", 660},    {"IDLW", 720},  {"CET", -60},   {"MET", -60},  {"MEWT", -60},  {"MEST", -120}, {"CEST", -120},
    {"MESZ", -120}, {"FWT", -60},   {"FST", -120},  {"EET", -120}, {"WAST", -420}, {"WADT", -480}, {"CCT", -480},
    {"JST", -540},  {"EAST", -600}, {"EADT", -660}, {"GST", -600}, {"NZT", -720},  {"NZST", -720}, {"NZDT", -780},
    {"IDLE", -720}, {"A", 60},      {"B", 120},     {"C", 180},    {"D", 240},     {"E", 300},     {"F", 360},
    {"G", 420},     {"H", 480},     {"I", 540},     {"K", 600},    {"L", 660},     {"M", 720},     {"N", -60},
    {"O", -120},    {"P", -180},    {"Q", -240},    {"R", -300},   {"S", -360},    {"T", -420},    {"U", -480},
    {"V", -540},    {"W", -600},    {"X", -660},    {"Y", -720},   {"Z", 0},
};

const char* const short_weekdays[] = {"Mon", "Tue", "Wed", "Thu", "Fri", "Sat", "Sun"};
const char* const long_weekdays[] = {"Monday", "Tuesday", "Wednesday", "Thursday", "Friday", "Saturday", "Sunday"};
const char* const months[] = {"Jan", "Feb", "Mar", "Apr", "May", "Jun", "Jul", "Aug", "Sep", "Oct", "Nov", "Dec"};

bool same_word(const char* a, const char* b) {
    for (; *a && *b; ++a, ++b) {
        if (to_lower(*a) != to_lower(*b)) return false;
    }
    return *a == *b;
}

int find_word(const char* word, const char* const* table, int count) {
    for (int i = 0; i < count; ++i) {
        if (same_word(word, table[i])) return i;
    }
    return -1;
}

int weekday_of(const char* word) {
    return std::strlen(word) < 4 ? find_word(word, short_weekdays, 7) : find_word(word, long_weekdays, 7);
}

const zone* zone_of(const char* word) {
    for (const zone& z : zones) {
        if (same_word(word, z.name)) return &z;
    }
    return nullptr;
}

bool is_leap(wide_int year) { return (year % 4 == 0 && year % 100 != 0) || year % 400 == 0; }

// Leap days in the years before `year` (proleptic Gregorian, year > 0).
wide_int leap_days_before(wide_int year) {
    wide_int y = year - 1;
    return y / 4 - y / 100 + y / 400;
}

// Seconds from 1970-01-01 00:00:00 to the given date and time; day, hour,
// minute and second are not range-checked, they simply add.
wide_int seconds_since_epoch(wide_int year, wide_int month, wide_int day, int hour, int minute, int second) {
    static const int cumulative[] = {0, 31, 59, 90, 120, 151, 181, 212, 243, 273, 304, 334};
    // A month outside 0..11 carries whole years.
    wide_int carry = month / 12;
    month %= 12;
    if (month < 0) {
        month += 12;
        --carry;
    }
    year += carry;
    wide_int days = (year - 1970) * 365 + (leap_days_before(year) - leap_days_before(1970));
    days += cumulative[static_cast<int>(month)];
    if (month >= 2 && is_leap(year)) ++days;
    days += day - 1;
    return ((days * 24 + hour) * 60 + minute) * 60 + second;
}

// Reads a decimal number at `p`, saturating at a value no date can use;
// returns the digit count.
int read_number(const char*& p, long long& value) {
    const long long cap = 1000000000000000LL;
    int digits = 0;
    value = 0;
    while (is_digit(*p)) {
        if (value < cap) value = value * 10 + (*p - '0');
        ++digits;
        ++p;
    }
    return digits;
}

// One "%02d" of the "C" locale's scanf: white space skipped, then at most two
// characters of an optional sign and digits (at least one digit).
bool scan_two_digits(const char*& p, int& value) {
    while (is_space(*p)) ++p;
    int width = 2;
    bool negative = false;
    if (*p == '+' || *p == '-') {
        negative = *p++ == '-';
        --width;
    }
    if (!is_digit(*p)) return false;
    value = 0;
    for (; width > 0 && is_digit(*p); --width) value = value * 10 + (*p++ - '0');
    if (negative) value = -value;
    return true;
}

// "hh:mm" (and ":ss" with `seconds`) read as scanf's "%02d:%02d[:%02d]".
bool scan_clock(const char* p, bool seconds, int& hour, int& minute, int& second) {
    if (!scan_two_digits(p, hour) || *p++ != ':' || !scan_two_digits(p, minute)) return false;
    second = 0;
    return !seconds || (*p++ == ':' && scan_two_digits(p, second));
}

}  // namespace

bool parse_http_date(const char* text, std::int64_t& seconds) {
    int weekday = -1;
    long long month = 0, day = 0, year = 0;
    bool month_set = false, day_set = false, year_set = false;
    int hour = -1, minute = -1, second = -1;
    bool zone_set = false;
    long long offset = 0;
    bool day_expected = true;

    const char* const start = text;
    const char* const end = text + std::strlen(text);
    const char* p = text;
    for (int token = 0; token < 6 && *p; ++token) {
        while (*p && !is_alnum(*p)) ++p;
        if (!*p) break;
        if (is_alpha(*p)) {
            // A word: its first 31 letters.
            char word[32] = {0};
            for (std::size_t n = 0; n < sizeof word - 1 && is_alpha(p[n]); ++n) word[n] = p[n];
            int w = -1;
            if (weekday < 0 && (w = weekday_of(word)) >= 0) {
                weekday = w;
            } else if (!month_set && (w = find_word(word, months, 12)) >= 0) {
                month = w;
                month_set = true;
            } else {
                const zone* z = zone_set ? nullptr : zone_of(word);
                if (!z) return false;
                zone_set = true;
                offset = z->minutes * 60LL;
            }
            p += std::strlen(word);
        } else if (is_digit(*p)) {
            int h = 0, m = 0, s = 0;
            if (second < 0 && scan_clock(p, true, h, m, s)) {
                hour = h, minute = m, second = s;
                p = end - p >= 8 ? p + 8 : end;
                continue;
            }
            if (second < 0 && scan_clock(p, false, h, m, s)) {
                hour = h, minute = m, second = 0;
                p = end - p >= 5 ? p + 5 : end;
                continue;
            }
            const char* number_start = p;
            long long value = 0;
            const int digits = read_number(p, value);
            if (digits == 4 && !zone_set && value <= 1400 && number_start > start &&
                (number_start[-1] == '+' || number_start[-1] == '-')) {
                long long zone_seconds = ((value / 100) * 60 + value % 100) * 60;
                offset = number_start[-1] == '+' ? -zone_seconds : zone_seconds;
                zone_set = true;
            } else if (digits == 8 && !year_set && !month_set && !day_set) {
                year = value / 10000;
                month = (value % 10000) / 100 - 1;
                day = value % 100;
                year_set = month_set = day_set = true;
            } else {
                bool as_year = true;
                if (day_expected) {
                    if (day_set) return false;
                    day_expected = false;
                    if (value >= 1 && value <= 31) {
                        day = value;
                        day_set = true;
                        as_year = false;
                    }
                }
                if (as_year) {
                    if (year_set) return false;
                    if (value < 1900) value += value <= 70 ? 2000 : 1900;
                    year = value;
                    year_set = true;
                    if (!day_set) day_expected = true;
                }
            }
        }
    }
    (void)weekday;

    if (second < 0) hour = minute = second = 0;
    if (!day_set || !month_set || !year_set) return false;
    if (year < 1970) {
        seconds = 0;
        return false;
    }
    wide_int result = seconds_since_epoch(year, month, day, hour, minute, second) + offset;
    if (result > std::numeric_limits<std::int64_t>::max() || result < std::numeric_limits<std::int64_t>::min()) {
        return false;
    }
    seconds = static_cast<std::int64_t>(result);
    return true;
}

bool http_date_to_ptime(const std::string& text, boost::posix_time::ptime& time) {
    std::int64_t seconds = 0;
    if (!parse_http_date(text.c_str(), seconds)) return false;
    std::time_t t = static_cast<std::time_t>(seconds);
    if (static_cast<std::int64_t>(t) != seconds) return false;
    std::tm tm{};
    if (!gmtime_r(&t, &tm)) return false;
    const int full_year = tm.tm_year + 1900;
    if (full_year < 1400 || full_year > 9999) return false;
    try {
        boost::gregorian::date d(static_cast<unsigned short>(full_year), static_cast<unsigned short>(tm.tm_mon + 1),
                                 static_cast<unsigned short>(tm.tm_mday));
        boost::posix_time::ptime result(d, boost::posix_time::time_duration(tm.tm_hour, tm.tm_min, tm.tm_sec));
        if (result.is_special()) return false;
        time = result;
        return true;
    } catch (const std::exception&) {
        return false;
    }
}

}  // namespace detail
}  // namespace dlhttp
