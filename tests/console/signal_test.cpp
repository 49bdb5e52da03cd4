#include <gtest/gtest.h>

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>
#include <QThread>

#include <cerrno>
#include <csignal>
#include <memory>

#include "channels/configmodel.h"
#include "channels/channeloptions.h"
#include "platform/registry.h"
#include "platform/wave.h"
#include "support/files.h"
#include "support/processes.h"

namespace {

#ifdef SORVIX_ADMIN_PROGRAM

using testprocesses::hasEnded;
using testprocesses::readPid;
using testprocesses::waitUntil;

// The console on a store of its own and the simulated device: two channels answer a call each,
// start a program that runs on (and starts one more itself), and record with no length limit.
class ConsoleSignal : public ::testing::TestWithParam<int> {
protected:
    static constexpr int Channels = 2;
    QTemporaryDir dir;
    QProcess console;

    QString path(const QString& name) const { return dir.filePath(name); }

    void SetUp() override
    {
        ASSERT_TRUE(dir.isValid());
        ASSERT_FALSE(dir.path().contains(u' '));  // the command lines below are not quoted

        QFile script(path(QStringLiteral("program.sh")));
        ASSERT_TRUE(script.open(QIODevice::WriteOnly));
        script.write("#!/bin/sh\n"
                     "sleep 300 &\n"
                     "echo $! > \"$(dirname \"$0\")/child$1.pid\"\n"
                     "echo $$ > \"$(dirname \"$0\")/program$1.pid\"\n"
                     "exec sleep 300\n");
        script.close();
        ASSERT_TRUE(script.setPermissions(QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner));

        QByteArray scenario = R"({"speed": 1, "ring_ms": 50, "addresses": [)";
        auto store = std::make_unique<RegistryStore>(path(QStringLiteral("registry.db")));
        for (int i = 1; i <= Channels; ++i) {
            const QString n = QString::number(i);
            if (i > 1) scenario += ',';
            scenario += QStringLiteral(R"({"name": "Line %1", "calls": [{"caller": "55501%1", "called": "8000", )"
                                       R"("arrive_ms": 100, "record_tone_hz": 440}]})")
                            .arg(i)
                            .toUtf8();
            QFile flow(path(QStringLiteral("flow%1.svx").arg(i)));
            ASSERT_TRUE(flow.open(QIODevice::WriteOnly));
            flow.write(QStringLiteral("object IVRVar\n"
                                      "end\n"
                                      "object IVRBegin\n"
                                      "  object IVRRing\n"
                                      "    Times = 1\n"
                                      "  end\n"
                                      "  object IVRAnswer\n"
                                      "  end\n"
                                      "  object IVRExecute\n"
                                      "    CommandLine = '\"%1 %2\"'\n"
                                      "    TimeOut = 0\n"
                                      "    Terminate = False\n"
                                      "  end\n"
                                      "  object IVRRecord\n"
                                      "    Interruptible = False\n"
                                      "    WavFile = '\"message%2.wav\"'\n"
                                      "    MaxLength = 0\n"
                                      "  end\n"
                                      "end\n"
                                      "object IVREnd\n"
                                      "end\n")
                           .arg(path(QStringLiteral("program.sh")), n)
                           .toUtf8());
            flow.close();
            const QString application = QStringLiteral("App") + n;
            const QString channel = channelKeyPath(QStringLiteral("Channel ") + n);
            ASSERT_TRUE(store->createKey(ConsoleConfig::ApplicationKey));
            ASSERT_TRUE(store->writeString(ConsoleConfig::ApplicationKey, application, flow.fileName()));
            ASSERT_TRUE(store->createKey(ConsoleConfig::AddressKey));
            ASSERT_TRUE(store->writeString(ConsoleConfig::AddressKey, QStringLiteral("Line ") + n,
                                           QStringLiteral("APPLICATION ") + application));
            ASSERT_TRUE(store->createKey(channel));
            ASSERT_TRUE(store->writeString(channel, QStringLiteral("Address"), QStringLiteral("Line ") + n));
            ASSERT_TRUE(store->writeString(channel, QStringLiteral("Gateway"), QString()));
            ASSERT_TRUE(store->writeInteger(channel, QStringLiteral("AutoStart"), 1));
        }
        scenario += "]}";
        store.reset();
        QFile scenarioFile(path(QStringLiteral("scenario.json")));
        ASSERT_TRUE(scenarioFile.open(QIODevice::WriteOnly));
        scenarioFile.write(scenario);
        scenarioFile.close();

        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert(QStringLiteral("XDG_RUNTIME_DIR"), dir.path());  // a single-instance lock of its own
        env.insert(QStringLiteral("SORVIX_REGISTRY"), path(QStringLiteral("registry.db")));
        env.insert(QStringLiteral("SORVIX_SCENARIO"), scenarioFile.fileName());
        env.insert(QStringLiteral("SORVIX_DEVICE_LOG"), path(QStringLiteral("device.log")));
        env.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
        env.insert(QStringLiteral("SORVIX_LANGUAGE"), QStringLiteral("en"));
        console.setProcessEnvironment(env);
        console.setProcessChannelMode(QProcess::ForwardedChannels);
    }

    // Starts the console and waits until every channel's program and its child run.
    void startWithPrograms(std::vector<qint64>& pids)
    {
        console.start(QStringLiteral(SORVIX_ADMIN_PROGRAM), {});
        ASSERT_TRUE(console.waitForStarted(10000));
        for (int i = 1; i <= Channels; ++i) {
            for (const char* name : {"program", "child"}) {
                const QString file = path(QStringLiteral("%1%2.pid").arg(QLatin1String(name)).arg(i));
                ASSERT_TRUE(waitUntil([&] { return readPid(file) > 0; }, 30000))
                    << qPrintable(file) << " was not written; the console "
                    << (console.state() == QProcess::Running ? "runs" : "ended");
                pids.push_back(readPid(file));
            }
        }
    }

    void TearDown() override
    {
        if (console.state() != QProcess::NotRunning) {
            console.kill();
            console.waitForFinished(5000);
        }
        // Whatever the console left behind must not outlive the test.
        for (int i = 1; i <= Channels; ++i) {
            for (const char* name : {"program", "child"}) {
                const qint64 pid = readPid(path(QStringLiteral("%1%2.pid").arg(QLatin1String(name)).arg(i)));
                if (pid > 0) ::kill(pid_t(pid), SIGKILL);
            }
        }
    }
};

// A stop signal ends the console as closing its window does: every channel is stopped and closed,
// the recordings under way are finished and readable, and the programs the flows started are
// ended, with what they started themselves.
TEST_P(ConsoleSignal, EndsLikeClosingTheWindow)
{
    const int signalNumber = GetParam();
    std::vector<qint64> pids;
    ASSERT_NO_FATAL_FAILURE(startWithPrograms(pids));
    // Every channel records (its file is open), then long enough for the length asked below.
    ASSERT_TRUE(waitUntil([&] { return testfiles::unnamedFilesOpenIn(console.processId(), dir.path()) == Channels; }, 30000))
        << "the recordings did not begin";
    QThread::msleep(400);
    for (qint64 pid : pids) EXPECT_FALSE(hasEnded(pid)) << pid;

    ASSERT_EQ(::kill(pid_t(console.processId()), signalNumber), 0);
    ASSERT_TRUE(console.waitForFinished(20000));
    EXPECT_EQ(console.exitStatus(), QProcess::NormalExit) << "ended by the signal itself";
    EXPECT_EQ(console.exitCode(), 128 + signalNumber);

    QFile log(path(QStringLiteral("device.log")));
    ASSERT_TRUE(log.open(QIODevice::ReadOnly));
    const QString text = QString::fromUtf8(log.readAll());
    for (int i = 1; i <= Channels; ++i) {
        const QString line = QStringLiteral("Line %1: ").arg(i);
        EXPECT_TRUE(text.contains(line + QStringLiteral("RecordFile("))) << qPrintable(text);
        EXPECT_TRUE(text.contains(line + QStringLiteral("CloseChannel() = 0"))) << qPrintable(text);

        WaveInfo info;
        QString error;
        EXPECT_TRUE(readWaveInfo(path(QStringLiteral("message%1.wav").arg(i)), info, &error)) << qPrintable(error);
        EXPECT_GE(info.durationMs(), 300) << "channel " << i;
    }
    for (qint64 pid : pids) EXPECT_TRUE(waitUntil([&] { return hasEnded(pid); }, 5000)) << "process " << pid << " left running";
}

INSTANTIATE_TEST_SUITE_P(StopSignals, ConsoleSignal, ::testing::Values(SIGTERM, SIGINT, SIGHUP),
                         [](const ::testing::TestParamInfo<int>& info) {
                             return info.param == SIGTERM ? std::string("Terminate")
                                    : info.param == SIGINT ? std::string("Interrupt")
                                                           : std::string("HangUp");
                         });

// A second signal ends the console at once, without stopping its channels in order, and still
// ends the programs its flows started, with what they started themselves. Two different signals
// sent together, so neither is merged into the other.
using ConsoleSecondSignal = ConsoleSignal;
TEST_F(ConsoleSecondSignal, StillEndsThePrograms)
{
    std::vector<qint64> pids;
    ASSERT_NO_FATAL_FAILURE(startWithPrograms(pids));
    const pid_t pid = pid_t(console.processId());
    ASSERT_EQ(::kill(pid, SIGTERM), 0);
    ASSERT_EQ(::kill(pid, SIGINT), 0);
    ASSERT_TRUE(console.waitForFinished(20000));
    EXPECT_EQ(console.exitStatus(), QProcess::NormalExit);
    EXPECT_TRUE(console.exitCode() == 128 + SIGTERM || console.exitCode() == 128 + SIGINT) << console.exitCode();
    for (qint64 p : pids) EXPECT_TRUE(waitUntil([&] { return hasEnded(p); }, 5000)) << "process " << p << " left running";
}

// A stop signal while the start-up box about an unreadable store waits for an answer ends the
// console: the box is dismissed and the console does not go on to its window.
using ConsoleStartUpSignal = ConsoleSignal;
TEST_F(ConsoleStartUpSignal, EndsTheConsoleWhileTheStoreBoxIsOpen)
{
    QFile store(path(QStringLiteral("registry.db")));
    for (const char* suffix : {"-wal", "-shm"}) QFile::remove(store.fileName() + QLatin1String(suffix));
    ASSERT_TRUE(store.open(QIODevice::WriteOnly | QIODevice::Truncate));
    store.write(QByteArray("[Application]\nBank=/flows/bank.svx\n").repeated(200));
    store.close();

    console.setProcessChannelMode(QProcess::SeparateChannels);
    console.start(QStringLiteral(SORVIX_ADMIN_PROGRAM), {});
    ASSERT_TRUE(console.waitForStarted(10000));
    QByteArray err;
    ASSERT_TRUE(waitUntil([&] {
        console.waitForReadyRead(10);
        err += console.readAllStandardError();
        return err.contains("could not be read") || console.state() != QProcess::Running;
    }, 30000)) << err.constData();
    ASSERT_EQ(console.state(), QProcess::Running) << err.constData();
    ASSERT_EQ(::kill(pid_t(console.processId()), SIGTERM), 0);
    ASSERT_TRUE(console.waitForFinished(20000)) << "the console still runs";
    EXPECT_EQ(console.exitStatus(), QProcess::NormalExit);
    EXPECT_EQ(console.exitCode(), 128 + SIGTERM);
    // Nothing was started: no program ran.
    for (int i = 1; i <= Channels; ++i) EXPECT_FALSE(QFile::exists(path(QStringLiteral("program%1.pid").arg(i))));
}

#endif

}  // namespace
