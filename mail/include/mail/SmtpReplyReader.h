#pragma once
// Splits the bytes a server sends into the lines of one SMTP reply and tells
// where the reply ends, within fixed limits. It only parses; the client reads
// the socket, keeps the time-out and acts on each line.
//
//   SmtpReplyReader reader;
//   reader.startReply();
//   reader.feed(socket->readAll());
//   QByteArray line;
//   for (;;) {
//       const SmtpReplyReader::Step step = reader.next(&line);
//       if (step == SmtpReplyReader::NeedMore) break;  // wait for more bytes
//       ...                                          // TooLong: drop the server
//   }
//
// A reply is one or more lines "NNN-text" and a last line "NNN text" or just
// "NNN" (RFC 5321 4.2); a line ends with LF (normally CRLF). A line longer than
// kMaxLineBytes or a reply longer than kMaxReplyBytes (line ends included) is
// TooLong, however its bytes are cut into pieces, and stays so until clear().
// Bytes after the last line of a reply stay buffered for the next one.
#include <QByteArray>

class SmtpReplyReader {
public:
    static constexpr int kMaxLineBytes = 2 * 1024;
    static constexpr int kMaxReplyBytes = 64 * 1024;

    enum Step {
        NeedMore,  // no whole line buffered; the reply goes on
        Line,      // a line that is not the reply's last
        LastLine,  // the reply's last line
        TooLong    // a line or the reply beyond its limit
    };

    // A new reply begins: its byte count starts again.
    void startReply();
    // Bytes as they came from the server.
    void feed(const QByteArray& bytes);
    // Takes the next whole line (its line end included) into `line`.
    Step next(QByteArray* line);
    // Whether bytes that are no whole line yet, or lines not taken, are held.
    bool hasBufferedBytes() const;
    // Forgets every buffered byte and the too-long state.
    void clear();

    // The number in the first three characters of a line, when they are
    // digits; else 0.
    static int replyCode(const QByteArray& line);
    // "NNN text" or "NNN" alone before the line end: the last line of a reply.
    static bool isLastLine(const QByteArray& line);

private:
    QByteArray m_buffer;
    int m_replyBytes = 0;
    bool m_tooLong = false;
};
