#include "inspector/RSModalDialogs.h"

namespace {

TModalExecutor& Executor() {
    static TModalExecutor executor;
    return executor;
}

} // namespace

int ExecuteModal(QDialog* dialog) {
    if (!dialog)
        return QDialog::Rejected;
    if (const TModalExecutor& executor = Executor())
        return executor(dialog);
    return dialog->exec();
}

TModalExecutor SetModalExecutor(TModalExecutor executor) {
    TModalExecutor previous = std::move(Executor());
    Executor() = std::move(executor);
    return previous;
}

namespace {

THelpContextHandler& HelpHandler() {
    static THelpContextHandler handler;
    return handler;
}

} // namespace

void ShowHelpContext(int context) {
    if (const THelpContextHandler& handler = HelpHandler())
        handler(context);
}

THelpContextHandler SetHelpContextHandler(THelpContextHandler handler) {
    THelpContextHandler previous = std::move(HelpHandler());
    HelpHandler() = std::move(handler);
    return previous;
}
