#pragma once
// The toolkit's chief header: the one global style object.
//
// ZnStyleCommon holds the look-and-feel values every window shares: the font
// family, the program's working folders, a fixed table of fonts and a fixed
// table of text colours (both by index), and the rendering of byte counts as
// short size texts. Exactly one instance exists, g_styleCommon; start-up fills
// its folders and font family before the first window is built.
#include <QColor>
#include <QFont>
#include <QString>
#include <QtGlobal>

#include "ZnSkinPath.h"

// Selects a font of the font table (see ZnStyleCommon::getFont).
typedef int ZnFontIndex;
// Selects a text colour of the colour table (see ZnStyleCommon::getColor).
typedef int ZnColorIndex;

// Which program the toolkit serves. The updater's windows differ from the main
// program's in a few details, each told at the class concerned (ZnStyleButton,
// ZnStyleWidget, ZnStyleWidgetTitle). Widgets read it when they are built, so
// start-up sets it before the first window.
enum class ZnToolkitVariant { MainProgram, Updater };

class ZnStyleCommon {
public:
    ZnStyleCommon();
    ~ZnStyleCommon();

    // Font family of every font getFont makes ("Segoe UI" in the programs).
    void setFontFamily(const QString& family);

    // Skin folder, ending in "/" (application folder + "/skin/").
    void setSkinPath(const QString& path);
    QString getSkinPath() const;

    // Style-sheet folder (application folder + "/skin/Qss/").
    void setQssPath(const QString& path);
    QString getQssPath() const;

    // Backup folder (application folder + "/backup/").
    void setBackupPath(const QString& path);
    QString getBackupPath() const;

    // Temporary folder (application folder + "/temp/").
    void setTempPath(const QString& path);
    QString getTempPath() const;

    // Two spare texts, not set by the programs.
    void setSpareText5(const QString& text);
    QString getSpareText5() const;
    void setSpareText6(const QString& text);
    QString getSpareText6() const;

    // The font of the table entry `index`, in the family set above. Built anew
    // on every call: family, no point size, the weight and pixel size of the
    // table (unknown indexes: normal weight, 15 px).
    QFont getFont(ZnFontIndex index) const;

    // "color:rgb(R, G, B);" of the colour table (unknown indexes: white).
    static QString getColorStyleSheet(ZnColorIndex index);
    // The same colour as a QColor with alpha 255.
    static QColor getColor(ZnColorIndex index);

    // Short size text of a byte count: "0B" for negatives, "%1B", "%1KB",
    // "%1MB" or "%1.2fGB" (see the implementation for the exact rounding).
    static QString formatFileSize(qint64 bytes);

    // Divides `value` by `divisor` while it is above 1024.0; `out` receives the
    // final value and the result is the number of divisions. A divisor of at
    // most 1 or a value that is not finite makes no division.
    static int scaleSize(const double& value, const double& divisor, double& out);
    // "Byte", "KB", "MB", and "GB" for every other index.
    static QString unitName(const int& index);

    // Registers the font substitutions of this platform: the families the
    // product's forms name ("Segoe UI", "Tahoma") are Windows fonts and are
    // drawn with an installed sans font instead. Whoever creates the
    // QApplication calls this once, before the first window is built.
    static void installPlatformFonts();

    // Sets the style object up as every program of the product does at start,
    // for the application folder `appDir`: the platform's fonts (above), the
    // font family "Segoe UI" and the skin, style-sheet, backup and temp folders
    // inside `appDir`. Called once the QApplication exists.
    void setUpForProgram(const QString& appDir);

    // The variant of the widgets built from now on (default: MainProgram).
    static void setToolkitVariant(ZnToolkitVariant variant);
    static ZnToolkitVariant toolkitVariant();

private:
    QString m_strFontFamily;
    QString m_strSkinPath;
    QString m_strQssPath;
    QString m_strBackupPath;
    QString m_strTempPath;
    QString m_strSpareText5;
    QString m_strSpareText6;
};

// The one style object of the program; constructed before main, all texts empty.
extern ZnStyleCommon g_styleCommon;
