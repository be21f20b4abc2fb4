#pragma once
// The updater's language: the language file "<application folder>/language/
// language" holds the language name, taken whole (no trimming); a missing file
// is created holding "English", an empty one means "English". Translations
// are "<application folder>/language/qm/LiveUpdate/<name>.qm".
#include <QString>

class QTranslator;

// Reads (and when missing creates) the language file into `name`. False when
// the file can be neither created nor read; `name` is then untouched.
bool readLanguageFile(QString* name);

// Loads the translation of the language into `translator` and installs it in
// the application: the first ".qm" file of the translation folder whose name
// contains "<name>.qm", else "English.qm". False, with nothing installed, when
// the language file cannot be read or the folder has no ".qm" file; a load
// that fails still installs the (empty) translator.
bool loadTranslation(QTranslator* translator);
