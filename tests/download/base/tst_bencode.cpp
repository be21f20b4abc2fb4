// Bencode values: typed access, encoding and decoding.
#include <gtest/gtest.h>

#include <string>

#include <boost/system/system_error.hpp>

#include "dlhttp/bencode.h"
#include "dlhttp/entry.h"
#include "dlhttp/http_error.h"

namespace {

using dlhttp::entry;

entry decode(const std::string& text) { return dlhttp::bdecode(text.data(), text.data() + text.size()); }

std::string list_of(int count) {
    std::string text = "l";
    for (int i = 0; i < count; ++i) text += "i1e";
    return text + "e";
}

TEST(Entry, TypedAccess) {
    entry e;
    EXPECT_EQ(e.type(), entry::undefined_t);
    e.integer() = 5;  // an undefined value becomes an integer for writing
    EXPECT_EQ(e.type(), entry::int_t);
    try {
        e.string();
        FAIL() << "no exception";
    } catch (const boost::system::system_error& error) {
        EXPECT_EQ(error.code(), dlhttp::invalid_entry_type);
        EXPECT_NE(std::string(error.what()).find("invalid type requested from entry"), std::string::npos);
    }
    const entry undefined;
    EXPECT_THROW(undefined.integer(), boost::system::system_error);

    entry d;
    d["b"]["inner"] = entry("x");
    d["a"];  // a missing key is inserted undefined
    EXPECT_EQ(d.dict().size(), 2u);
    EXPECT_EQ(d.find_key("a")->type(), entry::undefined_t);
    EXPECT_EQ(d.find_key("missing"), nullptr);
    EXPECT_EQ(entry(1).find_key("a"), nullptr);
    EXPECT_THROW(entry(1)["a"], boost::system::system_error);
}

TEST(Bencode, Encodes) {
    entry d(entry::dictionary_t);
    d["z"] = entry(-12);
    d["a"] = entry(std::string("x\0y", 3));
    d["m"] = entry(entry::list_t);
    d["m"].list().push_back(entry(0));
    d["m"].list().push_back(entry("s"));
    d["u"];  // undefined encodes as nothing
    std::string out = "prefix";
    const std::string expected = std::string("d1:a3:x\0y1:mli0e1:se1:u1:zi-12ee", 32);
    EXPECT_EQ(dlhttp::bencode(out, d), expected.size());
    EXPECT_EQ(out, "prefix" + expected);
    EXPECT_EQ(dlhttp::bencode(entry()), "");
}

TEST(Bencode, DecodesAndRejects) {
    struct Case {
        std::string text;
        bool ok;
    };
    const Case cases[] = {
        {"i-5e", true},
        {"i0e", true},
        {"i9223372036854775807e", true},
        {"i-9223372036854775808e", true},
        {"3:abc", true},
        {"3:abcdef", true},  // bytes after the first value are ignored
        {"0:", true},
        {"le", true},
        {"de", true},
        {"d1:ai1e1:bl3:xyzee", true},
        {list_of(99), true},
        {"3:ab", false},
        {"x", false},
        {"", false},
        {"i5", false},
        {"3", false},
        {"l", false},
        {"li1e", false},
        {"d1:a", false},
        {"di1ei2ee", false},  // keys must be strings
        {list_of(100), false},
        {"i9223372036854775808e", false},
        {"i-9223372036854775809e", false},
        {"99999999999999999999:a", false},
        {"4294967297:abc", false},
        {"18446744073709551615:abc", false},
    };
    for (const Case& c : cases) EXPECT_EQ(decode(c.text).type() != entry::undefined_t, c.ok) << c.text;
    EXPECT_EQ(decode("i-5e").integer(), -5);
    EXPECT_EQ(decode("3:abcdef").string(), "abc");
}

TEST(Bencode, NestingDepthIsLimited) {
    std::string nested;
    for (int i = 0; i < 99; ++i) nested += "l";
    nested += "i1e";
    for (int i = 0; i < 99; ++i) nested += "e";
    EXPECT_EQ(decode(nested).type(), entry::list_t);
    EXPECT_EQ(decode("l" + nested + "e").type(), entry::undefined_t);
    EXPECT_EQ(decode(std::string(100000, 'l')).type(), entry::undefined_t);
}

TEST(Bencode, RoundTrip) {
    entry d(entry::dictionary_t);
    d["bin"] = entry(std::string("\0\xff\x80", 3));
    d["n"] = entry(-9223372036854775807LL - 1);
    d["l"] = entry(entry::list_t);
    d["l"].list().push_back(entry(entry::dictionary_t));
    const std::string text = dlhttp::bencode(d);
    EXPECT_EQ(decode(text), d);
}

}  // namespace
