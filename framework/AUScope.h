// Scopes: global, input, output, group and part, each an ordered list of owned elements.
#pragma once

#include "framework/AUElement.h"

#include <memory>
#include <vector>

// Creates the element of the right class for a scope (AUBase implements it).
class AUElementCreator {
public:
    virtual ~AUElementCreator() = default;
    virtual AUElement *CreateElement(AudioUnitScope scope, AudioUnitElement element) = 0;
};

// Threads: the element list changes only on host threads while the instance is not initialized
// (construction, SetBusCount, a restored state's element names); lookups are allocation-free
// and, through the noexcept forms, usable on the render thread.
class AUScope {
public:
    AUScope() = default;
    void Initialize(AUElementCreator *creator, AudioUnitScope scope) {
        creator_ = creator;
        scope_ = scope;
    }

    AudioUnitScope GetScope() const { return scope_; }
    UInt32 GetNumberOfElements() const { return static_cast<UInt32>(elements_.size()); }
    // Grows by creating elements through the creator, shrinks by destroying from the end.
    void SetNumberOfElements(UInt32 count);

    // nullptr for a missing element.
    AUElement *GetElement(AudioUnitElement index) const noexcept {
        return index < elements_.size() ? elements_[index].get() : nullptr;
    }
    // Throws kAudioUnitErr_InvalidElement for a missing element.
    AUElement &SafeGetElement(AudioUnitElement index) const;

    // The largest parameter count among the elements (the first of equals), or nullptr when the
    // scope is empty.
    AUElement *ElementWithMostParameters() const;

private:
    AUElementCreator *creator_ = nullptr;
    AudioUnitScope scope_ = 0;
    std::vector<std::unique_ptr<AUElement>> elements_;
};
