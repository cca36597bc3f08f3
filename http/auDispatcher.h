#pragma once
// The process's dispatcher: runs on the window thread the calls that other
// threads hand it, one at a time and in the order they arrived, while the
// caller waits.
//
// It knows callables and their completion slots only. A caller prepares its
// TauSyncCall, queues it and waits; the dispatcher runs the call when the window thread's event loop sees the
// wake-up, or earlier when the window thread waits for a worker and serves
// calls meanwhile (ServeOne). Queuing takes no lock and makes no
// allocation, and the window thread is woken only when it is not awake for
// the dispatcher already.
//
// The dispatcher object exists while at least one worker is counted
// (AddThread, RemoveThread); calls queued while none exists wait for the
// next one.

#include <QObject>

#include <atomic>
#include <cstddef>
#include <exception>
#include <functional>

class QSocketNotifier;

// The completion slot of one caller: each worker makes one when it is
// created and reuses it for every call, so handing a call over allocates
// nothing. The queue holds a reference while the slot is queued, so a
// caller that was cancelled may leave (and go) before the dispatcher
// reaches its slot.
struct TauSyncCall {
    // Caller: a slot with one reference, the caller's.
    static TauSyncCall* Create() { return new TauSyncCall; }
    // Drops one reference; the last one frees the slot.
    static void Release(TauSyncCall* slot);

    // Caller, before queuing: Call must stay valid until Wait returns.
    void Prepare(const std::function<void()>& call);
    // Caller: blocks until the dispatcher has completed the call, or until
    // Cancel. True when the call was completed.
    bool Wait() const;
    // The window thread, for a caller it discards: a call not yet running
    // is dropped unrun and the caller's Wait returns at once; a call that
    // is running (Cancel from inside it) completes first.
    void Cancel();
    bool Cancelled() const { return FCancelled.load(); }
    // What the call raised, once Wait returned true.
    std::exception_ptr Error;

private:
    friend class TauDispatcher;
    TauSyncCall() = default;

    enum TState { Queued, Running, Completed, Cancelled_ };
    const std::function<void()>* FCall = nullptr;
    std::atomic<bool> FCancelled{false};
    std::atomic<int> FDone{Queued};
    std::atomic<int> FReferences{1};
    TauSyncCall* FNext = nullptr;  // the dispatcher's queue
};

class TauDispatcher final : public QObject {
public:
    // A worker was created: counts it, and creates the dispatcher when none
    // exists.
    static void AddThread();
    // A worker was destroyed: counts it off; when none is left, the
    // dispatcher is destroyed once the window thread next wakes.
    static void RemoveThread();

    // Queues the prepared call and wakes the window thread. False, queuing
    // nothing, once the dispatcher went with the application (no call can
    // run any more) or the slot is cancelled.
    static bool Queue(TauSyncCall& call);
    // Window thread: runs the oldest queued call; false when none was queued.
    static bool ServeOne();
    // Wakes the window thread, for a wait that serves calls or processes
    // events (a worker has ended).
    static void Wake();
    // Window thread: blocks until a call is queued or Wake is called.
    static void WaitForWake();

    ~TauDispatcher() override;

private:
    TauDispatcher();
    void Attach();
    void Woken();
    void DestroyIfUnused();
    // Window thread: when nothing taken is left, takes what has been queued
    // since, oldest first; then the oldest taken call, or null.
    static void TakeQueued();
    static TauSyncCall* PopTaken();
    // Completes call, running it unless it was cancelled.
    static void Run(TauSyncCall& call);
    // Lets the caller go on without running its call, and drops the
    // queue's reference.
    static void Complete(TauSyncCall& call);

    QSocketNotifier* FNotifier = nullptr;
};

// For tests: whether the dispatcher exists, how many workers are counted,
// how many calls are queued and not yet running, and how many calls have
// been run since the process started.
bool TauDispatcherExists();
int TauThreadCount();
std::size_t TauQueuedCalls();
std::size_t TauCallsRun();
