#include <gtest/gtest.h>

#include <QElapsedTimer>
#include <QProcess>
#include <QTemporaryDir>
#include <QThread>

#include "platform/singleinstance.h"

namespace {

#ifdef SORVIX_ADMIN_PROGRAM
// Two starts of the console: the second asks the first to come forward and ends; the first runs on.
TEST(ConsoleInstance, ASecondStartBringsTheFirstForwardAndEnds)
{
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    const QByteArray runtime = qgetenv("XDG_RUNTIME_DIR");
    qputenv("XDG_RUNTIME_DIR", dir.path().toUtf8());  // the instance layer's folder, for this test only
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert("XDG_RUNTIME_DIR", dir.path());
    env.insert("SORVIX_REGISTRY", dir.filePath("registry.db"));
    env.insert("QT_QPA_PLATFORM", "offscreen");
    env.insert("SORVIX_LANGUAGE", "en");

    QProcess first;
    first.setProcessEnvironment(env);
    first.start(QStringLiteral(SORVIX_ADMIN_PROGRAM), {});
    ASSERT_TRUE(first.waitForStarted(10000));
    // The first console answers once its window exists and its loop runs.
    QElapsedTimer clock;
    clock.start();
    bool answered = false;
    while (!answered && clock.elapsed() < 20000 && first.state() == QProcess::Running) {
        answered = SingleInstance::sendToPrimary(QStringLiteral("TfrmSorvixAdmin"), "come to the front", 500);
        if (!answered) QThread::msleep(100);
    }
    EXPECT_TRUE(answered);

    QProcess second;
    second.setProcessEnvironment(env);
    second.start(QStringLiteral(SORVIX_ADMIN_PROGRAM), {});
    EXPECT_TRUE(second.waitForFinished(20000));
    EXPECT_EQ(second.exitStatus(), QProcess::NormalExit);
    EXPECT_EQ(second.exitCode(), 0);
    EXPECT_EQ(first.state(), QProcess::Running) << "the first console is unchanged";

    first.terminate();
    if (!first.waitForFinished(10000)) {
        first.kill();
        first.waitForFinished();
    }
    if (runtime.isNull()) qunsetenv("XDG_RUNTIME_DIR");
    else qputenv("XDG_RUNTIME_DIR", runtime);
}
#endif

}  // namespace
