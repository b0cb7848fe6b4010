#include "framework/AUScope.h"

void AUScope::SetNumberOfElements(UInt32 count) {
    if (count < elements_.size()) {
        elements_.resize(count);
        return;
    }
    elements_.reserve(count);
    while (elements_.size() < count)
        elements_.emplace_back(creator_->CreateElement(scope_, static_cast<AudioUnitElement>(elements_.size())));
}

AUElement &AUScope::SafeGetElement(AudioUnitElement index) const {
    AUElement *element = GetElement(index);
    if (element == nullptr) throw OSStatus(kAudioUnitErr_InvalidElement);
    return *element;
}

AUElement *AUScope::ElementWithMostParameters() const {
    AUElement *best = nullptr;
    for (const auto &element : elements_)
        if (best == nullptr || element->GetNumberOfParameters() > best->GetNumberOfParameters()) best = element.get();
    return best;
}
