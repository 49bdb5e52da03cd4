// The walk against Lua 5.4, side by side in one run: a While loop of N turns (1,000,000 unless
// --turns=N says otherwise) with an add and a compare per turn, 3N + 1 statements, timed
//   - as the whole sorvix-run process with --quiet (when this build's sorvix-run has it),
//   - in this process (the runner thread alone, from Run to OnFinish),
//   - as the whole `lua5.4` process running the same loop on a table of variables,
// and the ratios to Lua. The figures are wall-clock seconds, the best of --repeat=R runs (3).

#include "args.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QFile>
#include <QProcess>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <algorithm>
#include <cstdio>
#include <cstring>
#include <memory>
#include <optional>

#include "engine/flow.h"
#include "engine/runner.h"
#include "engine/statements/declarations.h"
#include "engine/statements/flowcontrol.h"
#include "engine/statements/variables.h"
#include "engine/texts.h"

namespace {

struct LoopFlow {
    std::unique_ptr<TIVRFlow> flow;
    IVRVariant* counter = nullptr;
};

// i := 0, c := true; While c { i := i + 1; c := i < turns }
LoopFlow makeFlow(int turns)
{
    LoopFlow lf;
    lf.flow = std::make_unique<TIVRFlow>(nullptr, QString(), false);
    TIVRFlow* flow = lf.flow.get();
    auto declare = [&](const char* name, Value initial) {
        auto var = std::make_unique<IVRVariant>(flow);
        IVRVariant* v = var.get();
        v->Name = QString::fromLatin1(name);
        v->link.constant = initial;
        flow->AddVariant(v);
        flow->tree().addLast(flow->VarRoot, std::move(var));
        return v;
    };
    IVRVariant* i = declare("i", Value(0));
    IVRVariant* c = declare("c", Value(true));
    lf.counter = i;

    auto loop = std::make_unique<IVRWhile>(flow);
    IVRWhile* w = loop.get();
    w->link.LinkTo(c);
    flow->tree().addLast(flow->BeginRoot, std::move(loop));
    auto add = std::make_unique<IVROperator>(flow);
    add->link.LinkTo(i);
    add->Operate = optAdd;
    add->Dest.LinkTo(i);
    add->Source.constant = Value(1);
    flow->tree().addLast(w->node(), std::move(add));
    auto compare = std::make_unique<IVROperator>(flow);
    compare->link.LinkTo(c);
    compare->Operate = optLess;
    compare->Dest.LinkTo(i);
    compare->Source.constant = Value(turns);
    flow->tree().addLast(w->node(), std::move(compare));
    return lf;
}

// Seconds for one walk of the flow on the runner thread, without a device (one pass).
std::optional<double> walkInProcess(int turns)
{
    LoopFlow lf = makeFlow(turns);
    QEventLoop loop;
    lf.flow->OnFinish = [&] { loop.quit(); };
    QElapsedTimer clock;
    clock.start();
    lf.flow->Run({});
    loop.exec();
    const double s = double(clock.nsecsElapsed()) / 1e9;
    int32_t done = 0;
    if (!lf.counter->value().toInt32(&done) || done != turns) {
        std::fprintf(stderr, "walk_bench: the loop ended at %d, not %d\n", done, turns);
        return std::nullopt;
    }
    return s;
}

// Seconds for a whole process; nothing when it fails.
std::optional<double> timeProcess(const QString& program, const QStringList& args)
{
    QProcess p;
    p.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    p.setStandardOutputFile(QProcess::nullDevice());
    QElapsedTimer clock;
    clock.start();
    p.start(program, args);
    if (!p.waitForStarted(10000) || !p.waitForFinished(600000)) return std::nullopt;
    const double s = double(clock.nsecsElapsed()) / 1e9;
    if (p.exitStatus() != QProcess::NormalExit || p.exitCode() != 0) {
        std::fprintf(stderr, "walk_bench: %s ended with status %d\n", qPrintable(program), p.exitCode());
        return std::nullopt;
    }
    return s;
}

bool runnerHasQuiet(const QString& runner)
{
    QProcess p;
    p.start(runner, {QStringLiteral("--help")});
    if (!p.waitForFinished(10000)) return false;
    return p.readAllStandardOutput().contains("--quiet");
}

template <class F>
std::optional<double> best(int repeat, F&& f)
{
    std::optional<double> b;
    for (int r = 0; r < repeat; ++r) {
        const std::optional<double> s = f();
        if (!s) return std::nullopt;
        b = b ? std::min(*b, *s) : *s;
    }
    return b;
}

}  // namespace

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    setTextLanguage(false);
    const int turns = argValue(argc, argv, "--turns", 1000000);
    const int repeat = std::max(1, argValue(argc, argv, "--repeat", 3));
    if (turns < 1) {
        std::fputs("walk_bench: --turns needs a number of 1 or more\n", stderr);
        return 2;
    }
    QTemporaryDir dir;
    if (!dir.isValid()) return 1;

    const QString luaFile = dir.filePath(QStringLiteral("loop.lua"));
    {
        QFile f(luaFile);
        if (!f.open(QIODevice::WriteOnly)) return 1;
        f.write("local n = tonumber(arg[1])\n"
                "local v = { i = 0, c = true }\n"
                "while v.c do\n"
                "  v.i = v.i + 1\n"
                "  v.c = v.i < n\n"
                "end\n"
                "if v.i ~= n then error('the loop ended at ' .. v.i) end\n");
    }
    const QString flowFile = dir.filePath(QStringLiteral("loop.svx"));
    {
        QString error;
        if (!makeFlow(turns).flow->SaveAs(flowFile, &error)) {
            std::fprintf(stderr, "walk_bench: %s\n", qPrintable(error));
            return 1;
        }
    }

    std::printf("While loop of %d turns, %lld statements; best of %d runs\n", turns,
                3LL * turns + 1, repeat);
    const std::optional<double> walk = best(repeat, [&] { return walkInProcess(turns); });
    if (!walk) return 1;

    const QString lua = QStandardPaths::findExecutable(QStringLiteral("lua5.4"));
    std::optional<double> luaSeconds;
    if (lua.isEmpty())
        std::puts("lua5.4 not found (scripts/install-deps.sh installs it)");
    else
        luaSeconds = best(repeat, [&] { return timeProcess(lua, {luaFile, QString::number(turns)}); });

    const QString runner = QStringLiteral(SORVIX_RUN_PROGRAM);
    std::optional<double> process;
    if (!runnerHasQuiet(runner)) {
        std::puts("sorvix-run has no --quiet here: only the walk in this process is timed");
    } else {
        const QStringList args{QStringLiteral("--quiet"), QStringLiteral("--speed"), QStringLiteral("0"), flowFile};
        process = best(repeat, [&] { return timeProcess(runner, args); });
        if (!process) return 1;
    }

    auto ratio = [&](double s) { return luaSeconds && *luaSeconds > 0 ? s / *luaSeconds : 0.0; };
    if (process) std::printf("sorvix-run --quiet  %8.3f s   %6.2fx lua\n", *process, ratio(*process));
    std::printf("walk in process     %8.3f s   %6.2fx lua\n", *walk, ratio(*walk));
    if (luaSeconds) std::printf("lua5.4              %8.3f s\n", *luaSeconds);
    if (luaSeconds) std::printf("ratio %.2f\n", ratio(process ? *process : *walk));
    return luaSeconds || lua.isEmpty() ? 0 : 1;
}
