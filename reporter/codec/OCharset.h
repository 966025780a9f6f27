#pragma once
// The character-set number (the classic font character sets: 0 Western, 238 Central European, 204
// Cyrillic, ...) of the user's locale, for the fonts of the report pages and the report dialog.
#include <string>

namespace reporter {

// The locale name the user's environment selects for character classification (LC_ALL, LC_CTYPE, LANG).
std::string UserLocaleName();
// The character set of a locale name such as "ru_RU.UTF-8" or "pl_PL.ISO-8859-2"; 0 when unknown.
int CharsetOfLocale(const std::string& localeName);
int GetDefaultCharset();

} // namespace reporter
