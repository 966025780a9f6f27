#pragma once
// Message boxes of the class library. Every box goes through one replaceable presenter: the program
// shows a QMessageBox, tests record what was asked and answer at once.
#include <QString>
#include <memory>

// The window of a dialog or message box: a title bar with the system menu and the close button, and no
// minimise or maximise button.
inline constexpr Qt::WindowFlags DialogWindowFlags = Qt::Dialog | Qt::CustomizeWindowHint |
                                                     Qt::WindowTitleHint | Qt::WindowSystemMenuHint |
                                                     Qt::WindowCloseButtonHint;

enum class TMsgDlgType { mtWarning, mtError, mtInformation, mtConfirmation, mtCustom };

enum TMsgDlgBtn : unsigned {
    mbYes = 1u << 0,
    mbNo = 1u << 1,
    mbOK = 1u << 2,
    mbCancel = 1u << 3,
    mbAbort = 1u << 4,
    mbRetry = 1u << 5,
    mbIgnore = 1u << 6,
    mbAll = 1u << 7,
    mbNoToAll = 1u << 8,
    mbYesToAll = 1u << 9,
    mbHelp = 1u << 10,
};
using TMsgDlgButtons = unsigned;

// Modal results.
enum TModalResult : int {
    mrNone = 0,
    mrOk = 1,
    mrCancel = 2,
    mrAbort = 3,
    mrRetry = 4,
    mrIgnore = 5,
    mrYes = 6,
    mrNo = 7,
    mrAll = 8,
    mrNoToAll = 9,
    mrYesToAll = 10,
};

// Flags of the application's message box (icon and buttons), values as the platform had them.
enum TMessageBoxFlag : unsigned {
    MB_OK = 0x0,
    MB_OKCANCEL = 0x1,
    MB_YESNOCANCEL = 0x3,
    MB_YESNO = 0x4,
    MB_ICONERROR = 0x10,
    MB_ICONQUESTION = 0x20,
    MB_ICONWARNING = 0x30,
    MB_ICONINFORMATION = 0x40,
};

struct TMessageRequest {
    enum class Kind { MessageDlg, MessageBox };
    Kind kind = Kind::MessageDlg;
    QString text;
    QString caption;                               // MessageBox only
    TMsgDlgType type = TMsgDlgType::mtInformation; // MessageDlg only
    TMsgDlgButtons buttons = mbOK;                 // MessageDlg only
    unsigned flags = MB_OK;                        // MessageBox only
    // MessageDlg only: the button Enter presses; 0 leaves the first one.
    TMsgDlgButtons defaultButton = 0;
};

class QWidget;

class IMessagePresenter {
public:
    virtual ~IMessagePresenter() = default;
    // Returns a modal result.
    virtual int Present(const TMessageRequest& request) = 0;
};

// The window a box opens over: the modal dialog or the active window, else the program's main window (a
// visible window of no owner) when no window has the focus, as without a window manager.
QWidget* MessageOwner();

// Installs a presenter and returns the previous one (nullptr restores the QMessageBox presenter).
std::unique_ptr<IMessagePresenter> SetMessagePresenter(std::unique_ptr<IMessagePresenter> presenter);

int MessageDlg(const QString& msg, TMsgDlgType type, TMsgDlgButtons buttons, int helpCtx = 0);
// The same with the button that Enter presses (one of buttons).
int MessageDlg(const QString& msg, TMsgDlgType type, TMsgDlgButtons buttons, int helpCtx,
               TMsgDlgButtons defaultButton);
// The application's message box: text, caption and MB_ flags.
int ApplicationMessageBox(const QString& text, const QString& caption, unsigned flags);
// The application's title for a box's caption: its display name, or its name when the display name is
// empty (a dialog that wanted plain window titles may have left it empty).
QString ApplicationCaption();
// ShowMessage: an information text with an OK button and the application title as caption.
void ShowMessage(const QString& msg);
