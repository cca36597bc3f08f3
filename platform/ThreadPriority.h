#pragma once
// Thread priorities as Linux offers them to a thread without privileges.
//
// Each priority maps to a scheduling policy and a nice value of the one
// thread (Linux keeps the nice value per thread). A thread may always lower
// its priority; raising it, even back to where it was, needs privileges, so
// a request the system refuses leaves the value in force.

#include <sys/types.h>

enum TThreadPriority { tpIdle, tpLowest, tpLower, tpNormal, tpHigher, tpHighest, tpTimeCritical };

namespace platform {

// What the system keeps for a thread: SCHED_IDLE or the normal policy, and
// the nice value.
struct TOsThreadPriority {
    bool Idle = false;
    int Nice = 0;
};

// The system value a priority maps to.
TOsThreadPriority OsThreadPriority(TThreadPriority priority);
// The priority whose mapped value equals os; tpNormal when none does.
TThreadPriority ThreadPriorityOf(TOsThreadPriority os);

// Kernel id of the calling thread, the handle the calls below take.
pid_t CurrentThreadId();
// Applies priority to thread tid; false when the system refused (part of) it.
bool SetThreadPriority(pid_t tid, TThreadPriority priority);
// The priority in force for thread tid (tpNormal when it cannot be read).
TThreadPriority GetThreadPriority(pid_t tid);

} // namespace platform
