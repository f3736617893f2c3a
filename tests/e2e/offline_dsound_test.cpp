// The host's own DirectSound, which renders Windows runs that are not played live, against our
// platform layer's, which renders Linux runs: the same calls at the same times must give the
// same sound (each tone on the same speakers in the same 50 ms windows) and the same answers
// (status, positions), so that `--out` on Windows and on Linux tell the same story.
#include "host/offline_dsound.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

#include "platform/standin.h"
#include "support/test_folder.h"
#include "support/wave_format.h"

namespace {

const double PI = 3.14159265358979323846;

// The level of each channel (0 left, 1 right) of a 44100 Hz 16-bit stereo file, per 50 ms.
std::vector<double> levels(const std::string& path, int channel) {
    std::vector<double> result;
    FILE* file = std::fopen(path.c_str(), "rb");
    if (!file) return result;
    std::fseek(file, 44, SEEK_SET);
    std::vector<int16_t> frame(2 * 2205);
    while (std::fread(frame.data(), 4, 2205, file) == 2205) {
        double sum = 0;
        for (int i = 0; i < 2205; ++i)
            sum += double(frame[2 * i + channel]) * frame[2 * i + channel];
        result.push_back(std::sqrt(sum / 2205) / 32768.0);
    }
    std::fclose(file);
    return result;
}

// Plays the same story on a DirectSound: a mono 16-bit tone once, a stereo 8-bit one (left
// only) looping over it, the loop stopped, the first moved to its middle and played again.
// Returns the statuses and positions it saw, for comparison.
std::vector<DWORD> play(HRESULT(WINAPI* create)(LPCGUID, LPDIRECTSOUND*, LPUNKNOWN),
                        void (*pass)(double), void (*lose)()) {
    std::vector<DWORD> seen;
    IDirectSound* device = nullptr;
    if (create(nullptr, &device, nullptr) != DS_OK) return seen;
    WAVEFORMATEX mono = make_format(WAVE_FORMAT_PCM, 1, 22050, 16);
    WAVEFORMATEX stereo = make_format(WAVE_FORMAT_PCM, 2, 11025, 8);
    IDirectSoundBuffer* once = nullptr;
    IDirectSoundBuffer* loop = nullptr;
    DSBUFFERDESC d = {sizeof(DSBUFFERDESC), DSBCAPS_STATIC, 22050, 0, &mono, {}};
    device->CreateSoundBuffer(&d, &once, nullptr);
    d.dwBufferBytes = 2 * 3307;
    d.lpwfxFormat = &stereo;
    device->CreateSoundBuffer(&d, &loop, nullptr);
    if (!once || !loop) return seen;
    void* region = nullptr;
    DWORD bytes = 0;
    once->Lock(0, 22050, &region, &bytes, nullptr, nullptr, 0);
    for (DWORD i = 0; i < bytes / 2; ++i)
        static_cast<int16_t*>(region)[i] = int16_t(16000 * std::sin(2 * PI * 500 * i / 22050.0));
    once->Unlock(region, bytes, nullptr, 0);
    loop->Lock(0, 2 * 3307, &region, &bytes, nullptr, nullptr, 0);
    for (DWORD i = 0; i < bytes / 2; ++i) {
        BYTE* frame = static_cast<BYTE*>(region) + 2 * i;
        frame[0] = BYTE(128 + 100 * std::sin(2 * PI * 900 * i / 11025.0));
        frame[1] = 128;
    }
    loop->Unlock(region, bytes, nullptr, 0);

    DWORD status = 0, position = 0;
    once->Play(0, 0, 0);
    pass(0.2);
    loop->Play(0, 0, DSBPLAY_LOOPING);
    pass(1.0);
    loop->GetStatus(&status);
    seen.push_back(status);
    loop->Stop();
    loop->GetCurrentPosition(&position, nullptr);
    seen.push_back(position);
    once->GetStatus(&status);  // its half second ended long ago
    seen.push_back(status);
    once->GetCurrentPosition(&position, nullptr);
    seen.push_back(position);
    once->SetCurrentPosition(11025 + 1);
    once->Play(0, 0, 0);
    pass(0.5);
    once->GetStatus(&status);
    seen.push_back(status);
    // Lost while it loops: silent and empty until restored and filled again.
    once->Play(0, 0, DSBPLAY_LOOPING);
    pass(0.1);
    lose();
    once->GetStatus(&status);
    seen.push_back(status);
    seen.push_back(static_cast<DWORD>(once->Play(0, 0, 0)));
    pass(0.1);
    seen.push_back(static_cast<DWORD>(once->Restore()));
    once->Play(0, 0, 0);  // restored, but empty: silence
    pass(0.1);
    once->Lock(0, 22050, &region, &bytes, nullptr, nullptr, 0);
    for (DWORD i = 0; i < bytes / 2; ++i)
        static_cast<int16_t*>(region)[i] = int16_t(16000 * std::sin(2 * PI * 500 * i / 22050.0));
    once->Unlock(region, bytes, nullptr, 0);
    once->Stop();
    once->SetCurrentPosition(0);
    once->Play(0, 0, 0);
    pass(0.3);
    once->Release();
    loop->Release();
    device->Release();
    return seen;
}

TEST(OfflineDirectSound, SoundsAndAnswersAsThePlatformLayerDoes) {
    TestFolder folder;
    ASSERT_TRUE(folder.ok());
    const std::string ours = folder.file("host.wav"), theirs = folder.file("platform.wav");
    std::string error;
    ASSERT_TRUE(offline_dsound::start_output(ours, error)) << error;
    const std::vector<DWORD> host_seen =
        play(&offline_dsound::DirectSoundCreate, &offline_dsound::advance,
             &offline_dsound::lose_all_buffers);
    offline_dsound::finish_output();
    EXPECT_EQ(offline_dsound::live_buffers(), 0);
    EXPECT_EQ(offline_dsound::live_devices(), 0);
    ASSERT_EQ(standin_set_output(STANDIN_OUTPUT_FILE, theirs.c_str()), 0);
    const std::vector<DWORD> platform_seen =
        play(&DirectSoundCreate, &standin_advance_time, &standin_lose_all_buffers);
    standin_finish_output();

    ASSERT_EQ(host_seen.size(), 8u);
    EXPECT_EQ(host_seen, platform_seen);
    for (int channel = 0; channel < 2; ++channel) {
        const std::vector<double> a = levels(ours, channel), b = levels(theirs, channel);
        ASSERT_EQ(a.size(), 46u);  // 2.3 s
        ASSERT_EQ(a.size(), b.size());
        // A tone missing, extra or on the wrong speaker moves a window by 0.19 or more; the two
        // mixers' own starts differ by a few milliseconds.
        for (size_t w = 0; w < a.size(); ++w)
            EXPECT_NEAR(a[w], b[w], 0.07) << "channel " << channel << ", window " << w;
    }
}

}  // namespace
