#include "platform/ThreadPriority.h"

#include <cerrno>
#include <sched.h>
#include <sys/resource.h>
#include <unistd.h>

namespace platform {

namespace {

// Indexed by TThreadPriority. tpIdle also gets the highest nice value, so
// that it stays the lowest where the idle policy cannot be had.
constexpr TOsThreadPriority PriorityMap[] = {
    {true, 19}, {false, 10}, {false, 5}, {false, 0}, {false, -5}, {false, -10}, {false, -20},
};

}  // namespace

TOsThreadPriority OsThreadPriority(TThreadPriority priority)
{
    return PriorityMap[priority];
}

TThreadPriority ThreadPriorityOf(TOsThreadPriority os)
{
    // Under the idle policy the nice value no longer counts.
    if (os.Idle)
        return tpIdle;
    for (int p = tpLowest; p <= tpTimeCritical; ++p)
        if (PriorityMap[p].Nice == os.Nice)
            return static_cast<TThreadPriority>(p);
    return tpNormal;
}

pid_t CurrentThreadId()
{
    return gettid();
}

bool SetThreadPriority(pid_t tid, TThreadPriority priority)
{
    const TOsThreadPriority os = OsThreadPriority(priority);
    const sched_param param{};
    const bool policySet = sched_setscheduler(tid, os.Idle ? SCHED_IDLE : SCHED_OTHER, &param) == 0;
    const bool niceSet = setpriority(PRIO_PROCESS, static_cast<id_t>(tid), os.Nice) == 0;
    return policySet && niceSet;
}

TThreadPriority GetThreadPriority(pid_t tid)
{
    const int policy = sched_getscheduler(tid);
    if (policy < 0)
        return tpNormal;
    // getpriority may return -1 as a value: only errno tells a failure.
    errno = 0;
    const int nice = getpriority(PRIO_PROCESS, static_cast<id_t>(tid));
    if (nice == -1 && errno != 0)
        return tpNormal;
    return ThreadPriorityOf({policy == SCHED_IDLE, nice});
}

} // namespace platform
