#include "engine/runner.h"

#include <QCoreApplication>
#include <QEvent>
#include <QEventLoop>
#include <QPointer>

#include <sys/mman.h>
#include <sys/prctl.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <exception>
#include <functional>
#include <algorithm>
#include <list>
#include <utility>
#include <vector>

#include "engine/device.h"
#include "engine/flow.h"
#include "engine/handover.h"
#include "engine/statements/declarations.h"
#include "engine/statements/line.h"
#include "engine/texts.h"
#include "engine/tsan.h"
#include "engine/typedefine.h"

namespace {

// The runners' stacks, kept in slabs of several and handed out again when their thread has ended.
// A stack the C library frees when its thread ends is unmapped there, and every unmapping stops
// each core that runs another runner of the process; thousands of runners ending at once spend
// seconds on that. A slab is unmapped as a whole once none of its stacks is in use. Each stack's
// lowest page is a guard against overflow. Used on the thread that starts and ends the runs.
class RunnerStacks {
public:
    // Never destroyed: threads made ahead keep their stacks until the process ends.
    static RunnerStacks& instance()
    {
        static RunnerStacks* stacks = new RunnerStacks;
        return *stacks;
    }

    // The lowest usable address of a free stack of `usable` bytes; nullptr when none can be had.
    void* take(size_t* usable)
    {
        std::lock_guard lock(mutex_);
        *usable = kSlot - page_;
        Slab* slab = nullptr;
        for (Slab& s : slabs_)
            if (!s.free.empty()) slab = &s;
        if (!slab) slab = addSlab();
        if (!slab) return nullptr;
        char* slot = slab->free.back();
        slab->free.pop_back();
        return slot + page_;
    }

    void give(void* stack)
    {
        std::lock_guard lock(mutex_);
        char* slot = static_cast<char*>(stack) - page_;
        for (auto it = slabs_.begin(); it != slabs_.end(); ++it) {
            if (slot < it->base || slot >= it->base + kSlabBytes) continue;
            it->free.push_back(slot);
            if (it->free.size() == kPerSlab) {
                munmap(it->base, kSlabBytes);
                slabs_.erase(it);
            }
            return;
        }
    }

private:
    static constexpr size_t kSlot = TFlowThread::kStackSize;
    static constexpr size_t kPerSlab = 64;
    static constexpr size_t kSlabBytes = kSlot * kPerSlab;
    struct Slab {
        char* base;
        std::vector<char*> free;
    };

    RunnerStacks() : page_(size_t(sysconf(_SC_PAGESIZE))) {}

    Slab* addSlab()
    {
        void* base = mmap(nullptr, kSlabBytes, PROT_READ | PROT_WRITE,
                          MAP_PRIVATE | MAP_ANONYMOUS | MAP_NORESERVE | MAP_STACK, -1, 0);
        if (base == MAP_FAILED) return nullptr;
        Slab slab{static_cast<char*>(base), {}};
        slab.free.reserve(kPerSlab);
        for (size_t i = kPerSlab; i-- > 0;) {
            char* slot = slab.base + i * kSlot;
            if (mprotect(slot, page_, PROT_NONE) != 0) {
                munmap(base, kSlabBytes);
                return nullptr;
            }
            slab.free.push_back(slot);
        }
        slabs_.push_back(std::move(slab));
        return &slabs_.back();
    }

    const size_t page_;
    std::mutex mutex_;
    std::list<Slab> slabs_;
};

}  // namespace

// Runner threads made ahead of time, each waiting for a run and waiting again once it has ended:
// the kernel takes about a tenth of a millisecond to make a thread, so a program that starts
// thousands of channels at once (the console) has them made in the background beforehand, and
// the start of each run is a wake-up. The threads live as long as the process (the set only
// grows, to the largest count asked for) and keep their stacks; a run that finds no thread
// waiting gets one of its own, as before. Never destroyed: its threads outlive main().
class RunnerThreads {
public:
    static RunnerThreads& instance()
    {
        static RunnerThreads* threads = new RunnerThreads;
        return *threads;
    }

    // Grows the set to `count` threads, made on a few threads of their own.
    void reserve(size_t count)
    {
        std::lock_guard lock(mutex_);
        if (count <= target_) return;
        target_ = count;
        const size_t wanted = std::min<size_t>(kMakers, target_ - made_ - making_);
        for (size_t i = makers_; i < wanted; ++i) {
            pthread_t maker;
            pthread_attr_t attributes;
            pthread_attr_init(&attributes);
            pthread_attr_setdetachstate(&attributes, PTHREAD_CREATE_DETACHED);
            if (pthread_create(&maker, &attributes, &RunnerThreads::makerMain, this) == 0) ++makers_;
            pthread_attr_destroy(&attributes);
        }
    }

    // Gives the run to a waiting thread; false when none waits.
    bool hand(TFlowThread* runner)
    {
        Worker* worker = nullptr;
        {
            std::lock_guard lock(mutex_);
            if (idle_.empty()) return false;
            worker = idle_.back();
            idle_.pop_back();
        }
        std::lock_guard lock(worker->mutex);
        worker->run = runner;
        worker->wake.notify_one();
        return true;
    }

    size_t waiting()
    {
        std::lock_guard lock(mutex_);
        return idle_.size();
    }

private:
    static constexpr size_t kMakers = 4;
    struct Worker {
        std::mutex mutex;
        std::condition_variable wake;
        TFlowThread* run = nullptr;
    };

    static void* makerMain(void* self)
    {
        auto* threads = static_cast<RunnerThreads*>(self);
        pthread_setname_np(pthread_self(), "RunnerMaker");
        while (threads->makeOne()) {
        }
        return nullptr;
    }

    // Makes one more thread while fewer than asked for are made; false when done (or when the
    // system makes no more: the set then stays as it is, and runs get threads of their own).
    bool makeOne()
    {
        {
            std::lock_guard lock(mutex_);
            if (made_ + making_ >= target_) {
                --makers_;
                return false;
            }
            ++making_;
        }
        size_t usable = 0;
        void* stack = RunnerStacks::instance().take(&usable);
        auto* worker = new Worker;
        int result = stack ? 0 : ENOMEM;
        if (result == 0) {
            pthread_attr_t attributes;
            pthread_attr_init(&attributes);
            pthread_attr_setdetachstate(&attributes, PTHREAD_CREATE_DETACHED);
            pthread_attr_setstack(&attributes, stack, usable);
            pthread_t thread;
            result = pthread_create(&thread, &attributes, &RunnerThreads::workerMain, worker);
            pthread_attr_destroy(&attributes);
        }
        std::lock_guard lock(mutex_);
        --making_;
        if (result == 0) {
            ++made_;
            return true;
        }
        delete worker;
        if (stack) RunnerStacks::instance().give(stack);
        target_ = made_ + making_;
        --makers_;
        return false;
    }

    static void* workerMain(void* data)
    {
        auto* worker = static_cast<Worker*>(data);
        pthread_setname_np(pthread_self(), "TFlowThread");
        RunnerThreads& threads = instance();
        for (;;) {
            {
                std::lock_guard lock(threads.mutex_);
                threads.idle_.push_back(worker);
            }
            TFlowThread* runner = nullptr;
            {
                std::unique_lock lock(worker->mutex);
                worker->wake.wait(lock, [worker] { return worker->run != nullptr; });
                runner = std::exchange(worker->run, nullptr);
            }
            // Nothing of the runner is touched after this: its termination handler may free it.
            TFlowThread::entry(runner);
        }
    }

    std::mutex mutex_;
    std::vector<Worker*> idle_;
    size_t target_ = 0;
    size_t made_ = 0;
    size_t making_ = 0;
    size_t makers_ = 0;
};

namespace {

// Linux keeps the wait queues of a process's own futexes (every mutex and condition variable the
// runners wait on) in a table of its own, sized for a few waiters a core: with thousands of
// runners waiting, every wait and wake walks long chains. Asked once, the process uses the
// system's much larger table instead. Kernels without the setting ignore the request.
void useSystemFutexTable()
{
    constexpr int kFutexHash = 78;        // PR_FUTEX_HASH
    constexpr int kFutexHashSetSlots = 1;  // PR_FUTEX_HASH_SET_SLOTS; 0 slots: the system's table
    static const bool asked = [] {
        prctl(kFutexHash, kFutexHashSetSlots, 0, 0, 0);
        return true;
    }();
    (void)asked;
}

// A call, a gateway call or an answer that succeeded connects the line.
bool connects(const FlowNode* n)
{
    const ClassInfo* info = n->classInfo();
    return info == &IVRCall::info || info == &IVRGateway::info || info == &IVRAnswer::info;
}
}  // namespace

// ---- the auto-reset event ----

void AutoResetEvent::set()
{
    std::lock_guard lock(mutex_);
    signalled_ = true;
    cv_.notify_one();
}

void AutoResetEvent::reset()
{
    std::lock_guard lock(mutex_);
    signalled_ = false;
}

void AutoResetEvent::wait()
{
    std::unique_lock lock(mutex_);
    cv_.wait(lock, [this] { return signalled_; });
    signalled_ = false;
}

// ---- the flow's run control ----

bool TIVRFlow::Run(const RunSettings& settings)
{
    if (running_) {
        if (thread_) {
            thread_->setStep(settings.step);
            thread_->resume();
        }
        return true;
    }
    running_ = true;
    stopReason_.clear();
    thread_ = new TFlowThread(this, settings);
    thread_->start();  // a thread that could not be made ends the run through its termination handler
    return true;
}

bool TIVRFlow::Stop()
{
    if (!running_ || !thread_) return false;
    thread_->StopAndWait();
    return true;
}

// ---- the runner ----

TFlowThread::TFlowThread(TIVRFlow* flow, const RunSettings& settings)
    : OwnerFlow(flow),
      AddressIndex(settings.addressIndex),
      GatewayIndex(settings.gatewayIndex),
      WaveOutDevice(settings.waveOut),
      WaveInDevice(settings.waveIn),
      HookMode(settings.hookMode),
      TransmitDTMF(settings.transmitDtmf),
      debug_(settings.debug),
      withView_(flow->hasView()),
      step_(settings.step)
{
    if (debug_) PauseEvent = std::make_unique<AutoResetEvent>();
}

TFlowThread::~TFlowThread() = default;

void TFlowThread::start()
{
    // The walk keeps no stack of its own; 1 MiB (what a thread of the original platform got)
    // instead of the 8 MiB default lets thousands of runners share the address space, and a
    // system that commits memory strictly (vm.overcommit_memory=2) reserve an eighth as much.
    useSystemFutexTable();
    // Handed to a waiting thread before the hand-over, so the termination handler knows there
    // is no thread of its own to wait for.
    ownThread_ = false;
    if (RunnerThreads::instance().hand(this)) return;
    ownThread_ = true;
    size_t usable = 0;
    stack_ = RunnerStacks::instance().take(&usable);
    pthread_attr_t attributes;
    int result = stack_ ? pthread_attr_init(&attributes) : ENOMEM;
    if (result == 0) {
        result = pthread_attr_setstack(&attributes, stack_, usable);
        if (result == 0) result = pthread_create(&handle_, &attributes, &TFlowThread::entry, this);
        pthread_attr_destroy(&attributes);
    }
    started_ = result == 0;
    if (started_) return;
    if (stack_) RunnerStacks::instance().give(stack_);
    stack_ = nullptr;
    stopReason_ = QStringLiteral("the runner thread could not be started: ") + QString::fromLocal8Bit(strerror(result));
    post([this] { ThreadTerminated(); });
}

void* TFlowThread::entry(void* self)
{
    auto* runner = static_cast<TFlowThread*>(self);
    if (runner->ownThread_) pthread_setname_np(pthread_self(), "TFlowThread");
    runner->run();
    // The termination handler runs on the flow's (main) thread, after every hand-over posted
    // before it; it waits for this thread to end.
    runner->post([runner] { runner->ThreadTerminated(); });
    return nullptr;
}

void TFlowThread::reserveThreads(size_t count)
{
    RunnerThreads::instance().reserve(count);
}

size_t TFlowThread::waitingThreads()
{
    return RunnerThreads::instance().waiting();
}

int TFlowThread::hookValue(int hookMode)
{
    const int value = deviceHookSwitchMode(hookMode);
    return value != 0 ? value : HookMode::OnHook;
}

void TFlowThread::resume()
{
    if (PauseEvent) PauseEvent->set();
}

std::shared_ptr<IIVRAddress> TFlowThread::channel() const
{
    std::lock_guard lock(channelMutex_);
    return Channel;
}

void TFlowThread::requestStop()
{
    terminate_.store(true);
    if (auto ch = channel()) ch->Abort();
    // A database call never holds a stop: the running statement is cancelled through its driver.
    for (IVRDataBase* d = OwnerFlow->FirstDataBase; d; d = d->nextDataBase) d->CancelDataSet();
    if (PauseEvent) PauseEvent->set();
}

void TFlowThread::StopAndWait()
{
    requestStop();
    if (terminatedHandled_) return;
    // Keep serving the runner's hand-overs (and its termination handler) while waiting; the
    // handler clears the flow's thread reference.
    QPointer<TIVRFlow> flow(OwnerFlow);
    const TFlowThread* self = this;
    QEventLoop loop;
    while (flow && flow->thread_ == self)
        loop.processEvents(QEventLoop::ExcludeUserInputEvents | QEventLoop::WaitForMoreEvents);
}

bool TIVRFlow::event(QEvent* e)
{
    return runHandOver(e) || QObject::event(e);
}

// A runner's hand-overs go to its flow, so those still queued when the flow dies are dropped with it.
template <class F>
void TFlowThread::post(F&& f)
{
    // The flow is read before the hand-over: nothing of the runner is read once the work is
    // handed over, as the termination handler frees it.
    handOver(OwnerFlow, std::forward<F>(f));
}

void TFlowThread::selectNode(FlowNode* node)
{
    if (!withView_) return;
    TIVRFlow* flow = OwnerFlow;
    post([flow, node] { flow->tree().select(node); });
}

void TFlowThread::setNodeText(FlowNode* node, const QString& text)
{
    if (!withView_) return;
    TIVRFlow* flow = OwnerFlow;
    post([flow, node, text] { flow->tree().setText(node, text); });
}

bool TFlowThread::askContinue(const QString& errorText, const QString& typeName)
{
    if (terminate_.load()) return false;  // a run being stopped asks nothing
    const QString crlf2 = QStringLiteral("\r\n\r\n");
    const QString text = txt::ErrorContent + txt::Colon + crlf2 + errorText + crlf2 + txt::Continue;
    const QString caption = txt::Error + QLatin1Char(' ') + typeName;
    bool answer = false;
    TIVRFlow* flow = OwnerFlow;
    SORVIX_HANDOVER_SEND(flow);
    QMetaObject::invokeMethod(
        flow,
        [flow, &answer, text, caption] {
            SORVIX_HANDOVER_RECEIVE(flow);
            answer = flow->OnErrorQuestion && flow->OnErrorQuestion(text, caption);
            SORVIX_HANDOVER_SEND(&answer);
        },
        Qt::BlockingQueuedConnection);
    SORVIX_HANDOVER_RECEIVE(&answer);
    return answer && !terminate_.load();
}

void TFlowThread::run()
{
    const RunnerThreadScope runner(OwnerFlow);
    try {
        std::shared_ptr<IIVRAddress> opened;
        if (auto device = OwnerFlow->device()) {
            const int32_t result = device->OpenChannel(AddressIndex, opened, GatewayIndex, WaveOutDevice, WaveInDevice,
                                                       hookValue(HookMode), TransmitDTMF);
            if (!opened && !OwnerFlow->bDebug()) stopReason_ = device->OpenFailureText(AddressIndex, result);
        }
        {
            std::lock_guard lock(channelMutex_);
            Channel = opened;
        }
        // A stop that came while the channel was being opened: its abort is latched on the channel.
        if (opened && terminate_.load()) opened->Abort();
        while (!terminate_.load()) {
            pass();
            if (OwnerFlow->bDebug()) terminate_.store(true);
            // Without a channel nothing waits for calls: end after one pass instead of spinning.
            if (!channel()) terminate_.store(true);
        }
    } catch (const std::exception& e) {
        // An escaping error ends the run; the termination handler still runs.
        if (!terminate_.load()) stopReason_ = QString::fromLocal8Bit(e.what());
    } catch (...) {
        if (!terminate_.load()) stopReason_ = QStringLiteral("unexpected error");
    }
    // Database connections belong to the thread that opened them: let go of them here, before
    // the thread ends. The termination handler only closes the data sets.
    for (IVRDataBase* d = OwnerFlow->FirstDataBase; d; d = d->nextDataBase) d->ReleaseDataSet();
}

void TFlowThread::pass()
{
    TIVRFlow* flow = OwnerFlow;
    if (!flow->BeginRoot || !flow->EndRoot) return;
    FlowNode* n = flow->BeginRoot->firstChild();
    if (!n) n = flow->EndRoot;
    const std::shared_ptr<IIVRAddress> ch = beginPass();

    ExecContext ctx;
    ctx.channel = ch;
    ctx.flow = flow;
    ctx.stop = &terminate_;

    while (n && !terminate_.load()) {
        selectNode(n);
        if (flow->OnTrace) flow->OnTrace(n);
        if (!pauseBefore(n)) break;
        const Go go = execute(n, ctx);
        if (go == Go::EndPass) break;
        if (go == Go::Next) n = nextNode(n);
    }

    endPass(ch);
}

std::shared_ptr<IIVRAddress> TFlowThread::beginPass()
{
    TIVRFlow* flow = OwnerFlow;
    if (PauseEvent) PauseEvent->reset();
    for (IVRVariant* v = flow->FirstVariant; v; v = v->nextVariant) v->ResetValue();
    for (IVRDataBase* d = flow->FirstDataBase; d; d = d->nextDataBase) {
        QString error;
        d->PrepareDataSet(&error);
    }
    std::shared_ptr<IIVRAddress> ch = channel();
    if (ch) ch->BeginPass();
    return ch;
}

void TFlowThread::endPass(const std::shared_ptr<IIVRAddress>& ch)
{
    if (!ch) return;
    ch->EndPass();
    if (OwnerFlow->OnHangUp) OwnerFlow->OnHangUp(OwnerFlow);
}

bool TFlowThread::pauseBefore(FlowNode* n)
{
    const TIVRBase* s = n->statement();
    const bool pause = debug_ && s->enabled() && !(n->typeSet() & (tfIfBranch | tfCaseArm)) &&
                       (s->breakPoint() || step_.load());
    if (!pause) return true;
    if (OwnerFlow->OnPause) OwnerFlow->OnPause(true);
    const QString caption = s->GetNodeText();
    setNodeText(n, txt::RunMark + caption);
    PauseEvent->wait();
    setNodeText(n, caption);
    return !terminate_.load();
}

TFlowThread::Go TFlowThread::execute(FlowNode*& n, ExecContext& ctx)
{
    const uint32_t f = n->typeSet();
    // An If branch that is disabled is taken but empty when its condition selects it, so the
    // other branch does not run in its place.
    const bool ifBranch = (f & tfIfBranch) && !(f & tfCaseArm);
    if (!n->statement()->enabled() && !ifBranch) return Go::Next;
    if (f & tfFlowControl) return enterFlowControl(n);
    if (f & tfOperation) return perform(n, ctx);
    if (f & tfJump) return jump(n);
    return Go::Next;
}

TFlowThread::Go TFlowThread::enterFlowControl(FlowNode*& n)
{
    TIVRBase* s = n->statement();
    const uint32_t f = n->typeSet();
    if (!s->WhetherDoIt(conditionValue_)) return Go::Next;
    if (n->hasChildren() && s->enabled()) {
        n = n->firstChild();
        return Go::Enter;
    }
    if (f & tfIfBranch && !(f & tfCaseArm)) {
        n = n->parent();
        return Go::Next;
    }
    if (f & tfCaseArm) return fallThrough(n);
    return Go::Next;
}

TFlowThread::Go TFlowThread::fallThrough(FlowNode*& n)
{
    // A matching arm without children falls through to the next enabled arm that has children.
    // A Default ends the Switch, so neither an empty Default nor the arms after one are ever
    // entered this way.
    FlowNode* arm = (n->typeSet() & tfIfBranch) ? nullptr : n->nextSibling();
    while (arm) {
        const TIVRBase* a = arm->statement();
        if (a->enabled()) {
            if (arm->hasChildren()) break;
            if (arm->typeSet() & tfIfBranch) {
                arm = nullptr;
                break;
            }
        }
        arm = arm->nextSibling();
    }
    if (arm) {
        n = arm->firstChild();
        return Go::Enter;
    }
    n = n->parent();
    return Go::Next;
}

TFlowThread::Go TFlowThread::perform(FlowNode*& n, ExecContext& ctx)
{
    TIVRFlow* flow = OwnerFlow;
    QString result, error;
    int code = rcFailed;
    try {
        code = n->statement()->DoIt(ctx, result, error);
    } catch (...) {
        code = rcFailed;
    }
    if (!result.isEmpty() && flow->ResultVariant) flow->ResultVariant->setValue(Value(result));
    return afterResult(n, code, result, error);
}

TFlowThread::Go TFlowThread::afterResult(FlowNode*& n, int code, const QString& result, const QString& error)
{
    TIVRFlow* flow = OwnerFlow;
    switch (code) {
    case rcSuccess:
        if (connects(n)) {
            if (flow->OnConnect) flow->OnConnect(flow);
        }
        return Go::Next;
    case rcFailed:
    case rcCallFailed:
        if (flow->OnFailure) flow->OnFailure(n, code, result, error);
        if (!debug_) return Go::Next;
        if (!askContinue(error, n->statement()->GetTypeName())) return Go::EndPass;
        return code == rcFailed ? Go::Next : closing(n);
    case rcHangUp: return closing(n);
    case rcEndPass: return Go::EndPass;
    default: return Go::Next;
    }
}

TFlowThread::Go TFlowThread::jump(FlowNode*& n)
{
    TIVRFlow* flow = OwnerFlow;
    FlowNode* target = n->statement()->GetGotoNode();
    if (target == flow->BeginRoot) return Go::EndPass;
    if (!target) return Go::Next;
    if (target == flow->EndRoot) return closing(n);
    n = target;
    return Go::Enter;
}

TFlowThread::Go TFlowThread::closing(FlowNode*& n) const
{
    // Already in the closing part: go on there.
    if (n->topLevel() == OwnerFlow->EndRoot) return Go::Next;
    n = OwnerFlow->EndRoot;
    return Go::Enter;
}

FlowNode* TFlowThread::nextNode(FlowNode* n) const
{
    while (n) {
        // The call flow goes on in the closing part and the closing part ends the pass,
        // whatever order the roots stand in.
        if (!n->parent()) return n == OwnerFlow->BeginRoot ? OwnerFlow->EndRoot : nullptr;
        if (FlowNode* sib = n->nextSibling()) return sib;
        FlowNode* p = n->parent();
        const uint32_t pf = p->typeSet();
        if (pf & tfWhile) return p;
        if (pf & (tfIfBranch | tfCaseArm)) p = p->parent();
        n = p;
    }
    return nullptr;
}

void TFlowThread::ThreadTerminated()
{
    if (terminatedHandled_) return;
    terminatedHandled_ = true;
    TIVRFlow* flow = OwnerFlow;
    std::shared_ptr<IIVRAddress> ch;
    {
        std::lock_guard lock(channelMutex_);
        ch = std::move(Channel);
    }
    if (auto device = flow->device()) device->CloseChannel(AddressIndex, ch);
    ch.reset();
    flow->running_ = false;
    flow->thread_ = nullptr;
    flow->stopReason_ = stopReason_;
    if (flow->OnFinish) flow->OnFinish();
    for (IVRDataBase* d = flow->FirstDataBase; d; d = d->nextDataBase) d->CloseDataSet();
    if (ownThread_) {
        if (started_) pthread_join(handle_, nullptr);
        if (stack_) RunnerStacks::instance().give(stack_);
    }
    delete this;
}
