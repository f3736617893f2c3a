// dsound_probe: tells whether this Windows (Wine, in the test runs) has a DirectSound device, so
// the run without an audio server can show that DirectSoundCreate really fails there.
// Prints the result code; exits 0 when a device was created, 1 when not.
#include <cstdio>

#include "platform/win32.h"

int main() {
    IDirectSound* device = nullptr;
    const HRESULT result = DirectSoundCreate(nullptr, &device, nullptr);
    std::printf("DirectSoundCreate: 0x%08lX\n", static_cast<unsigned long>(result));
    if (FAILED(result)) return 1;
    device->Release();
    return 0;
}
