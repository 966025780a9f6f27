#include "classlib/Translation.h"
#include <libintl.h>

namespace {
constexpr const char* kDomain = "default";
}

QString _(const char* text) {
    if (!text || !*text)
        return QString();
    return QString::fromUtf8(dgettext(kDomain, text));
}

QString _(const QString& text) {
    if (text.isEmpty())
        return text;
    const QByteArray utf8 = text.toUtf8();
    return QString::fromUtf8(dgettext(kDomain, utf8.constData()));
}

void BindTextDomainFolder(const QString& folder) {
    const QByteArray path = folder.toLocal8Bit();
    if (bindtextdomain(kDomain, path.constData()))
        bind_textdomain_codeset(kDomain, "UTF-8");
}
