// The report dialog closes on the tick that reaches its auto-close count: not one tick early, not one late.
#include "ReportFixture.h"

#include "reporter/gui/OReportDialog.h"

#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>
#include <gtest/gtest.h>

using namespace reporter;
using namespace repgui;

TEST(ReportDialogAutoClose, ClosesOnExactlyItsTick) {
    for (const int seconds : {1, 3}) {
        SCOPED_TRACE(seconds);
        QTemporaryDir dir;
        TFixedReport report;
        report.Options.SetDialogAutoCloseSeconds(seconds);
        report.Refresh();
        TReportDialogState state;
        TReportDialog dialog(report.Content, state, dir.filePath(QStringLiteral("OstrelLog.ini")));
        dialog.SetAutoCloseInterval(23);
        QSignalSpy finished(&dialog, &QDialog::finished);
        dialog.show();
        // The auto-close timer is the one running at the interval given; its ticks are counted after the
        // dialog's own handler has seen them, the closing tick included.
        QTimer* autoClose = nullptr;
        for (QTimer* timer : dialog.findChildren<QTimer*>())
            if (timer->isActive() && timer->interval() == 23)
                autoClose = timer;
        ASSERT_NE(autoClose, nullptr);
        int ticks = 0;
        QObject::connect(autoClose, &QTimer::timeout, [&] { ++ticks; });
        ASSERT_TRUE(QTest::qWaitFor([&] { return finished.count() > 0; }, 20000)) << "the dialog stayed open";
        EXPECT_EQ(ticks, seconds);
    }
}
