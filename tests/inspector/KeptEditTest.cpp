// Text typed into the inspector's editor survives any change the program makes to the rows meanwhile:
// Enter then commits it to the object of the row it was typed into, once; Escape goes back to the value
// the object holds now.
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

#include "KeptEditTest.moc"
