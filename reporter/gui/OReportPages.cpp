#include "reporter/gui/OReportPages.h"

#include "ORichText.h"
#include "reporter/gui/OListRows.h"

#include <QEvent>
#include <QHeaderView>
#include <QLabel>
#include <QMouseEvent>
#include <QPlainTextEdit>
#include <QStyle>
#include <QTextEdit>
#include <QTreeWidget>

namespace reporter {

namespace {

struct TColumn {
    int Text;
    int Key; // index into the layout's widths
    Qt::Alignment Align;
};

// The Modified column keeps its width under "ColMod6" and the Path column under "ColMod5".
constexpr TColumn CallStackColumns[] = {{62, 0, Qt::AlignLeft}, {63, 1, Qt::AlignLeft},
                                        {64, 2, Qt::AlignLeft}, {65, 3, Qt::AlignLeft},
                                        {66, 4, Qt::AlignLeft}, {67, 5, Qt::AlignRight}};
constexpr TColumn ModuleColumns[] = {{84, 0, Qt::AlignLeft},  {85, 1, Qt::AlignLeft},  {86, 2, Qt::AlignLeft},
                                     {87, 3, Qt::AlignRight}, {88, 4, Qt::AlignRight}, {89, 6, Qt::AlignLeft},
                                     {90, 5, Qt::AlignLeft}};

int HeadingText(int page) {
    switch (page) {
    case rpGeneral:
        return 5;
    case rpCallStack:
        return 7;
    case rpModules:
        return 9;
    case rpCPU:
        return 11;
    default:
        return 13;
    }
}

QString Q(const std::string& text) {
    return QString::fromStdString(text);
}

QPalette WhitePalette(QPalette palette) {
    palette.setColor(QPalette::Base, Qt::white);
    palette.setColor(QPalette::Text, Qt::black);
    palette.setColor(QPalette::Window, Qt::white);
    return palette;
}

QTextEdit* MakeRichView(const QString& html, const QFont& font) {
    auto* view = new QTextEdit();
    view->setReadOnly(true);
    view->setLineWrapMode(QTextEdit::NoWrap);
    view->setFont(font);
    view->document()->setDefaultFont(font);
    view->setPalette(WhitePalette(view->palette()));
    view->setHtml(html);
    return view;
}

// The widest a column grows to fit its cells; what is longer is cut, and the column can still be widened.
constexpr int FittedColumnLimit = 360;
// The cell painter's margins around the text of a column after the first.
constexpr int CellTextMargins = 6 + 6 + 2;

// The width a column needs for its header text whole and, up to the limit, for its longest cell.
int FittingWidth(const QTreeWidget& list, int column, const std::vector<TListRowData>& rows,
                 const QFont& font) {
    const QHeaderView& header = *list.header();
    const int headerMargin = header.style()->pixelMetric(QStyle::PM_HeaderMargin, nullptr, &header);
    const int forHeader =
        header.fontMetrics().horizontalAdvance(list.headerItem()->text(column)) + 2 * headerMargin + 4;
    const QFontMetrics metrics(font);
    int forCells = 0;
    for (const TListRowData& row : rows)
        if (!row.Header && size_t(column) < row.Texts.size())
            forCells =
                std::max(forCells, metrics.horizontalAdvance(Q(row.Texts[size_t(column)])) + CellTextMargins);
    return std::max(forHeader, std::min(forCells, FittedColumnLimit));
}

} // namespace

TReportPage::TReportPage(int page, const TDialogFonts& fonts, QWidget* parent)
    : QWidget(parent), m_page(page), m_heading(new QLabel(this)) {
    setObjectName(QStringLiteral("page%1").arg(page));
    m_heading->setObjectName(QStringLiteral("lbHeading"));
    m_heading->setTextFormat(Qt::PlainText);
    m_heading->setFont(fonts.Message);
}

void TReportPage::SetControl(QWidget* control) {
    m_control = control;
    m_control->setParent(this);
    m_control->setObjectName(QStringLiteral("pageControl"));
}

void TReportPage::resizeEvent(QResizeEvent* event) {
    QWidget::resizeEvent(event);
    const int headingHeight = m_heading->sizeHint().height();
    m_heading->setGeometry(5, 2, std::max(0, width() - 10), headingHeight);
    if (m_control)
        m_control->setGeometry(3, headingHeight + 6, std::max(0, width() - 8),
                               std::max(0, height() - headingHeight - 10));
}

TListPage::TListPage(int page, const TReportDialogContent& content, const TDialogFonts& fonts,
                     TDialogLayout& layout, QString layoutFile, QWidget* parent)
    : TReportPage(page, fonts, parent), m_list(new QTreeWidget()), m_layout(layout),
      m_layoutFile(std::move(layoutFile)) {
    SetControl(m_list);
    m_list->setFont(fonts.List);
    m_list->setPalette(WhitePalette(m_list->palette()));
    m_list->setHorizontalScrollBarPolicy(Qt::ScrollBarAsNeeded);
    m_list->header()->setStretchLastSection(false);
    const bool stack = page == rpCallStack;
    const TColumn* columns = stack ? CallStackColumns : ModuleColumns;
    const int count = stack ? int(std::size(CallStackColumns)) : int(std::size(ModuleColumns));
    m_list->setColumnCount(count);
    QTreeWidgetItem* header = m_list->headerItem();
    for (int i = 0; i < count; ++i) {
        header->setText(i, Q(content.Options.GetText(columns[i].Text)));
        header->setTextAlignment(i, columns[i].Align | Qt::AlignVCenter);
        int width = stack ? layout.Col[size_t(columns[i].Key)] : layout.ColMod[size_t(columns[i].Key)];
        // The address (call stack) and the handle (modules) never cut a 16-digit address, whatever width
        // an earlier run stored.
        if (i == 0)
            width = std::max(width, TListViewItems::AddressColumnWidth(fonts.List));
        m_list->setColumnWidth(i, width);
    }
    Heading()->setText(Q(content.Options.GetText(stack ? 7 : 9)));
    m_store = std::make_unique<TListViewItems>(m_list);
    const std::vector<TListRowData>& rows = stack ? content.CallStackRows : content.ModuleRows;
    for (const TListRowData& row : rows) {
        QStringList texts;
        for (const std::string& text : row.Texts)
            texts << Q(text);
        m_store->AddItem(texts, row.Image, row.Running, row.Header, Q(row.Caption));
    }
    // Header texts whole ("Version" in its narrow column) and names not cut while they fit.
    for (int i = 1; i < count; ++i)
        m_list->setColumnWidth(i,
                               std::max(m_list->columnWidth(i), FittingWidth(*m_list, i, rows, fonts.List)));
    m_list->viewport()->installEventFilter(this);
    connect(m_list, &QTreeWidget::itemActivated, this,
            [this](QTreeWidgetItem* item, int) { ActivateItem(m_list->indexOfTopLevelItem(item)); });
}

TListPage::~TListPage() {
    StoreWidths();
    m_list->viewport()->removeEventFilter(this);
    m_store.reset();
}

void TListPage::StoreWidths() {
    const bool stack = Page() == rpCallStack;
    const TColumn* columns = stack ? CallStackColumns : ModuleColumns;
    for (int i = 0; i < m_list->columnCount(); ++i) {
        int& width = stack ? m_layout.Col[size_t(columns[i].Key)] : m_layout.ColMod[size_t(columns[i].Key)];
        width = m_list->columnWidth(i);
    }
    SaveColumnWidths(m_layoutFile, m_layout);
}

void TListPage::ClickItem(int itemIndex, QPoint pointInItem) {
    m_store->Toggle(itemIndex, pointInItem, true);
}

void TListPage::ActivateItem(int itemIndex) {
    const TListViewRow* row = m_store->RowOfItem(itemIndex);
    if (row == nullptr)
        return;
    // A row with a source line has nowhere to go: no development environment takes positions here.
    const int lineColumn = CallStackColumnCount - 1;
    const bool hasLine = Page() == rpCallStack && !row->Header && lineColumn < row->Texts.size() &&
                         !row->Texts[lineColumn].trimmed().isEmpty();
    if (!hasLine)
        m_store->Toggle(itemIndex, QPoint(), false);
}

bool TListPage::eventFilter(QObject* watched, QEvent* event) {
    if (watched == m_list->viewport() && event->type() == QEvent::MouseButtonRelease) {
        const auto* mouse = static_cast<QMouseEvent*>(event);
        if (mouse->button() == Qt::LeftButton) {
            const QPoint pos = mouse->position().toPoint();
            if (QTreeWidgetItem* item = m_list->itemAt(pos)) {
                const QRect rect = m_list->visualItemRect(item);
                ClickItem(m_list->indexOfTopLevelItem(item), pos - rect.topLeft());
            }
        }
    }
    return TReportPage::eventFilter(watched, event);
}

TReportPage* CreateReportPage(int page, const TReportDialogContent& content, const TDialogFonts& fonts,
                              TDialogLayout& layout, const QString& layoutFile, QWidget* parent) {
    switch (page) {
    case rpCallStack:
    case rpModules:
        return new TListPage(page, content, fonts, layout, layoutFile, parent);
    case rpGeneral:
    case rpCPU:
    case rpCustomData: {
        class TTextPage final : public TReportPage {
        public:
            using TReportPage::SetControl;
            using TReportPage::TReportPage;
        };
        auto* result = new TTextPage(page, fonts, parent);
        result->Heading()->setText(Q(content.Options.GetText(HeadingText(page))));
        if (page == rpCustomData) {
            auto* edit = new QPlainTextEdit();
            edit->setReadOnly(true);
            edit->setFont(fonts.Fixed);
            edit->setPlainText(Q(content.CustomDataText));
            result->SetControl(edit);
        } else {
            TRichTextFont font;
            font.Name = fonts.Fixed.family().toStdString();
            font.PointSize = std::max(1, fonts.Fixed.pointSize());
            const std::string html = page == rpGeneral ? BuildGeneralHTML(content.GeneralText, font)
                                                       : BuildCPUHTML(content.CPUText, font);
            result->SetControl(MakeRichView(Q(html), fonts.Fixed));
        }
        return result;
    }
    default:
        return nullptr;
    }
}

} // namespace reporter
