#include "inspector/ComponentStream.h"
#include "classlib/Collection.h"
#include "classlib/Translation.h"
#include <QIODevice>
#include <QMetaEnum>
#include <QMetaProperty>
#include <QStringList>
#include <climits>

namespace {

constexpr int MaxListDepth = 16;
// Rows hold rows: deep enough for any real tree, shallow enough for the stack.
constexpr int MaxCollectionDepth = 64;

// Whether the class stores the property now (Q_CLASSINFO "stored:Prop": "false", "true" or the name of a
// Q_INVOKABLE bool method); stored when the class says nothing.
bool StoredNow(const QObject* instance, const QMetaProperty& prop) {
    if (!prop.isStored())
        return false;
    const QMetaObject* mo = instance->metaObject();
    const int index = mo->indexOfClassInfo(QByteArray("stored:").append(prop.name()).constData());
    if (index < 0)
        return true;
    const QByteArray rule = mo->classInfo(index).value();
    if (rule == "true" || rule == "false")
        return rule == "true";
    bool stored = true;
    if (!QMetaObject::invokeMethod(const_cast<QObject*>(instance), rule.constData(), Qt::DirectConnection,
                                   Q_RETURN_ARG(bool, stored)))
        return true; // a rule that names no method: the property is stored as any other
    return stored;
}

// The collection a property holds, or nullptr for a property of another type.
TCollection* CollectionOf(const QObject* instance, const QMetaProperty& prop) {
    if (!(prop.metaType().flags() & QMetaType::PointerToQObject))
        return nullptr;
    return qobject_cast<TCollection*>(prop.read(instance).value<QObject*>());
}

// An enumeration holds one of its values; a set type any combination of its members' bits.
bool EnumValueInRange(const QMetaEnum& type, qint64 value) {
    if (value < INT_MIN || value > INT_MAX)
        return false;
    if (!type.isFlag())
        return type.valueToKey(int(value)) != nullptr;
    quint64 members = 0;
    for (int i = 0; i < type.keyCount(); ++i)
        members |= quint32(type.value(i));
    return (quint64(quint32(value)) & ~members) == 0;
}

// Whether a number read for a property of an integral type is one of that type's values: converting it
// would otherwise keep only its low bits. Other types take any number.
bool FitsPropertyType(int typeId, const QVariant& raw) {
    qint64 low = 0;
    qint64 high = 0;
    switch (typeId) {
    case QMetaType::Int:
        low = INT_MIN;
        high = INT_MAX;
        break;
    case QMetaType::UInt:
        high = UINT_MAX;
        break;
    case QMetaType::Short:
        low = SHRT_MIN;
        high = SHRT_MAX;
        break;
    case QMetaType::UShort:
        high = USHRT_MAX;
        break;
    case QMetaType::UChar:
        high = UCHAR_MAX;
        break;
    default:
        return true;
    }
    if (raw.typeId() == QMetaType::Double) {
        const double v = raw.toDouble();
        return v >= double(low) && v <= double(high); // false for NaN too
    }
    if (raw.typeId() == QMetaType::LongLong) {
        const qint64 v = raw.toLongLong();
        return v >= low && v <= high;
    }
    return true;
}

} // namespace

TWriter::TWriter(QIODevice* device) : m_stream(device) {
    m_stream.setByteOrder(QDataStream::LittleEndian);
}

void TWriter::WriteValue(TValueType value) {
    m_stream << quint8(value);
}

void TWriter::WriteUtf8(const QString& text) {
    const QByteArray bytes = text.toUtf8();
    m_stream << quint32(bytes.size());
    m_stream.writeRawData(bytes.constData(), int(bytes.size()));
}

void TWriter::WriteBinary(const QByteArray& value) {
    WriteValue(TValueType::vaBinary);
    m_stream << quint32(value.size());
    m_stream.writeRawData(value.constData(), int(value.size()));
}

void TWriter::WritePropName(const QString& name) {
    WriteUtf8(name);
}

void TWriter::WriteString(const QString& value) {
    WriteValue(TValueType::vaString);
    WriteUtf8(value);
}

void TWriter::WriteIdent(const QString& value) {
    WriteValue(TValueType::vaIdent);
    WriteUtf8(value);
}

void TWriter::WriteInteger(qint64 value) {
    if (value >= INT32_MIN && value <= INT32_MAX) {
        WriteValue(TValueType::vaInt32);
        m_stream << qint32(value);
    } else {
        WriteValue(TValueType::vaInt64);
        m_stream << value;
    }
}

void TWriter::WriteFloat(double value) {
    WriteValue(TValueType::vaExtended);
    m_stream << value;
}

void TWriter::WriteBoolean(bool value) {
    WriteValue(value ? TValueType::vaTrue : TValueType::vaFalse);
}

void TWriter::WriteVariant(const QVariant& value) {
    switch (value.typeId()) {
    case QMetaType::Bool:
        WriteBoolean(value.toBool());
        break;
    case QMetaType::Int:
    case QMetaType::UInt:
    case QMetaType::LongLong:
    case QMetaType::Short:
    case QMetaType::UShort:
    case QMetaType::UChar:
        WriteInteger(value.toLongLong());
        break;
    case QMetaType::Double:
    case QMetaType::Float:
        WriteFloat(value.toDouble());
        break;
    case QMetaType::QString:
        WriteString(value.toString());
        break;
    default:
        WriteValue(TValueType::vaNil); // empty, or an object that only lives in this process
    }
}

void TWriter::WriteCollection(const TCollection* collection) {
    WriteValue(TValueType::vaCollection);
    for (int i = 0; collection && i < collection->Count(); ++i) {
        WriteListBegin();
        WriteProperties(collection->Items(i));
        WriteListEnd();
    }
    WriteListEnd();
}

void TWriter::WriteProperties(const QObject* instance) {
    const QMetaObject* mo = instance->metaObject();
    for (int i = QObject::staticMetaObject.propertyCount(); i < mo->propertyCount(); ++i) {
        const QMetaProperty prop = mo->property(i);
        if (!StoredNow(instance, prop))
            continue;
        if (const TCollection* collection = CollectionOf(instance, prop)) {
            WritePropName(QString::fromLatin1(prop.name()));
            WriteCollection(collection);
            continue;
        }
        if (!prop.isWritable())
            continue;
        const QVariant value = prop.read(instance);
        const int type = prop.metaType().id();
        if (prop.isEnumType() && !prop.isFlagType()) {
            WritePropName(QString::fromLatin1(prop.name()));
            WriteIdent(QString::fromLatin1(prop.enumerator().valueToKey(value.toInt())));
        } else if (type == QMetaType::Bool) {
            WritePropName(QString::fromLatin1(prop.name()));
            WriteBoolean(value.toBool());
        } else if (type == QMetaType::Int || type == QMetaType::UInt || type == QMetaType::LongLong ||
                   type == QMetaType::Short || type == QMetaType::UShort || type == QMetaType::UChar ||
                   prop.isFlagType() || (prop.metaType().flags() & QMetaType::IsEnumeration)) {
            // An enumeration the meta-object names no values of goes as its number.
            WritePropName(QString::fromLatin1(prop.name()));
            WriteInteger(value.toLongLong());
        } else if (type == QMetaType::Double || type == QMetaType::Float) {
            WritePropName(QString::fromLatin1(prop.name()));
            WriteFloat(value.toDouble());
        } else if (type == QMetaType::QString) {
            WritePropName(QString::fromLatin1(prop.name()));
            WriteString(value.toString());
        } else if (type == QMetaType::QStringList) {
            WritePropName(QString::fromLatin1(prop.name()));
            WriteListBegin();
            for (const QString& line : value.toStringList())
                WriteString(line);
            WriteListEnd();
        }
        // Other kinds (objects, methods) are not part of this stream.
    }
    if (auto* defined = dynamic_cast<const TDefinedProperties*>(instance))
        defined->WriteDefinedProperties(*this);
}

void TWriter::WriteComponent(const QObject* instance) {
    WriteProperties(instance);
    WriteListEnd();
}

TReader::TReader(QIODevice* device) : m_device(device), m_stream(device) {
    m_stream.setByteOrder(QDataStream::LittleEndian);
}

void TReader::Need(qint64 bytes) {
    if (bytes < 0 || m_device->bytesAvailable() < bytes)
        throw EReadError(_("Stream read error"));
}

TValueType TReader::ReadValue() {
    Need(1);
    quint8 v = 0;
    m_stream >> v;
    return TValueType(v);
}

TValueType TReader::NextValue() {
    Need(1);
    char c = 0;
    if (m_device->peek(&c, 1) != 1)
        throw EReadError(_("Stream read error"));
    return TValueType(quint8(c));
}

void TReader::Expect(TValueType actual, TValueType expected) {
    if (actual != expected)
        throw EReadError(_("Invalid stream format"));
}

void TReader::ReadListBegin() {
    Expect(ReadValue(), TValueType::vaList);
}

void TReader::ReadListEnd() {
    Expect(ReadValue(), TValueType::vaNull);
}

QByteArray TReader::ReadBytes() {
    Need(4);
    quint32 length = 0;
    m_stream >> length;
    Need(qint64(length)); // never trust a length beyond the bytes that are there
    QByteArray bytes(qsizetype(length), Qt::Uninitialized);
    if (m_stream.readRawData(bytes.data(), int(length)) != int(length))
        throw EReadError(_("Stream read error"));
    return bytes;
}

QString TReader::ReadUtf8() {
    return QString::fromUtf8(ReadBytes());
}

QByteArray TReader::ReadBinary() {
    Expect(ReadValue(), TValueType::vaBinary);
    return ReadBytes();
}

QString TReader::ReadStr() {
    return ReadUtf8();
}

QString TReader::ReadString() {
    Expect(ReadValue(), TValueType::vaString);
    return ReadUtf8();
}

bool TReader::ReadBoolean() {
    const TValueType type = ReadValue();
    if (type != TValueType::vaTrue && type != TValueType::vaFalse)
        throw EReadError(_("Invalid stream format"));
    return type == TValueType::vaTrue;
}

qint64 TReader::ReadInteger() {
    const TValueType type = ReadValue();
    if (type != TValueType::vaInt32 && type != TValueType::vaInt64)
        throw EReadError(_("Invalid stream format"));
    return ReadPropValue(type, 0).toLongLong();
}

QVariant TReader::ReadVariant() {
    const TValueType type = ReadValue();
    switch (type) {
    case TValueType::vaNil:
        return QVariant();
    case TValueType::vaInt32:
    case TValueType::vaInt64:
    case TValueType::vaExtended:
    case TValueType::vaString:
    case TValueType::vaFalse:
    case TValueType::vaTrue:
        return ReadPropValue(type, 0);
    default:
        throw EReadError(_("Invalid stream format"));
    }
}

void TReader::ReadCollection(TCollection* collection) {
    Expect(ReadValue(), TValueType::vaCollection);
    if (m_collectionDepth >= MaxCollectionDepth)
        throw EReadError(_("Invalid stream format"));
    ++m_collectionDepth;
    collection->BeginUpdate();
    try {
        collection->Clear();
        while (!EndOfList()) {
            ReadListBegin();
            TCollectionItem* item = collection->Add();
            while (!EndOfList())
                ReadProperty(item);
            ReadListEnd();
        }
        ReadListEnd();
    } catch (...) {
        collection->EndUpdate();
        --m_collectionDepth;
        throw;
    }
    collection->EndUpdate();
    --m_collectionDepth;
}

QVariant TReader::ReadPropValue(TValueType type, int depth) {
    switch (type) {
    case TValueType::vaInt32: {
        Need(4);
        qint32 v = 0;
        m_stream >> v;
        return QVariant(qint64(v));
    }
    case TValueType::vaInt64: {
        Need(8);
        qint64 v = 0;
        m_stream >> v;
        return QVariant(v);
    }
    case TValueType::vaExtended: {
        Need(8);
        double v = 0;
        m_stream >> v;
        return QVariant(v);
    }
    case TValueType::vaString:
    case TValueType::vaIdent:
        return QVariant(ReadUtf8());
    case TValueType::vaFalse:
        return QVariant(false);
    case TValueType::vaTrue:
        return QVariant(true);
    case TValueType::vaList: {
        if (depth >= MaxListDepth)
            throw EReadError(_("Invalid stream format"));
        QStringList lines;
        while (!EndOfList())
            lines << ReadPropValue(ReadValue(), depth + 1).toString();
        ReadListEnd();
        return QVariant(lines);
    }
    default:
        throw EReadError(_("Invalid stream format"));
    }
}

void TReader::ReadProperty(QObject* instance) {
    const QString name = ReadStr();
    if (auto* defined = dynamic_cast<TDefinedProperties*>(instance))
        if (defined->ReadDefinedProperty(*this, name))
            return;
    const QMetaObject* mo = instance->metaObject();
    const int index = mo->indexOfProperty(name.toLatin1().constData());
    if (NextValue() == TValueType::vaCollection) {
        if (index < QObject::staticMetaObject.propertyCount())
            throw EReadError(_("Property %1 does not exist").arg(name));
        TCollection* collection = CollectionOf(instance, mo->property(index));
        if (!collection)
            throw EReadError(_("Invalid property value"));
        ReadCollection(collection);
        return;
    }
    const TValueType type = ReadValue();
    const QVariant raw = ReadPropValue(type, 0);
    if (index < QObject::staticMetaObject.propertyCount())
        throw EReadError(_("Property %1 does not exist").arg(name));
    const QMetaProperty prop = mo->property(index);
    QVariant value = raw;
    const bool number = type == TValueType::vaInt32 || type == TValueType::vaInt64;
    if (prop.isEnumType() && (type == TValueType::vaIdent || type == TValueType::vaString)) {
        bool ok = false;
        const int v = prop.enumerator().keyToValue(raw.toString().toLatin1().constData(), &ok);
        if (!ok)
            throw EReadError(_("Invalid property value"));
        value = QVariant(v);
    } else if (prop.isEnumType() && (!number || !EnumValueInRange(prop.enumerator(), raw.toLongLong()))) {
        // Anything but a name or a number of one of the type's values (a Boolean, a float, a number that
        // names none) would leave the object holding an impossible value.
        throw EReadError(_("Invalid property value"));
    }
    if (!prop.isEnumType() && !FitsPropertyType(prop.metaType().id(), raw))
        throw EReadError(_("Invalid property value"));
    bool written = false;
    try {
        written = value.convert(prop.metaType()) && prop.write(instance, value);
    } catch (const EStreamError&) {
        throw;
    } catch (const Exception& e) {
        // The object refused the value with its own reason (a count beyond what it holds): a read error
        // of the stream, that reason its text.
        throw EReadError(e.Message());
    }
    if (!written)
        throw EReadError(_("Invalid property value"));
}

void TReader::ReadComponent(QObject* instance) {
    auto* loading = dynamic_cast<TLoadingObject*>(instance);
    if (loading)
        loading->BeginLoading();
    try {
        while (!EndOfList())
            ReadProperty(instance);
        ReadListEnd();
    } catch (...) {
        if (loading)
            loading->Loaded();
        throw;
    }
    if (loading)
        loading->Loaded();
}
