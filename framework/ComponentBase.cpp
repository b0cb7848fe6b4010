#include "framework/ComponentBase.h"

#include "platform/component_request.h"

#include <new>

namespace {
// Statically initialised: it exists before any Open can run, in whatever order libraries load.
constinit std::mutex gOpenMutex;
}  // namespace

std::mutex &ComponentBase::OpenMutex() { return gOpenMutex; }

OSStatus ComponentBase::CurrentExceptionStatus() noexcept {
    try {
        throw;
    } catch (const std::bad_alloc &) {
        return memFullErr;
    } catch (OSStatus status) {
        return status;
    } catch (SInt16 status) {
        return status;  // sign-extended
    } catch (...) {
        return -1;
    }
}

OSStatus ComponentBase::ComponentEntryDispatch(ComponentParameters *params, ComponentBase *self) {
    switch (params->what) {
    case kComponentCloseSelect:
        self->PreDestructor();
        delete self;
        return noErr;
    case kComponentVersionSelect:
        return self->Version();
    case kComponentCanDoSelect: {
        const SInt16 asked = platform::ComponentRequest(params).asked_selector();
        return asked <= kComponentOpenSelect && asked >= kComponentVersionSelect ? 1 : 0;
    }
    default:
        return badComponentSelector;
    }
}
