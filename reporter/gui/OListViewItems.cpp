#include "reporter/gui/OListViewItems.h"

#include <QFontMetrics>
#include <QHeaderView>
#include <QPainter>
#include <QTreeWidget>

#include <algorithm>

namespace reporter {

namespace {

constexpr int RowRole = Qt::UserRole + 1;
constexpr int MinIndentPixels = 14;

// Blanks at least MinIndentPixels wide.
QString IndentTextFor(const QFontMetrics& metrics) {
    QString indent;
    while (metrics.horizontalAdvance(indent) < MinIndentPixels)
        indent += QLatin1Char(' ');
    return indent;
}

// The module-kind images, drawn once: a library (two stacked blocks), a package (a box), the program
// (a window) and a routine with a source position (a page with lines).
QPixmap MakeImage(int kind) {
    QPixmap pixmap(16, 16);
    pixmap.fill(Qt::transparent);
    QPainter p(&pixmap);
    p.setPen(QColor(64, 64, 64));
    switch (kind) {
    case 0:
        p.setBrush(QColor(230, 200, 90));
        p.drawRect(2, 2, 11, 5);
        p.drawRect(2, 8, 11, 5);
        break;
    case 1:
        p.setBrush(QColor(190, 140, 80));
        p.drawRect(2, 4, 11, 10);
        p.drawLine(2, 8, 13, 8);
        break;
    case 2:
        p.setBrush(Qt::white);
        p.drawRect(1, 2, 13, 11);
        p.fillRect(2, 3, 12, 3, QColor(10, 36, 106));
        break;
    default:
        p.setBrush(Qt::white);
        p.drawRect(3, 1, 10, 13);
        for (int y = 4; y <= 11; y += 2)
            p.drawLine(5, y, 11, y);
        break;
    }
    return pixmap;
}

QPixmap MakeBox(bool expanded) {
    QPixmap pixmap(13, 13);
    pixmap.fill(Qt::transparent);
    QPainter p(&pixmap);
    p.setPen(QColor(128, 128, 128));
    p.setBrush(Qt::white);
    p.drawRect(2, 2, 8, 8);
    p.setPen(Qt::black);
    p.drawLine(4, 6, 8, 6);
    if (!expanded)
        p.drawLine(6, 4, 6, 8);
    return pixmap;
}

bool IsBlankTexts(const QStringList& texts) {
    return texts.join(QString()).trimmed().isEmpty();
}

} // namespace

TListViewDelegate::TListViewDelegate(TListViewItems& store, QObject* parent)
    : QStyledItemDelegate(parent), m_store(store) {}

QSize TListViewDelegate::sizeHint(const QStyleOptionViewItem& option, const QModelIndex& index) const {
    QSize size = QStyledItemDelegate::sizeHint(option, index);
    size.setHeight(std::max(size.height(), 17));
    return size;
}

void TListViewDelegate::paint(QPainter* painter, const QStyleOptionViewItem& option,
                              const QModelIndex& index) const {
    const TListViewRow* row = m_store.RowOfItem(m_store.List()->itemFromIndex(index));
    if (row == nullptr)
        return;
    painter->save();
    const QRect r = option.rect;
    const bool selected = option.state & QStyle::State_Selected;
    const bool focused = option.state & QStyle::State_HasFocus;
    const int column = index.column();
    const int indentOffset = m_store.IndentWidth() * row->Indented;
    const int left = column == 0 ? r.left() + indentOffset + 2 : r.left();

    if (row->Header) {
        const bool first = index.row() == 0;
        const QColor textColor = first          ? ListColors::FirstHeaderText
                                 : row->Running ? ListColors::RunningHeaderText
                                                : ListColors::CallingHeaderText;
        const int shift = !first && !row->Running ? m_store.IndentWidth() : 0;
        const int x = r.left() + shift;
        painter->fillRect(QRect(QPoint(x + 2, r.top()), r.bottomRight()),
                          selected ? ListColors::SelectedBackground : ListColors::NormalBackground);
        painter->fillRect(QRect(QPoint(x + 2, r.bottom() - 1), r.bottomRight()), ListColors::HeaderBand);
        painter->setFont(m_store.BoldFont());
        painter->setPen(textColor);
        const QRect textRect(QPoint(x + 15, r.top() - 1), QPoint(r.right() - 2, r.bottom() - 1));
        painter->drawText(textRect, Qt::AlignLeft | Qt::AlignVCenter | Qt::TextSingleLine,
                          painter->fontMetrics().elidedText(row->Caption, Qt::ElideRight, textRect.width()));
        painter->drawPixmap(x + 1, r.top() + 1, m_store.BoxImage(row->Expanded));
    } else {
        painter->fillRect(QRect(QPoint(left, r.top()), r.bottomRight()),
                          selected ? ListColors::SelectedBackground : ListColors::NormalBackground);
        if (column == 0 && row->Image >= 0)
            painter->drawPixmap(r.left() + 2 + indentOffset, r.top(), m_store.Image(row->Image));
        if (!row->Blank) {
            painter->setPen(ListColors::RowLine);
            painter->drawLine(left, r.bottom(), r.right(), r.bottom());
        }
        const int leftMargin = column == 0 ? 20 : 6;
        const int rightMargin = column == 0 ? 2 : 6;
        const QRect textRect(QPoint(left - (column == 0 ? 2 : 0) + leftMargin, r.top()),
                             QPoint(r.right() - rightMargin, r.bottom()));
        const QString text = column < row->Texts.size() ? row->Texts[column] : QString();
        painter->setFont(option.font);
        painter->setPen(Qt::black);
        painter->drawText(
            textRect, m_store.ColumnAlignment(column) | Qt::AlignVCenter | Qt::TextSingleLine,
            painter->fontMetrics().elidedText(text, Qt::ElideRight, std::max(0, textRect.width())));
    }
    if (focused) {
        const bool active = selected && m_store.List()->hasFocus();
        painter->setPen(active ? ListColors::FocusFrame : ListColors::FocusFrameInactive);
        painter->drawLine(left, r.top(), r.right(), r.top());
        painter->drawLine(left, r.bottom(), r.right(), r.bottom());
        if (column == 0)
            painter->drawLine(left, r.top(), left, r.bottom());
        if (row->Header || column == m_store.List()->columnCount() - 1)
            painter->drawLine(r.right(), r.top(), r.right(), r.bottom());
    }
    painter->restore();
}

TListViewItems::TListViewItems(QTreeWidget* list) : m_list(list) {
    for (int kind = 0; kind < 4; ++kind)
        m_images.push_back(MakeImage(kind));
    m_plus = MakeBox(false);
    m_minus = MakeBox(true);
    m_delegate = new TListViewDelegate(*this, m_list); // owned by the list
    m_list->setItemDelegate(m_delegate);
    m_list->setRootIsDecorated(false);
    m_list->setIndentation(0);
    m_list->setUniformRowHeights(true);
    m_list->setSelectionBehavior(QAbstractItemView::SelectRows);
    m_list->setSelectionMode(QAbstractItemView::SingleSelection);
    m_list->setAllColumnsShowFocus(true);
}

TListViewItems::~TListViewItems() {
    Clear();
    // The delegate refers to this store; the list may outlive it.
    if (m_list->itemDelegate() == m_delegate)
        m_list->setItemDelegate(nullptr);
    delete m_delegate;
}

const TListViewRow& TListViewItems::Items(int index) const {
    return *m_rows.at(size_t(index));
}

Qt::Alignment TListViewItems::ColumnAlignment(int column) const {
    return column >= 0 && column < m_alignments.size() ? m_alignments[column] : Qt::AlignLeft;
}

const QPixmap& TListViewItems::Image(int image) const {
    return m_images.at(size_t(std::clamp(image, 0, int(m_images.size()) - 1)));
}

void TListViewItems::PrepareFirstRow() {
    m_prepared = true;
    m_columnCount = std::min(m_list->columnCount(), MaxColumns);
    m_alignments.clear();
    const QTreeWidgetItem* header = m_list->headerItem();
    for (int i = 0; i < m_columnCount; ++i) {
        const Qt::Alignment a = Qt::Alignment(header->textAlignment(i)) & Qt::AlignHorizontal_Mask;
        m_alignments << (a & (Qt::AlignRight | Qt::AlignHCenter) ? a : Qt::Alignment(Qt::AlignLeft));
    }
    const QFontMetrics metrics(m_list->font());
    m_indentText = IndentTextFor(metrics);
    m_indentWidth = metrics.horizontalAdvance(m_indentText);
    m_boldFont = m_list->font();
    m_boldFont.setWeight(QFont::Bold);
}

TListViewRow* TListViewItems::AddItem(const QStringList& texts, int image, bool running, bool header,
                                      const QString& caption) {
    if (!m_prepared)
        PrepareFirstRow();
    auto row = std::make_unique<TListViewRow>();
    row->Texts = texts;
    row->Image = image;
    row->Running = running;
    row->Header = header;
    row->Caption = caption;
    row->Blank = !header && IsBlankTexts(texts);
    if (header)
        ++m_nesting;
    else if (row->Blank)
        m_nesting = 0;
    else if (m_nesting > 1 && !row->Texts.isEmpty()) {
        row->Texts[0] = m_indentText + row->Texts[0];
        row->Indented = 1;
    }
    row->Predecessor = m_previous;
    m_previous = row->Blank ? nullptr : row.get();
    TListViewRow* added = row.get();
    m_rows.push_back(std::move(row));
    AddRow(added, -1);
    return added;
}

QTreeWidgetItem* TListViewItems::MakeItem(TListViewRow* row) const {
    auto* item = new QTreeWidgetItem();
    for (int i = 0; i < row->Texts.size() && i < m_list->columnCount(); ++i)
        item->setText(i, row->Texts[i]);
    if (row->Header)
        item->setText(0, row->Caption);
    item->setData(0, RowRole, QVariant::fromValue<quintptr>(reinterpret_cast<quintptr>(row)));
    return item;
}

void TListViewItems::AddRow(TListViewRow* row, int position) {
    if (row == nullptr || row->Texts.isEmpty())
        return;
    QTreeWidgetItem* item = MakeItem(row);
    const int count = m_list->topLevelItemCount();
    m_list->insertTopLevelItem(position < 0 || position > count ? count : position, item);
    if (row->Header)
        item->setFirstColumnSpanned(true);
}

void TListViewItems::DeleteItem(int index) {
    if (index < 0 || index >= Count())
        return;
    TListViewRow* row = m_rows[size_t(index)].get();
    const int item = ItemIndexOfRow(row);
    if (item >= 0)
        delete m_list->takeTopLevelItem(item);
    for (auto& other : m_rows)
        if (other->Predecessor == row)
            other->Predecessor = nullptr;
    if (m_previous == row)
        m_previous = nullptr;
    m_rows.erase(m_rows.begin() + index);
}

void TListViewItems::Clear() {
    m_list->clear();
    m_rows.clear();
    m_previous = nullptr;
    m_nesting = 0;
}

TListViewRow* TListViewItems::RowOfItem(const QTreeWidgetItem* item) const {
    if (item == nullptr)
        return nullptr;
    return reinterpret_cast<TListViewRow*>(item->data(0, RowRole).value<quintptr>());
}

TListViewRow* TListViewItems::RowOfItem(int itemIndex) const {
    return RowOfItem(m_list->topLevelItem(itemIndex));
}

int TListViewItems::ItemIndexOfRow(const TListViewRow* row) const {
    for (int i = 0; i < m_list->topLevelItemCount(); ++i)
        if (RowOfItem(i) == row)
            return i;
    return -1;
}

void TListViewItems::Toggle(int itemIndex, QPoint point, bool testBox) {
    TListViewRow* header = RowOfItem(itemIndex);
    if (header == nullptr || !header->Header)
        return;
    if (testBox) {
        const int boxLeft = header->Predecessor != nullptr ? m_indentWidth : 0;
        const int dx = point.x() - boxLeft;
        const int dy = point.y();
        if (dx < 2 || dx > 12 || dy < 2 || dy > 12)
            return;
    }
    header->Expanded = !header->Expanded;
    const auto start =
        std::find_if(m_rows.begin(), m_rows.end(), [header](const auto& r) { return r.get() == header; });
    if (start == m_rows.end())
        return;
    m_list->setUpdatesEnabled(false);
    int position = itemIndex + 1;
    for (auto it = start + 1; it != m_rows.end() && !(*it)->Blank; ++it) {
        TListViewRow* row = it->get();
        const bool wasVisible = row->Visible;
        row->Visible = header->Expanded;
        if (row->Visible && !wasVisible) {
            AddRow(row, position++);
            if (row->Header && !row->Expanded)
                break;
        } else if (row->Visible) {
            ++position;
            if (row->Header && !row->Expanded)
                break;
        } else if (wasVisible) {
            const int item = ItemIndexOfRow(row);
            if (item >= 0)
                delete m_list->takeTopLevelItem(item);
        }
    }
    m_list->setUpdatesEnabled(true);
    if (QTreeWidgetItem* item = m_list->topLevelItem(itemIndex))
        m_list->update(m_list->indexFromItem(item));
}

int TListViewItems::AddressColumnWidth(const QFont& font) {
    const QFontMetrics metrics(font);
    const QString indent = IndentTextFor(metrics);
    // An indented row is shifted by one indent and carries another before its text; the text keeps
    // margins of 20 and 2 pixels, and one pixel more for rounding.
    return metrics.horizontalAdvance(indent) +
           metrics.horizontalAdvance(indent + QString(16, QLatin1Char('0'))) + 20 + 2 + 1;
}

} // namespace reporter
