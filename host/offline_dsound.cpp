// The host's own DirectSound, mixed offline.
#include "host/offline_dsound.h"

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <new>
#include <utility>
#include <vector>

#include "host/files.h"

namespace offline_dsound {

namespace {

const int OUTPUT_RATE = 44100;
const DWORD LOWEST_RATE = 100;  // DirectSound's DSBFREQUENCY_MIN and _MAX
const DWORD HIGHEST_RATE = 200000;

using References = decltype(std::declval<IUnknown&>().AddRef());

// What a buffer's bytes hold.
struct Layout {
    bool is_float = false;
    int width = 0;  // bytes per sample
    int channels = 0;
    int block = 0;  // bytes per frame
    DWORD rate = 0;
};

// The layout of a format this mixer plays, or the reason DirectSound would give for refusing it.
HRESULT read_format(const WAVEFORMATEX* format, Layout& layout) {
    if (!format) return DSERR_INVALIDPARAM;
    WORD tag = format->wFormatTag;
    if (tag == WAVE_FORMAT_EXTENSIBLE) {
        // The sub-format GUID's first two bytes are the plain tag it stands for; it follows the
        // 18-byte header, the valid bits (2) and the channel mask (4).
        if (format->cbSize < 22) return DSERR_INVALIDPARAM;
        std::memcpy(&tag, reinterpret_cast<const BYTE*>(format) + 24, sizeof tag);
    }
    const WORD bits = format->wBitsPerSample;
    const bool is_float = tag == WAVE_FORMAT_IEEE_FLOAT;
    if (tag != WAVE_FORMAT_PCM && !is_float) return DSERR_BADFORMAT;
    if (is_float ? bits != 32 && bits != 64 : bits != 8 && bits != 16 && bits != 24 && bits != 32)
        return DSERR_BADFORMAT;
    if (format->nChannels == 0 || format->nSamplesPerSec < LOWEST_RATE ||
        format->nSamplesPerSec > HIGHEST_RATE ||
        format->nBlockAlign != format->nChannels * bits / 8)
        return DSERR_INVALIDPARAM;
    layout.is_float = is_float;
    layout.width = bits / 8;
    layout.channels = format->nChannels;
    layout.block = format->nBlockAlign;
    layout.rate = format->nSamplesPerSec;
    return DS_OK;
}

float decode(const BYTE* at, const Layout& layout) {
    if (layout.is_float) {
        double value = 0.0;
        if (layout.width == 4) {
            float single;
            std::memcpy(&single, at, 4);
            value = single;
        } else {
            std::memcpy(&value, at, 8);
        }
        // A NaN would spread through the whole mix.
        if (!(value == value)) return 0.0f;
        return static_cast<float>(std::max(-1.0, std::min(1.0, value)));
    }
    if (layout.width == 1) return (at[0] - 128) / 128.0f;
    uint32_t bits = 0;
    for (int i = 0; i < layout.width; ++i) bits |= uint32_t(at[i]) << (8 * (4 - layout.width + i));
    return static_cast<int32_t>(bits) / 2147483648.0f;
}

class Buffer;
std::vector<Buffer*> buffers;  // alive, in the order made
long devices = 0;

class Buffer final : public IDirectSoundBuffer {
  public:
    Buffer(const Layout& layout, const WAVEFORMATEX& format, DWORD bytes)
        : layout_(layout), format_(format), memory_(bytes, 0) {
        format_.cbSize = 0;
        // A buffer holds whole frames.
        if (memory_.size() % layout_.block)
            memory_.resize(memory_.size() + layout_.block - memory_.size() % layout_.block, 0);
        frames_ = memory_.size() / layout_.block;
        decode_all();
        buffers.push_back(this);
    }

    HRESULT STDMETHODCALLTYPE QueryInterface(const GUID&, void** object) override {
        if (!object) return DSERR_INVALIDPARAM;
        *object = nullptr;
        return E_NOINTERFACE;  // the module asks for no other interface
    }
    References STDMETHODCALLTYPE AddRef() override { return ++references_; }
    References STDMETHODCALLTYPE Release() override {
        if (--references_ > 0) return references_;
        buffers.erase(std::find(buffers.begin(), buffers.end(), this));
        delete this;
        return 0;
    }

    HRESULT STDMETHODCALLTYPE GetCurrentPosition(LPDWORD play, LPDWORD write) override {
        const DWORD at = byte_position();
        if (play) *play = at;
        // The write cursor runs 10 ms ahead of a playing buffer.
        if (write) {
            *write = playing_ ? static_cast<DWORD>(
                                    (at + uint64_t(layout_.rate / 100) * layout_.block) % size())
                              : at;
        }
        return DS_OK;
    }
    HRESULT STDMETHODCALLTYPE GetStatus(LPDWORD status) override {
        if (!status) return DSERR_INVALIDPARAM;
        *status = lost_      ? DSBSTATUS_BUFFERLOST
                  : playing_ ? DSBSTATUS_PLAYING | (looping_ ? DSBSTATUS_LOOPING : 0)
                             : 0;
        return DS_OK;
    }
    HRESULT STDMETHODCALLTYPE Lock(DWORD offset, DWORD bytes, LPVOID* region1,
                                   LPDWORD region1_bytes, LPVOID* region2, LPDWORD region2_bytes,
                                   DWORD flags) override {
        if (!region1 || !region1_bytes) return DSERR_INVALIDPARAM;
        if (lost_) return DSERR_BUFFERLOST;
        if (flags & DSBLOCK_FROMWRITECURSOR) GetCurrentPosition(nullptr, &offset);
        if (flags & DSBLOCK_ENTIREBUFFER) bytes = size();
        if (offset >= size() || bytes > size()) return DSERR_INVALIDPARAM;
        *region1 = memory_.data() + offset;
        const DWORD first = std::min(bytes, size() - offset);
        *region1_bytes = first;
        // A lock past the end goes on from the start.
        if (region2) *region2 = bytes > first ? memory_.data() : nullptr;
        if (region2_bytes) *region2_bytes = bytes - first;
        return DS_OK;
    }
    HRESULT STDMETHODCALLTYPE Play(DWORD, DWORD, DWORD flags) override {
        if (lost_) return DSERR_BUFFERLOST;
        playing_ = true;
        looping_ = (flags & DSBPLAY_LOOPING) != 0;
        return DS_OK;
    }
    HRESULT STDMETHODCALLTYPE SetCurrentPosition(DWORD position) override {
        position %= size();
        at_ = static_cast<double>(position / layout_.block);
        return DS_OK;
    }
    HRESULT STDMETHODCALLTYPE Stop() override {
        playing_ = false;
        return DS_OK;
    }
    HRESULT STDMETHODCALLTYPE Unlock(LPVOID region1, DWORD region1_bytes, LPVOID region2,
                                     DWORD region2_bytes) override {
        if (!inside(region1, region1_bytes) || !inside(region2, region2_bytes))
            return DSERR_INVALIDPARAM;
        decode_all();
        return DS_OK;
    }
    // The memory comes back as the loss left it: empty.
    HRESULT STDMETHODCALLTYPE Restore() override {
        lost_ = false;
        return DS_OK;
    }

    void lose() {
        lost_ = true;
        playing_ = false;
        at_ = 0;
        std::fill(memory_.begin(), memory_.end(),
                  BYTE(layout_.width == 1 && !layout_.is_float ? 128 : 0));
        decode_all();
    }

#if defined(_WIN32)
    HRESULT STDMETHODCALLTYPE GetCaps(LPDSBCAPS caps) override {
        if (!caps || caps->dwSize < sizeof(DSBCAPS)) return DSERR_INVALIDPARAM;
        caps->dwFlags = DSBCAPS_STATIC | DSBCAPS_LOCSOFTWARE;
        caps->dwBufferBytes = size();
        caps->dwUnlockTransferRate = 0;
        caps->dwPlayCpuOverhead = 0;
        return DS_OK;
    }
    HRESULT STDMETHODCALLTYPE GetFormat(LPWAVEFORMATEX format, DWORD size,
                                        LPDWORD written) override {
        if (written) *written = sizeof format_;
        if (!format) return written ? DS_OK : DSERR_INVALIDPARAM;
        if (size < sizeof format_) return DSERR_INVALIDPARAM;
        *format = format_;
        return DS_OK;
    }
    // The module asks for no volume, pan or frequency control.
    HRESULT STDMETHODCALLTYPE GetVolume(LPLONG) override {
        return DSERR_CONTROLUNAVAIL;
    }
    HRESULT STDMETHODCALLTYPE GetPan(LPLONG) override {
        return DSERR_CONTROLUNAVAIL;
    }
    HRESULT STDMETHODCALLTYPE GetFrequency(LPDWORD) override {
        return DSERR_CONTROLUNAVAIL;
    }
    HRESULT STDMETHODCALLTYPE Initialize(LPDIRECTSOUND, LPCDSBUFFERDESC) override {
        return DSERR_ALREADYINITIALIZED;
    }
    HRESULT STDMETHODCALLTYPE SetFormat(LPCWAVEFORMATEX) override {
        return DSERR_INVALIDCALL;
    }
    HRESULT STDMETHODCALLTYPE SetVolume(LONG) override {
        return DSERR_CONTROLUNAVAIL;
    }
    HRESULT STDMETHODCALLTYPE SetPan(LONG) override {
        return DSERR_CONTROLUNAVAIL;
    }
    HRESULT STDMETHODCALLTYPE SetFrequency(DWORD) override {
        return DSERR_CONTROLUNAVAIL;
    }
#endif

    // Adds `count` frames of this buffer's sound to `left` and `right`, and moves it on.
    void mix(float* left, float* right, long count) {
        const double step = static_cast<double>(layout_.rate) / OUTPUT_RATE;
        for (long i = 0; i < count && playing_; ++i) {
            const size_t frame = static_cast<size_t>(at_);
            const double part = at_ - static_cast<double>(frame);
            // The next frame, for the interpolation: the first again when the sound loops.
            const size_t next = frame + 1 < frames_ ? frame + 1 : looping_ ? 0 : frame;
            left[i] += static_cast<float>(left_[frame] + (left_[next] - left_[frame]) * part);
            right[i] += static_cast<float>(right_[frame] + (right_[next] - right_[frame]) * part);
            at_ += step;
            if (at_ >= static_cast<double>(frames_)) {
                if (looping_) {
                    at_ = std::fmod(at_, static_cast<double>(frames_));
                } else {
                    playing_ = false;
                    at_ = 0;
                }
            }
        }
    }

  private:
    ~Buffer() = default;

    DWORD size() const {
        return static_cast<DWORD>(memory_.size());
    }
    DWORD byte_position() const {
        return static_cast<DWORD>(at_) * layout_.block;
    }

    bool inside(LPVOID region, DWORD bytes) const {
        if (bytes == 0) return true;
        const BYTE* start = static_cast<const BYTE*>(region);
        return start >= memory_.data() && start <= memory_.data() + memory_.size() &&
               bytes <= static_cast<size_t>(memory_.data() + memory_.size() - start);
    }

    // The sound as two speakers hear it: mono on both, more channels folded, even ones left.
    void decode_all() {
        left_.assign(frames_, 0.0f);
        right_.assign(frames_, 0.0f);
        const int channels = layout_.channels;
        const int lefts = (channels + 1) / 2;
        const int rights = channels == 1 ? 1 : channels / 2;
        for (size_t f = 0; f < frames_; ++f) {
            const BYTE* at = memory_.data() + f * layout_.block;
            float l = 0, r = 0;
            for (int c = 0; c < channels; ++c) {
                const float value = decode(at + c * layout_.width, layout_);
                if (c % 2 == 0 || channels == 1) l += value;
                if (c % 2 == 1 || channels == 1) r += value;
            }
            left_[f] = l / lefts;
            right_[f] = r / rights;
        }
    }

    Layout layout_;
    WAVEFORMATEX format_;
    std::vector<BYTE> memory_;
    size_t frames_ = 0;
    std::vector<float> left_, right_;
    References references_ = 1;
    bool playing_ = false;
    bool looping_ = false;
    bool lost_ = false;
    double at_ = 0;  // the play position in frames, with the part of a frame resampling reached
};

class Device final : public IDirectSound {
  public:
    Device() { ++devices; }

    HRESULT STDMETHODCALLTYPE QueryInterface(const GUID&, void** object) override {
        if (!object) return DSERR_INVALIDPARAM;
        *object = nullptr;
        return E_NOINTERFACE;
    }
    References STDMETHODCALLTYPE AddRef() override { return ++references_; }
    References STDMETHODCALLTYPE Release() override {
        if (--references_ > 0) return references_;
        delete this;
        return 0;
    }

    HRESULT STDMETHODCALLTYPE CreateSoundBuffer(LPCDSBUFFERDESC description,
                                                LPDIRECTSOUNDBUFFER* buffer,
                                                LPUNKNOWN outer) override {
        if (!buffer) return DSERR_INVALIDPARAM;
        *buffer = nullptr;
        if (outer) return DSERR_NOAGGREGATION;
        if (!description || (description->dwSize != sizeof(DSBUFFERDESC) &&
                             description->dwSize != sizeof(DSBUFFERDESC1)))
            return DSERR_INVALIDPARAM;
        if (description->dwFlags & DSBCAPS_PRIMARYBUFFER) return DSERR_UNSUPPORTED;
        Layout layout;
        const HRESULT format = read_format(description->lpwfxFormat, layout);
        if (FAILED(format)) return format;
        if (description->dwBufferBytes < DSBSIZE_MIN || description->dwBufferBytes > DSBSIZE_MAX)
            return DSERR_INVALIDPARAM;
        *buffer = new (std::nothrow)
            Buffer(layout, *description->lpwfxFormat, description->dwBufferBytes);
        return *buffer ? DS_OK : DSERR_OUTOFMEMORY;
    }
    HRESULT STDMETHODCALLTYPE SetCooperativeLevel(HWND, DWORD) override { return DS_OK; }

#if defined(_WIN32)
    HRESULT STDMETHODCALLTYPE GetCaps(LPDSCAPS caps) override {
        if (!caps || caps->dwSize < sizeof(DSCAPS)) return DSERR_INVALIDPARAM;
        const DWORD size = caps->dwSize;
        std::memset(caps, 0, sizeof(DSCAPS));
        caps->dwSize = size;
        caps->dwFlags = DSCAPS_EMULDRIVER;
        caps->dwMinSecondarySampleRate = LOWEST_RATE;
        caps->dwMaxSecondarySampleRate = HIGHEST_RATE;
        return DS_OK;
    }
    HRESULT STDMETHODCALLTYPE DuplicateSoundBuffer(LPDIRECTSOUNDBUFFER,
                                                   LPDIRECTSOUNDBUFFER*) override {
        return DSERR_UNSUPPORTED;
    }
    HRESULT STDMETHODCALLTYPE Compact() override {
        return DS_OK;
    }
    HRESULT STDMETHODCALLTYPE GetSpeakerConfig(LPDWORD config) override {
        if (!config) return DSERR_INVALIDPARAM;
        *config = DSSPEAKER_STEREO;
        return DS_OK;
    }
    HRESULT STDMETHODCALLTYPE SetSpeakerConfig(DWORD) override {
        return DS_OK;
    }
    HRESULT STDMETHODCALLTYPE Initialize(LPCGUID) override {
        return DSERR_ALREADYINITIALIZED;
    }
#endif

  private:
    ~Device() {
        --devices;
    }
    References references_ = 1;
};

// The output: the file, if any, and how far the clock has gone, in seconds and in frames. Frames
// follow the total, so many small steps do not drift from the run's clock.
std::FILE* file = nullptr;
uint64_t data_bytes = 0;
double seconds_passed = 0;
int64_t frames_mixed = 0;

void put(unsigned char* at, uint32_t value, int bytes) {
    for (int i = 0; i < bytes; ++i) at[i] = static_cast<unsigned char>(value >> (8 * i));
}

void write_header() {
    // A RIFF size is 32 bits: a longer mix keeps its first four gigabytes.
    const uint32_t data = static_cast<uint32_t>(std::min<uint64_t>(data_bytes, 0xFFFFFFFFu - 36));
    unsigned char header[44] = {'R', 'I', 'F', 'F', 0,   0,   0,   0, 'W', 'A', 'V',
                                'E', 'f', 'm', 't', ' ', 16,  0,   0, 0,   0,   0,
                                0,   0,   0,   0,   0,   0,   0,   0, 0,   0,   0,
                                0,   0,   0,   'd', 'a', 't', 'a', 0, 0,   0,   0};
    put(header + 4, data + 36, 4);
    put(header + 20, WAVE_FORMAT_PCM, 2);
    put(header + 22, 2, 2);
    put(header + 24, OUTPUT_RATE, 4);
    put(header + 28, OUTPUT_RATE * 4, 4);
    put(header + 32, 4, 2);
    put(header + 34, 16, 2);
    put(header + 40, data, 4);
    std::fseek(file, 0, SEEK_SET);
    std::fwrite(header, 1, sizeof header, file);
    std::fseek(file, 0, SEEK_END);
}

void mix(long frames) {
    const long CHUNK = 1024;
    float left[CHUNK], right[CHUNK];
    int16_t samples[2 * CHUNK];
    for (long done = 0; done < frames;) {
        const long count = std::min(CHUNK, frames - done);
        std::fill(left, left + count, 0.0f);
        std::fill(right, right + count, 0.0f);
        for (Buffer* buffer : buffers) buffer->mix(left, right, count);
        if (file) {
            for (long i = 0; i < count; ++i) {
                samples[2 * i] = static_cast<int16_t>(
                    std::lround(std::max(-1.0f, std::min(1.0f, left[i])) * 32767.0f));
                samples[2 * i + 1] = static_cast<int16_t>(
                    std::lround(std::max(-1.0f, std::min(1.0f, right[i])) * 32767.0f));
            }
            data_bytes += std::fwrite(samples, 4, static_cast<size_t>(count), file) * 4;
        }
        done += count;
    }
}

}  // namespace

bool start_output(const std::string& path, std::string& error) {
    finish_output();
    seconds_passed = 0;
    frames_mixed = 0;
    data_bytes = 0;
    if (path.empty()) return true;
    file = open_regular_file(path, "wb");
    if (!file) {
        error = "cannot write the sound file: " + path;
        return false;
    }
    write_header();
    return true;
}

void advance(double seconds) {
    if (!(seconds > 0)) return;
    seconds_passed += seconds;
    const int64_t due = std::llround(seconds_passed * OUTPUT_RATE);
    if (due > frames_mixed) mix(static_cast<long>(due - frames_mixed));
    frames_mixed = std::max(frames_mixed, due);
}

void finish_output() {
    if (!file) return;
    write_header();
    std::fclose(file);
    file = nullptr;
}

HRESULT WINAPI DirectSoundCreate(LPCGUID, LPDIRECTSOUND* direct_sound, LPUNKNOWN outer) {
    if (!direct_sound) return DSERR_INVALIDPARAM;
    *direct_sound = nullptr;
    if (outer) return DSERR_NOAGGREGATION;
    *direct_sound = new (std::nothrow) Device();
    return *direct_sound ? DS_OK : DSERR_OUTOFMEMORY;
}

void lose_all_buffers() {
    for (Buffer* buffer : buffers) buffer->lose();
}

long live_devices() {
    return devices;
}

long live_buffers() {
    return static_cast<long>(buffers.size());
}

}  // namespace offline_dsound
