#pragma once
// The reader of the scrambled mail-account file "encryptEmailFile.xml", which
// the main window downloads at every start and the feedback dialog reads before
// every send. The file's bytes are the Base64 text of an XML document with three
// extra bytes after the first four. The document's root holds "Email" elements
// of "emailType" entries of exactly three children: product code, account user,
// account password. The product's account is the last entry of code "P00".
#include <QByteArray>
#include <QString>

// The mail account of the product.
struct SEmailAccount {
    QString strUser;
    QString strPassword;
};

// What the reader writes to the debug output. The feedback dialog logs a parse
// error; the main window logs the entries it meets.
struct SEmailAccountLog {
    // "errorStr======", "errorLine=====" and "errorColumn=====" on a parse error.
    bool bParseErrors = false;
    // "childCount=======================" for every "emailType" entry, then
    // "childElement=======================" and "strPid=========" for those of
    // three children.
    bool bEntries = false;
};

// Undoes the file's scrambling: three bytes inserted after the first four, then
// Base64.
QByteArray DecodeEmailFile(const QByteArray& fileBytes);

// Reads the account of product "P00" from the mail-account file at `path` into
// `account`. False, with `account` unchanged, when the file cannot be opened,
// is too large or too deeply nested, is no well-formed XML once unscrambled, or
// names no such account.
bool ReadEmailAccount(const QString& path, SEmailAccount& account, SEmailAccountLog log = SEmailAccountLog());
