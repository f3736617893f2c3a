// Owns the stand-in's sound output: the choice the host makes (audio device, WAV file, nothing),
// the one OpenAL device and context that all DirectSound devices share, the simulated clock that
// the host advances, and the WAV file that offline mixing writes.
#include "platform/sound_output.h"

#define AL_ALEXT_PROTOTYPES
#include <AL/al.h>
#include <AL/alc.h>
#include <AL/alext.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstring>

#include "platform/paths.h"
#include "platform/standin.h"

namespace {

const int FILE_RATE = 44100;
const int CHUNK_FRAMES = 1024;

// No output chosen yet: the audio device when one opens, else the loopback device following
// the wall clock, so that sound buffers play in real time as they would on Windows.
const int OUTPUT_DEFAULT = -1;

// How time reaches the sources of the open OpenAL device.
enum class Clock {
    DEVICE,  // a real audio device mixes by itself
    HOST,    // loopback, mixed when the host advances time
    WALL,    // loopback, mixed up to the wall clock whenever a buffer is looked at
};

struct Output {
    int choice = OUTPUT_DEFAULT;
    bool no_audio_device = false;  // the default output found no device once; not tried again

    ALCdevice* device = nullptr;
    ALCcontext* context = nullptr;
    Clock clock = Clock::HOST;
    long users = 0;

    // Simulated time since the output was chosen, and the frames it has become. Frames follow
    // the total, not each step, so many small steps do not drift from the host's clock.
    double host_seconds = 0.0;
    int64_t host_frames = 0;

    std::chrono::steady_clock::time_point wall_start;
    int64_t wall_frames = 0;

    FILE* file = nullptr;
    uint64_t file_data_bytes = 0;
};

Output output;

void put_u32(unsigned char* at, uint32_t value) {
    for (int i = 0; i < 4; ++i) at[i] = static_cast<unsigned char>(value >> (8 * i));
}

void put_u16(unsigned char* at, uint16_t value) {
    at[0] = static_cast<unsigned char>(value);
    at[1] = static_cast<unsigned char>(value >> 8);
}

// The 44-byte header of a 16-bit stereo PCM file holding `data_bytes` bytes of samples.
void write_wav_header(FILE* file, uint64_t data_bytes) {
    // A RIFF size is 32 bits; a longer recording keeps playing up to that size.
    const uint32_t data = static_cast<uint32_t>(std::min<uint64_t>(data_bytes, 0xFFFFFFFFu - 36));
    unsigned char header[44] = {'R', 'I', 'F', 'F', 0,   0,   0,  0, 'W', 'A',
                                'V', 'E', 'f', 'm', 't', ' ', 16, 0, 0,   0};
    put_u32(header + 4, data + 36);
    put_u16(header + 20, WAVE_FORMAT_PCM);
    put_u16(header + 22, 2);
    put_u32(header + 24, FILE_RATE);
    put_u32(header + 28, FILE_RATE * 4);
    put_u16(header + 32, 4);
    put_u16(header + 34, 16);
    std::memcpy(header + 36, "data", 4);
    put_u32(header + 40, data);
    std::fseek(file, 0, SEEK_SET);
    std::fwrite(header, 1, sizeof header, file);
    std::fseek(file, 0, SEEK_END);
}

void close_file() {
    if (!output.file) return;
    write_wav_header(output.file, output.file_data_bytes);
    std::fclose(output.file);
    output.file = nullptr;
}

// Mixes `frames` frames on the loopback device; they go to the file if one is open.
void render(int64_t frames) {
    float mixed[CHUNK_FRAMES * 2];
    int16_t samples[CHUNK_FRAMES * 2];
    while (frames > 0) {
        const int count = static_cast<int>(std::min<int64_t>(frames, CHUNK_FRAMES));
        alcRenderSamplesSOFT(output.device, mixed, count);
        if (output.file) {
            // Mixing in float and rounding here keeps the file free of dither noise, so that
            // silence is exact zeros and every run writes the same bytes.
            for (int i = 0; i < count * 2; ++i) {
                const float value = std::max(-1.0f, std::min(1.0f, mixed[i])) * 32767.0f;
                samples[i] = static_cast<int16_t>(std::lround(value));
            }
            std::fwrite(samples, sizeof(int16_t), count * 2, output.file);
            output.file_data_bytes += static_cast<uint64_t>(count) * 4;
        }
        frames -= count;
    }
}

void write_silence(int64_t frames) {
    const int16_t silence[CHUNK_FRAMES * 2] = {};
    while (frames > 0) {
        const int count = static_cast<int>(std::min<int64_t>(frames, CHUNK_FRAMES));
        std::fwrite(silence, sizeof(int16_t), count * 2, output.file);
        output.file_data_bytes += static_cast<uint64_t>(count) * 4;
        frames -= count;
    }
}

bool open_audio_device() {
    output.device = alcOpenDevice(nullptr);
    if (!output.device) return false;
    output.context = alcCreateContext(output.device, nullptr);
    if (output.context) return true;
    alcCloseDevice(output.device);
    output.device = nullptr;
    return false;
}

bool open_loopback_device() {
    output.device = alcLoopbackOpenDeviceSOFT(nullptr);
    if (!output.device) return false;
    // Float mixing without a limiter or HRTF: the sum of the sources, nothing added.
    const ALCint attributes[] = {ALC_FORMAT_CHANNELS_SOFT,
                                 ALC_STEREO_SOFT,
                                 ALC_FORMAT_TYPE_SOFT,
                                 ALC_FLOAT_SOFT,
                                 ALC_FREQUENCY,
                                 FILE_RATE,
                                 ALC_OUTPUT_LIMITER_SOFT,
                                 ALC_FALSE,
                                 ALC_HRTF_SOFT,
                                 ALC_FALSE,
                                 0};
    output.context = alcCreateContext(output.device, attributes);
    if (output.context) return true;
    alcCloseDevice(output.device);
    output.device = nullptr;
    return false;
}

}  // namespace

namespace standin {

HRESULT acquire_sound_output() {
    if (output.users > 0) {
        ++output.users;
        return DS_OK;
    }
    bool opened = false;
    if (output.choice == STANDIN_OUTPUT_DEVICE ||
        (output.choice == OUTPUT_DEFAULT && !output.no_audio_device)) {
        opened = open_audio_device();
        if (opened) output.clock = Clock::DEVICE;
        if (!opened && output.choice == STANDIN_OUTPUT_DEVICE) return DSERR_NODRIVER;
        if (!opened) output.no_audio_device = true;
    }
    if (!opened) {
        if (!open_loopback_device()) return DSERR_NODRIVER;
        output.clock = output.choice == OUTPUT_DEFAULT ? Clock::WALL : Clock::HOST;
        output.wall_start = std::chrono::steady_clock::now();
        output.wall_frames = 0;
    }
    alcMakeContextCurrent(output.context);
    output.users = 1;
    return DS_OK;
}

void release_sound_output() {
    if (output.users == 0 || --output.users > 0) return;
    alcMakeContextCurrent(nullptr);
    alcDestroyContext(output.context);
    alcCloseDevice(output.device);
    output.context = nullptr;
    output.device = nullptr;
}

void catch_up_sound_output() {
    if (output.users == 0 || output.clock != Clock::WALL) return;
    const std::chrono::duration<double> passed =
        std::chrono::steady_clock::now() - output.wall_start;
    const int64_t due = std::llround(passed.count() * FILE_RATE);
    render(due - output.wall_frames);
    output.wall_frames = due;
}

}  // namespace standin

CUEBOX_PLATFORM_API int standin_set_output(int choice, const char* path) {
    close_file();
    output.choice = choice;
    output.host_seconds = 0.0;
    output.host_frames = 0;
    if (choice != STANDIN_OUTPUT_FILE) return 0;
    output.file = path ? standin::open_regular_stream(path, "wb") : nullptr;
    if (!output.file) return -1;
    output.file_data_bytes = 0;
    write_wav_header(output.file, 0);
    return 0;
}

CUEBOX_PLATFORM_API void standin_advance_time(double seconds) {
    if (!(seconds > 0.0) || !std::isfinite(seconds)) return;
    output.host_seconds += seconds;
    const int64_t due = std::llround(output.host_seconds * FILE_RATE);
    const int64_t frames = due - output.host_frames;
    output.host_frames = due;
    if (output.users > 0 && output.clock == Clock::HOST) {
        render(frames);
    } else if (output.file) {
        // No device is open (before connect, after disconnect): the file still keeps time.
        write_silence(frames);
    }
}

CUEBOX_PLATFORM_API void standin_finish_output(void) {
    close_file();
}
