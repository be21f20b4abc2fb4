#pragma once
// Folds encoded content into lines of at most maxLength characters (76 by
// default): hard breaks for Base64 text, soft breaks ("=" CRLF) for
// quoted-printable text, never splitting an "=XX" escape.
#include <QObject>
#include <QString>

class MimeContentFormatter : public QObject {
    Q_OBJECT
public:
    explicit MimeContentFormatter(int max_length = 76);

    void setMaxLength(int l);
    int getMaxLength() const;

    QString format(const QString& content, bool quotedPrintable = false) const;

private:
    int max_length;
};
