#include "mail/SmtpReplyReader.h"

namespace {

bool isDigit(char c) { return c >= '0' && c <= '9'; }

bool startsWithCode(const QByteArray& line) {
    return line.size() >= 3 && isDigit(line.at(0)) && isDigit(line.at(1)) && isDigit(line.at(2));
}

// The line without its line end (LF, or CRLF).
int contentLength(const QByteArray& line) {
    int length = line.size();
    if (length > 0 && line.at(length - 1) == '\n') --length;
    if (length > 0 && line.at(length - 1) == '\r') --length;
    return length;
}

}  // namespace

void SmtpReplyReader::startReply() { m_replyBytes = 0; }

void SmtpReplyReader::feed(const QByteArray& bytes) {
    // Once too long, the rest of the server's stream is of no use.
    if (!m_tooLong) m_buffer += bytes;
}

SmtpReplyReader::Step SmtpReplyReader::next(QByteArray* line) {
    if (m_tooLong) return TooLong;
    const int end = m_buffer.indexOf('\n');
    // An unfinished line counts against both limits already: a server that
    // never ends its line is cut off as soon as it has sent too much.
    const int lineBytes = end < 0 ? m_buffer.size() : end + 1;
    if (lineBytes > kMaxLineBytes || m_replyBytes + lineBytes > kMaxReplyBytes) {
        m_tooLong = true;
        m_buffer.clear();
        return TooLong;
    }
    if (end < 0) return NeedMore;
    m_replyBytes += lineBytes;
    *line = m_buffer.left(lineBytes);
    m_buffer.remove(0, lineBytes);
    return isLastLine(*line) ? LastLine : Line;
}

bool SmtpReplyReader::hasBufferedBytes() const { return !m_buffer.isEmpty(); }

void SmtpReplyReader::clear() {
    m_buffer.clear();
    m_replyBytes = 0;
    m_tooLong = false;
}

int SmtpReplyReader::replyCode(const QByteArray& line) {
    if (!startsWithCode(line)) return 0;
    return (line.at(0) - '0') * 100 + (line.at(1) - '0') * 10 + (line.at(2) - '0');
}

bool SmtpReplyReader::isLastLine(const QByteArray& line) {
    // "NNN text": the usual last line. "NNN" alone is one too: the text is
    // optional (Reply-code [ SP textstring ] CRLF).
    if (line.size() > 3 && line.at(3) == ' ') return true;
    return contentLength(line) == 3 && startsWithCode(line);
}
