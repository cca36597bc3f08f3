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
// before the first worker is created. The component and the worker's
// controls (Start, Terminate, Suspend, Resume, Kill, the setters) are used
// from the window thread.
//
// Writing a work routine (OnExecute)
// ----------------------------------
// The routine runs on the worker thread and may be discarded at any moment:
// by Start or Terminate(true), or by the destruction of its component. Once
// discarded, the component, its owner and all they own may already be gone,
// while the routine goes on until it returns. So the routine:
//   - takes its worker once, `TauEventThread& self = *TauEventThread::Current();`,
//     and does not use Sender on its own;
//   - reaches the window thread only through `self.Synchronize(call)`. The
//     call runs on the window thread while the component is alive, so inside
//     it the component and its owner may be used freely. Once the worker is
//     discarded, Synchronize returns at once without running call;
//   - reads or writes the component from the worker thread only inside
//     `self.WithOwner(fn)`: fn runs only while the worker is not discarded,
//     and a discard waits until fn has returned. fn must be short and must not
//     call Synchronize or wait for the window thread;
//   - after every Synchronize and every wait of its own, checks
//     `self.Discarded()` (or what WithOwner returned) and then returns at
//     once, touching nothing of the component on the way out;
//   - keeps what it works on in locals, or in objects it shares with the
//     component through std::shared_ptr, so that they are freed when the last
//     side lets go.
// For example:
//     TauEventThread& self = *TauEventThread::Current();
//     std::string url;
//     if (!self.WithOwner([&] { url = FURL; }))
//         return;
//     ... blocking work on locals ...
//     self.Synchronize([&] { if (OnHeaderInfo) OnHeaderInfo(*this, ...); });
//     if (self.Discarded())
//         return;
// A run started from inside OnFinish begins at once, while the rest of that
// handler still runs on the window thread: a routine that must not overlap
// it makes its first use of state the handler releases inside Synchronize,
// which runs only after the handler has returned.

#include "http/auComponent.h"
#include "platform/ThreadPriority.h"

#include <atomic>
#include <cstdint>
#include <exception>
#include <functional>
#include <memory>
#include <mutex>
#include <thread>

class TauCustomThread;

using TThreadMethod = std::function<void()>;
using TNotifyThreadEvent = std::function<void(TauCustomThread& Sender)>;

class TauEventThread : public std::enable_shared_from_this<TauEventThread> {
public:
    // A new suspended worker of owner; it holds one share of the dispatcher.
    // Its system thread is made only when it is first resumed.
    static std::shared_ptr<TauEventThread> Create(TauCustomThread& owner);
    ~TauEventThread();
    TauEventThread(const TauEventThread&) = delete;
    TauEventThread& operator=(const TauEventThread&) = delete;

    // The worker whose routine runs on the calling thread, or nullptr.
    static TauEventThread* Current();

    // Worker thread: runs call on the window thread and returns once it has.
    // An exception of call is raised again here only when the owner's
    // CatchExceptions is false. Runs nothing while the owner is being
    // destroyed, and returns at once, running nothing, once the worker has
    // been discarded (Kill); a call queued but not yet running then is
    // dropped. A suspended worker waits here until it is resumed.
    void Synchronize(const TThreadMethod& call);

    // Worker thread: runs fn while this worker still belongs to its
    // component; Kill waits until fn has returned. Returns false, without
    // running fn, once the worker has been discarded. fn must be short and
    // must not call Synchronize.
    bool WithOwner(const std::function<void()>& fn);

    // Linux cannot stop another thread where it stands: Suspend counts, and a
    // running worker stops at its next Synchronize until resumed as often.
    // Resume of a never-started worker starts its thread (and throws
    // std::system_error, leaving it suspended, when the system cannot).
    void Suspend();
    void Resume();
    void Terminate() { FTerminated = true; }
    // Returns the thread's exit code. On the window thread the wait keeps
    // running the calls that workers synchronize meanwhile. Returns at once
    // for a worker that was never started, and on the worker's own thread.
    int WaitFor();

    // Before the thread runs, and after it has ended, this is the priority
    // asked for (or last in force); while it runs, the one the system keeps,
    // which stays unchanged where raising it needs privileges.
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
    // The worker is shared between its component and its own thread, which
    // always lets go of it when it ends; the flag is kept for those who read
    // it (the component sets it with FreeOwnerWhenDone).
    bool FreeOnTerminate() const { return FFreeOnTerminate; }
    void SetFreeOnTerminate(bool value) { FFreeOnTerminate = value; }
    int ReturnValue() const { return FReturnValue; }
    void SetReturnValue(int value) { FReturnValue = value; }
    // The id of the system thread; the default id before it has started.
    std::thread::id ThreadId() const;
    // Not to be used from the worker thread once Discarded.
    TauCustomThread& Owner() const { return *FOwner; }

    // Set on the window thread, where OnError and OnFinish are read; the
    // thread takes its copy of OnExecute when it starts, and whether
    // OnFinish is set then decides whether its run ends with a finish event
    // at all.
    TNotifyThreadEvent OnExecute;
    std::function<void()> OnError;
    TNotifyThreadEvent OnFinish;

private:
    friend class TauCustomThread;
    explicit TauEventThread(TauCustomThread& owner);
    struct TSyncRun;
    static void Body(std::shared_ptr<TauEventThread> self, TNotifyThreadEvent routine, bool finish);
    void RunSynchronized(TSyncRun& run);
    std::exception_ptr Execute(const TNotifyThreadEvent& routine);
    void Finish();
    void RunOnError();
    // Marks the worker discarded (its queued calls are then completed unrun)
    // and lets it go.
    void Discard();
    bool Ended() const;

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
    // A worker still going is discarded: no event follows, and its thread
    // ends on its own later.
    ~TauCustomThread() override;

    // Applies Suspended: false starts the worker at once.
    void Loaded() override;

    // Discards the current worker (never started, running, or delivering its
    // finish event) and starts a fresh one. Returns true unless a waiting
    // start (WaitUntilDone) timed out. A waiting start runs the window
    // thread's events meanwhile.
    bool Start();
    void Suspend();
    // From the work routine: runs call on the window thread (skipped while
    // the owner is being destroyed). Does nothing on any other thread.
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
    // In the finish event, after OnFinish, deletes the owner with `delete`
    // (it must then be heap-allocated and own this component). Without
    // OnFinish there is no finish event and the owner stays.
    bool FreeOwnerWhenDone() const { return FFreeOwnerWhenDone; }
    void SetFreeOwnerWhenDone(bool value) { FFreeOwnerWhenDone = value; }
    bool WaitUntilDone() const { return FWaitUntilDone; }
    void SetWaitUntilDone(bool value) { FWaitUntilDone = value; }
    // Milliseconds without any event after which a waiting start gives up;
    // 0: no limit.
    std::uint32_t WaitTimeout() const { return FWaitTimeout; }
    void SetWaitTimeout(std::uint32_t ms) { FWaitTimeout = ms; }

    // The events live in the current worker and are copied to each
    // replacement.
    void SetOnExecute(TNotifyThreadEvent handler);
    void SetOnError(std::function<void()> handler);
    void SetOnFinish(TNotifyThreadEvent handler);
    TNotifyThreadEvent OnWaitTimeout;

private:
    friend class TauEventThread;
    bool WaitForRun(const std::shared_ptr<TauEventThread>& worker);
    void FreeOwner();

    std::shared_ptr<TauEventThread> FWorker;
    // Cleared by the destructor: a waiting Start learns from it that what it
    // ran meanwhile destroyed this component.
    std::shared_ptr<bool> FAlive = std::make_shared<bool>(true);
    bool FSuspended = true;
    std::atomic<bool> FCatchExceptions{true};
    std::atomic<bool> FFreeOwnerWhenDone{false};
    bool FWaitUntilDone = false;
    std::uint32_t FWaitTimeout = 0;
};
