#pragma once
// The General and CPU pages in colour: the plain report texts turned into rich text for a read-only
// text view, with the report pages' colour scheme. Banner dark cyan and bold, group headers bold dark
// grey, rules dark grey, labels black and values dark blue; on the CPU page the register values, the
// stack values and the dumped bytes dark blue. The plain text stays exactly as it was.
#include <QColor>
#include <QString>

namespace reporter {

inline const QColor RichBannerColor{0, 100, 100};
inline const QColor RichLabelColor{0, 0, 0};
inline const QColor RichHeaderColor{40, 40, 40};
inline const QColor RichValueColor{0, 0, 160};

// HTML for a text view: one <pre> block, every character of the text escaped.
QString BuildGeneralHtml(const QString& text);
QString BuildCPUHtml(const QString& text);

} // namespace reporter
