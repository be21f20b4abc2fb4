#pragma once
// A file part: "application/octet-stream" in Base64, named after the file.
// Either a file, read when the part is prepared (and owned by the part), or
// bytes given directly with a file name.
#include <QByteArray>
#include <QString>

#include "MimePart.h"

class QFile;

class MimeFile : public MimePart {
    Q_OBJECT
public:
    // Takes ownership of `file`; the part's name is the file's name without its
    // folder.
    explicit MimeFile(QFile* file);
    MimeFile(const QByteArray& stream, const QString& fileName);
    ~MimeFile() override;

    void prepare() override;

protected:
    QFile* file = nullptr;
};
