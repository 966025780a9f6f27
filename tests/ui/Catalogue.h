#pragma once
// The program's translatable texts and its catalogues, read from the sources: the texts marked with _()
// or N_() in the code, the texts of the forms (.ui), the entries of a .po catalogue and the list of texts
// kept as they are.
#include <QMap>
#include <QSet>
#include <QString>

// Text -> the files it appears in.
using TTextSources = QMap<QString, QSet<QString>>;

// The texts of _("...") and N_("...") in C++ source (adjacent literals joined, escapes decoded).
QStringList SourceTexts(const QString& code);
// The texts of a form: every <string> not marked notr="true".
QStringList FormTexts(const QString& uiXml);
// Every such text of the .cpp, .h and .ui files in the folders below root.
TTextSources ProgramTexts(const QString& root, const QStringList& folders);
// A catalogue's entries with a translation (msgid -> msgstr); the header and empty translations are left
// out.
QMap<QString, QString> CatalogueEntries(const QString& poText);
// The kept texts (text -> reason) of a list with one "text<TAB>reason" a line and "#" comments.
QMap<QString, QString> KeptTexts(const QString& listText);
