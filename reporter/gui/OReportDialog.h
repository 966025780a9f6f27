#pragma once
// The report dialog: a compact form with the exception's message, and a details form with tabbed pages
// (General, Call Stack, Modules, CPU, Other). OK closes it; Terminate (or Restart) asks the report
// sequence to end the program; the check boxes say whether the report goes out, with a screenshot, and
// whether it is copied to the clipboard. The details form keeps its size and position and the list
// pages their column widths in the layout file.
#include "reporter/gui/ODialogContent.h"
#include "reporter/gui/ODialogFonts.h"
#include "reporter/gui/ODialogLayout.h"

#include <QDialog>
#include <QPointer>
#include <QRect>

#include <functional>

class QCheckBox;
class QLabel;
class QPushButton;
class QTabBar;
class QTimer;
class QWidget;

namespace reporter {

class TCustomCaption;
class TReportPage;

class TReportDialog final : public QDialog {
    Q_OBJECT
public:
    // The state gives the check boxes their first states and receives the user's choices when the
    // dialog ends.
    TReportDialog(const TReportDialogContent& content, TReportDialogState& state, QString layoutFile,
                  QWidget* parent = nullptr);
    ~TReportDialog() override;

    // Switches between the compact form (show false) and the details form.
    void ResizeDetails(bool show);
    // Replaces the current page by the page of that number.
    void CreateTabPages(int page);

    bool Painted() const { return m_painted; }
    bool DetailsShown() const { return m_detailsShown; }
    const TDialogAvailability& Availability() const { return m_available; }
    const TDialogLayout& Layout() const { return m_layout; }
    int BottomHeight() const { return m_available.BottomHeight; }
    TReportPage* CurrentPage() const { return m_page; }
    QPushButton* OkButton() const { return m_ok; }
    QPushButton* TerminateButton() const { return m_terminate; }
    QPushButton* DetailsButton() const { return m_details; }
    QCheckBox* SendBox() const { return m_send; }
    QCheckBox* ScreenshotBox() const { return m_screenshot; }
    QCheckBox* ClipboardBox() const { return m_clipboard; }
    QLabel* MessageLine() const { return m_message; }
    QLabel* SupportLink() const { return m_link; }
    QTabBar* Tabs() const { return m_tabs; }
    bool Topmost() const { return m_topmost; }
    // The own caption bar (DialogFlags bit 0x80), else nullptr.
    TCustomCaption* Caption() const { return m_caption; }

    // The auto-close timer's tick (1000 ms); set before the dialog shows.
    void SetAutoCloseInterval(int milliseconds) { m_autoCloseInterval = milliseconds; }
    int AutoCloseCount() const { return m_autoCloseCount; }
    // Opens the support page; the desktop's handler unless replaced.
    std::function<void(const QString& url)> OpenUrl;

    void done(int result) override;
    void reject() override;

protected:
    void showEvent(QShowEvent* event) override;
    void paintEvent(QPaintEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;
    void moveEvent(QMoveEvent* event) override;
    void closeEvent(QCloseEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void BuildControls();
    void LayoutControls();
    void OnOk();
    void OnTerminate();
    void OnDetails();
    void OnTabChanged(int tab);
    void OnFirstTick();
    void OnAutoCloseTick();
    void OnStayInFront();
    void OnSupportLink();
    void RecordState();
    // The end of the dialog: the choices go to the state, the page and the layout are saved.
    void Finish();
    int ButtonWidth() const;
    QSize ScreenSize() const;

    const TReportDialogContent& m_content;
    TReportDialogState& m_state;
    QString m_layoutFile;
    TDialogFonts m_fonts;
    TDialogAvailability m_available;
    TDialogLayout m_layout;
    bool m_painted = false;
    bool m_detailsShown = false;
    bool m_topmost = false;
    bool m_ended = false;
    bool m_modulesShown = false;
    bool m_cpuShown = false;
    bool m_customShown = false;
    bool m_applyingLayout = false;
    int m_autoCloseInterval = 1000;
    int m_autoCloseCount = 0;
    int m_rowHeight = 16; // of the check boxes under the buttons
    QRect m_compactMessage;

    TCustomCaption* m_caption = nullptr;
    QLabel* m_message = nullptr;
    QWidget* m_tabArea = nullptr;
    QTabBar* m_tabs = nullptr;
    TReportPage* m_page = nullptr;
    QPushButton* m_ok = nullptr;
    QPushButton* m_terminate = nullptr;
    QPushButton* m_details = nullptr;
    QCheckBox* m_send = nullptr;
    QCheckBox* m_screenshot = nullptr;
    QCheckBox* m_clipboard = nullptr;
    QLabel* m_link = nullptr;
    QTimer* m_autoClose = nullptr;
    QTimer* m_stayInFront = nullptr;
    QList<QPointer<QWidget>> m_processWindows;
};

} // namespace reporter
