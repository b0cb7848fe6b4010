// The component's one exported entry: the effect writes
//   extern "C" OSStatus ZentrovaEntry(ComponentParameters* p, void* s)
//   { return ComponentEntryPoint<Zentrova>::Dispatch(p, s); }
#pragma once

#include "framework/AUBase.h"
#include "platform/component_request.h"

#include <memory>
#include <type_traits>

template <class Implementor> struct ComponentEntryPoint {
    static_assert(std::is_base_of_v<AUBase, Implementor>, "the entry dispatches to AUBase");

    // Any host thread (Render: the render thread). Open constructs an Implementor for the handle in
    // slot 0 and hands it to the host as the instance storage; every other selector goes to the
    // instance that the storage names.
    static OSStatus Dispatch(ComponentParameters *params, void *storage) {
        if (params == nullptr) return paramErr;
        if (params->what == kComponentOpenSelect) return Open(params);
        if (storage == nullptr) return paramErr;
        return AUBase::ComponentEntryDispatch(params, static_cast<AUBase *>(storage));
    }

private:
    static OSStatus Open(ComponentParameters *params) {
        const AudioComponentInstance handle = platform::ComponentRequest(params).instance();
        // Without a handle the instance could never be handed back to the host: refuse it.
        if (handle == nullptr) return paramErr;
        std::lock_guard<std::mutex> lock(ComponentBase::OpenMutex());
        return ComponentBase::Guard([&]() -> OSStatus {
            // Should PostConstructor fail, the half-made instance is destroyed rather than leaked:
            // the host never receives storage for it.
            std::unique_ptr<Implementor> instance(new Implementor(handle));
            instance->PostConstructor();
            AUBase *base = instance.release();
            SetComponentInstanceStorage(handle, base);
            return noErr;
        });
    }
};
