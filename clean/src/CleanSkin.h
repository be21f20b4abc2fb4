#pragma once
// Skin helpers shared by the cleaning pages and their row widgets.
#include <QString>

namespace clean {

// The skin folder of the style object without its trailing "/", so that the
// image paths of the pages ("/gif/...", "/checkbox/...") can be appended.
QString skinFolder();

}  // namespace clean
