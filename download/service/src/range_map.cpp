#include "dlhttp/range_map.h"

#include <algorithm>
#include <vector>

#include "dlhttp/resume_record.h"

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

void range_map::remove(int64_t begin, int64_t end) {
    if (begin >= end) return;
    auto it = m_ranges.upper_bound(begin);
    if (it != m_ranges.begin()) --it;
    while (it != m_ranges.end() && it->first < end) {
        const int64_t first = it->first;
        const int64_t last = it->second;
        if (last <= begin) {
            ++it;
            continue;
        }
        m_count -= last - first;
        it = m_ranges.erase(it);
        if (first < begin) {
            m_ranges.emplace(first, begin);
            m_count += begin - first;
        }
        if (last > end) {
            m_ranges.emplace(end, last);
            m_count += last - end;
        }
    }
}

std::string range_map::to_bitfield(int64_t piece_size) const {
    if (piece_size <= 0 || m_size < 0) return std::string();
    const std::vector<byte_range> ranges(m_ranges.begin(), m_ranges.end());
    return make_bitfield(ranges, m_size, piece_size);
}

void range_map::from_bitfield(const std::string& bits, int64_t piece_size, int64_t piece_num, int64_t size) {
    reset(size);
    if (piece_size <= 0) return;
    for (const byte_range& r : bitfield_ranges(bits, piece_num, piece_size, size)) add(r.first, r.second);
}

}  // namespace dlhttp
