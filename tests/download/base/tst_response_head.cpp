// Status line and header block parsing, and the option list they fill.
#include <gtest/gtest.h>

#include <iterator>
#include <sstream>
#include <string>

#include "dlhttp/option_list.h"
#include "dlhttp/response_head.h"

namespace {

using dlhttp::option_list;

struct StatusResult {
    bool ok;
    int major, minor, status;
};

StatusResult parse_status(const std::string& line) {
    StatusResult r{false, 0, 0, 0};
    r.ok = dlhttp::detail::parse_status_line(line.begin(), line.end(), r.major, r.minor, r.status);
    return r;
}

TEST(StatusLine, AcceptsAndRejects) {
    struct Case {
        const char* line;
        bool ok;
        int major, minor, status;
    };
    const Case cases[] = {
        {"HTTP/1.1 206 Partial Content\r\n", true, 1, 1, 206},
        {"HTTP/1.0 200 \r\n", true, 1, 0, 200},
        {"HTTP/1.1 200 OK \xe4\xf6\r\n", true, 1, 1, 200},
        {"HTTP/12.34 999 x\r\n", true, 12, 34, 999},
        {"HTTP/1.0 200\r\n", false, 0, 0, 0},
        {"http/1.1 200 OK\r\n", false, 0, 0, 0},
        {"HTTP/1.1 200 OK\n", false, 0, 0, 0},
        {"HTTP/1.1 200 OK\r\r", false, 0, 0, 0},
        {"HTTP/1.1 200 O\tK\r\n", false, 0, 0, 0},
        {"HTTP/1.1 200 OK", false, 0, 0, 0},
        {"HTTP/1.1 200 OK\r", false, 0, 0, 0},
        {"HTTP/.1 200 OK\r\n", false, 0, 0, 0},
        {"HTTP/1. 200 OK\r\n", false, 0, 0, 0},
        {"HTTP/1.1  200 OK\r\n", false, 0, 0, 0},
        {"", false, 0, 0, 0},
        // Numbers are capped instead of overflowing an int.
        {"HTTP/1.1 123456789 OK\r\n", true, 1, 1, 123456789},
        {"HTTP/1.1 200000000000 OK\r\n", false, 0, 0, 0},
        {"HTTP/1.99999999999 200 OK\r\n", false, 0, 0, 0},
        {"HTTP/99999999999.1 200 OK\r\n", false, 0, 0, 0},
    };
    for (const Case& c : cases) {
        StatusResult r = parse_status(c.line);
        EXPECT_EQ(r.ok, c.ok) << c.line;
        if (c.ok) {
            EXPECT_EQ(r.major, c.major) << c.line;
            EXPECT_EQ(r.minor, c.minor) << c.line;
            EXPECT_EQ(r.status, c.status) << c.line;
        }
    }
}

TEST(StatusLine, ConsumesTheLineFromAStreamBuffer) {
    std::stringbuf buffer("HTTP/1.1 404 Not Found\r\nServer: x\r\n");
    int major = 0, minor = 0, status = 0;
    EXPECT_TRUE(dlhttp::detail::parse_status_line(std::istreambuf_iterator<char>(&buffer),
                                                  std::istreambuf_iterator<char>(), major, minor, status));
    EXPECT_EQ(status, 404);
    std::string rest(std::istreambuf_iterator<char>(&buffer), {});
    EXPECT_EQ(rest, "Server: x\r\n");
}

struct Head {
    bool ok = false;
    std::string content_type;
    std::int64_t content_length = -1;
    std::string location;
    option_list options;
};

Head parse_block(const std::string& block, std::int64_t content_length = -1) {
    Head h;
    h.content_length = content_length;
    h.ok = dlhttp::detail::parse_header_block(block.data(), block.data() + block.size(), h.content_type,
                                              h.content_length, h.location, h.options);
    return h;
}

TEST(HeaderBlock, StoresTrimmedHeadersInOrder) {
    Head h = parse_block(
        "Content-Type: text/plain\r\n"
        "Content-Length:   1234  \r\n"
        "Location: http://h/next\r\n"
        "X-Empty:\r\n"
        "Set-Cookie: a=1\r\n"
        "Set-Cookie: b=2\r\n"
        "\r\n");
    ASSERT_TRUE(h.ok);
    EXPECT_EQ(h.content_type, "text/plain");
    EXPECT_EQ(h.content_length, 1234);
    EXPECT_EQ(h.location, "http://h/next");
    const option_list::container_type expected = {{"Content-Type", "text/plain"}, {"Content-Length", "1234"},
                                                  {"Location", "http://h/next"},  {"X-Empty", ""},
                                                  {"Set-Cookie", "a=1"},          {"Set-Cookie", "b=2"}};
    EXPECT_EQ(h.options.options(), expected);
}

TEST(HeaderBlock, AcceptsAndRejects) {
    struct Case {
        const char* block;
        bool ok;
        std::size_t stored;
    };
    const Case cases[] = {
        {"\r\n", true, 0},
        {"A: 1\nB: 2\r\n\r\n", true, 2},         // a lone LF after a value
        {"A: 1\r\n\r\nB: 2\r\n", true, 1},       // bytes after the block are not read
        {"A: caf\xc3\xa9\r\n\r\n", true, 1},     // bytes above 127 in a value
        {"A:\r\n\r\n", true, 1},                 // empty value
        {"Content-Type : x\r\n\r\n", false, 0},  // space in a name
        {"Content\tType: x\r\n\r\n", false, 0},  // tab in a name
        {"A:\tx\r\n\r\n", false, 0},             // tab right after ":"
        {"A: x\ty\r\n\r\n", false, 0},           // tab inside a value
        {"A\n: x\r\n\r\n", false, 0},            // name line ended by LF
        {"A: 1\r\nB{: 2\r\n\r\n", false, 1},     // forbidden name character
        {"A: 1\r\n\r", false, 1},                // cut off after the last CR
        {"A: 1\r\n", false, 0},                  // cut off before the empty line
        {"A: 1", false, 0},                      // cut off in a value
        {"A", false, 0},                         // cut off in a name
        {"A: 1\r\nB: 2\r\n\rx", false, 2},       // CR not followed by LF
        {"A: 1\rx\r\n\r\n", false, 0},           // CR inside a value
        {"\xc3: 1\r\n\r\n", false, 0},           // byte above 127 in a name
        {"", false, 0},
    };
    for (const Case& c : cases) {
        Head h = parse_block(c.block);
        EXPECT_EQ(h.ok, c.ok) << c.block;
        EXPECT_EQ(h.options.size(), c.stored) << c.block;
    }
}

TEST(HeaderBlock, ContinuationLinesJoinWithNothing) {
    Head h = parse_block("X: a\r\n b\r\n\t c\r\nY: z\r\n\r\n");
    ASSERT_TRUE(h.ok);
    EXPECT_EQ(h.options.find("X"), "abc");
    EXPECT_EQ(h.options.find("Y"), "z");
}

TEST(ContentLength, OnlyDigitsMakeALength) {
    struct Case {
        const char* text;
        bool ok;
        std::int64_t value;
    };
    const Case cases[] = {
        {"0", true, 0},
        {"1234", true, 1234},
        {"007", true, 7},
        {"", false, -1},
        {"12a", false, -1},
        {"-1", false, -1},
        {"+1", false, -1},
        {" 1", false, -1},
        {"1,1", false, -1},
        {"9223372036854775807", true, 9223372036854775807LL},
        {"9223372036854775808", false, -1},
    };
    for (const Case& c : cases) {
        std::int64_t value = -1;
        EXPECT_EQ(dlhttp::detail::parse_content_length(c.text, value), c.ok) << c.text;
        EXPECT_EQ(value, c.value) << c.text;
    }
}

TEST(HeaderBlock, ContentLengthOnlyGrows) {
    struct Case {
        const char* block;
        std::int64_t initial;
        std::int64_t length;
    };
    const Case cases[] = {
        {"Content-Range: bytes 0-99/5000\r\nContent-Length: 100\r\n\r\n", -1, 5000},
        {"Content-Length: 100\r\nContent-Range: bytes 0-99/5000\r\n\r\n", -1, 5000},
        {"Content-Length: 100\r\nContent-Range: bytes 0-99/*\r\n\r\n", -1, 100},
        {"Content-Length: 100\r\nContent-Range: bytes 0-99/\r\n\r\n", -1, 100},
        {"Content-Length: 100\r\nContent-Range: bytes 0-99\r\n\r\n", -1, 100},
        {"Content-Length: 10\r\nContent-Length: 5\r\n\r\n", -1, 10},
        // Only digits make a length: trailing text, a sign or a list is none.
        {"content-length: 42abc\r\n\r\n", -1, -1},
        {"Content-Length: x\r\n\r\n", -1, -1},
        {"Content-Length: +5\r\n\r\n", -1, -1},
        {"Content-Length: 5, 5\r\n\r\n", -1, -1},
        {"Content-Length: 9223372036854775807\r\n\r\n", -1, 9223372036854775807LL},
        // Negative and overflowing lengths are ignored instead of wrapped.
        {"Content-Length: -5\r\n\r\n", -10, -10},
        {"Content-Length: 9223372036854775808\r\n\r\n", -1, -1},
        {"Content-Length: 99999999999999999999999\r\n\r\n", 7, 7},
        {"Content-Range: bytes 0-1/18446744073709551617\r\n\r\n", -1, -1},
        {"Content-Range: bytes 0-1/-3\r\n\r\n", -5, -5},
    };
    for (const Case& c : cases) {
        Head h = parse_block(c.block, c.initial);
        EXPECT_TRUE(h.ok) << c.block;
        EXPECT_EQ(h.content_length, c.length) << c.block;
    }
}

TEST(HeaderBlock, LaterTypeAndLocationReplaceEarlierOnes) {
    Head h = parse_block("content-type: a\r\nLOCATION: /1\r\nContent-Type: b\r\nLocation: /2\r\n\r\n");
    ASSERT_TRUE(h.ok);
    EXPECT_EQ(h.content_type, "b");
    EXPECT_EQ(h.location, "/2");
}

TEST(OptionList, FindIgnoresCaseRemoveDoesNot) {
    option_list list;
    list.insert("Content-Length", "1");
    list.insert("content-length", "2");
    list.insert("X", "3");
    std::string value = "untouched";
    EXPECT_TRUE(list.find("CONTENT-LENGTH", value));
    EXPECT_EQ(value, "1");
    EXPECT_FALSE(list.find("Missing", value));
    EXPECT_EQ(value, "1");
    EXPECT_EQ(list.find("missing"), "");

    list.remove("content-length");  // exact match: removes the second entry
    EXPECT_EQ(list.size(), 2u);
    EXPECT_EQ(list.find("content-length"), "1");
    list.remove("Nope");
    EXPECT_EQ(list.size(), 2u);
}

TEST(OptionList, CopiesCarryTheFakeContinueFlag) {
    option_list list;
    EXPECT_FALSE(list.fake_continue());
    list.set_fake_continue(true);
    list.insert("A", "1");
    option_list copy = list;
    EXPECT_TRUE(copy.fake_continue());
    EXPECT_EQ(copy.find("a"), "1");
}

TEST(EqualsIgnoreCase, ComparesWholeStrings) {
    EXPECT_TRUE(dlhttp::detail::equals_ignore_case("Content-Type", "CONTENT-type"));
    EXPECT_FALSE(dlhttp::detail::equals_ignore_case("Content-Type", "Content-Types"));
    EXPECT_TRUE(dlhttp::detail::equals_ignore_case("", ""));
}

}  // namespace
