#pragma once
// The window system shows a window's caption with the program's display name appended ("Error. - Vexa
// Daxo Soft"), unless the display name is blank. A reporter dialog's caption is its own text alone,
// the same whether the program or the dialog helper process shows it: while this scope lives, the
// display name is blank.
#include <QString>

namespace reporter {

class TPlainCaptionScope {
public:
    TPlainCaptionScope();
    ~TPlainCaptionScope();
    TPlainCaptionScope(const TPlainCaptionScope&) = delete;
    TPlainCaptionScope& operator=(const TPlainCaptionScope&) = delete;

private:
    QString m_saved;
};

} // namespace reporter
