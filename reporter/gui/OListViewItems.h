#pragma once
// The row store behind the report dialog's list pages. The list view shows one item per visible row;
// the store keeps every row, hidden ones included, so that header rows (one per thread) can collapse
// and expand the rows below them. Rows of a group nested under another header are indented. The rows
// are drawn by the store's own delegate in a flat colour scheme with module-kind images.
#include <QBrush>
#include <QFont>
#include <QIcon>
#include <QList>
#include <QPixmap>
#include <QPoint>
#include <QStringList>
#include <QStyledItemDelegate>

#include <memory>
#include <vector>

class QTreeWidget;
class QTreeWidgetItem;

namespace reporter {

struct TListViewRow {
    QStringList Texts;
    int Image = -1; // 0 library, 1 package, 2 program, 3 routine with source; -1 none
    int Indented = 0;
    bool Running = false;
    bool Header = false;
    bool Expanded = true;
    bool Blank = false;
    bool Visible = true;
    QString Caption;
    TListViewRow* Predecessor = nullptr;
};

class TListViewItems;

class TListViewDelegate final : public QStyledItemDelegate {
public:
    explicit TListViewDelegate(TListViewItems& store, QObject* parent);
    void paint(QPainter* painter, const QStyleOptionViewItem& option,
               const QModelIndex& index) const override;
    QSize sizeHint(const QStyleOptionViewItem& option, const QModelIndex& index) const override;

private:
    TListViewItems& m_store;
};

class TListViewItems {
public:
    // The list is filled by the store: its columns must exist before the first row.
    explicit TListViewItems(QTreeWidget* list);
    ~TListViewItems();
    TListViewItems(const TListViewItems&) = delete;
    TListViewItems& operator=(const TListViewItems&) = delete;

    int Count() const { return int(m_rows.size()); }
    const TListViewRow& Items(int index) const;
    TListViewRow* AddItem(const QStringList& texts, int image, bool running, bool header,
                          const QString& caption);
    // Inserts the row into the list view at the position (-1: the end); a row without texts stays out.
    void AddRow(TListViewRow* row, int position);
    void DeleteItem(int index);
    void Clear();
    // Expands or collapses the header shown as item itemIndex. With testBox, point (relative to the
    // item's rectangle) must lie on the plus/minus box.
    void Toggle(int itemIndex, QPoint point, bool testBox);

    // The row shown as the list item, nullptr when none.
    TListViewRow* RowOfItem(const QTreeWidgetItem* item) const;
    TListViewRow* RowOfItem(int itemIndex) const;
    int ItemIndexOfRow(const TListViewRow* row) const;

    QTreeWidget* List() const { return m_list; }
    int IndentWidth() const { return m_indentWidth; }
    // The width a first column needs to show a 16-digit address whole in the font, on an indented row.
    static int AddressColumnWidth(const QFont& font);
    const QString& IndentText() const { return m_indentText; }
    const QFont& BoldFont() const { return m_boldFont; }
    Qt::Alignment ColumnAlignment(int column) const;
    const QPixmap& Image(int image) const;
    const QPixmap& BoxImage(bool expanded) const { return expanded ? m_minus : m_plus; }

    static constexpr int MaxColumns = 16;

private:
    void PrepareFirstRow();
    QTreeWidgetItem* MakeItem(TListViewRow* row) const;

    QTreeWidget* m_list;
    std::vector<std::unique_ptr<TListViewRow>> m_rows;
    TListViewRow* m_previous = nullptr;
    int m_nesting = 0;
    QString m_indentText;
    int m_indentWidth = 0;
    bool m_prepared = false;
    QFont m_boldFont;
    QList<Qt::Alignment> m_alignments;
    int m_columnCount = 0;
    std::vector<QPixmap> m_images; // OL_DLL, OL_BPL, OL_APP, OL_PAS
    QPixmap m_plus;
    QPixmap m_minus;
    TListViewDelegate* m_delegate;
};

// The flat colour scheme of the list pages.
namespace ListColors {
inline const QColor SelectedBackground{204, 218, 241};
inline const QColor NormalBackground{255, 255, 255};
inline const QColor FocusFrame{49, 106, 197};
inline const QColor FocusFrameInactive{152, 181, 226};
inline const QColor HeaderBand{123, 164, 224};
inline const QColor RowLine{206, 203, 194};
inline const QColor FirstHeaderText{128, 0, 0};
inline const QColor RunningHeaderText{0, 0, 128};
inline const QColor CallingHeaderText{96, 96, 96};
} // namespace ListColors

} // namespace reporter
