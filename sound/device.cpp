// Owns the module's one DirectSound device, bound to the simulator's main window.
#include "sound/device.h"

namespace {
SoundDevice holder;
}

SoundDevice& sound_device() { return holder; }

HRESULT start_sound_device() {
    // A second connect without a disconnect keeps the device it holds: every slot's buffer was
    // made on it and would die with it, leaving the slots with buffers of a released device.
    if (holder.device) return DS_OK;
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
