#pragma once

// Wide paths of the library's interface and the byte paths of the file system.

#include <string>

namespace tessiva {

// UTF-8 bytes of a wide path; the code points U+DC80..U+DCFF stand for the stray
// bytes of file names that are not valid UTF-8 (see nativeToWide).
std::string wideToNative(const std::wstring& path);

// A file system name as a wide string; every byte that is not part of valid UTF-8
// becomes U+DC00 + byte, so wideToNative gives back the same bytes.
std::wstring nativeToWide(const std::string& name);

}  // namespace tessiva
