#include "classlib/TypInfo.h"
#include "classlib/Component.h"
#include "classlib/StrConvert.h"
#include "classlib/SysUtils.h"
#include <QObject>
#include <algorithm>
#include <limits>

namespace {

struct IntegerType {
    int id;
    TTypeKind kind;
    const char* name;
    qint64 min;
    qint64 max;
};

constexpr qint64 kInt64Min = std::numeric_limits<qint64>::min();
constexpr qint64 kInt64Max = std::numeric_limits<qint64>::max();

// The plain value types a published property may have, with the class library's names and ranges.
constexpr IntegerType kIntegerTypes[] = {
    {QMetaType::Int, tkInteger, "Integer", std::numeric_limits<qint32>::min(),
     std::numeric_limits<qint32>::max()},
    {QMetaType::UInt, tkInteger, "Cardinal", 0, std::numeric_limits<quint32>::max()},
    {QMetaType::Short, tkInteger, "SmallInt", std::numeric_limits<qint16>::min(),
     std::numeric_limits<qint16>::max()},
    {QMetaType::UShort, tkInteger, "Word", 0, std::numeric_limits<quint16>::max()},
    {QMetaType::SChar, tkInteger, "ShortInt", std::numeric_limits<qint8>::min(),
     std::numeric_limits<qint8>::max()},
    {QMetaType::UChar, tkInteger, "Byte", 0, std::numeric_limits<quint8>::max()},
    {QMetaType::Char, tkChar, "Char", 0, 255},
    {QMetaType::QChar, tkWChar, "WideChar", 0, 0xFFFF},
    {QMetaType::Char16, tkWChar, "WideChar", 0, 0xFFFF},
    {QMetaType::LongLong, tkInt64, "Int64", kInt64Min, kInt64Max},
    {QMetaType::Long, tkInt64, "Int64", kInt64Min, kInt64Max},
    {QMetaType::ULongLong, tkInt64, "UInt64", 0, kInt64Max},
    {QMetaType::ULong, tkInt64, "UInt64", 0, kInt64Max},
};

bool isOrdinalKind(TTypeKind k) {
    return k == tkInteger || k == tkChar || k == tkEnumeration || k == tkSet || k == tkWChar;
}

bool isStringKind(TTypeKind k) {
    return k == tkString || k == tkLString || k == tkWString;
}

bool isSingleBit(qint64 v) {
    return v > 0 && (v & (v - 1)) == 0;
}

int bitNumber(qint64 v) {
    int n = 0;
    while (v > 1) {
        v >>= 1;
        ++n;
    }
    return n;
}

[[noreturn]] void raiseUnknownProperty(const QString& name) {
    throw EPropertyError(QStringLiteral("Property %1 does not exist").arg(name));
}

[[noreturn]] void raiseInvalidType(const TPropInfo& info) {
    throw EPropertyConvertError(QStringLiteral("Invalid property type: %1").arg(info.TypeName()));
}

[[noreturn]] void raiseInvalidElement(const QString& element) {
    throw EPropertyConvertError(QStringLiteral("Invalid property element: %1").arg(element));
}

[[noreturn]] void raiseInvalidValue() {
    throw EPropertyConvertError(QStringLiteral("Invalid property value"));
}

void requireKind(const TPropInfo& info, bool ok) {
    if (!ok)
        raiseInvalidType(info);
}

QVariant readRaw(const QObject* instance, const TPropInfo& info) {
    if (!instance)
        throw EPropertyError(QStringLiteral("Property %1 read from nil").arg(info.Name()));
    if (!info.IsReadable())
        throw EPropertyError(QStringLiteral("Property %1 is write-only").arg(info.Name()));
    return info.Property().read(instance);
}

// The one place that changes a property: QMetaProperty::write with a value of the property's exact type.
void writeRaw(QObject* instance, const TPropInfo& info, QVariant value) {
    if (!instance)
        throw EPropertyError(QStringLiteral("Property %1 written to nil").arg(info.Name()));
    if (!info.IsWritable())
        throw EPropertyError(QStringLiteral("Property %1 is read-only").arg(info.Name()));
    const QMetaType type = info.Property().metaType();
    if (value.metaType() != type && !value.convert(type))
        raiseInvalidValue();
    if (!info.Property().write(instance, value))
        raiseInvalidValue();
}

qint64 ordinalOf(const TPropInfo& info, const QVariant& raw) {
    const int id = info.Property().metaType().id();
    if (id == QMetaType::QChar)
        return raw.value<QChar>().unicode();
    if (id == QMetaType::Char16)
        return raw.value<char16_t>();
    if (id == QMetaType::Char)
        return quint8(raw.value<char>());
    QVariant v = raw;
    if (!v.convert(QMetaType::fromType<qlonglong>()))
        raiseInvalidType(info);
    return v.toLongLong();
}

QVariant variantOfOrdinal(const TPropInfo& info, qint64 value) {
    const int id = info.Property().metaType().id();
    if (id == QMetaType::QChar)
        return QVariant::fromValue(QChar(char16_t(value)));
    if (id == QMetaType::Char16)
        return QVariant::fromValue(char16_t(value));
    if (id == QMetaType::Char)
        return QVariant::fromValue(char(quint8(value)));
    return QVariant::fromValue(qlonglong(value));
}

void checkRange(const TPropInfo& info, qint64 value) {
    if (value < info.MinValue() || value > info.MaxValue())
        throw EConvertError(
            QStringLiteral("Value must be between %1 and %2").arg(info.MinValue()).arg(info.MaxValue()));
}

void checkOrdinal(const TPropInfo& info, qint64 value) {
    switch (info.Kind()) {
    case tkEnumeration:
        if (info.IsBoolean())
            checkRange(info, value);
        else if (GetEnumName(info, value).isEmpty())
            raiseInvalidElement(QString::number(value));
        break;
    case tkSet:
        if ((value & ~info.MaxValue()) != 0)
            raiseInvalidElement(QString::number(value));
        break;
    default:
        checkRange(info, value);
        break;
    }
}

bool strictBoolean(const QString& text, qint64& out) {
    if (text.compare(QLatin1String("False"), Qt::CaseInsensitive) == 0)
        out = 0;
    else if (text.compare(QLatin1String("True"), Qt::CaseInsensitive) == 0)
        out = 1;
    else
        return false;
    return true;
}

// The component named text among the components of the instance, of its owner, and so on upwards.
QObject* componentByName(const QObject* instance, const TPropInfo& info, const QString& text) {
    for (auto* c = qobject_cast<const TComponent*>(instance); c; c = c->Owner())
        if (TComponent* found = c->FindComponent(text))
            if (found->metaObject()->inherits(info.ClassType()))
                return found;
    raiseInvalidValue();
}

} // namespace

TPropInfo::TPropInfo(const QMetaProperty& property) : m_property(property) {
    Classify();
    if (m_kind == tkClass || m_kind == tkEnumeration || m_kind == tkSet || !property.enclosingMetaObject())
        return;
    const QMetaObject* declaring = property.enclosingMetaObject();
    const QByteArray key = QByteArray("type:") + property.name();
    const int index = declaring->indexOfClassInfo(key.constData());
    if (index >= 0)
        m_typeName = QString::fromLatin1(declaring->classInfo(index).value());
}

void TPropInfo::Classify() {
    const QMetaProperty& property = m_property;
    const QMetaType type = property.metaType();
    const int id = type.id();
    if (property.isEnumType()) {
        const QMetaEnum e = property.enumerator();
        m_typeName = QString::fromLatin1(e.name());
        if (property.isFlagType()) {
            m_kind = tkSet;
            for (int i = 0; i < e.keyCount(); ++i)
                if (isSingleBit(e.value(i)))
                    m_max |= e.value(i);
        } else {
            m_kind = tkEnumeration;
            for (int i = 0; i < e.keyCount(); ++i) {
                m_min = i == 0 ? e.value(i) : std::min<qint64>(m_min, e.value(i));
                m_max = i == 0 ? e.value(i) : std::max<qint64>(m_max, e.value(i));
            }
        }
        return;
    }
    if (id == QMetaType::Bool) {
        m_kind = tkEnumeration;
        m_boolean = true;
        m_typeName = QStringLiteral("Boolean");
        m_max = 1;
        return;
    }
    for (const IntegerType& t : kIntegerTypes)
        if (t.id == id) {
            m_kind = t.kind;
            m_typeName = QString::fromLatin1(t.name);
            m_min = t.min;
            m_max = t.max;
            return;
        }
    switch (id) {
    case QMetaType::Double:
        m_kind = tkFloat;
        m_typeName = QStringLiteral("Double");
        return;
    case QMetaType::Float:
        m_kind = tkFloat;
        m_typeName = QStringLiteral("Single");
        return;
    case QMetaType::QString:
        m_kind = tkString;
        m_typeName = QStringLiteral("string");
        return;
    case QMetaType::QVariant:
        m_kind = tkVariant;
        m_typeName = QStringLiteral("Variant");
        return;
    default:
        break;
    }
    if ((type.flags() & QMetaType::PointerToQObject) && type.metaObject()) {
        m_kind = tkClass;
        m_classType = type.metaObject();
        m_typeName = QString::fromLatin1(m_classType->className());
        return;
    }
    m_kind = tkUnknown;
    m_typeName = QString::fromLatin1(type.name());
}

TPropList GetPropList(const QMetaObject* metaClass, TTypeKinds kinds, bool sorted) {
    TPropList list;
    if (!metaClass)
        return list;
    for (int i = 0; i < metaClass->propertyCount(); ++i) {
        const QMetaProperty p = metaClass->property(i);
        if (p.enclosingMetaObject() == &QObject::staticMetaObject)
            continue; // objectName: TComponent publishes Name instead
        TPropInfo info(p);
        if (kinds.Contains(info.Kind()))
            list.append(info);
    }
    if (sorted)
        std::stable_sort(list.begin(), list.end(), [](const TPropInfo& a, const TPropInfo& b) {
            return a.Name().compare(b.Name(), Qt::CaseInsensitive) < 0;
        });
    return list;
}

TPropList GetPropList(const QObject* instance, TTypeKinds kinds, bool sorted) {
    return GetPropList(instance ? instance->metaObject() : nullptr, kinds, sorted);
}

std::optional<TPropInfo> GetPropInfo(const QMetaObject* metaClass, const QString& propName) {
    if (!metaClass || propName.isEmpty())
        return std::nullopt;
    const QByteArray latin = propName.toLatin1();
    int index = metaClass->indexOfProperty(latin.constData());
    if (index < 0)
        for (int i = metaClass->propertyCount() - 1; i >= 0 && index < 0; --i)
            if (QLatin1String(metaClass->property(i).name()).compare(propName, Qt::CaseInsensitive) == 0)
                index = i;
    if (index < 0)
        return std::nullopt;
    const QMetaProperty p = metaClass->property(index);
    if (p.enclosingMetaObject() == &QObject::staticMetaObject)
        return std::nullopt;
    return TPropInfo(p);
}

std::optional<TPropInfo> GetPropInfo(const QObject* instance, const QString& propName) {
    return GetPropInfo(instance ? instance->metaObject() : nullptr, propName);
}

TPropInfo FindPropInfo(const QObject* instance, const QString& propName) {
    std::optional<TPropInfo> info = GetPropInfo(instance, propName);
    if (!info)
        raiseUnknownProperty(propName);
    return *info;
}

bool IsPublishedProp(const QObject* instance, const QString& propName) {
    return GetPropInfo(instance, propName).has_value();
}

TTypeKind PropType(const QObject* instance, const QString& propName) {
    return FindPropInfo(instance, propName).Kind();
}

bool IsStoredProp(const QObject* instance, const QString& propName) {
    return FindPropInfo(instance, propName).IsStored();
}

QString GetEnumName(const TPropInfo& info, qint64 value) {
    if (info.IsBoolean())
        return value == 0 ? QStringLiteral("False") : value == 1 ? QStringLiteral("True") : QString();
    if (info.Kind() != tkEnumeration)
        return QString();
    const QMetaEnum e = info.EnumType();
    for (int i = 0; i < e.keyCount(); ++i)
        if (e.value(i) == value)
            return QString::fromLatin1(e.key(i));
    return QString();
}

int GetEnumValue(const TPropInfo& info, const QString& name) {
    if (info.IsBoolean()) {
        qint64 v = 0;
        return strictBoolean(name, v) ? int(v) : -1;
    }
    if (info.Kind() != tkEnumeration)
        return -1;
    const QMetaEnum e = info.EnumType();
    for (int i = 0; i < e.keyCount(); ++i)
        if (QLatin1String(e.key(i)).compare(name, Qt::CaseInsensitive) == 0)
            return e.value(i);
    return -1;
}

QStringList GetEnumNames(const TPropInfo& info) {
    if (info.IsBoolean())
        return {QStringLiteral("False"), QStringLiteral("True")};
    QStringList names;
    if (info.Kind() != tkEnumeration)
        return names;
    const QMetaEnum e = info.EnumType();
    for (int i = 0; i < e.keyCount(); ++i)
        names << QString::fromLatin1(e.key(i));
    return names;
}

QList<TSetElement> GetSetElements(const TPropInfo& info) {
    QList<TSetElement> elements;
    if (info.Kind() != tkSet)
        return elements;
    const QMetaEnum e = info.EnumType();
    for (int i = 0; i < e.keyCount(); ++i)
        if (isSingleBit(e.value(i)))
            elements.append({QString::fromLatin1(e.key(i)), bitNumber(e.value(i))});
    return elements;
}

QString SetToString(const TPropInfo& info, qint64 value, bool brackets) {
    QStringList names;
    for (const TSetElement& el : GetSetElements(info))
        if (value & (qint64(1) << el.Ordinal))
            names << el.Name;
    const QString text = names.join(u',');
    return brackets ? u'[' + text + u']' : text;
}

qint64 StringToSet(const TPropInfo& info, const QString& text) {
    requireKind(info, info.Kind() == tkSet);
    const QList<TSetElement> elements = GetSetElements(info);
    qint64 result = 0;
    qsizetype i = 0;
    const qsizetype n = text.size();
    while (i < n && (text[i] == u'[' || text[i] == u' '))
        ++i;
    for (;;) {
        const qsizetype start = i;
        while (i < n && text[i] != u',' && text[i] != u' ' && text[i] != u']')
            ++i;
        const QString name = text.mid(start, i - start);
        while (i < n && (text[i] == u',' || text[i] == u' '))
            ++i;
        if (name.isEmpty())
            break;
        auto it = std::find_if(elements.begin(), elements.end(), [&](const TSetElement& el) {
            return el.Name.compare(name, Qt::CaseInsensitive) == 0;
        });
        if (it == elements.end())
            raiseInvalidElement(name);
        result |= qint64(1) << it->Ordinal;
    }
    return result;
}

bool StrToBoolean(const QString& text) {
    qint64 v = 0;
    if (!strictBoolean(text, v))
        throw EConvertError(QStringLiteral("'%1' is not a valid boolean value").arg(text));
    return v != 0;
}

QVariant StrToPropValue(const TPropInfo& info, const QString& text) {
    switch (info.Kind()) {
    case tkInteger:
    case tkChar:
    case tkWChar: {
        // Characters read and write as their ordinal number, as the inspector shows them.
        const qint64 v =
            info.MaxValue() > std::numeric_limits<qint32>::max() ? StrToInt64(text) : StrToInt(text);
        checkRange(info, v);
        return qlonglong(v);
    }
    case tkEnumeration: {
        if (info.IsBoolean())
            return qlonglong(StrToBoolean(text) ? 1 : 0);
        const QMetaEnum e = info.EnumType();
        for (int i = 0; i < e.keyCount(); ++i)
            if (QLatin1String(e.key(i)).compare(text, Qt::CaseInsensitive) == 0)
                return qlonglong(e.value(i));
        raiseInvalidElement(text);
    }
    case tkSet:
        return qlonglong(StringToSet(info, text));
    case tkFloat:
        return StrToFloat(text);
    case tkInt64: {
        const qint64 v = StrToInt64(text);
        checkRange(info, v);
        return qlonglong(v);
    }
    case tkString:
    case tkLString:
    case tkWString:
    case tkVariant:
        return text;
    default:
        raiseInvalidType(info);
    }
}

qint64 GetOrdProp(const QObject* instance, const TPropInfo& info) {
    requireKind(info, isOrdinalKind(info.Kind()));
    return ordinalOf(info, readRaw(instance, info));
}

qint64 GetOrdProp(const QObject* instance, const QString& propName) {
    return GetOrdProp(instance, FindPropInfo(instance, propName));
}

void SetOrdProp(QObject* instance, const TPropInfo& info, qint64 value) {
    requireKind(info, isOrdinalKind(info.Kind()));
    checkOrdinal(info, value);
    writeRaw(instance, info, variantOfOrdinal(info, value));
}

void SetOrdProp(QObject* instance, const QString& propName, qint64 value) {
    SetOrdProp(instance, FindPropInfo(instance, propName), value);
}

QString GetEnumProp(const QObject* instance, const TPropInfo& info) {
    requireKind(info, info.Kind() == tkEnumeration);
    return GetEnumName(info, GetOrdProp(instance, info));
}

QString GetEnumProp(const QObject* instance, const QString& propName) {
    return GetEnumProp(instance, FindPropInfo(instance, propName));
}

void SetEnumProp(QObject* instance, const TPropInfo& info, const QString& name) {
    requireKind(info, info.Kind() == tkEnumeration);
    const int v = GetEnumValue(info, name);
    if (v < 0 && GetEnumName(info, v).isEmpty())
        raiseInvalidElement(name);
    SetOrdProp(instance, info, v);
}

void SetEnumProp(QObject* instance, const QString& propName, const QString& name) {
    SetEnumProp(instance, FindPropInfo(instance, propName), name);
}

QString GetSetProp(const QObject* instance, const TPropInfo& info, bool brackets) {
    requireKind(info, info.Kind() == tkSet);
    return SetToString(info, GetOrdProp(instance, info), brackets);
}

QString GetSetProp(const QObject* instance, const QString& propName, bool brackets) {
    return GetSetProp(instance, FindPropInfo(instance, propName), brackets);
}

void SetSetProp(QObject* instance, const TPropInfo& info, const QString& text) {
    SetOrdProp(instance, info, StringToSet(info, text));
}

void SetSetProp(QObject* instance, const QString& propName, const QString& text) {
    SetSetProp(instance, FindPropInfo(instance, propName), text);
}

double GetFloatProp(const QObject* instance, const TPropInfo& info) {
    requireKind(info, info.Kind() == tkFloat);
    return readRaw(instance, info).toDouble();
}

double GetFloatProp(const QObject* instance, const QString& propName) {
    return GetFloatProp(instance, FindPropInfo(instance, propName));
}

void SetFloatProp(QObject* instance, const TPropInfo& info, double value) {
    requireKind(info, info.Kind() == tkFloat);
    writeRaw(instance, info, value);
}

void SetFloatProp(QObject* instance, const QString& propName, double value) {
    SetFloatProp(instance, FindPropInfo(instance, propName), value);
}

QString GetStrProp(const QObject* instance, const TPropInfo& info) {
    requireKind(info, isStringKind(info.Kind()));
    return readRaw(instance, info).toString();
}

QString GetStrProp(const QObject* instance, const QString& propName) {
    return GetStrProp(instance, FindPropInfo(instance, propName));
}

void SetStrProp(QObject* instance, const TPropInfo& info, const QString& value) {
    requireKind(info, isStringKind(info.Kind()));
    writeRaw(instance, info, value);
}

void SetStrProp(QObject* instance, const QString& propName, const QString& value) {
    SetStrProp(instance, FindPropInfo(instance, propName), value);
}

qint64 GetInt64Prop(const QObject* instance, const TPropInfo& info) {
    if (isOrdinalKind(info.Kind()))
        return GetOrdProp(instance, info);
    requireKind(info, info.Kind() == tkInt64);
    return readRaw(instance, info).toLongLong();
}

qint64 GetInt64Prop(const QObject* instance, const QString& propName) {
    return GetInt64Prop(instance, FindPropInfo(instance, propName));
}

void SetInt64Prop(QObject* instance, const TPropInfo& info, qint64 value) {
    if (isOrdinalKind(info.Kind())) {
        SetOrdProp(instance, info, value);
        return;
    }
    requireKind(info, info.Kind() == tkInt64);
    checkRange(info, value);
    writeRaw(instance, info, QVariant::fromValue(qlonglong(value)));
}

void SetInt64Prop(QObject* instance, const QString& propName, qint64 value) {
    SetInt64Prop(instance, FindPropInfo(instance, propName), value);
}

QObject* GetObjectProp(const QObject* instance, const TPropInfo& info) {
    requireKind(info, info.Kind() == tkClass);
    return readRaw(instance, info).value<QObject*>();
}

QObject* GetObjectProp(const QObject* instance, const QString& propName) {
    return GetObjectProp(instance, FindPropInfo(instance, propName));
}

void SetObjectProp(QObject* instance, const TPropInfo& info, QObject* value) {
    requireKind(info, info.Kind() == tkClass);
    if (value && !value->metaObject()->inherits(info.ClassType()))
        raiseInvalidValue();
    // moc requires QObject to be the first base, so the pointer is the same for the declared class.
    writeRaw(instance, info, QVariant(info.Property().metaType(), &value));
}

void SetObjectProp(QObject* instance, const QString& propName, QObject* value) {
    SetObjectProp(instance, FindPropInfo(instance, propName), value);
}

QVariant GetVariantProp(const QObject* instance, const TPropInfo& info) {
    requireKind(info, info.Kind() == tkVariant);
    return readRaw(instance, info);
}

void SetVariantProp(QObject* instance, const TPropInfo& info, const QVariant& value) {
    requireKind(info, info.Kind() == tkVariant);
    if (!instance)
        throw EPropertyError(QStringLiteral("Property %1 written to nil").arg(info.Name()));
    if (!info.IsWritable())
        throw EPropertyError(QStringLiteral("Property %1 is read-only").arg(info.Name()));
    if (!info.Property().write(instance, QVariant::fromValue(value)))
        raiseInvalidValue();
}

QVariant GetPropValue(const QObject* instance, const TPropInfo& info, bool preferStrings) {
    switch (info.Kind()) {
    case tkInteger:
    case tkChar:
    case tkWChar:
        return qlonglong(GetOrdProp(instance, info));
    case tkEnumeration:
        if (preferStrings)
            return GetEnumProp(instance, info);
        if (info.IsBoolean())
            return GetOrdProp(instance, info) != 0;
        return qlonglong(GetOrdProp(instance, info));
    case tkSet:
        if (preferStrings)
            return GetSetProp(instance, info, false);
        return qlonglong(GetOrdProp(instance, info));
    case tkFloat:
        return GetFloatProp(instance, info);
    case tkString:
    case tkLString:
    case tkWString:
        return GetStrProp(instance, info);
    case tkInt64:
        return qlonglong(GetInt64Prop(instance, info));
    case tkClass:
        return QVariant::fromValue(GetObjectProp(instance, info));
    case tkVariant:
        return GetVariantProp(instance, info);
    default:
        raiseInvalidType(info);
    }
}

QVariant GetPropValue(const QObject* instance, const QString& propName, bool preferStrings) {
    return GetPropValue(instance, FindPropInfo(instance, propName), preferStrings);
}

void SetPropValue(QObject* instance, const TPropInfo& info, const QVariant& value) {
    const bool isText = value.metaType().id() == QMetaType::QString;
    switch (info.Kind()) {
    case tkInteger:
    case tkChar:
    case tkWChar:
    case tkEnumeration:
    case tkSet:
    case tkInt64: {
        if (isText) {
            SetInt64Prop(instance, info, StrToPropValue(info, value.toString()).toLongLong());
            return;
        }
        QVariant v = value;
        if (!v.convert(QMetaType::fromType<qlonglong>()))
            raiseInvalidValue();
        SetInt64Prop(instance, info, v.toLongLong());
        return;
    }
    case tkFloat: {
        if (isText) {
            SetFloatProp(instance, info, StrToFloat(value.toString()));
            return;
        }
        QVariant v = value;
        if (!v.convert(QMetaType::fromType<double>()))
            raiseInvalidValue();
        SetFloatProp(instance, info, v.toDouble());
        return;
    }
    case tkString:
    case tkLString:
    case tkWString:
        SetStrProp(instance, info, value.toString());
        return;
    case tkClass:
        if (isText) {
            const QString name = value.toString();
            SetObjectProp(instance, info, name.isEmpty() ? nullptr : componentByName(instance, info, name));
            return;
        }
        if (!value.isValid() || value.isNull()) {
            SetObjectProp(instance, info, nullptr);
            return;
        }
        if (!(value.metaType().flags() & QMetaType::PointerToQObject))
            raiseInvalidValue();
        SetObjectProp(instance, info, value.value<QObject*>());
        return;
    case tkVariant:
        SetVariantProp(instance, info, value);
        return;
    default:
        raiseInvalidType(info);
    }
}

void SetPropValue(QObject* instance, const QString& propName, const QVariant& value) {
    SetPropValue(instance, FindPropInfo(instance, propName), value);
}

std::optional<QString> GetPropDefaultText(const QMetaObject* metaClass, const TPropInfo& info) {
    if (!metaClass)
        return std::nullopt;
    const QByteArray key = "default:" + info.Name().toLatin1();
    const int index = metaClass->indexOfClassInfo(key.constData());
    if (index < 0)
        return std::nullopt;
    return QString::fromUtf8(metaClass->classInfo(index).value());
}

std::optional<QVariant> GetPropDefault(const QObject* instance, const TPropInfo& info) {
    const std::optional<QString> text = GetPropDefaultText(instance ? instance->metaObject() : nullptr, info);
    if (!text)
        return std::nullopt;
    // Declared defaults are written in the C locale, whatever the user's decimal separator.
    if (info.Kind() == tkFloat)
        return StrToFloat(*text, u'.');
    const QVariant v = StrToPropValue(info, *text);
    if (info.IsBoolean())
        return v.toLongLong() != 0;
    return v;
}

std::optional<qint64> GetOrdPropDefault(const QObject* instance, const TPropInfo& info) {
    if (!isOrdinalKind(info.Kind()))
        return std::nullopt;
    const std::optional<QVariant> v = GetPropDefault(instance, info);
    if (!v)
        return std::nullopt;
    return v->toLongLong();
}

bool IsDefaultPropValue(const QObject* instance, const TPropInfo& info) {
    const std::optional<QVariant> def = GetPropDefault(instance, info);
    if (!def)
        return false;
    const QVariant current = GetPropValue(instance, info, false);
    if (info.Kind() == tkFloat)
        return current.toDouble() == def->toDouble();
    return current == *def;
}
