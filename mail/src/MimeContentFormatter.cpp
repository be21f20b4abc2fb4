#include "mail/MimeContentFormatter.h"

MimeContentFormatter::MimeContentFormatter(int max_length) : max_length(max_length) {}

void MimeContentFormatter::setMaxLength(int l) { max_length = l; }

int MimeContentFormatter::getMaxLength() const { return max_length; }

QString MimeContentFormatter::format(const QString& content, bool quotedPrintable) const {
    QString out;
    out.reserve(content.size() + content.size() / qMax(1, max_length) * 3 + 3);
    int chars = 0;
    for (const QChar c : content) {
        ++chars;
        if (!quotedPrintable) {
            if (chars > max_length) {
                out.append(QLatin1String("\r\n"));
                chars = 1;
            }
        } else {
            if (c == QLatin1Char('\n')) {
                out.append(c);
                chars = 0;
                continue;
            }
            if (chars > max_length - 1 || (c == QLatin1Char('=') && chars > max_length - 3)) {
                out.append(QLatin1String("=\r\n"));
                chars = 1;
            }
        }
        out.append(c);
    }
    return out;
}
