#include "Tessiva/StringConvert.h"

#include <cctype>
#include <cerrno>
#include <cstring>
#include <iconv.h>
#include <langinfo.h>

#include "Tessiva/walk/Utf8.h"

namespace KSB {

namespace {

constexpr wchar_t kReplacement = 0xFFFD;

// The text before the first NUL.
template <typename Char>
std::basic_string<Char> untilNul(const std::basic_string<Char>& text) {
    const size_t nul = text.find(Char());
    return nul == std::basic_string<Char>::npos ? text : text.substr(0, nul);
}

// One iconv conversion descriptor, closed when it goes out of scope.
class Converter {
public:
    Converter(const char* to, const char* from) : m_cd(iconv_open(to, from)) {}
    ~Converter() {
        if (valid()) iconv_close(m_cd);
    }
    Converter(const Converter&) = delete;
    Converter& operator=(const Converter&) = delete;

    bool valid() const { return m_cd != reinterpret_cast<iconv_t>(-1); }

    // Converts in into out (appending). An input unit that cannot be converted
    // makes onInvalid append its replacement and is skipped (inputUnit bytes).
    template <typename OnInvalid>
    void run(const char* in, size_t inBytes, size_t inputUnit, std::string& out, OnInvalid onInvalid) {
        char* src = const_cast<char*>(in);
        char buffer[4096];
        while (inBytes > 0) {
            char* dst = buffer;
            size_t room = sizeof(buffer);
            const size_t result = iconv(m_cd, &src, &inBytes, &dst, &room);
            out.append(buffer, static_cast<size_t>(dst - buffer));
            if (result != static_cast<size_t>(-1)) continue;
            if (errno == E2BIG) continue;
            // EILSEQ: an invalid or unmappable unit; EINVAL: an incomplete
            // sequence at the end of the input.
            onInvalid(out);
            if (errno == EINVAL) break;
            const size_t skip = inputUnit < inBytes ? inputUnit : inBytes;
            src += skip;
            inBytes -= skip;
            iconv(m_cd, nullptr, nullptr, nullptr, nullptr);
        }
        // Flush any pending shift state.
        char* dst = buffer;
        size_t room = sizeof(buffer);
        iconv(m_cd, nullptr, nullptr, &dst, &room);
        out.append(buffer, static_cast<size_t>(dst - buffer));
    }

private:
    iconv_t m_cd;
};

// The character set of the current C locale.
const char* ansiCodeset() { return nl_langinfo(CODESET); }

std::string urlEncode(const std::string& text) {
    static const char kHex[] = "0123456789ABCDEF";
    std::string out;
    out.reserve(text.size());
    for (const char c : text) {
        const unsigned char byte = static_cast<unsigned char>(c);
        if (byte == 0) continue;
        if (std::isspace(byte)) {
            out += "%20";
        } else if (byte == '\\') {
            out += '/';
        } else if (byte >= 128 && !std::isalnum(byte)) {
            out += '%';
            out += kHex[byte >> 4];
            out += kHex[byte & 0x0F];
        } else {
            out += c;
        }
    }
    return out;
}

}  // namespace

CStringConvert::CStringConvert() = default;
CStringConvert::CStringConvert(const CStringConvert&) = default;
CStringConvert& CStringConvert::operator=(const CStringConvert&) = default;
CStringConvert::~CStringConvert() = default;

std::wstring CStringConvert::AsciiToUnicode(std::string text) {
    text = untilNul(text);
    if (text.empty()) return std::wstring();
    Converter converter("WCHAR_T", ansiCodeset());
    if (!converter.valid()) return std::wstring();
    std::string wide;
    converter.run(text.data(), text.size(), 1, wide, [](std::string& out) {
        out.append(reinterpret_cast<const char*>(&kReplacement), sizeof(kReplacement));
    });
    std::wstring result(wide.size() / sizeof(wchar_t), L'\0');
    std::memcpy(&result[0], wide.data(), result.size() * sizeof(wchar_t));
    return untilNul(result);
}

std::string CStringConvert::UnicodeToAscii(std::wstring text) {
    text = untilNul(text);
    if (text.empty()) return std::string();
    Converter converter(ansiCodeset(), "WCHAR_T");
    if (!converter.valid()) return std::string();
    std::string result;
    converter.run(reinterpret_cast<const char*>(text.data()), text.size() * sizeof(wchar_t), sizeof(wchar_t), result,
                  [](std::string& out) { out += '?'; });
    return untilNul(result);
}

std::wstring CStringConvert::Utf8ToUnicode(std::string text) {
    return tessiva::decodeUtf8(untilNul(text), tessiva::InvalidBytes::Replace);
}

std::string CStringConvert::UnicodeToUtf8(std::wstring text) {
    return tessiva::encodeUtf8(untilNul(text), tessiva::InvalidBytes::Replace);
}

std::string CStringConvert::AsciiToUtf8(std::string text) { return UnicodeToUtf8(AsciiToUnicode(std::move(text))); }

std::string CStringConvert::Utf8ToAscii(std::string text) { return UnicodeToAscii(Utf8ToUnicode(std::move(text))); }

std::string CStringConvert::AsciiToUrlEncode2(std::string text) { return urlEncode(text); }

std::string CStringConvert::Utf8ToUrlEncode3(std::string text) { return urlEncode(text); }

}  // namespace KSB
