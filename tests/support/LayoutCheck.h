#pragma once
// What a technician sees of a window, checked from font metrics: every caption (label, button, check box,
// radio button, tool button, group box title, tab, combo box and edit text, string grid cell) fits the
// rectangle its control has, and no two visible sibling controls lie over each other. The window must be
// shown (offscreen is enough) so that its layouts have placed the controls.
#include <QStringList>
#include <chrono>
#include <functional>

class QWidget;

// A check of one widget added by the caller (for controls the generic checks do not know); it appends
// a readable problem for each fault it finds.
using TWidgetCheck = std::function<void(const QWidget& widget, QStringList& problems)>;

// Checks root and every visible widget below it that is not a window of its own; one line per problem,
// naming the widget by its object path. Empty when everything fits.
QStringList CheckWidgetTree(const QWidget& root, const TWidgetCheck& extra = {});

// The text checks of one widget alone (no children, no overlap).
void CheckWidgetText(const QWidget& widget, QStringList& problems);

// The object path of a widget ("TFormMain/gbCalibration/btClose"), for messages.
QString WidgetPath(const QWidget& widget);

// What a check finds once the layout has settled. Layouts settle over several rounds of posted events
// (later still on a busy machine), so events are served until the check finds nothing or the deadline
// has passed; the last round's problems then.
QStringList SettledProblems(const std::function<QStringList()>& check,
                            std::chrono::milliseconds deadline = std::chrono::seconds(10));

// CheckWidgetTree once the layout has settled.
QStringList CheckSettledWidgetTree(const QWidget& root, const TWidgetCheck& extra = {});
