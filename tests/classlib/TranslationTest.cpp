// The translation layer against catalogues compiled at build time: language listing and switching,
// resource strings, and the window walk with its memory of source texts and its exclusions.
#include "classlib/Translation.h"
#include <QAction>
#include <QComboBox>
#include <QDialog>
#include <QDir>
#include <QFile>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QTabWidget>
#include <QTemporaryDir>
#include <gtest/gtest.h>
#include <sys/stat.h>

namespace {

// A component with the class library's property names.
class TTestInspector : public QWidget {
    Q_OBJECT
    Q_PROPERTY(QString Hint MEMBER m_hint)
    Q_PROPERTY(QString Caption MEMBER m_caption)

public:
    QString m_hint = QStringLiteral("Tip");
    QString m_caption = QStringLiteral("Network");
};

class TTestFont : public QObject {
    Q_OBJECT
    Q_PROPERTY(QString Text MEMBER m_text)

public:
    using QObject::QObject;
    QString m_text = QStringLiteral("Search");
};

class TranslationTest : public ::testing::Test {
protected:
    void SetUp() override {
        m_oldFolder = TextDomainFolder();
        BindTextDomainFolder(QStringLiteral(VD_TEST_LOCALE_DIR));
        BindTextDomainFolder("vdtestrtl", QStringLiteral(VD_TEST_LOCALE_DIR));
    }
    // Later tests see the source texts again.
    void TearDown() override {
        UseLanguage(QString());
        BindTextDomainFolder(m_oldFolder);
    }

    QString m_oldFolder;
};

TEST_F(TranslationTest, ListsTheLanguagesThatHaveACatalogueOfTheDomain) {
    EXPECT_EQ(GetListOfLanguages(), (QStringList{"de_DE", "pt_BR"}));
    EXPECT_EQ(GetListOfLanguages("vdtestrtl"), QStringList{"pt_BR"});

    // A folder without the domain's catalogue, or a plain file, is no language.
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    QDir(dir.path()).mkpath(QStringLiteral("it/LC_MESSAGES"));
    QDir(dir.path()).mkpath(QStringLiteral("fr/LC_MESSAGES"));
    ASSERT_TRUE(QFile::copy(QStringLiteral(VD_TEST_LOCALE_DIR "/pt_BR/LC_MESSAGES/default.mo"),
                            dir.filePath(QStringLiteral("fr/LC_MESSAGES/vdlisttest.mo"))));
    QFile plain(dir.filePath(QStringLiteral("es")));
    ASSERT_TRUE(plain.open(QIODevice::WriteOnly));
    plain.close();
    BindTextDomainFolder("vdlisttest", dir.path());
    EXPECT_EQ(GetListOfLanguages("vdlisttest"), QStringList{"fr"});
}

TEST_F(TranslationTest, SwitchingTheLanguageTranslatesTheSameTextAfresh) {
    UseLanguage(QStringLiteral("pt_BR"));
    EXPECT_EQ(GetCurrentLanguage(), QStringLiteral("pt_BR"));
    EXPECT_EQ(_("Search"), QStringLiteral("Buscar"));
    UseLanguage(QStringLiteral("de_DE"));
    EXPECT_EQ(_("Search"), QStringLiteral("Suchen"));
    EXPECT_EQ(_(QStringLiteral("Network")), QStringLiteral("Netz"));
    // A language without a catalogue shows the source texts.
    UseLanguage(QStringLiteral("xx"));
    EXPECT_EQ(_("Search"), QStringLiteral("Search"));
    EXPECT_EQ(_(""), QString());
}

// gettext would wait for ever on a FIFO where a catalogue should be: such a language shows the source
// texts, and so does a language whose catalogues are all regular files but for one of its fallbacks.
TEST_F(TranslationTest, ACatalogueThatIsNoRegularFileIsNotOpened) {
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    for (const char* language : {"it_IT", "fr", "es"})
        ASSERT_TRUE(QDir(dir.path()).mkpath(QLatin1String(language) + QLatin1String("/LC_MESSAGES")));
    ASSERT_EQ(mkfifo(QFile::encodeName(dir.filePath("it_IT/LC_MESSAGES/default.mo")).constData(), 0644), 0);
    ASSERT_EQ(mkfifo(QFile::encodeName(dir.filePath("fr/LC_MESSAGES/default.mo")).constData(), 0644), 0);
    ASSERT_TRUE(QDir(dir.path()).mkpath(QStringLiteral("es/LC_MESSAGES/default.mo")));
    BindTextDomainFolder(dir.path());
    EXPECT_EQ(GetListOfLanguages(), QStringList());
    for (const char* language : {"it_IT", "fr_CA", "es"}) {
        UseLanguage(QLatin1String(language));
        EXPECT_EQ(_("Search"), QStringLiteral("Search")) << language;
    }
}

TEST_F(TranslationTest, ResourceStringsFallBackToTheAddedDomains) {
    UseLanguage(QStringLiteral("pt_BR"));
    EXPECT_EQ(LoadResString("Error"), QStringLiteral("Error"));
    AddDomainForResourceString("vdtestrtl");
    EXPECT_EQ(LoadResString("Error"), QStringLiteral("Erro"));
    EXPECT_EQ(LoadResString("Search"), QStringLiteral("Buscar")); // "default" first
    EXPECT_EQ(LoadResString("Nowhere"), QStringLiteral("Nowhere"));
    EXPECT_EQ(_("Error"), QStringLiteral("Error")); // _ stays on "default"
}

TEST_F(TranslationTest, WithoutAChoiceTheSystemNamesTheLanguage) {
    const QByteArray names[] = {"LANGUAGE", "LC_ALL", "LC_MESSAGES", "LANG"};
    QByteArray saved[4];
    for (int i = 0; i < 4; ++i)
        saved[i] = qgetenv(names[i].constData());
    auto setAll = [&](const char* language, const char* all, const char* messages, const char* lang) {
        const char* values[] = {language, all, messages, lang};
        for (int i = 0; i < 4; ++i)
            qputenv(names[i].constData(), values[i]);
    };
    UseLanguage(QString());
    setAll("", "", "de_AT.UTF-8@euro", "fr_FR.UTF-8");
    EXPECT_EQ(GetCurrentLanguage(), "de_AT");
    setAll("C:pt_BR:de", "C.UTF-8", "", "");
    EXPECT_EQ(GetCurrentLanguage(), "pt_BR");
    setAll("", "C.UTF-8", "POSIX", "C");
    EXPECT_EQ(GetCurrentLanguage(), "en");
    UseLanguage(QStringLiteral("de_DE"));
    EXPECT_EQ(GetCurrentLanguage(), "de_DE");
    for (int i = 0; i < 4; ++i)
        saved[i].isEmpty() ? qunsetenv(names[i].constData()) : qputenv(names[i].constData(), saved[i]);
}

TEST(NextLanguage, CyclesThroughTheListAndWraps) {
    const QStringList list{"de_DE", "en_US", "pt_BR"};
    EXPECT_EQ(NextLanguage(list, "de_DE"), "en_US");
    EXPECT_EQ(NextLanguage(list, "PT_br"), "de_DE");
    EXPECT_EQ(NextLanguage(list, "fr"), "de_DE");
    EXPECT_EQ(NextLanguage(list, QString()), "de_DE");
    EXPECT_EQ(NextLanguage({}, "de_DE"), QString());
}

TEST_F(TranslationTest, WalkTranslatesTextPropertiesItemsAndTabs) {
    UseLanguage(QStringLiteral("pt_BR"));
    QWidget window;
    window.setWindowTitle(QStringLiteral("Window"));
    auto* label = new QLabel(QStringLiteral("Network"), &window);
    label->setToolTip(QStringLiteral("Tip"));
    auto* unknown = new QLabel(QStringLiteral("Not in the catalogue"), &window);
    auto* edit = new QLineEdit(QStringLiteral("Search"), &window);
    edit->setPlaceholderText(QStringLiteral("Type here"));
    auto* box = new QGroupBox(QStringLiteral("Network"), &window);
    auto* combo = new QComboBox(box);
    combo->addItems({"First", "Second", "Third"});
    auto* list = new QListWidget(&window);
    list->addItems({"Second"});
    auto* tabs = new QTabWidget(&window);
    tabs->addTab(new QWidget, QStringLiteral("Tab"));
    auto* action = new QAction(QStringLiteral("Search"), &window);

    TranslateComponent(&window);
    EXPECT_EQ(window.windowTitle(), "Janela");
    EXPECT_EQ(label->text(), "Rede");
    EXPECT_EQ(label->toolTip(), "Dica");
    EXPECT_EQ(unknown->text(), "Not in the catalogue");
    EXPECT_EQ(edit->text(), "Search"); // the user's input
    EXPECT_EQ(edit->placeholderText(), "Digite aqui");
    EXPECT_EQ(box->title(), "Rede");
    EXPECT_EQ(combo->itemText(0), "Primeiro");
    EXPECT_EQ(combo->itemText(2), "Third");
    EXPECT_EQ(list->item(0)->text(), "Segundo");
    EXPECT_EQ(tabs->tabText(0), "Aba");
    EXPECT_EQ(action->text(), "Buscar");
    EXPECT_EQ(TranslationSource(label, "text"), "Network");

    // Translating again in the same language changes nothing.
    TranslateComponent(&window);
    EXPECT_EQ(label->text(), "Rede");
    EXPECT_EQ(combo->itemText(1), "Segundo");

    UseLanguage(QStringLiteral("de_DE"));
    RetranslateComponent(&window);
    EXPECT_EQ(window.windowTitle(), "Fenster");
    EXPECT_EQ(label->text(), "Netz");
    EXPECT_EQ(label->toolTip(), "Hinweis");
    EXPECT_EQ(box->title(), "Netz");
    EXPECT_EQ(combo->itemText(0), "Erstes");
    EXPECT_EQ(list->item(0)->text(), "Zweites");
    EXPECT_EQ(tabs->tabText(0), "Reiter");
    EXPECT_EQ(action->text(), "Suchen");
    EXPECT_EQ(TranslationSource(label, "text"), "Network");

    // Back to a language without a catalogue: the source texts return.
    UseLanguage(QStringLiteral("xx"));
    RetranslateComponent(&window);
    EXPECT_EQ(label->text(), "Network");
    EXPECT_EQ(combo->itemText(0), "First");
}

TEST_F(TranslationTest, TextsTheProgramSetsAndObjectsAddedLaterJoinTheWalk) {
    UseLanguage(QStringLiteral("pt_BR"));
    QWidget window;
    auto* label = new QLabel(QStringLiteral("Network"), &window);
    auto* combo = new QComboBox(&window);
    combo->addItem(QStringLiteral("First"));
    TranslateComponent(&window);
    ASSERT_EQ(label->text(), "Rede");

    // The program sets a new (untranslated) text; a new item and a new control appear.
    label->setText(QStringLiteral("Search"));
    combo->addItem(QStringLiteral("Second"));
    auto* later = new QLabel(QStringLiteral("Tip"), &window);
    UseLanguage(QStringLiteral("de_DE"));
    RetranslateComponent(&window);
    EXPECT_EQ(label->text(), "Suchen");
    EXPECT_EQ(TranslationSource(label, "text"), "Search");
    EXPECT_EQ(combo->itemText(0), "Erstes");
    EXPECT_EQ(combo->itemText(1), "Zweites");
    EXPECT_EQ(later->text(), "Hinweis");

    // An object's memory goes with it.
    delete later;
    auto* again = new QLabel(QStringLiteral("Window"), &window);
    EXPECT_EQ(TranslationSource(again, "text"), QString());
}

TEST_F(TranslationTest, ExcludedClassesPropertiesAndOwnedWindowsAreLeftAlone) {
    IgnoreClass("TTestFont");
    IgnoreClassProperty("TTestInspector", "Hint");
    UseLanguage(QStringLiteral("pt_BR"));
    QWidget window;
    auto* inspector = new TTestInspector;
    inspector->setParent(&window);
    inspector->setToolTip(QStringLiteral("Tip"));
    auto* font = new TTestFont(&window);
    auto* belowFont = new QAction(QStringLiteral("Search"), font);
    auto* dialog = new QDialog(&window);
    dialog->setWindowTitle(QStringLiteral("Window"));
    auto* dialogLabel = new QLabel(QStringLiteral("Network"), dialog);

    TranslateComponent(&window);
    EXPECT_EQ(inspector->m_hint, "Tip");
    EXPECT_EQ(inspector->m_caption, "Rede");
    EXPECT_EQ(inspector->toolTip(), "Dica");
    EXPECT_EQ(font->m_text, "Search");
    EXPECT_EQ(belowFont->text(), "Search");
    EXPECT_EQ(dialog->windowTitle(), "Window");
    EXPECT_EQ(dialogLabel->text(), "Network");

    // The owned window is a translation unit of its own.
    TranslateComponent(dialog);
    EXPECT_EQ(dialog->windowTitle(), "Janela");
    EXPECT_EQ(dialogLabel->text(), "Rede");
}

} // namespace

#include "TranslationTest.moc"
