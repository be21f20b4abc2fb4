#include "dlhttp/text.h"

namespace dlhttp {
namespace detail {

namespace {

bool is_blank(char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\n' || c == '\v' || c == '\f'; }

}  // namespace

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
    while (first < last && is_blank(text[first])) ++first;
    while (last > first && is_blank(text[last - 1])) --last;
    return text.substr(first, last - first);
}

std::string to_lower(const std::string& text) {
    std::string lower(text);
    for (char& c : lower)
        if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
    return lower;
}

bool has_line_break_or_nul(const std::string& text) {
    return text.find_first_of(std::string("\r\n\0", 3)) != std::string::npos;
}

}  // namespace detail
}  // namespace dlhttp
