#include "classlib/Application.h"
#include "classlib/Dialogs.h"
#include "classlib/SysUtils.h"
#include "classlib/Thread.h"
#include <cstdlib>
#include <cxxabi.h>
#include <memory>
#include <mutex>

namespace {

struct Hooks {
    std::mutex mutex;
    TExceptionHook handle;
    TExceptionHook show;
};

Hooks& hooks() {
    static Hooks h;
    return h;
}

TExceptionHook hookOf(TExceptionHook Hooks::*which) {
    std::lock_guard lock(hooks().mutex);
    return hooks().*which;
}

TExceptionHook replaceHook(TExceptionHook Hooks::*which, TExceptionHook hook) {
    std::lock_guard lock(hooks().mutex);
    std::swap(hooks().*which, hook);
    return hook;
}

bool isAbort(const std::exception_ptr& error) {
    try {
        std::rethrow_exception(error);
    } catch (const EAbort&) {
        return true;
    } catch (...) {
        return false;
    }
}

QString currentTypeName() {
    const std::type_info* type = abi::__cxa_current_exception_type();
    if (!type)
        return QStringLiteral("unknown");
    int status = 0;
    std::unique_ptr<char, void (*)(void*)> demangled(
        abi::__cxa_demangle(type->name(), nullptr, nullptr, &status), std::free);
    return QString::fromUtf8(status == 0 && demangled ? demangled.get() : type->name());
}

void runOnMainThread(const std::function<void()>& call) {
    try {
        TThread::Synchronize(nullptr, call);
    } catch (...) {
        // The report itself failed; there is nowhere left to report to.
    }
}

} // namespace

QString ExceptionMessage(const std::exception_ptr& error) {
    if (!error)
        return QString();
    try {
        std::rethrow_exception(error);
    } catch (const Exception& e) {
        return e.Message();
    } catch (const std::exception& e) {
        return QString::fromUtf8(e.what());
    } catch (...) {
        return QStringLiteral("Exception of class %1").arg(currentTypeName());
    }
}

void ShowException(const std::exception_ptr& error) {
    if (!error)
        return;
    runOnMainThread([&] {
        if (const TExceptionHook hook = hookOf(&Hooks::show); hook && hook(error, nullptr))
            return;
        QString msg = ExceptionMessage(error);
        if (!msg.isEmpty() && msg.back() > u'.')
            msg += u'.';
        ApplicationMessageBox(msg, ApplicationCaption(), MB_OK | MB_ICONERROR);
    });
}

void HandleException(const std::exception_ptr& error, QObject* sender) {
    if (!error || isAbort(error))
        return;
    runOnMainThread([&] {
        if (const TExceptionHook hook = hookOf(&Hooks::handle); hook && hook(error, sender))
            return;
        ShowException(error);
    });
}

void HandleException(QObject* sender) {
    HandleException(std::current_exception(), sender);
}

TExceptionHook SetHandleExceptionHook(TExceptionHook hook) {
    return replaceHook(&Hooks::handle, std::move(hook));
}

TExceptionHook SetShowExceptionHook(TExceptionHook hook) {
    return replaceHook(&Hooks::show, std::move(hook));
}

TApplication::TApplication(int& argc, char** argv) : QApplication(argc, argv) {}

bool TApplication::notify(QObject* receiver, QEvent* event) {
    try {
        return QApplication::notify(receiver, event);
    } catch (...) {
        HandleException(receiver);
        return false;
    }
}
