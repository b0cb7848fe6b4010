// The component's one exported symbol: every host request enters here.
#include "effect/Zentrova.h"
#include "framework/ComponentEntryPoint.h"

extern "C" __attribute__((visibility("default"))) OSStatus ZentrovaEntry(ComponentParameters *params, void *storage) {
    return ComponentEntryPoint<Zentrova>::Dispatch(params, storage);
}
