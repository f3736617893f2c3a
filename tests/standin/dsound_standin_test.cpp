// The DirectSound stand-in's own side: faults that tests inject (lost buffers, failing restores
// and creations), the trace and call counts a host sees, and offline mixing into a WAV file,
// checked sample by sample at the times the host advanced to.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "platform/standin.h"
#include "support/test_folder.h"
#include "support/wave_format.h"

namespace {

const int OUT_RATE = 44100;
const double PI = 3.14159265358979323846;
const double UPDATE_SECONDS = 1.0 / 18.0;

struct Event {
    std::string name;
    std::string fields;
};

void record_event(const char* event, const char* fields, void* context) {
    static_cast<std::vector<Event>*>(context)->push_back(Event{event, fields});
}

// The samples of a 16-bit stereo WAV file as the stand-in writes it, after checking its header.
std::vector<int16_t> read_output(const std::string& path) {
    std::vector<int16_t> samples;
    FILE* file = std::fopen(path.c_str(), "rb");
    EXPECT_NE(file, nullptr) << path;
    if (!file) return samples;
    unsigned char header[44] = {};
    EXPECT_EQ(std::fread(header, 1, 44, file), 44u);
    auto u32 = [&](int at) {
        return uint32_t(header[at]) | uint32_t(header[at + 1]) << 8 |
               uint32_t(header[at + 2]) << 16 | uint32_t(header[at + 3]) << 24;
    };
    EXPECT_EQ(std::string(reinterpret_cast<char*>(header), 4), "RIFF");
    EXPECT_EQ(std::string(reinterpret_cast<char*>(header) + 8, 8), "WAVEfmt ");
    EXPECT_EQ(u32(24), uint32_t(OUT_RATE));
    EXPECT_EQ(header[22], 2);   // channels
    EXPECT_EQ(header[34], 16);  // bits
    EXPECT_EQ(std::string(reinterpret_cast<char*>(header) + 36, 4), "data");
    const uint32_t bytes = u32(40);
    EXPECT_EQ(u32(4), bytes + 36);
    samples.resize(bytes / 2);
    EXPECT_EQ(std::fread(samples.data(), 2, samples.size(), file), samples.size());
    std::fclose(file);
    return samples;
}

// Root mean square of one channel (0 left, 1 right) over frames [first, first + count).
double level(const std::vector<int16_t>& samples, long first, long count, int channel) {
    double sum = 0;
    for (long frame = first; frame < first + count; ++frame) {
        const double value = samples.at(2 * frame + channel);
        sum += value * value;
    }
    return std::sqrt(sum / count);
}

class StandinSoundTest : public ::testing::Test {
  protected:
    void SetUp() override {
        ASSERT_TRUE(folder.ok()) << folder.path();
        path = folder.file("out.wav");
        ASSERT_EQ(standin_set_output(STANDIN_OUTPUT_FILE, path.c_str()), 0);
        ASSERT_EQ(DirectSoundCreate(nullptr, &device, nullptr), DS_OK);
        ASSERT_EQ(device->SetCooperativeLevel(nullptr, DSSCL_NORMAL), DS_OK);
    }

    void TearDown() override {
        standin_set_trace(nullptr, nullptr);
        standin_fail_restore(0, DS_OK);
        for (IDirectSoundBuffer* buffer : buffers) buffer->Release();
        if (device) device->Release();
        standin_finish_output();
        EXPECT_EQ(standin_live_buffers(), 0);
        EXPECT_EQ(standin_live_devices(), 0);
    }

    IDirectSoundBuffer* create(WAVEFORMATEX format, DWORD bytes) {
        DSBUFFERDESC description = {};
        description.dwSize = sizeof description;
        description.dwFlags = DSBCAPS_STATIC;
        description.dwBufferBytes = bytes;
        description.lpwfxFormat = &format;
        IDirectSoundBuffer* buffer = nullptr;
        EXPECT_EQ(device->CreateSoundBuffer(&description, &buffer, nullptr), DS_OK);
        if (buffer) buffers.push_back(buffer);
        return buffer;
    }

    // A 16-bit mono buffer at 22050 Hz holding `seconds` of a 1 kHz tone at half scale.
    IDirectSoundBuffer* tone(double seconds) {
        const DWORD frames = static_cast<DWORD>(seconds * 22050);
        IDirectSoundBuffer* buffer = create(make_format(WAVE_FORMAT_PCM, 1, 22050, 16), frames * 2);
        if (!buffer) return nullptr;
        std::vector<int16_t> samples(frames);
        for (DWORD i = 0; i < frames; ++i) {
            samples[i] = static_cast<int16_t>(16384 * std::sin(2 * PI * 1000.0 * i / 22050));
        }
        fill(buffer, samples.data(), frames * 2);
        return buffer;
    }

    static void fill(IDirectSoundBuffer* buffer, const void* data, DWORD bytes) {
        LPVOID region = nullptr;
        DWORD region_bytes = 0;
        ASSERT_EQ(buffer->Lock(0, bytes, &region, &region_bytes, nullptr, nullptr, 0), DS_OK);
        ASSERT_EQ(region_bytes, bytes);
        std::memcpy(region, data, bytes);
        EXPECT_EQ(buffer->Unlock(region, bytes, nullptr, 0), DS_OK);
    }

    static DWORD status_of(IDirectSoundBuffer* buffer) {
        DWORD status = 0xFFFFFFFF;
        buffer->GetStatus(&status);
        return status;
    }

    static DWORD position_of(IDirectSoundBuffer* buffer) {
        DWORD play = 0xFFFFFFFF;
        buffer->GetCurrentPosition(&play, nullptr);
        return play;
    }

    static void updates(int count) {
        for (int i = 0; i < count; ++i) standin_advance_time(UPDATE_SECONDS);
    }

    // The level of each update's span of the output, one channel.
    std::vector<double> levels_per_update(int channel) {
        standin_finish_output();
        const std::vector<int16_t> samples = read_output(path);
        std::vector<double> levels;
        const long frames = static_cast<long>(samples.size() / 2);
        for (int update = 0;; ++update) {
            const long first = std::lround(update * UPDATE_SECONDS * OUT_RATE);
            const long last = std::lround((update + 1) * UPDATE_SECONDS * OUT_RATE);
            if (last > frames) break;
            levels.push_back(level(samples, first, last - first, channel));
        }
        return levels;
    }

    TestFolder folder;
    std::string path;
    IDirectSound* device = nullptr;
    std::vector<IDirectSoundBuffer*> buffers;
};

// ---- Lost buffers and failing calls ----

TEST_F(StandinSoundTest, LostBufferStopsForgetsAndRefusesUntilRestored) {
    IDirectSoundBuffer* buffer = tone(0.5);
    ASSERT_NE(buffer, nullptr);
    ASSERT_EQ(buffer->Play(0, 0, DSBPLAY_LOOPING), DS_OK);
    updates(2);
    standin_lose_all_buffers();
    EXPECT_EQ(status_of(buffer), DWORD(DSBSTATUS_BUFFERLOST));
    EXPECT_EQ(buffer->Play(0, 0, 0), DSERR_BUFFERLOST);
    LPVOID region = nullptr;
    DWORD bytes = 0;
    EXPECT_EQ(buffer->Lock(0, 100, &region, &bytes, nullptr, nullptr, 0), DSERR_BUFFERLOST);
    updates(2);
    EXPECT_EQ(buffer->Restore(), DS_OK);
    EXPECT_EQ(status_of(buffer), 0u);
    EXPECT_EQ(position_of(buffer), 0u);
    ASSERT_EQ(buffer->Lock(0, 0, &region, &bytes, nullptr, nullptr, DSBLOCK_ENTIREBUFFER), DS_OK);
    long nonzero = 0;
    for (DWORD i = 0; i < bytes; ++i) nonzero += static_cast<BYTE*>(region)[i] != 0;
    EXPECT_EQ(nonzero, 0) << "a restored buffer comes back without its contents";
    buffer->Unlock(region, bytes, nullptr, 0);
    EXPECT_EQ(buffer->Play(0, 0, 0), DS_OK);
    updates(2);
    // Loud while it played, silent from the loss on, and silent again after the restore.
    const std::vector<double> left = levels_per_update(0);
    ASSERT_EQ(left.size(), 6u);
    EXPECT_GT(left[0], 8000);
    EXPECT_GT(left[1], 8000);
    for (int update = 2; update < 6; ++update) EXPECT_EQ(left[update], 0.0) << update;
}

TEST_F(StandinSoundTest, RestoreFailsAsOftenAsAsked) {
    IDirectSoundBuffer* buffer = tone(0.1);
    ASSERT_NE(buffer, nullptr);
    standin_lose_all_buffers();
    standin_fail_restore(2, DSERR_BUFFERLOST);
    EXPECT_EQ(buffer->Restore(), DSERR_BUFFERLOST);
    EXPECT_EQ(status_of(buffer), DWORD(DSBSTATUS_BUFFERLOST));
    EXPECT_EQ(buffer->Restore(), DSERR_BUFFERLOST);
    EXPECT_EQ(buffer->Restore(), DS_OK);
    EXPECT_EQ(status_of(buffer), 0u);
}

TEST_F(StandinSoundTest, RestoreFailsForEverUntilTheFaultEnds) {
    IDirectSoundBuffer* buffer = tone(0.1);
    ASSERT_NE(buffer, nullptr);
    standin_lose_all_buffers();
    standin_fail_restore(-1, E_FAIL);
    for (int i = 0; i < 1000; ++i) ASSERT_EQ(buffer->Restore(), E_FAIL) << i;
    EXPECT_EQ(status_of(buffer), DWORD(DSBSTATUS_BUFFERLOST));
    standin_fail_restore(0, DS_OK);
    EXPECT_EQ(buffer->Restore(), DS_OK);
}

TEST_F(StandinSoundTest, CreationFaultsHitTheNextCallOnly) {
    standin_fail_device_create(DSERR_NODRIVER);
    IDirectSound* failed = reinterpret_cast<IDirectSound*>(1);
    EXPECT_EQ(DirectSoundCreate(nullptr, &failed, nullptr), DSERR_NODRIVER);
    EXPECT_EQ(failed, nullptr);
    EXPECT_EQ(standin_live_devices(), 1);
    IDirectSound* second = nullptr;
    ASSERT_EQ(DirectSoundCreate(nullptr, &second, nullptr), DS_OK);
    EXPECT_EQ(standin_live_devices(), 2);
    second->Release();

    standin_fail_buffer_create(E_OUTOFMEMORY);
    WAVEFORMATEX format = make_format(WAVE_FORMAT_PCM, 1, 22050, 8);
    DSBUFFERDESC description = {};
    description.dwSize = sizeof description;
    description.dwBufferBytes = 100;
    description.lpwfxFormat = &format;
    IDirectSoundBuffer* buffer = reinterpret_cast<IDirectSoundBuffer*>(1);
    EXPECT_EQ(device->CreateSoundBuffer(&description, &buffer, nullptr), E_OUTOFMEMORY);
    EXPECT_EQ(buffer, nullptr);
    EXPECT_EQ(standin_live_buffers(), 0);
    ASSERT_EQ(device->CreateSoundBuffer(&description, &buffer, nullptr), DS_OK);
    buffers.push_back(buffer);
    EXPECT_EQ(standin_live_buffers(), 1);
}

TEST_F(StandinSoundTest, ReleasedDeviceSilencesBuffersThatOutliveIt) {
    IDirectSoundBuffer* buffer = tone(1.0);
    ASSERT_NE(buffer, nullptr);
    ASSERT_EQ(buffer->Play(0, 0, DSBPLAY_LOOPING), DS_OK);
    updates(1);
    EXPECT_EQ(device->Release(), 0u);
    device = nullptr;
    EXPECT_EQ(standin_live_devices(), 0);
    EXPECT_EQ(standin_live_buffers(), 1);
    DWORD status = 0xFF;
    EXPECT_EQ(buffer->GetStatus(&status), DSERR_UNINITIALIZED);
    EXPECT_EQ(status, 0u);
    EXPECT_EQ(buffer->Play(0, 0, 0), DSERR_UNINITIALIZED);
    updates(2);
    const std::vector<double> left = levels_per_update(0);
    ASSERT_EQ(left.size(), 3u);
    EXPECT_GT(left[0], 8000);
    EXPECT_EQ(left[1], 0.0);
    EXPECT_EQ(left[2], 0.0);
}

// ---- What a host sees ----

TEST_F(StandinSoundTest, CountsEveryCallByItsWin32Name) {
    standin_reset_counts();
    IDirectSoundBuffer* buffer = tone(0.2);
    ASSERT_NE(buffer, nullptr);
    DWORD status;
    buffer->GetStatus(&status);
    buffer->Play(0, 0, 0);
    buffer->Play(0, 0, DSBPLAY_LOOPING);
    buffer->Stop();
    buffer->SetCurrentPosition(0);
    buffer->Restore();
    buffer->AddRef();
    buffer->Release();
    EXPECT_EQ(standin_call_count("CreateSoundBuffer"), 1);
    EXPECT_EQ(standin_call_count("Lock"), 1);
    EXPECT_EQ(standin_call_count("Unlock"), 1);
    EXPECT_EQ(standin_call_count("GetStatus"), 1);
    EXPECT_EQ(standin_call_count("Play"), 2);
    EXPECT_EQ(standin_call_count("Stop"), 1);
    EXPECT_EQ(standin_call_count("SetCurrentPosition"), 1);
    EXPECT_EQ(standin_call_count("Restore"), 1);
    EXPECT_EQ(standin_call_count("AddRef"), 1);
    EXPECT_EQ(standin_call_count("Release"), 1);
    EXPECT_EQ(standin_call_count("DirectSoundCreate"), 0);
    IDirectSound* other = nullptr;
    ASSERT_EQ(DirectSoundCreate(nullptr, &other, nullptr), DS_OK);
    other->Release();
    EXPECT_EQ(standin_call_count("DirectSoundCreate"), 1);
    EXPECT_EQ(standin_call_count("Release"), 2);
}

TEST_F(StandinSoundTest, TracesTheLifeOfABuffer) {
    std::vector<Event> events;
    standin_set_trace(&record_event, &events);
    WAVEFORMATEX format = make_format(WAVE_FORMAT_PCM, 2, 22050, 24);
    DSBUFFERDESC description = {};
    description.dwSize = sizeof description;
    description.dwBufferBytes = 1001;
    description.lpwfxFormat = &format;
    IDirectSoundBuffer* buffer = nullptr;
    ASSERT_EQ(device->CreateSoundBuffer(&description, &buffer, nullptr), DS_OK);
    ASSERT_EQ(events.size(), 1u);
    EXPECT_EQ(events[0].name, "create");
    const std::string created = events[0].fields;
    const size_t at = created.find("\"buffer\":");
    ASSERT_NE(at, std::string::npos);
    const long number = std::stol(created.substr(at + 9));
    const std::string tag = "{\"buffer\":" + std::to_string(number);
    EXPECT_EQ(created, tag +
                           ",\"tag\":1,\"channels\":2,\"rate\":22050,\"bits\":24,"
                           "\"bytes\":1002,\"result\":0}");

    buffer->SetCurrentPosition(601);
    buffer->Play(0, 0, DSBPLAY_LOOPING);
    buffer->Stop();
    buffer->Restore();
    buffer->Release();
    standin_lose_all_buffers();  // nothing left to lose
    format.nChannels = 0;
    ASSERT_EQ(device->CreateSoundBuffer(&description, &buffer, nullptr), DSERR_INVALIDPARAM);
    device->Release();
    device = nullptr;

    std::vector<std::string> expected = {
        "position " + tag + ",\"position\":600}",
        "play " + tag + ",\"looping\":true,\"position\":600,\"result\":0}",
        "stop " + tag + ",\"position\":600}",
        "restore " + tag + ",\"result\":0}",
        "release " + tag + "}",
        "create {\"buffer\":null,\"tag\":1,\"channels\":0,\"rate\":22050,\"bits\":24,"
        "\"bytes\":1001,\"result\":\"0x80070057\"}",
        "device_release {}"};
    ASSERT_EQ(events.size(), expected.size() + 1);
    for (size_t i = 0; i < expected.size(); ++i) {
        EXPECT_EQ(events[i + 1].name + " " + events[i + 1].fields, expected[i]);
    }

    // The next buffer gets the next number.
    events.clear();
    ASSERT_EQ(DirectSoundCreate(nullptr, &device, nullptr), DS_OK);
    ASSERT_EQ(device->CreateSoundBuffer(&description, &buffer, nullptr), DSERR_INVALIDPARAM);
    format.nChannels = 2;
    ASSERT_EQ(device->CreateSoundBuffer(&description, &buffer, nullptr), DS_OK);
    buffers.push_back(buffer);
    ASSERT_EQ(events.size(), 3u);
    EXPECT_EQ(events[0].name + " " + events[0].fields, "device {\"result\":0}");
    EXPECT_EQ(events[2].fields.rfind("{\"buffer\":" + std::to_string(number + 1) + ",", 0), 0u)
        << events[2].fields;
}

// ---- Offline mixing into a file ----

TEST_F(StandinSoundTest, SinglePlayLandsInTheUpdatesItWasPlayedIn) {
    IDirectSoundBuffer* buffer = tone(0.25);  // four and a half updates
    ASSERT_NE(buffer, nullptr);
    updates(3);
    ASSERT_EQ(buffer->Play(0, 0, 0), DS_OK);
    updates(4);
    EXPECT_EQ(status_of(buffer), DWORD(DSBSTATUS_PLAYING));
    updates(1);
    EXPECT_EQ(status_of(buffer), 0u);
    EXPECT_EQ(position_of(buffer), 0u);
    updates(2);
    const std::vector<double> left = levels_per_update(0);
    const std::vector<double> right = levels_per_update(1);
    ASSERT_EQ(left.size(), 10u);
    // A sine at half scale has a level of about 16384 / sqrt(2) on both speakers.
    for (int update = 0; update < 10; ++update) {
        if (update >= 3 && update <= 6) {
            EXPECT_NEAR(left[update], 11585, 600) << update;
        } else if (update == 7) {
            EXPECT_NEAR(left[update], 11585 / std::sqrt(2.0), 1200) << update;
        } else {
            EXPECT_EQ(left[update], 0.0) << update;
        }
        EXPECT_NEAR(right[update], left[update], 1.0) << update;
    }
}

TEST_F(StandinSoundTest, LoopingPlaysUntilStoppedAndResumesWhereItStopped) {
    IDirectSoundBuffer* buffer = tone(0.1);
    ASSERT_NE(buffer, nullptr);
    ASSERT_EQ(buffer->Play(0, 0, DSBPLAY_LOOPING), DS_OK);
    updates(9);  // half a second: five rounds
    EXPECT_EQ(status_of(buffer), DWORD(DSBSTATUS_PLAYING | DSBSTATUS_LOOPING));
    ASSERT_EQ(buffer->Stop(), DS_OK);
    // Half a second of 0.1 s rounds stops back at the start, give or take a mixing step.
    const DWORD stopped = position_of(buffer);
    EXPECT_TRUE(stopped < 100 || stopped > 4310) << stopped;
    updates(3);
    EXPECT_EQ(position_of(buffer), stopped);
    ASSERT_EQ(buffer->SetCurrentPosition(2205), DS_OK);  // half way
    ASSERT_EQ(buffer->Play(0, 0, 0), DS_OK);
    updates(2);
    const std::vector<double> left = levels_per_update(0);
    ASSERT_EQ(left.size(), 14u);
    for (int update = 0; update < 9; ++update) EXPECT_GT(left[update], 10000) << update;
    for (int update = 9; update < 12; ++update) EXPECT_EQ(left[update], 0.0) << update;
    // The rest of the sound from its middle: 0.05 s, most of one update.
    EXPECT_GT(left[12], 8000);
    EXPECT_EQ(left[13], 0.0);
}

TEST_F(StandinSoundTest, EveryKindOfSampleReachesTheRightSpeakers) {
    // One second of a constant value in each format; the mix shows where and how loud it is.
    struct Case {
        const char* name;
        WAVEFORMATEX format;
        std::vector<double> channels;  // the value of each channel, -1..1
        double left, right;            // what the speakers get
    };
    const double centre = 0.7071;
    const Case cases[] = {
        {"8-bit mono", make_format(WAVE_FORMAT_PCM, 1, 44100, 8), {0.5}, 0.5, 0.5},
        {"16-bit stereo", make_format(WAVE_FORMAT_PCM, 2, 44100, 16), {0.5, 0}, 0.5, 0},
        {"24-bit stereo", make_format(WAVE_FORMAT_PCM, 2, 44100, 24), {0, -0.5}, 0, -0.5},
        {"32-bit mono", make_format(WAVE_FORMAT_PCM, 1, 22050, 32), {-0.25}, -0.25, -0.25},
        {"float stereo", make_format(WAVE_FORMAT_IEEE_FLOAT, 2, 48000, 32), {0.5, 0.25}, 0.5, 0.25},
        {"double mono", make_format(WAVE_FORMAT_IEEE_FLOAT, 1, 44100, 64), {0.5}, 0.5, 0.5},
        {"5.1 front right",
         make_format(WAVE_FORMAT_PCM, 6, 44100, 16),
         {0, 0.5, 0, 0, 0, 0},
         0,
         0.5},
        {"5.1 centre",
         make_format(WAVE_FORMAT_PCM, 6, 44100, 16),
         {0, 0, 0.5, 0, 0, 0},
         0.5 * centre,
         0.5 * centre},
        {"quad back left", make_format(WAVE_FORMAT_PCM, 4, 44100, 16), {0, 0, 0.5, 0}, 0.5, 0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const WAVEFORMATEX& format = c.format;
        const int width = format.wBitsPerSample / 8;
        std::vector<BYTE> data(format.nSamplesPerSec * format.nBlockAlign);
        for (size_t frame = 0; frame < format.nSamplesPerSec; ++frame) {
            for (int channel = 0; channel < format.nChannels; ++channel) {
                BYTE* at = &data[frame * format.nBlockAlign + channel * width];
                const double value = c.channels[channel];
                if (format.wFormatTag == WAVE_FORMAT_IEEE_FLOAT && width == 4) {
                    const float single = static_cast<float>(value);
                    std::memcpy(at, &single, 4);
                } else if (format.wFormatTag == WAVE_FORMAT_IEEE_FLOAT) {
                    std::memcpy(at, &value, 8);
                } else if (width == 1) {
                    at[0] = static_cast<BYTE>(128 + value * 128);
                } else {
                    // Little-endian, scaled to the sample's full width.
                    const int64_t scaled =
                        static_cast<int64_t>(value * std::ldexp(1.0, 8 * width - 1));
                    for (int i = 0; i < width; ++i) at[i] = static_cast<BYTE>(scaled >> (8 * i));
                }
            }
        }
        IDirectSoundBuffer* buffer = create(format, static_cast<DWORD>(data.size()));
        ASSERT_NE(buffer, nullptr);
        fill(buffer, data.data(), static_cast<DWORD>(data.size()));
        ASSERT_EQ(buffer->Play(0, 0, DSBPLAY_LOOPING), DS_OK);
        updates(2);
        buffer->Stop();
    }
    const std::vector<int16_t> samples = [this] {
        standin_finish_output();
        return read_output(path);
    }();
    for (size_t i = 0; i < sizeof cases / sizeof cases[0]; ++i) {
        SCOPED_TRACE(cases[i].name);
        // The middle of the second update of each case, away from fades at start and stop.
        const long frame = std::lround((2 * i + 1.5) * UPDATE_SECONDS * OUT_RATE);
        ASSERT_LT(2 * frame + 1, static_cast<long>(samples.size()));
        EXPECT_NEAR(samples[2 * frame], cases[i].left * 32767, 8);
        EXPECT_NEAR(samples[2 * frame + 1], cases[i].right * 32767, 8);
    }
}

TEST_F(StandinSoundTest, ManySmallStepsKeepTheHostsTime) {
    updates(180);  // ten seconds
    standin_finish_output();
    EXPECT_EQ(read_output(path).size(), 441000u * 2);
}

TEST_F(StandinSoundTest, FileKeepsTimeWithoutADevice) {
    IDirectSoundBuffer* buffer = tone(1.0);
    ASSERT_NE(buffer, nullptr);
    ASSERT_EQ(buffer->Play(0, 0, DSBPLAY_LOOPING), DS_OK);
    updates(1);
    buffer->Release();
    buffers.clear();
    device->Release();
    device = nullptr;
    updates(2);  // as between a disconnect and the next connect
    ASSERT_EQ(DirectSoundCreate(nullptr, &device, nullptr), DS_OK);
    buffer = tone(1.0);
    ASSERT_NE(buffer, nullptr);
    ASSERT_EQ(buffer->Play(0, 0, DSBPLAY_LOOPING), DS_OK);
    updates(1);
    const std::vector<double> left = levels_per_update(0);
    ASSERT_EQ(left.size(), 4u);
    EXPECT_GT(left[0], 10000);
    EXPECT_EQ(left[1], 0.0);
    EXPECT_EQ(left[2], 0.0);
    EXPECT_GT(left[3], 10000);
}

TEST(StandinSoundOutput, NoOutputStillMovesTimeOn) {
    ASSERT_EQ(standin_set_output(STANDIN_OUTPUT_NONE, nullptr), 0);
    IDirectSound* device = nullptr;
    ASSERT_EQ(DirectSoundCreate(nullptr, &device, nullptr), DS_OK);
    WAVEFORMATEX format = make_format(WAVE_FORMAT_PCM, 1, 11025, 8);
    DSBUFFERDESC description = {};
    description.dwSize = sizeof description;
    description.dwBufferBytes = 1103;  // 0.1 s
    description.lpwfxFormat = &format;
    IDirectSoundBuffer* buffer = nullptr;
    ASSERT_EQ(device->CreateSoundBuffer(&description, &buffer, nullptr), DS_OK);
    ASSERT_EQ(buffer->Play(0, 0, 0), DS_OK);
    standin_advance_time(0.05);
    DWORD status = 0, position = 0;
    buffer->GetStatus(&status);
    buffer->GetCurrentPosition(&position, nullptr);
    EXPECT_EQ(status, DWORD(DSBSTATUS_PLAYING));
    EXPECT_NEAR(position, 551, 30);
    standin_advance_time(0.06);
    buffer->GetStatus(&status);
    EXPECT_EQ(status, 0u);
    EXPECT_EQ(buffer->Release(), 0u);
    EXPECT_EQ(device->Release(), 0u);
    EXPECT_EQ(standin_live_buffers(), 0);
    EXPECT_EQ(standin_live_devices(), 0);
}

TEST(StandinSoundOutput, RefusesAFileItCannotWrite) {
    EXPECT_EQ(standin_set_output(STANDIN_OUTPUT_FILE, "/nonexistent-folder/out.wav"), -1);
    EXPECT_EQ(standin_set_output(STANDIN_OUTPUT_NONE, nullptr), 0);
}

}  // namespace
