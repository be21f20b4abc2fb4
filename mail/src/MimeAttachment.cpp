#include "mail/MimeAttachment.h"

namespace {
const char kDisposition[] = "Content-disposition: attachment\r\n";
}  // namespace

MimeAttachment::MimeAttachment(QFile* file) : MimeFile(file) {}

MimeAttachment::MimeAttachment(const QByteArray& stream, const QString& fileName) : MimeFile(stream, fileName) {}

MimeAttachment::~MimeAttachment() = default;

void MimeAttachment::prepare() {
    // A part is prepared again each time its multipart is: the disposition
    // goes into the headers once.
    if (!header.contains(QLatin1String(kDisposition))) header += QLatin1String(kDisposition);
    MimeFile::prepare();
}
