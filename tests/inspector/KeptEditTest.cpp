// Text typed into the inspector's editor survives any change the program makes to the rows meanwhile:
// Enter then commits it to the object of the row it was typed into, once; Escape goes back to the value
// the object holds now.
#include "classlib/Collection.h"
#include "inspector/RSInplaceEditList.h"
#include "inspector/RSObjectInspector.h"
#include <QRandomGenerator>
#include <QTest>
#include <functional>
#include <gtest/gtest.h>

namespace {

class TKeptObject : public QObject {
    Q_OBJECT
    Q_PROPERTY(QString Alpha MEMBER Alpha)
    Q_PROPERTY(QString Bravo MEMBER Bravo)
    Q_PROPERTY(QString Delta MEMBER Delta)
    Q_PROPERTY(QString Kilo MEMBER Kilo)
    Q_PROPERTY(QString Mike MEMBER Mike)

public:
    QString Alpha = QStringLiteral("a"), Bravo = QStringLiteral("b"), Delta = QStringLiteral("d"),
            Kilo = QStringLiteral("k"), Mike = QStringLiteral("m");
    QString& Field(const QString& name) {
        return name == u"Alpha"   ? Alpha
               : name == u"Bravo" ? Bravo
               : name == u"Delta" ? Delta
               : name == u"Kilo"  ? Kilo
                                  : Mike;
    }
};

const QStringList kProps = {QStringLiteral("Alpha"), QStringLiteral("Bravo"), QStringLiteral("Delta"),
                            QStringLiteral("Kilo"), QStringLiteral("Mike")};

// What the program may do to the rows while the user types: each changes the lines around the edited row.
using TChange = std::function<void(TRSObjectInspector&, TRSItemProp* edited)>;
TRSItemProp* Other(TRSObjectInspector& ins, TRSItemProp* edited) {
    TRSItemProps* rows = ins.TRSCustomItemListEditor::Items();
    return rows->Items(edited->Index() == 0 ? rows->Count() - 1 : 0);
}
const std::pair<const char*, TChange> kChanges[] = {
    {"sorting",
     [](TRSObjectInspector& ins, TRSItemProp*) {
         ins.SetSorted(false);
         ins.TRSCustomItemListEditor::Items()->CustomSort(
             [](TRSItemProp* a, TRSItemProp* b) { return -QString::compare(a->Name(), b->Name()); }, true);
     }},
    {"row inserted",
     [](TRSObjectInspector& ins, TRSItemProp*) {
         ins.TRSCustomItemListEditor::Items()->InsertAt(0)->SetName(QStringLiteral("Aaa"));
     }},
    {"child added",
     [](TRSObjectInspector& ins, TRSItemProp* edited) {
         TRSItemProp* other = Other(ins, edited);
         other->Items()->Add()->SetName(QStringLiteral("Sub"));
         other->Expand();
     }},
    {"another row renamed",
     [](TRSObjectInspector& ins, TRSItemProp* edited) {
         Other(ins, edited)
             ->SetName(edited->Name() == u"Alpha" ? QStringLiteral("Zulu") : QStringLiteral("A0"));
     }},
    {"rescan", // every row is made anew
     [](TRSObjectInspector& ins, TRSItemProp*) {
         ins.PostRescan();
         QCoreApplication::sendPostedEvents(&ins);
     }},
};

struct KeptEdit {
    TKeptObject object;
    TRSObjectInspector ins;
    int validations = 0;
    KeptEdit() {
        ins.resize(320, 400);
        ins.OnValidate = [this](QObject*, TRSItemProp*, int) { ++validations; };
        ins.SetComponent(&object);
        QCoreApplication::sendPostedEvents(&ins);
        ins.show();
    }
    TRSInplaceEditList* Editor() const { return ins.Editor(); }
    // The row of a property (the program may have renamed it, or made it anew).
    TRSItemProp* Row(const QString& prop) const {
        for (int i = 0; i < ins.Items()->Count(); ++i)
            if (ins.Items()->Items(i)->PropName() == prop)
                return ins.Items()->Items(i);
        return nullptr;
    }
    // Opens the editor on a property's value and types text into it; the row it was typed into.
    TRSItemProp* Type(const QString& prop, const QString& text) {
        TRSItemProp* row = Row(prop);
        ins.SelectItem(row);
        QCoreApplication::processEvents();
        EXPECT_TRUE(Editor()->isVisible());
        Editor()->selectAll();
        QTest::keyClicks(Editor(), text);
        return row;
    }
    void Key(Qt::Key key) {
        QCoreApplication::processEvents(); // the editor is back before the next key
        QTest::keyClick(Editor(), key);
    }
};

} // namespace

TEST(KeptEdit, EnterCommitsTheTypedTextAfterEachProgramChange) {
    for (const auto& [name, change] : kChanges) {
        SCOPED_TRACE(name);
        KeptEdit f;
        TRSItemProp* row = f.Type(QStringLiteral("Delta"), QStringLiteral("typed"));
        change(f.ins, row);
        f.Key(Qt::Key_Return);
        EXPECT_EQ(f.object.Delta, "typed");
        EXPECT_EQ(f.validations, 1);
        EXPECT_EQ(f.Row(QStringLiteral("Delta"))->Value(), "typed");
        // A program refresh while the user types: Escape shows the object's value, not the one before.
        f.Type(QStringLiteral("Delta"), QStringLiteral("again"));
        f.object.Delta = QStringLiteral("program");
        f.ins.RefreshOrRescan();
        f.Key(Qt::Key_Escape);
        EXPECT_EQ(f.Editor()->text(), "program");
        EXPECT_EQ(f.Row(QStringLiteral("Delta"))->Value(), "program");
        EXPECT_EQ(f.object.Delta, "program");
        EXPECT_EQ(f.validations, 1);
    }
}

TEST(KeptEdit, RandomChangesWithSortingNeverLoseACommit) {
    for (quint32 seed = 1; seed <= 20; ++seed) {
        SCOPED_TRACE(seed);
        QRandomGenerator random(seed);
        KeptEdit f;
        for (int step = 0; step < 12; ++step) {
            const QString prop = kProps.at(random.bounded(int(kProps.size())));
            const QString text = QStringLiteral("v%1_%2").arg(seed).arg(step);
            f.Type(prop, text);
            for (int n = int(random.bounded(3)); n >= 0; --n) {
                if (random.bounded(3) == 0)
                    f.ins.SetSorted(!f.ins.Sorted());
                else
                    kChanges[random.bounded(int(std::size(kChanges)))].second(f.ins, f.Row(prop));
            }
            f.Key(Qt::Key_Return);
            ASSERT_EQ(f.object.Field(prop).toStdString(), text.toStdString()) << step;
            ASSERT_EQ(f.validations, step + 1) << step;
        }
    }
}

namespace {

class TNestedInner : public QObject {
    Q_OBJECT
    Q_PROPERTY(QString Inner MEMBER Inner)

public:
    QString Inner = QStringLiteral("inner");
};

class TNestedItem : public TCollectionItem {
    Q_OBJECT
    Q_PROPERTY(QString Caption MEMBER Caption)

public:
    Q_INVOKABLE explicit TNestedItem(TCollection* collection = nullptr) : TCollectionItem(collection) {}
    QString Caption = QStringLiteral("caption");
};

// A top-level property, a sub-object's property and the properties of collection items.
class TNestedObject : public QObject {
    Q_OBJECT
    Q_PROPERTY(QString Delta MEMBER Delta)
    Q_PROPERTY(TNestedInner* Sub READ Sub)
    Q_PROPERTY(TCollection* Items READ Items)

public:
    TNestedObject() {
        m_items.Add();
        m_items.Add();
    }
    TNestedInner* Sub() { return &m_sub; }
    TCollection* Items() { return &m_items; }
    QString Delta = QStringLiteral("delta");
    // The text of a row's property in the object.
    QString At(const QString& path) {
        if (path == u"Sub.Inner")
            return m_sub.Inner;
        if (path.startsWith(u"Items."))
            return static_cast<TNestedItem*>(m_items.Items(path.mid(12, 1).toInt()))->Caption;
        return Delta;
    }

private:
    TNestedInner m_sub;
    TCollection m_items{&TNestedItem::staticMetaObject};
};

// The grid under a change: the inspector, or the plain grid with the same rows by name.
struct Changed {
    TNestedObject object;
    TRSObjectInspector ins;
    TRSItemListEditor plain;
    TRSCustomItemListEditor* grid = nullptr;
    int validations = 0;
    explicit Changed(bool inspector) {
        for (TRSCustomItemListEditor* g :
             {static_cast<TRSCustomItemListEditor*>(&ins), static_cast<TRSCustomItemListEditor*>(&plain)})
            g->OnValidate = [this](QObject*, TRSItemProp*, int) { ++validations; };
        grid = inspector ? static_cast<TRSCustomItemListEditor*>(&ins) : &plain;
        grid->resize(320, 400);
        ins.SetInplaceCollections(true);
        ins.SetComponent(&object);
        QCoreApplication::sendPostedEvents(&ins);
        for (const char* path : {"Delta", "Sub.Inner", "Items.Items[1].Caption"})
            plain.Items()->AddByPath(QLatin1String(path), object.At(QLatin1String(path)), false);
        grid->show();
    }
    TRSItemProp* Row(const QString& path) const {
        return grid == &ins ? ins.Items()->FindByPath(path) : plain.Items()->FindByPath(path);
    }
    // What the row of a path holds: the object's property in the inspector, the row's value otherwise.
    QString Held(const QString& path) {
        if (grid == &ins)
            return object.At(path);
        TRSItemProp* row = Row(path);
        return row ? row->Value() : QString();
    }
    void Key(Qt::Key key) {
        QCoreApplication::processEvents(); // the editor is back before the next key
        QTest::keyClick(grid->Editor()->isVisible() ? static_cast<QWidget*>(grid->Editor()) : grid, key);
    }
};

struct TProgramChange {
    const char* name;
    bool inspector;
    const char* path;
    std::function<void(Changed&, TRSItemProp* edited)> change;
    bool rowStays;
};

void Rescan(Changed& f, TRSItemProp*) {
    f.ins.PostRescan();
    QCoreApplication::sendPostedEvents(&f.ins);
}
void Turn(Changed& f, TRSItemProp*) {
    f.grid->SetOrientation(TRSGridOrientation::goHorizontal);
}
void CollapseParent(Changed& f, TRSItemProp* edited) {
    edited->ParentItem()->Collapse();
}
// The edit comes back on its row once the row is in sight again.
void CollapseAndExpandParent(Changed& f, TRSItemProp* edited) {
    edited->ParentItem()->Collapse();
    edited->ParentItem()->Expand();
    QCoreApplication::processEvents();
    EXPECT_EQ(f.grid->CurrentItem(), edited);
    EXPECT_EQ(f.grid->Editor()->text().toStdString(), "typed");
    EXPECT_TRUE(f.grid->Editor()->Modified());
}
// Inside an update, the edited row goes and another of the same path takes its place.
void DeleteBesideNamesake(Changed& f, TRSItemProp* edited) {
    TRSItemProps* rows = edited->Collection();
    rows->BeginUpdate();
    rows->AddByPath(edited->Name(), QStringLiteral("namesake"), true);
    rows->Delete(edited->Index());
    rows->EndUpdate();
}

const TProgramChange kProgramChanges[] = {
    {"rescan of a nested row", true, "Sub.Inner", Rescan, true},
    {"rescan of a collection item's row", true, "Items.Items[1].Caption", Rescan, true},
    {"collapse of the parent", true, "Sub.Inner", CollapseParent, true},
    {"collapse and expansion of the parent", true, "Items.Items[1].Caption", CollapseAndExpandParent, true},
    {"collapse of the parent, plain grid", false, "Items.Items[1].Caption", CollapseParent, true},
    {"orientation switch", true, "Items.Items[1].Caption", Turn, true},
    {"orientation switch, plain grid", false, "Delta", Turn, true},
    {"deletion beside a namesake", true, "Sub.Inner", DeleteBesideNamesake, false},
    {"deletion beside a namesake, plain grid", false, "Delta", DeleteBesideNamesake, false},
};

} // namespace

TEST(KeptEdit, EnterWritesTheTextOnceAndEscapeNothingWhateverTheProgramChanged) {
    for (const TProgramChange& c : kProgramChanges)
        for (const Qt::Key key : {Qt::Key_Return, Qt::Key_Escape}) {
            SCOPED_TRACE(std::string(c.name) + (key == Qt::Key_Return ? ", Enter" : ", Escape"));
            Changed f(c.inspector);
            const QString path = QLatin1String(c.path);
            const QString before = f.Held(path);
            TRSItemProp* row = f.Row(path);
            ASSERT_TRUE(row);
            f.grid->SelectItem(row);
            QCoreApplication::processEvents();
            ASSERT_TRUE(f.grid->Editor()->isVisible());
            f.grid->Editor()->selectAll();
            QTest::keyClicks(f.grid->Editor(), QStringLiteral("typed"));
            c.change(f, row);
            f.Key(key);
            const bool written = key == Qt::Key_Return && c.rowStays;
            EXPECT_EQ(f.validations, written ? 1 : 0);
            // Where the row went, neither the object nor the plain grid's namesake got the text.
            const QString held = written                     ? QStringLiteral("typed")
                                 : c.rowStays || c.inspector ? before
                                                             : QStringLiteral("namesake");
            EXPECT_EQ(f.Held(path).toStdString(), held.toStdString());
            // The editor, back on the row (or its namesake), shows what that row holds now.
            f.grid->SelectItem(f.Row(path));
            QCoreApplication::processEvents();
            EXPECT_EQ(f.grid->Editor()->text(), f.Row(path)->Value());
            EXPECT_FALSE(f.grid->Editor()->Modified());
        }
}

#include "KeptEditTest.moc"
