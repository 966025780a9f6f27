// The program's language: the start-up choice from the registry value "lang" or the system, the Language
// button cycling through the catalogues, and which windows follow a switch when.
#include "app/Language.h"
#include "app/CommConfig.h"
#include "app/Find.h"
#include "app/Form7610_24.h"
#include "app/Log.h"
#include "app/RadioGroup.h"
#include "app/StatusBar.h"
#include "app/UnitAbout.h"
#include "app/UnitSplash.h"
#include "classlib/StringGrid.h"
#include "tests/support/LayoutCheck.h"
#include "tests/ui/UiFixture.h"
#include "ui_CommConfig.h"
#include "ui_Find.h"
#include "ui_Form7610_24.h"
#include "ui_Log.h"
#include "ui_UnitAbout.h"
#include "ui_UnitSplash.h"
#include <QLineEdit>
#include <QMenu>

namespace {

class Language : public UiFixture {
protected:
    QString SearchCaption() const { return Ui().toolbtnSearch->text(); }
};

TEST_F(Language, TheCataloguesBesideTheProgramAreTheLanguageList) {
    StartIn(QStringLiteral("pt_BR"));
    EXPECT_EQ(LanguageList, QStringList({"en_US", "pt_BR"}));
}

TEST_F(Language, WithoutLangTheSystemLanguageIsUsed) {
    qputenv("LANGUAGE", "pt_BR");
    StartIn(QString());
    EXPECT_EQ(CurrentLanguage, QStringLiteral("pt_BR"));
    EXPECT_EQ(SearchCaption(), QStringLiteral("Buscar"));
}

// With nothing saved, the first press shows the other language whatever the system names: a language
// without a catalogue is shown in the program's own English texts.
TEST_F(Language, TheFirstPressWithNoSavedLanguageSwitches) {
    const struct {
        const char* system;
        const char* afterPress;
    } cases[] = {{"en", "Buscar"}, {"de_DE", "Buscar"}, {"pt", "Buscar"}, {"pt_BR.UTF-8", "Search"}};
    for (const auto& c : cases) {
        qputenv("LANGUAGE", c.system);
        StartIn(QString());
        const QString before = SearchCaption();
        Ui().toolbtnLanguage->click();
        EXPECT_NE(SearchCaption(), before) << c.system;
        EXPECT_EQ(SearchCaption(), QLatin1String(c.afterPress)) << c.system;
        app.Stop();
        UseLanguage(QString());
    }
}

// The About window and the status bar change language with the program, in both directions; Qt's own
// texts (an edit field's menu) too.
TEST_F(Language, AboutTheStatusBarAndQtsOwnTextsFollowASwitch) {
    StartIn(QStringLiteral("en_US"));
    FormMain->show();
    TStringGrid* grid = FormAbout->ui().sgVexaDaxoSoft;
    QLineEdit edit;
    const struct {
        const char* language;
        const char* version;
        const char* header;
        const char* parity;
        const char* undo;
        const char* lastResult;
    } cases[] = {{"pt_BR", "Versão ", "Nome|Versão |Caminho", ",Nenhuma", "&Desfazer", "Busca concluída"},
                 {"en_US", "Version ", "Name|Version |Path", ",None", "&Undo", "Find ok"}};
    FormMain->StatusBarDaxo()->SetPanelText(3, _("Find ok"));
    for (const auto& c : cases) {
        Ui().toolbtnLanguage->click();
        ASSERT_EQ(CurrentLanguage, QLatin1String(c.language));
        EXPECT_EQ(FormMain->StatusBarDaxo()->PanelText(3), QString::fromUtf8(c.lastResult));
        EXPECT_TRUE(FormMain->StatusBarDaxo()->PanelText(2).endsWith(QString::fromUtf8(c.parity)))
            << FormMain->StatusBarDaxo()->PanelText(2).toStdString();
        FormAbout->show();
        EXPECT_TRUE(FormAbout->ui().lbVersion->text().startsWith(QString::fromUtf8(c.version))) << c.language;
        EXPECT_TRUE(FormAbout->ui().lbVer->text().startsWith(QString::fromUtf8(c.version))) << c.language;
        EXPECT_EQ(
            QStringList({grid->Cells(0, 0), grid->Cells(1, 0), grid->Cells(2, 0)}).join(QLatin1Char('|')),
            QString::fromUtf8(c.header));
        const QStringList problems = CheckSettledWidgetTree(*FormAbout);
        EXPECT_TRUE(problems.isEmpty()) << problems.join(QLatin1Char('\n')).toStdString();
        Shot(QStringLiteral("about-after-switch-") + QLatin1String(c.language), FormAbout);
        FormAbout->hide();
        const std::unique_ptr<QMenu> menu(edit.createStandardContextMenu());
        ASSERT_FALSE(menu->actions().isEmpty());
        EXPECT_EQ(menu->actions().first()->text().section(QLatin1Char('\t'), 0, 0), QLatin1String(c.undo));
    }
}

TEST_F(Language, LangWithACatalogueIsUsedFromTheFirstWindowOn) {
    StartIn(QStringLiteral("pt_BR"));
    EXPECT_EQ(CurrentLanguage, QStringLiteral("pt_BR"));
    EXPECT_EQ(SearchCaption(), QStringLiteral("Buscar"));
    // The windows created after the main window are translated on create, before any show.
    EXPECT_EQ(FormFindSlave->windowTitle(), QStringLiteral("Busca de I/Os remotos"));
    EXPECT_EQ(FormCommunicationConfig->ui().rgConnection->title(), QStringLiteral("Conexão"));
    EXPECT_EQ(_("End of Calibration."), QStringLiteral("Fim da calibração."));
}

TEST_F(Language, LangWithoutACatalogueShowsTheProgramsOwnTextsAndTheButtonStartsAtTheFirst) {
    StartIn(QStringLiteral("de_DE"));
    EXPECT_EQ(CurrentLanguage, QStringLiteral("de_DE"));
    EXPECT_EQ(SearchCaption(), QStringLiteral("Search"));
    Ui().toolbtnLanguage->click();
    EXPECT_EQ(CurrentLanguage, QStringLiteral("en_US"));
    EXPECT_EQ(SearchCaption(), QStringLiteral("Search"));
    Ui().toolbtnLanguage->click();
    EXPECT_EQ(CurrentLanguage, QStringLiteral("pt_BR"));
    EXPECT_EQ(SearchCaption(), QStringLiteral("Buscar"));
}

TEST_F(Language, TheButtonCyclesInListOrderAndWrapsNeverWritingTheRegistry) {
    StartIn(QStringLiteral("PT_br")); // the list is searched without regard to case
    ASSERT_EQ(LanguageList.size(), 2);
    const QStringList expected{"en_US", "pt_BR", "en_US"};
    const QStringList captions{"Search", "Buscar", "Search"};
    for (int i = 0; i < expected.size(); ++i) {
        Ui().toolbtnLanguage->click();
        EXPECT_EQ(CurrentLanguage, expected.at(i)) << i;
        EXPECT_EQ(SearchCaption(), captions.at(i)) << i;
    }
    EXPECT_EQ(RegistryLanguage(), QStringLiteral("PT_br"));
}

// Part of the table of which window follows a switch when: the main window at once; the settings, search
// and About dialogs and the meter view when shown next; the log window never.
TEST_F(Language, WindowsFollowASwitchWhenTheyAreShown) {
    StartIn(QStringLiteral("en_US"));
    FormMain->show();
    TFormDev7610BR meter;
    Ui().toolbtnLanguage->click();
    ASSERT_EQ(CurrentLanguage, QStringLiteral("pt_BR"));
    EXPECT_EQ(SearchCaption(), QStringLiteral("Buscar"));

    EXPECT_EQ(FormCommunicationConfig->ui().rgConnection->title(), QStringLiteral("Connection"));
    FormCommunicationConfig->show();
    EXPECT_EQ(FormCommunicationConfig->ui().rgConnection->title(), QStringLiteral("Conexão"));
    FormCommunicationConfig->hide();

    EXPECT_EQ(FormFindSlave->ui().gbFindOptions->title(), QStringLiteral("Search options"));
    FormFindSlave->show();
    EXPECT_EQ(FormFindSlave->ui().gbFindOptions->title(), QStringLiteral("Opções de busca"));
    FormFindSlave->hide();

    EXPECT_EQ(FormAbout->windowTitle(), QStringLiteral("About Vexa Daxo Soft"));
    FormAbout->show();
    EXPECT_EQ(FormAbout->windowTitle(), QStringLiteral("Sobre o Vexa Daxo Soft"));
    FormAbout->hide();

    EXPECT_EQ(meter.ui().gbLine1->title(), QStringLiteral(" Line 1"));
    meter.show();
    EXPECT_EQ(meter.ui().gbLine1->title(), QStringLiteral(" Linha 1"));

    FormLog->show();
    EXPECT_EQ(FormLog->ui().btnLimpar->text(), QStringLiteral("&Clear"));
    FormLog->hide();

    TFormSplash splash; // translated when created, in the language of that moment
    EXPECT_EQ(splash.ui().lbMessage->text(), QStringLiteral("Carregando..."));
}

} // namespace
