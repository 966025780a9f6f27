#include "classlib/Dialogs.h"
#include "classlib/Translation.h"
#include <QApplication>
#include <QMessageBox>
#include <QPushButton>

namespace {

class QMessageBoxPresenter : public IMessagePresenter {
public:
    int Present(const TMessageRequest& r) override {
        QMessageBox box(MessageOwner());
        box.setWindowFlags(DialogWindowFlags);
        box.setText(r.text);
        if (r.kind == TMessageRequest::Kind::MessageBox) {
            box.setWindowTitle(r.caption);
            switch (r.flags & 0xF0u) {
            case MB_ICONERROR:
                box.setIcon(QMessageBox::Critical);
                break;
            case MB_ICONQUESTION:
                box.setIcon(QMessageBox::Question);
                break;
            case MB_ICONWARNING:
                box.setIcon(QMessageBox::Warning);
                break;
            case MB_ICONINFORMATION:
                box.setIcon(QMessageBox::Information);
                break;
            default:
                break;
            }
            switch (r.flags & 0x0Fu) {
            case MB_OKCANCEL:
                return addAndRun(box, {{QMessageBox::Ok, mrOk}, {QMessageBox::Cancel, mrCancel}});
            case MB_YESNOCANCEL:
                return addAndRun(
                    box,
                    {{QMessageBox::Yes, mrYes}, {QMessageBox::No, mrNo}, {QMessageBox::Cancel, mrCancel}});
            case MB_YESNO:
                return addAndRun(box, {{QMessageBox::Yes, mrYes}, {QMessageBox::No, mrNo}});
            default:
                return addAndRun(box, {{QMessageBox::Ok, mrOk}});
            }
        }
        static const char* const captions[] = {"Warning", "Error", "Information", "Confirmation", ""};
        box.setWindowTitle(r.type == TMsgDlgType::mtCustom ? ApplicationCaption()
                                                           : LoadResString(captions[int(r.type)]));
        switch (r.type) {
        case TMsgDlgType::mtWarning:
            box.setIcon(QMessageBox::Warning);
            break;
        case TMsgDlgType::mtError:
            box.setIcon(QMessageBox::Critical);
            break;
        case TMsgDlgType::mtInformation:
            box.setIcon(QMessageBox::Information);
            break;
        case TMsgDlgType::mtConfirmation:
            box.setIcon(QMessageBox::Question);
            break;
        case TMsgDlgType::mtCustom:
            break;
        }
        static const std::pair<TMsgDlgBtn, std::pair<QMessageBox::StandardButton, int>> map[] = {
            {mbYes, {QMessageBox::Yes, mrYes}},
            {mbNo, {QMessageBox::No, mrNo}},
            {mbOK, {QMessageBox::Ok, mrOk}},
            {mbCancel, {QMessageBox::Cancel, mrCancel}},
            {mbAbort, {QMessageBox::Abort, mrAbort}},
            {mbRetry, {QMessageBox::Retry, mrRetry}},
            {mbIgnore, {QMessageBox::Ignore, mrIgnore}},
            {mbAll, {QMessageBox::NoButton, mrAll}},
            {mbNoToAll, {QMessageBox::NoToAll, mrNoToAll}},
            {mbYesToAll, {QMessageBox::YesToAll, mrYesToAll}},
            {mbHelp, {QMessageBox::Help, mrNone}},
        };
        std::vector<std::pair<QMessageBox::StandardButton, int>> buttons;
        QMessageBox::StandardButton defaultButton = QMessageBox::NoButton;
        for (const auto& [flag, pair] : map) {
            if (r.buttons & flag)
                buttons.push_back(pair);
            if ((r.buttons & flag) && (r.defaultButton & flag))
                defaultButton = pair.first;
        }
        if (buttons.empty())
            buttons.push_back({QMessageBox::Ok, mrOk});
        return addAndRun(box, buttons, defaultButton);
    }

private:
    // QMessageBox has no "All" button of its own: NoButton stands for it (mbAll and mbYesToAll are two
    // buttons).
    static int addAndRun(QMessageBox& box,
                         const std::vector<std::pair<QMessageBox::StandardButton, int>>& buttons,
                         QMessageBox::StandardButton defaultButton = QMessageBox::NoButton) {
        std::vector<std::pair<QAbstractButton*, int>> added;
        for (const auto& b : buttons)
            added.emplace_back(b.first == QMessageBox::NoButton
                                   ? box.addButton(LoadResString("&All"), QMessageBox::AcceptRole)
                                   : box.addButton(b.first),
                               b.second);
        if (defaultButton != QMessageBox::NoButton)
            box.setDefaultButton(defaultButton);
        box.exec();
        for (const auto& b : added)
            if (b.first && b.first == box.clickedButton())
                return b.second;
        return mrCancel;
    }
};

std::unique_ptr<IMessagePresenter>& presenter() {
    static std::unique_ptr<IMessagePresenter> p = std::make_unique<QMessageBoxPresenter>();
    return p;
}

} // namespace

QWidget* MessageOwner() {
    if (!qApp)
        return nullptr;
    if (QWidget* modal = QApplication::activeModalWidget())
        return modal;
    if (QWidget* active = QApplication::activeWindow())
        return active;
    for (QWidget* window : QApplication::topLevelWidgets())
        if (window->isVisible() && window->windowType() == Qt::Window && window->parentWidget() == nullptr)
            return window;
    return nullptr;
}

std::unique_ptr<IMessagePresenter> SetMessagePresenter(std::unique_ptr<IMessagePresenter> p) {
    if (!p)
        p = std::make_unique<QMessageBoxPresenter>();
    std::swap(presenter(), p);
    return p;
}

int MessageDlg(const QString& msg, TMsgDlgType type, TMsgDlgButtons buttons, int helpCtx) {
    return MessageDlg(msg, type, buttons, helpCtx, 0);
}

int MessageDlg(const QString& msg, TMsgDlgType type, TMsgDlgButtons buttons, int,
               TMsgDlgButtons defaultButton) {
    TMessageRequest r;
    r.kind = TMessageRequest::Kind::MessageDlg;
    r.text = msg;
    r.type = type;
    r.buttons = buttons;
    r.defaultButton = defaultButton;
    return presenter()->Present(r);
}

int ApplicationMessageBox(const QString& text, const QString& caption, unsigned flags) {
    TMessageRequest r;
    r.kind = TMessageRequest::Kind::MessageBox;
    r.text = text;
    r.caption = caption;
    r.flags = flags;
    return presenter()->Present(r);
}

QString ApplicationCaption() {
    const QString display = QApplication::applicationDisplayName();
    return display.isEmpty() ? QApplication::applicationName() : display;
}

void ShowMessage(const QString& msg) {
    ApplicationMessageBox(msg, ApplicationCaption(), MB_OK);
}
