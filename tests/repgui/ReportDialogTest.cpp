// The report dialog filled from a fixed report: forms, tabs and pages, buttons and check boxes, the
// layout it keeps, the timers.
#include "ReportFixture.h"

#include "reporter/gui/OReportDialog.h"
#include "reporter/gui/OReportPages.h"
#include "reporter/gui/OSendDialog.h"

#include <QCheckBox>
#include <QLabel>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QSignalSpy>
#include <QTabBar>
#include <QTest>
#include <QTextBlock>
#include <QTextEdit>
#include <QTimer>
#include <QTreeWidget>
#include <gtest/gtest.h>

using namespace reporter;
using namespace repgui;

namespace {

struct TDialogFixture : ::testing::Test {
    TDialogFixture() { layoutFile = dir.filePath("OstrelLog.ini"); }

    std::unique_ptr<TReportDialog> Make() {
        report.Refresh();
        auto dialog = std::make_unique<TReportDialog>(report.Content, state, layoutFile);
        dialog->OpenUrl = [this](const QString& url) { openedUrls << url; };
        return dialog;
    }

    QStringList TabTexts(const TReportDialog& d) const {
        QStringList texts;
        for (int i = 0; i < d.Tabs()->count(); ++i)
            texts << d.Tabs()->tabText(i);
        return texts;
    }

    QTemporaryDir dir;
    QString layoutFile;
    TFixedReport report;
    TReportDialogState state;
    QStringList openedUrls;
};

// The report pages' colours: banner, labels, headers and rules, values.
const QColor RichBannerColor(0, 100, 100);
const QColor RichLabelColor(0, 0, 0);
const QColor RichHeaderColor(40, 40, 40);
const QColor RichValueColor(0, 0, 160);

QColor ColorAt(QTextEdit* edit, int position) {
    QTextCursor cursor(edit->document());
    cursor.setPosition(position + 1);
    return cursor.charFormat().foreground().color();
}

} // namespace

TEST_F(TDialogFixture, TabsFollowTheOptionsAndEachPageShowsItsPart) {
    report.Options.SetDialogFlags(0x1F | 0x20); // details form
    report.Options.SetLogFlags(0x30);
    auto dialog = Make();
    EXPECT_EQ(dialog->windowTitle(), "Error.");
    EXPECT_EQ(TabTexts(*dialog), (QStringList{"General", "Call Stack", "Modules", "CPU", "Other"}));
    EXPECT_TRUE(dialog->DetailsShown());
    EXPECT_EQ(dialog->MessageLine()->text().toStdString(), report.Options.GetText(3));

    // General: the text as it is, values dark blue, labels black, headers dark grey.
    ASSERT_EQ(dialog->CurrentPage()->Page(), int(rpGeneral));
    auto* general = qobject_cast<QTextEdit*>(dialog->CurrentPage()->Control());
    ASSERT_NE(general, nullptr);
    const QString plain = general->toPlainText();
    EXPECT_EQ(plain.trimmed(), QString(GeneralText).replace("\r\n", "\n").trimmed());
    EXPECT_EQ(ColorAt(general, int(plain.indexOf("vexadaxo \\ tool"))), RichValueColor);
    EXPECT_EQ(ColorAt(general, int(plain.indexOf("Name/Desc {x}"))), RichLabelColor);
    EXPECT_EQ(ColorAt(general, int(plain.indexOf("Application:"))), RichHeaderColor);
    EXPECT_EQ(ColorAt(general, 0), RichBannerColor);
    EXPECT_EQ(dialog->CurrentPage()->Heading()->text(), "General Information");

    // Call stack: one item per row, the header captions as texts.
    dialog->Tabs()->setCurrentIndex(1);
    auto* stack = qobject_cast<TListPage*>(dialog->CurrentPage());
    ASSERT_NE(stack, nullptr);
    EXPECT_EQ(stack->Heading()->text(), "Call Stack Information");
    ASSERT_EQ(stack->List()->topLevelItemCount(), 8);
    EXPECT_EQ(stack->List()->headerItem()->text(4), "Procedure/Method");
    EXPECT_EQ(stack->List()->topLevelItem(0)->text(0), "Exception Thread: ID=4194400; Priority=0; [Main]");
    EXPECT_EQ(stack->List()->topLevelItem(1)->text(5), "120[3]");
    EXPECT_TRUE(stack->List()->topLevelItem(7)->text(0).endsWith("0000000000403000"));
    EXPECT_EQ(stack->Store().Items(7).Indented, 1);

    // Modules: columns Modified and Path in that order.
    dialog->Tabs()->setCurrentIndex(2);
    auto* modules = qobject_cast<TListPage*>(dialog->CurrentPage());
    ASSERT_NE(modules, nullptr);
    ASSERT_EQ(modules->List()->topLevelItemCount(), 2);
    EXPECT_EQ(modules->List()->headerItem()->text(5), "Modified");
    EXPECT_EQ(modules->List()->headerItem()->text(6), "Path");
    EXPECT_EQ(modules->List()->topLevelItem(0)->text(1), "vexadaxo");
    EXPECT_EQ(modules->List()->topLevelItem(0)->text(3), "1.2.x");
    EXPECT_EQ(modules->List()->topLevelItem(0)->text(4), "2 Kb");
    EXPECT_EQ(modules->List()->topLevelItem(0)->text(6), "/opt/vexadaxo");
    EXPECT_EQ(modules->Store().Items(0).Image, 2);

    // CPU: register values and dumped bytes dark blue, the characters black.
    dialog->Tabs()->setCurrentIndex(3);
    auto* cpu = qobject_cast<QTextEdit*>(dialog->CurrentPage()->Control());
    ASSERT_NE(cpu, nullptr);
    const QString cpuText = cpu->toPlainText();
    EXPECT_EQ(cpuText.trimmed(),
              QString::fromStdString(report.Content.CPUText).replace("\r\n", "\n").trimmed());
    EXPECT_EQ(ColorAt(cpu, int(cpuText.indexOf("00000000000000FF"))), RichValueColor);
    EXPECT_EQ(ColorAt(cpu, int(cpuText.indexOf("RAX"))), RichLabelColor);
    const int dumpLine = int(cpuText.indexOf("00007FFC00000000: "));
    ASSERT_GE(dumpLine, 0);
    const int bytes = int(cpuText.indexOf("0000000000401000: ", dumpLine)) + 18;
    EXPECT_EQ(ColorAt(cpu, bytes), RichValueColor);
    EXPECT_EQ(ColorAt(cpu, int(cpuText.indexOf("\n", bytes)) - 3), RichLabelColor);
    EXPECT_EQ(ColorAt(cpu, int(cpuText.indexOf("Memory Dump"))), RichHeaderColor);

    // Other: the custom data as plain text.
    dialog->Tabs()->setCurrentIndex(4);
    auto* custom = qobject_cast<QPlainTextEdit*>(dialog->CurrentPage()->Control());
    ASSERT_NE(custom, nullptr);
    EXPECT_EQ(custom->toPlainText(), "Operator: night shift");
    EXPECT_EQ(dialog->CurrentPage()->Heading()->text(), "Other Information");
}

TEST_F(TDialogFixture, HiddenTabsShiftThePagesAndTheFirstPageFollowsTheSetting) {
    report.Options.SetLogFlags(0x20); // no modules
    report.Options.SetDialogTabSetting(3);
    auto dialog = Make();
    EXPECT_EQ(TabTexts(*dialog), (QStringList{"General", "Call Stack", "CPU", "Other"}));
    EXPECT_EQ(dialog->CurrentPage()->Page(), int(rpCPU));
    EXPECT_EQ(dialog->Tabs()->currentIndex(), 2);
    dialog->Tabs()->setCurrentIndex(3);
    EXPECT_EQ(dialog->CurrentPage()->Page(), int(rpCustomData));

    report.Content.CustomDataText.clear();
    report.Options.SetDialogTabSetting(4);
    auto plain = Make();
    EXPECT_EQ(TabTexts(*plain), (QStringList{"General", "Call Stack", "CPU"}));
    EXPECT_EQ(plain->CurrentPage()->Page(), int(rpGeneral));
}

TEST_F(TDialogFixture, CheckBoxesFollowAvailabilityAndThePreviousChoices) {
    report.Options.SetDialogFlags(0x10);
    report.Options.SetSupportPageURL("");
    auto bare = Make();
    EXPECT_EQ(bare->BottomHeight(), 0);
    EXPECT_TRUE(bare->SendBox()->isHidden());
    EXPECT_TRUE(bare->ScreenshotBox()->isHidden());
    EXPECT_TRUE(bare->ClipboardBox()->isHidden());
    EXPECT_TRUE(bare->SupportLink()->isHidden());

    report.Options.SetDialogFlags(0x1F);
    report.Options.SetMailSendMode(2);
    state.SendChecked = true;
    state.ScreenshotChecked = true;
    auto full = Make();
    // Two rows of check boxes, 16 pixels each at the least, whole under the buttons down to the bottom.
    const int row = std::max(16, full->SendBox()->sizeHint().height());
    EXPECT_EQ(full->BottomHeight(), 2 * row + 2);
    full->show();
    EXPECT_EQ(full->ScreenshotBox()->geometry().bottom(), full->height() - 1);
    EXPECT_EQ(full->ScreenshotBox()->height(), row);
    EXPECT_EQ(full->SendBox()->geometry().bottom() + 1, full->ScreenshotBox()->geometry().top());
    EXPECT_GT(full->SendBox()->geometry().top(), full->OkButton()->geometry().bottom());
    EXPECT_FALSE(full->SendBox()->isHidden());
    EXPECT_TRUE(full->SendBox()->isChecked());
    EXPECT_TRUE(full->ScreenshotBox()->isChecked());
    EXPECT_TRUE(full->ScreenshotBox()->isEnabled());
    EXPECT_FALSE(full->ClipboardBox()->isChecked());
    EXPECT_EQ(full->SendBox()->text(), "&Send this error via Internet");
    full->SendBox()->click();
    EXPECT_FALSE(full->ScreenshotBox()->isEnabled());
    full->ClipboardBox()->click();
    full->OkButton()->click();
    EXPECT_FALSE(state.SendChecked);
    EXPECT_TRUE(state.ScreenshotChecked);
    EXPECT_TRUE(state.ClipboardChecked);
    EXPECT_FALSE(state.TerminateRequested);

    // A duplicate is not sent: no send or screenshot boxes.
    report.Content.Duplicate = true;
    auto duplicate = Make();
    EXPECT_TRUE(duplicate->SendBox()->isHidden());
    EXPECT_TRUE(duplicate->ScreenshotBox()->isHidden());
    EXPECT_FALSE(duplicate->ClipboardBox()->isHidden());

    // The options can keep the previous choice from checking the box.
    report.Content.Duplicate = false;
    report.Options.SetDialogFlags(0x1F & ~0x02);
    state.SendChecked = true;
    EXPECT_FALSE(Make()->SendBox()->isChecked());
}

TEST_F(TDialogFixture, TerminateShowsAfterTheCountLimitAndRequestsTermination) {
    report.Options.SetDialogCountLimit(3);
    report.Content.ReportsShown = 3;
    EXPECT_TRUE(Make()->TerminateButton()->isHidden());
    report.Content.ReportsShown = 4;
    report.Options.SetTerminateAction(0);
    auto dialog = Make();
    EXPECT_FALSE(dialog->TerminateButton()->isHidden());
    EXPECT_EQ(dialog->TerminateButton()->text(), "&Terminate");
    report.Options.SetDialogCountCheck(false);
    EXPECT_TRUE(Make()->TerminateButton()->isHidden());
    report.Options.SetDialogCountCheck(true);
    report.Options.SetTerminateAction(1);
    EXPECT_EQ(Make()->TerminateButton()->text(), "&Restart");

    QSignalSpy finished(dialog.get(), &QDialog::finished);
    dialog->TerminateButton()->click();
    EXPECT_EQ(finished.count(), 1);
    EXPECT_TRUE(state.TerminateRequested);
}

TEST_F(TDialogFixture, DetailsToggleSwitchesFormsAndKeepsTheLayout) {
    report.Options.SetDialogFlags(0x1F); // compact first
    auto dialog = Make();
    EXPECT_FALSE(dialog->DetailsShown());
    EXPECT_EQ(dialog->MessageLine()->text().toStdString(), report.Content.ExceptionMessage);
    EXPECT_EQ(dialog->DetailsButton()->text(), "&Details >>");
    EXPECT_GE(dialog->width(), 250);
    EXPECT_LE(dialog->width(), 640);
    dialog->show();
    dialog->DetailsButton()->click();
    EXPECT_TRUE(dialog->DetailsShown());
    EXPECT_EQ(dialog->DetailsButton()->text(), "<< &Details");
    EXPECT_EQ(dialog->width(), 745);
    EXPECT_EQ(dialog->height(), 468 + dialog->BottomHeight());
    dialog->resize(700, 450);
    // The buttons' row follows the size: OK centred above the band.
    const int y = dialog->height() - 32 - dialog->BottomHeight();
    EXPECT_EQ(dialog->OkButton()->geometry().top(), y);
    EXPECT_EQ(dialog->OkButton()->geometry().left(), (dialog->width() - dialog->OkButton()->width()) / 2);
    dialog->DetailsButton()->click(); // back to compact: the details size is saved
    EXPECT_FALSE(dialog->DetailsShown());
    const TDialogLayout saved = LoadDialogLayout(layoutFile, QSize(4000, 4000), 0);
    EXPECT_EQ(saved.Width, 700);
    EXPECT_EQ(saved.Height, 450 - dialog->BottomHeight());
    dialog->DetailsButton()->click();
    EXPECT_EQ(dialog->width(), 700);
    dialog->OkButton()->click();
    EXPECT_TRUE(state.DetailsShown);
}

TEST_F(TDialogFixture, ListPagesWriteTheirColumnWidthsBack) {
    report.Options.SetDialogFlags(0x3F);
    report.Options.SetDialogTabSetting(2);
    auto dialog = Make();
    auto* modules = qobject_cast<TListPage*>(dialog->CurrentPage());
    ASSERT_NE(modules, nullptr);
    EXPECT_EQ(modules->List()->columnWidth(5), 80);  // Modified: "ColMod6"
    EXPECT_EQ(modules->List()->columnWidth(6), 712); // Path: "ColMod5"
    modules->List()->setColumnWidth(5, 111);
    modules->List()->setColumnWidth(6, 222);
    dialog->Tabs()->setCurrentIndex(1);
    const TDialogLayout saved = LoadDialogLayout(layoutFile, QSize(4000, 4000), 0);
    EXPECT_EQ(saved.ColMod[6], 111);
    EXPECT_EQ(saved.ColMod[5], 222);
}

TEST_F(TDialogFixture, ClicksAndActivationOnTheCallStackPage) {
    report.Options.SetDialogTabSetting(1);
    report.Options.SetDialogFlags(0x3F);
    auto dialog = Make();
    dialog->show();
    auto* page = qobject_cast<TListPage*>(dialog->CurrentPage());
    ASSERT_NE(page, nullptr);
    page->ActivateItem(1); // a row with a line: nothing changes
    EXPECT_EQ(page->List()->topLevelItemCount(), 8);
    page->ActivateItem(0); // the header collapses
    EXPECT_EQ(page->List()->topLevelItemCount(), 6);
    // A real click on the header's box expands it again; a click beside the box does not.
    const QRect rect = page->List()->visualItemRect(page->List()->topLevelItem(0));
    QTest::mouseClick(page->List()->viewport(), Qt::LeftButton, {}, rect.topLeft() + QPoint(60, 6));
    EXPECT_EQ(page->List()->topLevelItemCount(), 6);
    QTest::mouseClick(page->List()->viewport(), Qt::LeftButton, {}, rect.topLeft() + QPoint(6, 6));
    EXPECT_EQ(page->List()->topLevelItemCount(), 8);
}

TEST_F(TDialogFixture, EscapeAndTheCloseBoxActAsOkAndTheLinkOpensTheSupportPage) {
    report.Options.SetSupportPageURL("  http://support.example/help  ");
    report.Options.SetDialogFlags(0x1F | 0x40);
    auto dialog = Make();
    EXPECT_TRUE(dialog->Topmost());
    EXPECT_FALSE(dialog->SupportLink()->isHidden());
    emit dialog->SupportLink()->linkActivated("support");
    EXPECT_EQ(openedUrls, QStringList{"http://support.example/help"});
    EXPECT_FALSE(dialog->Topmost());
    QSignalSpy finished(dialog.get(), &QDialog::finished);
    dialog->show();
    QTest::keyClick(dialog.get(), Qt::Key_Escape);
    EXPECT_EQ(finished.count(), 1);
    EXPECT_EQ(finished.at(0).at(0).toInt(), int(QDialog::Accepted));
    auto closing = Make();
    QSignalSpy closed(closing.get(), &QDialog::finished);
    closing->show();
    closing->close();
    EXPECT_EQ(closed.count(), 1);
}

TEST_F(TDialogFixture, AutoCloseCountsTicksAndUserInputRestartsTheCount) {
    report.Options.SetDialogAutoCloseSeconds(5);
    auto dialog = Make();
    dialog->SetAutoCloseInterval(20);
    QSignalSpy finished(dialog.get(), &QDialog::finished);
    dialog->show();
    EXPECT_TRUE(QTest::qWaitFor([&] { return dialog->AutoCloseCount() >= 3; }, 5000));
    EXPECT_EQ(finished.count(), 0);
    QTest::mouseClick(dialog->MessageLine(), Qt::LeftButton);
    EXPECT_LT(dialog->AutoCloseCount(), 3);
    EXPECT_TRUE(QTest::qWaitFor([&] { return finished.count() == 1; }, 5000));
    EXPECT_TRUE(dialog->Painted());
}

TEST_F(TDialogFixture, ExecShowsAndPaints) {
    auto dialog = Make();
    QTimer::singleShot(50, dialog.get(), [&] { dialog->OkButton()->click(); });
    EXPECT_EQ(dialog->exec(), int(QDialog::Accepted));
    EXPECT_TRUE(dialog->Painted());
}

// Outside text (the exception's message, a server's reply in the send status) shows as text: markup in
// it neither colours nor enlarges anything nor loads a file.
TEST_F(TDialogFixture, MarkupInOutsideTextShowsAsText) {
    const std::string markup = "<h1 style=\"color:#ff0000\">Big</h1><img src=\"file:///nonexistent.png\">";
    report.Options.SetDialogFlags(0x1F); // compact: the message line holds the message
    report.Content.ExceptionMessage = markup;
    auto dialog = Make();
    TSendDialog send("Send.", 0x1F);
    send.SetStatus(QString::fromStdString(markup));
    for (QLabel* label : {dialog->MessageLine(), send.StatusLine()}) {
        SCOPED_TRACE(label->objectName().toStdString());
        EXPECT_EQ(label->textFormat(), Qt::PlainText);
        EXPECT_EQ(label->text().toStdString(), markup);
        label->resize(label->sizeHint());
        const QImage picture = label->grab().toImage();
        int red = 0;
        for (int y = 0; y < picture.height(); ++y)
            for (int x = 0; x < picture.width(); ++x)
                if (const QColor c = picture.pixelColor(x, y);
                    c.red() > 200 && c.green() < 80 && c.blue() < 80)
                    ++red;
        EXPECT_EQ(red, 0);
    }
}
