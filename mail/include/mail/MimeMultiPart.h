#pragma once
// A multipart: its parts one after another between boundary lines. The parts
// are not owned; whoever adds a part deletes it.
#include <QList>

#include "MimePart.h"

class MimeMultiPart : public MimePart {
    Q_OBJECT
public:
    enum MultiPartType { Mixed = 0, Digest = 1, Alternative = 2, Related = 3, Report = 4, Signed = 5, Encrypted = 6 };

    explicit MimeMultiPart(MultiPartType type = Related);
    ~MimeMultiPart() override;

    void setMimeType(MultiPartType type);
    MultiPartType getMimeType() const;

    const QList<MimePart*>& getParts() const;
    void addPart(MimePart* part);

    // Prepares every part anew and joins them.
    void prepare() override;

private:
    QList<MimePart*> parts;
    MultiPartType type;
};
