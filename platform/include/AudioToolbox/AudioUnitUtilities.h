/* The event-listener service: parameter and property changes delivered to listeners, each on the
 * run loop it was created with. */
#ifndef AT_AUDIO_UNIT_UTILITIES_H
#define AT_AUDIO_UNIT_UTILITIES_H

#include <CoreFoundation/CoreFoundation.h>
#include <AudioUnit/AudioUnit.h>

CF_EXTERN_C_BEGIN

typedef struct AudioUnitParameter {
    AudioUnit mAudioUnit;
    AudioUnitParameterID mParameterID;
    AudioUnitScope mScope;
    AudioUnitElement mElement;
} AudioUnitParameter;

typedef struct AudioUnitProperty {
    AudioUnit mAudioUnit;
    AudioUnitPropertyID mPropertyID;
    AudioUnitScope mScope;
    AudioUnitElement mElement;
} AudioUnitProperty;

typedef UInt32 AudioUnitEventType;
enum {
    kAudioUnitEvent_ParameterValueChange = 0,
    kAudioUnitEvent_BeginParameterChangeGesture = 1,
    kAudioUnitEvent_EndParameterChangeGesture = 2,
    kAudioUnitEvent_PropertyChange = 3
};

typedef struct AudioUnitEvent {
    AudioUnitEventType mEventType;
    union {
        AudioUnitParameter mParameter;
        AudioUnitProperty mProperty;
    } mArgument;
} AudioUnitEvent;

typedef struct AUListenerBase *AUParameterListenerRef;
typedef AUParameterListenerRef AUEventListenerRef;

typedef void (*AUEventListenerProc)(void *inCallbackRefCon, void *inObject, const AudioUnitEvent *inEvent,
                                    UInt64 inEventHostTime, AudioUnitParameterValue inParameterValue);

/* The callback runs only on inRunLoop, while its thread runs it. Events wait for the next run of
 * that run loop and are then delivered without further delay, so an offline host that runs its run
 * loop with a zero timeout delivers everything pending. Between two deliveries, the changes of one
 * parameter collapse to the latest value (kept in the position of the first), and a property
 * announced several times is delivered once. inNotificationInterval and inValueChangeGranularity
 * (seconds; negative or non-finite values answer paramErr) therefore delay nothing: a change waits
 * at most for the next run of the loop, or, when announced from the render thread (which cannot
 * wake the loop), for its next poll (CFRunLoopGetPollInterval). NULL inRunLoop: the calling
 * thread's run loop; NULL inRunLoopMode: kCFRunLoopDefaultMode. */
CF_EXPORT OSStatus AUEventListenerCreate(AUEventListenerProc inProc, void *inCallbackRefCon, CFRunLoopRef inRunLoop,
                                         CFStringRef inRunLoopMode, Float32 inNotificationInterval,
                                         Float32 inValueChangeGranularity, AUEventListenerRef *outListener);
CF_EXPORT OSStatus AUEventListenerAddEventType(AUEventListenerRef inListener, void *inObject,
                                               const AudioUnitEvent *inEvent);
CF_EXPORT OSStatus AUEventListenerRemoveEventType(AUEventListenerRef inListener, void *inObject,
                                                  const AudioUnitEvent *inEvent);
/* Delivers the event to every listener registered for it except the sending one; for a parameter
 * change the listeners receive the parameter's current value. */
CF_EXPORT OSStatus AUEventListenerNotify(AUEventListenerRef inSendingListener, void *inSendingObject,
                                         const AudioUnitEvent *inEvent);
/* Stores the value through the unit (AudioUnitSetParameter) and notifies every listener registered
 * for the parameter except the sender. */
CF_EXPORT OSStatus AUParameterSet(AUParameterListenerRef inSendingListener, void *inSendingObject,
                                  const AudioUnitParameter *inParameter, AudioUnitParameterValue inValue,
                                  UInt32 inBufferOffsetInFrames);
CF_EXPORT OSStatus AUParameterListenerNotify(AUParameterListenerRef inSendingListener, void *inSendingObject,
                                             const AudioUnitParameter *inParameter);
/* After this returns the callback is never called again, not even for events already queued. */
CF_EXPORT OSStatus AUListenerDispose(AUParameterListenerRef inListener);

CF_EXTERN_C_END

#endif
