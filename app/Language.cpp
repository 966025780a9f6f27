#include "app/Language.h"
#include "classlib/Translation.h"
#include "platform/Registry.h"

namespace {
// The class library's own texts (message box captions and buttons).
constexpr const char* kRuntimeDomain = "runtime";
} // namespace

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
        CurrentLanguage = GetCurrentLanguage();
    // Also the system's choice is made gettext's own: it may name a language whose locale is not
    // installed, which gettext alone would ignore.
    UseLanguage(CurrentLanguage);
}

bool UseNextLanguage() {
    const QString next = NextLanguage(LanguageList, CurrentLanguage);
    if (next.isEmpty())
        return false;
    CurrentLanguage = next;
    UseLanguage(CurrentLanguage);
    return true;
}
