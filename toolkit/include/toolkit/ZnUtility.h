#pragma once
// Small system utilities: the version a program file declares, and the list
// of driver services.
#include <QString>

class ZnUtility {
public:
    ZnUtility();
    ~ZnUtility();

    // The "FileVersion" text of the file's version information, for the first
    // language and code page it lists; empty when the file, the version
    // information or that entry is missing.
    QString getFileVersion(QString filePath);

    // Lists the driver services of the machine; always true (there is no
    // service control manager on this platform and nothing uses the list).
    bool enumDriverServices();
};
