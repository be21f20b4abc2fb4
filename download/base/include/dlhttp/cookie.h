#pragma once

// Cookies of one HTTP stream: records parsed from "set-cookie" values and the
// jar that builds the "Cookie" header value of the next request.

#include <string>
#include <vector>

#include <boost/date_time/posix_time/posix_time_types.hpp>

namespace dlhttp {

struct cookie_record {
    std::string name;
    std::string value;
    std::string domain;
    std::string path;
    // UTC; not_a_date_time for a cookie without expiry (it counts as later
    // than every real time).
    boost::posix_time::ptime expires;
    bool httponly = false;
    bool secure = false;
    // Set without a "Domain" attribute: sent to the host in `domain` alone,
    // not to the names below it.
    bool host_only = false;
};

class cookie_jar {
public:
    typedef std::vector<cookie_record> records_type;

    // Parses one "set-cookie" value and appends its records as they are; a
    // malformed line leaves the jar unchanged.
    cookie_jar& add_line(const std::string& line);
    // The same for a value that `host` sent in its answer to a request for
    // `request_path` (RFC 6265 section 5.3): a record without "Domain" is
    // kept for that host alone, one whose domain the host is not in is
    // dropped, and one without a path gets the request path's folder.
    cookie_jar& add_line(const std::string& line, const std::string& host, const std::string& request_path);

    // Appends the records of one "set-cookie" value to `records`; false (and
    // nothing appended) for a malformed line.
    static bool parse_line(const std::string& line, records_type& records);

    // The "Cookie" header value for a request on a (secure) connection to
    // `host` with the request path `path`; empty when no cookie applies.
    // Only records whose domain and path match are sent (RFC 6265 sections
    // 5.1.3 and 5.1.4; a host-only record only to its host; a record without
    // a domain to no named host); "secure" ones only on a secure connection.
    // An empty host or path is not checked.
    std::string cookie_line(bool secure, std::string host, std::string path) const;

    records_type& records() { return records_; }
    const records_type& records() const { return records_; }
    bool empty() const { return records_.empty(); }
    std::size_t size() const { return records_.size(); }

private:
    records_type records_;
};

// The records of a and b, latest expiry first, without duplicates of name,
// domain and path (the later-expiring or only non-empty value wins).
cookie_jar merge_cookies(const cookie_jar& a, const cookie_jar& b);

}  // namespace dlhttp
