#include "dlhttp/range_map.h"

#include <algorithm>

namespace dlhttp {

void range_map::reset(int64_t size) {
    m_size = size;
    m_count = 0;
    m_ranges.clear();
}

bool range_map::add(int64_t begin, int64_t end) {
    if (begin >= end || begin < 0 || end > m_size) return false;
    // Merge with every range that overlaps or touches [begin, end).
    auto it = m_ranges.upper_bound(begin);
    if (it != m_ranges.begin()) {
        auto before = std::prev(it);
        if (before->second >= begin) it = before;
    }
    while (it != m_ranges.end() && it->first <= end) {
        begin = std::min(begin, it->first);
        end = std::max(end, it->second);
        m_count -= it->second - it->first;
        it = m_ranges.erase(it);
    }
    m_ranges.emplace(begin, end);
    m_count += end - begin;
    return true;
}

bool range_map::first_free(int64_t from, int64_t& begin, int64_t& end) const {
    int64_t position = std::max<int64_t>(from, 0);
    auto it = m_ranges.upper_bound(position);
    if (it != m_ranges.begin()) {
        auto before = std::prev(it);
        if (before->second > position) position = before->second;
    }
    if (position >= m_size) return false;
    begin = position;
    end = it == m_ranges.end() ? m_size : it->first;
    return true;
}

bool range_map::covers(int64_t begin, int64_t end) const {
    auto it = m_ranges.upper_bound(begin);
    if (it == m_ranges.begin()) return false;
    --it;
    return it->first <= begin && it->second >= end;
}

std::string range_map::to_bitfield(int64_t piece_size) const {
    if (piece_size <= 0 || m_size < 0) return std::string();
    const int64_t pieces = (m_size + piece_size - 1) / piece_size;
    std::string bits(static_cast<size_t>((pieces + 7) / 8), '\0');
    for (int64_t i = 0; i < pieces; ++i) {
        const int64_t begin = i * piece_size;
        const int64_t end = std::min(begin + piece_size, m_size);
        if (covers(begin, end)) bits[static_cast<size_t>(i / 8)] |= static_cast<char>(0x80 >> (i % 8));
    }
    return bits;
}

void range_map::from_bitfield(const std::string& bits, int64_t piece_size, int64_t piece_num, int64_t size) {
    reset(size);
    if (piece_size <= 0) return;
    const int64_t pieces = std::min<int64_t>(piece_num, static_cast<int64_t>(bits.size()) * 8);
    int64_t run = -1;
    for (int64_t i = 0; i <= pieces; ++i) {
        const bool set =
            i < pieces && (static_cast<unsigned char>(bits[static_cast<size_t>(i / 8)]) & (0x80 >> (i % 8)));
        if (set && run < 0) run = i;
        if (!set && run >= 0) {
            add(run * piece_size, std::min(i * piece_size, size));
            run = -1;
        }
    }
}

}  // namespace dlhttp
