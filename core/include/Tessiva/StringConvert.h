#pragma once

#include <string>

#include "Tessiva/TessivaExport.h"

namespace KSB {

// Conversions between ANSI, wide and UTF-8 strings, and a URL encoder.
//
// "ANSI" is the character set of the current C locale (LC_CTYPE, as set with
// setlocale; the "C" locale's set is ASCII). Wide strings hold Unicode code
// points. Every conversion reads its input up to the first NUL. Input that is not
// valid in its encoding becomes U+FFFD; characters the ANSI set cannot represent
// become "?".
class TESSIVA_EXPORT CStringConvert {
public:
    CStringConvert();
    CStringConvert(const CStringConvert& other);
    CStringConvert& operator=(const CStringConvert& other);
    virtual ~CStringConvert();

    static std::wstring AsciiToUnicode(std::string text);
    static std::string UnicodeToAscii(std::wstring text);
    static std::wstring Utf8ToUnicode(std::string text);
    static std::string UnicodeToUtf8(std::wstring text);
    static std::string AsciiToUtf8(std::string text);
    static std::string Utf8ToAscii(std::string text);

    // URL encoding, byte by byte with the current C locale's character classes:
    // white space becomes "%20", a backslash "/", a byte of 128 or more that is not
    // alphanumeric "%" and two upper-case hex digits; every other byte (ASCII
    // punctuation such as "%", "&", "?" included) is kept. NUL bytes are dropped.
    static std::string AsciiToUrlEncode2(std::string text);
    // The same encoding as AsciiToUrlEncode2.
    static std::string Utf8ToUrlEncode3(std::string text);
};

}  // namespace KSB
