#include <gtest/gtest.h>

#include <QDir>
#include <QProcess>
#include <QRandomGenerator>
#include <QTemporaryDir>

#include <sys/stat.h>
#include <unistd.h>

#include "platform/filesave.h"
#include "support/files.h"

namespace {

using testfiles::bytesOf;
using testfiles::writeFile;

// Two versions of a file, of different lengths and with no byte in common at any position, so
// that any mix of the two shows.
QByteArray version(char fill, qsizetype size)
{
    QByteArray bytes(size, fill);
    for (qsizetype i = 0; i < size; i += 4096) bytes[i] = char(fill + 1);
    return bytes;
}

// A file with a second name is saved in place. A saver killed at any moment leaves the file
// whole: the old bytes or the new ones, at the latest once the next reader has mended it.
TEST(FileSave, AnInPlaceSaveKilledAnywhereLeavesOneWholeVersion)
{
    QTemporaryDir dir;
    const QString file = dir.filePath(QStringLiteral("flow.svx"));
    const QString other = dir.filePath(QStringLiteral("other.svx"));
    const QByteArray a = version('a', 3 * 1024 * 1024);
    const QByteArray b = version('n', 2 * 1024 * 1024 + 123);
    ASSERT_TRUE(writeFile(dir.filePath(QStringLiteral("a")), a));
    ASSERT_TRUE(writeFile(dir.filePath(QStringLiteral("b")), b));
    ASSERT_TRUE(writeFile(file, a));
    ASSERT_EQ(::link(QFile::encodeName(file).constData(), QFile::encodeName(other).constData()), 0);

    int torn = 0;
    for (int round = 0; round < 40; ++round) {
        QProcess saver;
        saver.start(QStringLiteral(SORVIX_TEST_HELPER),
                    {QStringLiteral("save-loop"), file, dir.filePath(QStringLiteral("a")), dir.filePath(QStringLiteral("b"))});
        ASSERT_TRUE(saver.waitForStarted(10000));
        ASSERT_TRUE(saver.waitForReadyRead(10000));
        ::usleep(useconds_t(QRandomGenerator::global()->bounded(2000, 60000)));
        saver.kill();
        ASSERT_TRUE(saver.waitForFinished(10000));
        ASSERT_EQ(saver.exitStatus(), QProcess::CrashExit) << saver.readAllStandardError().constData();

        FileSave::recover(other);
        const QByteArray now = bytesOf(file);
        if (now != a && now != b) ++torn;
        EXPECT_EQ(bytesOf(other), now);
    }
    EXPECT_EQ(torn, 0);
    // The mending took the journals with it.
    EXPECT_EQ(QDir(dir.path()).entryList(QDir::Files | QDir::Hidden).size(), 4);
}

// What recover() does with the journal a saver left: a whole one mends the file (here the saver
// died before its first byte, so the file already is the old one), one cut off while it was being
// written (the file not yet touched), or one of a file that has been replaced since, is only
// removed. The file's bytes are never mixed with a journal that is not whole.
TEST(FileSave, RecoverTrustsOnlyAWholeJournalOfTheSameFile)
{
    const QByteArray old = version('o', 50000);
    const QByteArray next = version('n', 20000);
    enum Spoil { Whole, CutOff, OtherFile };
    for (const Spoil spoil : {Whole, CutOff, OtherFile}) {
        SCOPED_TRACE(int(spoil));
        QTemporaryDir dir;
        const QString file = dir.filePath(QStringLiteral("flow.svx"));
        ASSERT_TRUE(writeFile(file, old));
        ASSERT_EQ(::link(QFile::encodeName(file).constData(), QFile::encodeName(dir.filePath("other.svx")).constData()), 0);
        FileSave::injectInPlaceFault(0, true);
        QString message;
        EXPECT_FALSE(FileSave::replaceContents(file, next, &message));
        const QStringList journals = QDir(dir.path()).entryList({QStringLiteral(".sorvix-journal-*")}, QDir::Files | QDir::Hidden);
        ASSERT_EQ(journals.size(), 1);
        const QString journal = dir.filePath(journals.first());
        if (spoil == CutOff) {
            ASSERT_TRUE(writeFile(journal, bytesOf(journal).chopped(7)));
        }
        if (spoil == OtherFile) {
            // The file replaced by another one under the same name: the journal is not its own.
            const QString other = dir.filePath(QStringLiteral("other.svx"));
            ASSERT_TRUE(writeFile(file + QStringLiteral(".new"), next));
            ASSERT_TRUE(QFile::remove(file));
            ASSERT_TRUE(QFile::rename(file + QStringLiteral(".new"), file));
            ASSERT_TRUE(QFile::remove(other));
            ASSERT_EQ(::link(QFile::encodeName(file).constData(), QFile::encodeName(other).constData()), 0);
            struct stat st{};
            ASSERT_EQ(::stat(QFile::encodeName(file).constData(), &st), 0);
            ASSERT_TRUE(QFile::rename(journal, dir.filePath(QStringLiteral(".sorvix-journal-%1-%2")
                                                               .arg(quint64(st.st_dev))
                                                               .arg(quint64(st.st_ino)))));
        }
        FileSave::recover(file);
        EXPECT_EQ(bytesOf(file), spoil == OtherFile ? next : old);
        EXPECT_EQ(QDir(dir.path()).entryList(QDir::Files | QDir::Hidden).size(), 2);
    }
}

}  // namespace
