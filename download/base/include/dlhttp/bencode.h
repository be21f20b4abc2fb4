#pragma once

// Bencode encoding and decoding of entry values.

#include <cstddef>
#include <string>

#include "dlhttp/entry.h"

namespace dlhttp {

// Containers nested this deep (or a container with this many elements) do
// not decode.
const int bdecode_depth_limit = 100;

// Appends the encoding of `e` to `out` and returns the number of bytes
// appended (an undefined value encodes as nothing).
std::size_t bencode(std::string& out, const entry& e);
std::string bencode(const entry& e);

// Decodes the first complete value of [begin, end); bytes after it are
// ignored. A failure (malformed input, a string length or integer that does
// not fit, a string running past the input, too deep nesting) gives an
// undefined value.
entry bdecode(const char* begin, const char* end);

}  // namespace dlhttp
