#include <gtest/gtest.h>

#include <QFile>
#include <QSet>
#include <QStringEncoder>
#include <QTemporaryDir>

#include <thread>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

#include "platform/codepage.h"
#include "platform/textappend.h"
#include "support/files.h"
#include "support/smalldisk.h"

namespace {

using testfiles::bytesOf;
using testfiles::writeFile;

QString u(const char* utf8) { return QString::fromUtf8(utf8); }

TEST(TextAppend, CreatesAndGrowsAtTheEnd)
{
    QTemporaryDir dir;
    const QString path = dir.filePath(u("log.txt"));

    // Empty text without a line end only creates the file.
    ASSERT_TRUE(appendText(path, QString(), false, false));
    EXPECT_TRUE(QFile::exists(path));
    EXPECT_EQ(bytesOf(path), QByteArray());

    ASSERT_TRUE(appendText(path, QString(), true, false));
    EXPECT_EQ(bytesOf(path), QByteArray("\r\n"));

    ASSERT_TRUE(appendText(path, u("abc"), false, false));
    QString error = u("unset");
    ASSERT_TRUE(appendText(path, u("中文"), true, false, &error));
    EXPECT_TRUE(error.isEmpty());
    EXPECT_EQ(bytesOf(path), QByteArray("\r\nabc") + CodePage::encode(u("中文")) + "\r\n");
}

// A file that begins with a byte-order mark gets its text in that encoding; any other in GBK.
TEST(TextAppend, WritesInTheEncodingOfTheFilesMark)
{
    auto utf16 = [](const char* utf8, bool le) {
        return QByteArray(QStringEncoder(le ? QStringEncoder::Utf16LE : QStringEncoder::Utf16BE)(u(utf8)));
    };
    const struct {
        const char* name;
        QByteArray before;
        QByteArray after;
    } cases[] = {
        {"utf-8 mark", "\xEF\xBB\xBF" "a\r\n", QByteArray("\xEF\xBB\xBF" "a\r\n") + u("中文\r\n").toUtf8()},
        {"utf-16 LE mark", "\xFF\xFE" + utf16("a\r\n", true), "\xFF\xFE" + utf16("a\r\n中文\r\n", true)},
        {"utf-16 BE mark", "\xFE\xFF" + utf16("a\r\n", false), "\xFE\xFF" + utf16("a\r\n中文\r\n", false)},
        {"utf-16 mark only", "\xFF\xFE", "\xFF\xFE" + utf16("中文\r\n", true)},
        {"no mark", "a\r\n", "a\r\n" + CodePage::encode(u("中文\r\n"))},
        {"too short for a mark", "\xEF", "\xEF" + CodePage::encode(u("中文\r\n"))},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        QTemporaryDir dir;
        const QString path = dir.filePath(u("log.txt"));
        ASSERT_TRUE(writeFile(path, c.before));
        ASSERT_TRUE(appendText(path, u("中文"), true, false));
        EXPECT_EQ(bytesOf(path).toHex(' '), c.after.toHex(' '));
    }
}

TEST(TextAppend, ReportsTheFileAndTheReason)
{
    QTemporaryDir dir;
    const struct {
        QString path;
        bool chinese;
        QString expected;
    } cases[] = {
        {dir.filePath(u("no-folder/log.txt")), false,
         u("Cannot open file \"%1\". No such file or directory").arg(dir.filePath(u("no-folder/log.txt")))},
        {dir.filePath(u("no-folder/log.txt")), true,
         u("无法打开文件“%1”。没有那个文件或目录").arg(dir.filePath(u("no-folder/log.txt")))},
        {dir.path(), false, u("Cannot open file \"%1\". Is a directory").arg(dir.path())},
        // A full disk.
        {u("/dev/full"), false, u("Cannot write file \"/dev/full\". No space left on device")},
        {u("/dev/full"), true, u("无法写入文件“/dev/full”。设备上没有空间")},
    };
    for (const auto& c : cases) {
        QString error;
        EXPECT_FALSE(appendText(c.path, u("line"), true, c.chinese, &error));
        EXPECT_EQ(error, c.expected);
    }
}

// A text that does not fit on the disk is not left behind cut off: the file keeps its old bytes.
TEST(TextAppend, AFullDiskLeavesNoCutLine)
{
    SmallDisk disk(64 * 1024);
    if (!disk.mounted()) GTEST_SKIP() << "no small file system can be mounted here";
    const QString path = disk.filePath(u("log.txt"));
    ASSERT_TRUE(appendText(path, u("first"), true, false));
    ASSERT_TRUE(disk.fill(u("filler")));
    QString error;
    // More than the rest of the file's first page, which still takes bytes.
    EXPECT_FALSE(appendText(path, QString(10000, u'x'), true, false, &error));
    EXPECT_EQ(error, u("Cannot write file \"%1\". No space left on device").arg(path));
    EXPECT_EQ(bytesOf(path), QByteArray("first\r\n"));
}

// A pipe takes the text only while someone reads it; with nobody at the other end the append
// fails instead of vanishing.
TEST(TextAppend, APipeWithoutAReaderIsAnError)
{
    QTemporaryDir dir;
    const QString path = dir.filePath(u("pipe"));
    ASSERT_EQ(mkfifo(QFile::encodeName(path).constData(), 0666), 0);
    QString error;
    EXPECT_FALSE(appendText(path, u("line"), true, false, &error));
    EXPECT_TRUE(error.startsWith(u("Cannot open file \"%1\". ").arg(path))) << error.toStdString();

    const int reader = ::open(QFile::encodeName(path).constData(), O_RDONLY | O_NONBLOCK);
    ASSERT_GE(reader, 0);
    EXPECT_TRUE(appendText(path, u("line"), true, false, &error)) << error.toStdString();
    char buffer[16] = {};
    EXPECT_EQ(::read(reader, buffer, sizeof buffer), 6);
    EXPECT_EQ(QByteArray(buffer, 6), QByteArray("line\r\n"));
    ::close(reader);
}

// Many appenders on one file: every line arrives whole, none is lost or overwritten.
TEST(TextAppend, ConcurrentAppendersKeepEveryLine)
{
    QTemporaryDir dir;
    const QString path = dir.filePath(u("shared.txt"));
    ASSERT_TRUE(appendText(path, u("first"), true, false));
    constexpr int kThreads = 16;
    constexpr int kLines = 200;
    std::vector<std::thread> appenders;
    std::vector<int> failures(kThreads, 0);
    for (int t = 0; t < kThreads; ++t) {
        appenders.emplace_back([&, t] {
            for (int i = 0; i < kLines; ++i) {
                const QString line = u("线程%1 line %2 ").arg(t).arg(i) + QString(40, QChar(u'a' + t));
                if (!appendText(path, line, true, false))
                    ++failures[size_t(t)];
            }
        });
    }
    for (std::thread& appender : appenders)
        appender.join();

    const QList<QByteArray> lines = bytesOf(path).split('\n');
    ASSERT_EQ(lines.size(), 1 + kThreads * kLines + 1);
    EXPECT_EQ(lines.first(), QByteArray("first\r"));
    EXPECT_TRUE(lines.last().isEmpty());
    QSet<QByteArray> seen;
    for (qsizetype i = 1; i + 1 < lines.size(); ++i)
        seen.insert(lines.at(i));
    for (int t = 0; t < kThreads; ++t) {
        EXPECT_EQ(failures[size_t(t)], 0);
        for (int i = 0; i < kLines; ++i) {
            const QString line = u("线程%1 line %2 ").arg(t).arg(i) + QString(40, QChar(u'a' + t));
            EXPECT_TRUE(seen.contains(CodePage::encode(line) + '\r')) << t << " " << i;
        }
    }
}

}  // namespace
