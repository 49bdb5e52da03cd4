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
#include <list>
#include <vector>

#include "engine/device.h"
#include "engine/flow.h"
#include "engine/handover.h"
#include "engine/statements/declarations.h"
#include "engine/statements/line.h"
#include "engine/texts.h"
#include "engine/tsan.h"

namespace {

// The runners' stacks, kept in slabs of several and handed out again when their thread has ended.
// A stack the C library frees when its thread ends is unmapped there, and every unmapping stops
// each core that runs another runner of the process; thousands of runners ending at once spend
// seconds on that. A slab is unmapped as a whole once none of its stacks is in use. Each stack's
// lowest page is a guard against overflow. Used on the thread that starts and ends the runs.
class RunnerStacks {
public:
    static RunnerStacks& instance()
    {
        static RunnerStacks stacks;
        return stacks;
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

bool TIVRFlow::Run(bool debug, bool step, int addressIndex, int gatewayIndex, int waveOut, int waveIn, int hookMode,
                   int transmitDtmf)
{
    if (running_) {
        if (thread_) {
            thread_->setStep(step);
            thread_->resume();
        }
        return true;
    }
    running_ = true;
    stopReason_.clear();
    thread_ = new TFlowThread(this, addressIndex, debug, step, gatewayIndex, waveOut, waveIn, hookMode, transmitDtmf);
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

TFlowThread::TFlowThread(TIVRFlow* flow, int addressIndex, bool debug, bool step, int gatewayIndex,
                         int waveOutDevice, int waveInDevice, int hookMode, int transmitDtmf)
    : OwnerFlow(flow),
      AddressIndex(addressIndex),
      GatewayIndex(gatewayIndex),
      WaveOutDevice(waveOutDevice),
      WaveInDevice(waveInDevice),
      HookMode(hookMode),
      TransmitDTMF(transmitDtmf),
      debug_(debug),
      withView_(flow->hasView()),
      step_(step)
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
    pthread_setname_np(pthread_self(), "TFlowThread");
    runner->run();
    // The termination handler runs on the flow's (main) thread, after every hand-over posted
    // before it; it waits for this thread to end.
    runner->post([runner] { runner->ThreadTerminated(); });
    return nullptr;
}

int TFlowThread::hookValue(int hookMode)
{
    switch (hookMode) {
    case 1: return 4;
    case 2: return 8;
    default: return 1;
    }
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
    if (PauseEvent) PauseEvent->reset();
    for (IVRVariant* v = flow->FirstVariant; v; v = v->nextVariant) v->ResetValue();
    for (IVRDataBase* d = flow->FirstDataBase; d; d = d->nextDataBase) {
        QString error;
        d->PrepareDataSet(&error);
    }
    const std::shared_ptr<IIVRAddress> ch = channel();
    if (ch) ch->BeginPass();

    ExecContext ctx;
    ctx.channel = ch;
    ctx.flow = flow;
    ctx.stop = &terminate_;

    enum class Go { Descend, Next, Closing, EndPass };
    auto closing = [&](FlowNode*& node) -> Go {
        // Already in the closing part: go on there.
        if (node->topLevel() == flow->EndRoot) return Go::Next;
        node = flow->EndRoot;
        return Go::Descend;
    };

    while (n && !terminate_.load()) {
        TIVRBase* s = n->statement();
        const uint32_t f = n->typeSet();
        selectNode(n);
        if (flow->OnTrace) flow->OnTrace(n);

        if (debug_ && s->enabled() && !(f & (tfIfBranch | tfCaseArm)) && (s->breakPoint() || step_.load())) {
            if (flow->OnPause) flow->OnPause(true);
            const QString caption = s->GetNodeText();
            setNodeText(n, txt::RunMark + caption);
            PauseEvent->wait();
            setNodeText(n, caption);
            if (terminate_.load()) break;
        }

        Go go = Go::Next;
        // An If branch that is disabled is taken but empty when its condition selects it, so the
        // other branch does not run in its place.
        const bool ifBranch = (f & tfIfBranch) && !(f & tfCaseArm);
        if (!s->enabled() && !ifBranch) {
            go = Go::Next;
        } else if (f & tfFlowControl) {
            if (!s->WhetherDoIt(conditionValue_)) {
                go = Go::Next;
            } else if (n->hasChildren() && s->enabled()) {
                n = n->firstChild();
                continue;
            } else if (f & tfIfBranch && !(f & tfCaseArm)) {
                n = n->parent();
                go = Go::Next;
            } else if (f & tfCaseArm) {
                // A matching arm without children falls through to the next enabled arm that has
                // children. A Default ends the Switch, so neither an empty Default nor the arms
                // after one are ever entered this way.
                FlowNode* arm = (f & tfIfBranch) ? nullptr : n->nextSibling();
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
                    continue;
                }
                n = n->parent();
                go = Go::Next;
            }
        } else if (f & tfOperation) {
            QString result, error;
            int code = rcFailed;
            try {
                code = s->DoIt(ctx, result, error);
            } catch (...) {
                code = rcFailed;
            }
            if (!result.isEmpty() && flow->ResultVariant) flow->ResultVariant->setValue(Value(result));
            switch (code) {
            case rcSuccess:
                if (connects(n)) {
                    if (flow->OnConnect) flow->OnConnect(flow);
                }
                go = Go::Next;
                break;
            case rcFailed:
            case rcCallFailed:
                if (flow->OnFailure) flow->OnFailure(n, code, result, error);
                if (!debug_) {
                    go = Go::Next;
                } else if (!askContinue(error, s->GetTypeName())) {
                    go = Go::EndPass;
                } else {
                    go = code == rcFailed ? Go::Next : closing(n);
                }
                break;
            case rcHangUp: go = closing(n); break;
            case rcEndPass: go = Go::EndPass; break;
            default: go = Go::Next; break;
            }
        } else if (f & tfJump) {
            FlowNode* target = s->GetGotoNode();
            if (target == flow->BeginRoot) {
                go = Go::EndPass;
            } else if (!target) {
                go = Go::Next;
            } else if (target == flow->EndRoot) {
                go = closing(n);
            } else {
                n = target;
                continue;
            }
        }

        if (go == Go::EndPass) break;
        if (go == Go::Descend) continue;  // n is the End root
        // Next.
        while (n) {
            // The call flow goes on in the closing part and the closing part ends the pass,
            // whatever order the roots stand in.
            if (!n->parent()) {
                n = n == flow->BeginRoot ? flow->EndRoot : nullptr;
                break;
            }
            if (FlowNode* sib = n->nextSibling()) {
                n = sib;
                break;
            }
            FlowNode* p = n->parent();
            const uint32_t pf = p->typeSet();
            if (pf & tfWhile) {
                n = p;
                break;
            }
            if (pf & (tfIfBranch | tfCaseArm)) p = p->parent();
            n = p;
            if (!n) break;
        }
    }

    if (ch) {
        ch->EndPass();
        if (flow->OnHangUp) flow->OnHangUp(flow);
    }
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
    if (started_) pthread_join(handle_, nullptr);
    if (stack_) RunnerStacks::instance().give(stack_);
    delete this;
}
