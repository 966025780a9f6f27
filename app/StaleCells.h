#pragma once
// Cells whose value came from a poll that has failed since: they are drawn as not current (grey text,
// faded pictures) until a good reply writes them again. The values themselves stay as they were.
#include <QColor>
#include <set>
#include <utility>

class TStaleCells {
public:
    // Text of a value that is no longer current, on a plain cell and on the selected one.
    static QColor TextColor() { return {0x80, 0x80, 0x80}; }
    static QColor SelectedTextColor() { return {0xD0, 0xD0, 0xD0}; }
    // Opacity of a picture (a lamp) that is no longer current.
    static constexpr double PictureOpacity = 0.35;

    // Marks rows firstRow to lastRow of a column as current or not; true when any mark changed.
    bool Mark(int col, int firstRow, int lastRow, bool current) {
        bool changed = false;
        for (int row = firstRow; row <= lastRow; ++row)
            changed |= current ? m_cells.erase({col, row}) > 0 : m_cells.insert({col, row}).second;
        return changed;
    }
    bool IsCurrent(int col, int row) const { return !m_cells.contains({col, row}); }
    void Clear() { m_cells.clear(); }

private:
    std::set<std::pair<int, int>> m_cells;
};
