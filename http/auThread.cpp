#include "http/auThread.h"

#include "http/auDispatcher.h"

#include <QCoreApplication>
#include <QThread>
#include <QTimer>

#include <algorithm>
#include <climits>
#include <condition_variable>

namespace {

thread_local TauEventThread* CurrentWorker = nullptr;

bool OnWindowThread()
{
    // A worker's own thread is known without asking Qt, which would adopt it.
    const QCoreApplication* app = QCoreApplication::instance();
    return app && !TauEventThread::Current() && QThread::currentThread() == app->thread();
}

}  // namespace

struct TauEventThread::TImpl {
    // Made, detached and joined by the controlling side only.
    std::thread Thread;

    // Guarded by StateLock; StateChanged tells of a resume, a discard and
    // the end.
    std::mutex StateLock;
    std::condition_variable StateChanged;
    std::thread::id Id;
    bool Started = false;
    bool Ended = false;
    int SuspendCount = 1;
    int ExitCode = 0;

    // Held while WithOwner runs its section; Discard waits for it.
    std::mutex OwnerLock;

    // The one slot this worker's calls to the window thread go through.
    TauSyncCall* Slot = TauSyncCall::Create();
    ~TImpl() { TauSyncCall::Release(Slot); }

    mutable std::mutex PriorityLock;
    pid_t Tid = 0;                       // while the thread runs
    TThreadPriority Priority = tpNormal; // asked for, or last in force
};

std::shared_ptr<TauEventThread> TauEventThread::Create(TauCustomThread& owner)
{
    return std::shared_ptr<TauEventThread>(new TauEventThread(owner));
}

TauEventThread::TauEventThread(TauCustomThread& owner)
    : FImpl(std::make_unique<TImpl>()), FOwner(&owner)
{
    TauDispatcher::AddThread();
}

TauEventThread::~TauEventThread()
{
    std::thread& thread = FImpl->Thread;
    // The last share may be let go by the thread itself, which cannot join
    // itself; from anywhere else the thread has let go already, so its end
    // is near.
    if (thread.joinable()) {
        if (thread.get_id() == std::this_thread::get_id())
            thread.detach();
        else
            thread.join();
    }
    TauDispatcher::RemoveThread();
}

TauEventThread* TauEventThread::Current()
{
    return CurrentWorker;
}

// The state of one marshalled call, shared by the worker and the window
// thread; small enough that the std::function wrapping it needs no memory
// of its own.
struct TauEventThread::TSyncRun {
    TauEventThread* Self;
    const TThreadMethod* Call;
    std::exception_ptr Error;
    bool Raise = false;
};

void TauEventThread::Synchronize(const TThreadMethod& call)
{
    if (FSuspended.load()) {
        std::unique_lock state(FImpl->StateLock);
        FImpl->StateChanged.wait(state, [this] { return FImpl->SuspendCount == 0 || FDiscarded; });
    }
    if (FDiscarded)
        return;
    TSyncRun run{this, &call, {}, false};
    const std::function<void()> wrapped = [&run] { run.Self->RunSynchronized(run); };
    TauSyncCall& slot = *FImpl->Slot;
    // Prepared before the discard is checked: a Kill from now on cancels
    // this very call.
    slot.Prepare(wrapped);
    if (FDiscarded || !TauDispatcher::Queue(slot) || !slot.Wait())
        return;
    if (run.Raise && !FDiscarded)
        std::rethrow_exception(run.Error);
}

void TauEventThread::RunSynchronized(TSyncRun& run)
{
    // The dispatcher ran this because the worker was not discarded, and
    // only the window thread discards: the component is alive here.
    if (FOwner->Destroying())
        return;
    try {
        (*run.Call)();
    } catch (...) {
        run.Error = std::current_exception();
    }
    // The call may have discarded its own worker (a start from inside the
    // finish event) or destroyed the component: its settings are gone then.
    run.Raise = run.Error && !FDiscarded && !FOwner->CatchExceptions();
}

bool TauEventThread::WithOwner(const std::function<void()>& fn)
{
    std::lock_guard guard(FImpl->OwnerLock);
    if (FDiscarded)
        return false;
    fn();
    return true;
}

void TauEventThread::Suspend()
{
    std::lock_guard state(FImpl->StateLock);
    ++FImpl->SuspendCount;
    FSuspended = true;
}

void TauEventThread::Resume()
{
    {
        std::lock_guard state(FImpl->StateLock);
        if (FImpl->SuspendCount == 0 || --FImpl->SuspendCount > 0)
            return;
        FSuspended = false;
        if (FImpl->Started || FDiscarded) {
            FImpl->StateChanged.notify_all();
            return;
        }
        FImpl->Started = true;
    }
    // Running from the start on, not from when the new thread gets to it:
    // the engine reads it as its busy state right after starting.
    FRunning = true;
    try {
        // Without OnFinish a run ends without a round trip to the window
        // thread (and without FreeOwnerWhenDone, which acts in the finish).
        std::thread thread(&TauEventThread::Body, shared_from_this(), OnExecute, static_cast<bool>(OnFinish));
        std::lock_guard state(FImpl->StateLock);
        FImpl->Id = thread.get_id();
        FImpl->Thread = std::move(thread);
    } catch (...) {
        FRunning = false;
        std::lock_guard state(FImpl->StateLock);
        FImpl->Started = false;
        FImpl->SuspendCount = 1;
        FSuspended = true;
        throw;
    }
}

void TauEventThread::Body(std::shared_ptr<TauEventThread> self, TNotifyThreadEvent routine, bool finish)
{
    TauEventThread& worker = *self;
    TImpl& impl = *worker.FImpl;
    CurrentWorker = &worker;
    {
        std::lock_guard guard(impl.PriorityLock);
        impl.Tid = platform::CurrentThreadId();
        platform::SetThreadPriority(impl.Tid, impl.Priority);
    }

    std::exception_ptr escaped = worker.Execute(routine);
    const int exitCode = worker.FReturnValue;
    worker.FRunning = false;
    if (finish) {
        try {
            worker.Synchronize([&worker] { worker.Finish(); });
        } catch (...) {
            // With CatchExceptions false, what OnFinish raised comes back here.
            if (!escaped)
                escaped = std::current_exception();
        }
    }

    {
        std::lock_guard guard(impl.PriorityLock);
        impl.Priority = platform::GetThreadPriority(impl.Tid);
        impl.Tid = 0;
    }
    {
        std::lock_guard state(impl.StateLock);
        impl.ExitCode = exitCode;
        impl.Ended = true;
        impl.StateChanged.notify_all();
    }
    // For a wait on the window thread, serving calls or processing events.
    TauDispatcher::Wake();
    CurrentWorker = nullptr;
    routine = nullptr;
    self.reset();
    // With CatchExceptions false an exception ends the process, as any that
    // leaves a thread does, once the finishing steps above have run.
    if (escaped)
        std::rethrow_exception(escaped);
}

std::exception_ptr TauEventThread::Execute(const TNotifyThreadEvent& routine)
{
    bool run = false;
    bool catchExceptions = true;
    WithOwner([&] {
        run = routine && !FOwner->Destroying();
        catchExceptions = FOwner->CatchExceptions();
    });
    if (!run)
        return {};
    std::exception_ptr error;
    try {
        routine(*FOwner);
    } catch (...) {
        error = std::current_exception();
    }
    if (!error || !catchExceptions)
        return error;
    Synchronize([this] { RunOnError(); });
    return {};
}

void TauEventThread::Finish()
{
    TauCustomThread& owner = *FOwner;
    const bool freeOwner = owner.FreeOwnerWhenDone();
    if (OnFinish && !owner.Destroying()) {
        // A copy: the handler may replace the events of this very worker.
        const TNotifyThreadEvent handler = OnFinish;
        if (owner.CatchExceptions()) {
            try {
                handler(owner);
            } catch (...) {
                if (!FDiscarded)
                    RunOnError();
            }
        } else {
            handler(owner);
        }
    }
    // A handler that started the next run, or destroyed the component, has
    // discarded this worker: the component is not ours to touch any more.
    if (freeOwner && !FDiscarded && owner.Owner())
        owner.FreeOwner();
}

void TauEventThread::RunOnError()
{
    if (FOwner->Destroying() || !OnError)
        return;
    const std::function<void()> handler = OnError;
    handler();
}

int TauEventThread::WaitFor()
{
    {
        std::lock_guard state(FImpl->StateLock);
        if (!FImpl->Started || Current() == this)
            return FReturnValue;
    }
    if (OnWindowThread()) {
        // The worker may be waiting for the window thread in Synchronize.
        for (;;) {
            while (TauDispatcher::ServeOne()) {
            }
            if (Ended())
                break;
            TauDispatcher::WaitForWake();
        }
    }
    std::unique_lock state(FImpl->StateLock);
    FImpl->StateChanged.wait(state, [this] { return FImpl->Ended; });
    return FImpl->ExitCode;
}

TThreadPriority TauEventThread::Priority() const
{
    std::lock_guard guard(FImpl->PriorityLock);
    return FImpl->Tid ? platform::GetThreadPriority(FImpl->Tid) : FImpl->Priority;
}

void TauEventThread::SetPriority(TThreadPriority priority)
{
    std::lock_guard guard(FImpl->PriorityLock);
    FImpl->Priority = priority;
    if (FImpl->Tid)
        platform::SetThreadPriority(FImpl->Tid, priority);
}

std::shared_ptr<TauEventThread> TauEventThread::Recreate()
{
    std::shared_ptr<TauEventThread> fresh = Create(*FOwner);
    fresh->SetPriority(Priority());
    fresh->OnExecute = OnExecute;
    fresh->OnError = OnError;
    fresh->OnFinish = OnFinish;
    return fresh;
}

std::shared_ptr<TauEventThread> TauEventThread::Kill()
{
    // The replacement first: should it fail, this worker is left as it was.
    std::shared_ptr<TauEventThread> replacement = Recreate();
    Discard();
    return replacement;
}

void TauEventThread::Discard()
{
    {
        // Waits for a WithOwner section in progress. A call queued but not
        // yet running returns to the worker at once, and the dispatcher
        // drops it unrun when it gets to it.
        std::lock_guard guard(FImpl->OwnerLock);
        std::lock_guard state(FImpl->StateLock);
        FDiscarded = true;
        FImpl->Slot->Cancel();
        FImpl->StateChanged.notify_all();
    }
    // Nobody waits for a discarded thread; it lets go of this object itself.
    if (FImpl->Thread.joinable())
        FImpl->Thread.detach();
}

bool TauEventThread::Ended() const
{
    std::lock_guard state(FImpl->StateLock);
    return FImpl->Ended;
}

std::thread::id TauEventThread::ThreadId() const
{
    std::lock_guard state(FImpl->StateLock);
    return FImpl->Id;
}

TauCustomThread::TauCustomThread(TComponent* owner)
    : TComponent(owner), FWorker(TauEventThread::Create(*this))
{
}

TauCustomThread::~TauCustomThread()
{
    BeginDestroy();
    *FAlive = false;
    // Whatever state the worker is in (also waiting for its finish event,
    // when Running is already false), it must not come back to us.
    FWorker->Discard();
}

void TauCustomThread::Loaded()
{
    if (FSuspended == FWorker->Suspended())
        return;
    if (FSuspended)
        FWorker->Suspend();
    else
        FWorker->Resume();
}

bool TauCustomThread::Start()
{
    Terminate(true);
    if (FFreeOwnerWhenDone)
        FWorker->SetFreeOnTerminate(true);
    const std::shared_ptr<TauEventThread> worker = FWorker;
    worker->Resume();
    return !FWaitUntilDone || WaitForRun(worker);
}

bool TauCustomThread::WaitForRun(const std::shared_ptr<TauEventThread>& worker)
{
    const std::shared_ptr<bool> alive = FAlive;
    bool timedOut = false;
    QTimer limit;
    limit.setSingleShot(true);
    QObject::connect(&limit, &QTimer::timeout, &limit, [&timedOut] { timedOut = true; });
    while (!worker->Ended() && !worker->Discarded()) {
        // Restarted after every event: the limit bounds a quiet spell.
        if (FWaitTimeout != 0)
            limit.start(static_cast<int>(std::min<std::uint32_t>(FWaitTimeout, INT_MAX)));
        QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
        // What ran meanwhile may have destroyed this component.
        if (!*alive || Destroying() || QCoreApplication::closingDown())
            return true;
        if (timedOut && !worker->Ended()) {
            Terminate(true);
            if (OnWaitTimeout) {
                const TNotifyThreadEvent handler = OnWaitTimeout;
                handler(*this);
            }
            return false;
        }
    }
    return true;
}

void TauCustomThread::FreeOwner()
{
    // The finishing worker is discarded first, so that it returns into
    // nothing once the owner, and this component with it, are gone.
    FWorker = FWorker->Kill();
    delete Owner();
}

void TauCustomThread::Suspend()
{
    FWorker->Suspend();
}

void TauCustomThread::Synchronize(const TThreadMethod& call)
{
    // The calling thread's own worker, not the current one: a discarded
    // routine must not reach its successor. Read through it, since once it
    // is discarded this component may be gone.
    TauEventThread* worker = TauEventThread::Current();
    if (!worker)
        return;
    bool ownerDestroying = true;
    worker->WithOwner([&] {
        const TComponent* owner = worker->Owner().Owner();
        ownerDestroying = owner && owner->Destroying();
    });
    if (!ownerDestroying)
        worker->Synchronize(call);
}

void TauCustomThread::Terminate(bool Immediately)
{
    if (!FWorker)
        return;
    if (Immediately)
        FWorker = FWorker->Kill();
    else
        FWorker->Terminate();
}

TThreadPriority TauCustomThread::Priority() const
{
    return FWorker->Priority();
}

void TauCustomThread::SetPriority(TThreadPriority priority)
{
    FWorker->SetPriority(priority);
}

bool TauCustomThread::Running() const
{
    return FWorker->Running();
}

void TauCustomThread::SetOnExecute(TNotifyThreadEvent handler)
{
    FWorker->OnExecute = std::move(handler);
}

void TauCustomThread::SetOnError(std::function<void()> handler)
{
    FWorker->OnError = std::move(handler);
}

void TauCustomThread::SetOnFinish(TNotifyThreadEvent handler)
{
    FWorker->OnFinish = std::move(handler);
}
