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

#include "console/configmodel.h"
#include "editor/common/channeloptions.h"
#include "platform/registry.h"
#include "platform/wave.h"
#include "support/files.h"

namespace {

#ifdef SORVIX_ADMIN_PROGRAM

// True when the process no longer runs (gone, or ended and only waiting to be collected).
bool hasEnded(qint64 pid)
{
    if (::kill(pid_t(pid), 0) != 0) return errno == ESRCH;
    QFile stat(QStringLiteral("/proc/%1/stat").arg(pid));
    if (!stat.open(QIODevice::ReadOnly)) return true;
    const QByteArray text = stat.readAll();
    const qsizetype close = text.lastIndexOf(')');
    return close >= 0 && text.mid(close + 2, 1) == "Z";
}

bool waitUntil(const std::function<bool()>& condition, int ms)
{
    QElapsedTimer clock;
    clock.start();
    while (!condition()) {
        if (clock.elapsed() > ms) return false;
        QThread::msleep(20);
    }
    return true;
}

qint64 readPid(const QString& file)
{
    QFile f(file);
    if (!f.open(QIODevice::ReadOnly)) return -1;
    bool ok = false;
    const qint64 pid = f.readAll().trimmed().toLongLong(&ok);
    return ok ? pid : -1;
}

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
    console.start(QStringLiteral(SORVIX_ADMIN_PROGRAM), {});
    ASSERT_TRUE(console.waitForStarted(10000));

    std::vector<qint64> pids;
    for (int i = 1; i <= Channels; ++i) {
        for (const char* name : {"program", "child"}) {
            const QString file = path(QStringLiteral("%1%2.pid").arg(QLatin1String(name)).arg(i));
            ASSERT_TRUE(waitUntil([&] { return readPid(file) > 0; }, 30000))
                << qPrintable(file) << " was not written; the console " << (console.state() == QProcess::Running ? "runs" : "ended");
            pids.push_back(readPid(file));
        }
    }
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

#endif

}  // namespace
