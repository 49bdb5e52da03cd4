// Load and save times of generated flows of 1,000, 10,000 and 100,000 statements.
// "per_statement" is the time per statement: equal figures across sizes mean linear scaling.
#include <benchmark/benchmark.h>

#include <QCoreApplication>
#include <QTemporaryDir>
#include <memory>

#include "engine/flow.h"
#include "engine/flowfile.h"
#include "engine/statement.h"
#include "engine/statements/declarations.h"
#include "engine/texts.h"

namespace {

constexpr int kVariables = 20;
constexpr int kLabels = 5;

void set(TIVRBase& s, const char* property, const Value& v)
{
    if (const PropertyDesc* d = s.classInfo().findProperty(QLatin1String(property)); d && d->set) d->set(s, v);
}

// A statement of the class, or a block when the class is not registered.
std::unique_ptr<TIVRBase> make(TIVRFlow& flow, const char* className)
{
    TIVRBase* s = ClassRegistry::create(QLatin1String(className), &flow);
    return std::unique_ptr<TIVRBase>(s ? s : ClassRegistry::create(u"IVRBlock", &flow));
}

FlowNode* add(TIVRFlow& flow, FlowNode* parent, std::unique_ptr<TIVRBase> s)
{
    TIVRBase* raw = s.get();
    FlowNode* node = flow.tree().addLast(parent, std::move(s));
    if (raw->hasFlag(tfVariable)) flow.AddVariant(static_cast<IVRVariant*>(raw));
    if (raw->hasFlag(tfLabel)) flow.AddLabel(static_cast<IVRLabel*>(raw));
    return node;
}

// Declarations, then groups of seven statements under Begin: an If with its two branches holding
// a play and an operator, a jump and a commented block.
std::unique_ptr<TIVRFlow> generate(int statements)
{
    auto flow = std::make_unique<TIVRFlow>(nullptr, QString(), true);
    int count = 0;
    for (int i = 0; i < kVariables; ++i, ++count) {
        auto v = std::make_unique<IVRVariant>(flow.get());
        v->Name = QStringLiteral("Var%1").arg(i);
        v->link.constant = i % 2 ? Value(i) : Value(QStringLiteral("value %1").arg(i));
        add(*flow, flow->VarRoot, std::move(v));
    }
    for (int i = 0; i < kLabels; ++i, ++count) {
        auto l = std::make_unique<IVRLabel>(flow.get());
        l->Name = QStringLiteral("Label%1").arg(i);
        add(*flow, flow->BeginRoot, std::move(l));
    }
    for (int g = 0; count < statements; ++g) {
        const Value var(QStringLiteral("Var%1").arg(g % kVariables));
        auto cond = make(*flow, "IVRIf");
        set(*cond, "Condition", var);
        FlowNode* ifNode = add(*flow, flow->BeginRoot, std::move(cond));
        FlowNode* yes = add(*flow, ifNode, make(*flow, "IVRTrue"));
        FlowNode* no = add(*flow, ifNode, make(*flow, "IVRFalse"));
        auto play = make(*flow, "IVRPlay");
        set(*play, "Interruptible", Value(true));
        set(*play, "WavFile", Value(QStringLiteral("\"voice\\prompt%1.wav\"").arg(g)));
        add(*flow, yes, std::move(play));
        auto op = make(*flow, "IVROperator");
        set(*op, "Save", var);
        set(*op, "Operate", Value(1));
        set(*op, "Source", var);
        set(*op, "Dest", Value(1.5 + g));
        add(*flow, no, std::move(op));
        auto jump = make(*flow, "IVRGoto");
        set(*jump, "LabelName", Value(QStringLiteral("Label%1").arg(g % kLabels)));
        add(*flow, flow->BeginRoot, std::move(jump));
        auto block = make(*flow, "IVRBlock");
        block->Note = QStringLiteral("step %1: a note long enough to be cut over two lines of the flow file text").arg(g);
        block->setEnabled(false);
        add(*flow, flow->BeginRoot, std::move(block));
        count += 7;
    }
    for (FlowNode* n = flow->tree().first(); n; n = n->nextInTree()) n->statement()->BuildLink();
    return flow;
}

void report(benchmark::State& state, qsizetype bytes)
{
    state.counters["statements"] = double(state.range(0));
    state.counters["bytes"] = double(bytes);
    state.counters["per_statement"] =
        benchmark::Counter(double(state.range(0)), benchmark::Counter::kIsIterationInvariantRate | benchmark::Counter::kInvert);
}

void BM_Save(benchmark::State& state)
{
    QTemporaryDir dir;
    auto flow = generate(int(state.range(0)));
    flow->FileName = dir.filePath("flow.svx");
    QString error;
    for (auto _ : state) {
        if (!flow->SaveToFile(&error)) state.SkipWithError(error.toUtf8().constData());
    }
    report(state, flowfile::write(*flow).size());
}

void load(benchmark::State& state, bool debug)
{
    QTemporaryDir dir;
    const QString file = dir.filePath("flow.svx");
    QString error;
    qsizetype bytes = 0;
    {
        auto flow = generate(int(state.range(0)));
        flow->FileName = file;
        flow->SaveToFile(&error);
        bytes = flowfile::write(*flow).size();
    }
    for (auto _ : state) {
        auto flow = std::make_unique<TIVRFlow>(nullptr, file, debug, &error);
        if (!error.isEmpty()) state.SkipWithError(error.toUtf8().constData());
        state.PauseTiming();  // freeing the flow is not part of loading
        flow.reset();
        state.ResumeTiming();
    }
    report(state, bytes);
}

void BM_LoadEditor(benchmark::State& state) { load(state, true); }
void BM_LoadConsole(benchmark::State& state) { load(state, false); }

}  // namespace

BENCHMARK(BM_LoadEditor)->Arg(1000)->Arg(10000)->Arg(100000)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_LoadConsole)->Arg(1000)->Arg(10000)->Arg(100000)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_Save)->Arg(1000)->Arg(10000)->Arg(100000)->Unit(benchmark::kMillisecond)->UseRealTime();

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    setTextLanguage(false);
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
