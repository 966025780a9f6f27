#include "app/Language.h"
#include "app/CatalogueLookup.h"
#include "classlib/Translation.h"
#include "platform/Registry.h"
#include <QCoreApplication>
#include <QLibraryInfo>
#include <QTranslator>
#include <memory>

namespace {
// The class library's own texts (message box captions and buttons).
constexpr const char* kRuntimeDomain = "runtime";

// "pt_BR" -> "pt".
QString LanguagePart(const QString& language) {
    return language.section(QLatin1Char('_'), 0, 0);
}

// The catalogue the system's language is shown with, as the list names it: the same code (case aside),
// else the catalogue of its language alone (gettext's fallback from "pt_BR" to "pt"), else, since
// without a catalogue the program shows its own English texts, an English one; else the language as it
// is. Without this, the Language button's first press could select what is already shown.
QString CatalogueShown(const QString& system) {
    const QString wanted[] = {system, LanguagePart(system)};
    for (const QString& code : wanted)
        for (const QString& language : LanguageList)
            if (language.compare(code, Qt::CaseInsensitive) == 0)
                return language;
    for (const QString& language : LanguageList)
        if (LanguagePart(language) == QLatin1String("en"))
            return language;
    return system;
}

// Qt's own texts (the edit fields' context menus, the standard buttons): its catalogue for the language,
// beside the program's. One at a time, replaced at each change.
std::unique_ptr<QTranslator>& QtCatalogue() {
    static std::unique_ptr<QTranslator> translator;
    return translator;
}

} // namespace

void UseQtCatalogue(const QString& language) {
    std::unique_ptr<QTranslator>& current = QtCatalogue();
    if (current) {
        QCoreApplication::removeTranslator(current.get());
        current.reset();
    }
    auto next = std::make_unique<QTranslator>();
    // Qt looks for qtbase_pt_BR, then qtbase_pt; none (English, or no catalogue installed) keeps its own.
    if (!language.isEmpty() &&
        next->load(QStringLiteral("qtbase_") + language,
                   QLibraryInfo::path(QLibraryInfo::TranslationsPath)) &&
        QCoreApplication::installTranslator(next.get()))
        current = std::move(next);
}

void TranslationSetUp(const QString& programFolder) {
    const QString folder = programFolder + QLatin1String("locale");
    BindTextDomainFolder(folder);
    BindTextDomainFolder(kRuntimeDomain, folder);
    AddDomainForResourceString(kRuntimeDomain);
    IgnoreClassProperty("TRSObjectInspector", "Hint");
    IgnoreClass("TFont");
    IgnoreClass("TWebBrowser");
}

QString RegistryLanguage() {
    TRegistry registry;
    registry.RootKey = TRootKey::HKEY_LOCAL_MACHINE;
    if (!registry.OpenKeyReadOnly(QLatin1String(LanguageRegistryKey)))
        return QString();
    return registry.ReadString(QStringLiteral("lang")).trimmed();
}

void InitLanguage() {
    LanguageList = GetListOfLanguages();
    CurrentLanguage = RegistryLanguage();
    if (CurrentLanguage.isEmpty())
        CurrentLanguage = CatalogueShown(GetCurrentLanguage());
    // Also the system's choice is made gettext's own: it may name a language whose locale is not
    // installed, which gettext alone would ignore.
    UseLanguage(CurrentLanguage);
    UseQtCatalogue(CurrentLanguage);
}

QString SourceOfShownText(const QString& shown) {
    if (shown.isEmpty())
        return shown;
    const QString catalogue = TextDomainFolder() + QLatin1Char('/') + CurrentLanguage +
                              QLatin1String("/LC_MESSAGES/") + QLatin1String(DefaultTextDomain) +
                              QLatin1String(".mo");
    const QString source = SourceOfTranslation(catalogue, shown);
    return source.isEmpty() ? shown : source;
}

bool UseNextLanguage() {
    const QString next = NextLanguage(LanguageList, CurrentLanguage);
    if (next.isEmpty())
        return false;
    CurrentLanguage = next;
    UseLanguage(CurrentLanguage);
    UseQtCatalogue(CurrentLanguage);
    return true;
}
