#pragma once
// The exception boundary. No exception may cross Qt's event dispatch, so every event handler's exception
// ends in HandleException: TApplication::notify catches what a handler throws, and code that catches an
// exception it cannot deal with calls HandleException itself. By default the message is shown in an error
// box, as the class library's application did; the exception reporter takes over through the hooks.
#include <QApplication>
#include <QString>
#include <exception>
#include <functional>

// Answers true when it dealt with the exception, so that the default handling is skipped.
using TExceptionHook = std::function<bool(const std::exception_ptr& error, QObject* sender)>;

// Reports the exception being handled (call it inside a catch block), or the one given. An EAbort is
// silent. Safe from any thread: the box is shown on the main thread. Never throws.
void HandleException(QObject* sender = nullptr);
void HandleException(const std::exception_ptr& error, QObject* sender);
// The error box: the message (a '.' appended unless it ends in one or a punctuation mark below it), the
// application's title as caption, an OK button and the stop icon.
void ShowException(const std::exception_ptr& error);
// The text shown for an exception: Exception::Message, std::exception::what, or the type of anything else.
QString ExceptionMessage(const std::exception_ptr& error);

// Install a hook and answer the previous one (an empty hook restores the default handling).
TExceptionHook SetHandleExceptionHook(TExceptionHook hook);
TExceptionHook SetShowExceptionHook(TExceptionHook hook);

class TApplication : public QApplication {
    Q_OBJECT

public:
    TApplication(int& argc, char** argv);
    // Dispatches the event; an exception thrown by its handler goes to HandleException with the receiver.
    bool notify(QObject* receiver, QEvent* event) override;
};
