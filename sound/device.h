// SoundDevice: the one DirectSound device that every slot buffer is made on.
#pragma once

#include "platform/win32.h"

struct SoundDevice {
    IDirectSound* device = nullptr;
};

// The module-wide holder.
SoundDevice& sound_device();

HRESULT start_sound_device();
HRESULT release_sound_device();
