// Text typed into a collection item's or a string line's row while the program adds or deletes items or
// lines before the rescan: Enter writes it into its own item or line, wherever that is now, or nowhere
// when it went or cannot be told; Escape writes nothing.
#include "TestObjects.h"
#include "inspector/RSInplaceEditList.h"
#include "tests/support/RecordingPresenter.h"
#include <QTest>
#include <functional>
#include <gtest/gtest.h>

namespace {

struct TIdentityCase {
    const char* what;
    QStringList start;
    std::function<void(TTestButton&)> change;
    QStringList afterEnter; // Escape leaves the program's change alone
    QStringList afterEscape;
};

QStringList Captions(const TTestButton& b) {
    QStringList captions;
    for (int i = 0; i < b.Items()->Count(); ++i)
        captions << static_cast<TTestItem*>(b.Items()->Items(i))->Caption();
    return captions;
}

void AddItem(TTestButton& b, const QString& caption, int index) {
    auto* item = static_cast<TTestItem*>(b.Items()->Add());
    item->SetCaption(caption);
    item->SetIndex(index);
}

struct TInspected {
    TComponent owner;
    TTestButton* button = new TTestButton(&owner);
    TRSObjectInspector ins;
    TInspected() {
        ins.resize(320, 600);
        ins.SetInplaceCollections(true);
        ins.SetInplaceTStrings(true);
        ins.show();
    }
    void Rescan() {
        ins.PostRescan();
        Settle();
    }
    // Types into the row of a path; the row is brought into sight first.
    void Type(const QString& path, const QString& text) {
        TRSItemProp* row = ins.Items()->FindByPath(path);
        ASSERT_NE(row, nullptr) << path.toStdString();
        ins.SelectItem(row);
        ASSERT_TRUE(QTest::qWaitFor([&] { return ins.Editor() && ins.Editor()->isVisible(); }, 5000));
        ins.Editor()->selectAll();
        QTest::keyClicks(ins.Editor(), text);
    }
    void Key(Qt::Key key) {
        Settle();
        ASSERT_TRUE(QTest::qWaitFor([&] { return ins.Editor()->isVisible(); }, 5000));
        QTest::keyClick(ins.Editor(), key);
        Settle();
    }
};

void RunCase(const TIdentityCase& c, const QString& path,
             const std::function<QStringList(TTestButton&)>& read,
             const std::function<void(TTestButton&, const QStringList&)>& fill) {
    for (const Qt::Key key : {Qt::Key_Return, Qt::Key_Escape}) {
        TInspected t;
        fill(*t.button, c.start);
        t.ins.SetComponent(t.button);
        Settle();
        t.Type(path, QStringLiteral("typed"));
        c.change(*t.button);
        t.Rescan();
        t.Key(key);
        const QStringList expected = key == Qt::Key_Return ? c.afterEnter : c.afterEscape;
        EXPECT_EQ(read(*t.button).join(u',').toStdString(), expected.join(u',').toStdString())
            << c.what << (key == Qt::Key_Return ? " (Enter)" : " (Escape)");
    }
}

} // namespace

TEST(KeptEditIdentity, ACollectionItemsTextFollowsTheItemOrGoesNowhere) {
    const QStringList abc{"a0", "a1", "a2"};
    const TIdentityCase cases[] = {
        {"nothing changed", abc, [](TTestButton&) {}, {"a0", "typed", "a2"}, abc},
        {"its item deleted", abc, [](TTestButton& b) { b.Items()->Delete(1); }, {"a0", "a2"}, {"a0", "a2"}},
        {"an item before it deleted",
         abc,
         [](TTestButton& b) { b.Items()->Delete(0); },
         {"typed", "a2"},
         {"a1", "a2"}},
        {"an item inserted before it",
         abc,
         [](TTestButton& b) { AddItem(b, "n", 0); },
         {"n", "a0", "typed", "a2"},
         {"n", "a0", "a1", "a2"}},
        {"its item moved to the end",
         abc,
         [](TTestButton& b) { b.Items()->Items(1)->SetIndex(2); },
         {"a0", "a2", "typed"},
         {"a0", "a2", "a1"}},
        {"its item deleted and another put in its place",
         abc,
         [](TTestButton& b) {
             b.Items()->Delete(1);
             AddItem(b, "n", 1);
         },
         {"a0", "n", "a2"},
         {"a0", "n", "a2"}},
    };
    auto read = [](TTestButton& b) { return Captions(b); };
    auto fill = [](TTestButton& b, const QStringList& captions) {
        for (const QString& caption : captions)
            AddItem(b, caption, b.Items()->Count());
    };
    for (const TIdentityCase& c : cases)
        RunCase(c, QStringLiteral("Items.Items[1].Caption"), read, fill);
}

TEST(KeptEditIdentity, AStringLinesTextFollowsTheLineOrGoesNowhere) {
    const QStringList lines{"l0", "l1", "l2"};
    const QStringList same{"x", "x", "x", "x"};
    const TIdentityCase cases[] = {
        {"nothing changed", lines, [](TTestButton&) {}, {"l0", "typed", "l2"}, lines},
        {"equal lines, another changed",
         same,
         [](TTestButton& b) { b.Lines()->Put(3, QStringLiteral("y")); },
         {"x", "typed", "x", "y"},
         {"x", "x", "x", "y"}},
        {"its line deleted", lines, [](TTestButton& b) { b.Lines()->Delete(1); }, {"l0", "l2"}, {"l0", "l2"}},
        {"a line before it deleted",
         lines,
         [](TTestButton& b) { b.Lines()->Delete(0); },
         {"typed", "l2"},
         {"l1", "l2"}},
        {"a line inserted before it",
         lines,
         [](TTestButton& b) { b.Lines()->Insert(0, QStringLiteral("n")); },
         {"n", "l0", "typed", "l2"},
         {"n", "l0", "l1", "l2"}},
        {"a line added after it",
         lines,
         [](TTestButton& b) { b.Lines()->Add(QStringLiteral("n")); },
         {"l0", "typed", "l2", "n"},
         {"l0", "l1", "l2", "n"}},
        // A line next to one like it: once one of the two is deleted, which one is left cannot be told.
        {"the last line deleted, the one before it alike",
         {"x", "l1", "l1"},
         [](TTestButton& b) { b.Lines()->Delete(2); },
         {"x", "l1"},
         {"x", "l1"}},
        {"the first line deleted, the one after it alike",
         {"l1", "l1", "x"},
         [](TTestButton& b) { b.Lines()->Delete(0); },
         {"l1", "x"},
         {"l1", "x"}},
        {"a middle line deleted, the one after it alike",
         {"x", "l1", "l1", "y"},
         [](TTestButton& b) { b.Lines()->Delete(1); },
         {"x", "l1", "y"},
         {"x", "l1", "y"}},
        // Equal lines all round: which one it was cannot be told once one more is there.
        {"a line like it inserted",
         same,
         [](TTestButton& b) { b.Lines()->Insert(0, QStringLiteral("x")); },
         {"x", "x", "x", "x", "x"},
         {"x", "x", "x", "x", "x"}},
    };
    auto read = [](TTestButton& b) {
        QStringList all;
        for (int i = 0; i < b.Lines()->Count(); ++i)
            all << b.Lines()->Strings(i);
        return all;
    };
    auto fill = [](TTestButton& b, const QStringList& all) {
        for (const QString& line : all)
            b.Lines()->Add(line);
    };
    for (const TIdentityCase& c : cases)
        RunCase(c, QStringLiteral("Lines.Items[1]"), read, fill);
}

TEST(KeptEditIdentity, EnterBeforeTheRescanWritesNothingIntoAnotherItemOrLine) {
    // The program deletes or adds items or lines and the user commits before the rows are made again: the
    // text goes to its own item or line where that is still at the row's place, never into another.
    struct TCase {
        const char* path;
        std::function<void(TTestButton&)> fill, change;
        std::function<QStringList(TTestButton&)> read;
        const char* expected;
        const char* box;
    };
    const auto fillLines = [](QStringList all) {
        return [all](TTestButton& b) { b.Lines()->SetLines(all); };
    };
    const auto lines = [](TTestButton& b) { return b.Lines()->Lines(); };
    const TCase cases[] = {
        {"Items.Items[1].Caption",
         [](TTestButton& b) {
             for (const char* caption : {"a0", "a1", "a2"})
                 AddItem(b, QString::fromLatin1(caption), b.Items()->Count());
         },
         [](TTestButton& b) { b.Items()->Delete(1); }, [](TTestButton& b) { return Captions(b); }, "a0,a2",
         // The user learns that the text went nowhere.
         "\"typed\" is not a valid string value: Item \"Items.Items[1].Caption\" is not a real property"},
        {"Lines.Items[1]",
         [](TTestButton& b) {
             for (const char* line : {"l0", "l1", "l2"})
                 b.Lines()->Add(QString::fromLatin1(line));
         },
         [](TTestButton& b) { b.Lines()->Delete(0); },
         [](TTestButton& b) {
             QStringList all;
             for (int i = 0; i < b.Lines()->Count(); ++i)
                 all << b.Lines()->Strings(i);
             return all;
         },
         "l1,l2", ""},
        {"Lines.Items[1]", fillLines({"l0", "l1", "l2"}), [](TTestButton& b) { b.Lines()->Delete(2); }, lines,
         "l0,typed", ""},
        // The line stands twice now, each time beside one of its old neighbours: which one it is cannot be
        // told, though one of them is at its old place.
        {"Lines.Items[2]", fillLines({"a", "p", "l1", "q"}),
         [](TTestButton& b) {
             b.Lines()->SetLines({"p", "l1", "l1", "q", "z"});
         },
         lines, "p,l1,l1,q,z", ""},
        // A name=value line: the line after it, now at its place, keeps its own name and value.
        {"Lines.b", fillLines({"a=1", "b=2", "c=3"}), [](TTestButton& b) { b.Lines()->Delete(0); }, lines,
         "b=2,c=3", ""},
    };
    for (const TCase& c : cases) {
        TInspected t;
        t.ins.SetInplaceTStringsOptions(isUseNameValue); // lines without "=" stay plain lines
        c.fill(*t.button);
        t.ins.SetComponent(t.button);
        Settle();
        t.Type(QString::fromLatin1(c.path), QStringLiteral("typed"));
        c.change(*t.button);
        ScopedRecordingPresenter boxes;
        QTest::keyClick(t.ins.Editor(), Qt::Key_Return);
        Settle();
        EXPECT_EQ(c.read(*t.button).join(u',').toStdString(), c.expected) << c.path;
        EXPECT_EQ(boxes->Texts().join(u'|').toStdString(), c.box) << c.path;
    }
}

TEST(KeptEditIdentity, TwoSelectedObjectsEachTakeTheTextIntoTheirOwnItemOrLine) {
    // Both objects' items and lines are shown in one row each: Enter writes into each object's own item or
    // line, and a line that moved in one object takes nothing there, while the other object's still does.
    struct TCase {
        const char* what;
        const char* path;
        std::function<void(TTestButton& first, TTestButton& second)> change;
        std::function<QStringList(TTestButton&)> read;
        const char* first;
        const char* second;
    };
    auto captions = [](TTestButton& b) { return Captions(b); };
    auto lines = [](TTestButton& b) {
        QStringList all;
        for (int i = 0; i < b.Lines()->Count(); ++i)
            all << b.Lines()->Strings(i);
        return all;
    };
    auto none = [](TTestButton&, TTestButton&) {};
    const TCase cases[] = {
        {"an item", "Items.Items[1].Caption", none, captions, "a0,typed,a2", "a0,typed,a2"},
        {"a line", "Lines.Items[1]", none, lines, "a0,typed,a2", "a0,typed,a2"},
        {"a line, a line before it deleted in both before Enter", "Lines.Items[1]",
         [](TTestButton& a, TTestButton& b) {
             a.Lines()->Delete(0);
             b.Lines()->Delete(0);
         },
         lines, "a1,a2", "a1,a2"},
        {"a line, its line deleted in the second before Enter", "Lines.Items[1]",
         [](TTestButton&, TTestButton& b) { b.Lines()->Delete(1); }, lines, "a0,typed,a2", "a0,a2"},
    };
    for (const TCase& c : cases) {
        TInspected t;
        auto* other = new TTestButton(&t.owner);
        for (TTestButton* b : {t.button, other})
            for (const char* text : {"a0", "a1", "a2"}) {
                AddItem(*b, QString::fromLatin1(text), b->Items()->Count());
                b->Lines()->Add(QString::fromLatin1(text));
            }
        t.ins.Objects()->Add(t.button);
        t.ins.Objects()->Add(other);
        Settle();
        t.Type(QString::fromLatin1(c.path), QStringLiteral("typed"));
        c.change(*t.button, *other);
        ScopedRecordingPresenter boxes;
        QTest::keyClick(t.ins.Editor(), Qt::Key_Return);
        Settle();
        EXPECT_EQ(boxes->Texts().join(u'|').toStdString(), "") << c.what;
        EXPECT_EQ(c.read(*t.button).join(u',').toStdString(), c.first) << c.what;
        EXPECT_EQ(c.read(*other).join(u',').toStdString(), c.second) << c.what;
    }
}
