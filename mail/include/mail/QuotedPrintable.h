#pragma once
// Quoted-printable coding of bytes (RFC 2045): every byte outside the blank
// and the printable ASCII range, and "=" itself, becomes "=" and two upper-case
// hexadecimal digits. Line breaks are escaped too, so the result is one line
// until the content formatter folds it.
#include <QByteArray>
#include <QString>

QString encodeQuotedPrintable(const QByteArray& input);

// The reverse: "=XX" (upper-case hexadecimal digits) yields that byte, any other
// character its Latin-1 byte. A "=" without two digits after it yields nothing.
QByteArray decodeQuotedPrintable(const QString& input);
