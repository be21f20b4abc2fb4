#include "mail/MimeFile.h"

#include <QFile>
#include <QFileInfo>

MimeFile::MimeFile(QFile* file) : file(file) {
    cType = QStringLiteral("application/octet-stream");
    cName = QFileInfo(file->fileName()).fileName();
    cEncoding = Base64;
}

MimeFile::MimeFile(const QByteArray& stream, const QString& fileName) {
    cEncoding = Base64;
    cType = QStringLiteral("application/octet-stream");
    cName = fileName;
    content = stream;
}

MimeFile::~MimeFile() { delete file; }

void MimeFile::prepare() {
    if (file) {
        // A file that cannot be read gives an empty part.
        content = file->open(QIODevice::ReadOnly) ? file->readAll() : QByteArray();
        file->close();
    }
    MimePart::prepare();
}
