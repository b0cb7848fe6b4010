#ifndef AU_AUDIO_COMPONENT_H
#define AU_AUDIO_COMPONENT_H

#include <CoreFoundation/CFBase.h>
#include <AudioUnit/Components.h>

CF_EXTERN_C_BEGIN

typedef struct AudioComponentDescription {
    OSType componentType;
    OSType componentSubType;
    OSType componentManufacturer;
    UInt32 componentFlags;
    UInt32 componentFlagsMask;
} AudioComponentDescription;

typedef struct OpaqueAudioComponent *AudioComponent;
typedef struct ComponentInstanceRecord *AudioComponentInstance;

/* Finds the next registered component after `inComponent` (NULL: the first) whose description
 * matches `inDesc` (zero fields match anything; NULL matches every component). The first call
 * scans the bundle folders: $AUDIO_COMPONENT_PATH (colon-separated), then
 * ~/.local/lib/audio-components, /usr/local/lib/audio-components, /usr/lib/audio-components. */
CF_EXPORT AudioComponent AudioComponentFindNext(AudioComponent inComponent, const AudioComponentDescription *inDesc);
CF_EXPORT OSStatus AudioComponentGetDescription(AudioComponent inComponent, AudioComponentDescription *outDesc);
CF_EXPORT OSStatus AudioComponentCopyName(AudioComponent inComponent, CFStringRef *outName);
CF_EXPORT OSStatus AudioComponentGetVersion(AudioComponent inComponent, UInt32 *outVersion);
CF_EXPORT UInt32 AudioComponentCount(const AudioComponentDescription *inDesc);
CF_EXPORT OSStatus AudioComponentInstanceNew(AudioComponent inComponent, AudioComponentInstance *outInstance);
CF_EXPORT OSStatus AudioComponentInstanceDispose(AudioComponentInstance inInstance);
CF_EXPORT AudioComponent AudioComponentInstanceGetComponent(AudioComponentInstance inInstance);
CF_EXPORT Boolean AudioComponentInstanceCanDo(AudioComponentInstance inInstance, SInt16 inSelectorID);

CF_EXPORT void *GetComponentInstanceStorage(AudioComponentInstance instance);
CF_EXPORT void SetComponentInstanceStorage(AudioComponentInstance instance, void *storage);

/* Linux extension: registers one `*.component` bundle folder explicitly. Reads its Info.plist
 * (CFBundleIdentifier, CFBundleExecutable, AudioComponents: type, subtype, manufacturer, name,
 * version, factoryFunction), opens Contents/x86_64-linux/<executable>.so and resolves the entry
 * symbol. A missing or malformed bundle is refused with a status and a message on stderr naming
 * the path; registering the same folder twice answers the component already registered. */
CF_EXPORT OSStatus AudioComponentRegisterBundle(const char *bundlePath, AudioComponent *outComponent);

/* Linux extension: sends an arbitrary request block to the instance's entry, as the component
 * manager would (the instance storage is passed along). For CanDo, Version and unknown selectors. */
CF_EXPORT OSStatus CallComponentDispatch(AudioComponentInstance instance, ComponentParameters *params);

CF_EXTERN_C_END

#ifdef __cplusplus
static_assert(sizeof(AudioComponentDescription) == 20, "AudioComponentDescription is 20 bytes");
#endif

#endif
