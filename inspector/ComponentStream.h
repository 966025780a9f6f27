#pragma once
// A small component stream of our own: typed values (integers, floats, strings, identifiers, Booleans,
// lists, collections) on a QDataStream, and the writer and reader of an object's published properties.
// Every length read is checked against the bytes left, so a truncated or corrupt stream raises EReadError.
//
// A property is left out when its class says so with Q_CLASSINFO("stored:Prop", ...): "false", or the
// name of a Q_INVOKABLE bool method of the object that answers whether it is stored now. A property that
// holds a collection is written as the collection's items, each with its own published properties, and
// read back into the collection it holds (which is cleared first).
#include "classlib/SysUtils.h"
#include "inspector/DefinedProperties.h"
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
    vaBinary = 10,
    vaNil = 13, // an empty variant
    vaCollection = 14,
    vaInt64 = 19,
};

class TCollection;

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
    void WriteBinary(const QByteArray& value);
    // An integer, float, string or Boolean as its own value type; anything else (empty, an object) as vaNil.
    void WriteVariant(const QVariant& value);
    // The collection marker, each item's properties as a list, and the closing list end.
    void WriteCollection(const TCollection* collection);
    // Every stored, writable published property of the object (and every stored collection it holds):
    // name, then typed value; then the object's defined properties.
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
    QByteArray ReadBinary();
    qint64 ReadInteger();
    // What WriteVariant wrote: vaNil reads as an empty variant.
    QVariant ReadVariant();
    // Replaces the collection's items by those of the stream.
    void ReadCollection(TCollection* collection);
    // Reads one property (name and value) into the object through its meta-property, or as one of the
    // object's defined properties.
    void ReadProperty(QObject* instance);
    // Reads properties up to the closing list end, the object in its loading state meanwhile.
    void ReadComponent(QObject* instance);

private:
    void Need(qint64 bytes);
    QString ReadUtf8();
    QByteArray ReadBytes();
    QVariant ReadPropValue(TValueType type, int depth);
    void Expect(TValueType actual, TValueType expected);
    QIODevice* m_device;
    QDataStream m_stream;
    int m_collectionDepth = 0; // collections open inside collections: bounded
};
