// Fuzzes the SMTP reply reader with any byte stream, cut into pieces as a
// socket could deliver it, read reply after reply as the client reads them.
// Invariants: every line handed out is one whole line within its limit, a
// reply stays within its limit, the last line is exactly a line "NNN text" or
// "NNN", and the reader never asks for more bytes while it holds more than a
// reply may have: every stream ends in replies, TooLong, or a wait for bytes
// that would still fit (which the client's deadline bounds).
#include <QByteArray>

#include <cstddef>
#include <cstdint>
#include <cstdlib>

#include "mail/SmtpReplyReader.h"

namespace {

bool digit(char c) { return c >= '0' && c <= '9'; }

// The reply syntax, written out on its own.
bool expectLast(const QByteArray& line) {
    if (line.size() >= 4 && line.at(3) == ' ') return true;
    const bool threeDigits = line.size() >= 3 && digit(line.at(0)) && digit(line.at(1)) && digit(line.at(2));
    return threeDigits && (line.size() == 4 || (line.size() == 5 && line.at(3) == '\r'));
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size < 2) return 0;
    // The first byte: how often the rest repeats (streams up to past the reply
    // limit); the second: the piece size of the socket's reads (at most about
    // a thousand reads per run, to keep runs quick).
    const int repeat = 1 + data[0] % 64 * (data[0] >= 128 ? 64 : 1);
    const QByteArray unit(reinterpret_cast<const char*>(data + 2), static_cast<int>(size - 2));
    const QByteArray stream = unit.repeated(repeat).left(SmtpReplyReader::kMaxReplyBytes + 4096);
    const int piece = qMax(1 + data[1] * (data[1] >= 128 ? 64 : 1), stream.size() / 1024);

    SmtpReplyReader reader;
    reader.startReply();
    int fed = 0;
    int taken = 0;
    int replyBytes = 0;
    while (fed < stream.size() || reader.hasBufferedBytes()) {
        const int count = qMin(piece, stream.size() - fed);
        reader.feed(stream.mid(fed, count));
        fed += count;
        for (;;) {
            QByteArray line;
            const SmtpReplyReader::Step step = reader.next(&line);
            if (step == SmtpReplyReader::TooLong) {
                // Final: the client drops the connection.
                if (reader.next(&line) != SmtpReplyReader::TooLong) std::abort();
                return 0;
            }
            if (step == SmtpReplyReader::NeedMore) {
                const QByteArray held = stream.mid(taken, fed - taken);
                if (held.contains('\n')) std::abort();
                if (held.size() > SmtpReplyReader::kMaxLineBytes) std::abort();
                if (replyBytes + held.size() > SmtpReplyReader::kMaxReplyBytes) std::abort();
                break;
            }
            if (line.isEmpty() || !line.endsWith('\n') || line.indexOf('\n') != line.size() - 1) std::abort();
            if (line != stream.mid(taken, line.size())) std::abort();
            if (line.size() > SmtpReplyReader::kMaxLineBytes) std::abort();
            taken += line.size();
            replyBytes += line.size();
            if (replyBytes > SmtpReplyReader::kMaxReplyBytes) std::abort();
            const int code = SmtpReplyReader::replyCode(line);
            if (code < 0 || code > 999) std::abort();
            if ((step == SmtpReplyReader::LastLine) != expectLast(line)) std::abort();
            if (step == SmtpReplyReader::LastLine) {
                reader.startReply();
                replyBytes = 0;
            }
        }
        if (fed == stream.size()) break;
    }
    return 0;
}
