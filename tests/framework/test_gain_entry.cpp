// The test component's one exported symbol.
#include "framework/ComponentEntryPoint.h"
#include "tests/framework/TestGain.h"

extern "C" __attribute__((visibility("default"))) OSStatus FrameworkTestGainEntry(ComponentParameters *params,
                                                                                   void *storage) {
    return ComponentEntryPoint<TestGain>::Dispatch(params, storage);
}
