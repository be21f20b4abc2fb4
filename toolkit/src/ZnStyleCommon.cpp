#include "toolkit/ZnStyleCommon.h"

#include <QStringList>
#include <cmath>

ZnStyleCommon g_styleCommon;

namespace {

ZnToolkitVariant g_toolkitVariant = ZnToolkitVariant::MainProgram;

struct FontEntry {
    int weight;
    int pixelSize;
};

FontEntry fontEntry(ZnFontIndex index) {
    switch (index) {
    case 0: return {50, 14};
    case 1: return {50, 13};
    case 2: return {62, 15};
    case 3: return {75, 14};
    case 4: return {50, 8};
    default: break;
    }
    if (index >= 5 && index <= 41) {
        // Odd indexes are normal, even ones bold; the size grows every two.
        return {index % 2 ? 50 : 75, (index + 13) / 2};
    }
    return {50, 15};
}

struct Rgb {
    int r, g, b;
};

Rgb colorEntry(ZnColorIndex index) {
    switch (index) {
    case 0: return {255, 255, 255};
    case 1: return {97, 108, 114};
    case 2: return {120, 120, 120};
    case 3: return {250, 250, 250};
    case 4: return {255, 255, 255};
    case 5: return {21, 160, 245};
    case 6: return {88, 88, 88};
    case 7: return {85, 179, 104};
    case 8: return {169, 169, 169};
    case 9: return {55, 125, 255};
    case 11: return {198, 198, 198};
    case 12: return {187, 187, 187};
    case 13: return {72, 72, 72};
    case 14: return {230, 230, 230};
    case 15: return {240, 240, 240};
    case 16: return {153, 153, 153};
    case 17: return {57, 172, 253};
    default: return {255, 255, 255};  // 10 and every unknown index
    }
}

}  // namespace

ZnStyleCommon::ZnStyleCommon() = default;
ZnStyleCommon::~ZnStyleCommon() = default;

void ZnStyleCommon::setFontFamily(const QString& family) { m_strFontFamily = family; }

void ZnStyleCommon::setSkinPath(const QString& path) { m_strSkinPath = path; }
QString ZnStyleCommon::getSkinPath() const { return m_strSkinPath; }

void ZnStyleCommon::setQssPath(const QString& path) { m_strQssPath = path; }
QString ZnStyleCommon::getQssPath() const { return m_strQssPath; }

void ZnStyleCommon::setBackupPath(const QString& path) { m_strBackupPath = path; }
QString ZnStyleCommon::getBackupPath() const { return m_strBackupPath; }

void ZnStyleCommon::setTempPath(const QString& path) { m_strTempPath = path; }
QString ZnStyleCommon::getTempPath() const { return m_strTempPath; }

void ZnStyleCommon::setSpareText5(const QString& text) { m_strSpareText5 = text; }
QString ZnStyleCommon::getSpareText5() const { return m_strSpareText5; }
void ZnStyleCommon::setSpareText6(const QString& text) { m_strSpareText6 = text; }
QString ZnStyleCommon::getSpareText6() const { return m_strSpareText6; }

QFont ZnStyleCommon::getFont(ZnFontIndex index) const {
    const FontEntry entry = fontEntry(index);
    QFont font(m_strFontFamily, -1, entry.weight, false);
    font.setPixelSize(entry.pixelSize);
    return font;
}

QString ZnStyleCommon::getColorStyleSheet(ZnColorIndex index) {
    const Rgb c = colorEntry(index);
    return QStringLiteral("color:rgb(%1, %2, %3);").arg(c.r).arg(c.g).arg(c.b);
}

QColor ZnStyleCommon::getColor(ZnColorIndex index) {
    const Rgb c = colorEntry(index);
    return QColor(c.r, c.g, c.b, 255);
}

QString ZnStyleCommon::formatFileSize(qint64 bytes) {
    // The KB step adds one after dividing (1024 bytes read "2KB"), the MB step
    // truncates: the texts shown on the cleaning pages have always read so.
    if (bytes < 0) return QStringLiteral("0B");
    if (bytes < 1024) return QStringLiteral("%1B").arg(bytes);
    if (bytes < 1048576) return QStringLiteral("%1KB").arg(int(bytes / 1024.0 + 1.0));
    if (bytes < 1073741824) return QStringLiteral("%1MB").arg(int(bytes / 1024.0 / 1024.0));
    return QString::number(bytes / 1024.0 / 1024.0 / 1024.0, 'f', 2) + QStringLiteral("GB");
}

int ZnStyleCommon::scaleSize(const double& value, const double& divisor, double& out) {
    // A divisor of at most 1 never brings the value down to 1024, and an
    // infinite value stays infinite: both would divide for ever, so they make
    // no division at all.
    double v = value;
    int divisions = 0;
    if (divisor > 1.0 && std::isfinite(v)) {
        while (v > 1024.0) {
            v /= divisor;
            ++divisions;
        }
    }
    out = v;
    return divisions;
}

QString ZnStyleCommon::unitName(const int& index) {
    switch (index) {
    case 0: return QStringLiteral("Byte");
    case 1: return QStringLiteral("KB");
    case 2: return QStringLiteral("MB");
    default: return QStringLiteral("GB");
    }
}

void ZnStyleCommon::installPlatformFonts() {
    // The forms and the style object name Windows families; draw them with the
    // sans fonts the setup installs.
    const QStringList sans = {QStringLiteral("Noto Sans"), QStringLiteral("DejaVu Sans")};
    for (const char* family : {"Segoe UI", "Tahoma"}) {
        const QString name = QLatin1String(family);
        if (QFont::substitutes(name).isEmpty()) QFont::insertSubstitutions(name, sans);
    }
}

void ZnStyleCommon::setUpForProgram(const QString& appDir) {
    installPlatformFonts();
    setFontFamily(QStringLiteral("Segoe UI"));
    setSkinPath(appDir + QStringLiteral("/skin/"));
    setQssPath(appDir + QStringLiteral("/skin/Qss/"));
    setBackupPath(appDir + QStringLiteral("/backup/"));
    setTempPath(appDir + QStringLiteral("/temp/"));
}

void ZnStyleCommon::setToolkitVariant(ZnToolkitVariant variant) { g_toolkitVariant = variant; }

ZnToolkitVariant ZnStyleCommon::toolkitVariant() { return g_toolkitVariant; }
