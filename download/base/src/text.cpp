#include "dlhttp/text.h"

#include <climits>

namespace dlhttp {
namespace detail {

std::string decimal(long long value) {
    // Built by hand: a string stream would need the classic locale imbued,
    // std::to_string is specified through printf (locale-free today, but
    // that is one more rule to remember).
    unsigned long long magnitude =
        value < 0 ? 0ULL - static_cast<unsigned long long>(value) : static_cast<unsigned long long>(value);
    char digits[24];
    int n = 0;
    do {
        digits[n++] = static_cast<char>('0' + magnitude % 10);
        magnitude /= 10;
    } while (magnitude != 0);
    std::string out;
    if (value < 0) out += '-';
    while (n > 0) out += digits[--n];
    return out;
}

std::string trim(const std::string& text) {
    std::size_t first = 0;
    std::size_t last = text.size();
    while (first < last && is_space(text[first])) ++first;
    while (last > first && is_space(text[last - 1])) --last;
    return text.substr(first, last - first);
}

std::string to_lower(const std::string& text) {
    std::string lower(text);
    for (char& c : lower) c = to_lower(c);
    return lower;
}

bool leading_long(const std::string& text, long& value) {
    std::size_t i = 0;
    while (i < text.size() && is_space(text[i])) ++i;
    bool negative = false;
    if (i < text.size() && (text[i] == '+' || text[i] == '-')) negative = text[i++] == '-';
    if (i == text.size() || !is_digit(text[i])) return false;
    const unsigned long limit =
        negative ? 0UL - static_cast<unsigned long>(LONG_MIN) : static_cast<unsigned long>(LONG_MAX);
    unsigned long magnitude = 0;
    for (; i < text.size() && is_digit(text[i]); ++i) {
        const unsigned long d = static_cast<unsigned long>(text[i] - '0');
        magnitude = magnitude > (limit - d) / 10 ? limit : magnitude * 10 + d;
    }
    value = negative ? (magnitude == limit ? LONG_MIN : -static_cast<long>(magnitude)) : static_cast<long>(magnitude);
    return true;
}

bool has_line_break_or_nul(const std::string& text) {
    return text.find_first_of(std::string("\r\n\0", 3)) != std::string::npos;
}

}  // namespace detail
}  // namespace dlhttp
