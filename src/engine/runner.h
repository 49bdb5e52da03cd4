#pragma once

#include <QString>
#include <atomic>
#include <condition_variable>
#include <memory>
#include <mutex>
#include <pthread.h>

#include "engine/value.h"

class TIVRFlow;
class FlowNode;
class IIVRAddress;
struct ExecContext;
struct RunSettings;

// An auto-reset event: each signal releases one wait.
class AutoResetEvent {
public:
    void set();
    void reset();
    void wait();

private:
    std::mutex mutex_;
    std::condition_variable cv_;
    bool signalled_ = false;
};

// Runs one flow on one device address: pass after pass until stopped (one pass for a flow opened
// for debugging). Created by TIVRFlow::Run, stopped by TIVRFlow::Stop; frees itself when done.
//
// A plain thread without an event loop of its own: everything it hands to the main thread is a
// queued call to the flow, the termination handler last, so thousands of runners cost neither an
// event dispatcher each nor its wake-up file, and start and end without Qt's per-thread set-up.
class TFlowThread {
public:
    TFlowThread(TIVRFlow* flow, const RunSettings& settings);
    ~TFlowThread();
    TFlowThread(const TFlowThread&) = delete;
    TFlowThread& operator=(const TFlowThread&) = delete;

    // Starts the run. A thread that cannot be made ends the run at once: the termination handler
    // still runs, and the flow's stop reason says why.
    void start();

    void setStep(bool step) { step_.store(step); }
    bool step() const { return step_.load(); }
    bool debug() const { return debug_; }
    // Lets a paused debug run go on; does nothing for other runs.
    void resume();
    // On the main thread: ends the run and returns once the termination handler has run.
    void StopAndWait();
    // From any thread: ends the run after the statement or pass under way, without waiting.
    void requestStop();
    bool terminateRequested() const { return terminate_.load(); }

    // Has `count` runner threads made in the background, ready for runs started later (the set
    // only grows); runs started when none is ready get a thread of their own.
    static void reserveThreads(size_t count);
    // How many made-ahead threads wait for a run now.
    static size_t waitingThreads();

    // The stack each runner thread gets.
    static constexpr size_t kStackSize = 1024 * 1024;

    // Maps the hook-switch order (0 on hook, 1 speaker, 2 microphone and speaker) to the device value.
    static int hookValue(int hookMode);

private:
    friend class RunnerThreads;
    static void* entry(void* self);
    void run();
    void ThreadTerminated();
    // One pass of the walk, from the first statement to the end of the closing part.
    void pass();

    // The steps of a pass. Each statement leads into the node the walk now stands on (Enter),
    // past it to the next statement (Next), or out of the pass (EndPass).
    enum class Go { Enter, Next, EndPass };
    // Resets the variables and data sets; the channel the pass runs on, if any, begins its pass.
    std::shared_ptr<IIVRAddress> beginPass();
    void endPass(const std::shared_ptr<IIVRAddress>& ch);
    // In a debug run, waits at a breakpoint or step; false when the run was stopped meanwhile.
    bool pauseBefore(FlowNode* n);
    // Runs the statement at n (as its roles say) and says where the walk goes; may move n.
    Go execute(FlowNode*& n, ExecContext& ctx);
    // Blocks, If and its branches, Switch and its arms, While: entered when their condition holds.
    Go enterFlowControl(FlowNode*& n);
    // A Case that holds but has no statements: the Switch goes on in the next arm that has some.
    Go fallThrough(FlowNode*& n);
    // A line, voice or data operation, and what its result code makes of the walk.
    Go perform(FlowNode*& n, ExecContext& ctx);
    Go afterResult(FlowNode*& n, int code, const QString& result, const QString& error);
    // Goto and the jumps to the roots.
    Go jump(FlowNode*& n);
    // Into the closing part (the End root), or on in it when the walk is already there.
    Go closing(FlowNode*& n) const;
    // The statement after n: its next sibling, the loop it ends, or the next one up the tree.
    FlowNode* nextNode(FlowNode* n) const;

    // Hands work for the main thread over in order; dropped when the flow is gone.
    template <class F> void post(F&& f);
    void selectNode(FlowNode* node);
    void setNodeText(FlowNode* node, const QString& text);
    bool askContinue(const QString& errorText, const QString& typeName);
    std::shared_ptr<IIVRAddress> channel() const;

    TIVRFlow* OwnerFlow;
    int AddressIndex;
    int GatewayIndex;
    int WaveOutDevice;
    int WaveInDevice;
    int HookMode;
    int TransmitDTMF;
    bool debug_;
    bool withView_;
    std::atomic<bool> step_;
    std::atomic<bool> terminate_{false};
    std::unique_ptr<AutoResetEvent> PauseEvent;

    mutable std::mutex channelMutex_;
    std::shared_ptr<IIVRAddress> Channel;
    Value conditionValue_;
    bool terminatedHandled_ = false;
    pthread_t handle_{};
    bool started_ = false;
    // The run has a thread of its own, joined when it ends (else a made-ahead one, which waits
    // for the next run).
    bool ownThread_ = true;
    void* stack_ = nullptr;
    // Why the run ended by itself; written on the runner thread before it ends.
    QString stopReason_;
};
