/* The component request block and entry-point types of the original component manager. */
#ifndef AU_COMPONENTS_H
#define AU_COMPONENTS_H

#include <CoreFoundation/CFBase.h>

CF_EXTERN_C_BEGIN

/* 64-bit layout: selector in `what`, then one 64-bit slot per argument. */
typedef struct ComponentParameters {
    UInt8 flags;
    UInt8 paramSize;
    SInt16 what;
    UInt32 padding;
    uintptr_t params[1]; /* as many slots as the selector needs */
} ComponentParameters;

typedef OSStatus (*ComponentRoutineProcPtr)(ComponentParameters *params, void *storage);

enum {
    kComponentOpenSelect = -1,
    kComponentCloseSelect = -2,
    kComponentCanDoSelect = -3,
    kComponentVersionSelect = -4,
    kComponentRegisterSelect = -5,
    kComponentTargetSelect = -6,
    kComponentUnregisterSelect = -7
};

enum {
    badComponentInstance = (OSStatus)0x80008001,
    badComponentSelector = (OSStatus)0x80008002
};

CF_EXTERN_C_END

#ifdef __cplusplus
static_assert(sizeof(ComponentParameters) == 16, "ComponentParameters header plus one slot");
#endif

#endif
