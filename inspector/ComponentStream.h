#pragma once
// A small component stream of our own: typed values (integers, floats, strings, identifiers, Booleans,
// lists, collections) on a QDataStream, and the writer and reader of an object's published properties.
// Every length read is checked against the bytes left, so a truncated or corrupt stream raises EReadError.
#include "classlib/SysUtils.h"
#include <QDataStream>
#include <QObject>

class EStreamError : public Exception {
    using Exception::Exception;
};
class EReadError : public EStreamError {
    using EStreamError::EStreamError;
};

enum class TValueType : quint8 {
    vaNull = 0, // end of a list
    vaList = 1,
    vaInt32 = 4,
    vaExtended = 5,
    vaString = 6,
    vaIdent = 7,
    vaFalse = 8,
    vaTrue = 9,
    vaCollection = 14,
    vaInt64 = 19,
};

class TWriter;
class TReader;

// An object that stores values of its own after its published properties (flags, records): the writer
// asks it to write them, the reader hands it every name that is not one of its published properties.
class TDefinedProperties {
public:
    virtual ~TDefinedProperties() = default;
    virtual void WriteDefinedProperties(TWriter& writer) const = 0;
    // Reads the value of a property of that name; false when the name is not one of its own.
    virtual bool ReadDefinedProperty(TReader& reader, const QString& name) = 0;
};

// An object that the reader keeps in its loading state while its properties are read, and tells when
// all of them are there (also after a read that failed, so that it never stays loading).
class TLoadingObject {
public:
    virtual ~TLoadingObject() = default;
    virtual void BeginLoading() = 0;
    virtual void Loaded() = 0;
};

class TWriter {
public:
    // The device must be open for writing.
    explicit TWriter(QIODevice* device);

    void WriteValue(TValueType value);
    void WriteListBegin() { WriteValue(TValueType::vaList); }
    void WriteListEnd() { WriteValue(TValueType::vaNull); }
    void WritePropName(const QString& name);
    void WriteString(const QString& value);
    void WriteIdent(const QString& value);
    void WriteInteger(qint64 value);
    void WriteFloat(double value);
    void WriteBoolean(bool value);
    // Every stored, writable published property of the object: name, then typed value; then the object's
    // defined properties.
    void WriteProperties(const QObject* instance);
    // The object's properties closed by a list end: what ReadComponent reads.
    void WriteComponent(const QObject* instance);

private:
    void WriteUtf8(const QString& text);
    QDataStream m_stream;
};

class TReader {
public:
    // The device must be open for reading.
    explicit TReader(QIODevice* device);

    TValueType ReadValue();
    TValueType NextValue();
    bool EndOfList() { return NextValue() == TValueType::vaNull; }
    void ReadListBegin();
    void ReadListEnd();
    // A property name (no value type in front).
    QString ReadStr();
    QString ReadString();
    bool ReadBoolean();
    qint64 ReadInteger();
    // Reads one property (name and value) into the object through its meta-property, or as one of the
    // object's defined properties.
    void ReadProperty(QObject* instance);
    // Reads properties up to the closing list end, the object in its loading state meanwhile.
    void ReadComponent(QObject* instance);

private:
    void Need(qint64 bytes);
    QString ReadUtf8();
    QVariant ReadPropValue(TValueType type, int depth);
    void Expect(TValueType actual, TValueType expected);
    QIODevice* m_device;
    QDataStream m_stream;
};
