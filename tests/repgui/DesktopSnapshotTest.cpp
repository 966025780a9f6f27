// A report made while the GUI thread stands still (it faulted, or froze) tells the window, the control and
// the screen the user saw last, from the snapshot the GUI thread kept, and never waits for that thread.
#include "OGeneralSection.h"
#include "OOptions.h"
#include "OReporterState.h"
#include "OThreadState.h"
#include "reporter/gui/OOstrelGui.h"

#include <QApplication>
#include <QComboBox>
#include <QDialog>
#include <QLineEdit>
#include <QMainWindow>
#include <QPlainTextEdit>
#include <QTest>
#include <QTextEdit>
#include <QVBoxLayout>
#include <gtest/gtest.h>

#include <future>
#include <memory>
#include <thread>

using namespace reporter;

namespace {

struct TAnswers {
    std::string FormClass;
    std::string FormText;
    std::string ControlClass;
    std::string ControlText;
    std::string DisplayMode;
    bool operator==(const TAnswers&) const = default;
};

std::ostream& operator<<(std::ostream& out, const TAnswers& a) {
    return out << "{" << a.FormClass << "|" << a.FormText << "|" << a.ControlClass << "|" << a.ControlText
               << "|" << a.DisplayMode << "}";
}

TAnswers AskTheCore() {
    TAnswers a;
    GetForegroundWindowInfo(a.FormClass, a.FormText);
    GetFocusedControlInfo(a.ControlClass, a.ControlText);
    a.DisplayMode = GetDisplayModeText();
    return a;
}

// The GUI thread counts as standing still while the scope lasts, as during the report of its fault.
struct TGuiStopped {
    TGuiStopped() { SetStoppedThreadId(GuiThreadId()); }
    ~TGuiStopped() { SetStoppedThreadId(0); }
};

TAnswers AskWhileGuiStopped() {
    const TGuiStopped stopped;
    return AskTheCore();
}

// The live answers and those of the snapshot agree.
TAnswers AskBothWays() {
    const TAnswers live = AskTheCore();
    const TAnswers kept = AskWhileGuiStopped();
    EXPECT_EQ(kept, live);
    return kept;
}

std::string FieldValue(const std::string& text, const std::string& number) {
    const size_t at = text.find("  " + number + " ");
    if (at == std::string::npos)
        return std::string();
    const std::string line = text.substr(at, text.find("\r\n", at) - at);
    const size_t colon = line.find(": ");
    return colon == std::string::npos ? std::string() : line.substr(colon + 2);
}

// The toolkit's own wait counts a dialog active with its parent: this waits for the window itself.
bool Activate(QWidget& window) {
    window.show();
    window.activateWindow();
    return QTest::qWaitFor([&] { return QApplication::activeWindow() == &window; }, 2000);
}

} // namespace

TEST(DesktopSnapshot, TellsWhatTheGuiShowedLastWhileItStandsStill) {
    TOstrelGui gui;
    ASSERT_EQ(GuiThreadId(), CurrentThreadId()); // else "stopped" would stop nothing
    ASSERT_EQ(QApplication::activeWindow(), nullptr);
    const std::string display = GetDisplayModeText();
    ASSERT_FALSE(display.empty());
    // No window, no focus: "none" either way.
    EXPECT_EQ(AskBothWays(), (TAnswers{"", "", "", "", display}));

    auto main = std::make_unique<QMainWindow>();
    main->setWindowTitle("Vexa Daxo Soft");
    auto* central = new QWidget(main.get());
    auto* port = new QLineEdit(central);
    auto* baud = new QComboBox(central);
    baud->addItems({"9600", "19200"});
    auto* layout = new QVBoxLayout(central);
    layout->addWidget(port);
    layout->addWidget(baud);
    main->setCentralWidget(central);
    ASSERT_TRUE(Activate(*main));
    port->setFocus();
    QTest::keyClicks(port, "COM3");
    EXPECT_EQ(AskBothWays(), (TAnswers{"QMainWindow", "Vexa Daxo Soft", "QLineEdit", "COM3", display}));

    main->setWindowTitle("Vexa Daxo Soft - bus 2");
    EXPECT_EQ(AskBothWays().FormText, "Vexa Daxo Soft - bus 2");
    baud->setFocus();
    baud->setCurrentIndex(1);
    EXPECT_EQ(AskBothWays(),
              (TAnswers{"QMainWindow", "Vexa Daxo Soft - bus 2", "QComboBox", "19200", display}));

    // Another window takes the focus: its controls are followed, a hidden text stays hidden.
    auto login = std::make_unique<QDialog>();
    login->setWindowTitle("Log in");
    auto* password = new QLineEdit(login.get());
    password->setEchoMode(QLineEdit::Password);
    auto* notes = new QPlainTextEdit(login.get());
    auto* loginLayout = new QVBoxLayout(login.get());
    loginLayout->addWidget(password);
    loginLayout->addWidget(notes);
    auto* remark = new QTextEdit(login.get());
    loginLayout->addWidget(remark);
    ASSERT_TRUE(Activate(*login));
    password->setFocus();
    QTest::keyClicks(password, "s3cr");
    password->insert(QString::fromUtf8("\xc3\xa9t")); // one star for the two bytes of the accent
    EXPECT_EQ(AskBothWays(), (TAnswers{"QDialog", "Log in", "QLineEdit", "******", display}));
    notes->setFocus();
    QTest::keyClicks(notes, "line one");
    notes->appendPlainText("line two");
    EXPECT_EQ(AskBothWays(), (TAnswers{"QDialog", "Log in", "QPlainTextEdit", "line one line two", display}));

    remark->setFocus();
    QTest::keyClicks(remark, "ok");
    EXPECT_EQ(AskBothWays(), (TAnswers{"QDialog", "Log in", "QTextEdit", "ok", display}));

    // Back to the first window: the focus it kept is told again.
    login.reset();
    ASSERT_TRUE(Activate(*main));
    EXPECT_EQ(AskBothWays().ControlClass, "QComboBox");

    // A General section built meanwhile has its window, control and display fields.
    {
        const TGuiStopped stopped;
        TOstrelModuleOptions options("", false);
        TGeneralSectionParams params;
        GetFocusedControlInfo(params.ControlClass, params.ControlText);
        params.MainModule = TMainModuleFacts{};
        const std::string text = BuildGeneralSection(options, params).Text;
        EXPECT_EQ(FieldValue(text, "3.1"), "QMainWindow");
        EXPECT_EQ(FieldValue(text, "3.2"), "Vexa Daxo Soft - bus 2");
        EXPECT_EQ(FieldValue(text, "3.3"), "QComboBox");
        EXPECT_EQ(FieldValue(text, "3.4"), "19200");
        EXPECT_EQ(FieldValue(text, "4.9"), display);
    }

    main.reset();
    ASSERT_TRUE(QTest::qWaitFor([] { return QApplication::activeWindow() == nullptr; }, 2000));
    EXPECT_EQ(AskBothWays(), (TAnswers{"", "", "", "", display}));
}

TEST(DesktopSnapshot, KeptAnswersNeverWaitLongForTheGuiThread) {
    TDesktopFactsStore store(std::chrono::milliseconds(20));
    TDesktopFacts facts;
    facts.HasControl = true;
    facts.ControlClass = "QLineEdit";
    facts.ControlText = "COM3";
    store.Publish(facts);
    TQtOstrelDesktop desktop(&store, std::chrono::milliseconds(20));
    std::string className;
    std::string text;
    bool password = false;
    // A GUI thread that does not answer (here it waits for the asker): the kept answer after the wait.
    std::thread([&] { desktop.GetFocusedControl(className, text, password); }).join();
    EXPECT_EQ(className, "QLineEdit");
    EXPECT_EQ(text, "COM3");
    QCoreApplication::processEvents(); // the cancelled call finds nothing to do

    // A writer stopped while holding the lock: the reader gives up after its bound.
    std::promise<void> holding;
    std::promise<void> release;
    std::thread writer([&] {
        const auto lock = store.Hold();
        holding.set_value();
        release.get_future().wait();
    });
    holding.get_future().wait();
    EXPECT_FALSE(store.Read().has_value());
    SetGuiThreadId(CurrentThreadId());
    {
        const TGuiStopped stopped;
        className.clear();
        EXPECT_FALSE(desktop.GetFocusedControl(className, text, password));
        EXPECT_EQ(className, "");
    }
    SetGuiThreadId(0);
    release.set_value();
    writer.join();
    ASSERT_TRUE(store.Read().has_value());
    EXPECT_EQ(store.Read()->ControlText, "COM3");
}
