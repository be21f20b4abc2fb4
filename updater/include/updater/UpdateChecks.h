#pragma once
// The two comparisons the update window makes against the server's answers:
// whether the server's version is newer than the installed one, and whether
// the downloaded file's digest is the one the server names.
#include <QString>

// True when `installed` is an older version than `offered`. When both are
// dotted decimal versions ("2.0.1.10", surrounding white space ignored) they
// are compared number by number, a missing number counting as 0, so that
// 2.0.1.6 < 2.0.1.10 and 1.9.0 < 1.10.0. Otherwise (an empty installed
// version, a text like "2.1 beta") the plain-text order of the texts without
// surrounding white space decides; equal texts are never older.
bool isOlderVersion(const QString& installed, const QString& offered);

// True when `serverDigest`, without surrounding white space, is 40 hex digits
// equal to `localDigest` regardless of letter case (servers write SHA-1 as
// sha1sum does, in lower case, often with a line end). An empty, short or
// non-hex server digest and a null local digest never match.
bool digestMatches(const QString& localDigest, const QString& serverDigest);
