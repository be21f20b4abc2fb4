#include "toolkit/ZnUtility.h"

#include <vector>

#include "platform/VersionInfo.h"

ZnUtility::ZnUtility() = default;
ZnUtility::~ZnUtility() = default;

QString ZnUtility::getFileVersion(QString filePath) {
    const uint32_t size = platform::GetFileVersionInfoSize(filePath);
    if (size == 0) return QString();

    std::vector<char> buffer(size_t(size) + 1, 0);
    if (!platform::GetFileVersionInfo(filePath, size, buffer.data())) return QString();

    // Only the first (language, code page) pair is tried.
    const void* translation = nullptr;
    uint32_t translationLength = 0;
    if (!platform::VerQueryValue(buffer.data(), QStringLiteral("\\VarFileInfo\\Translation"), &translation,
                                 &translationLength) ||
        translationLength < 4)
        return QString();
    const uint16_t* words = static_cast<const uint16_t*>(translation);
    const QString language = QStringLiteral("%1").arg(words[0], 4, 16, QLatin1Char('0'));
    const QString codePage = QStringLiteral("%1").arg(words[1], 4, 16, QLatin1Char('0'));

    const void* value = nullptr;
    uint32_t valueLength = 0;
    const QString path = QStringLiteral("\\StringFileInfo\\") + language + codePage + QStringLiteral("\\FileVersion");
    if (!platform::VerQueryValue(buffer.data(), path, &value, &valueLength)) return QString();
    // The zero-terminated text, taken whole.
    return QString::fromUtf16(static_cast<const char16_t*>(value));
}

bool ZnUtility::enumDriverServices() { return true; }
