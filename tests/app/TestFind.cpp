// The device search dialog: validation, the factory option, starting, cancelling and closing.
#include "app/Find.h"
#include "app/Globals.h"
#include "app/Main.h"
#include "model/RemoteIO.h"
#include "tests/app/AppFixture.h"
#include "tests/app/AppTests.h"
#include "tests/app/FakeJobs.h"
#include "tests/app/ModalDeadline.h"
#include "ui_Find.h"
#include "ui_Main.h"
#include <QTest>
#include <QTimer>

namespace {

struct TFindCase {
    TAppFixture app;
    TFakeWorkers workers;
    explicit TFindCase(bool show = true) {
        app.Start();
        FormMain->show();
        TRemoteIO* device = FormMain->Network->AddRemoteIO();
        device->Comm()->SetCurrentAddress(3);
        device->Comm()->SetAddress(3);
        if (show)
            FormFindSlave->show();
    }
    Ui::TFormFindSlave& ui() { return FormFindSlave->ui(); }
    void Enter(const QString& begin, const QString& end) {
        ui().edBegin->setText(begin);
        ui().edEnd->setText(end);
        ui().btFind->click();
    }
};

} // namespace

class TestFind : public QObject {
    Q_OBJECT

private slots:
    void showsDefaultsAndPicture() {
        TFindCase c;
        QCOMPARE(c.ui().edBegin->text(), QStringLiteral("1"));
        QCOMPARE(c.ui().edEnd->text(), QStringLiteral("10"));
        QVERIFY(!c.ui().cbTemporay->isChecked());
        QVERIFY(c.ui().btFind->isEnabled() && !c.ui().btCancel->isEnabled() && c.ui().btClose->isEnabled());
        QCOMPARE(c.ui().ImageSeach->pixmap().size(), QSize(279, 38));
        QCOMPARE(c.ui().edBegin->maxLength(), 3);
    }

    void rejectsBadRanges_data() {
        QTest::addColumn<QString>("begin");
        QTest::addColumn<QString>("end");
        QTest::addColumn<QString>("message");
        QTest::addColumn<QString>("beginAfter");
        QTest::addColumn<QString>("endAfter");
        QTest::addColumn<int>("storedBegin");
        QTest::newRow("begin 0") << "0"
                                 << "10"
                                 << "Out of range value. Min=1, Max=10"
                                 << "1"
                                 << "10" << 1;
        QTest::newRow("end 248") << "5"
                                 << "248"
                                 << "Out of range value. Min=5, Max=247"
                                 << "5"
                                 << "10" << 5;
        QTest::newRow("end 300") << "5"
                                 << "300"
                                 << "Out of range value. Min=5, Max=247"
                                 << "5"
                                 << "10" << 5;
        QTest::newRow("end below begin") << "10"
                                         << "5"
                                         << "Out of range value. Min=1, Max=5"
                                         << "1"
                                         << "5" << 1;
        QTest::newRow("begin not a number") << "a"
                                            << "10"
                                            << "Invalid value."
                                            << "1"
                                            << "10" << 1;
        QTest::newRow("end not a number") << "2"
                                          << "x"
                                          << "Invalid value."
                                          << "2"
                                          << "10" << 1;
    }
    void rejectsBadRanges() {
        QFETCH(QString, begin);
        QFETCH(QString, end);
        QFETCH(QString, message);
        TFindCase c;
        c.Enter(begin, end);
        QCOMPARE(c.app.presenter->Texts(), QStringList{message});
        QCOMPARE(c.app.presenter->requests[0].type, TMsgDlgType::mtError);
        QFETCH(QString, beginAfter);
        QFETCH(QString, endAfter);
        QFETCH(int, storedBegin);
        QCOMPARE(c.ui().edBegin->text(), beginAfter);
        QCOMPARE(c.ui().edEnd->text(), endAfter);
        QCOMPARE(FindOptions.BeginAddress, storedBegin);
        // Nothing started, the network as it was.
        QCOMPARE(c.workers.search.started, 0);
        QCOMPARE(FormMain->Network->GetCount(), 1);
        QVERIFY(c.ui().btFind->isEnabled());
        QVERIFY(!FormFindSlave->Searching);
    }

    void rangeEndingAt247IsAccepted() {
        TFindCase c;
        c.Enter(QStringLiteral("240"), QStringLiteral("247"));
        QVERIFY(c.app.presenter->requests.isEmpty());
        QCOMPARE(c.workers.search.started, 1);
        QCOMPARE(FindOptions.BeginAddress, 240);
        QCOMPARE(FindOptions.EndAddress, 247);
        FormFindSlave->SearchEnded();
    }

    void rangeSearchStartsAndClosesWhenDone() {
        TFindCase c;
        c.Enter(QStringLiteral("2"), QStringLiteral("4"));
        QVERIFY(c.app.presenter->requests.isEmpty());
        QCOMPARE(c.workers.search.started, 1);
        QCOMPARE(FindOptions.BeginAddress, 2);
        QCOMPARE(FindOptions.EndAddress, 4);
        QVERIFY(!FindOptions.UseFactoryDefault);
        QCOMPARE(FormMain->Network->GetCount(), 0);
        QVERIFY(FormFindSlave->Searching);
        QVERIFY(!c.ui().btFind->isEnabled() && c.ui().btCancel->isEnabled() && !c.ui().btClose->isEnabled());
        QCOMPARE(c.ui().ProgressBarSearch->minimum(), 2);
        QCOMPARE(c.ui().ProgressBarSearch->maximum(), 5);
        FormFindSlave->ShowSearchProgress();
        QCOMPARE(c.ui().lbStatus->text(), QStringLiteral("Find slave 2"));
        QCOMPARE(c.ui().ProgressBarSearch->value(), 3);

        // The close box does not leave a running search behind: it asks it to stop and waits for its end.
        FormFindSlave->close();
        QCOMPARE(c.workers.search.terminated, 1);
        QVERIFY(FormFindSlave->isVisible());

        FormMain->Network->AddRemoteIO()->Comm()->SetAddress(7);
        FormFindSlave->SearchEnded();
        QVERIFY(!FormFindSlave->isVisible());
        QVERIFY(!FormFindSlave->Searching && !FormFindSlave->SearchRunning);
        QCoreApplication::processEvents();
        QCOMPARE(c.workers.search.destroyed, 1);
    }

    void cancelledSearchStaysOpen() {
        TFindCase c;
        c.Enter(QStringLiteral("1"), QStringLiteral("10"));
        c.ui().btCancel->click();
        QCOMPARE(c.workers.search.terminated, 1);
        QVERIFY(!FormFindSlave->SearchRunning);
        FormFindSlave->SearchEnded();
        QVERIFY(FormFindSlave->isVisible());
        QCOMPARE(c.ui().lbStatus->text(), QStringLiteral("Search cancelled by user."));
        QVERIFY(c.ui().btFind->isEnabled() && !c.ui().btCancel->isEnabled() && c.ui().btClose->isEnabled());
        c.ui().btClose->click();
        QVERIFY(!FormFindSlave->isVisible());
        QCOMPARE(FormFindSlave->result(), int(QDialog::Accepted));
    }

    void factoryOptionSkipsRangeChecks() {
        TFindCase c;
        c.ui().cbTemporay->click();
        QVERIFY(!c.ui().edBegin->isEnabled() && !c.ui().edEnd->isEnabled() && !c.ui().lbBegin->isEnabled());
        c.Enter(QStringLiteral("0"), QStringLiteral("999"));
        QVERIFY(c.app.presenter->requests.isEmpty());
        QVERIFY(FindOptions.UseFactoryDefault);
        QCOMPARE(FindOptions.BeginAddress, 1);
        QCOMPARE(FindOptions.EndAddress, 10);
        QCOMPARE(c.workers.search.started, 1);
        QCOMPARE(FormMain->Network->GetCount(), 0);
    }

    void searchButtonRefillsCombo() {
        TFindCase c(false);
        // The search dialog is modal; let it "search" and finish at once.
        QMetaObject::invokeMethod(
            FormFindSlave,
            [&] {
                c.Enter(QStringLiteral("1"), QStringLiteral("3"));
                for (int a : {2, 3}) {
                    TRemoteIO* d = FormMain->Network->AddRemoteIO();
                    d->Comm()->SetCurrentAddress(a);
                    d->Comm()->SetAddress(a);
                }
                FormFindSlave->SearchEnded();
            },
            Qt::QueuedConnection);
        QVERIFY2(EndsBeforeDeadline([] { FormMain->OutlookBtn_FindClick(); }),
                 "the search dialog was still open at the deadline");
        auto& ui = FormMain->ui();
        QCOMPARE(c.app.presenter->Texts(), QStringList());
        QCOMPARE(FormMain->Network->GetCount(), 2);
        QCOMPARE(ui.cbDiagnostic->count(), 2);
        QCOMPARE(ui.cbDiagnostic->currentText(), QStringLiteral("DAXO_2"));
        QVERIFY(ui.cbDiagnostic->isEnabled() && ui.lbDiagnostic->isEnabled() && ui.btDiagnostic->isEnabled());
        QCOMPARE(CurrentDevice, FormMain->Network->GetItem(0));
        QCOMPARE(FormMain->SelectedObject(), FormMain->Network->GetItem(0));
        QCOMPARE(ui.RSObjectInspector1->Objects()->Items(0)->Object(), FormMain->Network->GetItem(0));

        FormMain->DiagnosticRunning = true;
        FormMain->OutlookBtn_FindClick();
        QCOMPARE(c.app.presenter->Texts(), QStringList{"Can not find while connected!"});
        QCOMPARE(FormMain->Network->GetCount(), 2);
        FormMain->DiagnosticRunning = false;
    }
};

static TAppTestRegistration<TestFind> registration;
#include "TestFind.moc"
