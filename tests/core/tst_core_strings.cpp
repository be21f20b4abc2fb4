// KSB::CStringConvert and the version functions: UTF-8 round trips and invalid
// input, NUL truncation, ANSI in the "C", a Latin-1 and a UTF-8 locale, and the
// URL encoding table.
#include <gtest/gtest.h>

#include <clocale>
#include <cstdlib>
#include <string>
#include <vector>

#include "CoreTestSupport.h"
#include "Tessiva/CoreVersion.h"
#include "Tessiva/StringConvert.h"

namespace {

using KSB::CStringConvert;
using namespace std::string_literals;

// Runs a test in a locale of its choice and restores the one before.
class LocaleTest : public ::testing::Test {
protected:
    void SetUp() override { m_previous = std::setlocale(LC_ALL, nullptr); }
    void TearDown() override { std::setlocale(LC_ALL, m_previous.c_str()); }

private:
    std::string m_previous;
};

TEST(CoreUtf8, ValidTextRoundTripsUnchanged) {
    const std::vector<std::pair<std::string, std::wstring>> cases = {
        {"plain ASCII", L"plain ASCII"},
        {"Gr\xc3\xbc\xc3\x9f"
         "e",
         L"Gr\u00fc\u00dfe"},
        {"\xe6\x97\xa5\xe6\x9c\xac\xe8\xaa\x9e", L"\u65e5\u672c\u8a9e"},
        {"\xf0\x9f\x8e\xb5 \xf4\x8f\xbf\xbf", L"\U0001F3B5 \U0010FFFF"},
        {"\x7f\xc2\x80\xdf\xbf\xe0\xa0\x80\xef\xbf\xbf", L"\x7f\u0080\u07ff\u0800\uffff"},
    };
    for (const auto& [utf8, wide] : cases) {
        EXPECT_EQ(CStringConvert::Utf8ToUnicode(utf8), wide) << utf8;
        EXPECT_EQ(CStringConvert::UnicodeToUtf8(wide), utf8) << utf8;
        EXPECT_EQ(CStringConvert::UnicodeToUtf8(CStringConvert::Utf8ToUnicode(utf8)), utf8);
    }
}

// Each maximal invalid part becomes one U+FFFD; what follows is read again.
TEST(CoreUtf8, InvalidBytesBecomeReplacementCharacters) {
    const std::vector<std::pair<std::string, std::wstring>> cases = {
        {"\xff", L"\ufffd"},
        {"a\xc3", L"a\ufffd"},
        {"\xe6\x97x", L"\ufffdx"},
        {"\xc0\xaf", L"\ufffd\ufffd"},                      // overlong "/"
        {"\xed\xa0\x80", L"\ufffd\ufffd\ufffd"},            // encoded surrogate
        {"\xf4\x90\x80\x80", L"\ufffd\ufffd\ufffd\ufffd"},  // above U+10FFFF
        {"\x80z", L"\ufffdz"},
    };
    for (const auto& [utf8, wide] : cases) EXPECT_EQ(CStringConvert::Utf8ToUnicode(utf8), wide) << utf8;
}

TEST(CoreUtf8, SurrogatesAndOutOfRangeValuesOnTheWideSide) {
    EXPECT_EQ(CStringConvert::UnicodeToUtf8(std::wstring{0xD83C, 0xDFB5}), "\xf0\x9f\x8e\xb5");
    EXPECT_EQ(CStringConvert::UnicodeToUtf8(std::wstring{L'a', 0xD800, L'b'}),
              "a\xef\xbf\xbd"
              "b");
    EXPECT_EQ(CStringConvert::UnicodeToUtf8(std::wstring{0xDC00}), "\xef\xbf\xbd");
    EXPECT_EQ(CStringConvert::UnicodeToUtf8(std::wstring{0x110000}), "\xef\xbf\xbd");
}

TEST_F(LocaleTest, EveryConversionStopsAtTheFirstNulAndKeepsEmptyEmpty) {
    std::setlocale(LC_ALL, "C");
    const std::string narrow = "ab\0cd"s;
    const std::wstring wide = L"ab\0cd"s;
    EXPECT_EQ(CStringConvert::AsciiToUnicode(narrow), L"ab");
    EXPECT_EQ(CStringConvert::UnicodeToAscii(wide), "ab");
    EXPECT_EQ(CStringConvert::Utf8ToUnicode(narrow), L"ab");
    EXPECT_EQ(CStringConvert::UnicodeToUtf8(wide), "ab");
    EXPECT_EQ(CStringConvert::AsciiToUtf8(narrow), "ab");
    EXPECT_EQ(CStringConvert::Utf8ToAscii(narrow), "ab");

    for (const std::string& empty : {""s, "\0x"s}) {
        EXPECT_EQ(CStringConvert::AsciiToUnicode(empty), L"");
        EXPECT_EQ(CStringConvert::Utf8ToUnicode(empty), L"");
        EXPECT_EQ(CStringConvert::AsciiToUtf8(empty), "");
        EXPECT_EQ(CStringConvert::Utf8ToAscii(empty), "");
    }
    EXPECT_EQ(CStringConvert::UnicodeToAscii(L""), "");
    EXPECT_EQ(CStringConvert::UnicodeToUtf8(L"\0x"s), "");
}

// The "C" locale's character set is ASCII: other bytes are not valid in it and
// other characters have no mapping.
TEST_F(LocaleTest, AnsiInTheCLocaleIsAscii) {
    ASSERT_NE(std::setlocale(LC_ALL, "C"), nullptr);
    EXPECT_EQ(CStringConvert::AsciiToUnicode("Hello, world!"), L"Hello, world!");
    EXPECT_EQ(CStringConvert::UnicodeToAscii(L"Hello, world!"), "Hello, world!");
    EXPECT_EQ(CStringConvert::AsciiToUnicode("a\xe4z"), L"a\ufffdz");
    EXPECT_EQ(CStringConvert::UnicodeToAscii(L"a\u00e4\u65e5z"), "a??z");
    EXPECT_EQ(CStringConvert::Utf8ToAscii("x\xc3\xa4y"), "x?y");
    EXPECT_EQ(CStringConvert::AsciiToUtf8("plain"), "plain");
}

// A Latin-1 locale: taken from the system when installed, else generated with
// localedef into a temporary folder and found through LOCPATH.
class LatinOneLocaleTest : public LocaleTest {
protected:
    void SetUp() override {
        LocaleTest::SetUp();
        const char* previousLocPath = std::getenv("LOCPATH");
        m_hadLocPath = previousLocPath != nullptr;
        if (m_hadLocPath) m_previousLocPath = previousLocPath;
        for (const char* name : {"en_US.ISO-8859-1", "de_DE.ISO-8859-1", "en_US.iso88591"}) {
            if (std::setlocale(LC_ALL, name) != nullptr) return;
        }
        const std::string command = "localedef --no-archive -i en_US -f ISO-8859-1 '" +
                                    (m_localeDir / "en_US.ISO-8859-1") + "' >/dev/null 2>&1";
        if (std::system(command.c_str()) != 0) return;
        setenv("LOCPATH", m_localeDir.path().c_str(), 1);
        std::setlocale(LC_ALL, "en_US.ISO-8859-1");
    }
    void TearDown() override {
        LocaleTest::TearDown();
        if (m_hadLocPath) {
            setenv("LOCPATH", m_previousLocPath.c_str(), 1);
        } else {
            unsetenv("LOCPATH");
        }
    }

    static bool active() {
        const char* locale = std::setlocale(LC_CTYPE, nullptr);
        return locale != nullptr && std::string(locale) != "C";
    }

private:
    coretest::TempDir m_localeDir;
    bool m_hadLocPath = false;
    std::string m_previousLocPath;
};

TEST_F(LatinOneLocaleTest, AnsiIsLatinOne) {
    if (!active()) GTEST_SKIP() << "no Latin-1 locale installed and localedef could not make one";
    EXPECT_EQ(CStringConvert::AsciiToUnicode("a\xe4\xdf\xff"), L"a\u00e4\u00df\u00ff");
    EXPECT_EQ(CStringConvert::UnicodeToAscii(L"a\u00e4\u00df\u00ff"), "a\xe4\xdf\xff");
    EXPECT_EQ(CStringConvert::UnicodeToAscii(L"\u20ac\u00e9\u65e5"), "?\xe9?");
    EXPECT_EQ(CStringConvert::AsciiToUtf8("\xe4"), "\xc3\xa4");
    EXPECT_EQ(CStringConvert::Utf8ToAscii("\xc3\xa4\xe2\x82\xac"), "\xe4?");
    // Letters of this locale count as alphanumeric and are kept by the URL encoder.
    EXPECT_EQ(CStringConvert::AsciiToUrlEncode2("\xe4\xd7"), "\xe4%D7");
}

TEST_F(LocaleTest, AnsiInAUtf8LocaleIsUtf8) {
    if (std::setlocale(LC_ALL, "C.UTF-8") == nullptr) GTEST_SKIP() << "no C.UTF-8 locale";
    EXPECT_EQ(CStringConvert::AsciiToUnicode("\xc3\xa4\xe6\x97\xa5"), L"\u00e4\u65e5");
    EXPECT_EQ(CStringConvert::UnicodeToAscii(L"\u00e4\u65e5"), "\xc3\xa4\xe6\x97\xa5");
    EXPECT_EQ(CStringConvert::AsciiToUnicode("\xff"), L"\ufffd");
    EXPECT_EQ(CStringConvert::UnicodeToAscii(std::wstring{L'a', 0xD800}), "a?");
}

TEST_F(LocaleTest, UrlEncodingTable) {
    ASSERT_NE(std::setlocale(LC_ALL, "C"), nullptr);
    const std::vector<std::pair<std::string, std::string>> cases = {
        {"a \\\xe4%", "a%20/%E4%"},
        {"\t\n\v\f\r", "%20%20%20%20%20"},
        {"q=1&x=y?z#top+%41", "q=1&x=y?z#top+%41"},
        {"C:\\dir\\file.txt", "C:/dir/file.txt"},
        {"\x80\x9f\xa0\xff", "%80%9F%A0%FF"},
        {"\xc3\xa4", "%C3%A4"},
        {"a\0b"s, "ab"},
        {"AZaz09-_.~!*'()", "AZaz09-_.~!*'()"},
        {"", ""},
    };
    for (const auto& [input, encoded] : cases) {
        EXPECT_EQ(CStringConvert::AsciiToUrlEncode2(input), encoded) << input;
        EXPECT_EQ(CStringConvert::Utf8ToUrlEncode3(input), encoded) << input;
    }
}

TEST(CoreVersion, VersionTexts) {
    EXPECT_STREQ(GetCoreVersionA(), "2017.07.14");
    EXPECT_STREQ(GetCoreVersionW(), L"2017.07.14");
    EXPECT_EQ(GetCoreVersionA(), GetCoreVersionA()) << "the text is a constant";
}

TEST(CoreStringConvert, ObjectsCanBeMadeCopiedAndAssigned) {
    CStringConvert convert;
    CStringConvert copy(convert);
    copy = convert;
    EXPECT_EQ(copy.Utf8ToUnicode("ok"), L"ok");
}

}  // namespace
