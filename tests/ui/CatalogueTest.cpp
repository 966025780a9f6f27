// The Portuguese catalogue against the program's texts: every text a user can see is translated or on the
// list of kept texts, and each translation keeps what the program joins or fills in.
#include "tests/ui/Catalogue.h"
#include "app/CatalogueLookup.h"
#include <QCoreApplication>
#include <QFile>
#include <QRegularExpression>
#include <gtest/gtest.h>

namespace {

const QString kRoot = QStringLiteral(VD_SOURCE_DIR);
// The folders whose texts the program shows (the reporter keeps its own texts).
const QStringList kFolders = {QStringLiteral("app"),      QStringLiteral("model"),
                              QStringLiteral("comm"),     QStringLiteral("inspector"),
                              QStringLiteral("classlib"), QStringLiteral("platform")};

QString Read(const QString& relative) {
    QFile file(kRoot + QLatin1Char('/') + relative);
    EXPECT_TRUE(file.open(QIODevice::ReadOnly)) << relative.toStdString();
    return QString::fromUtf8(file.readAll());
}

bool HasLetter(const QString& text) {
    return std::any_of(text.begin(), text.end(), [](QChar c) { return c.isLetter(); });
}

std::string Lines(const QStringList& lines) {
    return lines.join(QLatin1Char('\n')).toStdString();
}

// The compiled catalogue read backwards (damaged files are the fuzz target's).
TEST(Catalogue, ATranslationLeadsBackToItsSourceText) {
    const QString compiled =
        QCoreApplication::applicationDirPath() + QStringLiteral("/locale/pt_BR/LC_MESSAGES/default.mo");
    EXPECT_EQ(SourceOfTranslation(compiled, QString::fromUtf8("Busca concluída")), QStringLiteral("Find ok"));
    EXPECT_EQ(SourceOfTranslation(compiled, QStringLiteral("Find ok")),
              QString()); // a source is no translation
    EXPECT_EQ(SourceOfTranslation(compiled + QStringLiteral(".none"), QStringLiteral("Buscar")), QString());
}

TEST(Catalogue, ReadsMarkedTextsFormTextsAndEntries) {
    EXPECT_EQ(SourceTexts(QStringLiteral(R"(a = _("One"); b = N_("Tw" "o"); x_("no"); _(name); _("q\"t\n");)"
                                         R"( QStringLiteral("no"); __("no"))")),
              QStringList({"One", "Two", "q\"t\n"}));
    EXPECT_EQ(FormTexts(QStringLiteral(
                  "<ui><widget><property name=\"text\"><string>Yes &amp; no</string></property>"
                  "<property name=\"text\"><string notr=\"true\">Kept</string></property>"
                  "</widget></ui>")),
              QStringList({"Yes & no"}));
    const QMap<QString, QString> entries = CatalogueEntries(QStringLiteral(
        "msgid \"\"\nmsgstr \"\"\n\"Language: pt_BR\\n\"\n\n# comment\nmsgid \"A\"\n\"B\"\nmsgstr \"C\"\n"
        "\"D\"\n\nmsgid \"Empty\"\nmsgstr \"\"\n\nmsgid \"\\\"q\\\"\"\nmsgstr \"\\\"Q\\\"\"\n"));
    EXPECT_EQ(entries, (QMap<QString, QString>{{"AB", "CD"}, {"\"q\"", "\"Q\""}}));
    EXPECT_EQ(KeptTexts(QStringLiteral("# note\nOK\tsame word\nBare\n")),
              (QMap<QString, QString>{{"OK", "same word"}, {"Bare", ""}}));
}

class PortugueseCatalogue : public ::testing::Test {
protected:
    const TTextSources texts = ProgramTexts(kRoot, kFolders);
    const QMap<QString, QString> entries =
        CatalogueEntries(Read(QStringLiteral("resources/po/default/pt_BR.po")));
    const QMap<QString, QString> kept = KeptTexts(Read(QStringLiteral("resources/po/KeptTexts.txt")));
};

TEST_F(PortugueseCatalogue, EveryTextAUserSeesIsTranslatedOrKept) {
    ASSERT_GT(texts.size(), 200) << "the sources were not found below " << kRoot.toStdString();
    QStringList missing;
    for (auto it = texts.cbegin(); it != texts.cend(); ++it)
        if (HasLetter(it.key()) && !entries.contains(it.key()) && !kept.contains(it.key()))
            missing << QStringLiteral("\"%1\" (%2)")
                           .arg(it.key(), QStringList(it->cbegin(), it->cend()).join(", "));
    EXPECT_TRUE(missing.isEmpty()) << "no Portuguese for:\n" << Lines(missing);
}

TEST_F(PortugueseCatalogue, KeptTextsAreTextsOfTheProgramEachWithItsReason) {
    ASSERT_FALSE(kept.isEmpty());
    for (auto it = kept.cbegin(); it != kept.cend(); ++it) {
        EXPECT_TRUE(texts.contains(it.key()))
            << "kept but no longer in the program: " << it.key().toStdString();
        EXPECT_FALSE(it->isEmpty()) << "kept without a reason: " << it.key().toStdString();
        EXPECT_FALSE(entries.contains(it.key())) << "kept and translated: " << it.key().toStdString();
    }
}

// The program joins texts to numbers and fills in %1..%n, so a translation keeps the placeholders, the
// blanks at either end and its one mnemonic mark.
TEST_F(PortugueseCatalogue, TranslationsKeepPlaceholdersEdgeBlanksAndMnemonics) {
    ASSERT_GT(entries.size(), 200);
    static const QRegularExpression placeholder(QStringLiteral("%[0-9]"));
    const auto placeholders = [](const QString& text) {
        QStringList found;
        for (const QRegularExpressionMatch& m : placeholder.globalMatch(text))
            found << m.captured();
        found.sort();
        return found;
    };
    QStringList faults;
    for (auto it = entries.cbegin(); it != entries.cend(); ++it) {
        const QString& id = it.key();
        const QString& text = *it;
        if (placeholders(id) != placeholders(text))
            faults << QStringLiteral("placeholders: \"%1\" -> \"%2\"").arg(id, text);
        if (id.startsWith(QLatin1Char(' ')) != text.startsWith(QLatin1Char(' ')) ||
            id.endsWith(QLatin1Char(' ')) != text.endsWith(QLatin1Char(' ')))
            faults << QStringLiteral("edge blanks: \"%1\" -> \"%2\"").arg(id, text);
        if (id.count(QLatin1Char('&')) != text.count(QLatin1Char('&')))
            faults << QStringLiteral("mnemonic: \"%1\" -> \"%2\"").arg(id, text);
    }
    EXPECT_TRUE(faults.isEmpty()) << Lines(faults);
}

} // namespace
