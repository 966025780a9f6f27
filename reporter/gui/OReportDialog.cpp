#include "reporter/gui/OReportDialog.h"

#include "reporter/gui/OCustomCaption.h"
#include "reporter/gui/OReportPages.h"

#include <QApplication>
#include <QCheckBox>
#include <QCloseEvent>
#include <QDesktopServices>
#include <QFontMetrics>
#include <QLabel>
#include <QPainter>
#include <QPushButton>
#include <QScreen>
#include <QStyle>
#include <QTabBar>
#include <QTimer>
#include <QUrl>

#include <algorithm>

namespace reporter {

namespace {

QString Q(const std::string& text) {
    return QString::fromStdString(text);
}

// Client size the details layout is drawn for; everything grows with the difference.
constexpr int BaseClientWidth = 466;
constexpr int BaseClientHeight = 252;
constexpr int CompactMaxWidth = 640;
constexpr int CompactMinWidth = 250;
constexpr int CompactMargins = 60;
constexpr int IconSize = 32;
// The clipboard box keeps this much room to the right edge, a little more than the Details button.
constexpr int ClipboardRightMargin = 9;

bool IsUserActivity(QEvent::Type type) {
    switch (type) {
    case QEvent::MouseButtonPress:
    case QEvent::MouseButtonDblClick:
    case QEvent::NonClientAreaMouseButtonPress:
    case QEvent::KeyPress:
    case QEvent::Wheel:
        return true;
    default:
        return false;
    }
}

} // namespace

TReportDialog::TReportDialog(const TReportDialogContent& content, TReportDialogState& state,
                             QString layoutFile, QWidget* parent)
    : QDialog(parent), m_content(content), m_state(state), m_layoutFile(std::move(layoutFile)),
      m_fonts(CreateDialogFonts()) {
    setObjectName(QStringLiteral("OL_DIALOG"));
    const TDialogOptions& options = content.Options;
    m_topmost = options.DialogFlags & 0x40;
    if (m_topmost)
        setWindowFlag(Qt::WindowStaysOnTopHint, true);
    m_caption = ApplyCaptionStyle(
        this, options.DialogFlags, m_fonts.Caption, [this] { return m_detailsShown; }, false, true);
    m_available = GetDialogAvailability(options, content.Duplicate);
    m_modulesShown = options.LogFlags & 0x10;
    m_cpuShown = options.LogFlags & 0x20;
    m_customShown = !content.CustomDataText.empty();
    if (options.DialogFlags & 0x80) {
        QPalette p = palette();
        p.setColor(QPalette::Window, QColor(212, 208, 200));
        setPalette(p);
    }
    OpenUrl = [](const QString& url) { QDesktopServices::openUrl(QUrl(url)); };
    BuildControls();

    setWindowTitle(Q(options.GetText(2)));
    const int firstPage = FirstDialogPage(options, m_customShown);
    m_ok->setFocus();
    CreateTabPages(firstPage);
    {
        const QSignalBlocker block(m_tabs);
        m_tabs->setCurrentIndex(TabOfPage(firstPage, m_modulesShown, m_cpuShown));
    }
    ResizeDetails(options.DialogFlags & 0x20);

    m_autoClose = new QTimer(this);
    connect(m_autoClose, &QTimer::timeout, this, &TReportDialog::OnAutoCloseTick);
    m_stayInFront = new QTimer(this);
    m_stayInFront->setInterval(10);
    connect(m_stayInFront, &QTimer::timeout, this, &TReportDialog::OnStayInFront);
    qApp->installEventFilter(this);
}

TReportDialog::~TReportDialog() {
    qApp->removeEventFilter(this);
    Finish();
}

void TReportDialog::BuildControls() {
    const TDialogOptions& options = m_content.Options;
    m_message = new QLabel(this);
    m_message->setObjectName(QStringLiteral("lbMessage"));
    m_message->setTextFormat(Qt::PlainText); // the message is outside text: markup in it stays text
    m_message->setAlignment(Qt::AlignHCenter | Qt::AlignTop);
    m_message->setWordWrap(true);
    m_message->setFont(m_fonts.Message);

    m_tabArea = new QWidget(this);
    m_tabArea->setObjectName(QStringLiteral("tabControl"));
    m_tabs = new QTabBar(m_tabArea);
    m_tabs->setFont(m_fonts.Message);
    m_tabs->setExpanding(false);
    m_tabs->addTab(Q(options.GetText(4)));
    m_tabs->addTab(Q(options.GetText(6)));
    if (m_modulesShown)
        m_tabs->addTab(Q(options.GetText(8)));
    if (m_cpuShown)
        m_tabs->addTab(Q(options.GetText(10)));
    if (m_customShown)
        m_tabs->addTab(Q(options.GetText(12)));
    connect(m_tabs, &QTabBar::currentChanged, this, &TReportDialog::OnTabChanged);

    m_ok = new QPushButton(Q(options.GetText(14)), this);
    m_ok->setObjectName(QStringLiteral("btOK"));
    m_ok->setDefault(true);
    m_terminate = new QPushButton(Q(options.GetText(options.TerminateAction == 0 ? 15 : 16)), this);
    m_terminate->setObjectName(QStringLiteral("btTerminate"));
    m_details = new QPushButton(this);
    m_details->setObjectName(QStringLiteral("btDetails"));
    for (QPushButton* button : {m_ok, m_terminate, m_details}) {
        button->setFont(m_fonts.Message);
        button->setAutoDefault(false);
    }
    m_ok->setDefault(true);
    connect(m_ok, &QPushButton::clicked, this, &TReportDialog::OnOk);
    connect(m_terminate, &QPushButton::clicked, this, &TReportDialog::OnTerminate);
    connect(m_details, &QPushButton::clicked, this, &TReportDialog::OnDetails);
    m_terminate->setVisible(options.DialogCountCheck && options.DialogCountLimit < m_content.ReportsShown);
    m_details->setVisible(options.DialogFlags & 0x10);

    m_send = new QCheckBox(Q(options.GetText(18)), this);
    m_send->setObjectName(QStringLiteral("cbSend"));
    m_screenshot = new QCheckBox(Q(options.GetText(19)), this);
    m_screenshot->setObjectName(QStringLiteral("cbScreenshot"));
    m_clipboard = new QCheckBox(Q(options.GetText(20)), this);
    m_clipboard->setObjectName(QStringLiteral("cbClipboard"));
    m_clipboard->setLayoutDirection(Qt::RightToLeft);
    for (QCheckBox* box : {m_send, m_screenshot, m_clipboard})
        box->setFont(m_fonts.Message);
    m_send->setChecked(m_state.SendChecked && (options.DialogFlags & 0x02));
    m_screenshot->setEnabled(m_send->isChecked());
    m_screenshot->setChecked(m_state.ScreenshotChecked && (options.DialogFlags & 0x04));
    m_clipboard->setChecked(false);
    m_send->setVisible(m_available.Send);
    m_screenshot->setVisible(m_available.Send && m_available.Screenshot);
    m_clipboard->setVisible(m_available.Clipboard);
    connect(m_send, &QCheckBox::toggled, m_screenshot, &QCheckBox::setEnabled);
    // The band under the buttons holds its rows of check boxes whole in the dialog's font (rows of 16
    // pixels give its bands of 20 and 34).
    m_rowHeight = std::max(16, m_send->sizeHint().height());
    if (m_available.BottomHeight == 34)
        m_available.BottomHeight = 2 * m_rowHeight + 2;
    else if (m_available.BottomHeight == 20)
        m_available.BottomHeight = m_rowHeight + 4;

    m_link = new QLabel(this);
    m_link->setObjectName(QStringLiteral("lbSupportLink"));
    m_link->setFont(m_fonts.Link);
    m_link->setTextFormat(Qt::RichText);
    m_link->setText(QStringLiteral("<a href=\"support\" style=\"color:#000080;\">%1</a>")
                        .arg(Q(options.GetText(21)).toHtmlEscaped()));
    m_link->setCursor(Qt::PointingHandCursor);
    m_link->setVisible(m_available.SupportLink);
    connect(m_link, &QLabel::linkActivated, this, [this] { OnSupportLink(); });
}

QSize TReportDialog::ScreenSize() const {
    QScreen* s = screen() ? screen() : QGuiApplication::primaryScreen();
    return s ? s->availableGeometry().size() : QSize();
}

int TReportDialog::ButtonWidth() const {
    const QFontMetrics metrics(m_fonts.Message);
    int width = 75;
    for (int text : {14, 15, 16, 17})
        width =
            std::max(width, metrics.horizontalAdvance(Q(m_content.Options.GetText(text)) + QLatin1Char('O')));
    return width;
}

void TReportDialog::ResizeDetails(bool show) {
    const TDialogOptions& options = m_content.Options;
    const int bottom = m_available.BottomHeight;
    m_applyingLayout = true;
    m_detailsShown = show;
    if (!show && (windowState() & Qt::WindowMaximized))
        setWindowState(windowState() & ~Qt::WindowMaximized);
    if (show) {
        m_details->setText(QStringLiteral("<< ") + Q(options.GetText(17)));
        m_message->setText(Q(options.GetText(3)));
        m_layout = LoadDialogLayout(m_layoutFile, ScreenSize(), bottom);
        setMinimumSize(0, 0);
        setMaximumSize(QWIDGETSIZE_MAX, QWIDGETSIZE_MAX);
        m_tabArea->show();
        move(m_layout.Left, m_layout.Top);
        resize(WindowSizeFor(QSize(m_layout.Width, m_layout.Height + bottom), m_caption));
        if (m_layout.WindowsState == WindowsStateMaximized)
            setWindowState(windowState() | Qt::WindowMaximized);
        else if (m_layout.WindowsState == WindowsStateMinimized)
            setWindowState(windowState() | Qt::WindowMinimized);
    } else {
        m_details->setText(Q(options.GetText(17)) + QStringLiteral(" >>"));
        const QString message = Q(m_content.ExceptionMessage);
        m_message->setText(message);
        // Room for the message: lines wider than the form's limit wrap and take more lines.
        const QFontMetrics metrics(m_fonts.Message);
        QStringList lines =
            QString(message).replace(QStringLiteral("\r\n"), QStringLiteral("\n")).split('\n');
        lines << Q(options.GetText(18)) + QStringLiteral("    ") + Q(options.GetText(20));
        const int limit = CompactMaxWidth - CompactMargins;
        int w = 0;
        int h = 0;
        for (QString line : lines) {
            if (line.isEmpty())
                line = QStringLiteral(" ");
            const int lineWidth = metrics.horizontalAdvance(line);
            const int lineHeight = metrics.height();
            if (lineWidth > w) {
                w = lineWidth + 16;
                if (w > limit) {
                    h += ((w - limit) / limit + 1) * lineHeight;
                    w = limit;
                }
            }
            h += lineHeight;
        }
        // The rows under the buttons keep both their ends apart: a check box and the box or link across.
        const auto row = [](int left, const QWidget* start, const QWidget* end) {
            return left + start->sizeHint().width() + 8 + end->sizeHint().width() + 4;
        };
        int rows = 0;
        const QWidget* firstEnd = nullptr;
        if (m_available.Clipboard)
            firstEnd = m_clipboard;
        else if (m_available.SupportLink)
            firstEnd = m_link;
        if (m_available.Send && firstEnd != nullptr)
            rows = row(4, m_send, firstEnd);
        if (m_available.Send && m_available.Screenshot && m_available.Clipboard && m_available.SupportLink)
            rows = std::max(rows, row(23, m_screenshot, m_link));
        const int width = std::max({w + CompactMargins, CompactMinWidth, rows});
        m_compactMessage = QRect(48, 8, width - CompactMargins, h);
        h = h > 39 ? h - 39 : 0;
        const int height = h + 88;
        m_tabArea->hide();
        const QSize window = WindowSizeFor(QSize(width, height + bottom), m_caption);
        resize(window);
        const QSize screenSize = ScreenSize();
        move(std::max(0, (screenSize.width() - window.width()) / 2),
             std::max(0, (screenSize.height() - window.height()) / 2));
    }
    m_applyingLayout = false;
    SetLastDetailsShown(show);
    RecordState();
    LayoutControls();
    update();
}

void TReportDialog::CreateTabPages(int page) {
    delete m_page; // a list page writes its column widths back as it goes
    m_page = CreateReportPage(page, m_content, m_fonts, m_layout, m_layoutFile, m_tabArea);
    if (m_page) {
        LayoutControls();
        m_page->show();
    }
}

void TReportDialog::LayoutControls() {
    const QRect client = ClientArea(this, m_caption);
    const int cw = client.width();
    const int ch = client.height();
    const int dw = cw - BaseClientWidth;
    const int dh = ch - BaseClientHeight;
    const int bottom = m_available.BottomHeight;
    const auto place = [&client](QWidget* widget, const QRect& r) {
        widget->setGeometry(r.translated(client.topLeft()));
    };

    place(m_tabArea, QRect(4, 52, std::max(0, 458 + dw), std::max(0, 162 + dh - bottom)));
    const int tabHeight = m_tabs->sizeHint().height();
    m_tabs->setGeometry(0, 0, m_tabArea->width(), tabHeight);
    if (m_page)
        m_page->setGeometry(0, tabHeight, m_tabArea->width(), std::max(0, m_tabArea->height() - tabHeight));
    if (m_detailsShown)
        place(m_message, QRect(48, 8, std::max(0, 410 + dw), 42));
    else
        place(m_message, m_compactMessage);

    const int bw = ButtonWidth();
    const int y = ch - 32 - bottom;
    place(m_ok, QRect((cw - bw) / 2, y, bw, 25));
    place(m_terminate, QRect(5, y, bw, 25));
    place(m_details, QRect(cw - bw - 5, y, bw, 25));

    const int hw = (cw - 8) / 2;
    place(m_send, QRect(4, y + 34, hw, m_rowHeight));
    // The box stands right-aligned under the Details button, kept clear of the window's border.
    place(m_clipboard, QRect(cw - hw - ClipboardRightMargin, y + 34, hw, m_rowHeight));
    place(m_screenshot,
          QRect(23, y + 34 + m_rowHeight, std::max(cw / 2, m_screenshot->sizeHint().width()), m_rowHeight));
    const QSize link = m_link->sizeHint();
    place(m_link, QRect(cw - 4 - link.width(), y + 34 + (m_available.Clipboard ? m_rowHeight : 0),
                        link.width(), std::max(13, link.height())));
}

void TReportDialog::RecordState() {
    if (m_applyingLayout)
        return;
    if (windowState() & Qt::WindowMaximized) {
        m_layout.WindowsState = WindowsStateMaximized;
    } else if (windowState() & Qt::WindowMinimized) {
        m_layout.WindowsState = WindowsStateMinimized;
    } else if (m_detailsShown) {
        m_layout.WindowsState = WindowsStateNormal;
        const QRect client = ClientArea(this, m_caption);
        m_layout.Width = client.width();
        m_layout.Height = client.height() - m_available.BottomHeight;
        m_layout.WidthRecorded = true;
    }
}

void TReportDialog::resizeEvent(QResizeEvent* event) {
    QDialog::resizeEvent(event);
    LayoutControls();
    RecordState();
}

void TReportDialog::moveEvent(QMoveEvent* event) {
    QDialog::moveEvent(event);
    if (m_detailsShown && !m_applyingLayout &&
        !(windowState() & (Qt::WindowMaximized | Qt::WindowMinimized))) {
        m_layout.Left = x();
        m_layout.Top = y();
    }
}

void TReportDialog::showEvent(QShowEvent* event) {
    QDialog::showEvent(event);
    // The window system took the window: it counts as shown even when closed before its first paint.
    m_painted = true;
    raise();
    activateWindow();
    // A dialog that has not shown by the first tick cannot be shown at all.
    QTimer::singleShot(1, this, &TReportDialog::OnFirstTick);
    if (m_content.Options.DialogAutoCloseSeconds > 0)
        m_autoClose->start(m_autoCloseInterval);
    m_processWindows.clear();
    for (QWidget* w : QApplication::topLevelWidgets())
        if (w != this)
            m_processWindows << w;
    m_stayInFront->start();
}

void TReportDialog::paintEvent(QPaintEvent* event) {
    QDialog::paintEvent(event);
    m_painted = true;
    QPainter painter(this);
    const QIcon icon = style()->standardIcon(QStyle::SP_MessageBoxCritical, nullptr, this);
    painter.drawPixmap(ClientArea(this, m_caption).topLeft() + QPoint(8, 8), icon.pixmap(IconSize, IconSize));
}

void TReportDialog::OnFirstTick() {
    if (isVisible())
        m_painted = true;
    if (!m_painted)
        done(Rejected);
}

void TReportDialog::OnAutoCloseTick() {
    if (++m_autoCloseCount >= m_content.Options.DialogAutoCloseSeconds)
        close();
}

void TReportDialog::OnStayInFront() {
    if (m_topmost || isActiveWindow())
        return;
    QWidget* foreground = QApplication::activeWindow();
    if (foreground == nullptr)
        return; // another program is in front
    if (!m_processWindows.contains(QPointer<QWidget>(foreground)))
        return;
    raise();
    activateWindow();
}

void TReportDialog::OnSupportLink() {
    if (m_topmost) {
        m_topmost = false;
        setWindowFlag(Qt::WindowStaysOnTopHint, false);
        show();
    }
    if (OpenUrl)
        OpenUrl(Q(m_content.Options.SupportPageURL).trimmed());
}

void TReportDialog::OnTabChanged(int tab) {
    m_autoCloseCount = 0;
    CreateTabPages(PageOfTab(tab, m_modulesShown, m_cpuShown));
}

void TReportDialog::OnOk() {
    m_autoCloseCount = 0;
    done(Accepted);
}

void TReportDialog::OnTerminate() {
    m_state.TerminateRequested = true;
    done(Accepted);
}

void TReportDialog::OnDetails() {
    m_autoCloseCount = 0;
    if (m_detailsShown)
        SaveDialogLayout(m_layoutFile, m_layout);
    ResizeDetails(!m_detailsShown);
}

void TReportDialog::reject() {
    // Escape and the close box act as the OK button.
    OnOk();
}

void TReportDialog::closeEvent(QCloseEvent* event) {
    event->ignore();
    OnOk();
}

bool TReportDialog::eventFilter(QObject* watched, QEvent* event) {
    if (IsUserActivity(event->type()) && watched->isWidgetType()) {
        const QWidget* widget = static_cast<QWidget*>(watched);
        if (widget == this || isAncestorOf(widget))
            m_autoCloseCount = 0;
    }
    return QDialog::eventFilter(watched, event);
}

void TReportDialog::done(int result) {
    Finish();
    QDialog::done(result);
}

void TReportDialog::Finish() {
    if (!m_ended) {
        m_ended = true;
        m_autoClose->stop();
        m_stayInFront->stop();
        m_state.SendChecked = m_send->isChecked();
        m_state.ScreenshotChecked = m_screenshot->isChecked();
        m_state.ClipboardChecked = m_clipboard->isChecked();
        m_state.DetailsShown = m_detailsShown;
        delete m_page;
        m_page = nullptr;
        if (m_detailsShown)
            SaveDialogLayout(m_layoutFile, m_layout);
    }
}

} // namespace reporter
