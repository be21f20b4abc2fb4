#pragma once
// What the updater's start-up prepares before the window: the extra note of
// the command line, the skin folder and the style object.
#include <QString>
#include <QStringList>

// The process's own arguments as the system holds them (/proc/self/cmdline),
// each decoded from the locale's encoding.
QStringList processArguments();

// The text after "-extraNote=" of the last argument that holds it
// (case-sensitive); `found` tells whether any did.
QString extraNoteFromArguments(const QStringList& arguments, bool* found);

// The skin folder for the flag value: empty -> the application folder +
// "/skin/"; longer than one character and not ending in "/" -> with "/"
// appended; a one-character value unchanged.
QString skinFolderFor(const QString& skinPath);

// The window's shadow width for the flag value: 0..20 as given, anything
// else the default 5 (a wide frame puts the buttons off the screen, a huge
// one makes the window too large to be made at all).
int shadowWidthFor(int flagValue);
constexpr int kDefaultShadowWidth = 5;
constexpr int kMaxShadowWidth = 20;

// Fills the style object for the updater: skin folder, backup and temp
// folders under the application folder, font family "Segoe UI", and the
// updater's variant of the toolkit's widgets.
void initStyleCommon(const QString& skinFolder);
