// Fuzzes the reader of the mail-account file with the file's bytes as they
// are, or with an XML text that the fuzzer scrambles as the product stores it
// (so the XML layer is reached), optionally repeated (deep or large files).
// Invariants: no crash, and bounded work (libFuzzer's time-out); a refused file
// leaves the account as it was; the unscrambling undoes the scrambling.
#include <QByteArray>
#include <QString>

#include <sys/mman.h>
#include <unistd.h>

#include <cstddef>
#include <cstdint>
#include <cstdlib>

#include "mail/EmailAccountFile.h"

namespace {

// The file as the product stores it: Base64 with three bytes inserted after
// the first four.
QByteArray scramble(const QByteArray& xml) {
    QByteArray text = xml.toBase64();
    text.insert(4, "Zn7");
    return text;
}

// One file for every run, rewritten each time.
int fileDescriptor() {
    static const int fd = memfd_create("encryptEmailFile.xml", MFD_CLOEXEC);
    return fd;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size < 1) return 0;
    const int fd = fileDescriptor();
    if (fd < 0) std::abort();
    const bool scrambled = data[0] & 1;
    const int repeat = 1 + (data[0] >> 1);  // 1 to 128
    QByteArray body = QByteArray(reinterpret_cast<const char*>(data + 1), static_cast<int>(size - 1)).repeated(repeat);
    if (scrambled) {
        const QByteArray file = scramble(body);
        if (body.size() >= 3 && DecodeEmailFile(file) != body) std::abort();
        body = file;
    }
    if (ftruncate(fd, 0) != 0 || pwrite(fd, body.constData(), static_cast<size_t>(body.size()), 0) != body.size()) {
        std::abort();
    }

    SEmailAccount account;
    account.strUser = QStringLiteral("unchanged-user");
    account.strPassword = QStringLiteral("unchanged-password");
    const bool read = ReadEmailAccount(QStringLiteral("/proc/self/fd/%1").arg(fd), account);
    if (!read && (account.strUser != QLatin1String("unchanged-user") ||
                  account.strPassword != QLatin1String("unchanged-password"))) {
        std::abort();
    }
    DecodeEmailFile(QByteArray(reinterpret_cast<const char*>(data), static_cast<int>(size)));
    return 0;
}
