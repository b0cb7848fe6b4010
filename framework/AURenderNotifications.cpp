#include "framework/AURenderNotifications.h"

#include <new>

AURenderNotifications::~AURenderNotifications() {
    for (Node *stack : {pending_.load(), free_.load(), active_}) {
        while (stack != nullptr) {
            Node *next = stack->next;
            delete stack;
            stack = next;
        }
    }
}

void AURenderNotifications::Push(std::atomic<Node *> &stack, Node *first, Node *last) noexcept {
    Node *head = stack.load(std::memory_order_relaxed);
    do {
        last->next = head;
    } while (!stack.compare_exchange_weak(head, first, std::memory_order_release, std::memory_order_relaxed));
}

AURenderNotifications::Node *AURenderNotifications::TakeNode() {
    // Pop the whole free stack, keep its first node and give the rest back.
    Node *all = free_.exchange(nullptr, std::memory_order_acquire);
    if (all == nullptr) return new Node{};
    if (Node *rest = all->next) {
        Node *last = rest;
        while (last->next != nullptr) last = last->next;
        Push(free_, rest, last);
    }
    all->next = nullptr;
    return all;
}

void AURenderNotifications::Request(Kind kind, AURenderCallback proc, void *refCon) {
    Node *node = TakeNode();
    node->kind = kind;
    node->proc = proc;
    node->refCon = refCon;
    Push(pending_, node, node);
}

void AURenderNotifications::Add(AURenderCallback proc, void *refCon) {
    touched_.store(true, std::memory_order_release);
    Request(kAdd, proc, refCon);
}

void AURenderNotifications::Remove(AURenderCallback proc, void *refCon) { Request(kRemove, proc, refCon); }

void AURenderNotifications::Update() noexcept {
    Node *taken = pending_.exchange(nullptr, std::memory_order_acquire);
    // The stack holds the newest request first: reverse it into arrival order.
    Node *inOrder = nullptr;
    while (taken != nullptr) {
        Node *next = taken->next;
        taken->next = inOrder;
        inOrder = taken;
        taken = next;
    }
    while (inOrder != nullptr) {
        Node *request = inOrder;
        inOrder = inOrder->next;
        request->next = nullptr;
        Node **link = &active_;
        while (*link != nullptr && !((*link)->proc == request->proc && (*link)->refCon == request->refCon))
            link = &(*link)->next;
        if (request->kind == kAdd) {
            if (*link == nullptr)
                *link = request;  // appended at the end: callbacks run in order of addition
            else
                Push(free_, request, request);  // already active: adding twice changes nothing
        } else {
            if (Node *found = *link) {
                *link = found->next;
                Push(free_, found, found);
            }
            Push(free_, request, request);
        }
    }
}

void AURenderNotifications::Call(AudioUnitRenderActionFlags flags, const AudioTimeStamp *timeStamp, UInt32 bus,
                                 UInt32 frames, AudioBufferList *ioData) const noexcept {
    // One flags word for the whole round: a callback sees what the callbacks before it left there,
    // as with any chain of notifications sharing the host's word.
    for (const Node *node = active_; node != nullptr; node = node->next)
        node->proc(node->refCon, &flags, timeStamp, bus, frames, ioData);
}
