// The reporter's own caption (DialogFlags bit 0x80) on all three dialogs, the columns that show a whole
// 16-digit address, and the request dialog's layout down to its OK button.
#include "ReportFixture.h"

#include "reporter/gui/OCustomCaption.h"
#include "reporter/gui/OListViewItems.h"
#include "reporter/gui/OReportDialog.h"
#include "reporter/gui/OReportPages.h"
#include "reporter/gui/ORequestDialog.h"
#include "reporter/gui/OSendDialog.h"

#include <QApplication>
#include <QFile>
#include <QHeaderView>
#include <QLabel>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QTest>
#include <QTreeWidget>
#include <gtest/gtest.h>

using namespace reporter;
using namespace repgui;

namespace {

QColor Pixel(QWidget& widget, int x, int y) {
    return widget.grab().toImage().pixelColor(x, y);
}

struct CaptionFixture : ::testing::Test {
    std::unique_ptr<TReportDialog> Make(uint8_t flags) {
        report.Options.SetDialogFlags(flags);
        report.Options.SetLogFlags(0x30);
        report.Refresh();
        return std::make_unique<TReportDialog>(report.Content, state, dir.filePath("OstrelLog.ini"));
    }
    QTemporaryDir dir;
    TFixedReport report;
    TReportDialogState state;
};

TEST_F(CaptionFixture, TheOwnCaptionPaintsItsColoursActiveAndInactive) {
    auto dialog = Make(0x1F | 0x20 | 0x80);
    const TCustomCaption* caption = dialog->Caption();
    ASSERT_NE(caption, nullptr);
    EXPECT_TRUE(dialog->windowFlags().testFlag(Qt::FramelessWindowHint));
    EXPECT_EQ(dialog->windowType(), Qt::Tool);
    dialog->show();
    dialog->activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(dialog.get()));

    const QRect bar = caption->CaptionBar();
    ASSERT_EQ(bar.topLeft(), QPoint(4, 4));
    ASSERT_GE(bar.height(), 10);
    // Frame, line strips, the gradient's first colour and its second step (4 % darker), active.
    EXPECT_EQ(Pixel(*dialog, 0, 0), QColor(64, 64, 64));
    EXPECT_EQ(Pixel(*dialog, 1, 40), QColor(128, 128, 128));
    EXPECT_EQ(Pixel(*dialog, 2, 40), QColor(128, 128, 128));
    EXPECT_EQ(Pixel(*dialog, bar.right() - 40, bar.top()), QColor(130, 155, 194));
    EXPECT_EQ(Pixel(*dialog, bar.right() - 40, bar.top() + 2), QColor(125, 149, 186));
    EXPECT_EQ(Pixel(*dialog, 3, 40), QColor(64, 64, 64)); // the inner frame of the details form

    // Another window in front: the inactive colours.
    QWidget other;
    other.show();
    other.activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(&other));
    EXPECT_FALSE(caption->Active());
    EXPECT_EQ(Pixel(*dialog, 0, 0), QColor(48, 48, 48));
    EXPECT_EQ(Pixel(*dialog, 1, 40), QColor(96, 96, 96));
    EXPECT_EQ(Pixel(*dialog, bar.right() - 40, bar.top()), QColor(151, 151, 151));
    EXPECT_EQ(Pixel(*dialog, bar.right() - 40, bar.top() + 2), QColor(145, 145, 145));

    // The controls stay below the caption, inside the frame.
    EXPECT_GE(dialog->OkButton()->geometry().top(), caption->NonClient().top());
    EXPECT_LE(dialog->OkButton()->geometry().bottom(), dialog->height() - TCustomCaption::FrameWidth);
}

TEST_F(CaptionFixture, TheCaptionDragsTheWindowAndItsBoxClosesIt) {
    auto dialog = Make(0x1F | 0x80);
    dialog->show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(dialog.get()));
    const QPoint before = dialog->pos();
    const QPoint grip = dialog->Caption()->CaptionBar().center() - QPoint(40, 0);
    QTest::mousePress(dialog.get(), Qt::LeftButton, {}, grip);
    QMouseEvent move(QEvent::MouseMove, QPointF(grip + QPoint(30, 20)),
                     QPointF(dialog->mapToGlobal(grip + QPoint(30, 20))), Qt::NoButton, Qt::LeftButton, {});
    QApplication::sendEvent(dialog.get(), &move);
    QTest::mouseRelease(dialog.get(), Qt::LeftButton, {}, grip + QPoint(30, 20));
    EXPECT_EQ(dialog->pos(), before + QPoint(30, 20));

    QTest::mouseClick(dialog.get(), Qt::LeftButton, {}, dialog->Caption()->CloseBox().center());
    EXPECT_FALSE(dialog->isVisible());
    EXPECT_EQ(dialog->result(), int(QDialog::Accepted)); // the close box acts as OK
}

TEST_F(CaptionFixture, TheDetailsFormResizesFromItsFrameTheCompactFormDoesNot) {
    auto dialog = Make(0x1F | 0x80);
    dialog->show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(dialog.get()));
    const QPoint corner(dialog->width() - 2, dialog->height() - 2);
    EXPECT_EQ(dialog->childAt(corner), nullptr); // compact: the frame is only drawn
    dialog->ResizeDetails(true);
    const QSize before = dialog->size();
    QWidget* edge = dialog->childAt(QPoint(before.width() - 2, before.height() - 2));
    ASSERT_NE(edge, nullptr);
    EXPECT_EQ(edge->cursor().shape(), Qt::SizeFDiagCursor);
    const QPoint grip = edge->rect().center();
    QTest::mousePress(edge, Qt::LeftButton, {}, grip);
    QMouseEvent move(QEvent::MouseMove, QPointF(grip + QPoint(50, 30)),
                     QPointF(edge->mapToGlobal(grip + QPoint(50, 30))), Qt::NoButton, Qt::LeftButton, {});
    QApplication::sendEvent(edge, &move);
    QTest::mouseRelease(edge, Qt::LeftButton, {}, grip + QPoint(50, 30));
    EXPECT_EQ(dialog->size(), before + QSize(50, 30));
    // The controls follow, and the layout keeps the client size.
    EXPECT_EQ(dialog->Layout().Width, before.width() + 50 - 2 * TCustomCaption::FrameWidth);
}

TEST_F(CaptionFixture, WithoutTheBitEveryDialogKeepsTheSystemsFrame) {
    auto dialog = Make(0x1F);
    EXPECT_EQ(dialog->Caption(), nullptr);
    EXPECT_EQ(dialog->windowType(), Qt::Dialog);
    EXPECT_FALSE(dialog->windowFlags().testFlag(Qt::FramelessWindowHint));
    TDialogOptions options;
    options.DialogFlags = 0x1F;
    TRequestDialog request(options);
    EXPECT_EQ(request.windowType(), Qt::Dialog);
    TSendDialog send("Send.", 0x1F);
    EXPECT_EQ(send.windowType(), Qt::Dialog);

    // With it, the request and send dialogs take the same caption, their controls below it.
    options.DialogFlags = 0x9F;
    TRequestDialog ownRequest(options);
    EXPECT_TRUE(ownRequest.windowFlags().testFlag(Qt::FramelessWindowHint));
    EXPECT_EQ(ownRequest.windowType(), Qt::Tool);
    TSendDialog ownSend("Send.", 0x9F);
    EXPECT_TRUE(ownSend.windowFlags().testFlag(Qt::FramelessWindowHint));
    EXPECT_EQ(ownSend.windowType(), Qt::Tool);
    EXPECT_GT(ownSend.StatusLine()->geometry().top(), 18);
    ownSend.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&ownSend));
    EXPECT_EQ(Pixel(ownSend, 0, 0).red(), 48 + 16 * int(ownSend.isActiveWindow()));
}

TEST(RequestDialogLayout, TheOkButtonEndsTheWindowWithTheMarginOfTheTop) {
    TDialogOptions options;
    for (const uint8_t flags : {uint8_t(0x1F), uint8_t(0x9F)}) {
        options.DialogFlags = flags;
        TRequestDialog dialog(options);
        dialog.resize(dialog.width(), dialog.height() + 37);
        dialog.show();
        EXPECT_EQ(dialog.Caption() != nullptr, (flags & 0x80) != 0);
        const QRect client = ClientArea(&dialog, dialog.Caption());
        const QRect ok = dialog.OkButton()->geometry();
        EXPECT_EQ(dialog.Label()->geometry().top() - client.top(), 10);
        EXPECT_EQ(client.bottom() - ok.bottom(), 10) << int(flags);
        EXPECT_EQ(ok.top() - dialog.Edit()->geometry().bottom() - 1, 6);
        EXPECT_EQ(ok.right(), dialog.Edit()->geometry().right());
    }
}

TEST_F(CaptionFixture, AddressColumnsShowSixteenDigitsWhole) {
    // A width stored by an earlier run that cut the addresses is widened.
    {
        QFile ini(dir.filePath("OstrelLog.ini"));
        ASSERT_TRUE(ini.open(QIODevice::WriteOnly));
        ini.write("[Coordinates]\r\nCol0=89\r\nColMod0=80\r\n");
    }
    auto dialog = Make(0x1F | 0x20);
    const QFont font = CreateDialogFonts().List;
    const QFontMetrics metrics(font);
    for (const int page : {int(rpCallStack), int(rpModules)}) {
        dialog->CreateTabPages(page);
        auto* list = qobject_cast<QTreeWidget*>(dialog->CurrentPage()->Control());
        ASSERT_NE(list, nullptr);
        ASSERT_GT(list->topLevelItemCount(), 0);
        // The widest first-column text of an indented row: a shift and a prefix of one indent each.
        const int needed =
            2 * metrics.horizontalAdvance(QString(" ").repeated((14 + metrics.horizontalAdvance(' ') - 1) /
                                                                metrics.horizontalAdvance(' '))) +
            metrics.horizontalAdvance(QString(16, '0')) + 22;
        EXPECT_GE(list->columnWidth(0), needed) << page;
        EXPECT_EQ(list->columnWidth(0), TListViewItems::AddressColumnWidth(font));
    }
}

// Header texts whole ("Version" in a column stored narrower than its title) and unit and class names
// whole while they fit the limit; a name beyond it is cut at the limit, not at the stored width.
TEST_F(CaptionFixture, ColumnsShowTheirHeaderAndTheirNamesWhole) {
    {
        QFile ini(dir.filePath("OstrelLog.ini"));
        ASSERT_TRUE(ini.open(QIODevice::WriteOnly));
        ini.write("[Coordinates]\r\nCol1=20\r\nCol2=20\r\nCol3=20\r\nColMod3=20\r\nColMod4=20\r\n");
    }
    report.Stack.Add(
        Entry(Worker, true, dkDebugData, report.Program, 0x402100, "OProcessing.cpp", "Run", 412));
    report.Stack.Items(report.Stack.Count() - 1).ClassName = "TOstrelExceptionDialog";
    report.Stack.Add(Entry(Worker, true, dkDebugData, report.Program, 0x402200, "Main", "Go", 3));
    report.Stack.Items(report.Stack.Count() - 1).ClassName = std::string(300, 'C');
    auto dialog = Make(0x1F | 0x20);
    const QFontMetrics metrics(CreateDialogFonts().List);
    for (const int page : {int(rpCallStack), int(rpModules)}) {
        dialog->CreateTabPages(page);
        auto* list = qobject_cast<QTreeWidget*>(dialog->CurrentPage()->Control());
        ASSERT_NE(list, nullptr);
        const QFontMetrics header = list->header()->fontMetrics();
        for (int column = 1; column < list->columnCount(); ++column)
            EXPECT_GT(list->columnWidth(column),
                      header.horizontalAdvance(list->headerItem()->text(column)) + 4)
                << page << " " << list->headerItem()->text(column).toStdString();
        if (page == int(rpCallStack)) {
            EXPECT_GE(list->columnWidth(2), metrics.horizontalAdvance("OProcessing.cpp") + 12);
            EXPECT_LT(list->columnWidth(3), metrics.horizontalAdvance(QString(300, 'C')));
            EXPECT_GE(list->columnWidth(3), metrics.horizontalAdvance("TOstrelExceptionDialog") + 12);
        }
    }
}

} // namespace
