// The screenshot tests need an application object for the capture and for reading PNG files back. Under
// the offscreen platform the desktop gets two monitors side by side, 800 x 600 and 640 x 480 (its top
// aligned), so that the choice of monitor meets a real second screen.
#include <QApplication>
#include <QFile>
#include <QTemporaryDir>
#include <gtest/gtest.h>

namespace {

// Without frame margins: the offscreen platform leaves a frame's pixels unset, and a grab would show
// whatever the memory held.
const char* const TwoMonitors = R"({"windowFrameMargins": false, "screens": [
  {"name": "First", "x": 0, "y": 0, "width": 800, "height": 600, "logicalDpi": 96, "logicalBaseDpi": 96, "dpr": 1},
  {"name": "Second", "x": 800, "y": 0, "width": 640, "height": 480, "logicalDpi": 96, "logicalBaseDpi": 96, "dpr": 1}
]})";

} // namespace

int main(int argc, char** argv) {
    QTemporaryDir configDir;
    const QByteArray platform = qgetenv("QT_QPA_PLATFORM");
    if (platform.isEmpty() || platform == "offscreen") {
        const QString config = configDir.filePath("screens.json");
        QFile file(config);
        if (file.open(QIODevice::WriteOnly) && file.write(TwoMonitors) > 0) {
            file.close();
            qputenv("QT_QPA_PLATFORM", "offscreen:configfile=" + QFile::encodeName(config));
        } else {
            qputenv("QT_QPA_PLATFORM", "offscreen");
        }
    }
    QApplication app(argc, argv);
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
