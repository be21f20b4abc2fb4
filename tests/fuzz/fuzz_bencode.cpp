// Fuzzes the bencode decoder and the resume record reader built on it.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>

#include "dlhttp/bencode.h"
#include "dlhttp/resume_record.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const char* begin = reinterpret_cast<const char*>(data);
    const dlhttp::entry e = dlhttp::bdecode(begin, begin + size);
    if (e.type() != dlhttp::entry::undefined_t) dlhttp::bencode(e);
    dlhttp::resume_record record;
    if (dlhttp::resume_record::decode(begin, size, record)) {
        const auto ranges =
            dlhttp::bitfield_ranges(record.bitfield, record.piece_num, record.piece_size, record.file_size);
        for (const auto& r : ranges) {
            if (r.first < 0 || r.second > record.file_size || r.first >= r.second) std::abort();
        }
        if (record.bitfield.size() < 4096) {
            dlhttp::make_bitfield(ranges, record.file_size, record.piece_size);
        }
    }
    return 0;
}
