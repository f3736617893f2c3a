// dsound_play: plays one tone through this Windows' DirectSound with no module at all, printing
// after every call, so that a hang or crash of the DirectSound underneath (Wine's own, in the
// 32-bit runs under emulation) shows which call it was in. Exits 0 when every call returned.
//   dsound_play [--no-play] [--keep]
//     --no-play  create the device and the buffer, but never play
//     --keep     end the process without releasing anything
#include <cmath>
#include <cstdio>
#include <cstring>
#include <vector>

#include "platform/win32.h"

namespace {

void step(const char* what, long result) {
    std::printf("%s: 0x%08lX\n", what, static_cast<unsigned long>(result));
    std::fflush(stdout);
}

}  // namespace

int main(int argc, char** argv) {
    bool play = true;
    bool keep = false;
    for (int i = 1; i < argc; ++i) {
        if (std::strcmp(argv[i], "--no-play") == 0) play = false;
        if (std::strcmp(argv[i], "--keep") == 0) keep = true;
    }
    IDirectSound* device = nullptr;
    HRESULT result = DirectSoundCreate(nullptr, &device, nullptr);
    step("DirectSoundCreate", result);
    if (FAILED(result)) return 1;

    const DWORD rate = 22050;
    WAVEFORMATEX format = {};
    format.wFormatTag = WAVE_FORMAT_PCM;
    format.nChannels = 1;
    format.nSamplesPerSec = rate;
    format.wBitsPerSample = 16;
    format.nBlockAlign = 2;
    format.nAvgBytesPerSec = rate * 2;
    DSBUFFERDESC description = {};
    description.dwSize = sizeof description;
    description.dwFlags = DSBCAPS_STATIC;
    description.dwBufferBytes = rate * 2;  // one second
    description.lpwfxFormat = &format;
    IDirectSoundBuffer* buffer = nullptr;
    result = device->CreateSoundBuffer(&description, &buffer, nullptr);
    step("CreateSoundBuffer", result);
    if (FAILED(result)) return 1;

    void* region = nullptr;
    DWORD bytes = 0;
    void* region2 = nullptr;
    DWORD bytes2 = 0;
    result = buffer->Lock(0, description.dwBufferBytes, &region, &bytes, &region2, &bytes2, 0);
    step("Lock", result);
    if (FAILED(result)) return 1;
    std::vector<short> tone(bytes / 2);
    for (size_t i = 0; i < tone.size(); ++i)
        tone[i] = static_cast<short>(16000 * std::sin(2 * 3.14159265358979 * 440 * i / rate));
    std::memcpy(region, tone.data(), tone.size() * 2);
    step("Unlock", buffer->Unlock(region, bytes, nullptr, 0));
    if (play) {
        step("Play", buffer->Play(0, 0, 0));
        Sleep(1500);
        step("Sleep", 0);
        step("Stop", buffer->Stop());
    }
    if (keep) return 0;
    step("buffer Release", static_cast<long>(buffer->Release()));
    step("device Release", static_cast<long>(device->Release()));
    return 0;
}
