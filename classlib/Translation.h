#pragma once
// The translation layer over GNU gettext.
// - `_()` translates one text on the domain "default"; it returns the source text while no catalogue for
//   the current language exists.
// - A language is a catalogue folder name such as "pt_BR": <folder>/<lang>/LC_MESSAGES/<domain>.mo.
// - TranslateComponent walks a QObject tree and translates every text-bearing property, remembering the
//   source text of each, so that RetranslateComponent can translate the tree again after a language
//   change. Classes, and properties of classes, can be left out of the walk.
#include <QString>
#include <QStringList>

class QObject;

inline constexpr const char* DefaultTextDomain = "default";

QString _(const char* text);
QString _(const QString& text);
// Marks a text for the catalogue where it is written; it is translated later, where it is shown.
constexpr const char* N_(const char* text) {
    return text;
}

// Binds the "default" domain (or the given one) to a folder holding <lang>/LC_MESSAGES/<domain>.mo.
void BindTextDomainFolder(const QString& folder);
void BindTextDomainFolder(const char* domain, const QString& folder);
// The folder a domain is bound to.
QString TextDomainFolder(const char* domain = DefaultTextDomain);

// Resource strings (the class library's own texts) are looked up on "default" first and then on every
// domain added here, in the order added.
void AddDomainForResourceString(const char* domain);
QString LoadResString(const char* text);

// The languages for which the domain has a catalogue in its bound folder, sorted by name.
QStringList GetListOfLanguages(const char* domain = DefaultTextDomain);
// The language in use: the one last passed to UseLanguage, else the system's choice (LANGUAGE, LC_ALL,
// LC_MESSAGES, LANG; "en" when none names a language).
QString GetCurrentLanguage();
// Makes gettext translate into the language from now on, in every domain. Texts already translated keep
// their language until translated again.
void UseLanguage(const QString& language);
// The language after current in languages, wrapping after the last; the first when current (compared
// without regard to case) is not in the list; empty when the list is empty.
QString NextLanguage(const QStringList& languages, const QString& current);

// Leaves every object that inherits the class (and the objects below it) out of the walk.
void IgnoreClass(const char* className);
// Leaves one property of every object that inherits the class out of the walk.
void IgnoreClassProperty(const char* className, const char* propertyName);

// Translates the tree below root, root included: window titles, texts, titles, tool tips, status tips,
// placeholder texts, the items of combo boxes and list widgets, tab texts, and the texts of actions.
// A window owned by another window is left to its own translation. A text the program changed since the
// last walk is taken as the new source text; empty texts stay empty. Main thread only.
void TranslateComponent(QObject* root);
// Translates the tree again from the remembered source texts, into the language now in use.
void RetranslateComponent(QObject* root);
// The remembered source text of an object's property ("" when the walk has not seen it).
QString TranslationSource(const QObject* object, const char* propertyName);
