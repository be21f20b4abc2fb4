#include "dlhttp/cookie.h"

#include <algorithm>
#include <cctype>
#include <cstdio>
#include <limits>
#include <locale>
#include <map>

#include "dlhttp/http_date.h"

namespace dlhttp {

namespace {

using boost::posix_time::ptime;

std::string to_lower(const std::string& text) {
    std::string lower(text);
    for (char& c : lower) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return lower;
}

std::string trim(const std::string& text) {
    std::locale loc;
    std::size_t first = 0;
    std::size_t last = text.size();
    while (first < last && std::isspace(text[first], loc)) ++first;
    while (last > first && std::isspace(text[last - 1], loc)) --last;
    return text.substr(first, last - first);
}

bool is_high(char c) { return static_cast<unsigned char>(c) >= 128; }

bool is_name_breaker(char c) {
    switch (c) {
    case ':':
    case ' ':
    case '^':
    case '`':
    case '{':
    case '|':
    case '}': return true;
    default: return false;
    }
}

bool is_quote(char c) { return c == '"' || c == '\''; }

// Expiry as an ordering key: a cookie without expiry (not_a_date_time) comes
// after every real time.
std::int64_t expiry_key(const ptime& t) {
    if (t.is_not_a_date_time()) return std::numeric_limits<std::int64_t>::max() - 1;
    if (t.is_pos_infinity()) return std::numeric_limits<std::int64_t>::max();
    if (t.is_neg_infinity()) return std::numeric_limits<std::int64_t>::min();
    static const ptime epoch(boost::gregorian::date(1970, 1, 1));
    return (t - epoch).ticks();
}

// The latest and earliest times a cookie's expiry is clamped to.
ptime latest_time() { return ptime(boost::gregorian::date(9999, 12, 31)); }
ptime earliest_time() { return ptime(boost::gregorian::date(1400, 1, 1)); }

// "Now plus n seconds", kept within the representable range.
ptime now_plus(long n) {
    const ptime now = boost::posix_time::second_clock::universal_time();
    const std::int64_t ahead = (latest_time() - now).total_seconds();
    const std::int64_t behind = (now - earliest_time()).total_seconds();
    if (n > ahead) return latest_time();
    if (n < -behind) return earliest_time();
    return now + boost::posix_time::seconds(n);
}

void apply_expires(const std::string& value, cookie_record& record) {
    ptime t;
    if (detail::http_date_to_ptime(value, t)) {
        record.expires = t;
        return;
    }
    long n = 0;
    if (std::sscanf(value.c_str(), "%ld", &n) == 1) record.expires = now_plus(n);
}

// A bare word: "secure" or "httponly" (any case) set their flag; false for
// anything else.
bool apply_flag(const std::string& name, cookie_record& record) {
    const std::string lower = to_lower(name);
    if (lower == "secure") {
        record.secure = true;
        return true;
    }
    if (lower == "httponly") {
        record.httponly = true;
        return true;
    }
    return false;
}

// Path elements as a path comparison sees them: "/" and "\" both separate,
// repeated separators count once, a leading separator is the root element "/",
// a trailing separator adds a final ".".
std::vector<std::string> path_elements(const std::string& path) {
    auto is_sep = [](char c) { return c == '/' || c == '\\'; };
    std::vector<std::string> elements;
    std::size_t i = 0;
    if (!path.empty() && is_sep(path[0])) {
        elements.push_back("/");
        while (i < path.size() && is_sep(path[i])) ++i;
    }
    while (i < path.size()) {
        std::size_t j = i;
        while (j < path.size() && !is_sep(path[j])) ++j;
        elements.push_back(path.substr(i, j - i));
        if (j == path.size()) break;
        while (j < path.size() && is_sep(path[j])) ++j;
        if (j == path.size()) elements.push_back(".");
        i = j;
    }
    return elements;
}

bool ends_with_ignore_case(const std::string& text, const std::string& tail) {
    if (tail.size() > text.size()) return false;
    return to_lower(text.substr(text.size() - tail.size())) == to_lower(tail);
}

bool domain_matches(const std::string& domain, const std::string& host) {
    if (!domain.empty() && domain[0] == '.') {
        std::size_t first = domain.find_first_not_of('.');
        if (first == std::string::npos) return true;
        return ends_with_ignore_case(host, domain.substr(first));
    }
    return domain == host;
}

}  // namespace

bool cookie_jar::parse_line(const std::string& line, records_type& records) {
    std::map<std::string, std::string> attributes;
    std::string name;
    std::string value;
    cookie_record base;
    auto store = [&]() {
        attributes[name] = value;
        name.clear();
        value.clear();
    };

    int state = 0;
    for (std::size_t i = 0; i < line.size() && state != 5; ++i) {
        const char c = line[i];
        switch (state) {
        case 0:  // before a name
            if (c == ' ') {
            } else if (is_high(c)) {
                state = 5;
            } else {
                name += c;
                state = 1;
            }
            break;
        case 1:  // in a name
            if (c == ';') {
                state = apply_flag(name, base) ? 0 : 5;
                name.clear();
            } else if (c == '=') {
                value.clear();
                state = 2;
            } else if (is_name_breaker(c)) {
                name.clear();
                state = 0;
            } else if (!is_high(c)) {
                name += c;
            }
            break;
        case 2:  // start of a value
            if (c == ';') {
                store();
                state = 0;
            } else if (is_quote(c)) {
                value += c;
                state = 4;
            } else if (is_high(c)) {
                state = 5;
            } else {
                value += c;
                state = 3;
            }
            break;
        case 3:  // in a value
            if (c == ';' || is_quote(c)) {
                store();
                state = 0;
            } else if (is_high(c)) {
                state = 5;
            } else {
                value += c;
            }
            break;
        case 4:  // in a quoted value
            if (is_quote(c)) {
                value += c;
                state = 3;
            } else {
                value += c;
                if (is_high(c)) state = 5;
            }
            break;
        }
    }
    if (state == 5) return false;
    if (state == 1 && !name.empty()) apply_flag(name, base);
    if (state == 3 && !value.empty()) store();

    // expires, domain and path describe every cookie of the line.
    for (auto it = attributes.begin(); it != attributes.end();) {
        const std::string lower = to_lower(it->first);
        if (lower == "expires") {
            apply_expires(it->second, base);
        } else if (lower == "domain") {
            base.domain = it->second;
        } else if (lower == "path") {
            base.path = it->second;
        } else {
            ++it;
            continue;
        }
        it = attributes.erase(it);
    }
    for (const auto& attribute : attributes) {
        cookie_record record = base;
        record.name = attribute.first;
        record.value = attribute.second;
        records.push_back(record);
    }
    return true;
}

cookie_jar& cookie_jar::add_line(const std::string& line) {
    records_type parsed;
    if (parse_line(line, parsed)) records_.insert(records_.end(), parsed.begin(), parsed.end());
    return *this;
}

cookie_jar merge_cookies(const cookie_jar& a, const cookie_jar& b) {
    cookie_jar::records_type all(a.records());
    all.insert(all.end(), b.records().begin(), b.records().end());
    std::stable_sort(all.begin(), all.end(), [](const cookie_record& x, const cookie_record& y) {
        return expiry_key(x.expires) > expiry_key(y.expires);
    });

    cookie_jar result;
    cookie_jar::records_type& kept = result.records();
    for (const cookie_record& c : all) {
        const bool duplicate = std::any_of(kept.begin(), kept.end(), [&](const cookie_record& k) {
            return k.name == c.name && k.domain == c.domain && k.path == c.path;
        });
        bool keep = !duplicate;
        if (duplicate && !c.value.empty()) {
            auto first =
                std::find_if(kept.begin(), kept.end(), [&](const cookie_record& k) { return k.name == c.name; });
            keep = first->value.empty() || expiry_key(first->expires) < expiry_key(c.expires);
        }
        if (keep) kept.push_back(c);
    }
    return result;
}

std::string cookie_jar::cookie_line(bool secure, std::string host, std::string path) const {
    const cookie_jar merged = merge_cookies(cookie_jar(), *this);
    host = trim(host);
    path = trim(path);
    const std::vector<std::string> wanted_path = path_elements(path);
    const std::int64_t now = expiry_key(boost::posix_time::second_clock::universal_time());

    std::string line;
    for (const cookie_record& c : merged.records()) {
        if (c.value.empty()) continue;
        if (c.secure && !secure) continue;
        if (!path.empty() && path_elements(trim(c.path)) != wanted_path) continue;
        const std::string domain = trim(c.domain);
        if (!host.empty() && !domain.empty() && !domain_matches(domain, host)) continue;
        if (!c.expires.is_not_a_date_time() && expiry_key(c.expires) < now) continue;
        if (!line.empty()) line += "; ";
        line += c.name + "=" + c.value;
    }
    return line;
}

}  // namespace dlhttp
