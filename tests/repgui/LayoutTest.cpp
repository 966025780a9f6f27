// The dialog layout file: defaults, round trip, fitting on the screen, damaged and unwritable files.
#include "reporter/gui/ODialogLayout.h"

#include <QFile>
#include <QTemporaryDir>
#include <gtest/gtest.h>

using namespace reporter;

namespace {

const QSize Screen(1280, 1024);

void WriteFile(const QString& name, const QByteArray& bytes) {
    QFile file(name);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    ASSERT_EQ(file.write(bytes), bytes.size());
}

} // namespace

TEST(DialogLayout, MissingFileGivesCentredDefaults) {
    QTemporaryDir dir;
    const TDialogLayout layout = LoadDialogLayout(dir.filePath("none.ini"), Screen, 34);
    EXPECT_EQ(layout.Width, 745);
    EXPECT_EQ(layout.Height, 468);
    EXPECT_EQ(layout.Left, (1280 - 745) / 2);
    EXPECT_EQ(layout.Top, (1024 - 468) / 2);
    EXPECT_EQ(layout.WindowsState, WindowsStateNormal);
    EXPECT_EQ(layout.Col, (std::array<int, 6>{89, 92, 126, 126, 200, 61}));
    EXPECT_EQ(layout.ColMod, (std::array<int, 7>{80, 96, 175, 50, 54, 712, 80}));
}

TEST(DialogLayout, SavedValuesComeBack) {
    QTemporaryDir dir;
    const QString file = dir.filePath("OstrelLog.ini");
    TDialogLayout layout;
    layout.Left = 10;
    layout.Top = 20;
    layout.Width = 800;
    layout.Height = 500;
    layout.Col[5] = 33;
    layout.ColMod[6] = 99;
    SaveDialogLayout(file, layout); // nothing recorded yet: nothing written
    EXPECT_FALSE(QFile::exists(file));
    layout.WidthRecorded = true;
    SaveDialogLayout(file, layout);
    SaveColumnWidths(file, layout);
    const TDialogLayout back = LoadDialogLayout(file, Screen, 20);
    EXPECT_EQ(back.Left, 10);
    EXPECT_EQ(back.Top, 20);
    EXPECT_EQ(back.Width, 800);
    EXPECT_EQ(back.Height, 500);
    EXPECT_EQ(back.Col[5], 33);
    EXPECT_EQ(back.ColMod[6], 99);

    // A maximised form keeps its normal size and position in the file; only the state changes.
    layout.WindowsState = WindowsStateMaximized;
    layout.Width = 1200;
    SaveDialogLayout(file, layout);
    const TDialogLayout maximised = LoadDialogLayout(file, Screen, 20);
    EXPECT_EQ(maximised.WindowsState, WindowsStateMaximized);
    EXPECT_EQ(maximised.Width, 800);
}

TEST(DialogLayout, FormsOffTheScreenAreMovedBack) {
    QTemporaryDir dir;
    const QString file = dir.filePath("OstrelLog.ini");
    WriteFile(file, "[Coordinates]\r\nLeft=5000\r\nTop=1000\r\nWidth=700\r\nHeight=400\r\n");
    TDialogLayout layout = LoadDialogLayout(file, Screen, 34);
    EXPECT_EQ(layout.Left, 1280 - 700);
    EXPECT_EQ(layout.Top, 1024 - (400 + 34));
    WriteFile(file, "[Coordinates]\r\nLeft=-50\r\nTop=-7\r\n");
    layout = LoadDialogLayout(file, Screen, 0);
    EXPECT_EQ(layout.Left, 0);
    EXPECT_EQ(layout.Top, 0);
}

TEST(DialogLayout, DamagedFilesGiveDefaults) {
    QTemporaryDir dir;
    const QString file = dir.filePath("OstrelLog.ini");
    WriteFile(file, "[Coordinates]\nWidth=-745\nHeight=99999999999\nWindowsState=4\nCol0=abc\nCol1=-3\n"
                    "Col2=2147483647\nColMod5=\xff\xfe\x00\x01\n");
    TDialogLayout layout = LoadDialogLayout(file, Screen, 0);
    EXPECT_EQ(layout.Width, 745);
    EXPECT_EQ(layout.Height, 468);
    EXPECT_EQ(layout.WindowsState, WindowsStateNormal);
    EXPECT_EQ(layout.Col[0], 89);
    EXPECT_EQ(layout.Col[1], 92);
    EXPECT_EQ(layout.Col[2], 126);
    EXPECT_EQ(layout.ColMod[5], 712);

    // Binary rubbish, and a file far larger than any layout: read as empty.
    WriteFile(file, QByteArray(4096, '\0') + "[Coordinates]\nWidth=600\n");
    EXPECT_GT(LoadDialogLayout(file, Screen, 0).Width, 0);
    WriteFile(file, "[Coordinates]\nWidth=600\n" + QByteArray(2 * 1024 * 1024, 'x'));
    EXPECT_EQ(LoadDialogLayout(file, Screen, 0).Width, 745);

    // A width beyond the screen is cut to it.
    WriteFile(file, "[Coordinates]\nWidth=5000\nHeight=3000\n");
    layout = LoadDialogLayout(file, Screen, 34);
    EXPECT_EQ(layout.Width, 1280);
    EXPECT_EQ(layout.Height, 1024 - 34);
    EXPECT_EQ(layout.Left, 0);
    EXPECT_EQ(layout.Top, 0);
}

TEST(DialogLayout, UnwritableFilesAreIgnored) {
    QTemporaryDir dir;
    // The "folder" is a plain file: nothing can be created under it.
    const QString blocker = dir.filePath("blocker");
    WriteFile(blocker, "x");
    TDialogLayout layout;
    layout.WidthRecorded = true;
    SaveDialogLayout(blocker + "/OstrelLog.ini", layout);
    SaveColumnWidths(blocker + "/OstrelLog.ini", layout);
    EXPECT_EQ(LoadDialogLayout(blocker + "/OstrelLog.ini", Screen, 0).Width, 745);
}
