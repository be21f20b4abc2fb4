#pragma once
// The reader of the iTunes installer table "iTunesDownloadUrl.xml" (with its
// shipped fallback "iTunesDownloadUrlLocal.xml"), one of the two configuration
// files the main window downloads at start. The other, the mail-account file,
// is read by the mail library (EmailAccountFile.h).
#include <QString>

// What the installer table decides for the installed iTunes. The caller fills
// the inputs and the values to keep when the table says nothing; the reader
// overwrites what the table names.
struct SInstallerTableState {
    // In: the engine reported no installed iTunes (the latest installer is used).
    bool bIsDownloadLastVersion = false;
    // In: 32 or 64; chooses the installer columns.
    int nVersionBit = 32;

    // In and out: the installed version; with no iTunes installed the first
    // entry's version becomes it.
    QString strVersion;
    // Out: true while the table has no entry for strVersion.
    bool bIsNotFindCurrentVersion = true;
    // Out: the installer for strVersion and its SHA-1 (hex text).
    QString strDownloadUrl;
    QString strDownloadHash;
    // Out: the latest installer (the first entry of an "iTunesVersion" element).
    QString strLastVersion;
    QString strLastDownloadUrl;
    QString strLastDownloadHash;
    // Out: the component-information address prefix.
    QString strComponentInformationUrl;
};

// Reads the table at `path` into `state`. False, with `state` unchanged, when
// the file cannot be opened, is no well-formed XML, or is beyond the bounds of
// ZnBoundedXml (the parse error is logged).
bool ReadInstallerTable(const QString& path, SInstallerTableState& state);

// The path of the table to read in `appDir`: the downloaded one when it is
// there, else the shipped fallback.
QString InstallerTablePath(const QString& appDir);
