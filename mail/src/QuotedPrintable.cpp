#include "mail/QuotedPrintable.h"

namespace {

const char kHexDigits[] = "0123456789ABCDEF";

int hexValue(QChar c) {
    const int index = QByteArray(kHexDigits).indexOf(c.toLatin1());
    return c.unicode() < 128 ? index : -1;
}

}  // namespace

QString encodeQuotedPrintable(const QByteArray& input) {
    QString output;
    output.reserve(input.size() * 3);
    for (const char ch : input) {
        const unsigned char byte = static_cast<unsigned char>(ch);
        if (byte == ' ' || (byte >= 33 && byte <= 126 && byte != '=')) {
            output.append(QLatin1Char(ch));
        } else {
            output.append(QLatin1Char('='));
            output.append(QLatin1Char(kHexDigits[byte >> 4]));
            output.append(QLatin1Char(kHexDigits[byte & 0x0F]));
        }
    }
    return output;
}

QByteArray decodeQuotedPrintable(const QString& input) {
    QByteArray output;
    output.reserve(input.size());
    for (int i = 0; i < input.size(); ++i) {
        if (input.at(i) != QLatin1Char('=')) {
            output.append(static_cast<char>(input.at(i).toLatin1()));
            continue;
        }
        if (i + 2 >= input.size()) break;
        const int high = hexValue(input.at(i + 1));
        const int low = hexValue(input.at(i + 2));
        if (high >= 0 && low >= 0) output.append(static_cast<char>(high * 16 + low));
        i += 2;
    }
    return output;
}
