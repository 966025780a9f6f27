#pragma once
// Exceptions of the class library: every one carries a user-readable Message.
#include <QByteArray>
#include <QString>
#include <exception>

class Exception : public std::exception {
public:
    explicit Exception(QString message) : m_message(std::move(message)), m_utf8(m_message.toUtf8()) {}
    const QString& Message() const noexcept { return m_message; }
    const char* what() const noexcept override { return m_utf8.constData(); }

private:
    QString m_message;
    QByteArray m_utf8;
};

class EComponentError : public Exception {
    using Exception::Exception;
};
class EListError : public Exception {
    using Exception::Exception;
};
class EConvertError : public Exception {
    using Exception::Exception;
};
class EPropertyError : public Exception {
    using Exception::Exception;
};
// A property value that does not fit the property's type. It is a conversion error, so that callers that
// turn text into values catch one class.
class EPropertyConvertError : public EConvertError {
    using EConvertError::EConvertError;
};
class EFilerError : public Exception {
    using Exception::Exception;
};
class EClassNotFound : public EFilerError {
    using EFilerError::EFilerError;
};
class EInvalidOperation : public Exception {
    using Exception::Exception;
};
class EThread : public Exception {
    using Exception::Exception;
};
// The silent exception: it unwinds like any other but is never shown.
class EAbort : public Exception {
    using Exception::Exception;
};

// Raises EAbort ("Operation aborted").
[[noreturn]] void Abort();

// "List index out of bounds (%d)", the class library's text for any list accessed outside its range.
[[noreturn]] void RaiseListIndexError(qsizetype index);

// A valid identifier: a letter or underscore, then letters, digits or underscores.
bool IsValidIdent(const QString& ident);
