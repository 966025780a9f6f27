#pragma once
// TRadioGroup: a group box with a column of radio buttons, one per item, and ItemIndex = the checked
// item (-1 for none).
#include <QGroupBox>
#include <QStringList>

class QButtonGroup;
class QRadioButton;
class QVBoxLayout;

class TRadioGroup : public QGroupBox {
    Q_OBJECT
    Q_PROPERTY(QStringList items READ Items WRITE setItems)

public:
    explicit TRadioGroup(QWidget* parent = nullptr);

    QStringList Items() const { return m_items; }
    void setItems(const QStringList& items);
    int ItemIndex() const;
    // -1 (or an index outside the items) clears the selection. Does not emit clicked.
    void SetItemIndex(int index);
    // The text of an item; empty for an index outside the items.
    QString ItemText(int index) const;
    QRadioButton* Button(int index) const;

signals:
    // The user chose an item.
    void itemClicked(int index);

private:
    QStringList m_items;
    QButtonGroup* m_group;
    QVBoxLayout* m_layout;
};
