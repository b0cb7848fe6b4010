// Instances: the record behind AudioComponentInstance, Open and Close, instance storage and the
// raw dispatch call. Runs on host control threads.
#include "au/component_registry.h"
#include "au/listener_service.h"
#include "platform/component_request.h"

#include <new>

using platform::RequestBlock;

extern "C" {

OSStatus AudioComponentInstanceNew(AudioComponent inComponent, AudioComponentInstance *outInstance) {
    if (!outInstance) return paramErr;
    *outInstance = nullptr;
    if (!inComponent || !inComponent->entry) return paramErr;
    auto *instance = new (std::nothrow) ComponentInstanceRecord;
    if (!instance) return memFullErr;
    instance->component = inComponent;
    instance->entry = inComponent->entry;

    // Open: slot 0 carries the new handle, the storage is still NULL; the component answers by
    // calling SetComponentInstanceStorage before it returns.
    RequestBlock<1> open(kComponentOpenSelect);
    open.set(0, platform::encode_ptr(instance));
    const OSStatus status = instance->entry(open.get(), nullptr);
    if (status != noErr) {
        delete instance;
        return status;
    }
    *outInstance = instance;
    return noErr;
}

// Close goes to the component whatever it answers, and the record is freed either way: after
// Dispose the handle is gone, so there is nothing a caller could retry. Listeners still
// registered for the unit forget it, so a later AUListenerDispose does not call into it.
OSStatus AudioComponentInstanceDispose(AudioComponentInstance inInstance) {
    if (!inInstance) return badComponentInstance;
    RequestBlock<1> close(kComponentCloseSelect);
    close.set(0, platform::encode_ptr(inInstance));
    const OSStatus status = inInstance->entry(close.get(), inInstance->storage);
    platform::au::forget_unit_listeners(inInstance);
    delete inInstance;
    return status;
}

AudioComponent AudioComponentInstanceGetComponent(AudioComponentInstance inInstance) {
    return inInstance ? inInstance->component : nullptr;
}

// CanDo carries the selector asked about in slot 0, sign-extended so that a component reading
// the slot as a 16-bit or as a 32-bit number sees the same negative selector.
Boolean AudioComponentInstanceCanDo(AudioComponentInstance inInstance, SInt16 inSelectorID) {
    if (!inInstance) return false;
    RequestBlock<1> can_do(kComponentCanDoSelect);
    can_do.set(0, platform::encode_selector(inSelectorID));
    return inInstance->entry(can_do.get(), inInstance->storage) > 0;
}

void *GetComponentInstanceStorage(AudioComponentInstance instance) {
    return instance ? instance->storage : nullptr;
}

void SetComponentInstanceStorage(AudioComponentInstance instance, void *storage) {
    if (instance) instance->storage = storage;
}

OSStatus CallComponentDispatch(AudioComponentInstance instance, ComponentParameters *params) {
    if (!instance) return badComponentInstance;
    if (!params) return paramErr;
    return instance->entry(params, instance->storage);
}

}  // extern "C"
