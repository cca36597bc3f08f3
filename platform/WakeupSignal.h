#pragma once
// A signal one thread raises to wake another that waits for it, through an
// event loop that watches Handle or through Wait. Raising it makes no
// allocation and takes no lock; raised several times before it is cleared,
// it wakes once.

namespace platform {

class TWakeupSignal {
public:
    // Throws std::system_error when the system has no descriptor to spare.
    TWakeupSignal();
    ~TWakeupSignal();
    TWakeupSignal(const TWakeupSignal&) = delete;
    TWakeupSignal& operator=(const TWakeupSignal&) = delete;

    // Readable while the signal is raised.
    int Handle() const { return FHandle; }
    void Raise();
    void Clear();
    // Blocks until the signal is raised (it stays raised).
    void Wait();

private:
    int FHandle = -1;
};

} // namespace platform
