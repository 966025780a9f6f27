#include "reporter/gui/ORichPages.h"

#include <QRegularExpression>
#include <QStringList>

namespace reporter {

namespace {

QString Span(const QColor& color, const QString& text, bool bold = false) {
    if (text.isEmpty())
        return QString();
    QString html =
        QStringLiteral("<span style=\"color:%1;%2\">").arg(color.name(), bold ? "font-weight:bold;" : "");
    return html + text.toHtmlEscaped() + QStringLiteral("</span>");
}

QStringList SplitLines(const QString& text) {
    QString unified = text;
    unified.replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
    unified.replace(QLatin1Char('\r'), QLatin1Char('\n'));
    QStringList lines = unified.split(QLatin1Char('\n'));
    // The text's final line break ends the last line; it does not open an empty one.
    if (!lines.isEmpty() && lines.last().isEmpty() && unified.endsWith(QLatin1Char('\n')))
        lines.removeLast();
    return lines;
}

QString Wrap(const QStringList& htmlLines, bool finalBreak) {
    QString html = QStringLiteral("<pre style=\"margin:0\">") + htmlLines.join(QLatin1Char('\n'));
    if (finalBreak)
        html += QLatin1Char('\n');
    return html + QStringLiteral("</pre>");
}

bool EndsWithBreak(const QString& text) {
    return text.endsWith(QLatin1Char('\n')) || text.endsWith(QLatin1Char('\r'));
}

// A group header: its first ":" ends the line.
bool IsGroupHeader(const QString& line) {
    const int colon = line.indexOf(QLatin1Char(':'));
    return colon >= 0 && colon == line.size() - 1;
}

} // namespace

QString BuildGeneralHtml(const QString& text) {
    const QStringList lines = SplitLines(text);
    QStringList html;
    for (int i = 0; i < lines.size(); ++i) {
        const QString& line = lines[i];
        if (i == 0) {
            html << Span(RichBannerColor, line, true);
        } else if (IsGroupHeader(line)) {
            html << Span(RichHeaderColor, line, true);
        } else if (line.startsWith(QLatin1Char('-'))) {
            html << Span(RichHeaderColor, line);
        } else if (const int sep = line.indexOf(QStringLiteral(": ")); sep >= 0) {
            html << Span(RichLabelColor, line.left(sep + 1)) + Span(RichValueColor, line.mid(sep + 1));
        } else {
            html << line.toHtmlEscaped();
        }
    }
    return Wrap(html, EndsWithBreak(text));
}

QString BuildCPUHtml(const QString& text) {
    // "RAX: 0000000000000000   RDI: ..." (values may be "????" without a context).
    static const QRegularExpression registerValue(QStringLiteral("([A-Z0-9]{2,4}: )([0-9A-F?]+)"));
    // "<stack address>: <value>   <memory address>: <bytes> <characters>"
    static const QRegularExpression dumpLine(
        QStringLiteral("^([0-9A-F]+: )([0-9A-F]+)(\\s+[0-9A-F]+: )((?:[0-9A-F]{2} )+)(.*)$"));
    const QStringList lines = SplitLines(text);
    QStringList html;
    bool inDump = false;
    for (int i = 0; i < lines.size(); ++i) {
        const QString& line = lines[i];
        if (line.isEmpty()) {
            html << QString();
        } else if (line.startsWith(QLatin1Char('-'))) {
            html << Span(RichHeaderColor, line);
            inDump = i > 1;
        } else if (!inDump &&
                   (i == 0 || IsGroupHeader(line.trimmed()) || line.trimmed().endsWith(QLatin1Char(':')))) {
            html << Span(RichHeaderColor, line, true);
        } else if (QRegularExpressionMatch m = dumpLine.match(line); inDump && m.hasMatch()) {
            html << Span(RichLabelColor, m.captured(1)) + Span(RichValueColor, m.captured(2)) +
                        Span(RichLabelColor, m.captured(3)) + Span(RichValueColor, m.captured(4)) +
                        Span(RichLabelColor, m.captured(5));
        } else if (!inDump) {
            QString out;
            int at = 0;
            for (auto it = registerValue.globalMatch(line); it.hasNext();) {
                const QRegularExpressionMatch r = it.next();
                out += Span(RichLabelColor, line.mid(at, r.capturedStart(2) - at));
                out += Span(RichValueColor, r.captured(2));
                at = r.capturedEnd(2);
            }
            html << out + Span(RichLabelColor, line.mid(at));
        } else {
            html << Span(RichLabelColor, line);
        }
    }
    return Wrap(html, EndsWithBreak(text));
}

} // namespace reporter
