// The headless runner as a program: its options, its failure lines and how a signal stops it.
#include <gtest/gtest.h>

#include <QDeadlineTimer>
#include <QDir>
#include <QFile>
#include <QProcess>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QThread>
#include <algorithm>
#include <csignal>
#include <functional>
#include <sys/stat.h>

#include "engine/flow.h"
#include "engine/statements/database.h"
#include "engine/statements/declarations.h"
#include "engine/statements/files.h"
#include "engine/statements/line.h"
#include "engine/statements/variables.h"
#include "engine/statements/voice.h"
#include "platform/dataset.h"
#include "platform/wave.h"
#include "support/files.h"
#include "support/processes.h"

namespace {

// Builds a flow with the engine's own API and saves it as a flow file.
struct FlowFile {
    TIVRFlow flow{nullptr, QString(), false};

    template <class T>
    T* add(FlowNode* parent = nullptr)
    {
        auto s = std::make_unique<T>(&flow);
        T* raw = s.get();
        flow.tree().addLast(parent ? parent : flow.BeginRoot, std::move(s));
        return raw;
    }
    void save(const QString& path)
    {
        QString error;
        ASSERT_TRUE(flow.SaveAs(path, &error)) << error.toStdString();
    }
};

struct RunResult {
    int exitCode = -1;
    QString out, err;
    bool finished = false;
};

class RunProgramTest : public ::testing::Test {
protected:
    QTemporaryDir dir;

    QString path(const QString& name) const { return dir.filePath(name); }

    void writeFile(const QString& name, const QByteArray& content)
    {
        QFile f(path(name));
        ASSERT_TRUE(f.open(QIODevice::WriteOnly | QIODevice::Truncate));
        f.write(content);
    }

    // Runs the program to its end; `whenSeen` is called once the standard output holds `marker`.
    // The standard input ends at once unless keepInput is set (it then stays open and empty).
    RunResult run(const QStringList& args, const QString& marker = {}, const std::function<void(QProcess&)>& whenSeen = {},
                  bool keepInput = false, int timeoutMs = 20000)
    {
        QProcess p;
        p.setProgram(QStringLiteral(SORVIX_RUN_PROGRAM));
        p.setArguments(args);
        p.start();
        RunResult r;
        if (!p.waitForStarted()) return r;
        if (!keepInput) p.closeWriteChannel();
        QDeadlineTimer deadline(timeoutMs);
        bool seen = marker.isEmpty();
        while (p.state() != QProcess::NotRunning && !deadline.hasExpired()) {
            p.waitForReadyRead(20);
            r.out += QString::fromUtf8(p.readAllStandardOutput());
            if (!seen && r.out.contains(marker)) {
                seen = true;
                if (whenSeen) whenSeen(p);
            }
        }
        r.finished = p.waitForFinished(0) || p.state() == QProcess::NotRunning;
        if (!r.finished) {
            p.kill();
            p.waitForFinished();
        }
        r.out += QString::fromUtf8(p.readAllStandardOutput());
        r.err = QString::fromUtf8(p.readAllStandardError());
        r.exitCode = p.exitStatus() == QProcess::NormalExit ? p.exitCode() : -1;
        return r;
    }
};

QString lastLine(const QString& text)
{
    const QStringList lines = text.split(QLatin1Char('\n'), Qt::SkipEmptyParts);
    return lines.isEmpty() ? QString() : lines.last();
}

void signalAfter(QProcess& p, int signalNumber, int ms)
{
    QThread::msleep(ms);
    ::kill(pid_t(p.processId()), signalNumber);
}

using testprocesses::hasEnded;
using testprocesses::readPid;
using testprocesses::waitUntil;

}  // namespace

// A signal stops a recording that has no limit and a wait for a call that never comes: the
// operation is aborted, the pass ends, the channel is closed and the status tells the signal.
TEST_F(RunProgramTest, SignalStopsTheRunLikeTheConsoleStop)
{
    ASSERT_TRUE(dir.isValid());
    writeFile("scenario.json", R"({ "ring_ms": 100, "addresses": [ { "name": "Line 1", "calls": [
        { "caller": "5550100", "called": "8000", "arrive_ms": 0, "record_tone_hz": 440 } ] } ] })");
    {
        FlowFile record;
        record.add<IVRRing>();
        record.add<IVRAnswer>();
        auto* rec = record.add<IVRRecord>();
        rec->link.constant = Value(path("cut.wav"));
        rec->MaxLength = 0;  // no limit: only the stop ends it
        record.save(path("record.svx"));
    }
    {
        FlowFile ring;
        ring.add<IVRRing>();
        ring.save(path("ring.svx"));
    }

    struct Case {
        const char* flow;
        const char* marker;  // printed once the blocking operation is under way
        int signalNumber;
        int status;
    };
    const Case cases[] = {
        {"record.svx", "Answer() = 0", SIGINT, 130},
        {"record.svx", "Answer() = 0", SIGTERM, 143},
        {"record.svx", "Answer() = 0", SIGHUP, 129},
        // The one call of the scenario is used by the first Ring; the second waits for ever.
        {"ring.svx", "end of pass 1", SIGINT, 130},
        {"ring.svx", "end of pass 1", SIGTERM, 143},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(std::string(c.flow) + " signal " + std::to_string(c.signalNumber));
        QFile::remove(path("cut.wav"));
        const RunResult r = run({path(c.flow), "--scenario", path("scenario.json"), "--speed", "1", "--passes", "5"},
                          c.marker, [&](QProcess& p) {
                              // The recording has begun (its file is open) before the time it must last.
                              if (QString(c.flow) == "record.svx") {
                                  QDeadlineTimer deadline(30000);
                                  while (testfiles::unnamedFilesOpenIn(p.processId(), dir.path()) == 0 && !deadline.hasExpired())
                                      QThread::msleep(5);
                              }
                              signalAfter(p, c.signalNumber, 300);
                          });
        ASSERT_TRUE(r.finished) << r.out.toStdString();
        EXPECT_EQ(r.exitCode, c.status) << r.out.toStdString() << r.err.toStdString();
        EXPECT_TRUE(r.out.contains("Abort()")) << r.out.toStdString();
        EXPECT_TRUE(lastLine(r.out).contains("CloseChannel() = 0")) << r.out.toStdString();
        const char* name = c.signalNumber == SIGINT ? "SIGINT" : c.signalNumber == SIGTERM ? "SIGTERM" : "SIGHUP";
        EXPECT_TRUE(r.out.contains("-- stopped by " + QString(name))) << r.out.toStdString();
        if (QString(c.flow) == "record.svx") {
            EXPECT_TRUE(r.out.contains(QRegularExpression(R"(RecordFile\(.*\) = 4 \[aborted, \d+ ms\])")))
                << r.out.toStdString();
            EXPECT_TRUE(r.out.contains("-- end of pass 1"));
            WaveInfo info;
            QString error;
            ASSERT_TRUE(readWaveInfo(path("cut.wav"), info, &error)) << error.toStdString();
            EXPECT_GT(info.durationMs(), 100);
        } else {
            EXPECT_TRUE(r.out.contains("WaitRing(1) = 4 [aborted")) << r.out.toStdString();
        }
    }
}

// A debug pause and a debug error question wait for input in the event loop, a program is waited
// for in steps and a running query is interrupted, so a signal still stops the run at once.
TEST_F(RunProgramTest, SignalStopsPausesQuestionsAndProgramWaits)
{
    ASSERT_TRUE(dir.isValid());
    {
        FlowFile f;
        f.add<IVRSleep>()->MaxLength = 1;
        f.save(path("sleep.svx"));
    }
    {
        FlowFile f;
        f.add<IVRPlay>();  // no file: fails and asks whether to go on
        f.save(path("question.svx"));
    }
    {
        FlowFile f;
        auto* program = f.add<IVRExecute>();
        program->link.constant = Value(QStringLiteral("sleep 30"));
        program->TimeOut = 60;
        f.save(path("program.svx"));
    }
    {
        writeFile("endless.db", {});  // an empty file is an empty database
        FlowFile f;
        auto d = std::make_unique<IVRDataBase>(&f.flow);
        IVRDataBase* definition = d.get();
        definition->Name = "endless";
        definition->ConnectionString = "Provider=SQLite;Data Source=" + path("endless.db");
        definition->CommandType = DataSet::CommandText;
        definition->CommandText = "WITH RECURSIVE c(x) AS (SELECT 1 UNION ALL SELECT x + 1 FROM c) SELECT count(*) FROM c";
        f.flow.tree().addLast(f.flow.VarRoot, std::move(d));
        f.flow.AddDataBase(definition);
        auto* open = f.add<IVRDBOperate>();
        open->link.LinkTo(definition);
        open->Operate = dbOpen;
        f.save(path("query.svx"));
    }
    struct Case {
        QStringList args;
        const char* marker;
        int signalNumber;
        int status;
    };
    const Case cases[] = {
        {{path("sleep.svx"), "--debug", "--step"}, "paused", SIGTERM, 143},
        {{path("question.svx"), "--debug"}, "[y/N]", SIGINT, 130},
        {{path("program.svx")}, "BeginPass() = 0", SIGTERM, 143},
        {{path("query.svx")}, "BeginPass() = 0", SIGINT, 130},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.marker);
        const RunResult r = run(c.args + QStringList{"--speed", "0"}, c.marker,
                                [&](QProcess& p) { signalAfter(p, c.signalNumber, 200); }, true);
        ASSERT_TRUE(r.finished) << r.out.toStdString();
        EXPECT_EQ(r.exitCode, c.status) << r.out.toStdString() << r.err.toStdString();
        EXPECT_FALSE(r.out.contains("Sleep(")) << "the paused statement ran: " << r.out.toStdString();
        EXPECT_TRUE(r.out.contains("-- end of pass 1")) << r.out.toStdString();
        EXPECT_TRUE(lastLine(r.out).contains("CloseChannel() = 0")) << r.out.toStdString();
    }
}

// --quiet drops the trace and the line operations; a failed statement shows on standard error in
// every mode, also when it fails before it reaches the line.
TEST_F(RunProgramTest, QuietRunShowsOnlyFailuresAndPassEnds)
{
    ASSERT_TRUE(dir.isValid());
    FlowFile f;
    f.add<IVRPlay>();  // no file: fails before the device
    f.add<IVRAnswer>();  // no call on the line: the device fails it
    f.add<IVRSleep>()->MaxLength = 1;
    f.save(path("fail.svx"));
    const QString play = f.flow.BeginRoot->firstChild()->statement()->GetNodeText();

    for (bool quiet : {false, true}) {
        SCOPED_TRACE(quiet ? "quiet" : "plain");
        QStringList args{path("fail.svx"), "--speed", "0", "--passes", "2"};
        if (quiet) args << "--quiet";
        const RunResult r = run(args);
        ASSERT_TRUE(r.finished);
        EXPECT_EQ(r.exitCode, 0) << r.err.toStdString();
        const QStringList errors = r.err.split('\n', Qt::SkipEmptyParts);
        ASSERT_EQ(errors.size(), 4) << r.err.toStdString();
        EXPECT_EQ(errors[0], "! " + play + " = 1 returnFAILED: NotEnoughParam");
        EXPECT_TRUE(errors[1].startsWith("! ") && errors[1].contains(" = 1 returnFAILED: ")) << r.err.toStdString();
        EXPECT_EQ(r.out.count("-- end of pass "), 2) << r.out.toStdString();
        EXPECT_EQ(r.out.contains("\n> "), !quiet) << r.out.toStdString();
        EXPECT_EQ(r.out.contains("Line 1: Sleep(true, 1) = 0"), !quiet) << r.out.toStdString();
    }
}

// A flow "file" that is no regular file is refused at once, with a message that names it.
TEST_F(RunProgramTest, FlowThatIsNoRegularFileIsRefused)
{
    ASSERT_TRUE(dir.isValid());
    const QString pipe = path("pipe.svx");
    ASSERT_EQ(::mkfifo(QFile::encodeName(pipe).constData(), 0600), 0);
    for (const QString& file : {pipe, QStringLiteral("/dev/zero"), QStringLiteral("/dev/urandom"), dir.path()}) {
        SCOPED_TRACE(file.toStdString());
        const RunResult r = run({file, "--speed", "0"});
        ASSERT_TRUE(r.finished);
        EXPECT_EQ(r.exitCode, 1);
        EXPECT_EQ(r.err, "File cann't be openned:  | " + file + ": not a regular file\n");
    }
}

// A date turned into text and read again, in the locale the program runs in: the C locale of a
// service (LANG=C, POSIX or unset) as well as a month-first, a day-first and a year-first one.
TEST_F(RunProgramTest, DatesWrittenAsTextReadBackInTheSystemLocale)
{
    ASSERT_TRUE(dir.isValid());
    FlowFile f;
    auto* x = f.add<IVRVariant>(f.flow.VarRoot);
    x->Name = "X";
    x->link.constant = Value("2024-01-07 10:30:15");
    auto toDate = [&](TDateOperateType op) {
        auto* s = f.add<IVRDateTime>();
        s->link.LinkTo(x);
        s->System = false;
        s->Operate = op;
    };
    auto write = [&] {
        auto* s = f.add<IVRTextFile>();
        s->link.constant = Value(path("out.txt"));
        s->WriteText.LinkTo(x);
    };
    toDate(dtDateTime);
    auto* toText = f.add<IVRString>();
    toText->link.LinkTo(x);
    toText->Operate = strToString;
    write();
    toDate(dtDay);
    write();
    f.save(path("dates.svx"));

    const struct {
        const char* lang;  // null: unset
        const char* text;
    } cases[] = {
        {"C.UTF-8", "01/07/2024 10:30:15"}, {"C", "01/07/2024 10:30:15"},          {"POSIX", "01/07/2024 10:30:15"},
        {nullptr, "01/07/2024 10:30:15"},   {"en_US.UTF-8", "1/7/2024 10:30:15 AM"}, {"de_DE.UTF-8", "07.01.2024 10:30:15"},
        {"zh_CN.UTF-8", "2024/1/7 10:30:15"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.lang ? c.lang : "LANG unset");
        QFile::remove(path("out.txt"));
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        for (const char* name : {"LC_ALL", "LC_TIME", "LC_NUMERIC", "LC_MESSAGES", "LANGUAGE", "LANG"}) env.remove(name);
        if (c.lang) env.insert("LANG", c.lang);
        env.insert("SORVIX_LANGUAGE", "en");
        QProcess p;
        p.setProcessEnvironment(env);
        p.start(QStringLiteral(SORVIX_RUN_PROGRAM), {path("dates.svx"), "--speed", "0", "--quiet"});
        ASSERT_TRUE(p.waitForFinished(20000));
        EXPECT_EQ(p.exitCode(), 0);
        EXPECT_EQ(QString::fromUtf8(p.readAllStandardError()), "");
        QFile out(path("out.txt"));
        ASSERT_TRUE(out.open(QIODevice::ReadOnly));
        EXPECT_EQ(QString::fromLatin1(out.readAll()), QLatin1String(c.text) + "\r\n7\r\n");
    }
}

// The gateway defaults to the device's gateway address, --gateway chooses another or none, and
// the channel options reach the device as the editor's debugger passes them.
TEST_F(RunProgramTest, GatewayAndChannelOptions)
{
    ASSERT_TRUE(dir.isValid());
    writeFile("gateway.json", R"({ "gateway": 1, "addresses": [
        { "name": "Line 1", "outbound": [ { "result": 0, "after_ms": 0, "hangup_ms": 100 } ] }, "Line 2", "Line 3" ] })");
    FlowFile f;
    f.add<IVRGateway>()->link.constant = Value("5550199");
    f.save(path("gateway.svx"));

    struct Case {
        QStringList options;
        QString open;     // the OpenChannel arguments
        QString gateway;  // how the call ended
        int status;
    };
    const Case cases[] = {
        {{}, "gateway=1, waveOut=-1, waveIn=-1, hook=1, transmitDtmf=0", "GatewayCall(\"5550199\", \"\", 1, 20, 0) = 0",
         0},
        {{"--gateway", "2", "--wave-out", "0", "--wave-in", "1", "--hook-mode", "speaker", "--transmit-dtmf"},
         "gateway=2, waveOut=0, waveIn=1, hook=4, transmitDtmf=-1", ") = 0 [far end hung up]", 0},
        {{"--gateway", "-1"}, "gateway=-1, waveOut=-1, waveIn=-1, hook=1, transmitDtmf=0", "[no gateway]", 0},
        {{"--gateway", "0"}, {}, {}, 2},                      // the channel's own address
        {{"--gateway", "-1", "--hook-mode", "speaker"}, {}, {}, 2},  // a sound path needs a gateway
        {{"--hook-mode", "loud"}, {}, {}, 2},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.options.join(' ').toStdString());
        const RunResult r = run(QStringList{path("gateway.svx"), "--scenario", path("gateway.json"), "--speed", "0"} + c.options);
        ASSERT_TRUE(r.finished);
        EXPECT_EQ(r.exitCode, c.status) << r.err.toStdString();
        if (c.status != 0) {
            EXPECT_TRUE(r.err.startsWith("sorvix-run: ")) << r.err.toStdString();
            continue;
        }
        EXPECT_TRUE(r.out.contains("OpenChannel(" + c.open + ") = 0")) << r.out.toStdString();
        EXPECT_TRUE(r.out.contains(c.gateway)) << r.out.toStdString();
        EXPECT_EQ(r.err.contains("no gateway") || r.err.contains("returnFAILED"), c.gateway == "[no gateway]")
            << r.err.toStdString();
    }
}

// The programs a run left running end with the run: when its passes are done, after a stop
// signal (SIGHUP as SIGTERM), and after a second signal that ends the runner at once. What they
// write goes nowhere, never into the runner's own output.
TEST_F(RunProgramTest, ProgramsLeftRunningEndWithTheRun)
{
    ASSERT_TRUE(dir.isValid());
    ASSERT_FALSE(dir.path().contains(u' '));  // the command line below is not quoted
    writeFile("program.sh", "#!/bin/sh\n"
                            "d=$(dirname \"$0\")\n"
                            "echo program-says-hello; echo program-complains >&2\n"
                            "sleep 300 & echo $! > \"$d/child.pid\"\n"
                            "echo $$ > \"$d/program.pid\"\n"
                            "exec sleep 300\n");
    // Waits until the program has written its process ids.
    writeFile("await.sh", "#!/bin/sh\n"
                          "while [ ! -s \"$(dirname \"$0\")/program.pid\" ]; do sleep 0.02; done\n");
    for (const char* script : {"program.sh", "await.sh"})
        ASSERT_TRUE(QFile::setPermissions(path(script), QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner));
    for (bool waitForCall : {false, true}) {
        FlowFile f;
        auto* program = f.add<IVRExecute>();
        program->link.constant = Value(path("program.sh"));
        program->TimeOut = 0;  // it runs on by itself
        auto* await = f.add<IVRExecute>();
        await->link.constant = Value(path("await.sh"));
        await->TimeOut = 30;
        if (waitForCall) f.add<IVRRing>();  // no call comes: only a signal ends the run
        f.save(path(waitForCall ? "ring.svx" : "once.svx"));
    }

    struct Case {
        const char* name;
        const char* flow;
        std::vector<int> signalNumbers;  // sent together once the programs run
        std::vector<int> statuses;
    };
    const Case cases[] = {
        {"passes done", "once.svx", {}, {0}},
        {"SIGHUP", "ring.svx", {SIGHUP}, {129}},
        {"SIGTERM", "ring.svx", {SIGTERM}, {143}},
        {"two signals", "ring.svx", {SIGTERM, SIGINT}, {130, 143}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        for (const char* name : {"program.pid", "child.pid"}) QFile::remove(path(name));
        // A second signal ends the process at once, its runner thread unjoined by design: the
        // thread sanitizer's exit check of unjoined threads has nothing to say about that.
        const QByteArray sanitizer = qgetenv("TSAN_OPTIONS");
        if (c.signalNumbers.size() > 1) qputenv("TSAN_OPTIONS", sanitizer + ":report_thread_leaks=0");
        std::vector<qint64> pids;
        const RunResult r = run({path(c.flow), "--speed", "1"}, c.signalNumbers.empty() ? "end of pass 1" : "BeginPass() = 0",
                                [&](QProcess& p) {
                                    for (const char* name : {"program.pid", "child.pid"}) {
                                        waitUntil([&] { return readPid(path(name)) > 0; }, 10000);
                                        pids.push_back(readPid(path(name)));
                                    }
                                    for (int s : c.signalNumbers) ::kill(pid_t(p.processId()), s);
                                });
        qputenv("TSAN_OPTIONS", sanitizer);
        ASSERT_TRUE(r.finished) << r.out.toStdString();
        EXPECT_NE(std::find(c.statuses.begin(), c.statuses.end(), r.exitCode), c.statuses.end())
            << r.exitCode << r.out.toStdString() << r.err.toStdString();
        ASSERT_EQ(pids.size(), 2u);
        for (qint64 pid : pids) {
            ASSERT_GT(pid, 0);
            EXPECT_TRUE(waitUntil([&] { return hasEnded(pid); }, 5000)) << "process " << pid << " left running";
        }
        EXPECT_FALSE(r.out.contains("program-")) << r.out.toStdString();
        EXPECT_FALSE(r.err.contains("program-")) << r.err.toStdString();
    }
}

// Every bad command line ends with status 2 and says why; an option that does nothing is said.
TEST_F(RunProgramTest, BadCommandLinesAndOptionsThatDoNothing)
{
    ASSERT_TRUE(dir.isValid());
    FlowFile f;
    f.add<IVRSleep>()->MaxLength = 1;
    f.save(path("sleep.svx"));
    const QString flow = path("sleep.svx");

    const QStringList bad[] = {
        {flow, "--bogus"},
        {flow, "--scenario"},  // the value is missing
        {flow, "--speed", "nan"},
        {flow, "--speed", "inf"},
        {flow, "--speed", "-1"},
        {flow, "--speed", "1e-300"},  // every wait would be endless
        {flow, "--passes", "x"},
        {},
        {flow, flow},
    };
    for (const QStringList& args : bad) {
        SCOPED_TRACE(args.join(' ').toStdString());
        const RunResult r = run(args);
        ASSERT_TRUE(r.finished);
        EXPECT_EQ(r.exitCode, 2) << r.err.toStdString();
        EXPECT_TRUE(r.err.startsWith("sorvix-run: ")) << r.err.toStdString();
        EXPECT_FALSE(r.out.contains("Running ")) << r.out.toStdString();
    }

    const struct {
        QStringList args;
        const char* said;
    } idle[] = {
        {{flow, "--step", "--speed", "0"}, "--step"},
        {{flow, "--debug", "--passes", "3", "--speed", "0"}, "--passes"},
    };
    for (const auto& c : idle) {
        SCOPED_TRACE(c.args.join(' ').toStdString());
        const RunResult r = run(c.args);
        ASSERT_TRUE(r.finished);
        EXPECT_EQ(r.exitCode, 0) << r.err.toStdString();
        EXPECT_TRUE(r.err.startsWith(QStringLiteral("sorvix-run: ") + c.said)) << r.err.toStdString();
        EXPECT_EQ(r.out.count("-- end of pass "), 1) << r.out.toStdString();
    }
    // Used as they should be, they are not mentioned.
    const RunResult plain = run({flow, "--debug", "--step", "--speed", "0"});
    EXPECT_EQ(plain.exitCode, 0);
    EXPECT_FALSE(plain.err.contains("sorvix-run: ")) << plain.err.toStdString();
}

// A scenario without lines cannot run a flow, and says so.
TEST_F(RunProgramTest, ScenarioWithoutAddressesIsSaid)
{
    ASSERT_TRUE(dir.isValid());
    FlowFile f;
    f.add<IVRSleep>()->MaxLength = 1;
    f.save(path("sleep.svx"));
    for (const char* json : {R"({ "speed": 0 })", R"({ "addresses": [] })"}) {
        SCOPED_TRACE(json);
        writeFile("empty.json", json);
        const RunResult r = run({path("sleep.svx"), "--scenario", path("empty.json")});
        ASSERT_TRUE(r.finished);
        EXPECT_EQ(r.exitCode, 1) << r.err.toStdString();
        EXPECT_TRUE(r.err.contains("no addresses")) << r.err.toStdString();
        EXPECT_TRUE(r.err.contains(path("empty.json"))) << r.err.toStdString();
    }
}
