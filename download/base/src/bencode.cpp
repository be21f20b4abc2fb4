#include "dlhttp/bencode.h"

#include <limits>

#include "dlhttp/text.h"

namespace dlhttp {

namespace {

using detail::decimal;

std::size_t encode_to(std::string& out, const entry& e) {
    const std::size_t before = out.size();
    switch (e.type()) {
    case entry::int_t:
        out += 'i';
        out += decimal(e.integer());
        out += 'e';
        break;
    case entry::string_t:
        out += decimal(static_cast<long long>(e.string().size()));
        out += ':';
        out += e.string();
        break;
    case entry::list_t:
        out += 'l';
        for (const entry& item : e.list()) encode_to(out, item);
        out += 'e';
        break;
    case entry::dictionary_t:
        out += 'd';
        for (const auto& item : e.dict()) {
            out += decimal(static_cast<long long>(item.first.size()));
            out += ':';
            out += item.first;
            encode_to(out, item.second);
        }
        out += 'e';
        break;
    default: break;
    }
    return out.size() - before;
}

// Reads the text up to `stop` (exclusive) and moves `p` past the stop byte;
// false when the input ends first.
bool read_until(const char*& p, const char* end, char stop, std::string& text) {
    const char* start = p;
    while (p != end && *p != stop) ++p;
    if (p == end) return false;
    text.assign(start, p);
    ++p;
    return true;
}

// A signed decimal number as strtoll reads it (leading white space, sign,
// digits up to the first other character; 0 without digits), failing when it
// does not fit 64 bits.
bool to_integer(const std::string& text, std::int64_t& value) {
    std::size_t i = 0;
    while (i < text.size() && (text[i] == ' ' || (text[i] >= '\t' && text[i] <= '\r'))) ++i;
    bool negative = false;
    if (i < text.size() && (text[i] == '+' || text[i] == '-')) negative = text[i++] == '-';
    std::uint64_t magnitude = 0;
    const std::uint64_t limit = negative ? std::uint64_t(std::numeric_limits<std::int64_t>::max()) + 1
                                         : std::uint64_t(std::numeric_limits<std::int64_t>::max());
    for (; i < text.size() && text[i] >= '0' && text[i] <= '9'; ++i) {
        const unsigned d = static_cast<unsigned>(text[i] - '0');
        if (magnitude > (limit - d) / 10) return false;
        magnitude = magnitude * 10 + d;
    }
    value = negative ? static_cast<std::int64_t>(0 - magnitude) : static_cast<std::int64_t>(magnitude);
    return true;
}

bool decode(const char*& p, const char* end, entry& out, int depth) {
    if (depth >= bdecode_depth_limit || p == end) return false;
    const char c = *p;
    if (c == 'i') {
        ++p;
        std::string text;
        std::int64_t value = 0;
        if (!read_until(p, end, 'e', text) || !to_integer(text, value)) return false;
        out = entry(value);
        return true;
    }
    if (c >= '0' && c <= '9') {
        std::string text;
        std::int64_t length = 0;
        if (!read_until(p, end, ':', text) || !to_integer(text, length) || length < 0) return false;
        if (static_cast<std::uint64_t>(length) > static_cast<std::uint64_t>(end - p)) return false;
        out = entry(std::string(p, p + length));
        p += length;
        return true;
    }
    if (c == 'l') {
        ++p;
        out = entry(entry::list_t);
        int counter = depth;
        while (p != end && *p != 'e') {
            entry item;
            if (!decode(p, end, item, ++counter)) return false;
            out.list().push_back(std::move(item));
        }
        if (p == end) return false;
        ++p;
        return true;
    }
    if (c == 'd') {
        ++p;
        out = entry(entry::dictionary_t);
        int counter = depth;
        while (p != end && *p != 'e') {
            ++counter;
            entry key;
            if (!decode(p, end, key, counter) || key.type() != entry::string_t) return false;
            entry value;
            if (!decode(p, end, value, counter)) return false;
            out.dict()[key.string()] = std::move(value);
        }
        if (p == end) return false;
        ++p;
        return true;
    }
    return false;
}

}  // namespace

std::size_t bencode(std::string& out, const entry& e) { return encode_to(out, e); }

std::string bencode(const entry& e) {
    std::string out;
    encode_to(out, e);
    return out;
}

entry bdecode(const char* begin, const char* end) {
    entry result;
    const char* p = begin;
    if (!begin || !decode(p, end, result, 0)) return entry();
    return result;
}

}  // namespace dlhttp
