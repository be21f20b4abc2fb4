#pragma once
// Skin helpers shared by the cleaning pages and their row widgets.
#include <QString>

namespace clean {

// The skin folder of the style object without its trailing "/", so that the
// image paths of the pages ("/gif/...", "/checkbox/...") can be appended.
QString skinFolder();

// The style sheet of every check box of the cleaning pages: one indicator
// image per state, from the skin's "/checkbox/" folder.
QString checkBoxStyleSheet(const QString& skinFolder);

}  // namespace clean
