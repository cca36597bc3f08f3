#include "http/auThread.h"

#include "http/auThreadWindow.h"

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

    // Guarded by TauThreadWindow::SyncLock().
    std::thread::id Id;
    bool Started = false;
    bool Ended = false;
    int SuspendCount = 1;
    int ExitCode = 0;
    std::condition_variable Resumed;

    // Held while WithOwner runs its section; Discard waits for it.
    std::mutex OwnerLock;

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
    TauThreadWindow::AddThread();
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
    TauThreadWindow::RemoveThread();
}

TauEventThread* TauEventThread::Current()
{
    return CurrentWorker;
}

void TauEventThread::Synchronize(const TThreadMethod& call)
{
    std::mutex& lock = TauThreadWindow::SyncLock();
    {
        std::unique_lock sync(lock);
        FImpl->Resumed.wait(sync, [this] { return FImpl->SuspendCount == 0 || FDiscarded; });
    }
    TauSyncCall pending;
    pending.Sender = this;
    pending.Call = &call;
    if (!TauThreadWindow::Queue(pending))
        return;
    {
        std::unique_lock sync(lock);
        pending.DoneSignal.wait(sync, [&pending] { return pending.Done; });
    }
    if (pending.Raise && !FDiscarded)
        std::rethrow_exception(pending.Error);
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
    std::lock_guard sync(TauThreadWindow::SyncLock());
    ++FImpl->SuspendCount;
    FSuspended = true;
}

void TauEventThread::Resume()
{
    {
        std::lock_guard sync(TauThreadWindow::SyncLock());
        if (FImpl->SuspendCount == 0 || --FImpl->SuspendCount > 0)
            return;
        FSuspended = false;
        if (FImpl->Started || FDiscarded) {
            FImpl->Resumed.notify_all();
            return;
        }
        FImpl->Started = true;
    }
    // Running from the start on, not from when the new thread gets to it:
    // the engine reads it as its busy state right after starting.
    FRunning = true;
    try {
        std::thread thread(&TauEventThread::Body, shared_from_this(), OnExecute);
        std::lock_guard sync(TauThreadWindow::SyncLock());
        FImpl->Id = thread.get_id();
        FImpl->Thread = std::move(thread);
    } catch (...) {
        FRunning = false;
        std::lock_guard sync(TauThreadWindow::SyncLock());
        FImpl->Started = false;
        FImpl->SuspendCount = 1;
        FSuspended = true;
        throw;
    }
}

void TauEventThread::Body(std::shared_ptr<TauEventThread> self, TNotifyThreadEvent routine)
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
    try {
        worker.Synchronize([&worker] { worker.Finish(); });
    } catch (...) {
        // With CatchExceptions false, what OnFinish raised comes back here.
        if (!escaped)
            escaped = std::current_exception();
    }

    {
        std::lock_guard guard(impl.PriorityLock);
        impl.Priority = platform::GetThreadPriority(impl.Tid);
        impl.Tid = 0;
    }
    {
        std::lock_guard sync(TauThreadWindow::SyncLock());
        impl.ExitCode = exitCode;
        impl.Ended = true;
        TauThreadWindow::Changed().notify_all();
    }
    // For a start that waits by processing the window thread's events.
    TauThreadWindow::Wake();
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
    const bool serve = OnWindowThread();
    std::unique_lock sync(TauThreadWindow::SyncLock());
    if (!FImpl->Started || Current() == this)
        return FReturnValue;
    while (!FImpl->Ended) {
        // The worker may be waiting for the window thread in Synchronize.
        if (serve && TauThreadWindow::PendingLocked()) {
            sync.unlock();
            TauThreadWindow::ServeOne();
            sync.lock();
            continue;
        }
        TauThreadWindow::Changed().wait(sync);
    }
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
        std::lock_guard guard(FImpl->OwnerLock);
        std::lock_guard sync(TauThreadWindow::SyncLock());
        FDiscarded = true;
        TauThreadWindow::DropLocked(*this);
        FImpl->Resumed.notify_all();
    }
    // Nobody waits for a discarded thread; it lets go of this object itself.
    if (FImpl->Thread.joinable())
        FImpl->Thread.detach();
}

bool TauEventThread::Ended() const
{
    std::lock_guard sync(TauThreadWindow::SyncLock());
    return FImpl->Ended;
}

std::thread::id TauEventThread::ThreadId() const
{
    std::lock_guard sync(TauThreadWindow::SyncLock());
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
