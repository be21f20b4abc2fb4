#include "Tessiva/walk/NativePath.h"

#include "Tessiva/walk/Utf8.h"

namespace tessiva {

std::string wideToNative(const std::wstring& path) { return encodeUtf8(path, InvalidBytes::Escape); }

std::wstring nativeToWide(const std::string& name) { return decodeUtf8(name, InvalidBytes::Escape); }

}  // namespace tessiva
