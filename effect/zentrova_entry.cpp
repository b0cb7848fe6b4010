// The component's exported symbols: every host request enters here, one entry per component the
// bundle's Info.plist lists.
#include "effect/Zentrova.h"
#include "effect/ZentrovaKeyed.h"
#include "framework/ComponentEntryPoint.h"

extern "C" __attribute__((visibility("default"))) OSStatus ZentrovaEntry(ComponentParameters *params, void *storage) {
    return ComponentEntryPoint<Zentrova>::Dispatch(params, storage);
}

extern "C" __attribute__((visibility("default"))) OSStatus ZentrovaKeyedEntry(ComponentParameters *params,
                                                                              void *storage) {
    return ComponentEntryPoint<ZentrovaKeyed>::Dispatch(params, storage);
}
