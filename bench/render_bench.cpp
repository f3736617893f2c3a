// Offline mixing speed of the DirectSound stand-in: 100 buffers looping at once, in mixed
// formats and rates, mixed one panel update (1/18 s) at a time, discarded or written to a WAV
// file. The counter realtime_factor is seconds of sound mixed per second of work (CPU time,
// so that other loads on the machine do not count as work).
#include <benchmark/benchmark.h>

#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "platform/standin.h"

namespace {

const int BUFFER_COUNT = 100;
const double UPDATE_SECONDS = 1.0 / 18.0;

struct Mix {
    IDirectSound* device = nullptr;
    std::vector<IDirectSoundBuffer*> buffers;
};

// Makes buffer `index` of the mix: 8 or 16 bits, mono or stereo, 11025 to 48000 Hz, half a
// second to two seconds of a tone, so that every buffer resamples and loops differently.
IDirectSoundBuffer* make_buffer(IDirectSound* device, int index) {
    static const DWORD rates[] = {11025, 16000, 22050, 32000, 44100, 48000};
    WAVEFORMATEX format = {};
    format.wFormatTag = WAVE_FORMAT_PCM;
    format.nChannels = static_cast<WORD>(1 + index % 2);
    format.wBitsPerSample = static_cast<WORD>(index % 4 < 2 ? 16 : 8);
    format.nSamplesPerSec = rates[index % 6];
    format.nBlockAlign = static_cast<WORD>(format.nChannels * format.wBitsPerSample / 8);
    format.nAvgBytesPerSec = format.nSamplesPerSec * format.nBlockAlign;
    const double seconds = 0.5 + (index % 7) * 0.25;
    const DWORD frames = static_cast<DWORD>(seconds * format.nSamplesPerSec);
    DSBUFFERDESC description = {};
    description.dwSize = sizeof description;
    description.dwFlags = DSBCAPS_STATIC;
    description.dwBufferBytes = frames * format.nBlockAlign;
    description.lpwfxFormat = &format;
    IDirectSoundBuffer* buffer = nullptr;
    if (device->CreateSoundBuffer(&description, &buffer, nullptr) != DS_OK) return nullptr;
    LPVOID region = nullptr;
    DWORD bytes = 0;
    if (buffer->Lock(0, description.dwBufferBytes, &region, &bytes, nullptr, nullptr, 0) == DS_OK) {
        const double pitch = 110.0 * (1 + index % 12);
        for (DWORD frame = 0; frame < frames; ++frame) {
            const double value =
                0.01 * std::sin(6.283185307 * pitch * frame / format.nSamplesPerSec);
            for (int channel = 0; channel < format.nChannels; ++channel) {
                const DWORD at = frame * format.nBlockAlign + channel * format.wBitsPerSample / 8;
                if (format.wBitsPerSample == 8) {
                    static_cast<BYTE*>(region)[at] = static_cast<BYTE>(128 + value * 127);
                } else {
                    const int16_t sample = static_cast<int16_t>(value * 32767);
                    std::memcpy(static_cast<BYTE*>(region) + at, &sample, 2);
                }
            }
        }
        buffer->Unlock(region, bytes, nullptr, 0);
    }
    buffer->Play(0, 0, DSBPLAY_LOOPING);
    return buffer;
}

bool start_mix(Mix& mix, int output, const char* path) {
    if (standin_set_output(output, path) != 0) return false;
    if (DirectSoundCreate(nullptr, &mix.device, nullptr) != DS_OK) return false;
    for (int i = 0; i < BUFFER_COUNT; ++i) {
        IDirectSoundBuffer* buffer = make_buffer(mix.device, i);
        if (!buffer) return false;
        mix.buffers.push_back(buffer);
    }
    return true;
}

void end_mix(Mix& mix) {
    for (IDirectSoundBuffer* buffer : mix.buffers) buffer->Release();
    if (mix.device) mix.device->Release();
    standin_finish_output();
}

void mix_updates(benchmark::State& state, int output, const char* path) {
    Mix mix;
    if (!start_mix(mix, output, path)) {
        end_mix(mix);
        state.SkipWithError("cannot set up 100 looping buffers");
        return;
    }
    for (auto _ : state) standin_advance_time(UPDATE_SECONDS);
    long playing = 0;
    for (IDirectSoundBuffer* buffer : mix.buffers) {
        DWORD status = 0;
        buffer->GetStatus(&status);
        playing += (status & DSBSTATUS_LOOPING) != 0;
    }
    end_mix(mix);
    if (playing != BUFFER_COUNT) state.SkipWithError("not every buffer was still looping");
    state.counters["realtime_factor"] = benchmark::Counter(
        static_cast<double>(state.iterations()) * UPDATE_SECONDS, benchmark::Counter::kIsRate);
}

void BM_MixHundredLoopsDiscarded(benchmark::State& state) {
    mix_updates(state, STANDIN_OUTPUT_NONE, nullptr);
}
BENCHMARK(BM_MixHundredLoopsDiscarded)->Unit(benchmark::kMicrosecond);

void BM_MixHundredLoopsToFile(benchmark::State& state) {
    const std::string path = "/tmp/cuebox_render_bench.wav";
    mix_updates(state, STANDIN_OUTPUT_FILE, path.c_str());
    std::remove(path.c_str());
}
BENCHMARK(BM_MixHundredLoopsToFile)->Unit(benchmark::kMicrosecond);

}  // namespace

BENCHMARK_MAIN();
