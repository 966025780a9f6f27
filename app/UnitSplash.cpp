#include "app/UnitSplash.h"
#include "app/Globals.h"
#include "app/ImageLists.h"
#include "app/WindowPlacement.h"
#include "classlib/Translation.h"
#include "ui_UnitSplash.h"
#include <QBitmap>
#include <QCoreApplication>
#include <QThread>

namespace {
const QColor kLabelColour(29, 168, 56);
const QColor kGaugeBackground(0, 95, 53);
const QColor kGaugeBar(133, 210, 0);
} // namespace

TFormSplash::TFormSplash(QWidget* parent) : QWidget(parent), m_ui(std::make_unique<Ui::TFormSplash>()) {
    m_ui->setupUi(this);
    setWindowFlags(Qt::SplashScreen | Qt::FramelessWindowHint);
    FormCreate();
}

TFormSplash::~TFormSplash() = default;

void TFormSplash::FormCreate() {
    TranslateComponent(this);
    const QPixmap picture = SplashPicture();
    m_ui->imgSplash->setPixmap(picture);
    m_ui->imgSplash->setGeometry(0, 0, picture.width(), picture.height());
    setFixedSize(picture.size());
    CentreOnEveryShow(*this);
    // Pixels of the transparent colour (clFuchsia) show what lies behind the window.
    setMask(picture.createMaskFromColor(QColor(255, 0, 255), Qt::MaskInColor));
    QPalette pal = palette();
    pal.setColor(QPalette::Window, Qt::yellow);
    setPalette(pal);
    setAutoFillBackground(true);
    for (QWidget* label : {static_cast<QWidget*>(m_ui->lbVersion), static_cast<QWidget*>(m_ui->lbMessage),
                           static_cast<QWidget*>(m_ui->lbPorcento)}) {
        QPalette lp = label->palette();
        lp.setColor(QPalette::Window, kLabelColour);
        lp.setColor(QPalette::WindowText, Qt::white);
        label->setPalette(lp);
        label->setAutoFillBackground(true);
    }
    m_ui->Gauge->setStyleSheet(
        QStringLiteral(
            "QProgressBar { border: none; background: %1; } QProgressBar::chunk { background: %2; }")
            .arg(kGaugeBackground.name(), kGaugeBar.name()));
    m_ui->lbVersion->setText(GetAppVersionShort());
}

void TFormSplash::ShowProgress(int TotalMs) {
    m_ui->imgSplash->setVisible(true);
    repaint();
    const int step = TotalMs / 100;
    for (int p = 0; p <= 100; ++p) {
        m_ui->Gauge->setValue(p);
        m_ui->lbPorcento->setText(QString::number(p) + QLatin1Char('%'));
        repaint();
        QCoreApplication::processEvents(QEventLoop::ExcludeUserInputEvents);
        if (step > 0)
            QThread::msleep(static_cast<unsigned long>(step));
    }
}
