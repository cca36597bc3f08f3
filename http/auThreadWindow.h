#pragma once
// The process's dispatcher for the calls workers make to the window thread.
//
// One TauThreadWindow lives on the window thread while at least one
// TauEventThread exists. A worker queues a TauSyncCall and posts a wake-up
// event; the dispatcher runs the call when the window thread handles that
// event, or earlier when the window thread waits for a worker (ServeOne).
// The queue and every worker's handshake state are guarded by SyncLock(), a
// std::mutex: Qt's own locks are invisible to ThreadSanitizer, so every
// ordering between threads that our code relies on goes through it.

#include <QObject>

#include <condition_variable>
#include <cstddef>
#include <exception>
#include <functional>
#include <mutex>

class TauEventThread;

// One call a worker has handed to the window thread. It lives on the
// worker's stack until Done, which only the dispatcher (or a discarding
// Kill) sets, under SyncLock().
struct TauSyncCall {
    TauEventThread* Sender = nullptr;
    const std::function<void()>* Call = nullptr;
    std::exception_ptr Error;    // what the call raised
    bool Raise = false;          // raise Error on the worker (CatchExceptions false)
    bool Done = false;
    std::condition_variable DoneSignal;
};

class TauThreadWindow final : public QObject {
public:
    // A worker was created: counts it, and creates the dispatcher when none
    // exists.
    static void AddThread();
    // A worker was destroyed: counts it off; when none is left, posts the
    // request that destroys the dispatcher once the window thread handles it.
    static void RemoveThread();

    static std::mutex& SyncLock();
    // Notified (under SyncLock) when a call is queued or a worker ends, for
    // a thread that waits for a worker.
    static std::condition_variable& Changed();

    // Queues call and wakes the dispatcher. False, queuing nothing, when its
    // sender is discarded or no dispatcher exists (the application is gone).
    static bool Queue(TauSyncCall& call);
    // With SyncLock held: completes the queued, not yet running, calls of
    // sender without running them.
    static void DropLocked(const TauEventThread& sender);
    // With SyncLock held: whether a call is waiting.
    static bool PendingLocked();
    // Window thread: runs the oldest queued call; false when none was queued.
    static bool ServeOne();
    // Posts a bare wake-up to the window thread, for a wait that processes
    // events (a worker has ended).
    static void Wake();

    ~TauThreadWindow() override;

protected:
    void customEvent(QEvent* event) override;

private:
    TauThreadWindow();
    static void Run(TauSyncCall& call);
    void DestroyIfUnused();
};

// For tests: whether the dispatcher exists, how many workers are alive, how
// many calls are queued and not yet running.
bool TauThreadWindowExists();
int TauThreadCount();
std::size_t TauQueuedCalls();
