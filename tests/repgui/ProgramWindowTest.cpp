// The program's window facts reach the helper through its environment: what the GUI thread kept comes
// out as it went in, and damaged values are dropped rather than used.
#include "reporter/gui/ODesktopFacts.h"
#include "reporter/gui/OOstrelGui.h"
#include "reporter/gui/OProgramWindow.h"

#include <QDialog>
#include <QMainWindow>
#include <QPixmap>
#include <QTest>
#include <QWindow>

#include <cstdlib>
#include <gtest/gtest.h>
#include <string>
#include <vector>

using namespace reporter;

namespace {

// Puts the lines into the environment for the scope, and takes them out again.
struct TEnvironment {
    explicit TEnvironment(const std::vector<std::string>& lines) {
        for (const std::string& line : lines) {
            const size_t equals = line.find('=');
            Names.push_back(line.substr(0, equals));
            ::setenv(Names.back().c_str(), line.substr(equals + 1).c_str(), 1);
        }
    }
    ~TEnvironment() {
        for (const std::string& name : Names)
            ::unsetenv(name.c_str());
    }
    std::vector<std::string> Names;
};

TEST(ProgramWindow, TheFactsGoThroughTheEnvironmentAndDamageIsDropped) {
    TDesktopFactsStore store;
    TDesktopFacts facts;
    facts.WindowId = 0x400010;
    facts.HasControlRect = true;
    facts.ControlX = -5;
    facts.ControlY = 20;
    facts.ControlWidth = 65;
    facts.ControlHeight = 52;
    facts.WindowInstance = "vexadaxo";
    facts.WindowClassName = "Vexa Daxo Soft";
    QPixmap icon(16, 16);
    icon.fill(Qt::red);
    facts.IconPng = IconAsPng(QIcon(icon));
    ASSERT_FALSE(facts.IconPng.empty());
    store.Publish(facts);
    TDesktopFactsStore::SetProgramStore(&store);
    const std::vector<std::string> lines = ProgramWindowEnvironment();
    TDesktopFactsStore::SetProgramStore(nullptr);
    ASSERT_EQ(lines.size(), 5u);
    for (const std::string& line : lines)
        EXPECT_TRUE(IsProgramWindowVariable(line.c_str())) << line;
    EXPECT_FALSE(IsProgramWindowVariable("OSTREL_PARENT_WINDOWS=1"));
    {
        const TEnvironment environment(lines);
        const TProgramWindow program = ProgramWindowFromEnvironment();
        EXPECT_EQ(program.Parent, 0x400010u);
        ASSERT_TRUE(program.Focus.has_value());
        EXPECT_EQ(*program.Focus, QRect(-5, 20, 65, 52));
        EXPECT_EQ(program.Class, "Vexa Daxo Soft");
        ASSERT_FALSE(program.Icon.isNull());
        EXPECT_EQ(program.Icon.pixmap(16, 16).toImage().pixelColor(8, 8), QColor(Qt::red));
    }
    const struct {
        const char* Parent;
        const char* Focus;
        const char* Icon;
    } damaged[] = {{"window", "1,2,3", "not base64!"},
                   {"-", "a,b,c,d", "aGVsbG8="}, // base64, but no PNG
                   {"", "1,2,0,4", ""},          // an empty rectangle
                   {"99999999999999999999999", "1,2,3,4,5", "="}};
    for (const auto& d : damaged) {
        SCOPED_TRACE(d.Focus);
        const TEnvironment environment({std::string("OSTREL_PARENT_WINDOW=") + d.Parent,
                                        std::string("OSTREL_FOCUS_RECT=") + d.Focus,
                                        std::string("OSTREL_WINDOW_ICON=") + d.Icon});
        const TProgramWindow program = ProgramWindowFromEnvironment();
        EXPECT_EQ(program.Parent, 0u);
        EXPECT_FALSE(program.Focus.has_value());
        EXPECT_TRUE(program.Icon.isNull());
    }
}

// The helper's dialogs belong to the program's main window whichever of its windows is active; its
// screenshot of the foreground window takes the active one.
TEST(ProgramWindow, TheParentIsTheMainWindowWhicheverWindowIsActive) {
    TOstrelGui gui;
    QMainWindow main;
    main.setGeometry(40, 50, 300, 200);
    QDialog other;
    other.setGeometry(400, 60, 150, 120);
    main.show();
    other.show();
    for (QWidget* active : std::initializer_list<QWidget*>{&main, &other, &main}) {
        SCOPED_TRACE(active == &main ? "main window active" : "another window active");
        active->activateWindow();
        ASSERT_TRUE(QTest::qWaitForWindowActive(active));
        const TEnvironment environment(ProgramWindowEnvironment());
        const TProgramWindow program = ProgramWindowFromEnvironment();
        EXPECT_EQ(program.Parent, uint64_t(main.winId()));
        ASSERT_TRUE(program.Window.has_value());
        EXPECT_EQ(*program.Window, active->frameGeometry());
    }
}

// Another program's window in front, then the program minimised: the helper gets no place of the
// program's window to take a picture of (it would show the other programs' windows), also not of the
// dialog of the program's that was active last.
TEST(ProgramWindow, AMinimisedProgramGivesTheHelperNoPlaceOfItsWindow) {
    TOstrelGui gui;
    QMainWindow main;
    main.setGeometry(40, 50, 300, 200);
    QDialog dialog(&main);
    dialog.setGeometry(400, 60, 150, 120);
    main.show();
    dialog.show();
    dialog.activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(&dialog));
    QWindow other; // stands for another program's window
    other.setGeometry(600, 450, 80, 60);
    other.show();
    other.requestActivate();
    ASSERT_TRUE(QTest::qWaitForWindowActive(&other));
    {
        const TEnvironment environment(ProgramWindowEnvironment());
        const TProgramWindow program = ProgramWindowFromEnvironment();
        ASSERT_TRUE(program.Window.has_value());
        EXPECT_EQ(*program.Window, dialog.frameGeometry());
    }
    main.showMinimized();
    QTRY_VERIFY(main.isMinimized());
    const TEnvironment environment(ProgramWindowEnvironment());
    EXPECT_FALSE(ProgramWindowFromEnvironment().Window.has_value());
}

} // namespace
