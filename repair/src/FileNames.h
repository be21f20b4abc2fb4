#pragma once
// File names of the paths the repair engine reports.
#include <QFileInfo>
#include <QString>

#include <string>

namespace repair {

// The last component of an engine path, as shown in the pages' lists. The
// engine writes Windows paths, so a backslash separates components as well as
// a slash; a path that ends in a separator gives an empty name.
inline QString fileNameOf(const std::wstring& path) {
    QString text = QString::fromStdWString(path);
    text.replace(QLatin1Char('\\'), QLatin1Char('/'));
    return QFileInfo(text).fileName();
}

}  // namespace repair
