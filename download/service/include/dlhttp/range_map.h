#pragma once
// A set of byte ranges within a file of known size: which bytes a download has
// handed to its connections, or has written. Ranges are half-open [begin, end),
// kept merged and sorted, and the number of covered bytes is kept as ranges are
// added, so counting costs nothing.
#include <cstdint>
#include <map>
#include <string>

namespace dlhttp {

class range_map {
public:
    // Empties the set and sets the file size.
    void reset(int64_t size);
    int64_t size() const { return m_size; }

    // Adds [begin, end). Refused (false) when empty, below 0 or beyond the size.
    bool add(int64_t begin, int64_t end);
    // Takes [begin, end) out of the set (a range of a given-up connection goes
    // back to the pool).
    void remove(int64_t begin, int64_t end);

    // The first span at or after `from` that no range covers, cut to the size.
    // False when there is none.
    bool first_free(int64_t from, int64_t& begin, int64_t& end) const;

    // Whether [begin, end) is covered by one range.
    bool covers(int64_t begin, int64_t end) const;
    // Bytes covered.
    int64_t count() const { return m_count; }
    // Whether the whole [0, size) is covered.
    bool complete() const { return m_size >= 0 && m_count == m_size; }

    // The resume record's bitfield of the covered pieces (make_bitfield of
    // resume_record.h: the one bitfield code of the engine).
    std::string to_bitfield(int64_t piece_size) const;
    // Resets to `size` and adds the ranges of the set bits (bitfield_ranges of
    // resume_record.h).
    void from_bitfield(const std::string& bits, int64_t piece_size, int64_t piece_num, int64_t size);
    // The end of the last range, 0 when empty.
    int64_t last_end() const { return m_ranges.empty() ? 0 : m_ranges.rbegin()->second; }

private:
    int64_t m_size = -1;
    int64_t m_count = 0;
    std::map<int64_t, int64_t> m_ranges;  // begin -> end, disjoint, not touching
};

}  // namespace dlhttp
