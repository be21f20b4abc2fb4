#include "mail/MimeInlineFile.h"

namespace {
const char kDisposition[] = "Content-Disposition: inline\r\n";
}  // namespace

MimeInlineFile::MimeInlineFile(QFile* f) : MimeFile(f) {}

MimeInlineFile::~MimeInlineFile() = default;

void MimeInlineFile::prepare() {
    // Once in the headers, however often the part is prepared.
    if (!header.contains(QLatin1String(kDisposition))) header += QLatin1String(kDisposition);
    MimeFile::prepare();
}
