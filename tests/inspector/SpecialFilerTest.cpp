#include "classlib/ClassRegistry.h"
#include "classlib/Collection.h"
#include "inspector/GSpecialFiler.h"
#include <QBuffer>
#include <gtest/gtest.h>

namespace {

class TFilerBaseItem : public TCollectionItem {
    Q_OBJECT
    Q_PROPERTY(QString Caption READ Caption WRITE SetCaption)

public:
    Q_INVOKABLE explicit TFilerBaseItem(TCollection* collection = nullptr) : TCollectionItem(collection) {}
    QString Caption() const { return m_caption; }
    void SetCaption(const QString& v) { m_caption = v; }

private:
    QString m_caption;
};

class TFilerNumberItem : public TFilerBaseItem {
    Q_OBJECT
    Q_PROPERTY(int Limit READ Limit WRITE SetLimit)
    Q_PROPERTY(bool Active READ Active WRITE SetActive)
    Q_PROPERTY(Mode Kind READ Kind WRITE SetKind)
    Q_PROPERTY(QStringList Lines READ Lines WRITE SetLines)

public:
    enum Mode { mdOff, mdOn, mdAuto };
    Q_ENUM(Mode)
    Q_INVOKABLE explicit TFilerNumberItem(TCollection* collection = nullptr) : TFilerBaseItem(collection) {}
    int Limit() const { return m_limit; }
    void SetLimit(int v) { m_limit = v; }
    bool Active() const { return m_active; }
    void SetActive(bool v) { m_active = v; }
    Mode Kind() const { return m_kind; }
    void SetKind(Mode v) { m_kind = v; }
    QStringList Lines() const { return m_lines; }
    void SetLines(const QStringList& v) { m_lines = v; }

private:
    int m_limit = 0;
    bool m_active = false;
    Mode m_kind = mdOff;
    QStringList m_lines;
};

// Not registered: reading it must fail.
class TFilerStrangerItem : public TFilerBaseItem {
    Q_OBJECT

public:
    Q_INVOKABLE explicit TFilerStrangerItem(TCollection* collection = nullptr) : TFilerBaseItem(collection) {}
};

// Wide numbers: 64-bit integers and doubles.
class TFilerWideItem : public TFilerBaseItem {
    Q_OBJECT
    Q_PROPERTY(qint64 Big READ Big WRITE SetBig)
    Q_PROPERTY(double Ratio READ Ratio WRITE SetRatio)

public:
    Q_INVOKABLE explicit TFilerWideItem(TCollection* collection = nullptr) : TFilerBaseItem(collection) {}
    qint64 Big() const { return m_big; }
    void SetBig(qint64 v) { m_big = v; }
    double Ratio() const { return m_ratio; }
    void SetRatio(double v) { m_ratio = v; }

private:
    qint64 m_big = 0;
    double m_ratio = 0;
};

// Registered, but no collection item.
class TFilerNotAnItem : public QObject {
    Q_OBJECT

public:
    Q_INVOKABLE explicit TFilerNotAnItem(QObject* owner = nullptr) : QObject(owner) {}
};

// Registered, but an item of another kind of collection.
class TFilerOtherItem : public TCollectionItem {
    Q_OBJECT

public:
    Q_INVOKABLE explicit TFilerOtherItem(TCollection* collection = nullptr) : TCollectionItem(collection) {}
};

// Writes a stream by hand, one item of a class with the given properties.
template <class F> QByteArray Craft(const QString& className, F&& properties) {
    QByteArray bytes;
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::WriteOnly);
    TWriter w(&buffer);
    w.WriteValue(TValueType::vaCollection);
    w.WriteListBegin();
    w.WritePropName(QStringLiteral("HiddenItemClass"));
    w.WriteString(className);
    properties(w);
    w.WriteListEnd();
    w.WriteListEnd();
    return bytes;
}

QByteArray Store(const TCollection* c) {
    QByteArray bytes;
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::WriteOnly);
    TWriter writer(&buffer);
    TGSpecialFiler(&writer).WriteCollection(c);
    return bytes;
}

void Load(const QByteArray& bytes, TCollection* c) {
    QBuffer buffer;
    buffer.setData(bytes);
    buffer.open(QIODevice::ReadOnly);
    TReader reader(&buffer);
    TGSpecialFiler(&reader).ReadCollection(c);
}

class SpecialFiler : public ::testing::Test {
protected:
    void SetUp() override {
        RegisterClass<TFilerBaseItem>();
        RegisterClass<TFilerNumberItem>();
        RegisterClass<TFilerWideItem>();
        RegisterClass<TFilerNotAnItem>();
        RegisterClass<TFilerOtherItem>();
    }
};

} // namespace

TEST_F(SpecialFiler, MixedClassesRoundTrip) {
    TCollection source(&TFilerBaseItem::staticMetaObject);
    auto* a = new TFilerBaseItem(&source);
    a->SetCaption(QStringLiteral("plain ä"));
    auto* b = new TFilerNumberItem(&source);
    b->SetCaption(QStringLiteral("number"));
    b->SetLimit(-70000);
    b->SetActive(true);
    b->SetKind(TFilerNumberItem::mdAuto);
    b->SetLines({QStringLiteral("x"), QString()});

    TCollection target(&TFilerBaseItem::staticMetaObject);
    new TFilerBaseItem(&target); // reading replaces what was there
    Load(Store(&source), &target);
    ASSERT_EQ(target.Count(), 2);
    EXPECT_STREQ(target.Items(0)->metaObject()->className(), "TFilerBaseItem");
    EXPECT_EQ(target.ItemAs<TFilerBaseItem>(0)->Caption(), "plain ä");
    auto* n = target.ItemAs<TFilerNumberItem>(1);
    ASSERT_NE(n, nullptr);
    EXPECT_EQ(n->Caption(), "number");
    EXPECT_EQ(n->Limit(), -70000);
    EXPECT_TRUE(n->Active());
    EXPECT_EQ(n->Kind(), TFilerNumberItem::mdAuto);
    EXPECT_EQ(n->Lines(), (QStringList{"x", ""}));

    const QByteArray empty = Store(nullptr); // the collection marker and one list end
    EXPECT_EQ(empty, QByteArray("\x0e\x00", 2));
    Load(empty, &target);
    EXPECT_EQ(target.Count(), 0);
}

TEST_F(SpecialFiler, FailuresLeaveTheCollectionAlone) {
    TCollection target(&TFilerBaseItem::staticMetaObject);
    (new TFilerBaseItem(&target))->SetCaption(QStringLiteral("keep"));

    TCollection stranger(&TFilerBaseItem::staticMetaObject);
    new TFilerNumberItem(&stranger);
    new TFilerStrangerItem(&stranger);
    EXPECT_THROW(Load(Store(&stranger), &target), EClassNotFound);
    ASSERT_EQ(target.Count(), 1);
    EXPECT_EQ(target.ItemAs<TFilerBaseItem>(0)->Caption(), "keep");

    TCollection good(&TFilerBaseItem::staticMetaObject);
    (new TFilerNumberItem(&good))->SetLines({QStringLiteral("a"), QStringLiteral("b")});
    const QByteArray bytes = Store(&good);
    for (int cut = 0; cut < bytes.size(); ++cut) {
        EXPECT_THROW(Load(bytes.left(cut), &target), EStreamError) << "cut at " << cut;
        ASSERT_EQ(target.Count(), 1);
    }
    QByteArray huge = bytes; // the first name's length (bytes 2..5) far beyond the data
    huge[5] = char(0x7f);
    EXPECT_THROW(Load(huge, &target), EStreamError);
    EXPECT_EQ(target.Count(), 1);

    TGSpecialFiler none;
    try {
        none.ReadCollection(&target);
        FAIL();
    } catch (const EStreamError& e) {
        EXPECT_EQ(e.Message(), "No TReader defined for filer");
    }
    EXPECT_THROW(none.WriteCollection(&target), EStreamError);
}

TEST_F(SpecialFiler, WideNumbersRoundTrip) {
    TCollection source(&TFilerBaseItem::staticMetaObject);
    auto* w = new TFilerWideItem(&source);
    w->SetBig(-5000000000LL);
    w->SetRatio(-0.125);
    auto* n = new TFilerNumberItem(&source);
    n->SetLimit(INT32_MIN);
    TCollection target(&TFilerBaseItem::staticMetaObject);
    Load(Store(&source), &target);
    ASSERT_EQ(target.Count(), 2);
    EXPECT_EQ(target.ItemAs<TFilerWideItem>(0)->Big(), -5000000000LL);
    EXPECT_EQ(target.ItemAs<TFilerWideItem>(0)->Ratio(), -0.125);
    EXPECT_EQ(target.ItemAs<TFilerNumberItem>(1)->Limit(), INT32_MIN);
}

TEST_F(SpecialFiler, BadContentIsRefusedWithoutChange) {
    const QString number = QStringLiteral("TFilerNumberItem");
    struct Case {
        const char* what;
        QByteArray bytes;
    };
    QByteArray deep = Craft(number, [](TWriter& w) { w.WritePropName(QStringLiteral("Lines")); });
    deep.chop(2); // the two list ends
    deep.append(QByteArray(100000, char(TValueType::vaList)));
    QByteArray noMarker = Store(nullptr);
    noMarker[0] = char(TValueType::vaList);
    QByteArray badType = Craft(number, [](TWriter& w) {
        w.WritePropName(QStringLiteral("Limit"));
        w.WriteValue(TValueType(99));
    });
    const Case cases[] = {
        {"unknown property", Craft(number,
                                   [](TWriter& w) {
                                       w.WritePropName(QStringLiteral("Nope"));
                                       w.WriteInteger(1);
                                   })},
        {"text for a number", Craft(number,
                                    [](TWriter& w) {
                                        w.WritePropName(QStringLiteral("Limit"));
                                        w.WriteString(QStringLiteral("abc"));
                                    })},
        {"unknown enumeration value", Craft(number,
                                            [](TWriter& w) {
                                                w.WritePropName(QStringLiteral("Kind"));
                                                w.WriteIdent(QStringLiteral("mdNever"));
                                            })},
        {"unknown value type", badType},
        {"lists nested without end", deep},
        {"no collection marker", noMarker},
        {"class of no item", Craft(QStringLiteral("TFilerNotAnItem"), [](TWriter&) {})},
        {"item of another collection", Craft(QStringLiteral("TFilerOtherItem"), [](TWriter&) {})},
    };
    TCollection target(&TFilerBaseItem::staticMetaObject);
    (new TFilerBaseItem(&target))->SetCaption(QStringLiteral("keep"));
    for (const Case& c : cases) {
        EXPECT_THROW(Load(c.bytes, &target), EStreamError) << c.what;
        ASSERT_EQ(target.Count(), 1) << c.what;
        EXPECT_EQ(target.ItemAs<TFilerBaseItem>(0)->Caption(), "keep") << c.what;
    }
    try {
        Load(cases[0].bytes, &target);
        ADD_FAILURE();
    } catch (const EReadError& e) {
        EXPECT_EQ(e.Message(), "Property Nope does not exist");
    }
    // The same stream with a known property reads.
    Load(Craft(number,
               [](TWriter& w) {
                   w.WritePropName(QStringLiteral("Kind"));
                   w.WriteIdent(QStringLiteral("mdOn"));
               }),
         &target);
    ASSERT_EQ(target.Count(), 1);
    EXPECT_EQ(target.ItemAs<TFilerNumberItem>(0)->Kind(), TFilerNumberItem::mdOn);
}

TEST_F(SpecialFiler, EnumerationNumbersAreCheckedAgainstTheType) {
    const QString number = QStringLiteral("TFilerNumberItem");
    auto kindAs = [&](qint64 value) {
        return Craft(number, [value](TWriter& w) {
            w.WritePropName(QStringLiteral("Kind"));
            w.WriteInteger(value);
        });
    };
    TCollection target(&TFilerBaseItem::staticMetaObject);
    // Every value of the type reads; the first number past either end is the stream's error, and the
    // collection keeps what it had.
    for (const auto mode : {TFilerNumberItem::mdOff, TFilerNumberItem::mdOn, TFilerNumberItem::mdAuto}) {
        Load(kindAs(mode), &target);
        ASSERT_EQ(target.Count(), 1);
        EXPECT_EQ(target.ItemAs<TFilerNumberItem>(0)->Kind(), mode);
    }
    for (const qint64 outside : {qint64(3), qint64(6), qint64(-1), qint64(1) << 40}) {
        try {
            Load(kindAs(outside), &target);
            ADD_FAILURE() << outside;
        } catch (const EReadError& e) {
            EXPECT_EQ(e.Message(), "Invalid property value") << outside;
        }
        ASSERT_EQ(target.Count(), 1);
        EXPECT_EQ(target.ItemAs<TFilerNumberItem>(0)->Kind(), TFilerNumberItem::mdAuto) << outside;
    }
}

#include "SpecialFilerTest.moc"
