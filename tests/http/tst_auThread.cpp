// Worker threads: order and thread of the marshalled calls, exceptions,
// discarding a run, the dispatcher's life, priorities and waiting starts.

#include "http/auThread.h"
#include "http/auDispatcher.h"

#include <QCoreApplication>
#include <QEventLoop>
#include <QTimer>
#include <QTest>

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <memory>
#include <mutex>
#include <stdexcept>
#include <thread>
#include <vector>

Q_DECLARE_METATYPE(TThreadPriority)

namespace {

// A worker waits here until the test lets it go on.
class TGate {
public:
    ~TGate() { Open(); }
    void Open()
    {
        std::lock_guard lock(FMutex);
        FOpen = true;
        FSignal.notify_all();
    }
    void Wait()
    {
        std::unique_lock lock(FMutex);
        FSignal.wait(lock, [this] { return FOpen; });
    }

private:
    std::mutex FMutex;
    std::condition_variable FSignal;
    bool FOpen = false;
};

// Waits for another thread without running the window thread's events, so
// that calls queued meanwhile stay queued. Bounded, so that a fault fails
// the test instead of hanging it.
template <typename Predicate>
bool WaitUntil(Predicate done)
{
    for (int i = 0; i < 10000 && !done(); ++i)
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    return done();
}

std::shared_ptr<TauEventThread> CurrentWorker(const TauCustomThread& thread)
{
    return thread.Worker().shared_from_this();
}

int DispatcherObjects()
{
    return static_cast<int>(qApp->findChildren<QObject*>(QStringLiteral("TauThreadWindow"), Qt::FindDirectChildrenOnly).size());
}

// An owner that owns its worker component, as FreeOwnerWhenDone needs.
class THolder : public TComponent {
public:
    explicit THolder(bool& destroyed) : FDestroyed(destroyed) {}
    ~THolder() override
    {
        BeginDestroy();
        FDestroyed = true;
    }
    TauCustomThread Thread{this};

private:
    bool& FDestroyed;
};

}  // namespace

class TestAuThread : public QObject {
    Q_OBJECT

private slots:
    void initTestCase() { FMainThread = std::this_thread::get_id(); }
    void cleanup()
    {
        QTRY_COMPARE(TauThreadCount(), 0);
        QTRY_VERIFY(!TauDispatcherExists());
    }

    void eventOrder_data();
    void eventOrder();
    void nestedEventLoop();
    void exceptions_data();
    void exceptions();
    void startDuringRun_data();
    void startDuringRun();
    void startFromFinish();
    void waitForServesCalls_data();
    void waitForServesCalls();
    void dispatcherLifetime();
    void neverStarted();
    void suspendAndLoaded();
    void priorityMapping_data();
    void priorityMapping();
    void workerPriority_data();
    void workerPriority();
    void destroyWhileRunning_data();
    void destroyWhileRunning();
    void freeOwnerWhenDone_data();
    void freeOwnerWhenDone();
    void noFinishEventWithoutOnFinish();
    void waitUntilDone_data();
    void waitUntilDone();

private:
    bool OnMain() const { return std::this_thread::get_id() == FMainThread; }
    std::thread::id FMainThread;
};

void TestAuThread::eventOrder_data()
{
    QTest::addColumn<bool>("waitFor");
    QTest::newRow("served by the event loop") << false;
    QTest::newRow("served while the window thread waits") << true;
}

void TestAuThread::eventOrder()
{
    QFETCH(bool, waitFor);
    TauCustomThread thread;
    QStringList log;                 // window thread only
    int answer = 0;                  // written by the handlers, read by the worker
    std::atomic<int> returned{0};    // calls the worker has come back from
    std::vector<int> seen;           // worker only until it has ended
    bool handlersOnMain = true;
    bool workerBlocked = true;
    std::atomic<bool> routineOffMain{false};

    thread.SetOnExecute([&](TauCustomThread&) {
        routineOffMain = !OnMain();
        TauEventThread& self = *TauEventThread::Current();
        for (int i = 0; i < 5; ++i) {
            self.Synchronize([&, i] {
                handlersOnMain = handlersOnMain && OnMain();
                workerBlocked = workerBlocked && returned == i;
                log << QStringLiteral("call %1").arg(i);
                answer = i * 10;
            });
            seen.push_back(answer);
            ++returned;
        }
    });
    thread.SetOnFinish([&](TauCustomThread& sender) {
        handlersOnMain = handlersOnMain && OnMain();
        log << (sender.Running() ? QStringLiteral("finish while running") : QStringLiteral("finish"));
    });

    QVERIFY(thread.Start());
    QVERIFY(thread.Running());
    const std::shared_ptr<TauEventThread> worker = CurrentWorker(thread);
    if (waitFor)
        worker->WaitFor();
    else
        QTRY_VERIFY(log.size() == 6);
    worker->WaitFor();

    QCOMPARE(log, (QStringList{"call 0", "call 1", "call 2", "call 3", "call 4", "finish"}));
    QCOMPARE(seen, (std::vector<int>{0, 10, 20, 30, 40}));
    QVERIFY(routineOffMain);
    QVERIFY(handlersOnMain);
    QVERIFY(workerBlocked);
}

// A call that runs an event loop of its own (a modal dialog) lets another
// worker's calls through meanwhile.
void TestAuThread::nestedEventLoop()
{
    TauCustomThread first, second;
    QStringList log;
    first.SetOnExecute([&](TauCustomThread&) {
        TauEventThread::Current()->Synchronize([&] {
            log << "modal";
            QVERIFY(second.Start());
            QEventLoop loop;
            QTimer poll;
            QObject::connect(&poll, &QTimer::timeout, &loop, [&] {
                if (log.contains("second"))
                    loop.quit();
            });
            poll.start(1);
            loop.exec();
            log << "modal closed";
        });
    });
    second.SetOnExecute([&](TauCustomThread&) { TauEventThread::Current()->Synchronize([&] { log << "second"; }); });
    QVERIFY(first.Start());
    CurrentWorker(first)->WaitFor();
    QCOMPARE(log, (QStringList{"modal", "second", "modal closed"}));
}

void TestAuThread::exceptions_data()
{
    QTest::addColumn<bool>("catchExceptions");
    QTest::addColumn<QString>("raiser");
    QTest::addColumn<QStringList>("expected");
    QTest::addColumn<QString>("workerCaught");

    const QStringList allCalls{"call 1", "call 2", "call 3", "finish"};
    QTest::newRow("call raises, caught") << true << "call" << allCalls << "";
    QTest::newRow("call raises, handed back") << false << "call" << allCalls << "boom";
    QTest::newRow("routine raises") << true << "routine" << QStringList{"call 1", "call 2", "error", "finish"} << "";
    QTest::newRow("finish raises") << true << "finish" << QStringList{"call 1", "call 2", "call 3", "finish", "error"} << "";
}

void TestAuThread::exceptions()
{
    QFETCH(bool, catchExceptions);
    QFETCH(QString, raiser);
    QFETCH(QStringList, expected);
    QFETCH(QString, workerCaught);

    TauCustomThread thread;
    thread.SetCatchExceptions(catchExceptions);
    QStringList log;
    QString caught;  // worker only until it has ended
    thread.SetOnExecute([&](TauCustomThread&) {
        TauEventThread& self = *TauEventThread::Current();
        try {
            self.Synchronize([&] {
                log << "call 1";
                if (raiser == "call")
                    throw std::runtime_error("boom");
            });
        } catch (const std::exception& e) {
            caught = QString::fromUtf8(e.what());
        }
        self.Synchronize([&] { log << "call 2"; });
        if (raiser == "routine")
            throw std::runtime_error("boom");
        self.Synchronize([&] { log << "call 3"; });
    });
    thread.SetOnError([&] { log << "error"; });
    thread.SetOnFinish([&](TauCustomThread&) {
        log << "finish";
        if (raiser == "finish")
            throw std::runtime_error("boom");
    });

    QVERIFY(thread.Start());
    CurrentWorker(thread)->WaitFor();
    QCOMPARE(log, expected);
    QCOMPARE(caught, workerCaught);
}

void TestAuThread::startDuringRun_data()
{
    QTest::addColumn<QString>("oldRunAt");
    QTest::newRow("running") << "running";
    QTest::newRow("waiting in Synchronize") << "synchronize";
    QTest::newRow("suspended at its next call") << "suspended";
}

void TestAuThread::startDuringRun()
{
    QFETCH(QString, oldRunAt);
    TGate gate;
    TauCustomThread thread;
    QStringList log;
    std::atomic<int> runs{0};
    std::atomic<bool> oldEntered{false};
    std::atomic<bool> oldSawDiscard{false};

    thread.SetOnExecute([&](TauCustomThread&) {
        TauEventThread& self = *TauEventThread::Current();
        if (++runs > 1) {
            self.Synchronize([&] { log << "new call"; });
            return;
        }
        oldEntered = true;
        if (oldRunAt != "synchronize")
            gate.Wait();
        self.Synchronize([&] { log << "old call"; });
        self.Synchronize([&] { log << "old late call"; });
        oldSawDiscard = self.Discarded();
        throw std::runtime_error("old run");  // would raise OnError if not discarded
    });
    thread.SetOnError([&] { log << "error"; });
    thread.SetOnFinish([&](TauCustomThread&) { log << "finish"; });

    QVERIFY(thread.Start());
    const std::weak_ptr<TauEventThread> old = CurrentWorker(thread);
    QVERIFY(WaitUntil([&] { return oldEntered.load(); }));
    if (oldRunAt == "synchronize")
        QVERIFY(WaitUntil([] { return TauQueuedCalls() == 1; }));
    if (oldRunAt == "suspended") {
        thread.Suspend();
        gate.Open();
    }

    QVERIFY(thread.Start());
    gate.Open();
    // The discarded worker comes back from its calls without the window
    // thread's help: a queued call is dropped, later ones return at once.
    QVERIFY(WaitUntil([&] { return oldSawDiscard.load(); }));
    CurrentWorker(thread)->WaitFor();
    // The old worker frees itself when its thread ends; events run meanwhile.
    QTRY_VERIFY(old.expired());
    QTRY_COMPARE(TauThreadCount(), 1);
    QCOMPARE(log, (QStringList{"new call", "finish"}));
    QVERIFY(oldSawDiscard);
}

void TestAuThread::startFromFinish()
{
    TauCustomThread thread;
    QStringList log;
    std::atomic<int> runs{0};
    thread.SetOnExecute([&](TauCustomThread&) {
        const int run = ++runs;
        TauEventThread::Current()->Synchronize([&log, run] { log << QStringLiteral("run %1").arg(run); });
    });
    thread.SetOnFinish([&](TauCustomThread& sender) {
        log << QStringLiteral("finish, running %1").arg(sender.Running());
        if (runs == 1)
            log << QStringLiteral("restarted %1, running %2").arg(sender.Start()).arg(sender.Running());
    });

    QVERIFY(thread.Start());
    std::shared_ptr<TauEventThread> first = CurrentWorker(thread);
    first->WaitFor();
    QVERIFY(first->Discarded());
    QVERIFY(CurrentWorker(thread) != first);
    first.reset();
    CurrentWorker(thread)->WaitFor();
    QTRY_COMPARE(TauThreadCount(), 1);
    QCOMPARE(log, (QStringList{"run 1", "finish, running 0", "restarted 1, running 1", "run 2", "finish, running 0"}));
}

void TestAuThread::waitForServesCalls_data()
{
    QTest::addColumn<bool>("fromOtherThread");
    QTest::newRow("window thread") << false;
    QTest::newRow("another thread") << true;
}

void TestAuThread::waitForServesCalls()
{
    QFETCH(bool, fromOtherThread);
    TauCustomThread thread;
    QStringList log;
    thread.SetOnExecute([&](TauCustomThread&) {
        TauEventThread& self = *TauEventThread::Current();
        self.Synchronize([&] { log << "call"; });
        // The exit code is what the routine left, not what the finish sets.
        self.SetReturnValue(42);
    });
    thread.SetOnFinish([&](TauCustomThread& sender) {
        log << "finish";
        sender.Worker().SetReturnValue(7);
    });

    QVERIFY(thread.Start());
    const std::shared_ptr<TauEventThread> worker = CurrentWorker(thread);
    QVERIFY(WaitUntil([] { return TauQueuedCalls() == 1; }));
    if (fromOtherThread) {
        std::atomic<int> exitCode{-1};
        std::thread waiter([&] { exitCode = worker->WaitFor(); });
        QTRY_COMPARE(exitCode.load(), 42);
        waiter.join();
    } else {
        QCOMPARE(worker->WaitFor(), 42);
    }
    QCOMPARE(log, (QStringList{"call", "finish"}));
}

void TestAuThread::dispatcherLifetime()
{
    QVERIFY(!TauDispatcherExists());
    auto a = std::make_unique<TauCustomThread>();
    QVERIFY(TauDispatcherExists());
    auto b = std::make_unique<TauCustomThread>();
    QCOMPARE(TauThreadCount(), 2);
    QCOMPARE(DispatcherObjects(), 1);

    a.reset();
    b.reset();
    QCOMPARE(TauThreadCount(), 0);
    QVERIFY(TauDispatcherExists());  // the destroy request is only posted

    // A worker made before the request is handled keeps the same window.
    auto c = std::make_unique<TauCustomThread>();
    QCoreApplication::sendPostedEvents();
    QVERIFY(TauDispatcherExists());
    QCOMPARE(DispatcherObjects(), 1);

    c.reset();
    QVERIFY(TauDispatcherExists());
    QTRY_VERIFY(!TauDispatcherExists());
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    QCOMPARE(DispatcherObjects(), 0);
}

void TestAuThread::neverStarted()
{
    QStringList log;
    {
        TauCustomThread thread;
        thread.SetOnExecute([&](TauCustomThread&) { log << "routine"; });
        thread.SetOnError([&] { log << "error"; });
        thread.SetOnFinish([&](TauCustomThread&) { log << "finish"; });
        QVERIFY(!thread.Running());
        QVERIFY(thread.Worker().Suspended());
        QCOMPARE(thread.Worker().ThreadId(), std::thread::id());
        QCOMPARE(thread.Worker().WaitFor(), 0);
    }
    QCoreApplication::processEvents();
    QVERIFY(log.isEmpty());
}

void TestAuThread::suspendAndLoaded()
{
    TauCustomThread thread;
    QStringList log;
    thread.SetOnExecute([&](TauCustomThread&) { TauEventThread::Current()->Synchronize([&] { log << "call"; }); });

    // Suspensions count: one more resume than suspensions starts the thread.
    thread.Suspend();
    thread.Worker().Resume();
    QVERIFY(thread.Worker().Suspended());
    QCOMPARE(thread.Worker().ThreadId(), std::thread::id());

    // Stored settings say "not suspended": loading them starts the worker.
    thread.SetSuspended(false);
    thread.Loaded();
    QVERIFY(!thread.Worker().Suspended());
    QVERIFY(thread.Worker().ThreadId() != std::thread::id());
    CurrentWorker(thread)->WaitFor();
    QCOMPARE(log, QStringList{"call"});
}

void TestAuThread::priorityMapping_data()
{
    QTest::addColumn<bool>("idle");
    QTest::addColumn<int>("nice");
    QTest::addColumn<TThreadPriority>("expected");
    for (int p = tpIdle; p <= tpTimeCritical; ++p) {
        const auto priority = static_cast<TThreadPriority>(p);
        const platform::TOsThreadPriority os = platform::OsThreadPriority(priority);
        QTest::addRow("mapped %d", p) << os.Idle << os.Nice << priority;
    }
    QTest::newRow("nice value outside the table") << false << 3 << tpNormal;
    QTest::newRow("idle's nice value without the idle policy") << false << 19 << tpNormal;
    QTest::newRow("idle policy, any nice value") << true << 0 << tpIdle;
}

void TestAuThread::priorityMapping()
{
    QFETCH(bool, idle);
    QFETCH(int, nice);
    QFETCH(TThreadPriority, expected);
    QCOMPARE(platform::ThreadPriorityOf({idle, nice}), expected);
}

void TestAuThread::workerPriority_data()
{
    QTest::addColumn<TThreadPriority>("requested");
    QTest::addColumn<bool>("needsPrivileges");
    QTest::newRow("idle") << tpIdle << false;
    QTest::newRow("lowest") << tpLowest << false;
    QTest::newRow("lower") << tpLower << false;
    QTest::newRow("normal") << tpNormal << false;
    QTest::newRow("highest") << tpHighest << true;
}

void TestAuThread::workerPriority()
{
    QFETCH(TThreadPriority, requested);
    QFETCH(bool, needsPrivileges);
    // Workers start from the window thread's own value, which only a
    // privileged process could undo.
    if (platform::GetThreadPriority(platform::CurrentThreadId()) != tpNormal)
        QSKIP("the test runs at a lowered priority");

    TauCustomThread thread;
    thread.SetPriority(requested);
    QCOMPARE(thread.Priority(), requested);  // kept until the thread exists
    std::atomic<TThreadPriority> inRun{tpNormal};
    thread.SetOnExecute([&](TauCustomThread&) { inRun = TauEventThread::Current()->Priority(); });
    QVERIFY(thread.Start());
    CurrentWorker(thread)->WaitFor();

    // What cannot be applied reads back as the value in force.
    if (needsPrivileges)
        QVERIFY(inRun == requested || inRun == tpNormal);
    else
        QCOMPARE(inRun.load(), requested);
    QCOMPARE(thread.Priority(), inRun.load());
    thread.Terminate(true);
    QCOMPARE(thread.Priority(), inRun.load());  // the replacement's
}

void TestAuThread::destroyWhileRunning_data()
{
    QTest::addColumn<QString>("destroyAt");
    QTest::addColumn<QStringList>("expected");
    QTest::addColumn<bool>("routineGoesOn");  // after the destruction
    QTest::newRow("running") << "running" << QStringList{} << true;
    QTest::newRow("waiting in Synchronize") << "synchronize" << QStringList{} << true;
    // Running is false already, and the finish event waits for a resume
    // that never comes (the engine suspends its worker before destroying it).
    QTest::newRow("suspended before its finish event") << "suspended" << QStringList{} << false;
    QTest::newRow("inside its finish event") << "finish" << QStringList{"call", "finish"} << false;
}

void TestAuThread::destroyWhileRunning()
{
    QFETCH(QString, destroyAt);
    QFETCH(QStringList, expected);
    QFETCH(bool, routineGoesOn);
    TGate gate;
    QStringList log;
    std::atomic<bool> entered{false};
    std::atomic<bool> returned{false};
    std::atomic<bool> sawDiscard{false};
    std::atomic<bool> reachedOwner{false};
    auto thread = std::make_unique<TauCustomThread>();

    thread->SetOnExecute([&](TauCustomThread&) {
        TauEventThread& self = *TauEventThread::Current();
        entered = true;
        if (destroyAt == "running" || destroyAt == "suspended")
            gate.Wait();
        if (destroyAt != "suspended") {
            self.Synchronize([&] { log << "call"; });
            sawDiscard = self.Discarded();
            reachedOwner = self.WithOwner([] {});
        }
        returned = true;
    });
    thread->SetOnError([&] { log << "error"; });
    thread->SetOnFinish([&](TauCustomThread&) {
        log << "finish";
        if (destroyAt == "finish")
            thread.reset();
    });

    QVERIFY(thread->Start());
    QVERIFY(WaitUntil([&] { return entered.load(); }));
    if (destroyAt == "synchronize")
        QVERIFY(WaitUntil([] { return TauQueuedCalls() == 1; }));
    if (destroyAt == "suspended") {
        thread->Suspend();
        gate.Open();
        QVERIFY(WaitUntil([&] { return !thread->Running(); }));
    }
    if (destroyAt == "finish") {
        QTRY_VERIFY(!thread);
    } else {
        thread.reset();
        gate.Open();
    }
    // The thread ends later and frees its worker; no event runs meanwhile.
    QTRY_COMPARE(TauThreadCount(), 0);
    QVERIFY(returned);
    QCOMPARE(log, expected);
    if (routineGoesOn) {
        QVERIFY(sawDiscard);
        QVERIFY(!reachedOwner);
    }
}

void TestAuThread::freeOwnerWhenDone_data()
{
    QTest::addColumn<bool>("wait");
    QTest::addColumn<int>("restarts");
    QTest::newRow("after the run") << false << 0;
    QTest::newRow("waiting start") << true << 0;
    QTest::newRow("restarted from its finish event") << false << 1;
    QTest::newRow("waiting start, restarted from its finish event") << true << 1;
}

void TestAuThread::freeOwnerWhenDone()
{
    QFETCH(bool, wait);
    QFETCH(int, restarts);
    bool destroyed = false;
    int finishes = 0;
    bool destroyedBeforeLastFinish = false;
    auto* holder = new THolder(destroyed);
    holder->Thread.SetFreeOwnerWhenDone(true);
    holder->Thread.SetWaitUntilDone(wait);
    holder->Thread.SetOnExecute([](TauCustomThread&) { TauEventThread::Current()->Synchronize([] {}); });
    holder->Thread.SetOnFinish([&](TauCustomThread& sender) {
        destroyedBeforeLastFinish = destroyedBeforeLastFinish || destroyed;
        // A run started here replaces the finishing one, which then frees
        // nothing: the owner goes after the last run.
        if (finishes++ < restarts)
            sender.Start();
    });

    const bool started = holder->Thread.Start();
    if (wait) {
        QVERIFY(started);
        QVERIFY(destroyed);
    }
    QTRY_VERIFY(destroyed);
    QCOMPARE(finishes, restarts + 1);
    QVERIFY(!destroyedBeforeLastFinish);
    QTRY_COMPARE(TauThreadCount(), 0);
}

// Without OnFinish a run has no finish event: it costs no call to the window
// thread, and FreeOwnerWhenDone, which acts in that event, frees nothing.
void TestAuThread::noFinishEventWithoutOnFinish()
{
    bool destroyed = false;
    auto holder = std::make_unique<THolder>(destroyed);
    holder->Thread.SetFreeOwnerWhenDone(true);
    std::atomic<bool> ran{false};
    holder->Thread.SetOnExecute([&](TauCustomThread&) { ran = true; });
    const std::size_t callsBefore = TauCallsRun();
    QVERIFY(holder->Thread.Start());
    // Serves any call the worker makes before its thread ends.
    CurrentWorker(holder->Thread)->WaitFor();
    QVERIFY(ran);
    QCOMPARE(TauCallsRun(), callsBefore);
    QVERIFY(!destroyed);
    holder.reset();
    QVERIFY(destroyed);
}

void TestAuThread::waitUntilDone_data()
{
    QTest::addColumn<quint32>("timeout");
    QTest::addColumn<bool>("block");
    QTest::addColumn<bool>("result");
    QTest::addColumn<QStringList>("expected");
    const QStringList done{"call 0", "call 1", "call 2", "finish"};
    QTest::newRow("no limit") << 0u << false << true << done;
    QTest::newRow("within the limit") << 60000u << false << true << done;
    QTest::newRow("quiet beyond the limit") << 20u << true << false << QStringList{"timeout, running 0"};
}

void TestAuThread::waitUntilDone()
{
    QFETCH(quint32, timeout);
    QFETCH(bool, block);
    QFETCH(bool, result);
    QFETCH(QStringList, expected);
    TGate gate;
    TauCustomThread thread;
    thread.SetWaitUntilDone(true);
    thread.SetWaitTimeout(timeout);
    QStringList log;
    thread.SetOnExecute([&](TauCustomThread&) {
        TauEventThread& self = *TauEventThread::Current();
        if (block)
            gate.Wait();
        for (int i = 0; i < 3; ++i)
            self.Synchronize([&log, i] { log << QStringLiteral("call %1").arg(i); });
    });
    thread.SetOnFinish([&](TauCustomThread&) { log << "finish"; });
    thread.OnWaitTimeout = [&](TauCustomThread& sender) { log << QStringLiteral("timeout, running %1").arg(sender.Running()); };

    QCOMPARE(thread.Start(), result);
    QCOMPARE(log, expected);
    gate.Open();
    QTRY_COMPARE(TauThreadCount(), 1);
    QCOMPARE(log, expected);  // a run that timed out raises nothing later
}

QTEST_GUILESS_MAIN(TestAuThread)
#include "tst_auThread.moc"
