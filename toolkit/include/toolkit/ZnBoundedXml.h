#pragma once
// The one way the programs parse an XML file that comes from a server or from
// disk into a QDomDocument. The DOM parser recurses once per nesting level and
// holds the whole tree in memory, so a file nested some ten thousand levels deep
// crashes it and a file of tens of megabytes stalls the GUI thread. Before the
// DOM parse, a non-recursive pass (QXmlStreamReader) checks the size and the
// nesting depth; a file beyond them is refused like a malformed one.
#include <QByteArray>
#include <QString>

class QDomDocument;
class QIODevice;

namespace ZnBoundedXml {

// The largest file taken, in bytes. The configuration files are a few KiB.
constexpr qint64 kMaxBytes = 4 * 1024 * 1024;
// The deepest element nesting taken (the root element is level 1).
constexpr int kMaxDepth = 64;

// Why a file was refused, in the shape QDomDocument::setContent reports it.
struct Error {
    QString message;
    int line = 0;
    int column = 0;
};

// Reads all of `device` into `bytes`, refusing (false, `bytes` empty) a device
// that holds more than kMaxBytes. Reads at most kMaxBytes + 1 bytes.
bool readAll(QIODevice& device, QByteArray& bytes, Error* error = nullptr);

// Parses `xml` into `document` without namespace processing, as
// QDomDocument::setContent(xml, false, ...) does, after checking its size and
// depth. False on a malformed or too large or too deep text; `document` is then
// left empty.
bool parse(const QByteArray& xml, QDomDocument& document, Error* error = nullptr);

// readAll, then parse.
bool parse(QIODevice& device, QDomDocument& document, Error* error = nullptr);

// Writes the refusal to the debug output as the programs have always logged
// a parse error: "errorStr======", "errorLine=====" and "errorColumn=====".
void logError(const Error& error);

}  // namespace ZnBoundedXml
