#include "reporter/gui/OPlainCaption.h"

#include <QGuiApplication>

namespace reporter {

TPlainCaptionScope::TPlainCaptionScope() : m_saved(QGuiApplication::applicationDisplayName()) {
    QGuiApplication::setApplicationDisplayName(QString());
}

TPlainCaptionScope::~TPlainCaptionScope() {
    // Without a display name of its own the program showed its application name; that one is not set
    // again, or it would be appended from now on.
    if (m_saved != QCoreApplication::applicationName())
        QGuiApplication::setApplicationDisplayName(m_saved);
}

} // namespace reporter
