#include "classlib/SysUtils.h"

void RaiseListIndexError(qsizetype index) {
    throw EListError(QStringLiteral("List index out of bounds (%1)").arg(index));
}

void Abort() {
    throw EAbort(QStringLiteral("Operation aborted"));
}

bool IsValidIdent(const QString& ident) {
    if (ident.isEmpty())
        return false;
    auto isAlpha = [](QChar c) { return (c >= u'a' && c <= u'z') || (c >= u'A' && c <= u'Z') || c == u'_'; };
    if (!isAlpha(ident.front()))
        return false;
    for (QChar c : ident)
        if (!isAlpha(c) && !(c >= u'0' && c <= u'9'))
            return false;
    return true;
}
