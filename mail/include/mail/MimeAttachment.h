#pragma once
// A file part marked "Content-disposition: attachment".
#include <QByteArray>
#include <QString>

#include "MimeFile.h"

class MimeAttachment : public MimeFile {
    Q_OBJECT
public:
    explicit MimeAttachment(QFile* file);
    MimeAttachment(const QByteArray& stream, const QString& fileName);
    ~MimeAttachment() override;

    void prepare() override;
};
