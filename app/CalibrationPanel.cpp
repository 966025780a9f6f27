#include "app/CalibrationPanel.h"
#include "app/Globals.h"
#include "app/Main.h"
#include "classlib/Application.h"
#include "classlib/Dialogs.h"
#include "classlib/Translation.h"
#include "comm/ModbusSerialTCPMaster.h"
#include "model/IOClasses.h"
#include "ui_Main.h"
#include <QApplication>
#include <QKeyEvent>
#include <QProxyStyle>

namespace {

void ErrorBox(const QString& text) {
    MessageDlg(text, TMsgDlgType::mtError, mbOK);
}

// The access code is echoed as "#".
class THashPasswordStyle : public QProxyStyle {
public:
    explicit THashPasswordStyle(QObject* owner) { setParent(owner); }
    int styleHint(StyleHint hint, const QStyleOption* option, const QWidget* widget,
                  QStyleHintReturn* returnData) const override {
        if (hint == SH_LineEdit_PasswordCharacter)
            return '#';
        return QProxyStyle::styleHint(hint, option, widget, returnData);
    }
};

// The calibration prompts have no way to cancel.
void PromptBox(const QString& text) {
    MessageDlg(text, TMsgDlgType::mtCustom, mbOK);
}

// The input calibration mode a device takes: 1 with analog outputs, else 0.
int InputMode(const TRemoteIO& device) {
    return device.AnalogicOutput() ? 1 : 0;
}

} // namespace

TCalibrationPanel::TCalibrationPanel(TFormMain* form) : QObject(form), m_form(form), m_ui(form->ui()) {
    connect(m_ui.btOK, &QPushButton::clicked, this, &TCalibrationPanel::btOKClick);
    connect(m_ui.btClose, &QPushButton::clicked, this, &TCalibrationPanel::btCloseClick);
    connect(m_ui.btCalibrationZero, &QPushButton::clicked, this, &TCalibrationPanel::btCalibrationZeroClick);
    connect(m_ui.btCalibrationMax, &QPushButton::clicked, this, &TCalibrationPanel::btCalibrationMaxClick);
    connect(m_ui.btCalibrationC1Zero, &QPushButton::clicked, this,
            &TCalibrationPanel::btCalibrationC1ZeroClick);
    connect(m_ui.btCalibrationC1Max, &QPushButton::clicked, this,
            &TCalibrationPanel::btCalibrationC1MaxClick);
    connect(m_ui.btCalibrateAnalogicC0Out, &QPushButton::clicked, this,
            &TCalibrationPanel::btCalibrateAnalogicC0OutClick);
    connect(m_ui.btCalibrateAnalogicC1Out, &QPushButton::clicked, this,
            &TCalibrationPanel::btCalibrateAnalogicC1OutClick);
    QPalette red = m_ui.lbMessage->palette();
    red.setColor(QPalette::WindowText, Qt::red);
    m_ui.lbMessage->setPalette(red);
    m_ui.edtPassword->setEchoMode(QLineEdit::Password);
    m_ui.edtPassword->setStyle(new THashPasswordStyle(m_ui.edtPassword));
    // The code panel covers the buttons while locked: opaque and on top of them.
    m_ui.gbPassword->setAutoFillBackground(true);
    m_ui.gbPassword->raise();
    SetLocked(true);
    m_form->installEventFilter(this);
    m_ui.tvNetwork->installEventFilter(this);
    m_ui.btDiagnostic->installEventFilter(this);
}

bool TCalibrationPanel::eventFilter(QObject* watched, QEvent* event) {
    if (event->type() != QEvent::KeyPress)
        return false;
    // The form's own key presses only: keys that a child left unhandled do not count.
    if (watched == m_form && QApplication::focusWidget() && QApplication::focusWidget() != m_form)
        return false;
    const QString text = static_cast<QKeyEvent*>(event)->text();
    if (text.size() != 1 || text.at(0).unicode() < 32 || text.at(0).unicode() == 127)
        return false;
    try {
        FormKeyPress(text.at(0));
    } catch (...) {
        HandleException(this);
    }
    return false; // the control still handles its key
}

void TCalibrationPanel::FormKeyPress(QChar key) {
    if (key != QLatin1Char('g') && key != QLatin1Char('G')) {
        ErrorBox(_("Select a remote I/O."));
        return;
    }
    QObject* selected = m_form->SelectedObject();
    if (!selected) {
        ErrorBox(_("Select a remote I/O."));
        return;
    }
    auto* device = qobject_cast<TRemoteIO*>(selected);
    if (!device)
        return;
    const std::pair<QPushButton*, TCalibrationCommand> buttons[] = {
        {m_ui.btCalibrationZero, TCalibrationCommand::C0Zero},
        {m_ui.btCalibrationMax, TCalibrationCommand::C0Max},
        {m_ui.btCalibrationC1Zero, TCalibrationCommand::C1Zero},
        {m_ui.btCalibrationC1Max, TCalibrationCommand::C1Max},
        {m_ui.btCalibrateAnalogicC0Out, TCalibrationCommand::Output1},
        {m_ui.btCalibrateAnalogicC1Out, TCalibrationCommand::Output2}};
    // Only the calibrations the device's channels allow are offered.
    for (const auto& [button, command] : buttons)
        button->setEnabled(CanCalibrate(*device, command));
    if (device->AnalogicOutput()) {
        m_ui.gbCalibration->show();
        m_ui.btCalibrationZero->setText(_("Calibrate C0 with 0"));
        m_ui.btCalibrationMax->setText(_("Calibrate C0 with Max"));
        Calibration.CalibrationMode = 1;
    } else if (device->AnalogicInput()) {
        m_ui.gbCalibration->show();
        m_ui.btCalibrationZero->setText(_("Calibrate with 0"));
        m_ui.btCalibrationMax->setText(_("Calibrate with Max"));
        Calibration.CalibrationMode = 0;
    }
    // The code typed next goes to its field. The key that opened the box still reaches the control
    // it was meant for, not the field.
    if ((device->AnalogicOutput() || device->AnalogicInput()) && !m_ui.gbPassword->isHidden())
        m_ui.edtPassword->setFocus(Qt::OtherFocusReason);
}

bool TCalibrationPanel::CanCalibrate(const TRemoteIO& device, TCalibrationCommand command) {
    const int inputs = device.AnalogicInput() ? device.AnalogicInput()->GetCount() : 0;
    const int outputs = device.AnalogicOutput() ? device.AnalogicOutput()->GetCount() : 0;
    switch (command) {
    case TCalibrationCommand::C0Zero:
    case TCalibrationCommand::C0Max:
        return inputs >= 1;
    case TCalibrationCommand::C1Zero:
    case TCalibrationCommand::C1Max:
        return inputs >= 2 && outputs >= 1;
    case TCalibrationCommand::Output1:
        return outputs >= 1;
    case TCalibrationCommand::Output2:
        return outputs >= 2;
    }
    return false;
}

void TCalibrationPanel::SetLocked(bool locked) {
    // Covered buttons are hidden too, so that no key reaches them before the code is typed.
    for (QPushButton* button :
         {m_ui.btCalibrationZero, m_ui.btCalibrationMax, m_ui.btCalibrationC1Zero, m_ui.btCalibrationC1Max,
          m_ui.btCalibrateAnalogicC0Out, m_ui.btCalibrateAnalogicC1Out})
        button->setVisible(!locked);
    m_ui.pbCalibration->setVisible(!locked);
    m_ui.gbPassword->setVisible(locked);
}

void TCalibrationPanel::btOKClick() {
    if (m_ui.edtPassword->text() == QLatin1String(AccessCode)) {
        SetLocked(false);
        m_ui.toolbtnLog->show();
    } else {
        m_ui.lbMessage->show();
    }
}

void TCalibrationPanel::btCloseClick() {
    CalibrationBoxRestore = false;
    m_ui.gbCalibration->hide();
    m_ui.edtPassword->clear();
    SetLocked(true); // the code is asked again next time
    m_ui.toolbtnLog->hide();
}

void TCalibrationPanel::Calibrate(TCalibrationCommand command, const char* prompt) {
    // The selection may have moved since the box was opened: only a device is calibrated, and only
    // with a command its channels allow (the module refuses the others).
    auto* device = qobject_cast<TRemoteIO*>(m_form->SelectedObject());
    if (!device || !CanCalibrate(*device, command)) {
        Calibration.Calibrating = false;
        ErrorBox(device ? _("This device cannot perform this calibration.") : _("Select a remote I/O."));
        return;
    }
    // An input button after an output calibration calibrates the input again.
    if (Calibration.CalibrationOutput != 0 && Calibration.CalibrationOutput != 1)
        Calibration.CalibrationMode = InputMode(*device);
    PromptBox(_(prompt));
    if (m_form->SendConfig(device) == TFormMain::TSendOutcome::Failed)
        ErrorBox(_("The calibration failed: ") + (ModbusMaster ? ModbusMaster->ErrorText() : QString()));
    PromptBox(_("End of Calibration."));
    Calibration.Calibrating = false;
    m_ui.pbCalibration->setValue(0);
}

void TCalibrationPanel::btCalibrationZeroClick() {
    Calibration.Calibrating = true;
    Calibration.CalibrationStep = 1;
    Calibration.CalibrationChannel = 0;
    Calibration.CalibrationOutput = 3;
    Calibrate(TCalibrationCommand::C0Zero, N_("IT CONFIRMS THAT THE VALUE OF THE INPUT THIS IN 0V or 0 ma."));
}

void TCalibrationPanel::btCalibrationMaxClick() {
    Calibration.Calibrating = true;
    Calibration.CalibrationStep = 0;
    Calibration.CalibrationChannel = 0;
    Calibration.CalibrationOutput = 3;
    Calibrate(TCalibrationCommand::C0Max, N_("IT CONFIRMS THAT THE VALUE OF THE INPUT THIS IN 10V or 20 ma"));
}

void TCalibrationPanel::btCalibrationC1ZeroClick() {
    Calibration.Calibrating = true;
    Calibration.CalibrationStep = 1;
    Calibration.CalibrationChannel = 1;
    Calibration.CalibrationOutput = 2;
    Calibrate(TCalibrationCommand::C1Zero, N_("IT CONFIRMS THAT THE VALUE OF THE INPUT THIS IN 0V or 0 ma"));
}

void TCalibrationPanel::btCalibrationC1MaxClick() {
    Calibration.Calibrating = true;
    Calibration.CalibrationStep = 0;
    Calibration.CalibrationChannel = 1;
    Calibration.CalibrationOutput = 2;
    Calibrate(TCalibrationCommand::C1Max, N_("IT CONFIRMS THAT THE VALUE OF THE INPUT THIS IN 10V or 20 ma"));
}

void TCalibrationPanel::btCalibrateAnalogicC0OutClick() {
    Calibration.Calibrating = true;
    Calibration.CalibrationOutput = 0;
    Calibration.CalibrationMode = 2;
    Calibrate(
        TCalibrationCommand::Output1,
        N_("IT CONFIRMS THAT THE VALUE OF THE INPUT 1 THIS IN 10V AND OUTPUT 1 IS CONNECTED IN INPUT 2"));
}

void TCalibrationPanel::btCalibrateAnalogicC1OutClick() {
    Calibration.Calibrating = true;
    Calibration.CalibrationOutput = 1;
    Calibration.CalibrationMode = 2;
    Calibrate(
        TCalibrationCommand::Output2,
        N_("IT CONFIRMS THAT THE VALUE OF THE INPUT 1 THIS IN 10V AND OUTPUT 2 IS CONNECTED IN INPUT 2"));
}
