#pragma once

// The resume meta file of a multi-connection download (target + ".cfg"): one
// bencoded dictionary with "bitfield", "file_size", "final_url", "piece_num"
// and "piece_size". A record that is damaged in any way is never used: the
// reader reports failure and the caller removes the file and starts afresh.

#include <cstdint>
#include <string>
#include <utility>
#include <vector>

#include "dlhttp/entry.h"
#include "dlhttp/native_file.h"

namespace dlhttp {

// Half-open byte range [first, second).
typedef std::pair<std::int64_t, std::int64_t> byte_range;

struct resume_record {
    std::string final_url;
    std::int64_t file_size = 0;
    std::int64_t piece_size = 0;
    std::int64_t piece_num = 0;
    // One bit per piece, first piece in the high bit of the first byte.
    std::string bitfield;

    entry to_entry() const;
    std::string encode() const;

    // Takes a decoded record after checking it: every key present with its
    // type, piece_size > 0, file_size >= 0, piece_num equal to the piece count
    // of file_size and piece_size, bitfield at least ceil(piece_num / 8) bytes.
    static bool from_entry(const entry& e, resume_record& record);
    // bdecode + from_entry.
    static bool decode(const char* data, std::size_t size, resume_record& record);
};

// file_size / piece_size, plus 1 when there is a remainder (0 for piece_size <= 0).
std::int64_t piece_count(std::int64_t file_size, std::int64_t piece_size);

// The bitfield of the pieces that one of the ranges covers whole (the last
// piece ends at file_size). The ranges need not be sorted or merged.
std::string make_bitfield(const std::vector<byte_range>& written, std::int64_t file_size, std::int64_t piece_size);

// One range per run of set bits among the first piece_num bits; the last
// range ends no further than file_size.
std::vector<byte_range> bitfield_ranges(const std::string& bitfield, std::int64_t piece_num, std::int64_t piece_size,
                                        std::int64_t file_size);

// Writes the record at offset 0 of the meta file, opening `file` on `path`
// (read_write) first when it is not open. False when it cannot be opened or
// written; the caller tries again on its next tick.
bool write_resume_file(detail::native_file& file, const std::wstring& path, const resume_record& record);

// Reads the meta file: (re)opens `file` on `path` (creating an empty file),
// reads it whole and checks it. True with `restored` false for an empty file,
// true with `restored` true and `record` filled for a sound record; false for
// a file that cannot be opened or read, or a damaged record. On false the
// caller calls discard_resume_file and downloads everything.
bool read_resume_file(detail::native_file& file, const std::wstring& path, resume_record& record, bool& restored);

// Closes `file` and removes the meta file at `path`, ignoring errors.
void discard_resume_file(detail::native_file& file, const std::wstring& path);

}  // namespace dlhttp
