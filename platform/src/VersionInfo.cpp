#include "platform/VersionInfo.h"

#include <QFile>
#include <cstring>

namespace platform {
namespace {

// The markers are assembled at run time so that this library's own file does not
// carry a second, false block start among its constants.
QByteArray beginMarker() { return QByteArray("ZNVERSION") + "INFO:BEGIN\n"; }
QByteArray endMarker() { return QByteArray("ZNVERSION") + "INFO:END\n"; }

constexpr char kDecodedMagic[4] = {'Z', 'N', 'V', 'I'};
constexpr int kMaxBlockSize = 64 * 1024;

struct ParsedBlock {
    QList<QPair<uint16_t, uint16_t>> translations;
    QList<QPair<QString, QString>> entries;
};

// Finds and parses the first version block of the file.
bool parseFile(const QString& filePath, ParsedBlock* out) {
    QFile file(filePath);
    if (!file.open(QIODevice::ReadOnly)) return false;
    const QByteArray begin = beginMarker();
    const QByteArray end = endMarker();
    // Scan in chunks with an overlap so that a marker across a chunk edge is found.
    const qint64 chunk = 1 << 20;
    QByteArray carry;
    QByteArray block;
    while (!file.atEnd()) {
        QByteArray data = carry + file.read(chunk);
        int at = data.indexOf(begin);
        if (at >= 0) {
            block = data.mid(at);
            while (block.indexOf(end) < 0 && !file.atEnd() && block.size() < kMaxBlockSize) block += file.read(4096);
            break;
        }
        carry = data.right(begin.size() - 1);
    }
    const int stop = block.indexOf(end);
    if (block.isEmpty() || stop < 0) return false;
    const QList<QByteArray> lines = block.mid(begin.size(), stop - begin.size()).split('\n');
    for (const QByteArray& raw : lines) {
        const int eq = raw.indexOf('=');
        if (eq <= 0) continue;
        const QString key = QString::fromUtf8(raw.left(eq));
        const QString value = QString::fromUtf8(raw.mid(eq + 1));
        if (key == QLatin1String("Translation")) {
            for (const QString& pair : value.split(QLatin1Char(' '), Qt::SkipEmptyParts)) {
                if (pair.size() != 8) continue;
                bool ok1 = false, ok2 = false;
                const uint16_t lang = pair.left(4).toUShort(&ok1, 16);
                const uint16_t cp = pair.mid(4).toUShort(&ok2, 16);
                if (ok1 && ok2) out->translations.append(qMakePair(lang, cp));
            }
        } else if (key.contains(QLatin1Char('\\'))) {
            out->entries.append(qMakePair(key, value));
        }
    }
    return true;
}

void appendU32(QByteArray& b, uint32_t v) { b.append(reinterpret_cast<const char*>(&v), 4); }

void appendText(QByteArray& b, const QString& s) {
    appendU32(b, static_cast<uint32_t>(s.size() + 1));
    b.append(reinterpret_cast<const char*>(s.utf16()), (s.size() + 1) * 2);
}

QByteArray encode(const ParsedBlock& p) {
    QByteArray b(kDecodedMagic, 4);
    appendU32(b, static_cast<uint32_t>(p.translations.size()));
    for (const auto& t : p.translations) {
        b.append(reinterpret_cast<const char*>(&t.first), 2);
        b.append(reinterpret_cast<const char*>(&t.second), 2);
    }
    appendU32(b, static_cast<uint32_t>(p.entries.size()));
    for (const auto& e : p.entries) {
        appendText(b, e.first);
        appendText(b, e.second);
    }
    return b;
}

uint32_t readU32(const char* p) {
    uint32_t v;
    std::memcpy(&v, p, 4);
    return v;
}

}  // namespace

uint32_t GetFileVersionInfoSize(const QString& filePath) {
    ParsedBlock parsed;
    if (!parseFile(filePath, &parsed)) return 0;
    return static_cast<uint32_t>(encode(parsed).size());
}

bool GetFileVersionInfo(const QString& filePath, uint32_t size, void* buffer) {
    if (!buffer) return false;
    ParsedBlock parsed;
    if (!parseFile(filePath, &parsed)) return false;
    const QByteArray data = encode(parsed);
    if (static_cast<uint32_t>(data.size()) > size) return false;
    std::memcpy(buffer, data.constData(), data.size());
    return true;
}

bool VerQueryValue(const void* block, const QString& subBlock, const void** value, uint32_t* length) {
    if (!block || !value || !length) return false;
    const char* p = static_cast<const char*>(block);
    if (std::memcmp(p, kDecodedMagic, 4) != 0) return false;
    p += 4;
    const uint32_t translations = readU32(p);
    p += 4;
    const char* pairs = p;
    p += translations * 4;
    if (subBlock.compare(QLatin1String("\\VarFileInfo\\Translation"), Qt::CaseInsensitive) == 0) {
        if (translations == 0) return false;
        *value = pairs;
        *length = translations * 4;
        return true;
    }
    const QString prefix = QStringLiteral("\\StringFileInfo\\");
    if (!subBlock.startsWith(prefix, Qt::CaseInsensitive)) return false;
    const QString wanted = subBlock.mid(prefix.size());
    const uint32_t entries = readU32(p);
    p += 4;
    for (uint32_t i = 0; i < entries; ++i) {
        const uint32_t keyLen = readU32(p);
        p += 4;
        const QString key = QString::fromUtf16(reinterpret_cast<const char16_t*>(p), int(keyLen) - 1);
        p += keyLen * 2;
        const uint32_t valueLen = readU32(p);
        p += 4;
        if (key.compare(wanted, Qt::CaseInsensitive) == 0) {
            *value = p;
            *length = valueLen;
            return true;
        }
        p += valueLen * 2;
    }
    return false;
}

QByteArray makeVersionBlock(const QList<QPair<uint16_t, uint16_t>>& translations,
                            const QList<QPair<QString, QString>>& entries, const QString& fixedFileVersion) {
    QByteArray b = beginMarker();
    if (!translations.isEmpty()) {
        QStringList pairs;
        for (const auto& t : translations)
            pairs
                << QStringLiteral("%1%2").arg(t.first, 4, 16, QLatin1Char('0')).arg(t.second, 4, 16, QLatin1Char('0'));
        b += "Translation=" + pairs.join(QLatin1Char(' ')).toUtf8() + "\n";
    }
    if (!fixedFileVersion.isEmpty()) b += "FixedFileVersion=" + fixedFileVersion.toUtf8() + "\n";
    for (const auto& e : entries) b += e.first.toUtf8() + "=" + e.second.toUtf8() + "\n";
    b += endMarker();
    return b;
}

}  // namespace platform
