#pragma once
// The date pop-up of the date presets: a borderless month calendar. A click in the day area that changes
// the date closes it with mrOk; browsing to another month does not count as a choice; Escape cancels.
#include "classlib/DateUtils.h"
#include <QDialog>

class QCalendarWidget;
class QPushButton;

class TfrmDateEditor : public QDialog {
    Q_OBJECT

public:
    explicit TfrmDateEditor(QWidget* owner = nullptr);

    // The calendar's date (the date part only); writing sets the calendar and LastDate.
    TDateTime Date() const;
    void SetDate(TDateTime value);
    TDateTime LastDate() const { return m_lastDate; }

    QCalendarWidget* MonthCalendar1 = nullptr;
    QPushButton* Button1 = nullptr;

    // A click at pos (calendar coordinates): the day area lies more than 50 pixels below the top.
    void MonthCalendar1Click(const QPoint& pos);
    // The calendar shows another month.
    void MonthCalendar1GetMonthInfo();

private:
    TDateTime m_lastDate = 0;
};
