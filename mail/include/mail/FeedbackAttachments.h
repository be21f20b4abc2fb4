#pragma once
// The files the feedback mail attaches: the application folder's
// "crashcore.dmp", then the files of its "Log" folder whose suffix is exactly
// "log" (no subfolders), smallest first. Every file is taken once, when the
// list is made, and read from its own descriptor (see AttachmentFile): a link,
// a hard link, a FIFO or anything but a regular file of the user's is left out,
// as a missing file is. The "Log" folder is opened as a folder, not through a
// link, and its entries relative to it.
//
// Each file and the whole mail are bounded: a file over its bound contributes
// its last part (where a log's newest lines are), and once the mail's bound is
// used up the remaining files contribute what is left of it, then nothing.
#include <QByteArray>
#include <QList>
#include <QString>
#include <QtGlobal>

class FeedbackAttachments {
public:
    struct File {
        QString name;
        QByteArray bytes;
    };

    // Per file: the newest 2 MiB of a log tell what went wrong lately; the
    // engine rotates its own log at 1 MiB.
    static constexpr qint64 kMaxFileBytes = 2 * 1024 * 1024;
    // All attachments of one mail: Base64 with its line ends makes 6 MiB about
    // 8.6 MB on the wire, which stays below the 10 MB that relays commonly
    // accept (most take 10 to 25 MB) with room for the text.
    static constexpr qint64 kMaxMailBytes = 6 * 1024 * 1024;

    // The files of the application folder `appDir`, in mail order, each
    // already read within the bounds.
    static QList<File> collect(const QString& appDir);
};
