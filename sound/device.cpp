// Owns the module's one DirectSound device, bound to the simulator's main window.
#include "sound/device.h"

namespace {
SoundDevice holder;
}

SoundDevice& sound_device() { return holder; }

HRESULT start_sound_device() {
    // A start without a release in between must not lose the device already held.
    release_sound_device();
    HRESULT result = DirectSoundCreate(nullptr, &holder.device, nullptr);
    if (FAILED(result)) {
        holder.device = nullptr;
        return result;
    }
    HWND window = FindWindowA("FS98MAIN", nullptr);
    result = holder.device->SetCooperativeLevel(window, DSSCL_NORMAL);
    if (FAILED(result)) return result;
    return DS_OK;
}

HRESULT release_sound_device() {
    if (holder.device) {
        holder.device->Release();
        holder.device = nullptr;
    }
    return DS_OK;
}
