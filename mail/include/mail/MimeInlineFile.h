#pragma once
// A file part marked "Content-Disposition: inline" (an image the HTML part
// refers to by its content id).
#include "MimeFile.h"

class MimeInlineFile : public MimeFile {
    Q_OBJECT
public:
    explicit MimeInlineFile(QFile* f);
    ~MimeInlineFile() override;

    void prepare() override;
};
