#pragma once
// The pages of the report dialog's tabs: General and CPU (the report texts in colour), Call Stack and
// Modules (list pages on a row store), and Custom data (plain text). Each page has a heading and one
// control; a page is made when its tab is chosen and destroyed when another one is.
#include "reporter/gui/ODialogContent.h"
#include "reporter/gui/ODialogFonts.h"
#include "reporter/gui/ODialogLayout.h"
#include "reporter/gui/OListViewItems.h"

#include <QWidget>

#include <memory>

class QLabel;
class QTreeWidget;

namespace reporter {

class TReportPage : public QWidget {
    Q_OBJECT
public:
    TReportPage(int page, const TDialogFonts& fonts, QWidget* parent);
    int Page() const { return m_page; }
    QLabel* Heading() const { return m_heading; }
    QWidget* Control() const { return m_control; }

protected:
    void resizeEvent(QResizeEvent* event) override;
    void SetControl(QWidget* control);

private:
    int m_page;
    QLabel* m_heading;
    QWidget* m_control = nullptr;
};

// Call Stack or Modules: the row store on a list; the column widths go back to the layout (and its
// file) when the page closes.
class TListPage final : public TReportPage {
    Q_OBJECT
public:
    TListPage(int page, const TReportDialogContent& content, const TDialogFonts& fonts, TDialogLayout& layout,
              QString layoutFile, QWidget* parent);
    ~TListPage() override;
    QTreeWidget* List() const { return m_list; }
    TListViewItems& Store() { return *m_store; }

    // A click toggles the header under the pointer when it hits the plus/minus box.
    void ClickItem(int itemIndex, QPoint pointInItem);
    // Double click or Enter: a row without a line number (a header) toggles.
    void ActivateItem(int itemIndex);

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void StoreWidths();
    QTreeWidget* m_list;
    std::unique_ptr<TListViewItems> m_store;
    TDialogLayout& m_layout;
    QString m_layoutFile;
};

// Makes the page; nullptr for an unknown page number.
TReportPage* CreateReportPage(int page, const TReportDialogContent& content, const TDialogFonts& fonts,
                              TDialogLayout& layout, const QString& layoutFile, QWidget* parent);

} // namespace reporter
