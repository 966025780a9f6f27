#include "classlib/Translation.h"
#include "classlib/RegularFile.h"
#include <QComboBox>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QLineEdit>
#include <QListWidget>
#include <QMetaProperty>
#include <QTabBar>
#include <clocale>
#include <cstring>
#include <libintl.h>
#include <map>
#include <string>
#include <unordered_map>
#include <vector>

namespace {

QString Translated(const char* domain, const char* text) {
    return QString::fromUtf8(dgettext(domain, text));
}

std::vector<std::string>& ResourceDomains() {
    static std::vector<std::string> domains;
    return domains;
}

QString& ChosenLanguage() {
    static QString language;
    return language;
}

// Drops gettext's cached translations: calling textdomain again is the documented signal that the
// environment changed, and glibc then looks every text up afresh.
void SignalLanguageChange() {
    if (const char* current = textdomain(nullptr))
        textdomain(current);
}

// gettext ignores LANGUAGE while the message locale is "C"; a plain C.UTF-8 keeps every other behaviour
// of the C locale and lets a language be chosen anyway.
void AllowLanguageChoice() {
    const char* now = std::setlocale(LC_MESSAGES, nullptr);
    if (now && std::strcmp(now, "C") != 0 && std::strcmp(now, "POSIX") != 0)
        return;
    for (const char* candidate : {"C.UTF-8", "C.utf8", "en_US.UTF-8"})
        if (std::setlocale(LC_MESSAGES, candidate))
            return;
}

// "pt_BR.UTF-8@euro" -> "pt_BR"; the C locale names no language.
QString LanguageOfLocaleName(const QByteArray& name) {
    QByteArray lang = name;
    for (const char delimiter : {'.', '@'})
        if (const auto at = lang.indexOf(delimiter); at >= 0)
            lang.truncate(at);
    if (lang.isEmpty() || lang == "C" || lang == "POSIX")
        return QString();
    return QString::fromLatin1(lang);
}

QString SystemLanguage() {
    const QByteArray language = qgetenv("LANGUAGE");
    for (const QByteArray& entry : language.split(':'))
        if (const QString lang = LanguageOfLocaleName(entry); !lang.isEmpty())
            return lang;
    for (const char* variable : {"LC_ALL", "LC_MESSAGES", "LANG"})
        if (const QString lang = LanguageOfLocaleName(qgetenv(variable)); !lang.isEmpty())
            return lang;
    return QStringLiteral("en");
}

// The walk ------------------------------------------------------------------------------------------------

// What a text was before the first translation, and what the walk last showed.
struct TRememberedText {
    QString Source;
    QString Applied;
};

struct TObjectTexts {
    std::map<QByteArray, TRememberedText> Properties;
    std::map<QByteArray, std::vector<TRememberedText>> Lists; // combo items, list items, tab texts
};

// Remembered texts per object; an object's entry goes with the object.
std::unordered_map<const QObject*, TObjectTexts>& Memory() {
    static std::unordered_map<const QObject*, TObjectTexts> memory;
    return memory;
}

TObjectTexts& MemoryOf(QObject* object) {
    auto [it, inserted] = Memory().try_emplace(object);
    if (inserted)
        QObject::connect(object, &QObject::destroyed, [object] { Memory().erase(object); });
    return it->second;
}

// The text to show now. A text that is not what the walk last showed was set by the program and becomes
// the new source.
QString Retranslate(TRememberedText& text, bool known, const QString& now) {
    if (!known || now != text.Applied)
        text.Source = now;
    text.Applied = _(text.Source);
    return text.Applied;
}

std::vector<QByteArray>& IgnoredClasses() {
    static std::vector<QByteArray> classes;
    return classes;
}

// An edit's text is the user's input, not the program's.
std::vector<std::pair<QByteArray, QByteArray>>& IgnoredProperties() {
    static std::vector<std::pair<QByteArray, QByteArray>> properties{{"QLineEdit", "text"}};
    return properties;
}

bool IsIgnoredObject(const QObject* object) {
    for (const QByteArray& name : IgnoredClasses())
        if (object->inherits(name.constData()))
            return true;
    return false;
}

bool IsIgnoredProperty(const QObject* object, const char* property) {
    for (const auto& [className, name] : IgnoredProperties())
        if (name == property && object->inherits(className.constData()))
            return true;
    return false;
}

bool IsTextProperty(const char* name) {
    static const char* const names[] = {
        "windowTitle", "text",   "title",           "toolTip",          "statusTip", "whatsThis",
        "prefix",      "suffix", "placeholderText", "specialValueText", "Caption",   "Text",
        "Title",       "Hint"};
    for (const char* n : names)
        if (std::strcmp(n, name) == 0)
            return true;
    return false;
}

void TranslateProperties(QObject* object) {
    const QMetaObject* meta = object->metaObject();
    for (int i = 0; i < meta->propertyCount(); ++i) {
        const QMetaProperty property = meta->property(i);
        if (!IsTextProperty(property.name()) || property.metaType().id() != QMetaType::QString ||
            !property.isReadable() || !property.isWritable() || IsIgnoredProperty(object, property.name()))
            continue;
        const QString now = property.read(object).toString();
        const auto it = Memory().find(object);
        const bool known = it != Memory().end() && it->second.Properties.count(property.name());
        if (!known && now.isEmpty())
            continue;
        TRememberedText& text = MemoryOf(object).Properties[property.name()];
        const QString next = Retranslate(text, known, now);
        if (next != now)
            property.write(object, next);
    }
}

template <class Get, class Set>
void TranslateList(QObject* object, const char* key, int count, Get get, Set set) {
    if (count <= 0)
        return;
    std::vector<TRememberedText>& texts = MemoryOf(object).Lists[key];
    const auto knownCount = int(texts.size());
    texts.resize(size_t(count));
    for (int i = 0; i < count; ++i) {
        const QString now = get(i);
        const QString next = Retranslate(texts[size_t(i)], i < knownCount, now);
        if (next != now)
            set(i, next);
    }
}

void TranslateItems(QObject* object) {
    if (auto* combo = qobject_cast<QComboBox*>(object)) {
        TranslateList(
            object, "items", combo->count(), [combo](int i) { return combo->itemText(i); },
            [combo](int i, const QString& t) { combo->setItemText(i, t); });
    } else if (auto* list = qobject_cast<QListWidget*>(object)) {
        TranslateList(
            object, "items", list->count(), [list](int i) { return list->item(i)->text(); },
            [list](int i, const QString& t) { list->item(i)->setText(t); });
    } else if (auto* tabs = qobject_cast<QTabBar*>(object)) {
        TranslateList(
            object, "tabs", tabs->count(), [tabs](int i) { return tabs->tabText(i); },
            [tabs](int i, const QString& t) { tabs->setTabText(i, t); });
        TranslateList(
            object, "tabToolTips", tabs->count(), [tabs](int i) { return tabs->tabToolTip(i); },
            [tabs](int i, const QString& t) { tabs->setTabToolTip(i, t); });
    }
}

void Walk(QObject* object, bool isRoot) {
    if (IsIgnoredObject(object))
        return;
    // A window inside the tree (a dialog owned by another window) is translated by its own handlers.
    if (!isRoot && object->isWidgetType() && static_cast<QWidget*>(object)->isWindow())
        return;
    TranslateProperties(object);
    TranslateItems(object);
    const QObjectList children = object->children();
    for (QObject* child : children)
        Walk(child, false);
}

} // namespace

QString _(const char* text) {
    if (!text || !*text)
        return QString();
    return Translated(DefaultTextDomain, text);
}

QString _(const QString& text) {
    if (text.isEmpty())
        return text;
    const QByteArray utf8 = text.toUtf8();
    return Translated(DefaultTextDomain, utf8.constData());
}

void BindTextDomainFolder(const QString& folder) {
    BindTextDomainFolder(DefaultTextDomain, folder);
}

void BindTextDomainFolder(const char* domain, const QString& folder) {
    const QByteArray path = QFile::encodeName(folder);
    if (bindtextdomain(domain, path.constData()))
        bind_textdomain_codeset(domain, "UTF-8");
}

QString TextDomainFolder(const char* domain) {
    const char* folder = bindtextdomain(domain, nullptr);
    return folder ? QFile::decodeName(folder) : QString();
}

void AddDomainForResourceString(const char* domain) {
    if (!domain || !*domain)
        return;
    for (const std::string& d : ResourceDomains())
        if (d == domain)
            return;
    ResourceDomains().emplace_back(domain);
}

QString LoadResString(const char* text) {
    if (!text || !*text)
        return QString();
    // gettext answers the very msgid pointer when it has no translation.
    if (const char* t = dgettext(DefaultTextDomain, text); t != text)
        return QString::fromUtf8(t);
    for (const std::string& domain : ResourceDomains())
        if (const char* t = dgettext(domain.c_str(), text); t != text)
            return QString::fromUtf8(t);
    return QString::fromUtf8(text);
}

QStringList GetListOfLanguages(const char* domain) {
    const QString folder = TextDomainFolder(domain);
    if (folder.isEmpty())
        return {};
    const QString catalogue = QLatin1String("/LC_MESSAGES/") + QLatin1String(domain) + QLatin1String(".mo");
    QStringList languages;
    const QDir dir(folder);
    for (const QString& entry : dir.entryList(QDir::Dirs | QDir::NoDotAndDotDot, QDir::Name))
        if (QFileInfo(dir.filePath(entry) + catalogue).isFile())
            languages << entry;
    return languages;
}

QString GetCurrentLanguage() {
    return ChosenLanguage().isEmpty() ? SystemLanguage() : ChosenLanguage();
}

namespace {

// gettext opens its catalogues itself, with an open() that would wait for ever on a FIFO: every
// catalogue it could open for the language ("pt_BR.UTF-8", "pt_BR", "pt") is looked at first. False
// (said on standard error) when one of them is there but no regular file.
bool CataloguesUsable(const QString& language) {
    const QString full = language.isEmpty() ? GetCurrentLanguage() : language;
    const QString plain = LanguageOfLocaleName(full.toLocal8Bit());
    const QStringList candidates{full, plain, plain.section(QLatin1Char('_'), 0, 0)};
    std::vector<std::string> domains{DefaultTextDomain};
    domains.insert(domains.end(), ResourceDomains().begin(), ResourceDomains().end());
    for (const std::string& domain : domains) {
        const QString folder = TextDomainFolder(domain.c_str());
        for (const QString& candidate : candidates) {
            const QString catalogue = folder + QLatin1Char('/') + candidate + QLatin1String("/LC_MESSAGES/") +
                                      QString::fromStdString(domain) + QLatin1String(".mo");
            if (!candidate.isEmpty() && QFileInfo(catalogue).exists() && !IsReadableRegularFile(catalogue))
                return false;
        }
    }
    return true;
}

} // namespace

void UseLanguage(const QString& language) {
    ChosenLanguage() = language;
    AllowLanguageChoice();
    if (!CataloguesUsable(language))
        qputenv("LANGUAGE", "C"); // the program's own texts, as without a catalogue
    else if (language.isEmpty())
        qunsetenv("LANGUAGE");
    else
        qputenv("LANGUAGE", language.toLocal8Bit());
    SignalLanguageChange();
}

QString NextLanguage(const QStringList& languages, const QString& current) {
    if (languages.isEmpty())
        return QString();
    for (qsizetype i = 0; i < languages.size(); ++i)
        if (languages.at(i).compare(current, Qt::CaseInsensitive) == 0)
            return languages.at(i + 1 < languages.size() ? i + 1 : 0);
    return languages.first();
}

void IgnoreClass(const char* className) {
    IgnoredClasses().emplace_back(className);
}

void IgnoreClassProperty(const char* className, const char* propertyName) {
    IgnoredProperties().emplace_back(className, propertyName);
}

void TranslateComponent(QObject* root) {
    if (root)
        Walk(root, true);
}

void RetranslateComponent(QObject* root) {
    TranslateComponent(root);
}

QString TranslationSource(const QObject* object, const char* propertyName) {
    const auto it = Memory().find(object);
    if (it == Memory().end())
        return QString();
    const auto text = it->second.Properties.find(propertyName);
    return text == it->second.Properties.end() ? QString() : text->second.Source;
}
