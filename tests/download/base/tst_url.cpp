// URL parsing, printing and escaping.
#include <gtest/gtest.h>

#include <boost/system/system_error.hpp>

#include "../TurkishLocale.h"
#include "dlhttp/url.h"

namespace {

using dlhttp::url;

const int host_and_port = url::host_part | url::port_part;
const int target = url::path_part | url::query_part | url::fragment_part;

struct Parsed {
    const char* input;
    const char* scheme;
    const char* user_info;
    const char* host;
    int port;
    const char* path;
    const char* query;
    const char* fragment;
    bool ipv6;
};

TEST(Url, ParsesIntoParts) {
    const Parsed cases[] = {
        {"HTTP://Host/a", "http", "", "Host", 80, "/a", "", "", false},
        {"https://h", "https", "", "h", 443, "/", "", "", false},
        {"http://user:pw@h:8080/x?q=1#f", "http", "user:pw", "h", 8080, "/x", "q=1", "f", false},
        {"http://user@h/", "http", "user", "h", 80, "/", "", "", false},
        {"http://[::1]:81/", "http", "", "::1", 81, "/", "", "", true},
        {"http://h:0080/", "http", "", "h", 80, "/", "", "", false},
        {"http://h:65535/", "http", "", "h", 65535, "/", "", "", false},
        {"http://h?x", "http", "", "h", 80, "/", "x", "", false},
        {"http://h#frag?no", "http", "", "h", 80, "/", "", "frag?no", false},
        {"ftp://h", "ftp", "", "h", 21, "/", "", "", false},
        {"gopher://h", "gopher", "", "h", 0, "/", "", "", false},
        {"://h/", "", "", "h", 0, "/", "", "", false},
        {"http://a b/c%41", "http", "", "a b", 80, "/c%41", "", "", false},
        {"http:///p", "http", "", "", 80, "/p", "", "", false},
        // A ":" before "/" without "@" is the port, not user information.
        {"http://h:1/a@b", "http", "", "h", 1, "/a@b", "", "", false},
    };
    for (const Parsed& c : cases) {
        boost::system::error_code ec;
        url u = url::from_string(c.input, ec);
        ASSERT_FALSE(ec) << c.input;
        EXPECT_EQ(u.scheme(), c.scheme) << c.input;
        EXPECT_EQ(u.user_info(), c.user_info) << c.input;
        EXPECT_EQ(u.host(), c.host) << c.input;
        EXPECT_EQ(u.port(), c.port) << c.input;
        EXPECT_EQ(u.path(), c.path) << c.input;
        EXPECT_EQ(u.query(), c.query) << c.input;
        EXPECT_EQ(u.fragment(), c.fragment) << c.input;
        EXPECT_EQ(u.ipv6_host(), c.ipv6) << c.input;
    }
}

TEST(Url, FailuresGiveTheEmptyValueAndInvalidArgument) {
    const char* inputs[] = {
        "http:/h",
        "h/x",
        "mailto:x",
        "http://[::1]x/",
        "http://[::1",
        "http://h:/x",
        "http://h:",
        "http://h:8a/",
        "",
        // A port beyond 65535 fails instead of wrapping around to another port.
        "http://h:65536/",
        "http://h:4294967376/",
        "http://h:99999999999999999999999/",
    };
    for (const char* input : inputs) {
        boost::system::error_code ec;
        url u = url::from_string(input, ec);
        EXPECT_EQ(ec, boost::system::errc::invalid_argument) << input;
        EXPECT_EQ(&ec.category(), &boost::system::generic_category()) << input;
        EXPECT_EQ(u.to_string(url::all_parts), "") << input;
        EXPECT_EQ(u.path(), "") << input;
        EXPECT_THROW(url{std::string(input)}, boost::system::system_error) << input;
        EXPECT_THROW(url::from_string(input), boost::system::system_error) << input;
    }
}

TEST(Url, SuccessClearsAnEarlierError) {
    boost::system::error_code ec = boost::system::errc::make_error_code(boost::system::errc::io_error);
    url::from_string(std::string("http://h/"), ec);
    EXPECT_FALSE(ec);
    EXPECT_NO_THROW(url{"http://h/"});
}

TEST(Url, PrintsChosenParts) {
    struct Case {
        const char* input;
        int parts;
        const char* printed;
    };
    const Case cases[] = {
        {"http://user:pw@h:8080/x?q=1#f", url::all_parts, "http://user:pw@h:8080/x?q=1#f"},
        {"http://user:pw@h:8080/x?q=1#f", target, "/x?q=1#f"},
        {"http://user:pw@h:8080/x?q=1#f", host_and_port, "h:8080"},
        {"https://h", host_and_port, "h"},
        {"http://[::1]:81/", host_and_port, "[::1]:81"},
        {"http://h?x", target, "/?x"},
        {"HTTP://Host/a", url::all_parts, "http://Host/a"},
        {"://h/", url::all_parts, "h/"},
        {"http:///p", url::host_part, ""},
    };
    for (const Case& c : cases) EXPECT_EQ(url::from_string(c.input).to_string(c.parts), c.printed) << c.input;
}

TEST(Url, EscapesOnlyTheUnsafeSet) {
    EXPECT_EQ(dlhttp::escape_url_text("http://a b/\xc3\xa9"), "http://a%20b/%c3%a9");
    EXPECT_EQ(dlhttp::escape_url_text("^`{|}"), "%5e%60%7b%7c%7d");
    const std::string untouched = "%41\"<>\\\t\x01~[]#?";
    EXPECT_EQ(dlhttp::escape_url_text(untouched), untouched);
    const std::string once = dlhttp::escape_url_text("a b\xff");
    EXPECT_EQ(once, "a%20b%ff");
    EXPECT_EQ(dlhttp::escape_url_text(once), once);
    EXPECT_EQ(dlhttp::to_hex(std::string("\x00\x0f\xa0\xff", 4)), "000fa0ff");
}

TEST(Url, ResolvesReferencesAgainstTheBase) {
    // The base and the examples of RFC 3986 section 5.4, and the cases a
    // Location header brings.
    const url base("http://a/b/c/d;p?q");
    const std::pair<const char*, const char*> cases[] = {
        {"g", "http://a/b/c/g"},
        {"./g", "http://a/b/c/g"},
        {"g/", "http://a/b/c/g/"},
        {"/g", "http://a/g"},
        {"//g", "http://g"},
        {"?y", "http://a/b/c/d;p?y"},
        {"g?y", "http://a/b/c/g?y"},
        {"#s", "http://a/b/c/d;p?q#s"},
        {"g#s", "http://a/b/c/g#s"},
        {";x", "http://a/b/c/;x"},
        {"", "http://a/b/c/d;p?q"},
        {".", "http://a/b/c/"},
        {"./", "http://a/b/c/"},
        {"..", "http://a/b/"},
        {"../", "http://a/b/"},
        {"../g", "http://a/b/g"},
        {"../..", "http://a/"},
        {"../../g", "http://a/g"},
        {"../../../g", "http://a/g"},
        {"/./g", "http://a/g"},
        {"/../g", "http://a/g"},
        {"g.", "http://a/b/c/g."},
        {"..g", "http://a/b/c/..g"},
        {"./../g", "http://a/b/g"},
        {"g/./h", "http://a/b/c/g/h"},
        {"g/../h", "http://a/b/c/h"},
        // "://" in the query of a relative reference does not make it absolute.
        {"/login?next=http://example.invalid/y", "http://a/login?next=http://example.invalid/y"},
        {"login?next=http://x/", "http://a/b/c/login?next=http://x/"},
        // A scheme is a letter, then letters, digits, "+", "-", ".", then ":".
        {"https://other/x", "https://other/x"},
        {"a+b.c-d:rest", "a+b.c-d:rest"},
        {"g:h", "g:h"},
        {"1a:b", "http://a/b/c/1a:b"},
        {"a_b:c", "http://a/b/c/a_b:c"},
    };
    for (const auto& c : cases) EXPECT_EQ(dlhttp::resolve_reference(base, c.first), c.second) << c.first;

    // The base keeps its port and user information; a base without a path
    // gives the root as folder.
    EXPECT_EQ(dlhttp::resolve_reference(url("http://u:p@h:81"), "x"), "http://u:p@h:81/x");
    EXPECT_EQ(dlhttp::resolve_reference(url("http://[::1]:8/a?b"), "#f"), "http://[::1]:8/a?b#f");
}

// A scheme is made of ASCII letters: under Turkish the byte 0xFD ("ı") is a
// letter to the C library, yet a reference that has it stays relative, and a
// port reads as digits.
TEST(Url, ReadsTheSameUnderATurkishLocale) {
    TurkishLocale turkish;
    REQUIRE_TURKISH_LOCALE(turkish);
    const url base("http://a/b/c/d;p?q");
    const std::pair<const char*, const char*> cases[] = {
        {"\xfdg:h", "http://a/b/c/\xfdg:h"},
        {"g\xfd:h", "http://a/b/c/g\xfd:h"},
        {"HTTPI://I/x", "HTTPI://I/x"},
    };
    for (const auto& c : cases) EXPECT_EQ(dlhttp::resolve_reference(base, c.first), c.second) << c.first;
    const url u("HTTP://I:8080/I");
    EXPECT_EQ(u.scheme(), "http");
    EXPECT_EQ(u.port(), 8080);
    EXPECT_EQ(u.to_string(url::all_parts), "http://I:8080/I");
}

}  // namespace
