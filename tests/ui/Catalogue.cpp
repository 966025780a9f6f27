#include "tests/ui/Catalogue.h"
#include <QDir>
#include <QFile>
#include <QRegularExpression>
#include <QXmlStreamReader>

namespace {

const QString kLiteral = QStringLiteral(R"("(?:[^"\\]|\\.)*")");

QString Unescape(QStringView quoted) {
    QString text;
    for (qsizetype i = 1; i + 1 < quoted.size(); ++i) {
        QChar c = quoted.at(i);
        if (c == QLatin1Char('\\') && i + 2 < quoted.size()) {
            c = quoted.at(++i);
            if (c == QLatin1Char('n'))
                c = QLatin1Char('\n');
            else if (c == QLatin1Char('t'))
                c = QLatin1Char('\t');
        }
        text += c;
    }
    return text;
}

// Joins the quoted literals of a run such as "a" "b".
QString JoinLiterals(const QString& run) {
    static const QRegularExpression literal(kLiteral);
    QString text;
    for (const QRegularExpressionMatch& m : literal.globalMatch(run))
        text += Unescape(m.capturedView());
    return text;
}

QString ReadText(const QString& path) {
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? QString::fromUtf8(file.readAll()) : QString();
}

} // namespace

QStringList SourceTexts(const QString& code) {
    static const QRegularExpression marked(
        QStringLiteral(R"((?<![A-Za-z0-9_])N?_\(\s*((?:%1\s*)+)\))").arg(kLiteral));
    QStringList texts;
    for (const QRegularExpressionMatch& m : marked.globalMatch(code))
        texts << JoinLiterals(m.captured(1));
    return texts;
}

QStringList FormTexts(const QString& uiXml) {
    QStringList texts;
    QXmlStreamReader xml(uiXml);
    while (!xml.atEnd()) {
        if (xml.readNext() != QXmlStreamReader::StartElement || xml.name() != QLatin1String("string"))
            continue;
        const bool kept = xml.attributes().value(QLatin1String("notr")) == QLatin1String("true");
        const QString text = xml.readElementText();
        if (!kept)
            texts << text;
    }
    return texts;
}

TTextSources ProgramTexts(const QString& root, const QStringList& folders) {
    TTextSources texts;
    for (const QString& folder : folders) {
        const QDir dir(root + QLatin1Char('/') + folder);
        for (const QString& name : dir.entryList(
                 {QStringLiteral("*.cpp"), QStringLiteral("*.h"), QStringLiteral("*.ui")}, QDir::Files)) {
            const QString code = ReadText(dir.filePath(name));
            const QStringList found =
                name.endsWith(QLatin1String(".ui")) ? FormTexts(code) : SourceTexts(code);
            for (const QString& text : found)
                texts[text].insert(folder + QLatin1Char('/') + name);
        }
    }
    return texts;
}

QMap<QString, QString> CatalogueEntries(const QString& poText) {
    static const QRegularExpression entry(
        QStringLiteral(R"(^msgid\s+((?:%1\s*)+)msgstr\s+((?:%1[ \t]*\n?)+))").arg(kLiteral),
        QRegularExpression::MultilineOption);
    QMap<QString, QString> entries;
    for (const QRegularExpressionMatch& m : entry.globalMatch(poText)) {
        const QString id = JoinLiterals(m.captured(1));
        const QString translation = JoinLiterals(m.captured(2));
        if (!id.isEmpty() && !translation.isEmpty())
            entries.insert(id, translation);
    }
    return entries;
}

QMap<QString, QString> KeptTexts(const QString& listText) {
    QMap<QString, QString> kept;
    for (const QString& line : listText.split(QLatin1Char('\n'))) {
        if (line.isEmpty() || line.startsWith(QLatin1Char('#')))
            continue;
        const qsizetype tab = line.indexOf(QLatin1Char('\t'));
        kept.insert(tab < 0 ? line : line.left(tab), tab < 0 ? QString() : line.mid(tab + 1).trimmed());
    }
    return kept;
}
