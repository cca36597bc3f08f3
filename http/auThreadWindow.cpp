#include "http/auThreadWindow.h"

#include "http/auThread.h"

#include <QCoreApplication>
#include <QEvent>
#include <QThread>

#include <cstdint>
#include <deque>
#include <memory>

namespace {

// ThreadLock guards ThreadWindow and ThreadCount only; SyncMutex guards the
// call queue and the workers' handshake state. Where both are held,
// ThreadLock is taken first.
std::mutex ThreadLock;
TauThreadWindow* ThreadWindow = nullptr;
std::int32_t ThreadCount = 0;

std::mutex SyncMutex;
std::condition_variable ChangedSignal;
std::deque<TauSyncCall*> Calls;

QEvent::Type WakeType()
{
    static const auto type = static_cast<QEvent::Type>(QEvent::registerEventType());
    return type;
}

// With ThreadLock held and ThreadWindow set. The event is allocated under
// ThreadLock, which the dispatcher takes before Qt frees the event: Qt's own
// handing over of posted events is invisible to ThreadSanitizer.
void PostWakeLocked()
{
    QCoreApplication::postEvent(ThreadWindow, new QEvent(WakeType()));
}

}  // namespace

TauThreadWindow::TauThreadWindow()
{
    setObjectName(QStringLiteral("TauThreadWindow"));
    QCoreApplication* app = QCoreApplication::instance();
    if (!app)
        return;
    // As a child of the application the dispatcher goes with it, also when
    // the last destroy request is never handled.
    if (app->thread() == QThread::currentThread())
        setParent(app);
    else
        moveToThread(app->thread());
}

TauThreadWindow::~TauThreadWindow()
{
    std::lock_guard lock(ThreadLock);
    if (ThreadWindow != this)
        return;
    // Destroyed with the application while workers still exist: their calls
    // can no longer run, so the workers must not wait for them.
    ThreadWindow = nullptr;
    std::lock_guard sync(SyncMutex);
    for (TauSyncCall* call : Calls) {
        call->Done = true;
        call->DoneSignal.notify_all();
    }
    Calls.clear();
}

void TauThreadWindow::AddThread()
{
    // The window is made outside ThreadLock: giving it to the application
    // sends the application an event, which its event filters (user code)
    // see. A window made while another thread made one is thrown away.
    std::unique_ptr<TauThreadWindow> spare;
    for (;;) {
        {
            std::lock_guard lock(ThreadLock);
            if (!ThreadWindow && spare)
                ThreadWindow = spare.release();
            // A window whose destroy request is still pending is kept: the
            // request finds a worker again and leaves it.
            if (ThreadWindow) {
                ++ThreadCount;
                return;
            }
        }
        spare.reset(new TauThreadWindow);
    }
}

void TauThreadWindow::RemoveThread()
{
    std::lock_guard lock(ThreadLock);
    // Posted, not run here: the last worker may end on its own thread, and
    // the window belongs to the window thread.
    if (--ThreadCount == 0 && ThreadWindow)
        PostWakeLocked();
}

std::mutex& TauThreadWindow::SyncLock()
{
    return SyncMutex;
}

std::condition_variable& TauThreadWindow::Changed()
{
    return ChangedSignal;
}

bool TauThreadWindow::Queue(TauSyncCall& call)
{
    std::lock_guard lock(ThreadLock);
    if (!ThreadWindow)
        return false;
    {
        std::lock_guard sync(SyncMutex);
        // Checked under the lock that Kill sets it under, so no call of a
        // discarded worker is queued after Kill has dropped its calls.
        if (call.Sender->Discarded())
            return false;
        Calls.push_back(&call);
        ChangedSignal.notify_all();
    }
    PostWakeLocked();
    return true;
}

void TauThreadWindow::DropLocked(const TauEventThread& sender)
{
    std::erase_if(Calls, [&sender](TauSyncCall* call) {
        if (call->Sender != &sender)
            return false;
        call->Done = true;
        call->DoneSignal.notify_all();
        return true;
    });
}

bool TauThreadWindow::PendingLocked()
{
    return !Calls.empty();
}

bool TauThreadWindow::ServeOne()
{
    TauSyncCall* call = nullptr;
    {
        std::lock_guard sync(SyncMutex);
        if (Calls.empty())
            return false;
        call = Calls.front();
        Calls.pop_front();
    }
    Run(*call);
    return true;
}

void TauThreadWindow::Run(TauSyncCall& call)
{
    // The sender is blocked until Done and not discarded (Kill runs on this
    // thread and drops the queued calls), so its component is alive here.
    TauEventThread& sender = *call.Sender;
    if (!sender.Discarded() && !sender.Owner().Destroying()) {
        try {
            (*call.Call)();
        } catch (...) {
            call.Error = std::current_exception();
        }
        // The call may have discarded its own worker (a start from inside
        // the finish event) or destroyed the component: its settings are gone
        // then.
        call.Raise = call.Error && !sender.Discarded() && !sender.Owner().CatchExceptions();
    }
    std::lock_guard sync(SyncMutex);
    call.Done = true;
    call.DoneSignal.notify_all();
}

void TauThreadWindow::Wake()
{
    std::lock_guard lock(ThreadLock);
    if (ThreadWindow)
        PostWakeLocked();
}

void TauThreadWindow::customEvent(QEvent*)
{
    // Every event posted here is a wake-up only: what to do is read from the
    // shared state. A call may also have been served already by a waiting
    // window thread, and a destroy request may find a worker again.
    ServeOne();
    DestroyIfUnused();
}

void TauThreadWindow::DestroyIfUnused()
{
    {
        std::lock_guard lock(ThreadLock);
        if (ThreadCount != 0 || ThreadWindow != this)
            return;
        ThreadWindow = nullptr;
    }
    deleteLater();
}

bool TauThreadWindowExists()
{
    std::lock_guard lock(ThreadLock);
    return ThreadWindow != nullptr;
}

int TauThreadCount()
{
    std::lock_guard lock(ThreadLock);
    return ThreadCount;
}

std::size_t TauQueuedCalls()
{
    std::lock_guard sync(SyncMutex);
    return Calls.size();
}
