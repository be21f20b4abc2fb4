#pragma once
// One file taken for a mail attachment. It is opened once, relative to an open
// folder, without following a link and without waiting (a FIFO must not hang
// the dialog), and kept only when the descriptor shows a regular file with
// exactly one link that the user owns: a link or a hard link would mail
// another file, possibly one that is not the user's to send. Its bytes are
// read from that descriptor only, so a name swapped for a link afterwards
// changes nothing.
#include <QByteArray>
#include <QtGlobal>

class AttachmentFile {
public:
    // Takes `name` in the folder open as `folderFd`; not valid when the entry
    // is missing or cannot be taken.
    AttachmentFile(int folderFd, const char* name);
    ~AttachmentFile();
    AttachmentFile(AttachmentFile&& other) noexcept;
    AttachmentFile& operator=(AttachmentFile&& other) noexcept;
    AttachmentFile(const AttachmentFile&) = delete;
    AttachmentFile& operator=(const AttachmentFile&) = delete;

    bool isValid() const;
    // The size the descriptor showed when the file was taken.
    qint64 size() const;
    // The whole file when it has at most `limit` bytes; otherwise its last
    // `limit` bytes at most (where a log's newest lines are), starting at a
    // line start when one is near. Only those bytes are read.
    QByteArray readTail(qint64 limit) const;

private:
    // Up to `length` bytes from `offset`; fewer when the file has shrunk.
    QByteArray readAt(qint64 offset, qint64 length) const;

    int m_fd = -1;
    qint64 m_size = 0;
};
