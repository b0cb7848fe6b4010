#ifndef AUDIO_TOOLBOX_H
#define AUDIO_TOOLBOX_H

#include <CoreFoundation/CoreFoundation.h>
#include <AudioUnit/AudioUnit.h>
#include <AudioToolbox/AudioUnitUtilities.h>

#endif
