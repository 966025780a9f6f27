// What a report tells of the control with the focus: its class, its text, and a hidden text hidden.
#include "reporter/gui/OQtWindows.h"

#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QTextEdit>
#include <gtest/gtest.h>

using namespace reporter;

TEST(FocusedControl, ClassTextAndPasswordOfEachKindOfControl) {
    std::string className;
    std::string text;
    bool password = true;
    QLineEdit edit;
    edit.setText("visible");
    DescribeControl(edit, className, text, password);
    EXPECT_EQ(className, "QLineEdit");
    EXPECT_EQ(text, "visible");
    EXPECT_FALSE(password);
    for (const QLineEdit::EchoMode hidden :
         {QLineEdit::Password, QLineEdit::NoEcho, QLineEdit::PasswordEchoOnEdit}) {
        edit.setEchoMode(hidden);
        DescribeControl(edit, className, text, password);
        EXPECT_TRUE(password) << hidden;
    }
    QPushButton button("Send");
    DescribeControl(button, className, text, password);
    EXPECT_EQ(className, "QPushButton");
    EXPECT_EQ(text, "Send");
    EXPECT_FALSE(password);
    QComboBox combo;
    combo.addItems({"COM1", "COM2"});
    combo.setCurrentIndex(1);
    DescribeControl(combo, className, text, password);
    EXPECT_EQ(text, "COM2");
    QLabel label(QString(300, QChar('x')));
    DescribeControl(label, className, text, password);
    EXPECT_EQ(text.size(), 256u); // as long as a window text may be
    // Text documents: the start of what their plain text shows, as long as a window text may be.
    QPlainTextEdit log;
    for (int line = 0; line < 40; ++line)
        log.appendPlainText(QString("line %1\u00a0of the log").arg(line));
    DescribeControl(log, className, text, password);
    EXPECT_EQ(className, "QPlainTextEdit");
    EXPECT_EQ(text, log.toPlainText().left(256).toStdString());
    QTextEdit rich;
    rich.setHtml("<p>first</p><p>second<br>third&nbsp;part</p>");
    DescribeControl(rich, className, text, password);
    EXPECT_EQ(text, "first\nsecond\nthird part");
    EXPECT_EQ(text, rich.toPlainText().toStdString());
    QWidget plain;
    DescribeControl(plain, className, text, password);
    EXPECT_EQ(className, "QWidget");
    EXPECT_EQ(text, "");
}
