#pragma once
// One part of a MIME message: its content type with name, charset and
// boundary parameters, its transfer encoding, an optional content id, extra
// header lines and the content itself. toString() gives the part's text
// (headers, blank line, encoded content), prepared once and then cached.
#include <QByteArray>
#include <QObject>
#include <QString>

#include "MimeContentFormatter.h"

class MimePart : public QObject {
    Q_OBJECT
public:
    enum Encoding { _7Bit, _8Bit, Base64, QuotedPrintable };

    MimePart();
    ~MimePart() override;

    const QString& getHeader() const;
    const QByteArray& getContent() const;

    void setContent(const QByteArray& content);
    void setHeader(const QString& header);
    // Appends one header line; the line end is added here.
    void addHeaderLine(const QString& line);

    void setContentId(const QString& cId);
    const QString& getContentId() const;
    void setContentName(const QString& cName);
    const QString& getContentName() const;
    void setContentType(const QString& cType);
    const QString& getContentType() const;
    void setCharset(const QString& charset);
    const QString& getCharset() const;
    void setEncoding(Encoding enc);
    Encoding getEncoding() const;

    MimeContentFormatter& getContentFormatter();

    // The part's text; prepares it first when it is not prepared yet.
    virtual QString toString();
    // Rebuilds the part's text from its fields.
    virtual void prepare();

protected:
    QString header;
    QByteArray content;

    QString cId;
    QString cName;
    QString cType;
    QString cCharset;
    QString cBoundary;
    Encoding cEncoding = _7Bit;

    QString mimeString;
    bool prepared = false;

    // The transfer encoding prepare() writes and encodes with: cEncoding,
    // unless a part must choose another for its content.
    virtual Encoding transferEncoding() const;

    MimeContentFormatter formatter;
};
