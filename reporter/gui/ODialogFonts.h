#pragma once
// The fonts shared by the reporter's dialogs: the message font for texts and buttons, a bold underlined
// link font, a bold caption font, and fixed-pitch fonts for the report pages and the lists.
#include <QFont>

namespace reporter {

struct TDialogFonts {
    QFont Message;
    QFont Link;
    QFont Caption;
    QFont Fixed;
    QFont List;
};

// Made on the GUI thread when a dialog opens.
TDialogFonts CreateDialogFonts();

} // namespace reporter
