// Set-Cookie parsing, merging and the Cookie header value.
#include <gtest/gtest.h>

#include <boost/date_time/posix_time/posix_time.hpp>

#include "dlhttp/cookie.h"

namespace {

using boost::posix_time::ptime;
using dlhttp::cookie_jar;
using dlhttp::cookie_record;

cookie_jar::records_type parse(const std::string& line, bool expect_ok = true) {
    cookie_jar::records_type records;
    EXPECT_EQ(cookie_jar::parse_line(line, records), expect_ok) << line;
    return records;
}

std::string names_and_values(const cookie_jar::records_type& records) {
    std::string out;
    for (const cookie_record& r : records) out += "[" + r.name + "=" + r.value + "]";
    return out;
}

cookie_record make(const std::string& name, const std::string& value, const std::string& domain = "",
                   const std::string& path = "", ptime expires = ptime()) {
    cookie_record r;
    r.name = name;
    r.value = value;
    r.domain = domain;
    r.path = path;
    r.expires = expires;
    return r;
}

ptime now() { return boost::posix_time::second_clock::universal_time(); }

TEST(CookieLine, FullLineWithAttributesAndFlags) {
    auto records = parse("SID=abc; Path=/; Domain=.h; Expires=Wed, 09 Jun 2021 10:18:14 GMT; Secure; HttpOnly");
    ASSERT_EQ(records.size(), 1u);
    const cookie_record& r = records[0];
    EXPECT_EQ(r.name, "SID");
    EXPECT_EQ(r.value, "abc");
    EXPECT_EQ(r.path, "/");
    EXPECT_EQ(r.domain, ".h");
    EXPECT_EQ(r.expires, boost::posix_time::time_from_string("2021-06-09 10:18:14"));
    EXPECT_TRUE(r.secure);
    EXPECT_TRUE(r.httponly);
}

TEST(CookieLine, RecordsAndRejections) {
    struct Case {
        const char* line;
        bool ok;
        const char* records;
    };
    const Case cases[] = {
        {"a=1; b=2", true, "[a=1][b=2]"},
        {"b=2; a=1", true, "[a=1][b=2]"},  // byte order of the names
        {"a=\"x y\"; c=3", true, "[a=\"x y\"][c=3]"},
        {"a=1; Foo; b=2", false, ""},
        {"a=1; Foo", true, "[a=1]"},
        {"a=", true, ""},
        {"a=; b=2", true, "[a=][b=2]"},
        {"a=x\xff", false, ""},
        {"a\xff"
         "b=1",
         true, "[ab=1]"},
        {"\xff=1", false, ""},
        {"x=1; Max-Age=60", true, "[Max-Age=60][x=1]"},
        {"a=1; a=2", true, "[a=2]"},
        {"a b=1", true, "[b=1]"},         // a space discards the name read so far
        {"a=1 ; b = 2", true, "[a=1 ]"},  // "b" is discarded at the space
        {"a='q'r", true, "[a='q'r]"},
        {"a=x\"y", true, "[a=x]"},     // a quote inside a value ends it
        {"Secure; Path=/", true, ""},  // flags and attributes only: success without a record
        {"", true, ""},
        {"a=\"open", true, ""},  // unterminated quote: nothing stored
    };
    for (const Case& c : cases) {
        auto records = parse(c.line, c.ok);
        EXPECT_EQ(names_and_values(records), c.records) << c.line;
    }
}

TEST(CookieLine, ExpiresAsSecondsFromNow) {
    const ptime before = now();
    auto records = parse("x=1; expires=3600");
    ASSERT_EQ(records.size(), 1u);
    const ptime after = now();
    EXPECT_GE(records[0].expires, before + boost::posix_time::seconds(3600));
    EXPECT_LE(records[0].expires, after + boost::posix_time::seconds(3600));

    EXPECT_TRUE(parse("x=1; expires=soon")[0].expires.is_not_a_date_time());
    // Absurd second counts stay within the representable times.
    EXPECT_FALSE(parse("x=1; expires=9223372036854775807")[0].expires.is_special());
    EXPECT_FALSE(parse("x=1; expires=-9223372036854775807")[0].expires.is_special());
}

TEST(CookieLine, LaterAttributeInByteOrderWins) {
    auto records = parse("a=1; path=/low; Path=/up");
    ASSERT_EQ(records.size(), 1u);
    EXPECT_EQ(records[0].path, "/low");  // "Path" < "path" in byte order, so "path" is applied last
}

TEST(CookieJar, AddLineIgnoresRejectedLines) {
    cookie_jar jar;
    jar.add_line("a=1").add_line("b=2; Foo; c=3").add_line("d=4");
    EXPECT_EQ(names_and_values(jar.records()), "[a=1][d=4]");
}

TEST(CookieJar, MergeKeepsLatestExpiryAndFirstOfEqualOnes) {
    cookie_jar a;
    cookie_jar b;
    a.records().push_back(make("s", "old", "h", "/", now() + boost::posix_time::hours(1)));
    b.records().push_back(make("s", "new", "h", "/", now() + boost::posix_time::hours(2)));
    a.records().push_back(make("t", "from-a"));
    b.records().push_back(make("t", "from-b"));
    cookie_jar merged = dlhttp::merge_cookies(a, b);
    EXPECT_EQ(names_and_values(merged.records()), "[t=from-a][s=new]");
    EXPECT_EQ(a.size(), 2u);
    EXPECT_EQ(b.size(), 2u);
}

TEST(CookieJar, MergeReplacesAnEmptyValue) {
    cookie_jar a;
    a.records().push_back(make("t", ""));
    a.records().push_back(make("t", "set"));
    cookie_jar merged = dlhttp::merge_cookies(cookie_jar(), a);
    EXPECT_EQ(names_and_values(merged.records()), "[t=][t=set]");
    EXPECT_EQ(a.cookie_line(false, "", ""), "t=set");
}

TEST(CookieJar, CookieLineFilters) {
    cookie_jar jar;
    jar.records().push_back(make("plain", "1"));  // no domain: no named host gets it
    cookie_record secure = make("sec", "2", "h");
    secure.secure = true;
    jar.records().push_back(secure);
    jar.records().push_back(make("dot", "3", ".h"));
    jar.records().push_back(make("exact", "4", "h"));
    jar.records().push_back(make("dots", "5", "..h"));
    jar.records().push_back(make("any", "6", "."));  // no domain at all
    cookie_record only = make("only", "7", "h");
    only.host_only = true;
    jar.records().push_back(only);
    jar.records().push_back(make("old", "8", "h", "", now() - boost::posix_time::hours(1)));
    jar.records().push_back(make("empty", "", "h"));

    // A domain is the host itself or a name below it, without regard to case.
    EXPECT_EQ(jar.cookie_line(false, "h", ""), "dot=3; exact=4; dots=5; only=7");
    EXPECT_EQ(jar.cookie_line(true, "h", ""), "sec=2; dot=3; exact=4; dots=5; only=7");
    EXPECT_EQ(jar.cookie_line(false, "W.H", ""), "dot=3; exact=4; dots=5");
    EXPECT_EQ(jar.cookie_line(false, "H", ""), "dot=3; exact=4; dots=5; only=7");
    // A name that merely ends with the domain's letters is another site.
    EXPECT_EQ(jar.cookie_line(false, "xh", ""), "");
    EXPECT_EQ(jar.cookie_line(false, "", ""), "plain=1; dot=3; exact=4; dots=5; any=6; only=7");
    EXPECT_EQ(jar.cookie_line(false, "  h  ", ""), jar.cookie_line(false, "h", ""));
}

TEST(CookieJar, AddressesHaveNoNamesBelowThem) {
    cookie_jar jar;
    jar.records().push_back(make("n", "v", "0.0.1"));
    EXPECT_EQ(jar.cookie_line(false, "127.0.0.1", ""), "");
    EXPECT_EQ(jar.cookie_line(false, "0.0.1", ""), "n=v");
}

TEST(CookieJar, CookieLinePathComparison) {
    struct Case {
        const char* record_path;
        const char* request_path;
        bool sent;
    };
    // The record's path is the request path or one of its folders.
    const Case cases[] = {
        {"/", "/", true},      {"/", "/a/b", true},  {"/a", "/a", true},     {"/a", "/a/b", true},
        {"/a/", "/a/b", true}, {"/a", "/ab", false}, {"/a/", "/a", false},   {"/a", "/", false},
        {"/A", "/a", false},   {"", "/x", true},     {" /a ", "/a/x", true}, {"/a/b", "/a", false},
    };
    for (const Case& c : cases) {
        cookie_jar jar;
        jar.records().push_back(make("n", "v", "h", c.record_path));
        EXPECT_EQ(jar.cookie_line(false, "h", c.request_path) == "n=v", c.sent)
            << "'" << c.record_path << "' vs '" << c.request_path << "'";
    }
}

TEST(CookieJar, DuplicatesYieldTheLaterExpiry) {
    cookie_jar jar;
    jar.add_line("s=early; Expires=Wed, 09 Jun 2100 10:18:14 GMT", "h", "/");
    jar.add_line("s=late; Expires=Wed, 09 Jun 2110 10:18:14 GMT", "h", "/");
    EXPECT_EQ(jar.cookie_line(false, "h", "/"), "s=late");
    EXPECT_EQ(jar.cookie_line(false, "h", ""), "s=late");
}

TEST(CookieJar, AddLineFromAnAnswer) {
    struct Case {
        const char* line;
        const char* host;  // that sent the line
        const char* request_path;
        const char* to_host;  // a later request
        const char* to_path;
        bool sent;
    };
    const Case cases[] = {
        // Without Domain: the host that set it alone, not the names below it.
        {"a=1", "h.test", "/", "h.test", "/", true},
        {"a=1", "h.test", "/", "H.TEST", "/", true},
        {"a=1", "h.test", "/", "w.h.test", "/", false},
        {"a=1", "h.test", "/", "other.test", "/", false},
        // With Domain: that domain and the names below it.
        {"a=1; Domain=h.test", "w.h.test", "/", "h.test", "/", true},
        {"a=1; Domain=.h.test", "h.test", "/", "x.h.test", "/", true},
        {"a=1; Domain=h.test", "h.test", "/", "xh.test", "/", false},
        // A host may not set a cookie for another site.
        {"a=1; Domain=other.test", "h.test", "/", "other.test", "/", false},
        {"a=1; Domain=w.h.test", "h.test", "/", "w.h.test", "/", false},
        // Without Path: the folder of the request path.
        {"a=1", "h.test", "/dir/file", "h.test", "/dir/other", true},
        {"a=1", "h.test", "/dir/file", "h.test", "/dir", true},
        {"a=1", "h.test", "/dir/file", "h.test", "/", false},
        {"a=1", "h.test", "/file", "h.test", "/else", true},
        {"a=1; Path=x", "h.test", "/dir/file", "h.test", "/dir/y", true},
        {"a=1; Path=/dir/file", "h.test", "/", "h.test", "/dir", false},
    };
    for (const Case& c : cases) {
        cookie_jar jar;
        jar.add_line(c.line, c.host, c.request_path);
        EXPECT_EQ(jar.cookie_line(false, c.to_host, c.to_path) == "a=1", c.sent)
            << c.line << " from " << c.host << c.request_path << " to " << c.to_host << c.to_path;
    }
}

TEST(CookieJar, EmptyValuesOnlyGiveAnEmptyLine) {
    cookie_jar jar;
    jar.add_line("a=; b=;");
    EXPECT_EQ(jar.size(), 2u);
    EXPECT_EQ(jar.cookie_line(false, "", ""), "");
}

}  // namespace
