#include "dlhttp/cookie.h"

#include <algorithm>
#include <limits>
#include <map>

#include "dlhttp/http_date.h"
#include "dlhttp/text.h"

namespace dlhttp {

namespace {

using boost::posix_time::ptime;

using detail::to_lower;
using detail::trim;

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
    if (detail::leading_long(value, n)) record.expires = now_plus(n);
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

// A host written as an IPv4 or IPv6 address: no other host is "below" it.
bool is_address(const std::string& host) {
    if (host.find(':') != std::string::npos) return true;
    return !host.empty() && host.find_first_not_of("0123456789.") == std::string::npos;
}

// The domain of a record or a "Domain" attribute as it is compared: without
// its leading dots (RFC 6265 section 5.2.3), in lower case.
std::string bare_domain(const std::string& domain) {
    const std::string text = trim(domain);
    const std::size_t first = text.find_first_not_of('.');
    return first == std::string::npos ? std::string() : to_lower(text.substr(first));
}

// RFC 6265 section 5.1.3: the host is the domain, or a name below it (and not
// an address).
bool domain_matches(const std::string& host, const std::string& domain) {
    const std::string h = to_lower(host);
    if (domain.empty()) return false;
    if (h == domain) return true;
    return h.size() > domain.size() && h.compare(h.size() - domain.size(), domain.size(), domain) == 0 &&
           h[h.size() - domain.size() - 1] == '.' && !is_address(h);
}

// RFC 6265 section 5.1.4: the cookie's path is the request path, or a folder
// of it.
bool path_matches(const std::string& request_path, const std::string& cookie_path) {
    if (request_path == cookie_path) return true;
    if (request_path.compare(0, cookie_path.size(), cookie_path) != 0) return false;
    return cookie_path.back() == '/' || request_path[cookie_path.size()] == '/';
}

// RFC 6265 section 5.1.4: the folder of the request path, the path of a
// cookie that names none.
std::string default_path(const std::string& request_path) {
    if (request_path.empty() || request_path[0] != '/') return "/";
    const std::size_t slash = request_path.rfind('/');
    return slash == 0 ? std::string("/") : request_path.substr(0, slash);
}

// The states of the pass over a "set-cookie" line.
enum cookie_state {
    before_name = 0,
    in_name = 1,
    value_start = 2,
    in_value = 3,
    in_quoted_value = 4,
    malformed = 5,
};

// Attribute name -> value; a later equal name replaces the value.
typedef std::map<std::string, std::string> attribute_table;

// What the pass over one line has gathered: the name=value pairs, and the
// flags in the template that every cookie of the line copies.
struct line_pass {
    attribute_table attributes;
    std::string name;
    std::string value;
    cookie_record base;
    cookie_state state = before_name;

    void store() {
        attributes[name] = value;
        name.clear();
        value.clear();
    }
};

cookie_state read_before_name(line_pass& p, char c) {
    if (c == ' ') return before_name;
    if (is_high(c)) return malformed;
    p.name += c;
    return in_name;
}

cookie_state read_name(line_pass& p, char c) {
    if (c == ';') {
        const bool flag = apply_flag(p.name, p.base);
        p.name.clear();
        return flag ? before_name : malformed;
    }
    if (c == '=') {
        p.value.clear();
        return value_start;
    }
    if (is_name_breaker(c)) {
        p.name.clear();
        return before_name;
    }
    if (!is_high(c)) p.name += c;
    return in_name;
}

cookie_state read_value_start(line_pass& p, char c) {
    if (c == ';') {
        p.store();
        return before_name;
    }
    if (is_high(c)) return malformed;
    p.value += c;
    return is_quote(c) ? in_quoted_value : in_value;
}

cookie_state read_value(line_pass& p, char c) {
    if (c == ';' || is_quote(c)) {
        p.store();
        return before_name;
    }
    if (is_high(c)) return malformed;
    p.value += c;
    return in_value;
}

cookie_state read_quoted_value(line_pass& p, char c) {
    p.value += c;
    if (is_quote(c)) return in_value;
    return is_high(c) ? malformed : in_quoted_value;
}

void take_char(line_pass& p, char c) {
    switch (p.state) {
    case before_name: p.state = read_before_name(p, c); break;
    case in_name: p.state = read_name(p, c); break;
    case value_start: p.state = read_value_start(p, c); break;
    case in_value: p.state = read_value(p, c); break;
    case in_quoted_value: p.state = read_quoted_value(p, c); break;
    case malformed: break;
    }
}

// The end of the line ends a pending flag or value; a bare word there that is
// no flag is ignored.
void finish_pass(line_pass& p) {
    if (p.state == in_name && !p.name.empty()) apply_flag(p.name, p.base);
    if (p.state == in_value && !p.value.empty()) p.store();
}

// "expires", "domain" and "path" (any case) describe every cookie of the
// line: they leave the table for the template.
void apply_shared_attributes(attribute_table& attributes, cookie_record& base) {
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
}

// Every other attribute is one cookie, a copy of the template.
void append_records(const attribute_table& attributes, const cookie_record& base, cookie_jar::records_type& records) {
    for (const auto& attribute : attributes) {
        cookie_record record = base;
        record.name = attribute.first;
        record.value = attribute.second;
        records.push_back(record);
    }
}

}  // namespace

bool cookie_jar::parse_line(const std::string& line, records_type& records) {
    line_pass pass;
    for (std::size_t i = 0; i < line.size() && pass.state != malformed; ++i) take_char(pass, line[i]);
    if (pass.state == malformed) return false;
    finish_pass(pass);
    apply_shared_attributes(pass.attributes, pass.base);
    append_records(pass.attributes, pass.base, records);
    return true;
}

cookie_jar& cookie_jar::add_line(const std::string& line) {
    records_type parsed;
    if (parse_line(line, parsed)) records_.insert(records_.end(), parsed.begin(), parsed.end());
    return *this;
}

cookie_jar& cookie_jar::add_line(const std::string& line, const std::string& host, const std::string& request_path) {
    records_type parsed;
    if (!parse_line(line, parsed)) return *this;
    for (cookie_record& record : parsed) {
        const std::string domain = bare_domain(record.domain);
        if (domain.empty()) {
            // No "Domain": the cookie belongs to this host alone.
            record.host_only = true;
            record.domain = to_lower(trim(host));
        } else if (domain_matches(trim(host), domain)) {
            record.host_only = false;
            record.domain = domain;
        } else {
            continue;  // a host may not set cookies for another site
        }
        if (record.path.empty() || record.path[0] != '/') record.path = default_path(trim(request_path));
        records_.push_back(record);
    }
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
    const std::int64_t now = expiry_key(boost::posix_time::second_clock::universal_time());

    std::string line;
    for (const cookie_record& c : merged.records()) {
        if (c.value.empty()) continue;
        if (c.secure && !secure) continue;
        if (!host.empty()) {
            const std::string domain = bare_domain(c.domain);
            if (c.host_only ? to_lower(host) != domain : !domain_matches(host, domain)) continue;
        }
        const std::string cookie_path = trim(c.path);
        if (!path.empty() && !path_matches(path, cookie_path.empty() ? std::string("/") : cookie_path)) continue;
        if (!c.expires.is_not_a_date_time() && expiry_key(c.expires) < now) continue;
        if (!line.empty()) line += "; ";
        line += c.name + "=" + c.value;
    }
    return line;
}

}  // namespace dlhttp
