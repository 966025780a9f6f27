#include "inspector/RSTDateEditor.h"
#include <QCalendarWidget>
#include <QCursor>
#include <QPushButton>

namespace {

constexpr int kHeaderHeight = 50;

} // namespace

TfrmDateEditor::TfrmDateEditor(QWidget* owner) : QDialog(owner, Qt::Dialog | Qt::FramelessWindowHint) {
    setObjectName(QStringLiteral("frmDateEditor"));
    setFixedSize(234, 186);
    QFont f(QStringLiteral("MS Sans Serif"));
    f.setPixelSize(13);
    setFont(f);
    // The cancel button lies under the calendar: it only gives Escape its meaning.
    Button1 = new QPushButton(QStringLiteral("Button1"), this);
    Button1->setObjectName(QStringLiteral("Button1"));
    Button1->setGeometry(0, 0, 75, 25);
    connect(Button1, &QPushButton::clicked, this, &QDialog::reject);
    MonthCalendar1 = new QCalendarWidget(this);
    MonthCalendar1->setObjectName(QStringLiteral("MonthCalendar1"));
    MonthCalendar1->setGeometry(rect());
    MonthCalendar1->raise();
    connect(MonthCalendar1, &QCalendarWidget::clicked, this,
            [this](QDate) { MonthCalendar1Click(MonthCalendar1->mapFromGlobal(QCursor::pos())); });
    connect(MonthCalendar1, &QCalendarWidget::currentPageChanged, this,
            [this](int, int) { MonthCalendar1GetMonthInfo(); });
    SetDate(Now());
}

TDateTime TfrmDateEditor::Date() const {
    return EncodeDateTime(QDateTime(MonthCalendar1->selectedDate(), QTime(0, 0)));
}

void TfrmDateEditor::SetDate(TDateTime value) {
    const QDate date = DecodeDateTime(value).date();
    MonthCalendar1->setSelectedDate(date);
    MonthCalendar1->setCurrentPage(date.year(), date.month());
    m_lastDate = Date();
}

void TfrmDateEditor::MonthCalendar1Click(const QPoint& pos) {
    if (pos.y() > kHeaderHeight && Date() != m_lastDate)
        done(QDialog::Accepted);
}

void TfrmDateEditor::MonthCalendar1GetMonthInfo() {
    m_lastDate = Date();
}
