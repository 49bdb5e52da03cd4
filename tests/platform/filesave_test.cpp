#include <gtest/gtest.h>

#include <QDir>
#include <QProcess>
#include <QRandomGenerator>
#include <QTemporaryDir>

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

}  // namespace
