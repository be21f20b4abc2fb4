#pragma once

#include <cstdint>
#include <cstdio>
#include <string>

#include "Tessiva/TessivaExport.h"

namespace KSB {

// A thin wrapper of one C file stream, with static file and folder helpers.
//
// Paths are wide strings of Unicode code points; they reach the file system as
// UTF-8 (a file name that is not valid UTF-8 comes back from RemoveDir's walk with
// each stray byte as one code point U+DC80..U+DCFF, and is found again by that
// name). Modes are those of fopen ("rb", "w+", ...); a "t" is ignored.
//
// On this platform a file whose owner-write permission bit is clear counts as
// read-only: RemoveFile and RemoveDir refuse to delete it, also when the caller
// could (for instance as root), as the product's own platform refuses to delete
// read-only files.
//
// A path (or mode) holding a NUL character is refused by every function: the
// file system would see it cut at the NUL. OpenFile and RemoveFile give false,
// GetFileSize 0, RemoveDir false without deleting anything, FullPathGetName "".
//
// Copies never share a stream: copying or assigning an object gives an object
// without an open stream, so no stream is ever closed twice. The source keeps its
// stream; an assigned-to object closes its own stream first.
class TESSIVA_EXPORT CFileOperator {
public:
    // Kind of entry reported by RemoveDir's callback.
    enum SE_FILE_ATTRIBUTE { SE_FILE_ATTRIBUTE_FILE = 1, SE_FILE_ATTRIBUTE_DIRECTORY = 2 };
    // Called by RemoveDir for each entry it tried to delete: the entry's path,
    // whether the deletion succeeded, its kind and the caller's pointer.
    typedef void (*RemoveDirCallback)(std::wstring path, bool success, SE_FILE_ATTRIBUTE kind, void* user);

    CFileOperator();
    CFileOperator(const CFileOperator& other);
    CFileOperator& operator=(const CFileOperator& other);
    virtual ~CFileOperator();

    // Closes any open stream, then opens path with mode; true when it opened.
    // A folder is not opened (false).
    virtual bool OpenFile(std::wstring path, std::wstring mode);
    // Reads exactly length bytes; false for a null buffer, a length of 0, a closed
    // object or a short read.
    virtual bool ReadByte(void* buffer, uint64_t length);
    // Writes length bytes and flushes them to the file; false for null data, a
    // length of 0, a closed object, or a write the file did not take.
    virtual bool WriteByte(const void* data, uint64_t length);
    // Reads one line of at most 10239 bytes, its newline included when present.
    // At the end of the file, on a read error or on a closed object: false, and
    // the line is empty.
    virtual bool ReadLine(std::string& line);
    // Writes the text and one "\n"; true whenever a stream is open (the results
    // of the writes are not looked at), false on a closed object.
    virtual bool WriteLine(const std::string& line);
    // Closes the stream if one is open.
    virtual void CloseFile();

    // Size of the stream's file (64-bit); the stream's position is kept. 0 for a
    // null or unseekable stream and for a folder.
    static uint64_t GetFileSize(FILE* file);
    // Size of the regular file at path (a link is followed); 0 when it cannot be
    // opened for reading, and for anything but a regular file: a folder, a FIFO
    // (never opened, so the call does not wait for a writer), a device.
    static uint64_t GetFileSize(std::wstring path);
    // Deletes the folder with everything in it; true when the folder itself was
    // removed. One trailing "\" or "/" is ignored. Refused (false, nothing
    // deleted, no callback) when the path is empty or its last part is empty,
    // "." or "..", so "", "/", ".", ".." and the like never walk a folder. A
    // symbolic link inside the tree is deleted as a link, never followed; a link
    // given as the folder is refused. The walk never enters another file system:
    // a mount point inside the tree (a bind mount included) is reported as a
    // folder not deleted, with its content left alone. It keeps at most three
    // descriptors open whatever the depth of the tree. Entries that cannot be
    // deleted do not stop the walk; should the tree be moved while it runs, so
    // that a folder's ".." is no longer the folder the walk came from, the walk
    // stops and reports the folders it stood in as not deleted. callback may be
    // null.
    static bool RemoveDir(std::wstring folder, RemoveDirCallback callback, void* user);
    // Deletes one file (or symbolic link, never its target); true on success.
    // Folders are not removed by it.
    static bool RemoveFile(std::wstring path);
    // The file-name part of path, without folder and extension (the text from the
    // last "." on): "/a/report.final.txt" gives "report.final". Both "/" and "\"
    // separate folders.
    static std::wstring FullPathGetName(std::wstring path);

private:
    FILE* m_pFile;
};

}  // namespace KSB
