#pragma once
// The program's language: the translation set-up of the start-up, the languages that have a catalogue,
// the language in use, and the start-up choice read from the registry value "lang".
#include <QString>
#include <QStringList>

// The languages of the domain "default", filled by InitLanguage.
inline QStringList LanguageList;
// The language in use.
inline QString CurrentLanguage;

// The key under HKEY_LOCAL_MACHINE that holds the start-up language; the program never writes it.
inline constexpr const char* LanguageRegistryKey = "\\Software\\Korvane Devavuru\\Vexa Daxo Soft";

// Binds the program's domains to <programFolder>locale, adds the class library's own domain for
// resource strings, and leaves the inspector's hints, fonts and web browsers out of window translation.
void TranslationSetUp(const QString& programFolder);
// The registry value "lang"; empty when the key or the value is missing.
QString RegistryLanguage();
// Loads Qt's own catalogue for the language (qtbase_<language> from Qt's translations folder) in place
// of the one before; none for a language Qt has no catalogue of.
void UseQtCatalogue(const QString& language);
// Fills LanguageList and uses the registry's language, or, when the registry names none, the system's
// as the catalogue list names the one it is shown with.
void InitLanguage();
// The program's text that `shown` is the translation of in the language in use; `shown` itself when it
// is no translation (a source text, or a text no catalogue holds).
QString SourceOfShownText(const QString& shown);
// Uses the language after CurrentLanguage in LanguageList, wrapping after the last; false, changing
// nothing, when no catalogue exists.
bool UseNextLanguage();
