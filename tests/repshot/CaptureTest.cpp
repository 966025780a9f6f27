// The capture with the toolkit under the offscreen platform: a shown window of known colours grabbed
// with the focus frame and the cursor drawn in, grabs that give nothing, the choice of monitor, and the
// screen access asked from other threads.
#include "PngReaders.h"

#include "OOptions.h"
#include "OScreenshot.h"
#include "OStream.h"
#include "reporter/gui/OCursorImage.h"
#include "reporter/gui/OOstrelGui.h"
#include "reporter/gui/OQtScreen.h"
#include "reporter/gui/OScreenCapture.h"

#include <QApplication>
#include <QBitmap>
#include <QEventLoop>
#include <QFile>
#include <QPainter>
#include <QPixmap>
#include <QScreen>
#include <QTemporaryDir>
#include <QTest>
#include <QWidget>
#include <QWindow>
#include <gtest/gtest.h>

#include <atomic>
#include <memory>
#include <thread>

using namespace reporter;

namespace {

const QRgb WindowColor = qRgb(10, 200, 30);
const QRgb ChildColor = qRgb(20, 40, 220);
const QRgb Red = qRgb(255, 0, 0);

QWidget* Filled(QWidget* widget, QRgb color) {
    QPalette palette = widget->palette();
    palette.setColor(QPalette::Window, QColor(color));
    widget->setPalette(palette);
    widget->setAutoFillBackground(true);
    return widget;
}

// A green window at (100, 80) of 120 x 90 with a blue focusable child at (20, 20) of 40 x 30.
class Capture : public ::testing::Test {
protected:
    void SetUp() override {
        Window = std::make_unique<QWidget>();
        Filled(Window.get(), WindowColor);
        Window->setGeometry(100, 80, 120, 90);
        Child = Filled(new QWidget(Window.get()), ChildColor);
        Child->setGeometry(20, 20, 40, 30);
        Child->setFocusPolicy(Qt::StrongFocus);
        Window->show();
        Window->activateWindow();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(Window.get()));
        ASSERT_TRUE(QTest::qWaitForWindowActive(Window.get()));
        Child->setFocus();
        Window->repaint();
        QApplication::processEvents();
    }
    void TearDown() override {
        Window.reset();
        FreeScreenshot();
    }
    TCaptureInputs NoCursor() const {
        TCaptureInputs inputs;
        inputs.FocusWidget = Child;
        return inputs;
    }

    std::unique_ptr<QWidget> Window;
    QWidget* Child = nullptr;
};

QRgb At(const QImage& image, int x, int y) {
    return image.pixel(x, y) | 0xFF000000;
}

} // namespace

TEST_F(Capture, ForegroundWindowWithTheFocusedControlFramed) {
    const QImage image = CaptureScreenImage(true, NoCursor());
    ASSERT_FALSE(image.isNull());
    ASSERT_EQ(image.size(), Window->frameGeometry().size());
    const QPoint child = Child->mapTo(Window.get(), QPoint(0, 0)) +
                         (Window->geometry().topLeft() - Window->frameGeometry().topLeft());
    EXPECT_EQ(At(image, 2, 2), WindowColor);
    EXPECT_EQ(At(image, image.width() - 3, image.height() - 3), WindowColor);
    // Both frames: the child's own edge and the line inside it; the child's colour starts after them.
    for (const QPoint& p : {child, child + QPoint(1, 1), child + QPoint(39, 29), child + QPoint(38, 28),
                            child + QPoint(20, 0), child + QPoint(0, 15), child + QPoint(20, 1)})
        EXPECT_EQ(At(image, p.x(), p.y()), Red) << p.x() << "," << p.y();
    EXPECT_EQ(At(image, child.x() + 2, child.y() + 2), ChildColor);
    EXPECT_EQ(At(image, child.x() + 20, child.y() + 15), ChildColor);
    EXPECT_EQ(At(image, child.x() - 1, child.y() - 1), WindowColor);
    EXPECT_EQ(At(image, child.x() + 40, child.y() + 30), WindowColor);
}

TEST_F(Capture, CursorIsDrawnAtItsPositionAndTheFrameGoesWithTheControl) {
    TCaptureInputs inputs = NoCursor();
    inputs.Cursor = QCursor(Qt::ArrowCursor);
    const QPoint origin = Window->frameGeometry().topLeft();
    inputs.CursorPos = origin + QPoint(70, 40);
    delete Child; // the focused control is gone by the time of the capture
    const QImage image = CaptureScreenImage(true, inputs);
    ASSERT_FALSE(image.isNull());
    // The arrow's tip is outlined in black, its body white; no frame is left anywhere.
    EXPECT_EQ(At(image, 70, 40), qRgb(0, 0, 0));
    EXPECT_EQ(At(image, 72, 47), qRgb(255, 255, 255));
    EXPECT_EQ(At(image, 69, 40), WindowColor);
    EXPECT_EQ(At(image, 90, 40), WindowColor);
    for (int y = 0; y < image.height(); ++y)
        for (int x = 0; x < image.width(); ++x)
            ASSERT_NE(At(image, x, y), Red) << x << "," << y;
}

TEST_F(Capture, PixmapCursorIsCutTo32PixelsAroundItsHotSpot) {
    QPixmap big(40, 40);
    big.fill(QColor(255, 0, 255));
    TCaptureInputs inputs;
    inputs.Cursor = QCursor(big, 4, 6);
    // The picture's top-left corner lands at (64, 2), right of the child.
    inputs.CursorPos = Window->frameGeometry().topLeft() + QPoint(68, 8);
    const QImage image = CaptureScreenImage(true, inputs);
    ASSERT_FALSE(image.isNull());
    const QRgb magenta = qRgb(255, 0, 255);
    EXPECT_EQ(At(image, 64, 2), magenta);
    EXPECT_EQ(At(image, 63, 3), WindowColor);
    EXPECT_EQ(At(image, 64 + 31, 2 + 31), magenta);
    EXPECT_EQ(At(image, 64 + 32, 2 + 20), WindowColor); // beyond 32 pixels
    EXPECT_EQ(At(image, 64 + 20, 2 + 32), WindowColor);
}

TEST_F(Capture, BitmapCursorShowsBlackWhiteAndTransparentPixels) {
    QBitmap bits(8, 8), mask(8, 8);
    bits.fill(Qt::color0);
    mask.fill(Qt::color0);
    {
        QPainter b(&bits), m(&mask);
        b.fillRect(0, 0, 4, 8, Qt::color1); // left half black
        m.fillRect(0, 0, 8, 4, Qt::color1); // top half shown
    }
    TCaptureInputs inputs;
    inputs.Cursor = QCursor(bits, mask, 0, 0);
    inputs.CursorPos = Window->frameGeometry().topLeft() + QPoint(30, 60);
    const QImage image = CaptureScreenImage(true, inputs);
    ASSERT_FALSE(image.isNull());
    EXPECT_EQ(At(image, 31, 61), qRgb(0, 0, 0));
    EXPECT_EQ(At(image, 36, 61), qRgb(255, 255, 255));
    EXPECT_EQ(At(image, 31, 66), WindowColor);
    EXPECT_EQ(At(image, 36, 66), WindowColor);
}

TEST_F(Capture, BlankCursorDrawsNothing) {
    TCaptureInputs inputs;
    inputs.Cursor = QCursor(Qt::BlankCursor);
    inputs.CursorPos = Window->frameGeometry().topLeft() + QPoint(10, 10);
    const QImage image = CaptureScreenImage(true, inputs);
    ASSERT_FALSE(image.isNull());
    // The window's client area above the child, the frame's 2 pixels aside.
    const QPoint client = Window->geometry().topLeft() - Window->frameGeometry().topLeft();
    for (int y = 0; y < 20; ++y)
        for (int x = 0; x < 120; ++x)
            ASSERT_EQ(At(image, client.x() + x, client.y() + y), WindowColor) << x << "," << y;
}

TEST_F(Capture, SavedScreenshotKeepsTheWindowsColours) {
    TQtOstrelScreen screen;
    SetOstrelScreen(&screen);
    KeepCaptureInputs(); // the child has the focus
    TOstrelModuleOptions options("test", false);
    options.SetSendFlags(0x0071);
    const bool captured = CaptureScreen(options);
    SetOstrelScreen(nullptr);
    ASSERT_TRUE(captured);
    TOstrelStream stream;
    SavePNG(stream);
    const QImage read = ReadPngWithQt(stream.Bytes());
    ASSERT_EQ(read.size(), Window->frameGeometry().size());
    const QPoint child = Child->mapToGlobal(QPoint(0, 0)) - Window->frameGeometry().topLeft();
    EXPECT_EQ(At(read, 2, 2), WindowColor);
    EXPECT_EQ(At(read, child.x(), child.y()), Red);
    EXPECT_EQ(At(read, child.x() + 10, child.y() + 10), ChildColor);
}

TEST_F(Capture, MonitorNearestTheWindowShowsItWhereItIs) {
    const QImage image = CaptureScreenImage(false, NoCursor());
    ASSERT_FALSE(image.isNull());
    const QRect monitor = Window->screen()->geometry();
    ASSERT_EQ(image.size(), monitor.size());
    const QPoint client = Window->geometry().topLeft() - monitor.topLeft();
    const QPoint child = Child->mapToGlobal(QPoint(0, 0)) - monitor.topLeft();
    EXPECT_EQ(At(image, client.x() + 1, client.y() + 1), WindowColor);
    EXPECT_EQ(At(image, child.x(), child.y()), Red);
    EXPECT_EQ(At(image, child.x() + 1, child.y() + 1), Red);
    EXPECT_EQ(At(image, child.x() + 2, child.y() + 2), ChildColor);
}

TEST_F(Capture, WindowPartlyOffTheScreensKeepsItsSize) {
    // At the right edge of the desktop, wherever the monitors are.
    QRect desktop;
    for (const QScreen* screen : QGuiApplication::screens())
        desktop |= screen->geometry();
    Window->move(desktop.right() - 59, desktop.top() + 100);
    QApplication::processEvents();
    ASSERT_EQ(QApplication::activeWindow(), Window.get());
    const QImage image = CaptureScreenImage(true, NoCursor());
    ASSERT_FALSE(image.isNull());
    ASSERT_EQ(image.size(), Window->frameGeometry().size());
    const int onScreen = desktop.right() + 1 - Window->frameGeometry().left();
    EXPECT_EQ(At(image, 2, 2), WindowColor);
    EXPECT_EQ(At(image, onScreen - 1, 2), WindowColor);
    // The part beyond the screen's edge cannot be grabbed and stays black.
    EXPECT_EQ(At(image, onScreen, 2), qRgb(0, 0, 0));
    EXPECT_EQ(At(image, image.width() - 1, image.height() - 1), qRgb(0, 0, 0));
}

TEST_F(Capture, MonitorIsTheOneTheWindowMostlyLiesOn) {
    const QList<QScreen*> screens = QGuiApplication::screens();
    if (screens.size() < 2)
        GTEST_SKIP() << "one monitor only";
    const QRect second = screens[1]->geometry();
    // Mostly on the second monitor, a little on the first.
    Window->move(second.left() - 10, second.top() + 100);
    QApplication::processEvents();
    ASSERT_EQ(QApplication::activeWindow(), Window.get());
    const QImage image = CaptureScreenImage(false, NoCursor());
    ASSERT_FALSE(image.isNull());
    ASSERT_EQ(image.size(), second.size());
    const QPoint client = Window->geometry().topLeft() - second.topLeft();
    const QPoint child = Child->mapToGlobal(QPoint(0, 0)) - second.topLeft();
    EXPECT_EQ(At(image, client.x() + 40, client.y() + 1), WindowColor);
    EXPECT_EQ(At(image, child.x(), child.y()), Red);
    EXPECT_EQ(At(image, child.x() + 2, child.y() + 2), ChildColor);

    // The window grabbed on its own spans both monitors.
    const QImage window = CaptureScreenImage(true, NoCursor());
    ASSERT_EQ(window.size(), Window->frameGeometry().size());
    EXPECT_EQ(At(window, 2, 60), WindowColor);
    EXPECT_EQ(At(window, window.width() - 3, 60), WindowColor);

    Window->move(second.left() - 90, second.top() + 100);
    QApplication::processEvents();
    EXPECT_EQ(CaptureScreenImage(false, NoCursor()).size(), screens[0]->geometry().size());
}

// Another program's window in front (no window of the program is active): the picture of the
// program's window shows the program's window that was active last, then, once that is gone, its main
// window; with no window of the program shown there is no picture, never the screen with other
// programs' windows. The monitor picture still shows the screen.
TEST_F(Capture, WithAnotherProgramInFrontThePictureIsTheProgramsOwnWindow) {
    const QRgb ToolColor = qRgb(230, 200, 10);
    TOstrelGui gui;                    // its watcher follows which window was active
    QWidget tool(nullptr, Qt::Dialog); // a dialog of the program's, never its main window
    Filled(&tool, ToolColor);
    tool.setGeometry(400, 300, 150, 70);
    tool.show();
    tool.activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(&tool));
    // A plain window of no widget in front stands for another program's.
    QWindow other;
    other.setGeometry(600, 450, 80, 60);
    other.show();
    other.requestActivate();
    ASSERT_TRUE(QTest::qWaitForWindowActive(&other));
    ASSERT_EQ(QApplication::activeWindow(), nullptr);

    QImage image = CaptureScreenImage(true, NoCursor());
    ASSERT_EQ(image.size(), tool.frameGeometry().size());
    EXPECT_EQ(At(image, image.width() / 2, image.height() / 2), ToolColor);

    tool.hide();
    QApplication::processEvents();
    image = CaptureScreenImage(true, NoCursor());
    ASSERT_EQ(image.size(), Window->frameGeometry().size());
    EXPECT_EQ(At(image, 2, 2), WindowColor);

    Window->hide();
    QApplication::processEvents();
    EXPECT_TRUE(CaptureScreenImage(true, NoCursor()).isNull());
    EXPECT_EQ(CaptureScreenImage(false, NoCursor()).size(), QGuiApplication::primaryScreen()->size());
}

// The program minimised while another program's window is in front: its windows' places show other
// programs' windows, so the picture of the program's window is none, also of a dialog it owns that was
// active last.
TEST_F(Capture, AMinimisedProgramGivesNoPictureOfItsWindow) {
    TOstrelGui gui;
    QWidget dialog(Window.get(), Qt::Dialog);
    dialog.setGeometry(400, 300, 150, 70);
    dialog.show();
    dialog.activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(&dialog));
    QWindow other;
    other.setGeometry(600, 450, 80, 60);
    other.show();
    other.requestActivate();
    ASSERT_TRUE(QTest::qWaitForWindowActive(&other));
    ASSERT_EQ(CaptureScreenImage(true, NoCursor()).size(), dialog.frameGeometry().size());
    Window->showMinimized();
    QTRY_VERIFY(Window->isMinimized());
    EXPECT_TRUE(CaptureScreenImage(true, NoCursor()).isNull());
    EXPECT_EQ(CaptureScreenImage(false, NoCursor()).size(), QGuiApplication::primaryScreen()->size());
}

TEST_F(Capture, WindowWhollyOffTheScreensGivesNoPicture) {
    Window->move(5000, 5000);
    QApplication::processEvents();
    ASSERT_EQ(QApplication::activeWindow(), Window.get());
    EXPECT_TRUE(CaptureScreenImage(true, NoCursor()).isNull());
}

TEST_F(Capture, EmptyGrabLeavesNoScreenshot) {
    const auto nothing = [](QScreen*, const QRect&) { return QPixmap(); };
    EXPECT_TRUE(CaptureScreenImage(true, NoCursor(), nothing).isNull());
    EXPECT_TRUE(CaptureScreenImage(false, NoCursor(), nothing).isNull());

    SetScreenshot(ToRgbImage(CaptureScreenImage(true, NoCursor()))); // an earlier capture
    ASSERT_TRUE(HasScreenshot());
    TQtOstrelScreen screen(std::chrono::seconds(5), nothing);
    SetOstrelScreen(&screen);
    KeepCaptureInputs();
    const bool captured = CaptureScreen(TOstrelModuleOptions("test", false));
    SetOstrelScreen(nullptr);
    EXPECT_FALSE(captured);
    EXPECT_FALSE(HasScreenshot());
    QTemporaryDir dir;
    const QString path = dir.filePath("Screenshot.png");
    EXPECT_FALSE(SaveScreenshot(path.toStdString()));
    EXPECT_FALSE(QFile::exists(path));
}

TEST(CaptureGeometry, NearestMonitorByOverlapThenDistance) {
    const QList<QRect> monitors{QRect(0, 0, 1920, 1080), QRect(1920, 0, 1280, 1024)};
    EXPECT_EQ(NearestScreenIndex(QRect(1800, 100, 400, 300), monitors), 1); // mostly on the second
    EXPECT_EQ(NearestScreenIndex(QRect(1720, 100, 400, 300), monitors), 0); // tie: the first
    EXPECT_EQ(NearestScreenIndex(QRect(100, 100, 400, 300), monitors), 0);
    EXPECT_EQ(NearestScreenIndex(QRect(3500, 10, 100, 100), monitors), 1);   // right of everything
    EXPECT_EQ(NearestScreenIndex(QRect(100, 1300, 100, 100), monitors), 0);  // below the first
    EXPECT_EQ(NearestScreenIndex(QRect(2500, 1030, 100, 100), monitors), 1); // just below the second
    EXPECT_EQ(NearestScreenIndex(QRect(2000, 500, 0, 0), monitors), 1);      // an empty window
    EXPECT_EQ(NearestScreenIndex(QRect(10, 10, 50, 50), {}), -1);
}

TEST(CaptureGeometry, FocusFrameIsCutToThePicture) {
    QImage image(20, 10, QImage::Format_RGB32);
    image.fill(Qt::white);
    DrawFocusFrame(image, QRect(-5, 2, 10, 20)); // left, bottom edges outside
    const auto red = [&](int x, int y) { return (image.pixel(x, y) | 0xFF000000) == Red; };
    EXPECT_TRUE(red(0, 2));
    EXPECT_TRUE(red(4, 2));
    EXPECT_TRUE(red(4, 9));
    EXPECT_TRUE(red(3, 3));
    EXPECT_TRUE(red(3, 9));
    EXPECT_FALSE(red(5, 2));
    EXPECT_FALSE(red(0, 5)); // the left edges lie outside
    EXPECT_FALSE(red(2, 5));
    EXPECT_FALSE(red(0, 1));
    DrawFocusFrame(image, QRect(100, 100, 5, 5));
    DrawFocusFrame(image, QRect(3, 3, 0, 0));
    QImage none;
    DrawFocusFrame(none, QRect(0, 0, 5, 5));
}

TEST(CaptureGeometry, ToolkitImageBecomesReporterPixels) {
    QImage image(3, 2, QImage::Format_ARGB32);
    image.fill(qRgba(1, 2, 3, 0x80));
    image.setPixel(2, 1, qRgba(250, 251, 252, 255));
    const TRgbImage rgb = ToRgbImage(image);
    ASSERT_EQ(rgb.Width, 3u);
    ASSERT_EQ(rgb.Height, 2u);
    ASSERT_EQ(rgb.Pixels.size(), 6u);
    EXPECT_EQ(rgb.Pixel(2, 1), 0xFAFBFCu);
    EXPECT_TRUE(ToRgbImage(QImage()).Empty());
}

TEST_F(Capture, OtherThreadsGetThePictureWhileTheGuiThreadServes) {
    TQtOstrelScreen screen;
    std::atomic<bool> done{false};
    TRgbImage image;
    std::thread worker([&] {
        screen.KeepCaptureInputs();
        image = screen.Capture(true);
        done = true;
    });
    QEventLoop loop;
    while (!done)
        loop.processEvents(QEventLoop::AllEvents, 20);
    worker.join();
    ASSERT_FALSE(image.Empty());
    EXPECT_EQ(image.Width, uint32_t(Window->frameGeometry().width()));
    EXPECT_EQ(image.Pixel(2, 2), WindowColor & 0xFFFFFF);
}

TEST_F(Capture, BusyGuiThreadGivesNoPictureInsteadOfAHang) {
    TQtOstrelScreen screen(std::chrono::milliseconds(100));
    screen.SetHelper(false); // with the helper process the picture comes from there (the dialog tests)
    TRgbImage image = NewRgbImage(1, 1);
    // The GUI thread waits for the worker and serves no events meanwhile.
    std::thread worker([&] { image = screen.Capture(true); });
    worker.join();
    EXPECT_TRUE(image.Empty());
    // The request posted meanwhile runs later without harm.
    QApplication::processEvents();
}
