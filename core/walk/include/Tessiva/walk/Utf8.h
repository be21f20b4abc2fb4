#pragma once

// UTF-8 coding between byte strings and wide strings of Unicode code points.

#include <string>

namespace tessiva {

// How bytes that are not valid UTF-8 are decoded.
enum class InvalidBytes {
    // Each maximal invalid part becomes U+FFFD (text).
    Replace,
    // Each invalid byte b becomes the lone code point U+DC00 + b, which
    // encodeUtf8 with the same choice turns back into b (file names, which are
    // byte strings here and need not be valid UTF-8).
    Escape,
};

std::wstring decodeUtf8(const std::string& bytes, InvalidBytes invalid);

// A high surrogate followed by a low one is joined into one code point; other
// surrogates and values above U+10FFFF become U+FFFD, or with Escape the code
// points U+DC80..U+DCFF become their byte again.
std::string encodeUtf8(const std::wstring& text, InvalidBytes invalid);

}  // namespace tessiva
