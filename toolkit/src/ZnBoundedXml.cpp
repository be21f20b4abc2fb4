#include "toolkit/ZnBoundedXml.h"

#include <QDebug>
#include <QDomDocument>
#include <QIODevice>
#include <QXmlStreamReader>
#include "ToolkitLogging.h"

Q_LOGGING_CATEGORY(lcToolkit, "toolkit")

namespace ZnBoundedXml {

namespace {

void setError(Error* error, const QString& message, int line, int column) {
    if (!error) return;
    error->message = message;
    error->line = line;
    error->column = column;
}

// The non-recursive pass: well-formed, and no element deeper than kMaxDepth.
bool checkDepth(const QByteArray& xml, Error* error) {
    QXmlStreamReader reader(xml);
    reader.setNamespaceProcessing(false);
    int depth = 0;
    while (!reader.atEnd()) {
        const QXmlStreamReader::TokenType token = reader.readNext();
        if (token == QXmlStreamReader::StartElement && ++depth > kMaxDepth) {
            setError(error, QStringLiteral("elements nested deeper than %1 levels").arg(kMaxDepth),
                     int(reader.lineNumber()), int(reader.columnNumber()));
            return false;
        }
        if (token == QXmlStreamReader::EndElement) --depth;
    }
    if (!reader.hasError()) return true;
    setError(error, reader.errorString(), int(reader.lineNumber()), int(reader.columnNumber()));
    return false;
}

}  // namespace

bool readAll(QIODevice& device, QByteArray& bytes, Error* error) {
    bytes = device.read(kMaxBytes + 1);
    if (bytes.size() <= kMaxBytes) return true;
    bytes.clear();
    setError(error, QStringLiteral("file larger than %1 bytes").arg(kMaxBytes), 0, 0);
    return false;
}

bool parse(const QByteArray& xml, QDomDocument& document, Error* error) {
    document.clear();
    if (xml.size() > kMaxBytes) {
        setError(error, QStringLiteral("file larger than %1 bytes").arg(kMaxBytes), 0, 0);
        return false;
    }
    if (!checkDepth(xml, error)) return false;
    QString message;
    int line = 0;
    int column = 0;
    if (document.setContent(xml, false, &message, &line, &column)) return true;
    setError(error, message, line, column);
    return false;
}

bool parse(QIODevice& device, QDomDocument& document, Error* error) {
    QByteArray xml;
    if (!readAll(device, xml, error)) {
        document.clear();
        return false;
    }
    return parse(xml, document, error);
}

void logError(const Error& error) {
    qCDebug(lcToolkit) << "errorStr======" << error.message;
    qCDebug(lcToolkit) << "errorLine=====" << error.line;
    qCDebug(lcToolkit) << "errorColumn=====" << error.column;
}

}  // namespace ZnBoundedXml
