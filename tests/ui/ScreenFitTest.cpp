// A screen smaller than a window: the window fits itself to the free area with its contents in a scroll
// area, every control can be brought onto the screen, and a window that fits stays as it was made. Run
// under a window manager at a high scale on a small screen by tests/wmplace.
#include "app/ScreenFit.h"
#include "app/CalibrationPanel.h"
#include "app/UnitAbout.h"
#include "model/RemoteIO.h"
#include "tests/support/LayoutCheck.h"
#include "tests/ui/UiFixture.h"
#include "ui_UnitAbout.h"
#include <QAbstractScrollArea>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QScreen>
#include <QScrollArea>
#include <QScrollBar>
#include <QVBoxLayout>
#include <QWindow>

namespace {

QRect GlobalRect(const QWidget& widget) {
    return {widget.mapToGlobal(QPoint(0, 0)), widget.size()};
}

// Waits until the window manager has framed the window and stopped moving it (at once without one).
// The program moves a frame that the manager placed beyond the screen's free area back onto it, and a busy
// manager may follow only later: a frame beyond the area is waited for until it comes onto it, and one
// that never does is left to the check.
void WaitUntilPlaced(QWidget& window) {
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&window, 20000)) << window.objectName().toStdString();
    if (QGuiApplication::platformName() == QLatin1String("offscreen"))
        return;
    const auto settled = [&window](bool onScreen) {
        QRect last;
        int still = 0;
        return QTest::qWaitFor(
            [&] {
                const QRect now = window.frameGeometry();
                still = now == last && !window.windowHandle()->frameMargins().isNull() ? still + 1 : 0;
                last = now;
                return still >= 5 && (!onScreen || window.screen()->availableGeometry().contains(now));
            },
            20000);
    };
    if (!settled(true))
        ASSERT_TRUE(settled(false)) << window.objectName().toStdString() << " never settled";
}

// Whether a widget lies inside a scroll area other than the window's own fitting one: the other scroll
// area shows it by its own means.
bool InsideOtherScrollArea(const QWidget& widget, const QWidget& window) {
    const QScrollArea* fit = ScreenFitArea(window);
    for (const QWidget* above = widget.parentWidget(); above && above != &window;
         above = above->parentWidget())
        if (qobject_cast<const QAbstractScrollArea*>(above) && above != fit)
            return true;
    return false;
}

// Every visible control of the window, scrolled into view where the window had to be fitted, on the
// screen: whole when it is no larger than the view, else in part.
QStringList ControlsOffScreen(QWidget& window) {
    QStringList problems;
    const QRect screen = window.screen()->availableGeometry();
    if (!screen.contains(window.frameGeometry()))
        problems << QStringLiteral("%1: frame %2,%3 %4x%5 beyond the screen")
                        .arg(window.objectName())
                        .arg(window.frameGeometry().x())
                        .arg(window.frameGeometry().y())
                        .arg(window.frameGeometry().width())
                        .arg(window.frameGeometry().height());
    QScrollArea* fit = ScreenFitArea(window);
    for (QWidget* control : window.findChildren<QWidget*>()) {
        if (!control->isVisible() || control->isWindow() || control->window() != &window ||
            InsideOtherScrollArea(*control, window) ||
            (fit && (control == fit || control == fit->widget() || !fit->widget()->isAncestorOf(control))))
            continue;
        QRect view = screen;
        if (fit) {
            fit->ensureWidgetVisible(control, 0, 0);
            view = GlobalRect(*fit->viewport()).intersected(screen);
        }
        const QRect at = GlobalRect(*control);
        const bool whole = at.width() <= view.width() && at.height() <= view.height();
        if (whole ? !view.contains(at) : !view.intersects(at))
            problems << QStringLiteral("%1 at %2,%3 %4x%5 outside %6,%7 %8x%9")
                            .arg(WidgetPath(*control))
                            .arg(at.x())
                            .arg(at.y())
                            .arg(at.width())
                            .arg(at.height())
                            .arg(view.x())
                            .arg(view.y())
                            .arg(view.width())
                            .arg(view.height());
    }
    return problems;
}

class ScreenFit : public UiFixture, public ::testing::WithParamInterface<const char*> {
protected:
    void SetUp() override { StartIn(QString::fromLatin1(GetParam())); }

    void ExpectOnScreen(QWidget& window, const QString& state) {
        WaitUntilPlaced(window);
        const QStringList problems = ControlsOffScreen(window);
        EXPECT_TRUE(problems.isEmpty()) << state.toStdString() << " in " << GetParam() << ":\n"
                                        << problems.join(QLatin1Char('\n')).toStdString();
        Shot(QString::fromLatin1(GetParam()) + QStringLiteral("-fit-") + state);
    }
};

TEST_P(ScreenFit, EveryControlOfTheMainWindowAndAboutCanBeBroughtOnScreen) {
    FormMain->show();
    ExpectOnScreen(*FormMain, QStringLiteral("main"));
    // The calibration box at the bottom of the properties, locked and unlocked.
    TRemoteIO* device = FormMain->Network->AddRemoteIO();
    device->Information()->SetModelCode(62);
    FormMain->RefillDeviceCombo(0);
    Ui().tvNetwork->setCurrentIndex(device->Node()->index());
    FormMain->CalibrationPanel()->FormKeyPress(QLatin1Char('g'));
    ASSERT_TRUE(Ui().gbCalibration->isVisible());
    ExpectOnScreen(*FormMain, QStringLiteral("calibration-locked"));
    Ui().edtPassword->setText(QLatin1String(TCalibrationPanel::AccessCode));
    FormMain->CalibrationPanel()->btOKClick();
    ExpectOnScreen(*FormMain, QStringLiteral("calibration-unlocked"));

    FormAbout->show();
    QTabWidget* pages = FormAbout->ui().PageControl;
    for (int i = 0; i < pages->count(); ++i) {
        pages->setCurrentIndex(i);
        ExpectOnScreen(*FormAbout, QStringLiteral("about-%1").arg(i));
    }
    FormAbout->hide();
}

INSTANTIATE_TEST_SUITE_P(Languages, ScreenFit, ::testing::Values("en_US", "pt_BR"));

class FittedMainWindow : public UiFixture {};

// On a screen that cuts the window, the key that opens the calibration box at the bottom brings the code
// field into view: what is typed next goes where it can be seen.
TEST_F(FittedMainWindow, TheCodeFieldComesIntoViewWhenTheKeyOpensTheBox) {
    app.Start();
    FormMain->show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(FormMain));
    FitToScreen(*FormMain, QRect(0, 0, 760, 300), QMargins());
    QScrollArea* fit = ScreenFitArea(*FormMain);
    ASSERT_NE(fit, nullptr);
    FormMain->activateWindow();
    ASSERT_TRUE(QTest::qWaitFor([] { return QApplication::activeWindow() == FormMain; }, 10000));
    TRemoteIO* device = FormMain->Network->AddRemoteIO();
    device->Information()->SetModelCode(62);
    FormMain->RefillDeviceCombo(0);
    Ui().tvNetwork->setCurrentIndex(device->Node()->index());
    fit->verticalScrollBar()->setValue(0); // the top of the window in view, the box below it
    FormMain->CalibrationPanel()->FormKeyPress(QLatin1Char('g'));
    QLineEdit* field = Ui().edtPassword;
    EXPECT_TRUE(field->hasFocus());
    const auto fieldInView = [&] { return GlobalRect(*fit->viewport()).contains(GlobalRect(*field)); };
    EXPECT_TRUE(QTest::qWaitFor(fieldInView, 10000))
        << "field at " << GlobalRect(*field).y() << ", view " << GlobalRect(*fit->viewport()).y() << "+"
        << fit->viewport()->height();
}

// A window that goes to a smaller screen while it is shown (a monitor unplugged, the window dragged to
// another) fits itself to that screen, and a larger one gives it its own size back. Needs two screens.
TEST_F(FittedMainWindow, AWindowFitsTheScreenItIsMovedTo) {
    const QList<QScreen*> screens = QGuiApplication::screens();
    if (screens.size() < 2)
        GTEST_SKIP() << "one screen";
    QScreen* large = screens.at(0);
    QScreen* small = screens.at(1);
    ASSERT_LT(small->availableGeometry().height(), 542);
    app.Start();
    FormMain->show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(FormMain));
    ASSERT_EQ(ScreenFitArea(*FormMain), nullptr);
    const auto fitsOn = [](const QScreen* screen) {
        return screen->availableGeometry().contains(FormMain->frameGeometry());
    };
    FormMain->windowHandle()->setScreen(small);
    EXPECT_TRUE(QTest::qWaitFor([&] { return fitsOn(small); }, 10000))
        << FormMain->frameGeometry().width() << "x" << FormMain->frameGeometry().height() << " at "
        << FormMain->frameGeometry().x() << "," << FormMain->frameGeometry().y();
    EXPECT_NE(ScreenFitArea(*FormMain), nullptr);
    FormMain->windowHandle()->setScreen(large);
    EXPECT_TRUE(QTest::qWaitFor([&] { return FormMain->size() == QSize(696, 542) && fitsOn(large); }, 10000))
        << FormMain->frameGeometry().x() << "," << FormMain->frameGeometry().y();
}

// The About window taken to the smaller screen and pushed past its right edge comes back whole when that
// screen's free area changes (a panel added), moved no further than that edge. Needs two screens.
TEST_F(FittedMainWindow, TheAboutWindowComesBackOntoTheSmallerScreen) {
    const QList<QScreen*> screens = QGuiApplication::screens();
    if (screens.size() < 2)
        GTEST_SKIP() << "one screen";
    QScreen* small = screens.at(1);
    const QRect area = small->availableGeometry();
    app.Start();
    FormMain->show();
    FormAbout->show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(FormAbout));
    FormAbout->windowHandle()->setScreen(small);
    ASSERT_TRUE(QTest::qWaitFor([&] { return area.contains(FormAbout->frameGeometry()); }, 10000));
    FormAbout->move(area.right() - 100, area.top());
    emit small->availableGeometryChanged(area);
    const auto flush = [&] {
        const QRect frame = FormAbout->frameGeometry();
        return area.contains(frame) && frame.right() == area.right();
    };
    EXPECT_TRUE(QTest::qWaitFor(flush, 10000)) << FormAbout->frameGeometry().x();
    FormAbout->hide();
}

// A window of 300 x 200 with a laid-out button and one placed by hand, in areas about it: of a fixed size,
// and one the user may resize that is made no smaller than that.
TEST(FitToScreen, TheWindowTakesTheAreaItHasAndScrollsToEveryControl) {
    const QMargins frame(1, 20, 1, 4);
    const struct {
        int width, height;
        bool scrolls;
        bool across, down; // the scroll bars shown: only where the contents are cut
    } cases[] = {
        // clang-format off
        {302, 224, false, false, false}, // exactly the window with its frame
        {500, 500, false, false, false},
        {301, 224, true, true, true},    // a pixel short across: the bar across leaves no room down
        {302, 223, true, true, true},
        {150, 400, true, true, false},
        {400, 100, true, false, true},
        {120, 90, true, true, true},
        // clang-format on
    };
    for (const auto& c : cases)
        for (const bool fixedSize : {true, false}) {
            const std::string where = std::to_string(c.width) + "x" + std::to_string(c.height) +
                                      (fixedSize ? " fixed" : " resizable");
            QWidget window;
            auto* layout = new QVBoxLayout(&window);
            auto* laidOut = new QPushButton(QStringLiteral("laid out"), &window);
            layout->addWidget(laidOut);
            layout->addStretch();
            auto* placed = new QLabel(QStringLiteral("placed"), &window);
            placed->setGeometry(250, 170, 40, 20);
            auto* hidden = new QLabel(QStringLiteral("hidden"), &window);
            hidden->hide();
            if (fixedSize)
                window.setFixedSize(300, 200);
            else {
                window.setMinimumSize(300, 200);
                window.resize(300, 200);
            }

            const QRect area(0, 0, c.width, c.height);
            const QSize fitted = FitToScreen(window, area, frame);
            EXPECT_EQ(window.size(), fitted) << where;
            EXPECT_EQ(window.minimumSize() == window.maximumSize(), fixedSize) << where;
            EXPECT_LE(fitted.width(), c.width - 2) << where;
            EXPECT_LE(fitted.height(), c.height - 24) << where;
            QScrollArea* scroll = ScreenFitArea(window);
            ASSERT_EQ(scroll != nullptr, c.scrolls) << where;
            if (!c.scrolls) {
                EXPECT_EQ(fitted, QSize(300, 200)) << where;
                EXPECT_EQ(placed->parentWidget(), &window) << where;
                continue;
            }
            // The contents keep their size and places; the hidden control stays hidden.
            window.show();
            ASSERT_TRUE(QTest::qWaitForWindowExposed(&window));
            EXPECT_EQ(scroll->widget()->size(), QSize(300, 200)) << where;
            EXPECT_EQ(placed->geometry(), QRect(250, 170, 40, 20)) << where;
            EXPECT_TRUE(laidOut->isVisible()) << where;
            EXPECT_FALSE(hidden->isVisible()) << where;
            EXPECT_EQ(scroll->horizontalScrollBar()->isVisible(), c.across) << where;
            EXPECT_EQ(scroll->verticalScrollBar()->isVisible(), c.down) << where;
            for (QWidget* control : {static_cast<QWidget*>(laidOut), static_cast<QWidget*>(placed)}) {
                scroll->ensureWidgetVisible(control, 0, 0);
                const QRect view(scroll->viewport()->mapTo(&window, QPoint(0, 0)),
                                 scroll->viewport()->size());
                const QRect at(control->mapTo(&window, QPoint(0, 0)), control->size());
                EXPECT_TRUE(view.intersects(at)) << where << " " << control->objectName().toStdString();
            }
            // A larger screen later gives the window its own size back.
            EXPECT_EQ(FitToScreen(window, QRect(0, 0, 1000, 1000), frame), QSize(300, 200)) << where;
            EXPECT_EQ(window.size(), QSize(300, 200)) << where;
        }
}

// Where the program's windows fit, they are as they were made: no scroll area, the fixed sizes.
TEST(FitToScreenProgram, AWindowThatFitsIsLeftAsItWasMade) {
    TAppFixture app;
    app.Start();
    const QRect roomy(0, 0, 1280, 1024);
    const struct {
        QWidget* window;
        QSize size;
    } windows[] = {{FormMain, {696, 542}}, {FormAbout, {544, 475}}};
    for (const auto& w : windows) {
        EXPECT_EQ(FitToScreen(*w.window, roomy, QMargins(1, 24, 1, 5)), w.size);
        EXPECT_EQ(w.window->size(), w.size);
        EXPECT_EQ(ScreenFitArea(*w.window), nullptr);
    }
    // Just too small: now it scrolls.
    EXPECT_NE(FitToScreen(*FormMain, QRect(0, 0, 1280, 570), QMargins(1, 24, 1, 5)), QSize(696, 542));
    EXPECT_NE(ScreenFitArea(*FormMain), nullptr);
}

} // namespace
