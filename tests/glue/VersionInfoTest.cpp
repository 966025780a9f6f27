// The version note: written by the build into this test program as into the real one, read back by the
// version routines; synthetic files of every ELF class and byte order; and damaged files, which must fail
// with a message that names the file, never crash or read out of bounds.
#include "platform/VersionInfo.h"
#include "ElfBuilder.h"
#include "app/Globals.h"
#include <QDir>
#include <QFile>
#include <QRandomGenerator>
#include <QTemporaryDir>
#include <QtEndian>
#include <gtest/gtest.h>
#include <sys/stat.h>

namespace {

const QList<QPair<QByteArray, QByteArray>> kTexts = {{"FileVersion", "2.0.0.0"},
                                                     {"ProductName", "Vexa Daxo Soft"}};

class VersionFiles : public ::testing::Test {
protected:
    QTemporaryDir dir;

    QString Write(const QString& name, const QByteArray& bytes) {
        const QString path = dir.filePath(name);
        QFile f(path);
        EXPECT_TRUE(f.open(QIODevice::WriteOnly | QIODevice::Truncate));
        f.write(bytes);
        return path;
    }
    static QByteArray ReadAll(const QString& path) {
        QFile f(path);
        return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
    }
    // The reader must refuse the file with EVersionInfoError naming it; the version routine gives "".
    static void ExpectRefused(const QString& path, const char* reasonPart) {
        SCOPED_TRACE(path.toStdString());
        try {
            ReadVersionInfo(path);
            ADD_FAILURE() << "read without error";
        } catch (const EVersionInfoError& e) {
            EXPECT_TRUE(e.Message().startsWith(path)) << e.what();
            EXPECT_TRUE(e.Message().contains(QLatin1String(reasonPart))) << e.what();
        }
        EXPECT_EQ(GetFileVersionString(path), QString());
    }
    static TElfDescription GoodSpec(bool is64 = true, bool bigEndian = false) {
        TElfDescription elf;
        elf.Is64 = is64;
        elf.BigEndian = bigEndian;
        elf.Notes = VersionNoteRecord({2, 0, 0, 0}, kTexts, bigEndian);
        return elf;
    }
};

} // namespace

TEST(VersionNoteOfTheProgram, TheTestProgramCarriesTheBuildsVersion) {
    const TVersionInfo info = ReadVersionInfo(QString::fromLatin1(ProgramFileLink));
    const QString expected = QStringLiteral(VD_TEST_PROJECT_VERSION);
    EXPECT_EQ(info.FileVersion.Text(), expected);
    EXPECT_EQ(info.ProductVersion.Text(), expected);
    // Texts whose value starts with a digit are where a careless note generator goes wrong.
    EXPECT_EQ(info.Value(QStringLiteral("FileVersion")), expected);
    EXPECT_EQ(info.Value(QStringLiteral("ProductVersion")), expected);
    EXPECT_EQ(info.Value(QStringLiteral("ProductName")), QStringLiteral("Vexa Daxo Soft"));
    EXPECT_EQ(info.Value(QStringLiteral("CompanyName")), QStringLiteral("Korvane Devavuru"));

    EXPECT_EQ(GetAppVersionText(), expected);
    EXPECT_EQ(GetAppVersionShort(), expected.section(QLatin1Char('.'), 0, 1));
    EXPECT_EQ(GetFileVersionString(ProgramFileName()), expected);
    int major = -1, minor = -1, release = -1, build = -1;
    GetAppVersion(major, minor, release, build);
    EXPECT_EQ(QStringLiteral("%1.%2.%3.%4").arg(major).arg(minor).arg(release).arg(build), expected);
}

TEST(VersionNoteOfTheProgram, TheFileDateIsTheProgramFilesWriteTime) {
    const QDateTime written = QFileInfo(ProgramFileName()).lastModified();
    const QString text = GetAppFileDateText();
    EXPECT_TRUE(text.startsWith(QLocale::system().toString(written.date(), QLocale::ShortFormat) + ' '))
        << text.toStdString();
    EXPECT_TRUE(text.contains(written.toString(QStringLiteral("ss")))) << text.toStdString();
}

TEST_F(VersionFiles, EveryClassAndByteOrderWithAndWithoutSectionTable) {
    for (const bool is64 : {true, false})
        for (const bool big : {false, true})
            for (const bool sections : {true, false}) {
                SCOPED_TRACE(testing::Message()
                             << "64=" << is64 << " big=" << big << " sections=" << sections);
                TElfDescription elf = GoodSpec(is64, big);
                elf.WithSections = sections;
                elf.Notes = VersionNoteRecord({65535, 1, 2, 3}, kTexts, big);
                const QString path = Write(QStringLiteral("f.elf"), BuildElf(elf));
                const TVersionInfo info = ReadVersionInfo(path);
                EXPECT_EQ(info.FileVersion, (TFileVersion{65535, 1, 2, 3}));
                EXPECT_EQ(info.Texts, (QList<QPair<QString, QString>>{{"FileVersion", "2.0.0.0"},
                                                                      {"ProductName", "Vexa Daxo Soft"}}));
                EXPECT_EQ(GetFileVersionString(path), QStringLiteral("65535.1.2.3"));
            }
}

TEST_F(VersionFiles, OtherNotesAndOtherNoteSectionsAreSkipped) {
    TElfDescription elf = GoodSpec();
    // A build-id note, a note of our owner with another type, then ours.
    elf.Notes = NoteRecord("GNU", 3, QByteArray(20, 'x'), false) +
                NoteRecord(VersionNote::Owner, 2, QByteArray(8, '\0'), false) +
                VersionNoteRecord({2, 0, 0, 0}, kTexts);
    EXPECT_EQ(GetFileVersionString(Write(QStringLiteral("a.elf"), BuildElf(elf))), QStringLiteral("2.0.0.0"));

    // A linker may put the note in a note section of another name, with 8-byte alignment.
    elf.SectionName = ".note.merged";
    elf.NoteAlign = 8;
    elf.Notes =
        NoteRecord("GNU", 5, QByteArray(12, 'p'), false, 8) +
        NoteRecord(VersionNote::Owner, 1, VersionDescriptor({3, 4, 5, 6}, {3, 4, 5, 6}, {}, false), false, 8);
    EXPECT_EQ(GetFileVersionString(Write(QStringLiteral("b.elf"), BuildElf(elf))), QStringLiteral("3.4.5.6"));
}

TEST_F(VersionFiles, FilesWithoutANoteAreRefusedByName) {
    ExpectRefused(dir.filePath(QStringLiteral("missing.so")), ""); // the system's own reason
    ExpectRefused(dir.path(), "not a regular file");
    const QString fifo = dir.filePath(QStringLiteral("fifo.so")); // opening it would wait for a writer
    ASSERT_EQ(mkfifo(QFile::encodeName(fifo).constData(), 0644), 0);
    ExpectRefused(fifo, "not a regular file");
    ExpectRefused(Write(QStringLiteral("empty"), {}), "not an ELF file");
    ExpectRefused(Write(QStringLiteral("text.htm"), "<html><body>General terms</body></html>"),
                  "not an ELF file");
    ExpectRefused(Write(QStringLiteral("class3.elf"), QByteArray("\x7f"
                                                                 "ELF\x03\x01\x01",
                                                                 7) +
                                                          QByteArray(60, '\0')),
                  "unknown ELF class");
    TElfDescription other = GoodSpec();
    other.Notes = NoteRecord("GNU", 3, QByteArray(20, 'x'), false);
    ExpectRefused(Write(QStringLiteral("other.elf"), BuildElf(other)), "no version note");
    // A real program of the system, built without the note.
    if (QFileInfo::exists(QStringLiteral("/bin/sh")))
        ExpectRefused(QStringLiteral("/bin/sh"), "no version note");
}

TEST_F(VersionFiles, DamagedNotesAndTablesAreRefused) {
    const TElfDescription elf = GoodSpec();
    const TElfLayout layout = LayoutOf(elf);
    const QByteArray good = BuildElf(elf);
    auto damaged = [&](const char* name, qsizetype at, quint32 value, const char* reason) {
        QByteArray bytes = good;
        qToLittleEndian<quint32>(value, bytes.data() + at);
        ExpectRefused(Write(QLatin1String(name), bytes), reason);
    };
    damaged("namesz.elf", layout.NoteOffset, 0xFFFFFFF0u, "runs past");
    damaged("descsz.elf", layout.NoteOffset + 4, 0x7FFFFFFFu, "runs past");
    damaged("signature.elf", layout.NoteOffset + 12 + 12, 0x12345678u, "wrong signature");
    damaged("shoff.elf", layout.ShOffField, 0x7FFFFFF0u, "truncated");
    {
        QByteArray bytes = good;
        qToLittleEndian<quint16>(0xFFF0, bytes.data() + layout.ShNumField);
        ExpectRefused(Write(QStringLiteral("shnum.elf"), bytes), "truncated");
        bytes = good;
        qToLittleEndian<quint16>(8, bytes.data() + layout.ShEntSizeField);
        ExpectRefused(Write(QStringLiteral("shentsize.elf"), bytes), "section header size");
    }
    // The note section's offset and size (section 1) pointing past the end of the file.
    damaged("noteoff.elf", layout.SectionTable + 64 + 24, 0x10000000u, "truncated");

    // Descriptors that lie about their texts: a value running into the end of the descriptor (the
    // padding after it does not count), a fixed block cut short, more texts than any real note has.
    TElfDescription bad = elf;
    bad.Notes = NoteRecord(
        VersionNote::Owner, 1,
        VersionDescriptor({1, 0, 0, 0}, {1, 0, 0, 0}, {}, false) + QByteArray("FileVersion\0abc", 15), false);
    ExpectRefused(Write(QStringLiteral("unterminated.elf"), BuildElf(bad)), "not terminated");
    bad.Notes = NoteRecord(VersionNote::Owner, 1, QByteArray(12, '\0'), false);
    ExpectRefused(Write(QStringLiteral("short.elf"), BuildElf(bad)), "cut short");
    QList<QPair<QByteArray, QByteArray>> many;
    for (int i = 0; i < 100; ++i)
        many.append({"K" + QByteArray::number(i), "v"});
    bad.Notes = VersionNoteRecord({1, 0, 0, 0}, many);
    ExpectRefused(Write(QStringLiteral("many.elf"), BuildElf(bad)), "too many texts");
}

TEST_F(VersionFiles, TheProgramCutShortIsRefused) {
    const QByteArray program = ReadAll(QString::fromLatin1(ProgramFileLink));
    ASSERT_GT(program.size(), 4096);
    for (const qsizetype size : {qsizetype(3), qsizetype(20), qsizetype(63), qsizetype(4096),
                                 program.size() / 2, program.size() - 1}) {
        const QString path = Write(QStringLiteral("cut_%1").arg(size), program.left(size));
        try {
            ReadVersionInfo(path);
            ADD_FAILURE() << "a program cut to " << size << " bytes was read";
        } catch (const EVersionInfoError& e) {
            EXPECT_TRUE(e.Message().contains(QLatin1String("truncated")) ||
                        e.Message().contains(QLatin1String("not an ELF file")))
                << e.what();
        }
    }
}

TEST_F(VersionFiles, RandomDamageGivesAVersionOrARefusalNeverACrash) {
    QByteArray good = BuildElf(GoodSpec());
    QRandomGenerator random(20240611);
    const QString path = dir.filePath(QStringLiteral("random.elf"));
    int read = 0, refused = 0;
    for (int round = 0; round < 1500; ++round) {
        QByteArray bytes = good;
        const int changes = 1 + random.bounded(4);
        for (int c = 0; c < changes; ++c)
            bytes[random.bounded(int(bytes.size()))] = char(random.bounded(256));
        if (random.bounded(8) == 0)
            bytes.truncate(random.bounded(int(bytes.size())));
        QFile f(path);
        ASSERT_TRUE(f.open(QIODevice::WriteOnly | QIODevice::Truncate));
        f.write(bytes);
        f.close();
        TVersionInfo info;
        QString error;
        if (TryReadVersionInfo(path, info, &error))
            ++read;
        else {
            ++refused;
            EXPECT_FALSE(error.isEmpty());
        }
    }
    EXPECT_GT(read, 0);
    EXPECT_GT(refused, 0);
}
