#include "reporter/gui/ODialogFonts.h"

#include <QApplication>
#include <QFontDatabase>

namespace reporter {

TDialogFonts CreateDialogFonts() {
    TDialogFonts fonts;
    fonts.Message = QApplication::font("QMessageBox");
    fonts.Link = fonts.Message;
    fonts.Link.setWeight(QFont::Bold);
    fonts.Link.setUnderline(true);
    fonts.Caption = fonts.Message;
    fonts.Caption.setWeight(QFont::Bold);
    fonts.Fixed = QFontDatabase::systemFont(QFontDatabase::FixedFont);
    fonts.Fixed.setStyleHint(QFont::TypeWriter);
    fonts.Fixed.setFixedPitch(true);
    fonts.Fixed.setWeight(QFont::Normal);
    fonts.Fixed.setPointSize(std::max(fonts.Message.pointSize(), 8));
    fonts.List = fonts.Fixed;
    return fonts;
}

} // namespace reporter
