#ifndef AUDIO_UNIT_H
#define AUDIO_UNIT_H

#include <AudioUnit/CoreAudioTypes.h>
#include <AudioUnit/Components.h>
#include <AudioUnit/AudioComponent.h>
#include <AudioUnit/AUComponent.h>
#include <AudioUnit/AudioUnitProperties.h>

#endif
