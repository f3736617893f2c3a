// The host's recorder of the module's DirectSound calls, which is all a Windows run sees of
// them, in front of our platform layer's DirectSound, which traces every call itself: for the
// same calls at the same times both must give the same events with the same fields, so that a
// Windows trace, timeline or console reads as a Linux one.
#include "host/platform_recorder.h"

#include <gtest/gtest.h>

#include <map>
#include <string>
#include <utility>
#include <vector>

#include "platform/standin.h"
#include "support/wave_format.h"

namespace {

using Events = std::vector<std::pair<std::string, TraceFields>>;

void from_platform(const char* event, const char* fields, void* context) {
    static_cast<Events*>(context)->emplace_back(event, TraceFields::parse(fields));
}

// The events the recorder also writes, with buffer numbers counted from the first one seen:
// the two number buffers over the whole process, and other tests may have made some.
Events comparable(const Events& events) {
    static const char* const RECORDED[] = {"device", "create",   "play",
                                           "stop",   "position", "restore",
                                           "lose",   "release",  "device_release"};
    Events kept;
    std::map<long, long> numbers;
    for (const auto& event : events) {
        bool recorded = false;
        for (const char* name : RECORDED) recorded = recorded || event.first == name;
        if (!recorded) continue;
        TraceFields fields = event.second;
        if (fields.contains("buffer") && fields["buffer"].is_number()) {
            const long number = fields["buffer"].get<long>();
            if (!numbers.count(number)) numbers[number] = static_cast<long>(numbers.size()) + 1;
            fields["buffer"] = numbers[number];
        }
        kept.emplace_back(event.first, fields);
    }
    return kept;
}

DSBUFFERDESC description(WAVEFORMATEX& format, DWORD bytes, DWORD size = sizeof(DSBUFFERDESC)) {
    DSBUFFERDESC d = {};
    d.dwSize = size;
    d.dwFlags = DSBCAPS_STATIC;
    d.dwBufferBytes = bytes;
    d.lpwfxFormat = &format;
    return d;
}

TEST(PlatformRecorder, RecordsEachCallAsThePlatformLayerTracesIt) {
    ASSERT_EQ(standin_set_output(STANDIN_OUTPUT_NONE, ""), 0);
    Events platform, recorded;
    double time = 0;
    standin_set_trace(&from_platform, &platform);
    platform_recorder::set_trace(
        [&](const std::string& event, TraceFields fields) {
            recorded.emplace_back(event, std::move(fields));
        },
        [&] { return time; });
    platform_recorder::forward_direct_sound_create(&::DirectSoundCreate);
    auto pass = [&](double seconds) {
        standin_advance_time(seconds);
        time += seconds;
    };

    IDirectSound* device = nullptr;
    standin_fail_device_create(DSERR_NODRIVER);
    EXPECT_EQ(platform_recorder::DirectSoundCreate(nullptr, &device, nullptr), DSERR_NODRIVER);
    ASSERT_EQ(platform_recorder::DirectSoundCreate(nullptr, &device, nullptr), DS_OK);
    ASSERT_NE(device, nullptr);
    EXPECT_EQ(device->SetCooperativeLevel(nullptr, DSSCL_NORMAL), DS_OK);

    // Buffers made, refused for their format, their description and by an injected fault, and
    // one whose size is not a whole number of frames.
    WAVEFORMATEX mono = make_format(WAVE_FORMAT_PCM, 1, 22050, 16);
    WAVEFORMATEX stereo = make_format(WAVE_FORMAT_PCM, 2, 11025, 8);
    WAVEFORMATEX adpcm = make_format(WAVE_FORMAT_ADPCM, 1, 22050, 4);
    IDirectSoundBuffer* tone = nullptr;
    IDirectSoundBuffer* other = nullptr;
    IDirectSoundBuffer* refused = nullptr;
    DSBUFFERDESC d = description(mono, 22050);
    ASSERT_EQ(device->CreateSoundBuffer(&d, &tone, nullptr), DS_OK);
    d = description(stereo, 1001);
    ASSERT_EQ(device->CreateSoundBuffer(&d, &other, nullptr), DS_OK);
    d = description(adpcm, 1000);
    EXPECT_NE(device->CreateSoundBuffer(&d, &refused, nullptr), DS_OK);
    d = description(mono, 1000, 12);
    EXPECT_NE(device->CreateSoundBuffer(&d, &refused, nullptr), DS_OK);
    standin_fail_buffer_create(DSERR_OUTOFMEMORY);
    d = description(mono, 1000);
    EXPECT_EQ(device->CreateSoundBuffer(&d, &refused, nullptr), DSERR_OUTOFMEMORY);

    void* region = nullptr;
    DWORD bytes = 0;
    ASSERT_EQ(tone->Lock(0, 22050, &region, &bytes, nullptr, nullptr, 0), DS_OK);
    EXPECT_EQ(tone->Unlock(region, bytes, nullptr, 0), DS_OK);

    // Once, stopped part way, rewound, looped, turned into a single play while it loops, run
    // out, played again from the start, moved past its end.
    DWORD status = 0;
    EXPECT_EQ(tone->Play(0, 0, 0), DS_OK);
    pass(0.25);
    EXPECT_EQ(tone->Stop(), DS_OK);
    EXPECT_EQ(tone->SetCurrentPosition(0), DS_OK);
    EXPECT_EQ(tone->Play(0, 0, DSBPLAY_LOOPING), DS_OK);
    pass(1.1);
    EXPECT_EQ(tone->Play(0, 0, 0), DS_OK);
    pass(0.05);
    EXPECT_EQ(tone->Stop(), DS_OK);
    EXPECT_EQ(tone->Play(0, 0, 0), DS_OK);
    pass(1.0);
    EXPECT_EQ(tone->GetStatus(&status), DS_OK);
    EXPECT_EQ(status, 0u);
    EXPECT_EQ(tone->Play(0, 0, 0), DS_OK);
    pass(0.1);
    EXPECT_EQ(tone->SetCurrentPosition(22050 + 3001), DS_OK);
    pass(0.1);
    EXPECT_EQ(tone->Stop(), DS_OK);
    EXPECT_EQ(other->Release(), 0u);

    // Lost, restored after a refusal, played again.
    standin_lose_all_buffers();
    EXPECT_EQ(tone->GetStatus(&status), DS_OK);
    EXPECT_EQ(status, static_cast<DWORD>(DSBSTATUS_BUFFERLOST));
    EXPECT_EQ(tone->GetStatus(&status), DS_OK);  // still lost: no second loss
    EXPECT_EQ(tone->Play(0, 0, 0), DSERR_BUFFERLOST);
    standin_fail_restore(1, DSERR_BUFFERLOST);
    EXPECT_EQ(tone->Restore(), DSERR_BUFFERLOST);
    EXPECT_EQ(tone->Restore(), DS_OK);
    EXPECT_EQ(tone->Play(0, 0, DSBPLAY_LOOPING), DS_OK);

    // The same interface again is the recording object, and counts as a reference to it.
    const GUID unknown = {0x00000000, 0x0000, 0x0000, {0xC0, 0, 0, 0, 0, 0, 0, 0x46}};
    void* again = nullptr;
    ASSERT_EQ(tone->QueryInterface(unknown, &again), S_OK);
    EXPECT_EQ(again, static_cast<void*>(tone));
    EXPECT_EQ(tone->Release(), 1u);
    EXPECT_EQ(tone->Release(), 0u);
    EXPECT_EQ(device->Release(), 0u);
    standin_set_trace(nullptr, nullptr);
    platform_recorder::set_trace(nullptr, nullptr);

    EXPECT_EQ(standin_live_buffers(), 0);
    EXPECT_EQ(standin_live_devices(), 0);
    const Events expected = comparable(platform);
    const Events got = comparable(recorded);
    ASSERT_GE(expected.size(), 20u);
    ASSERT_EQ(got.size(), expected.size());
    for (size_t i = 0; i < expected.size(); ++i) {
        EXPECT_EQ(got[i].first, expected[i].first) << "event " << i;
        EXPECT_EQ(got[i].second.dump(), expected[i].second.dump())
            << "event " << i << " " << expected[i].first;
    }
}

}  // namespace
