// The render-notification list: callbacks run before and after every render.
#pragma once

#include <AudioUnit/AudioUnit.h>

#include <atomic>

// Three lock-free stacks of 32-byte nodes: pending (add and remove requests pushed by any thread),
// free (nodes for reuse) and active (the callbacks, edited only by the render thread). Requests
// take effect at the next render, which applies them in arrival order before calling anyone.
// A node is taken from the free stack by popping the whole stack at once and pushing the rest
// back, so no pop can be fooled by a node that left and came back (ABA).
class AURenderNotifications {
public:
    AURenderNotifications() = default;
    ~AURenderNotifications();
    AURenderNotifications(const AURenderNotifications &) = delete;
    AURenderNotifications &operator=(const AURenderNotifications &) = delete;

    // Any thread. Throws std::bad_alloc when no node can be had.
    void Add(AURenderCallback proc, void *refCon);
    void Remove(AURenderCallback proc, void *refCon);

    // Render thread: applies the pending requests, then calls every active callback in order.
    // Call hands every callback a pointer to the same copy of `flags`.
    void Update() noexcept;
    void Call(AudioUnitRenderActionFlags flags, const AudioTimeStamp *timeStamp, UInt32 bus, UInt32 frames,
              AudioBufferList *ioData) const noexcept;
    // Set by the first Add and never cleared: until then the render path skips the list entirely.
    bool Touched() const noexcept { return touched_.load(std::memory_order_acquire); }

private:
    enum Kind : UInt32 { kAdd = 0, kRemove = 1 };
    struct Node {
        Node *next;
        UInt32 kind;
        AURenderCallback proc;
        void *refCon;
    };
    static_assert(sizeof(Node) == 32, "a notification node is 32 bytes");

    Node *TakeNode();
    void Push(std::atomic<Node *> &stack, Node *first, Node *last) noexcept;
    void Request(Kind kind, AURenderCallback proc, void *refCon);

    std::atomic<Node *> pending_{nullptr};
    std::atomic<Node *> free_{nullptr};
    Node *active_ = nullptr;  // render thread only
    std::atomic<bool> touched_{false};
};
