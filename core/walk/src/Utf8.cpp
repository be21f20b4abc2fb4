#include "Tessiva/walk/Utf8.h"

#include <cstdint>

namespace tessiva {

namespace {

constexpr char32_t kReplacement = 0xFFFD;

// Number of continuation bytes after lead, and the allowed range of the first
// one (later ones are always 0x80..0xBF); -1 for a byte that cannot lead.
struct Lead {
    int continuations;
    unsigned char low;
    unsigned char high;
};

Lead leadOf(unsigned char b) {
    if (b >= 0xC2 && b <= 0xDF) return {1, 0x80, 0xBF};
    if (b == 0xE0) return {2, 0xA0, 0xBF};
    if ((b >= 0xE1 && b <= 0xEC) || b == 0xEE || b == 0xEF) return {2, 0x80, 0xBF};
    if (b == 0xED) return {2, 0x80, 0x9F};
    if (b == 0xF0) return {3, 0x90, 0xBF};
    if (b >= 0xF1 && b <= 0xF3) return {3, 0x80, 0xBF};
    if (b == 0xF4) return {3, 0x80, 0x8F};
    return {-1, 0, 0};
}

void appendUtf8(std::string& out, uint32_t cp) {
    if (cp < 0x80) {
        out += static_cast<char>(cp);
    } else if (cp < 0x800) {
        out += static_cast<char>(0xC0 | (cp >> 6));
        out += static_cast<char>(0x80 | (cp & 0x3F));
    } else if (cp < 0x10000) {
        out += static_cast<char>(0xE0 | (cp >> 12));
        out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (cp & 0x3F));
    } else {
        out += static_cast<char>(0xF0 | (cp >> 18));
        out += static_cast<char>(0x80 | ((cp >> 12) & 0x3F));
        out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (cp & 0x3F));
    }
}

bool isHighSurrogate(uint32_t cp) { return cp >= 0xD800 && cp <= 0xDBFF; }
bool isLowSurrogate(uint32_t cp) { return cp >= 0xDC00 && cp <= 0xDFFF; }

}  // namespace

std::wstring decodeUtf8(const std::string& bytes, InvalidBytes invalid) {
    std::wstring out;
    out.reserve(bytes.size());
    const size_t n = bytes.size();
    size_t i = 0;
    while (i < n) {
        const unsigned char b = static_cast<unsigned char>(bytes[i]);
        if (b < 0x80) {
            out += static_cast<wchar_t>(b);
            ++i;
            continue;
        }
        const Lead lead = leadOf(b);
        uint32_t cp = lead.continuations > 0 ? (b & (0x3Fu >> lead.continuations)) : 0;
        size_t j = i + 1;
        bool complete = lead.continuations > 0;
        for (int k = 0; complete && k < lead.continuations; ++k, ++j) {
            const unsigned char low = k == 0 ? lead.low : 0x80;
            const unsigned char high = k == 0 ? lead.high : 0xBF;
            const unsigned char c = j < n ? static_cast<unsigned char>(bytes[j]) : 0;
            if (j >= n || c < low || c > high) {
                complete = false;
                break;
            }
            cp = (cp << 6) | (c & 0x3F);
        }
        if (complete) {
            out += static_cast<wchar_t>(cp);
        } else if (invalid == InvalidBytes::Replace) {
            out += static_cast<wchar_t>(kReplacement);
            j = lead.continuations > 0 ? j : i + 1;
        } else {
            out += static_cast<wchar_t>(0xDC00 + b);
            j = i + 1;
        }
        i = j;
    }
    return out;
}

std::string encodeUtf8(const std::wstring& text, InvalidBytes invalid) {
    std::string out;
    out.reserve(text.size());
    for (size_t i = 0; i < text.size(); ++i) {
        uint32_t cp = static_cast<uint32_t>(text[i]);
        if (invalid == InvalidBytes::Escape && cp >= 0xDC80 && cp <= 0xDCFF) {
            out += static_cast<char>(cp - 0xDC00);
            continue;
        }
        if (isHighSurrogate(cp) && i + 1 < text.size() && isLowSurrogate(static_cast<uint32_t>(text[i + 1]))) {
            cp = 0x10000 + ((cp - 0xD800) << 10) + (static_cast<uint32_t>(text[i + 1]) - 0xDC00);
            ++i;
        } else if (isHighSurrogate(cp) || isLowSurrogate(cp) || cp > 0x10FFFF) {
            cp = kReplacement;
        }
        appendUtf8(out, cp);
    }
    return out;
}

}  // namespace tessiva
