#include <gtest/gtest.h>

#include <QFile>
#include <QTemporaryDir>
#include <csignal>
#include <sys/resource.h>

#include "engine/flow.h"
#include "engine/flowfile.h"
#include "engine/statements/flowcontrol.h"
#include "support/files.h"

namespace {

using testfiles::bytesOf;

QString fixturePath(const char* name)
{
    return QStringLiteral(SORVIX_FIXTURES "/flows/") + QLatin1String(name);
}

TEST(FlowText, NewFlowPrintsEightLinesOverALongerFile)
{
    QTemporaryDir dir;
    const QString file = dir.filePath("new.txt");
    {
        QFile old(file);
        ASSERT_TRUE(old.open(QIODevice::WriteOnly));
        old.write(QByteArray(1000, 'z'));
    }
    TIVRFlow flow(nullptr, QString(), true);
    QString error = "x";
    ASSERT_TRUE(flow.SaveFlowText(file, &error));
    EXPECT_TRUE(error.isEmpty());
    EXPECT_EQ(bytesOf(file), "|\r\nx--Var\r\n|   |\r\n|   ---Result\r\n|\r\n|--Begin\r\n|\r\n---End\r\n");
    EXPECT_EQ(bytesOf(file), bytesOf(fixturePath("new.txt")));
}

// Connectors, the bar carried down only below nodes with a next sibling, the closing root with
// children, breakpoint and disabled marks, a note in braces and GBK text.
TEST(FlowText, NestedFlowMatchesItsGoldenPrintout)
{
    QString error;
    TIVRFlow flow(nullptr, fixturePath("printout.svx"), true, &error);
    ASSERT_TRUE(error.isEmpty()) << error.toStdString();
    QTemporaryDir dir;
    const QString file = dir.filePath("flow.txt");
    ASSERT_TRUE(flow.SaveFlowText(file, &error)) << error.toStdString();
    const QByteArray text = bytesOf(file);
    EXPECT_EQ(text, bytesOf(fixturePath("printout.txt")));
    EXPECT_EQ(text.count("\r\n"), 2 * flow.tree().count());
}

TEST(FlowText, FailuresLeaveTheOldFileAndCarryThePrefix)
{
    QTemporaryDir dir;
    TIVRFlow flow(nullptr, QString(), true);
    QString error;
    // Below a regular file nothing can be created, not even by root.
    const QString plain = dir.filePath("plain");
    ASSERT_TRUE(flow.SaveFlowText(plain, &error));
    EXPECT_FALSE(flow.SaveFlowText(plain + "/x.txt", &error));
    EXPECT_TRUE(error.startsWith("Save flow text error: \r\n")) << error.toStdString();
    EXPECT_GT(error.size(), 24);

    // A write that fails halfway (the file size limit) leaves the old printout as it was.
    const QByteArray old = bytesOf(plain);
    for (int i = 0; i < 50; ++i) flow.tree().addLast(flow.BeginRoot, std::make_unique<IVRBlock>(&flow), "Block");
    rlimit saved{};
    getrlimit(RLIMIT_FSIZE, &saved);
    auto handler = std::signal(SIGXFSZ, SIG_IGN);
    rlimit small = saved;
    small.rlim_cur = 64;
    setrlimit(RLIMIT_FSIZE, &small);
    const bool ok = flow.SaveFlowText(plain, &error);
    setrlimit(RLIMIT_FSIZE, &saved);
    std::signal(SIGXFSZ, handler);
    EXPECT_FALSE(ok);
    EXPECT_TRUE(error.startsWith("Save flow text error: \r\n")) << error.toStdString();
    EXPECT_EQ(bytesOf(plain), old);
}

}  // namespace
