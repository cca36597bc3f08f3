#include "http/auDispatcher.h"

#include "platform/WakeupSignal.h"

#include <QCoreApplication>
#include <QSocketNotifier>
#include <QThread>

#include <cstdint>
#include <memory>
#include <mutex>
#include <thread>

namespace {

// ThreadLock guards Instance and ThreadCount: taken when workers come and
// go, never when calls are queued or run.
std::mutex ThreadLock;
TauDispatcher* Instance = nullptr;
std::int32_t ThreadCount = 0;

// The queue: callers push onto Head without a lock; the window thread takes
// the whole stack at once and keeps it, oldest first, in Taken.
std::atomic<TauSyncCall*> Head{nullptr};
TauSyncCall* Taken = nullptr;  // window thread only
// Set by the caller that raises the wake-up, cleared by the window thread
// before it looks at the queue: no caller raises it twice for one look.
std::atomic<bool> WakePending{false};
// The dispatcher went with the application while workers still existed.
std::atomic<bool> Closed{false};
std::atomic<int> Queuing{0};
std::atomic<std::size_t> QueuedCount{0};
std::atomic<std::size_t> RunCount{0};

platform::TWakeupSignal& Signal()
{
    // Never destroyed: a worker may still raise it while the process exits.
    static platform::TWakeupSignal* const signal = new platform::TWakeupSignal;
    return *signal;
}

} // namespace

// Window thread: when nothing taken is left, takes what has been queued
// since, oldest first.
void TauDispatcher::TakeQueued()
{
    if (Taken)
        return;
    WakePending.store(false);
    Signal().Clear();
    TauSyncCall* newest = Head.exchange(nullptr, std::memory_order_acquire);
    while (newest) {
        TauSyncCall* next = newest->FNext;
        newest->FNext = Taken;
        Taken = newest;
        newest = next;
    }
}

TauSyncCall* TauDispatcher::PopTaken()
{
    TauSyncCall* call = Taken;
    if (call) {
        Taken = call->FNext;
        --QueuedCount;
    }
    return call;
}

void TauSyncCall::Release(TauSyncCall* slot)
{
    if (slot && slot->FReferences.fetch_sub(1, std::memory_order_acq_rel) == 1)
        delete slot;
}

void TauSyncCall::Prepare(const std::function<void()>& call)
{
    FCall = &call;
    Error = nullptr;
    FDone.store(Queued);
}

bool TauSyncCall::Wait() const
{
    int state = 0;
    while ((state = FDone.load(std::memory_order_acquire)) == Queued || state == Running)
        FDone.wait(state, std::memory_order_acquire);
    return state == Completed;
}

void TauSyncCall::Cancel()
{
    FCancelled.store(true);
    // A call already running is let finish: its caller waits for it, since
    // the call may still use what the caller holds.
    int queued = Queued;
    if (FDone.compare_exchange_strong(queued, Cancelled_))
        FDone.notify_all();
}

TauDispatcher::TauDispatcher()
{
    // The name of the hidden window the calls went through on Windows.
    setObjectName(QStringLiteral("TauThreadWindow"));
    QCoreApplication* app = QCoreApplication::instance();
    if (!app)
        return;
    // As a child of the application the dispatcher goes with it, also when
    // the last worker's release is never handled.
    if (app->thread() == QThread::currentThread()) {
        setParent(app);
        Attach();
    } else {
        moveToThread(app->thread());
        QMetaObject::invokeMethod(this, [this] { Attach(); }, Qt::QueuedConnection);
    }
}

TauDispatcher::~TauDispatcher()
{
    {
        std::lock_guard lock(ThreadLock);
        if (Instance != this)
            return;
        Instance = nullptr;
    }
    // Destroyed with the application while workers still exist: their calls
    // can no longer run, so the workers must not wait for them.
    Closed = true;
    while (Queuing.load() != 0)
        std::this_thread::yield();
    for (;;) {
        TakeQueued();
        TauSyncCall* call = PopTaken();
        if (!call)
            break;
        Complete(*call);
    }
}

void TauDispatcher::Attach()
{
    FNotifier = new QSocketNotifier(Signal().Handle(), QSocketNotifier::Read, this);
    connect(FNotifier, &QSocketNotifier::activated, this, [this] { Woken(); });
}

void TauDispatcher::AddThread()
{
    // The dispatcher is made outside ThreadLock: giving it to the
    // application sends the application an event, which its event filters
    // (user code) see. One made while another thread made one is dropped.
    std::unique_ptr<TauDispatcher> spare;
    for (;;) {
        {
            std::lock_guard lock(ThreadLock);
            if (!Instance && spare)
                Instance = spare.release();
            // One whose release is still pending is kept: it finds a worker
            // again when it wakes and stays.
            if (Instance) {
                ++ThreadCount;
                Closed = false;
                return;
            }
        }
        spare.reset(new TauDispatcher);
    }
}

void TauDispatcher::RemoveThread()
{
    std::lock_guard lock(ThreadLock);
    // Not destroyed here: the last worker may end on its own thread, and
    // the dispatcher belongs to the window thread.
    if (--ThreadCount == 0 && Instance)
        Signal().Raise();
}

bool TauDispatcher::Queue(TauSyncCall& call)
{
    ++Queuing;
    if (Closed.load() || call.Cancelled()) {
        --Queuing;
        return false;
    }
    ++QueuedCount;
    call.FReferences.fetch_add(1, std::memory_order_relaxed);
    call.FNext = Head.load(std::memory_order_relaxed);
    while (!Head.compare_exchange_weak(call.FNext, &call, std::memory_order_release, std::memory_order_relaxed)) {
    }
    if (!WakePending.exchange(true))
        Signal().Raise();
    --Queuing;
    return true;
}

bool TauDispatcher::ServeOne()
{
    TakeQueued();
    TauSyncCall* call = PopTaken();
    if (!call)
        return false;
    Run(*call);
    return true;
}

void TauDispatcher::Run(TauSyncCall& call)
{
    int queued = TauSyncCall::Queued;
    if (call.FDone.compare_exchange_strong(queued, TauSyncCall::Running)) {
        try {
            (*call.FCall)();
        } catch (...) {
            call.Error = std::current_exception();
        }
        ++RunCount;
        call.FDone.store(TauSyncCall::Completed, std::memory_order_release);
        call.FDone.notify_all();
    }
    TauSyncCall::Release(&call);
}

void TauDispatcher::Complete(TauSyncCall& call)
{
    int queued = TauSyncCall::Queued;
    if (call.FDone.compare_exchange_strong(queued, TauSyncCall::Completed))
        call.FDone.notify_all();
    TauSyncCall::Release(&call);
}

void TauDispatcher::Wake()
{
    Signal().Raise();
}

void TauDispatcher::WaitForWake()
{
    Signal().Wait();
}

void TauDispatcher::Woken()
{
    // Only what has arrived by now: calls queued while these run wake the
    // window thread again, after the events that came in between.
    TakeQueued();
    while (Taken)
        ServeOne();
    DestroyIfUnused();
}

void TauDispatcher::DestroyIfUnused()
{
    {
        std::lock_guard lock(ThreadLock);
        if (ThreadCount != 0 || Instance != this)
            return;
        Instance = nullptr;
    }
    deleteLater();
}

bool TauDispatcherExists()
{
    std::lock_guard lock(ThreadLock);
    return Instance != nullptr;
}

int TauThreadCount()
{
    std::lock_guard lock(ThreadLock);
    return ThreadCount;
}

std::size_t TauQueuedCalls()
{
    return QueuedCount.load();
}

std::size_t TauCallsRun()
{
    return RunCount.load();
}
