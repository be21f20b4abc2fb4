#pragma once
// Version information of a binary file.
//
// Every binary the build makes embeds a text block (see platform/README.md,
// "File version"). These functions read it back in the shape of a version
// resource: a size query, a copy into a caller's buffer, and value queries by
// path ("\\VarFileInfo\\Translation", "\\StringFileInfo\\040904b0\\FileVersion").
#include <QByteArray>
#include <QList>
#include <QPair>
#include <QString>
#include <cstdint>

namespace platform {

// Size in bytes of the decoded version data of the file; 0 when the file is
// missing, unreadable or carries no version block.
uint32_t GetFileVersionInfoSize(const QString& filePath);

// Decodes the version data of the file into `buffer` (at least `size` bytes, as
// returned by GetFileVersionInfoSize). False on any failure.
bool GetFileVersionInfo(const QString& filePath, uint32_t size, void* buffer);

// Looks up a value in decoded version data.
//  "\\VarFileInfo\\Translation": an array of 16-bit (language, code page) pairs;
//      *length is its size in bytes.
//  "\\StringFileInfo\\<lang><cp>\\<Name>": a zero-terminated UTF-16 text;
//      *length is its length in characters, the terminator included.
// The returned pointer points into `block`. False when the value is absent.
bool VerQueryValue(const void* block, const QString& subBlock, const void** value, uint32_t* length);

// Builds a version block as the build embeds it, for test fixtures:
// translations as (language, code page) pairs, string entries keyed
// "<lang><cp>\\<Name>" (e.g. "040904b0\\FileVersion").
QByteArray makeVersionBlock(const QList<QPair<uint16_t, uint16_t>>& translations,
                            const QList<QPair<QString, QString>>& entries, const QString& fixedFileVersion = QString());

}  // namespace platform
