#include "dlhttp/resume_record.h"

#include <algorithm>

#include <boost/filesystem/operations.hpp>

#include "dlhttp/bencode.h"

namespace dlhttp {

namespace {

const entry* typed_key(const entry& e, const char* key, entry::data_type type) {
    const entry* value = e.find_key(key);
    return value && value->type() == type ? value : nullptr;
}

// Sorted, merged copy of the ranges (empty ranges dropped).
std::vector<byte_range> merged(std::vector<byte_range> ranges) {
    ranges.erase(std::remove_if(ranges.begin(), ranges.end(), [](const byte_range& r) { return r.second <= r.first; }),
                 ranges.end());
    std::sort(ranges.begin(), ranges.end());
    std::vector<byte_range> out;
    for (const byte_range& r : ranges) {
        if (!out.empty() && r.first <= out.back().second) {
            out.back().second = std::max(out.back().second, r.second);
        } else {
            out.push_back(r);
        }
    }
    return out;
}

}  // namespace

std::int64_t piece_count(std::int64_t file_size, std::int64_t piece_size) {
    if (piece_size <= 0 || file_size <= 0) return 0;
    return file_size / piece_size + (file_size % piece_size ? 1 : 0);
}

std::string make_bitfield(const std::vector<byte_range>& written, std::int64_t file_size, std::int64_t piece_size) {
    const std::int64_t pieces = piece_count(file_size, piece_size);
    std::string bits(static_cast<std::size_t>((pieces + 7) / 8), '\0');
    const std::vector<byte_range> ranges = merged(written);
    std::size_t r = 0;
    for (std::int64_t i = 0; i < pieces; ++i) {
        const std::int64_t begin = i * piece_size;
        const std::int64_t end = std::min(begin + piece_size, file_size);
        while (r < ranges.size() && ranges[r].second <= begin) ++r;
        if (r < ranges.size() && ranges[r].first <= begin && ranges[r].second >= end) {
            bits[static_cast<std::size_t>(i / 8)] |= static_cast<char>(0x80 >> (i % 8));
        }
    }
    return bits;
}

std::vector<byte_range> bitfield_ranges(const std::string& bitfield, std::int64_t piece_num, std::int64_t piece_size,
                                        std::int64_t file_size) {
    std::vector<byte_range> ranges;
    const std::int64_t pieces = std::min<std::int64_t>(piece_num, static_cast<std::int64_t>(bitfield.size()) * 8);
    auto is_set = [&](std::int64_t i) {
        return (static_cast<unsigned char>(bitfield[static_cast<std::size_t>(i / 8)]) & (0x80 >> (i % 8))) != 0;
    };
    for (std::int64_t i = 0; i < pieces;) {
        if (!is_set(i)) {
            ++i;
            continue;
        }
        std::int64_t j = i;
        while (j + 1 < pieces && is_set(j + 1)) ++j;
        const std::int64_t begin = i * piece_size;
        const std::int64_t end = std::min((j + 1) * piece_size, file_size);
        if (begin < end) ranges.emplace_back(begin, end);
        i = j + 1;
    }
    return ranges;
}

entry resume_record::to_entry() const {
    entry e(entry::dictionary_t);
    e["bitfield"] = entry(bitfield);
    e["file_size"] = entry(file_size);
    e["final_url"] = entry(final_url);
    e["piece_num"] = entry(piece_num);
    e["piece_size"] = entry(piece_size);
    return e;
}

std::string resume_record::encode() const { return bencode(to_entry()); }

bool resume_record::from_entry(const entry& e, resume_record& record) {
    const entry* bits = typed_key(e, "bitfield", entry::string_t);
    const entry* size = typed_key(e, "file_size", entry::int_t);
    const entry* url = typed_key(e, "final_url", entry::string_t);
    const entry* num = typed_key(e, "piece_num", entry::int_t);
    const entry* piece = typed_key(e, "piece_size", entry::int_t);
    if (!bits || !size || !url || !num || !piece) return false;
    if (piece->integer() <= 0 || size->integer() < 0) return false;
    if (num->integer() != piece_count(size->integer(), piece->integer())) return false;
    if (static_cast<std::int64_t>(bits->string().size()) < (num->integer() + 7) / 8) return false;

    record.bitfield = bits->string();
    record.file_size = size->integer();
    record.final_url = url->string();
    record.piece_num = num->integer();
    record.piece_size = piece->integer();
    return true;
}

bool resume_record::decode(const char* data, std::size_t size, resume_record& record) {
    return from_entry(bdecode(data, data + size), record);
}

bool write_resume_file(detail::native_file& file, const std::wstring& path, const resume_record& record) {
    boost::system::error_code ec;
    if (!file.is_open()) {
        file.open(path, detail::native_file::read_write, ec);
        if (ec) return false;
    }
    const std::string bytes = record.encode();
    return file.write(0, bytes.data(), static_cast<std::uint32_t>(bytes.size()), ec) ==
           static_cast<std::int64_t>(bytes.size());
}

bool read_resume_file(detail::native_file& file, const std::wstring& path, resume_record& record, bool& restored) {
    restored = false;
    boost::system::error_code ec;
    const boost::filesystem::path native(detail::narrow(path));
    std::uintmax_t size = boost::filesystem::file_size(native, ec);
    if (ec) size = 0;

    file.close();
    file.open(path, detail::native_file::read_write, ec);
    if (ec) return false;
    if (size == 0) return true;
    // A meta record is a few hundred bytes; anything far larger is no record.
    if (size > 64 * 1024 * 1024) return false;

    std::string bytes(static_cast<std::size_t>(size), '\0');
    if (file.read(0, &bytes[0], static_cast<std::uint32_t>(size), ec) != static_cast<std::int64_t>(size)) return false;
    resume_record decoded;
    if (!resume_record::decode(bytes.data(), bytes.size(), decoded)) return false;
    record = decoded;
    restored = true;
    return true;
}

void discard_resume_file(detail::native_file& file, const std::wstring& path) {
    file.close();
    boost::system::error_code ec;
    boost::filesystem::remove(boost::filesystem::path(detail::narrow(path)), ec);
}

}  // namespace dlhttp
