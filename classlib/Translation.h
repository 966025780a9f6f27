#pragma once
// The translation function over gettext's text domain "default". Returns the source text while no
// catalogue for the current language exists.
#include <QString>

QString _(const char* text);
QString _(const QString& text);

// Binds the "default" domain to a folder holding <lang>/LC_MESSAGES/default.mo.
void BindTextDomainFolder(const QString& folder);
