#include "tests/support/LayoutCheck.h"
#include "classlib/StringGrid.h"
#include <QAbstractScrollArea>
#include <QAbstractSpinBox>
#include <QCheckBox>
#include <QComboBox>
#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QRadioButton>
#include <QStyleOption>
#include <QTabBar>
#include <QTabWidget>
#include <QTextDocument>
#include <QThread>
#include <QToolButton>

namespace {

QString SizeText(const QSize& size) {
    return QStringLiteral("%1x%2").arg(size.width()).arg(size.height());
}

void Report(const QWidget& widget, const QString& text, const QSize& needs, const QSize& has,
            QStringList& problems) {
    problems << QStringLiteral("%1: \"%2\" needs %3, has %4")
                    .arg(WidgetPath(widget), text, SizeText(needs), SizeText(has));
}

// One line of text as a control draws it: a mnemonic "&" takes no room ("&&" shows one).
QSize LineSize(const QFontMetrics& fm, const QString& text) {
    QString shown;
    for (qsizetype i = 0; i < text.size(); ++i) {
        if (text.at(i) == QLatin1Char('&') && i + 1 < text.size())
            ++i;
        shown += text.at(i);
    }
    return {fm.horizontalAdvance(shown), fm.height()};
}

bool Fits(const QSize& needs, const QSize& has) {
    return needs.width() <= has.width() && needs.height() <= has.height();
}

void CheckLabel(const QLabel& label, QStringList& problems) {
    if (label.text().isEmpty() || !label.pixmap().isNull())
        return;
    QRect area =
        label.contentsRect().adjusted(label.margin(), label.margin(), -label.margin(), -label.margin());
    if (label.indent() > 0)
        area.adjust(label.indent(), 0, 0, 0);
    QSize needs;
    const bool rich = label.textFormat() == Qt::RichText ||
                      (label.textFormat() == Qt::AutoText && Qt::mightBeRichText(label.text()));
    if (rich) {
        QTextDocument document;
        document.setDefaultFont(label.font());
        document.setDocumentMargin(0);
        document.setHtml(label.text());
        if (label.wordWrap())
            document.setTextWidth(area.width());
        needs = QSize(int(std::ceil(label.wordWrap() ? document.size().width() : document.idealWidth())),
                      int(std::ceil(document.size().height())));
    } else {
        const QFontMetrics fm(label.font());
        const int flags = label.wordWrap() ? int(Qt::TextWordWrap) : int(Qt::TextSingleLine);
        needs = label.wordWrap() ? fm.boundingRect(area, flags | Qt::TextShowMnemonic, label.text()).size()
                                 : LineSize(fm, label.text());
    }
    if (!Fits(needs, area.size()))
        Report(label, label.text(), needs, area.size(), problems);
}

int IconRoom(const QAbstractButton& button) {
    return button.icon().isNull() ? 0 : button.iconSize().width() + 4;
}

void CheckPushButton(const QPushButton& button, QStringList& problems) {
    if (button.text().isEmpty())
        return;
    QStyleOptionButton option;
    option.initFrom(&button);
    option.text = button.text();
    option.features = button.isDefault() ? QStyleOptionButton::DefaultButton : QStyleOptionButton::None;
    const QRect area = button.style()->subElementRect(QStyle::SE_PushButtonContents, &option, &button);
    // Across, the text keeps the button's own margin from the frame, as the button's size hint does.
    const int margin = button.style()->pixelMetric(QStyle::PM_ButtonMargin, &option, &button);
    const QSize has(button.width() - margin -
                        2 * button.style()->pixelMetric(QStyle::PM_DefaultFrameWidth, &option, &button),
                    area.height());
    QSize needs = LineSize(QFontMetrics(button.font()), button.text());
    needs.rwidth() += IconRoom(button);
    if (!Fits(needs, has))
        Report(button, button.text(), needs, has, problems);
}

void CheckIndicatorButton(const QAbstractButton& button, QStyle::SubElement contents, QStringList& problems) {
    if (button.text().isEmpty())
        return;
    QStyleOptionButton option;
    option.initFrom(&button);
    option.text = button.text();
    const QRect area = button.style()->subElementRect(contents, &option, &button);
    QSize needs = LineSize(QFontMetrics(button.font()), button.text());
    needs.rwidth() += IconRoom(button);
    if (!Fits(needs, area.size()))
        Report(button, button.text(), needs, area.size(), problems);
}

void CheckToolButton(const QToolButton& button, QStringList& problems) {
    if (button.text().isEmpty() || button.toolButtonStyle() == Qt::ToolButtonIconOnly)
        return;
    const int frame = button.style()->pixelMetric(QStyle::PM_DefaultFrameWidth, nullptr, &button);
    const QSize has = button.size() - QSize(2 * frame, 2 * frame);
    QSize needs = LineSize(QFontMetrics(button.font()), button.text());
    switch (button.toolButtonStyle()) {
    case Qt::ToolButtonTextUnderIcon:
        needs.setWidth(qMax(needs.width(), button.iconSize().width()));
        needs.rheight() += button.iconSize().height();
        break;
    case Qt::ToolButtonTextBesideIcon:
        needs.rwidth() += button.iconSize().width() + 4;
        needs.setHeight(qMax(needs.height(), button.iconSize().height()));
        break;
    default:
        break;
    }
    if (!Fits(needs, has))
        Report(button, button.text(), needs, has, problems);
}

void CheckGroupBoxTitle(const QGroupBox& box, QStringList& problems) {
    if (box.title().isEmpty())
        return;
    QStyleOptionGroupBox option;
    option.initFrom(&box);
    option.text = box.title();
    option.subControls = QStyle::SC_GroupBoxFrame | QStyle::SC_GroupBoxLabel;
    if (box.isCheckable())
        option.subControls |= QStyle::SC_GroupBoxCheckBox;
    option.lineWidth = 1;
    const QRect label =
        box.style()->subControlRect(QStyle::CC_GroupBox, &option, QStyle::SC_GroupBoxLabel, &box);
    const QSize needs = LineSize(QFontMetrics(box.font()), box.title());
    // The title is drawn in its label rectangle, and that must lie inside the box.
    const QRect room = label.intersected(box.rect());
    if (!Fits(needs, room.size()))
        Report(box, box.title(), needs, room.size(), problems);
}

void CheckTabs(const QTabBar& bar, QStringList& problems) {
    const QFontMetrics fm(bar.font());
    // A tab is as wide as its text and the style's spacing when nothing squeezes it.
    const int padding = bar.style()->pixelMetric(QStyle::PM_TabBarTabHSpace, nullptr, &bar);
    for (int i = 0; i < bar.count(); ++i) {
        const QSize needs = LineSize(fm, bar.tabText(i)) + QSize(padding, 0);
        const QSize has = bar.tabRect(i).size();
        if (!Fits(needs, has))
            Report(bar, bar.tabText(i), needs, has, problems);
    }
}

void CheckComboBox(const QComboBox& combo, QStringList& problems) {
    QStyleOptionComboBox option;
    option.initFrom(&combo);
    option.editable = combo.isEditable();
    const QRect field =
        combo.style()->subControlRect(QStyle::CC_ComboBox, &option, QStyle::SC_ComboBoxEditField, &combo);
    const QFontMetrics fm(combo.font());
    // Every entry a technician can choose must show whole once chosen.
    for (int i = 0; i < combo.count(); ++i) {
        const QSize needs = LineSize(fm, combo.itemText(i));
        if (!Fits(needs, field.size()))
            Report(combo, combo.itemText(i), needs, field.size(), problems);
    }
}

void CheckLineEdit(const QLineEdit& edit, QStringList& problems) {
    if (edit.text().isEmpty() || edit.echoMode() != QLineEdit::Normal)
        return;
    QStyleOptionFrame option;
    option.initFrom(&edit);
    option.lineWidth =
        edit.hasFrame() ? edit.style()->pixelMetric(QStyle::PM_DefaultFrameWidth, &option, &edit) : 0;
    const QRect area = edit.style()->subElementRect(QStyle::SE_LineEditContents, &option, &edit);
    const QSize has = area.size() - QSize(4, 0); // the edit's own horizontal text margin
    const QSize needs = LineSize(QFontMetrics(edit.font()), edit.text());
    if (!Fits(needs, has))
        Report(edit, edit.text(), needs, has, problems);
}

// A string grid draws its cell texts inset by 2 pixels; an owner-drawn cell two lines high wraps.
void CheckStringGrid(const TStringGrid& grid, QStringList& problems) {
    const QFontMetrics fm(grid.font());
    for (int row = 0; row < grid.RowCount(); ++row) {
        for (int col = 0; col < grid.ColCount(); ++col) {
            const QString text = grid.Cells(col, row);
            if (text.isEmpty())
                continue;
            if (grid.ColWidths(col) <= 0 || grid.RowHeights(row) <= 0)
                continue; // not shown
            const QSize has(grid.ColWidths(col) - 4, grid.RowHeights(row) - 2);
            QSize needs = LineSize(fm, text);
            if (!Fits(needs, has) && has.height() >= 2 * fm.height())
                needs = fm.boundingRect(QRect(QPoint(0, 0), has), Qt::TextWordWrap, text).size();
            if (!Fits(needs, has))
                Report(grid, QStringLiteral("[%1,%2] %3").arg(col).arg(row).arg(text), needs, has, problems);
        }
    }
}

// Controls built of Qt's own parts place those parts themselves; their children are not checked for
// overlap.
bool IsComposite(const QWidget& widget) {
    // What a scroll area shows may be larger than its view: that is what the scroll bars are for.
    if (const auto* area = qobject_cast<const QAbstractScrollArea*>(widget.parentWidget());
        area && area->viewport() == &widget)
        return true;
    return qobject_cast<const QAbstractScrollArea*>(&widget) || qobject_cast<const QComboBox*>(&widget) ||
           qobject_cast<const QLineEdit*>(&widget) || qobject_cast<const QAbstractSpinBox*>(&widget) ||
           qobject_cast<const QTabBar*>(&widget) || qobject_cast<const QTabWidget*>(&widget) ||
           qobject_cast<const QAbstractButton*>(&widget) || qobject_cast<const QProgressBar*>(&widget);
}

// A picture without text that the controls stacked after it lie on by design (the splash window).
bool IsBackdrop(const QWidget& widget) {
    const auto* label = qobject_cast<const QLabel*>(&widget);
    return label && label->text().isEmpty() && !label->pixmap().isNull();
}

QList<const QWidget*> VisibleChildren(const QWidget& widget) {
    QList<const QWidget*> children;
    for (const QObject* child : widget.children()) {
        const auto* w = qobject_cast<const QWidget*>(child);
        if (w && !w->isWindow() && w->isVisible())
            children << w;
    }
    return children;
}

void CheckOverlap(const QWidget& parent, QStringList& problems) {
    if (IsComposite(parent))
        return;
    const QList<const QWidget*> children = VisibleChildren(parent);
    for (int i = 0; i < children.size(); ++i) {
        if (IsBackdrop(*children[i]))
            continue;
        for (int j = i + 1; j < children.size(); ++j) {
            const QRect common = children[i]->geometry().intersected(children[j]->geometry());
            if (!common.isEmpty())
                problems << QStringLiteral("%1 and %2 overlap in %3,%4 %5")
                                .arg(WidgetPath(*children[i]), WidgetPath(*children[j]))
                                .arg(common.x())
                                .arg(common.y())
                                .arg(SizeText(common.size()));
        }
    }
}

// A control that reaches past its parent is cut off there.
void CheckInsideParent(const QWidget& widget, QStringList& problems) {
    const QWidget* parent = widget.parentWidget();
    if (widget.isWindow() || !parent || IsComposite(*parent))
        return;
    if (!parent->rect().contains(widget.geometry()))
        problems << QStringLiteral("%1: %2,%3 %4 reaches past its parent's %5")
                        .arg(WidgetPath(widget))
                        .arg(widget.x())
                        .arg(widget.y())
                        .arg(SizeText(widget.size()), SizeText(parent->size()));
}

void CheckTree(const QWidget& widget, const TWidgetCheck& extra, QStringList& problems) {
    CheckWidgetText(widget, problems);
    CheckInsideParent(widget, problems);
    if (extra)
        extra(widget, problems);
    CheckOverlap(widget, problems);
    for (const QWidget* child : VisibleChildren(widget))
        CheckTree(*child, extra, problems);
}

} // namespace

QString WidgetPath(const QWidget& widget) {
    QStringList names;
    for (const QObject* o = &widget; o != nullptr; o = o->parent()) {
        names.prepend(o->objectName().isEmpty() ? QString::fromLatin1(o->metaObject()->className())
                                                : o->objectName());
        if (o->isWidgetType() && static_cast<const QWidget*>(o)->isWindow())
            break;
    }
    return names.join(QLatin1Char('/'));
}

void CheckWidgetText(const QWidget& widget, QStringList& problems) {
    if (const auto* label = qobject_cast<const QLabel*>(&widget))
        CheckLabel(*label, problems);
    else if (const auto* push = qobject_cast<const QPushButton*>(&widget))
        CheckPushButton(*push, problems);
    else if (const auto* check = qobject_cast<const QCheckBox*>(&widget))
        CheckIndicatorButton(*check, QStyle::SE_CheckBoxContents, problems);
    else if (const auto* radio = qobject_cast<const QRadioButton*>(&widget))
        CheckIndicatorButton(*radio, QStyle::SE_RadioButtonContents, problems);
    else if (const auto* tool = qobject_cast<const QToolButton*>(&widget))
        CheckToolButton(*tool, problems);
    else if (const auto* box = qobject_cast<const QGroupBox*>(&widget))
        CheckGroupBoxTitle(*box, problems);
    else if (const auto* bar = qobject_cast<const QTabBar*>(&widget))
        CheckTabs(*bar, problems);
    else if (const auto* combo = qobject_cast<const QComboBox*>(&widget))
        CheckComboBox(*combo, problems);
    else if (const auto* edit = qobject_cast<const QLineEdit*>(&widget))
        CheckLineEdit(*edit, problems);
    else if (const auto* grid = qobject_cast<const TStringGrid*>(&widget))
        CheckStringGrid(*grid, problems);
}

QStringList CheckWidgetTree(const QWidget& root, const TWidgetCheck& extra) {
    QStringList problems;
    if (!root.isVisible()) {
        problems << QStringLiteral("%1: not shown, nothing to check").arg(WidgetPath(root));
        return problems;
    }
    CheckTree(root, extra, problems);
    return problems;
}

QStringList SettledProblems(const std::function<QStringList()>& check, std::chrono::milliseconds deadline) {
    const QDeadlineTimer timer(deadline);
    for (;;) {
        QCoreApplication::processEvents();
        QStringList problems = check();
        if (problems.isEmpty() || timer.hasExpired())
            return problems;
        QThread::msleep(10);
    }
}

QStringList CheckSettledWidgetTree(const QWidget& root, const TWidgetCheck& extra) {
    return SettledProblems([&] { return CheckWidgetTree(root, extra); });
}
