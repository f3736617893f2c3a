// DirectSound as the module relies on it: which buffers can be made, how locks, positions and
// the status behave, and how a buffer plays over time. Written with Win32 names only, so the
// same tests run against our stand-in and, built for Windows, against Wine's DirectSound.
// Time passes by itself on both, so timed cases poll the status up to a generous deadline.
#include <gtest/gtest.h>

#include <chrono>
#include <cstring>
#include <vector>

#include "platform/win32.h"
#include "support/wave_format.h"

namespace {

const double DEADLINE_SECONDS = 5.0;

#pragma pack(push, 1)
// WAVEFORMATEXTENSIBLE, spelt out so the test needs nothing beyond the names we declare.
struct ExtensibleFormat {
    WAVEFORMATEX format;
    WORD valid_bits;
    DWORD channel_mask;
    GUID sub_format;
};
#pragma pack(pop)

const WORD EXTENSIBLE_TAG = 0xFFFE;
// KSDATAFORMAT_SUBTYPE_PCM and _IEEE_FLOAT share this GUID apart from their first field.
const GUID SUB_FORMAT_PCM = {
    0x00000001, 0x0000, 0x0010, {0x80, 0x00, 0x00, 0xAA, 0x00, 0x38, 0x9B, 0x71}};

DSBUFFERDESC make_description(WAVEFORMATEX* format, DWORD bytes) {
    DSBUFFERDESC description = {};
    description.dwSize = sizeof(DSBUFFERDESC);
    description.dwFlags = DSBCAPS_STATIC;
    description.dwBufferBytes = bytes;
    description.lpwfxFormat = format;
    return description;
}

double seconds_since(std::chrono::steady_clock::time_point start) {
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
}

class DirectSoundTest : public ::testing::Test {
  protected:
    void SetUp() override {
        ASSERT_EQ(DirectSoundCreate(nullptr, &device, nullptr), DS_OK);
        ASSERT_NE(device, nullptr);
        ASSERT_EQ(device->SetCooperativeLevel(nullptr, DSSCL_NORMAL), DS_OK);
    }

    void TearDown() override {
        for (IDirectSoundBuffer* buffer : buffers) buffer->Release();
        if (device) {
            EXPECT_EQ(device->Release(), 0u);
        }
    }

    // Creates a buffer from `format`; the test releases it at the end.
    HRESULT create(WAVEFORMATEX format, DWORD bytes, IDirectSoundBuffer** made = nullptr) {
        DSBUFFERDESC description = make_description(&format, bytes);
        IDirectSoundBuffer* buffer = nullptr;
        const HRESULT result = device->CreateSoundBuffer(&description, &buffer, nullptr);
        if (SUCCEEDED(result)) {
            EXPECT_NE(buffer, nullptr);
            if (buffer) buffers.push_back(buffer);
        } else {
            EXPECT_EQ(buffer, nullptr);
        }
        if (made) *made = buffer;
        return result;
    }

    HRESULT create(WORD tag, WORD channels, DWORD rate, WORD bits, DWORD bytes) {
        return create(make_format(tag, channels, rate, bits), bytes);
    }

    // A buffer of `seconds` of 8-bit mono sound at 11025 Hz, filled with a ramp.
    IDirectSoundBuffer* short_buffer(double seconds) {
        IDirectSoundBuffer* buffer = nullptr;
        EXPECT_EQ(create(make_format(WAVE_FORMAT_PCM, 1, 11025, 8),
                         static_cast<DWORD>(seconds * 11025), &buffer),
                  DS_OK);
        if (!buffer) return nullptr;
        LPVOID region;
        DWORD bytes;
        if (buffer->Lock(0, 0, &region, &bytes, nullptr, nullptr, DSBLOCK_ENTIREBUFFER) == DS_OK) {
            for (DWORD i = 0; i < bytes; ++i) static_cast<BYTE*>(region)[i] = BYTE(i);
            buffer->Unlock(region, bytes, nullptr, 0);
        }
        return buffer;
    }

    static DWORD size_of(IDirectSoundBuffer* buffer) {
        LPVOID region = nullptr;
        DWORD bytes = 0;
        EXPECT_EQ(buffer->Lock(0, 0, &region, &bytes, nullptr, nullptr, DSBLOCK_ENTIREBUFFER),
                  DS_OK);
        buffer->Unlock(region, bytes, nullptr, 0);
        return bytes;
    }

    static DWORD status_of(IDirectSoundBuffer* buffer) {
        DWORD status = 0xFFFFFFFF;
        EXPECT_EQ(buffer->GetStatus(&status), DS_OK);
        return status;
    }

    static DWORD position_of(IDirectSoundBuffer* buffer) {
        DWORD play = 0xFFFFFFFF, write = 0xFFFFFFFF;
        EXPECT_EQ(buffer->GetCurrentPosition(&play, &write), DS_OK);
        return play;
    }

    // Polls until `done` holds; false when the deadline passes first.
    template <class Condition>
    static bool wait_until(Condition done) {
        const auto start = std::chrono::steady_clock::now();
        while (!done()) {
            if (seconds_since(start) > DEADLINE_SECONDS) return false;
            Sleep(5);
        }
        return true;
    }

    IDirectSound* device = nullptr;
    std::vector<IDirectSoundBuffer*> buffers;
};

// ---- Devices ----

TEST(DirectSoundDevice, CreationNeedsAPlaceForTheDevice) {
    EXPECT_EQ(DirectSoundCreate(nullptr, nullptr, nullptr), DSERR_INVALIDPARAM);
}

TEST(DirectSoundDevice, TwoDevicesLiveSideBySide) {
    IDirectSound* first = nullptr;
    IDirectSound* second = nullptr;
    ASSERT_EQ(DirectSoundCreate(nullptr, &first, nullptr), DS_OK);
    ASSERT_EQ(DirectSoundCreate(nullptr, &second, nullptr), DS_OK);
    EXPECT_NE(first, second);
    WAVEFORMATEX format = make_format(WAVE_FORMAT_PCM, 2, 22050, 16);
    DSBUFFERDESC description = make_description(&format, 4000);
    IDirectSoundBuffer* buffer = nullptr;
    ASSERT_EQ(second->CreateSoundBuffer(&description, &buffer, nullptr), DS_OK);
    EXPECT_EQ(first->Release(), 0u);
    // The second device and its buffer are untouched by the first one's end.
    DWORD status = 0xFF;
    EXPECT_EQ(buffer->GetStatus(&status), DS_OK);
    EXPECT_EQ(status, 0u);
    EXPECT_EQ(buffer->Release(), 0u);
    EXPECT_EQ(second->Release(), 0u);
}

TEST_F(DirectSoundTest, CooperationLevelTakesANullWindow) {
    EXPECT_EQ(device->SetCooperativeLevel(nullptr, DSSCL_NORMAL), DS_OK);
    EXPECT_EQ(device->SetCooperativeLevel(nullptr, DSSCL_PRIORITY), DS_OK);
}

TEST_F(DirectSoundTest, ReferencesAreCountedPerObject) {
    EXPECT_EQ(device->AddRef(), 2u);
    IDirectSoundBuffer* buffer = short_buffer(0.1);
    ASSERT_NE(buffer, nullptr);
    EXPECT_EQ(buffer->AddRef(), 2u);
    EXPECT_EQ(buffer->AddRef(), 3u);
    EXPECT_EQ(buffer->Release(), 2u);
    EXPECT_EQ(buffer->Release(), 1u);
    EXPECT_EQ(device->Release(), 1u);
}

// ---- Making buffers ----

TEST_F(DirectSoundTest, AcceptsPcmAndFloatOfWholeBytes) {
    const WORD pcm_bits[] = {8, 16, 24, 32};
    for (WORD bits : pcm_bits) {
        for (WORD channels = 1; channels <= 6; ++channels) {
            EXPECT_EQ(create(WAVE_FORMAT_PCM, channels, 22050, bits, 4800), DS_OK)
                << bits << "-bit, " << channels << " channels";
        }
    }
    EXPECT_EQ(create(WAVE_FORMAT_IEEE_FLOAT, 1, 44100, 32, 4800), DS_OK);
    EXPECT_EQ(create(WAVE_FORMAT_IEEE_FLOAT, 2, 48000, 32, 4800), DS_OK);
}

TEST_F(DirectSoundTest, AcceptsAnyRateAboveZero) {
    const DWORD rates[] = {1, 50, 8000, 11025, 44100, 96000, 500000, 1000000};
    for (DWORD rate : rates) {
        EXPECT_EQ(create(WAVE_FORMAT_PCM, 1, rate, 16, 1000), DS_OK) << rate << " Hz";
    }
}

TEST_F(DirectSoundTest, ReadsTheKindOfSampleOfTheExtensibleForm) {
    ExtensibleFormat extensible = {};
    extensible.format = make_format(EXTENSIBLE_TAG, 2, 48000, 24);
    extensible.format.cbSize = 22;
    extensible.valid_bits = 24;
    extensible.channel_mask = 0x3;
    extensible.sub_format = SUB_FORMAT_PCM;
    DSBUFFERDESC description = make_description(&extensible.format, 6000);
    IDirectSoundBuffer* buffer = nullptr;
    ASSERT_EQ(device->CreateSoundBuffer(&description, &buffer, nullptr), DS_OK);
    buffers.push_back(buffer);
    extensible.sub_format.Data1 = WAVE_FORMAT_IEEE_FLOAT;
    extensible.format = make_format(EXTENSIBLE_TAG, 2, 48000, 32);
    extensible.format.cbSize = 22;
    ASSERT_EQ(device->CreateSoundBuffer(&description, &buffer, nullptr), DS_OK);
    buffers.push_back(buffer);
    // Unlike a plain format, the extensible form refuses a sub-format as a broken parameter.
    extensible.sub_format.Data1 = WAVE_FORMAT_ADPCM;
    EXPECT_EQ(device->CreateSoundBuffer(&description, &buffer, nullptr), DSERR_INVALIDPARAM);
    extensible.sub_format = SUB_FORMAT_PCM;
    extensible.sub_format.Data4[7] = 0;
    EXPECT_EQ(device->CreateSoundBuffer(&description, &buffer, nullptr), DSERR_INVALIDPARAM);
    extensible.sub_format = SUB_FORMAT_PCM;
    extensible.valid_bits = 33;
    EXPECT_EQ(device->CreateSoundBuffer(&description, &buffer, nullptr), DSERR_INVALIDPARAM);
    extensible.valid_bits = 32;
    extensible.format.cbSize = 21;
    EXPECT_EQ(device->CreateSoundBuffer(&description, &buffer, nullptr), DSERR_INVALIDPARAM);
}

TEST_F(DirectSoundTest, RefusesBrokenFormats) {
    EXPECT_EQ(create(WAVE_FORMAT_PCM, 0, 22050, 16, 1000), DSERR_INVALIDPARAM) << "no channels";
    EXPECT_EQ(create(WAVE_FORMAT_PCM, 1, 0, 16, 1000), DSERR_INVALIDPARAM) << "rate 0";
    EXPECT_EQ(create(WAVE_FORMAT_PCM, 1, 22050, 12, 1000), DSERR_INVALIDPARAM) << "12-bit";
    EXPECT_EQ(create(WAVE_FORMAT_PCM, 2, 22050, 12, 1000), DSERR_INVALIDPARAM) << "12-bit";
    EXPECT_EQ(create(WAVE_FORMAT_PCM, 1, 22050, 4, 1000), DSERR_INVALIDPARAM) << "4-bit";
    EXPECT_EQ(create(WAVE_FORMAT_PCM, 1, 22050, 0, 1000), DSERR_INVALIDPARAM) << "0-bit";
    WAVEFORMATEX misaligned = make_format(WAVE_FORMAT_PCM, 2, 22050, 16);
    misaligned.nBlockAlign = 2;
    EXPECT_EQ(create(misaligned, 1000), DSERR_INVALIDPARAM) << "block align of one channel";
    misaligned.nBlockAlign = 8;
    EXPECT_EQ(create(misaligned, 1000), DSERR_INVALIDPARAM) << "block align of four channels";
}

TEST_F(DirectSoundTest, RefusesKindsOfSampleItCannotPlay) {
    // The kind of sample is looked at before anything else about the format.
    WAVEFORMATEX adpcm = make_format(WAVE_FORMAT_ADPCM, 1, 22050, 4);
    adpcm.nBlockAlign = 256;
    EXPECT_EQ(create(adpcm, 1024), DSERR_UNSUPPORTED);
    EXPECT_EQ(create(WAVE_FORMAT_ADPCM, 0, 0, 16, 1024), DSERR_UNSUPPORTED);
    EXPECT_EQ(create(0, 1, 22050, 16, 1024), DSERR_UNSUPPORTED);
    EXPECT_EQ(create(0x55, 1, 22050, 16, 1024), DSERR_UNSUPPORTED);
}

TEST_F(DirectSoundTest, RefusesSizesOutsideTheLimits) {
    EXPECT_EQ(create(WAVE_FORMAT_PCM, 1, 22050, 8, 0), DSERR_INVALIDPARAM);
    EXPECT_EQ(create(WAVE_FORMAT_PCM, 1, 22050, 8, DSBSIZE_MIN - 1), DSERR_INVALIDPARAM);
    EXPECT_EQ(create(WAVE_FORMAT_PCM, 1, 22050, 8, DSBSIZE_MAX + 1), DSERR_INVALIDPARAM);
    EXPECT_EQ(create(WAVE_FORMAT_PCM, 1, 22050, 8, DSBSIZE_MIN), DS_OK);
    EXPECT_EQ(create(WAVE_FORMAT_PCM, 1, 22050, 8, DSBSIZE_MAX), DS_OK);
}

TEST_F(DirectSoundTest, RoundsSizesUpToWholeFrames) {
    IDirectSoundBuffer* buffer = nullptr;
    ASSERT_EQ(create(make_format(WAVE_FORMAT_PCM, 2, 22050, 24), 1001, &buffer), DS_OK);
    EXPECT_EQ(size_of(buffer), 1002u);
    ASSERT_EQ(create(make_format(WAVE_FORMAT_PCM, 2, 22050, 16), 1001, &buffer), DS_OK);
    EXPECT_EQ(size_of(buffer), 1004u);
    ASSERT_EQ(create(make_format(WAVE_FORMAT_PCM, 6, 22050, 32), DSBSIZE_MIN, &buffer), DS_OK);
    EXPECT_EQ(size_of(buffer), 24u);
    ASSERT_EQ(create(make_format(WAVE_FORMAT_PCM, 1, 22050, 8), 1001, &buffer), DS_OK);
    EXPECT_EQ(size_of(buffer), 1001u);
}

TEST_F(DirectSoundTest, TakesBothDescriptionSizesAndRefusesBrokenOnes) {
    WAVEFORMATEX format = make_format(WAVE_FORMAT_PCM, 1, 22050, 8);
    DSBUFFERDESC description = make_description(&format, 100);
    IDirectSoundBuffer* buffer = nullptr;
    EXPECT_EQ(device->CreateSoundBuffer(nullptr, &buffer, nullptr), DSERR_INVALIDPARAM);
    EXPECT_EQ(device->CreateSoundBuffer(&description, nullptr, nullptr), DSERR_INVALIDPARAM);
    const DWORD wrong_sizes[] = {0, sizeof(DSBUFFERDESC) - 4, sizeof(DSBUFFERDESC) + 4,
                                 sizeof(DSBUFFERDESC1) - 4};
    for (DWORD size : wrong_sizes) {
        description.dwSize = size;
        EXPECT_EQ(device->CreateSoundBuffer(&description, &buffer, nullptr), DSERR_INVALIDPARAM)
            << "dwSize " << size;
    }
    description.dwSize = sizeof(DSBUFFERDESC);
    description.lpwfxFormat = nullptr;
    EXPECT_EQ(device->CreateSoundBuffer(&description, &buffer, nullptr), DSERR_INVALIDPARAM);
    EXPECT_EQ(buffer, nullptr);
    // The older, shorter description is as good as the present one.
    description.lpwfxFormat = &format;
    description.dwSize = sizeof(DSBUFFERDESC1);
    ASSERT_EQ(device->CreateSoundBuffer(&description, &buffer, nullptr), DS_OK);
    buffers.push_back(buffer);
}

// ---- Locks ----

TEST_F(DirectSoundTest, LockOfTheWholeBufferGivesOneRegion) {
    IDirectSoundBuffer* buffer = nullptr;
    ASSERT_EQ(create(make_format(WAVE_FORMAT_PCM, 2, 22050, 16), 4000, &buffer), DS_OK);
    LPVOID first = nullptr, second = reinterpret_cast<LPVOID>(1);
    DWORD first_bytes = 0, second_bytes = 1;
    ASSERT_EQ(buffer->Lock(0, 4000, &first, &first_bytes, &second, &second_bytes, 0), DS_OK);
    EXPECT_NE(first, nullptr);
    EXPECT_EQ(first_bytes, 4000u);
    EXPECT_EQ(second, nullptr);
    EXPECT_EQ(second_bytes, 0u);
    // A new buffer is silent, and what is written stays there for the next lock.
    for (DWORD i = 0; i < first_bytes; ++i) ASSERT_EQ(static_cast<BYTE*>(first)[i], 0);
    std::memset(first, 0x5A, first_bytes);
    EXPECT_EQ(buffer->Unlock(first, first_bytes, nullptr, 0), DS_OK);
    ASSERT_EQ(buffer->Lock(1000, 10, &first, &first_bytes, nullptr, nullptr, 0), DS_OK);
    EXPECT_EQ(static_cast<BYTE*>(first)[9], 0x5A);
    EXPECT_EQ(buffer->Unlock(first, first_bytes, nullptr, 0), DS_OK);
}

TEST_F(DirectSoundTest, LockThatWrapsGivesTwoRegions) {
    IDirectSoundBuffer* buffer = nullptr;
    ASSERT_EQ(create(make_format(WAVE_FORMAT_PCM, 2, 22050, 16), 4000, &buffer), DS_OK);
    LPVOID whole = nullptr;
    DWORD whole_bytes = 0;
    ASSERT_EQ(buffer->Lock(0, 0, &whole, &whole_bytes, nullptr, nullptr, DSBLOCK_ENTIREBUFFER),
              DS_OK);
    EXPECT_EQ(whole_bytes, 4000u);
    buffer->Unlock(whole, whole_bytes, nullptr, 0);
    LPVOID first = nullptr, second = nullptr;
    DWORD first_bytes = 0, second_bytes = 0;
    ASSERT_EQ(buffer->Lock(3000, 1500, &first, &first_bytes, &second, &second_bytes, 0), DS_OK);
    EXPECT_EQ(first, static_cast<BYTE*>(whole) + 3000);
    EXPECT_EQ(first_bytes, 1000u);
    EXPECT_EQ(second, whole);
    EXPECT_EQ(second_bytes, 500u);
    EXPECT_EQ(buffer->Unlock(first, first_bytes, second, second_bytes), DS_OK);
}

TEST_F(DirectSoundTest, LockPastTheEndFails) {
    IDirectSoundBuffer* buffer = nullptr;
    ASSERT_EQ(create(make_format(WAVE_FORMAT_PCM, 2, 22050, 16), 4000, &buffer), DS_OK);
    LPVOID first = nullptr, second = nullptr;
    DWORD first_bytes = 0, second_bytes = 0;
    EXPECT_EQ(buffer->Lock(0, 4001, &first, &first_bytes, &second, &second_bytes, 0),
              DSERR_INVALIDPARAM);
    EXPECT_EQ(buffer->Lock(4000, 1, &first, &first_bytes, &second, &second_bytes, 0),
              DSERR_INVALIDPARAM);
    EXPECT_EQ(buffer->Lock(0, 16, &first, nullptr, &second, &second_bytes, 0), DSERR_INVALIDPARAM);
    // The last byte alone can be had, frame or not.
    ASSERT_EQ(buffer->Lock(3999, 1, &first, &first_bytes, &second, &second_bytes, 0), DS_OK);
    EXPECT_EQ(first_bytes, 1u);
    EXPECT_EQ(second_bytes, 0u);
    EXPECT_EQ(buffer->Unlock(first, first_bytes, second, second_bytes), DS_OK);
}

TEST_F(DirectSoundTest, UnlockRefusesRegionsOutsideTheBuffer) {
    IDirectSoundBuffer* buffer = nullptr;
    ASSERT_EQ(create(make_format(WAVE_FORMAT_PCM, 1, 22050, 8), 100, &buffer), DS_OK);
    LPVOID region = nullptr;
    DWORD bytes = 0;
    ASSERT_EQ(buffer->Lock(0, 100, &region, &bytes, nullptr, nullptr, 0), DS_OK);
    EXPECT_EQ(buffer->Unlock(static_cast<BYTE*>(region) + 50, 51, nullptr, 0), DSERR_INVALIDPARAM);
    EXPECT_EQ(buffer->Unlock(static_cast<BYTE*>(region) + 5000, 10, nullptr, 0),
              DSERR_INVALIDPARAM);
    EXPECT_EQ(buffer->Unlock(region, bytes, nullptr, 0), DS_OK);
    EXPECT_EQ(buffer->Unlock(nullptr, 0, nullptr, 0), DS_OK);
}

// ---- Positions and status of a buffer that is not playing ----

TEST_F(DirectSoundTest, NewBufferStandsStillAtTheStart) {
    IDirectSoundBuffer* buffer = short_buffer(0.2);
    ASSERT_NE(buffer, nullptr);
    EXPECT_EQ(status_of(buffer), 0u);
    DWORD play = 1, write = 1;
    EXPECT_EQ(buffer->GetCurrentPosition(&play, &write), DS_OK);
    EXPECT_EQ(play, 0u);
    EXPECT_EQ(write, 0u);
    EXPECT_EQ(buffer->GetCurrentPosition(nullptr, nullptr), DS_OK);
    EXPECT_EQ(buffer->GetStatus(nullptr), DSERR_INVALIDPARAM);
}

TEST_F(DirectSoundTest, SetPositionRoundsDownToAFrameAndWraps) {
    IDirectSoundBuffer* buffer = nullptr;
    ASSERT_EQ(create(make_format(WAVE_FORMAT_PCM, 2, 22050, 24), 1002, &buffer), DS_OK);
    const DWORD cases[][2] = {{7, 6}, {6, 6}, {1001, 996}, {1002, 0}, {1010, 6}, {0, 0}};
    for (const auto& c : cases) {
        EXPECT_EQ(buffer->SetCurrentPosition(c[0]), DS_OK);
        DWORD play = 1, write = 1;
        EXPECT_EQ(buffer->GetCurrentPosition(&play, &write), DS_OK);
        EXPECT_EQ(play, c[1]) << "set to " << c[0];
        EXPECT_EQ(write, c[1]) << "set to " << c[0];
    }
}

TEST_F(DirectSoundTest, RestoreOfABufferThatIsNotLostChangesNothing) {
    IDirectSoundBuffer* buffer = short_buffer(0.1);
    ASSERT_NE(buffer, nullptr);
    EXPECT_EQ(buffer->Restore(), DS_OK);
    EXPECT_EQ(status_of(buffer), 0u);
    LPVOID region = nullptr;
    DWORD bytes = 0;
    ASSERT_EQ(buffer->Lock(0, 0, &region, &bytes, nullptr, nullptr, DSBLOCK_ENTIREBUFFER), DS_OK);
    EXPECT_EQ(static_cast<BYTE*>(region)[77], 77);
    buffer->Unlock(region, bytes, nullptr, 0);
}

// ---- Playing over time ----

TEST_F(DirectSoundTest, SinglePlayEndsAndGoesBackToTheStart) {
    IDirectSoundBuffer* buffer = short_buffer(0.2);
    ASSERT_NE(buffer, nullptr);
    const auto start = std::chrono::steady_clock::now();
    ASSERT_EQ(buffer->Play(0, 0, 0), DS_OK);
    EXPECT_EQ(status_of(buffer), DWORD(DSBSTATUS_PLAYING));
    EXPECT_TRUE(wait_until([&] { return position_of(buffer) > 0; }));
    EXPECT_TRUE(wait_until([&] { return status_of(buffer) == 0; }));
    EXPECT_GT(seconds_since(start), 0.1) << "ended long before its 0.2 s";
    EXPECT_EQ(position_of(buffer), 0u);
    // A new play starts again from the beginning.
    ASSERT_EQ(buffer->Play(0, 0, 0), DS_OK);
    EXPECT_LT(position_of(buffer), 1102u);
    EXPECT_TRUE(wait_until([&] { return status_of(buffer) == 0; }));
}

TEST_F(DirectSoundTest, SinglePlayFromTheMiddlePlaysTheRest) {
    IDirectSoundBuffer* buffer = short_buffer(0.4);
    ASSERT_NE(buffer, nullptr);
    ASSERT_EQ(buffer->SetCurrentPosition(3000), DS_OK);
    ASSERT_EQ(buffer->Play(0, 0, 0), DS_OK);
    EXPECT_GE(position_of(buffer), 3000u);
    EXPECT_TRUE(wait_until([&] { return status_of(buffer) == 0; }));
    EXPECT_EQ(position_of(buffer), 0u);
}

TEST_F(DirectSoundTest, LoopingPlayGoesOnPastTheEnd) {
    IDirectSoundBuffer* buffer = short_buffer(0.2);
    ASSERT_NE(buffer, nullptr);
    const auto start = std::chrono::steady_clock::now();
    ASSERT_EQ(buffer->Play(0, 0, DSBPLAY_LOOPING), DS_OK);
    EXPECT_EQ(status_of(buffer), DWORD(DSBSTATUS_PLAYING | DSBSTATUS_LOOPING));
    // Seen at the end of its second round, it is still playing and looping.
    DWORD last = 0;
    int wraps = 0;
    EXPECT_TRUE(wait_until([&] {
        const DWORD now = position_of(buffer);
        if (now < last) ++wraps;
        last = now;
        return wraps >= 2;
    }));
    EXPECT_GT(seconds_since(start), 0.3);
    EXPECT_EQ(status_of(buffer), DWORD(DSBSTATUS_PLAYING | DSBSTATUS_LOOPING));
    EXPECT_EQ(buffer->Stop(), DS_OK);
    EXPECT_EQ(status_of(buffer), 0u);
}

TEST_F(DirectSoundTest, StopKeepsThePositionAndPlayResumesThere) {
    IDirectSoundBuffer* buffer = short_buffer(1.0);
    ASSERT_NE(buffer, nullptr);
    ASSERT_EQ(buffer->Play(0, 0, 0), DS_OK);
    ASSERT_TRUE(wait_until([&] { return position_of(buffer) >= 2000; }));
    ASSERT_EQ(buffer->Stop(), DS_OK);
    EXPECT_EQ(status_of(buffer), 0u);
    DWORD play = 0, write = 0;
    ASSERT_EQ(buffer->GetCurrentPosition(&play, &write), DS_OK);
    EXPECT_GE(play, 2000u);
    EXPECT_LT(play, 11025u);
    EXPECT_EQ(write, play);
    Sleep(50);
    EXPECT_EQ(position_of(buffer), play) << "a stopped buffer does not move";
    EXPECT_EQ(buffer->Stop(), DS_OK) << "stopping a stopped buffer is fine";
    EXPECT_EQ(position_of(buffer), play);
    ASSERT_EQ(buffer->Play(0, 0, 0), DS_OK);
    const DWORD resumed = position_of(buffer);
    EXPECT_GE(resumed, play);
    EXPECT_LT(resumed, play + 2205) << "resumed far from where it stopped";
    EXPECT_EQ(buffer->Stop(), DS_OK);
}

TEST_F(DirectSoundTest, PlayOnAPlayingBufferOnlyChangesLooping) {
    IDirectSoundBuffer* buffer = short_buffer(1.0);
    ASSERT_NE(buffer, nullptr);
    ASSERT_EQ(buffer->Play(0, 0, DSBPLAY_LOOPING), DS_OK);
    ASSERT_TRUE(wait_until([&] { return position_of(buffer) >= 2000; }));
    const DWORD before = position_of(buffer);
    ASSERT_EQ(buffer->Play(0, 0, 0), DS_OK);
    EXPECT_EQ(status_of(buffer), DWORD(DSBSTATUS_PLAYING));
    EXPECT_GE(position_of(buffer), before) << "Play went back to the start";
    ASSERT_EQ(buffer->Play(0, 0, DSBPLAY_LOOPING), DS_OK);
    EXPECT_EQ(status_of(buffer), DWORD(DSBSTATUS_PLAYING | DSBSTATUS_LOOPING));
    EXPECT_GE(position_of(buffer), before);
    // Now once again: it ends at the end of this round instead of looping.
    ASSERT_EQ(buffer->Play(0, 0, 0), DS_OK);
    EXPECT_TRUE(wait_until([&] { return status_of(buffer) == 0; }));
    EXPECT_EQ(position_of(buffer), 0u);
}

TEST_F(DirectSoundTest, SetPositionMovesAPlayingBuffer) {
    IDirectSoundBuffer* buffer = short_buffer(1.0);
    ASSERT_NE(buffer, nullptr);
    ASSERT_EQ(buffer->Play(0, 0, DSBPLAY_LOOPING), DS_OK);
    ASSERT_EQ(buffer->SetCurrentPosition(8000), DS_OK);
    const DWORD moved = position_of(buffer);
    EXPECT_GE(moved, 8000u);
    EXPECT_LT(moved, 8000u + 2205u);
    EXPECT_EQ(status_of(buffer), DWORD(DSBSTATUS_PLAYING | DSBSTATUS_LOOPING));
    // Stop and rewind, as a program stops a sound for good.
    ASSERT_EQ(buffer->Stop(), DS_OK);
    ASSERT_EQ(buffer->SetCurrentPosition(0), DS_OK);
    EXPECT_EQ(position_of(buffer), 0u);
    EXPECT_EQ(status_of(buffer), 0u);
}

}  // namespace
