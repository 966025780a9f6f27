// The capture state: taking a picture through the installed screen access, saving it as PNG once
// reduced, and releasing it.
#include "PngReaders.h"

#include "OErrors.h"
#include "OOptions.h"
#include "OScreenshot.h"
#include "OStream.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>
#include <gtest/gtest.h>

#include <stdexcept>

#include <csignal>
#include <sys/resource.h>

using namespace reporter;

namespace {

class TFakeScreen : public IOstrelScreen {
public:
    TRgbImage Picture;
    bool Raise = false;
    int Kept = 0;
    std::vector<bool> Asked;

    void KeepCaptureInputs() override { ++Kept; }
    TRgbImage Capture(bool foregroundWindow) override {
        Asked.push_back(foregroundWindow);
        if (Raise)
            throw std::runtime_error("no display");
        return Picture;
    }
};

// Installs the fake for one test and leaves no capture behind.
class Screenshot : public ::testing::Test {
protected:
    void SetUp() override { SetOstrelScreen(&Screen); }
    void TearDown() override {
        SetOstrelScreen(nullptr);
        FreeScreenshot();
    }
    TFakeScreen Screen;
};

TRgbImage FourColours(uint32_t width, uint32_t height) {
    TRgbImage image = NewRgbImage(width, height);
    const uint32_t colors[] = {0x112233, 0xFF0000, 0x00FF80, 0xFEFEFE};
    for (uint32_t y = 0; y < height; ++y)
        for (uint32_t x = 0; x < width; ++x)
            image.Pixels[size_t(y) * width + x] = colors[(x / 3 + y) % 4];
    return image;
}

std::vector<uint8_t> ReadFile(const QString& path) {
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return {};
    const QByteArray bytes = file.readAll();
    return std::vector<uint8_t>(bytes.begin(), bytes.end());
}

} // namespace

TEST_F(Screenshot, CaptureAsksForWindowOrMonitorBySendFlags) {
    TOstrelModuleOptions options("test", false);
    Screen.Picture = FourColours(5, 4);
    KeepCaptureInputs();
    EXPECT_EQ(Screen.Kept, 1);
    options.SetSendFlags(0x0051);
    EXPECT_TRUE(CaptureScreen(options));
    options.SetSendFlags(0x0071);
    EXPECT_TRUE(CaptureScreen(options));
    EXPECT_EQ(Screen.Asked, (std::vector<bool>{false, true}));
    EXPECT_TRUE(HasScreenshot());
}

TEST_F(Screenshot, SavedFileHoldsTheCapturedPixels) {
    TOstrelModuleOptions options("test", false);
    Screen.Picture = FourColours(1366, 3);
    ASSERT_TRUE(CaptureScreen(options));
    QTemporaryDir dir;
    const QString first = dir.filePath("Screenshot.png"), second = dir.filePath("again.png");
    ASSERT_TRUE(SaveScreenshot(first.toStdString()));
    const std::vector<uint8_t> png = ReadFile(first);
    const QImage read = ReadPngWithQt(png);
    ASSERT_EQ(read.size(), QSize(1366, 3));
    EXPECT_TRUE(QtPixels(read) == Screen.Picture.Pixels);
    const TPythonPng py = ReadPngWithPython(png);
    ASSERT_TRUE(py.Ok) << py.Error;
    EXPECT_TRUE(py.Pixels == Screen.Picture.Pixels);

    // The reduced picture replaced the capture: a second save gives the same file.
    EXPECT_TRUE(HasScreenshot());
    ASSERT_TRUE(SaveScreenshot(second.toStdString()));
    EXPECT_EQ(ReadFile(second), png);
}

TEST_F(Screenshot, NothingIsWrittenWithoutNameOrCapture) {
    QTemporaryDir dir;
    const QString path = dir.filePath("Screenshot.png");
    EXPECT_FALSE(SaveScreenshot(path.toStdString()));
    EXPECT_FALSE(QFile::exists(path));
    TOstrelStream stream;
    EXPECT_THROW(SavePNG(stream), EImageError);

    Screen.Picture = FourColours(2, 2);
    ASSERT_TRUE(CaptureScreen(TOstrelModuleOptions("test", false)));
    EXPECT_FALSE(SaveScreenshot(""));
    FreeScreenshot();
    EXPECT_FALSE(HasScreenshot());
    EXPECT_FALSE(SaveScreenshot(path.toStdString()));
    EXPECT_FALSE(QFile::exists(path));
}

TEST_F(Screenshot, FailedGrabLeavesNoCapture) {
    TOstrelModuleOptions options("test", false);
    Screen.Picture = FourColours(3, 3);
    ASSERT_TRUE(CaptureScreen(options));
    // An empty grab releases the earlier picture rather than keeping a stale one.
    Screen.Picture = TRgbImage();
    EXPECT_FALSE(CaptureScreen(options));
    EXPECT_FALSE(HasScreenshot());
    Screen.Raise = true;
    EXPECT_FALSE(CaptureScreen(options));
    EXPECT_FALSE(HasScreenshot());
    // A picture whose pixels do not match its size is refused, not saved.
    Screen.Raise = false;
    Screen.Picture = FourColours(3, 3);
    Screen.Picture.Height = 4;
    EXPECT_FALSE(CaptureScreen(options));
    SetOstrelScreen(nullptr);
    Screen.Picture = FourColours(3, 3);
    EXPECT_FALSE(CaptureScreen(options));
}

TEST_F(Screenshot, UnwritableFileRaises) {
    SetScreenshot(FourColours(2, 2));
    QTemporaryDir dir;
    EXPECT_THROW(SaveScreenshot(dir.filePath("missing/folder/Screenshot.png").toStdString()), EFileError);
    EXPECT_THROW(SetScreenshot([] {
                     TRgbImage bad = NewRgbImage(2, 2);
                     bad.Pixels.pop_back();
                     return bad;
                 }()),
                 EImageError);
}

TEST_F(Screenshot, FileCutOffByAWriteFailureIsRemoved) {
    SetScreenshot(FourColours(300, 200));
    QTemporaryDir dir;
    const QString path = dir.filePath("Screenshot.png");
    // A file size limit makes the write fail after the file was created and partly written.
    rlimit old{};
    ASSERT_EQ(getrlimit(RLIMIT_FSIZE, &old), 0);
    const auto oldHandler = std::signal(SIGXFSZ, SIG_IGN);
    rlimit small = old;
    small.rlim_cur = 100;
    ASSERT_EQ(setrlimit(RLIMIT_FSIZE, &small), 0);
    bool raised = false;
    try {
        SaveScreenshot(path.toStdString());
    } catch (const EFileError&) {
        raised = true;
    }
    setrlimit(RLIMIT_FSIZE, &old);
    std::signal(SIGXFSZ, oldHandler);
    EXPECT_TRUE(raised);
    EXPECT_FALSE(QFile::exists(path));
    // The capture is still there for another try.
    EXPECT_TRUE(SaveScreenshot(path.toStdString()));
    EXPECT_GT(QFile(path).size(), 100);
}

TEST_F(Screenshot, ANameThatIsTakenOrALinkIsNeverWrittenThrough) {
    SetScreenshot(FourColours(2, 2));
    QTemporaryDir dir;
    const QString victim = dir.filePath("victim.txt");
    {
        QFile file(victim);
        ASSERT_TRUE(file.open(QIODevice::WriteOnly));
        file.write("precious");
    }
    const QString planted = dir.filePath("Screenshot.png");
    ASSERT_TRUE(QFile::link(victim, planted));
    EXPECT_THROW(SaveScreenshot(planted.toStdString()), EFileError);
    EXPECT_THROW(SaveScreenshot(victim.toStdString()), EFileError);
    QFile file(victim);
    ASSERT_TRUE(file.open(QIODevice::ReadOnly));
    EXPECT_EQ(file.readAll(), QByteArray("precious"));
    EXPECT_TRUE(QFileInfo(planted).isSymLink());
    // A new name is written, for its owner only.
    const QString fresh = dir.filePath("fresh.png");
    ASSERT_TRUE(SaveScreenshot(fresh.toStdString()));
    EXPECT_EQ(QFile::permissions(fresh) & 0x7777,
              QFile::ReadOwner | QFile::WriteOwner | QFile::ReadUser | QFile::WriteUser);
}
