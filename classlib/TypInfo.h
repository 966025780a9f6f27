#pragma once
// Run-time property information: the published properties (Q_PROPERTY) of an object by kind, read and
// written by name with the class library's text rules, enumeration and set names, declared defaults
// (Q_CLASSINFO("default:Prop", "value")) and the stored test.
//
// Every write goes through QMetaProperty::write, never QObject::setProperty: the latter silently creates a
// dynamic property for a misspelt name, where an unknown property must raise EPropertyError.
#include <QList>
#include <QMetaEnum>
#include <QMetaProperty>
#include <QString>
#include <QStringList>
#include <QVariant>
#include <initializer_list>
#include <optional>

class QObject;

enum TTypeKind : quint8 {
    tkUnknown,
    tkInteger,
    tkChar,
    tkEnumeration,
    tkFloat,
    tkString,
    tkSet,
    tkClass,
    tkMethod,
    tkWChar,
    tkLString,
    tkWString,
    tkVariant,
    tkArray,
    tkRecord,
    tkInterface,
    tkInt64,
    tkDynArray,
};

// A set of type kinds (the inspector's DisplayKinds, the filter of GetPropList).
class TTypeKinds {
public:
    constexpr TTypeKinds() = default;
    constexpr TTypeKinds(std::initializer_list<TTypeKind> kinds) {
        for (TTypeKind k : kinds)
            m_bits |= bit(k);
    }
    constexpr bool Contains(TTypeKind k) const { return (m_bits & bit(k)) != 0; }
    constexpr TTypeKinds& Include(TTypeKind k) {
        m_bits |= bit(k);
        return *this;
    }
    constexpr TTypeKinds& Exclude(TTypeKind k) {
        m_bits &= ~bit(k);
        return *this;
    }
    constexpr bool IsEmpty() const { return m_bits == 0; }
    // Bit n stands for kind n.
    constexpr quint32 Bits() const { return m_bits; }
    static constexpr TTypeKinds FromBits(quint32 bits) {
        TTypeKinds k;
        k.m_bits = bits & All().m_bits;
        return k;
    }
    constexpr bool operator==(const TTypeKinds&) const = default;
    static constexpr TTypeKinds All() {
        TTypeKinds k;
        k.m_bits = (quint32(1) << (tkDynArray + 1)) - 1;
        return k;
    }

private:
    static constexpr quint32 bit(TTypeKind k) { return quint32(1) << k; }
    quint32 m_bits = 0;
};

// Every kind (tkAny) and every kind that holds data (tkProperties: neither tkUnknown nor tkMethod).
inline constexpr TTypeKinds tkAny = TTypeKinds::All();
inline constexpr TTypeKinds tkProperties = TTypeKinds::All().Exclude(tkUnknown).Exclude(tkMethod);

// One published property: its name, kind, type name and ordinal range.
class TPropInfo {
public:
    TPropInfo() = default;
    explicit TPropInfo(const QMetaProperty& property);

    bool IsValid() const { return m_property.isValid(); }
    const QMetaProperty& Property() const { return m_property; }
    QString Name() const { return QString::fromLatin1(m_property.name()); }
    TTypeKind Kind() const { return m_kind; }
    // "Integer", "Byte", "Word", "Cardinal", "Boolean", "Double", "string", "Int64", the enumeration's or
    // set's own name ("TBaudrate"), the class name of a tkClass property. A plain-typed property may name
    // its type alias with Q_CLASSINFO("type:Prop", "TColor") (the C++ type system keeps no alias).
    const QString& TypeName() const { return m_typeName; }
    bool IsReadable() const { return m_property.isReadable(); }
    bool IsWritable() const { return m_property.isWritable(); }
    // The class library's stored test (Q_PROPERTY's STORED).
    bool IsStored() const { return m_property.isStored(); }
    bool IsBoolean() const { return m_boolean; }
    // The enumeration of a tkEnumeration (not Boolean) or tkSet property.
    QMetaEnum EnumType() const { return m_property.enumerator(); }
    // The declared class of a tkClass property.
    const QMetaObject* ClassType() const { return m_classType; }
    // Range of the ordinal value: integer limits, the lowest and highest enumeration value, the set's mask.
    qint64 MinValue() const { return m_min; }
    qint64 MaxValue() const { return m_max; }

private:
    void Classify();
    QMetaProperty m_property;
    TTypeKind m_kind = tkUnknown;
    QString m_typeName;
    bool m_boolean = false;
    const QMetaObject* m_classType = nullptr;
    qint64 m_min = 0;
    qint64 m_max = 0;
};

using TPropList = QList<TPropInfo>;

// Published properties in declaration order, ancestors first (QObject's own objectName left out),
// restricted to kinds; sorted by name (ignoring case) when sorted.
TPropList GetPropList(const QMetaObject* metaClass, TTypeKinds kinds = tkAny, bool sorted = false);
TPropList GetPropList(const QObject* instance, TTypeKinds kinds = tkAny, bool sorted = false);
// The property of that name (names compare ignoring case), or nothing.
std::optional<TPropInfo> GetPropInfo(const QMetaObject* metaClass, const QString& propName);
std::optional<TPropInfo> GetPropInfo(const QObject* instance, const QString& propName);
// As GetPropInfo, but raises EPropertyError "Property %s does not exist".
TPropInfo FindPropInfo(const QObject* instance, const QString& propName);
bool IsPublishedProp(const QObject* instance, const QString& propName);
TTypeKind PropType(const QObject* instance, const QString& propName);
bool IsStoredProp(const QObject* instance, const QString& propName);

// Enumeration names (a Boolean's are "False" and "True"). GetEnumValue compares names ignoring case and
// answers -1 for an unknown name; GetEnumName answers an empty text for an undeclared value.
QString GetEnumName(const TPropInfo& info, qint64 value);
int GetEnumValue(const TPropInfo& info, const QString& name);
// Every value name in declaration order.
QStringList GetEnumNames(const TPropInfo& info);

// The members of a set: single-bit values of its flag enumeration, the ordinal being the bit number.
struct TSetElement {
    QString Name;
    int Ordinal;
};
QList<TSetElement> GetSetElements(const TPropInfo& info);
// "A,B", or "[A,B]" with brackets.
QString SetToString(const TPropInfo& info, qint64 value, bool brackets = false);
// A Boolean's text as the property layer reads it: "True" or "False" in any case; anything else raises
// EConvertError.
bool StrToBoolean(const QString& text);
// Accepts "[A, B]" and "A,B"; names compare ignoring case; an unknown name raises EPropertyConvertError
// "Invalid property element: %s".
qint64 StringToSet(const TPropInfo& info, const QString& text);

// Text to the property's value with the class library's rules: ordinal kinds give the ordinal (qint64),
// tkFloat a double, tkInt64 a qint64, string kinds the text. Raises EConvertError for text that does not fit.
QVariant StrToPropValue(const TPropInfo& info, const QString& text);

// Typed reads and writes. Each raises EPropertyError "Property %s does not exist" for an unknown name,
// "Property %s is read-only" for a write without a write routine, and EPropertyConvertError
// "Invalid property type: %s" for a kind the operation does not serve. Ordinal writes outside the type's
// range raise EConvertError "Value must be between %d and %d".
qint64 GetOrdProp(const QObject* instance, const TPropInfo& info);
qint64 GetOrdProp(const QObject* instance, const QString& propName);
void SetOrdProp(QObject* instance, const TPropInfo& info, qint64 value);
void SetOrdProp(QObject* instance, const QString& propName, qint64 value);

QString GetEnumProp(const QObject* instance, const TPropInfo& info);
QString GetEnumProp(const QObject* instance, const QString& propName);
void SetEnumProp(QObject* instance, const TPropInfo& info, const QString& name);
void SetEnumProp(QObject* instance, const QString& propName, const QString& name);

QString GetSetProp(const QObject* instance, const TPropInfo& info, bool brackets = false);
QString GetSetProp(const QObject* instance, const QString& propName, bool brackets = false);
void SetSetProp(QObject* instance, const TPropInfo& info, const QString& text);
void SetSetProp(QObject* instance, const QString& propName, const QString& text);

double GetFloatProp(const QObject* instance, const TPropInfo& info);
double GetFloatProp(const QObject* instance, const QString& propName);
void SetFloatProp(QObject* instance, const TPropInfo& info, double value);
void SetFloatProp(QObject* instance, const QString& propName, double value);

QString GetStrProp(const QObject* instance, const TPropInfo& info);
QString GetStrProp(const QObject* instance, const QString& propName);
void SetStrProp(QObject* instance, const TPropInfo& info, const QString& value);
void SetStrProp(QObject* instance, const QString& propName, const QString& value);

// Int64 reads and writes also serve the ordinal kinds.
qint64 GetInt64Prop(const QObject* instance, const TPropInfo& info);
qint64 GetInt64Prop(const QObject* instance, const QString& propName);
void SetInt64Prop(QObject* instance, const TPropInfo& info, qint64 value);
void SetInt64Prop(QObject* instance, const QString& propName, qint64 value);

QObject* GetObjectProp(const QObject* instance, const TPropInfo& info);
QObject* GetObjectProp(const QObject* instance, const QString& propName);
// The object must be of the property's class (or nullptr), else EPropertyConvertError "Invalid property
// value".
void SetObjectProp(QObject* instance, const TPropInfo& info, QObject* value);
void SetObjectProp(QObject* instance, const QString& propName, QObject* value);

QVariant GetVariantProp(const QObject* instance, const TPropInfo& info);
void SetVariantProp(QObject* instance, const TPropInfo& info, const QVariant& value);

// The generic read: ordinals as qint64 (a Boolean as bool), enumerations and sets as their names when
// preferStrings ("A,B" without brackets), floats as double, strings as text, Int64 as qint64, objects as
// QObject*, variants as they are.
QVariant GetPropValue(const QObject* instance, const TPropInfo& info, bool preferStrings = true);
QVariant GetPropValue(const QObject* instance, const QString& propName, bool preferStrings = true);
// The generic write: text is converted by the property's rules (StrToPropValue; for a tkClass property an
// empty text is nil and other text names a component owned along the instance's owner chain); numbers,
// Booleans and objects are written as they are.
void SetPropValue(QObject* instance, const TPropInfo& info, const QVariant& value);
void SetPropValue(QObject* instance, const QString& propName, const QVariant& value);

// The declared default of a property (Q_CLASSINFO "default:<name>" of the instance's class or an ancestor,
// the most derived declaration winning), as text and in the form of GetPropValue(..., false).
std::optional<QString> GetPropDefaultText(const QMetaObject* metaClass, const TPropInfo& info);
std::optional<QVariant> GetPropDefault(const QObject* instance, const TPropInfo& info);
// The declared default as an ordinal, for the ordinal kinds only.
std::optional<qint64> GetOrdPropDefault(const QObject* instance, const TPropInfo& info);
// True when a default is declared and the current value equals it.
bool IsDefaultPropValue(const QObject* instance, const TPropInfo& info);
