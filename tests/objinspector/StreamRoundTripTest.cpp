// The inspector's stream: whatever shape the grid has, the stream it writes reads back to an inspector
// that writes the same bytes; line counts beyond what a grid holds are refused with a read error.
#include "TestObjects.h"
#include "inspector/ComponentStream.h"
#include <QBuffer>
#include <functional>
#include <gtest/gtest.h>

namespace {

QByteArray Written(const TRSObjectInspector& inspector) {
    QBuffer buffer;
    EXPECT_TRUE(buffer.open(QIODevice::WriteOnly));
    TWriter(&buffer).WriteComponent(&inspector);
    return buffer.data();
}

// Reads a stream into the inspector; the read error's text, empty when the stream was taken.
QString ReadError(TRSObjectInspector& inspector, QByteArray bytes) {
    QBuffer buffer(&bytes);
    EXPECT_TRUE(buffer.open(QIODevice::ReadOnly));
    TReader reader(&buffer);
    try {
        reader.ReadComponent(&inspector);
    } catch (const EReadError& e) {
        return e.Message();
    }
    return {};
}

// A stream of the properties the function writes, closed as a component.
QByteArray Stream(const std::function<void(TWriter&)>& write) {
    QBuffer buffer;
    EXPECT_TRUE(buffer.open(QIODevice::WriteOnly));
    TWriter writer(&buffer);
    write(writer);
    writer.WriteListEnd();
    return buffer.data();
}

QByteArray Integers(const QList<std::pair<const char*, qint64>>& values) {
    return Stream([&](TWriter& writer) {
        for (const auto& [name, value] : values) {
            writer.WritePropName(QLatin1String(name));
            writer.WriteInteger(value);
        }
    });
}

} // namespace

TEST(InspectorStream, EveryGridShapeReadsBackAsItWasWritten) {
    // Without a fixed line and without rows the stream's rows used to set the title line again on a grid
    // of one line, and the read failed; with rows the last one lost its line.
    for (const TRSGridOrientation orientation :
         {TRSGridOrientation::goVertical, TRSGridOrientation::goHorizontal})
        for (const int fixed : {0, 1})
            for (const int rows : {0, 1, 3}) {
                const std::string shape = "orientation " + std::to_string(int(orientation)) + ", fixed " +
                                          std::to_string(fixed) + ", rows " + std::to_string(rows);
                TRSObjectInspector source;
                source.SetOrientation(orientation);
                for (int i = 0; i < rows; ++i)
                    source.Items()->AddByPath(QStringLiteral("Row%1").arg(i), QString::number(i), false);
                source.SetFixedItems(fixed);
                ASSERT_EQ(source.FixedItems(), fixed) << shape;
                const QByteArray once = Written(source);

                TRSObjectInspector target;
                target.SetOrientation(orientation);
                ASSERT_EQ(ReadError(target, once), QString()) << shape;
                EXPECT_FALSE(target.Loading()) << shape;
                EXPECT_EQ(target.FixedItems(), fixed) << shape;
                EXPECT_EQ(target.ItemCount(), source.ItemCount()) << shape;
                EXPECT_EQ(RowNames(target.Items()), RowNames(source.Items())) << shape;
                EXPECT_EQ(Written(target), once) << shape;

                // The next change of the rows gives the grid its title line and one line per row.
                target.RowCountChanged();
                EXPECT_EQ(target.FixedItems(), 1) << shape;
                EXPECT_EQ(target.ItemCount(), 1 + std::max(rows, 1)) << shape;
                if (rows > 0) {
                    const TGridCoord last = target.CellOf(rows, 0);
                    EXPECT_EQ(target.ItemAtCell(last.X, last.Y), target.Items()->Items(rows - 1)) << shape;
                }
            }
}

TEST(InspectorStream, LineCountsUpToWhatAGridHolds) {
    const QString tooManyColumns = QStringLiteral("Column count must not exceed %1").arg(MaxGridLines);
    const QString tooManyRows = QStringLiteral("Row count must not exceed %1").arg(MaxGridLines);
    const QString fixedRows = QStringLiteral("Fixed row count must be less than row count");
    const QString fixedCols = QStringLiteral("Fixed column count must be less than column count");
    const QString invalid = QStringLiteral("Invalid property value");
    struct Case {
        QList<std::pair<const char*, qint64>> values;
        QString error;
    };
    const Case cases[] = {
        {{{"ColCount", MaxGridLines}}, {}},
        {{{"ColCount", MaxGridLines + 1}}, tooManyColumns},
        {{{"RowCount", MaxGridLines}}, {}},
        {{{"RowCount", MaxGridLines + 1}}, tooManyRows},
        {{{"ColCount", MaxGridLines}, {"FixedCols", MaxGridLines - 1}}, {}},
        {{{"ColCount", MaxGridLines}, {"FixedCols", MaxGridLines}}, fixedCols},
        {{{"RowCount", MaxGridLines}, {"FixedRows", MaxGridLines - 1}}, {}},
        {{{"RowCount", MaxGridLines}, {"FixedRows", MaxGridLines}}, fixedRows},
        // A number beyond the property's type is refused, not cut to its low bits (2).
        {{{"ColCount", INT_MAX}}, tooManyColumns},
        {{{"ColCount", qint64(INT_MAX) + 1}}, invalid},
        {{{"ColCount", (qint64(1) << 32) + 2}}, invalid},
        {{{"ColCount", qint64(INT_MIN) - 1}}, invalid},
    };
    for (const Case& c : cases) {
        TRSObjectInspector inspector;
        const QByteArray stream = Integers(c.values);
        EXPECT_EQ(ReadError(inspector, stream), c.error) << stream.toHex().constData();
        EXPECT_FALSE(inspector.Loading());
        ASSERT_FALSE(c.values.isEmpty());
        const auto& [name, value] = c.values.last();
        const int now = inspector.property(name).toInt();
        if (c.error.isEmpty())
            EXPECT_EQ(now, value) << name;
        else
            EXPECT_NE(now, value) << name;
    }
}

TEST(InspectorStream, AnEnumerationTakesANameOrANumberOfItsOwn) {
    TRSObjectInspector inspector;
    const int shadow = inspector.property("frameShadow").toInt();
    auto read = [&](const std::function<void(TWriter&)>& value) {
        return ReadError(inspector, Stream([&](TWriter& writer) {
                             writer.WritePropName(QStringLiteral("frameShadow"));
                             value(writer);
                         }));
    };
    const QString invalid = QStringLiteral("Invalid property value");
    // A Boolean, a float or a list is no value of the type: it used to be stored and written back as an
    // empty name that the reader then refused.
    EXPECT_EQ(read([](TWriter& w) { w.WriteBoolean(true); }), invalid);
    EXPECT_EQ(read([](TWriter& w) { w.WriteFloat(48); }), invalid);
    EXPECT_EQ(read([](TWriter& w) { w.WriteIdent(QStringLiteral("Bulging")); }), invalid);
    EXPECT_EQ(inspector.property("frameShadow").toInt(), shadow);
    EXPECT_EQ(read([](TWriter& w) { w.WriteIdent(QStringLiteral("Raised")); }), QString());
    EXPECT_EQ(inspector.property("frameShadow").toInt(), int(QFrame::Raised));
    EXPECT_EQ(read([](TWriter& w) { w.WriteString(QStringLiteral("Plain")); }), QString());
    EXPECT_EQ(inspector.property("frameShadow").toInt(), int(QFrame::Plain));
    EXPECT_EQ(read([](TWriter& w) { w.WriteInteger(QFrame::Sunken); }), QString());
    EXPECT_EQ(inspector.property("frameShadow").toInt(), int(QFrame::Sunken));
}
