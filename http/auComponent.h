#pragma once
// The small component model the HTTP and upgrade classes share: an owner,
// a flag that says the component is being destroyed (events are not raised
// then), and the hook that runs once stored settings have been applied.

#include <atomic>

class TComponent {
public:
    explicit TComponent(TComponent* owner = nullptr) : FOwner(owner) {}
    virtual ~TComponent() = default;
    TComponent(const TComponent&) = delete;
    TComponent& operator=(const TComponent&) = delete;

    TComponent* Owner() const { return FOwner; }
    bool Destroying() const { return FDestroying.load(); }

    // Runs after the stored settings of the form that holds the component
    // have been applied.
    virtual void Loaded() {}

protected:
    // The most derived destructor calls this first, so that nothing the
    // destruction triggers raises an event on a half-destroyed object.
    void BeginDestroy() { FDestroying = true; }

private:
    TComponent* FOwner = nullptr;
    std::atomic<bool> FDestroying{false};  // read by workers too
};
