#pragma once
// Worker threads whose events reach the window thread in order.
//
// TauEventThread is one system thread that runs one work routine once.
// TauCustomThread owns one TauEventThread at a time and makes a fresh one for
// every run. A worker reaches the window thread only through Synchronize: the
// call is queued to the process's dispatcher on the window thread and the
// worker blocks until it has run there, so handlers run in order and may
// answer through the values they change.
//
// "Window thread" is the thread of the QCoreApplication; one must exist
// before the first worker is created.

#include "http/auComponent.h"

#include <atomic>
#include <cstdint>
#include <exception>
#include <functional>
#include <memory>
#include <mutex>
#include <thread>

enum TThreadPriority { tpIdle, tpLowest, tpLower, tpNormal, tpHigher, tpHighest, tpTimeCritical };

class TauCustomThread;

using TThreadMethod = std::function<void()>;
using TNotifyThreadEvent = std::function<void(TauCustomThread& Sender)>;

class TauEventThread : public std::enable_shared_from_this<TauEventThread> {
public:
    // A new suspended worker of owner; it holds one share of the dispatcher.
    static std::shared_ptr<TauEventThread> Create(TauCustomThread& owner);
    ~TauEventThread();
    TauEventThread(const TauEventThread&) = delete;
    TauEventThread& operator=(const TauEventThread&) = delete;

    // The worker whose routine runs on the calling thread, or nullptr.
    static TauEventThread* Current();

    // Worker thread: runs call on the window thread and returns once it has.
    // An exception of call is raised again here only when the owner's
    // CatchExceptions is false. Returns at once, running nothing, when the
    // worker has been discarded (Kill) or its owner is being destroyed.
    void Synchronize(const TThreadMethod& call);

    // Worker thread: runs fn while this worker still belongs to its
    // component; Kill waits until fn has returned. Returns false, without
    // running fn, once the worker has been discarded. fn must be short and
    // must not call Synchronize.
    bool WithOwner(const std::function<void()>& fn);

    void Suspend();
    void Resume();
    void Terminate() { FTerminated = true; }
    // Returns the thread's exit code. On the window thread the wait keeps
    // running the calls that workers synchronize meanwhile.
    int WaitFor();

    TThreadPriority Priority() const;
    void SetPriority(TThreadPriority priority);

    // A fresh suspended worker for the same owner, with this one's priority
    // and events.
    std::shared_ptr<TauEventThread> Recreate();
    // Discards this worker at once and returns its replacement. The
    // discarded thread makes no further marshalled call, raises no event and
    // touches nothing of its component; it frees what it holds when its
    // routine returns.
    std::shared_ptr<TauEventThread> Kill();

    bool Terminated() const { return FTerminated; }
    bool Suspended() const { return FSuspended; }
    bool Running() const { return FRunning; }
    bool Discarded() const { return FDiscarded; }
    bool FreeOnTerminate() const { return FFreeOnTerminate; }
    void SetFreeOnTerminate(bool value) { FFreeOnTerminate = value; }
    int ReturnValue() const { return FReturnValue; }
    void SetReturnValue(int value) { FReturnValue = value; }
    std::thread::id ThreadId() const;
    TauCustomThread& Owner() const { return *FOwner; }

    TNotifyThreadEvent OnExecute;
    std::function<void()> OnError;
    TNotifyThreadEvent OnFinish;

private:
    explicit TauEventThread(TauCustomThread& owner);
    struct TImpl;
    std::unique_ptr<TImpl> FImpl;
    TauCustomThread* FOwner;
    std::atomic<bool> FTerminated{false};
    std::atomic<bool> FSuspended{true};
    std::atomic<bool> FFreeOnTerminate{false};
    std::atomic<bool> FRunning{false};
    std::atomic<bool> FDiscarded{false};
    std::atomic<int> FReturnValue{0};
};

class TauCustomThread : public TComponent {
public:
    explicit TauCustomThread(TComponent* owner = nullptr);
    ~TauCustomThread() override;

    // Applies Suspended: false starts the worker at once.
    void Loaded() override;

    // Discards the current worker (never started, running, or delivering its
    // finish event) and starts a fresh one. Returns true unless a waiting
    // start (WaitUntilDone) timed out.
    bool Start();
    void Suspend();
    // From the work routine: runs call on the window thread (skipped while
    // the owner is being destroyed).
    void Synchronize(const TThreadMethod& call);
    void Terminate(bool Immediately);

    TThreadPriority Priority() const;
    void SetPriority(TThreadPriority priority);
    bool Running() const;
    TauEventThread& Worker() const { return *FWorker; }

    bool Suspended() const { return FSuspended; }
    void SetSuspended(bool value) { FSuspended = value; }
    bool CatchExceptions() const { return FCatchExceptions; }
    void SetCatchExceptions(bool value) { FCatchExceptions = value; }
    bool FreeOwnerWhenDone() const { return FFreeOwnerWhenDone; }
    void SetFreeOwnerWhenDone(bool value) { FFreeOwnerWhenDone = value; }
    bool WaitUntilDone() const { return FWaitUntilDone; }
    void SetWaitUntilDone(bool value) { FWaitUntilDone = value; }
    std::uint32_t WaitTimeout() const { return FWaitTimeout; }
    void SetWaitTimeout(std::uint32_t ms) { FWaitTimeout = ms; }

    // The events live in the current worker and are copied to each
    // replacement.
    void SetOnExecute(TNotifyThreadEvent handler);
    void SetOnError(std::function<void()> handler);
    void SetOnFinish(TNotifyThreadEvent handler);
    TNotifyThreadEvent OnWaitTimeout;

private:
    std::shared_ptr<TauEventThread> FWorker;
    bool FSuspended = true;
    std::atomic<bool> FCatchExceptions{true};
    std::atomic<bool> FFreeOwnerWhenDone{false};
    bool FWaitUntilDone = false;
    std::uint32_t FWaitTimeout = 0;
};
