// Owns the DirectSound stand-in: DirectSoundCreate, the IDirectSound device objects and the
// IDirectSoundBuffer secondary buffers, each buffer with its own memory and one OpenAL source
// and buffer, and the sound buffers' side of the test interface (loss, failures, live counts).
//
// Wine's DirectSound is the reference for every answer given here: which formats and sizes are
// accepted, how positions round and wrap, what the status shows. Trace fields give result codes
// as 0 or as a hexadecimal string such as "0x88780096".
#include <new>

#define AL_ALEXT_PROTOTYPES
#include <AL/al.h>
#include <AL/alext.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "platform/result_hex.h"
#include "platform/sound_output.h"
#include "platform/standin.h"
#include "platform/standin_core.h"

namespace {

const GUID IID_UNKNOWN = {0x00000000, 0x0000, 0x0000, {0xC0, 0, 0, 0, 0, 0, 0, 0x46}};
const GUID IID_DIRECT_SOUND = {
    0x279AFA83, 0x4981, 0x11CE, {0xA5, 0x21, 0x00, 0x20, 0xAF, 0x0B, 0xE5, 0x60}};
const GUID IID_DIRECT_SOUND_BUFFER = {
    0x279AFA85, 0x4981, 0x11CE, {0xA5, 0x21, 0x00, 0x20, 0xAF, 0x0B, 0xE5, 0x60}};

// The sub-format GUIDs of WAVEFORMATEXTENSIBLE: this one with the plain format tag as Data1.
const GUID SUB_FORMAT_BASE = {
    0x00000000, 0x0000, 0x0010, {0x80, 0x00, 0x00, 0xAA, 0x00, 0x38, 0x9B, 0x71}};

bool same_guid(const GUID& a, const GUID& b) {
    return std::memcmp(&a, &b, sizeof(GUID)) == 0;
}

standin::Fields result_field(HRESULT result) {
    if (result == DS_OK) return 0;
    return result_hex(result);
}

// Faults that tests arm through the stand-in's interface.
HRESULT device_create_fault = DS_OK;
HRESULT buffer_create_fault = DS_OK;
int restore_faults = 0;  // -1: for ever
HRESULT restore_fault_code = DS_OK;

long live_devices = 0;
long live_buffers = 0;
HWND cooperative_window = nullptr;
long buffers_created = 0;

class DirectSound;

// The COM side that the device and its buffers share: the reference count, and QueryInterface
// for IUnknown and the one interface the object implements. The last Release hands the object
// to last_release, which gives back what it holds and deletes it.
template <typename Interface>
class ComObject : public Interface {
  public:
    HRESULT STDMETHODCALLTYPE QueryInterface(const GUID& iid, void** object) override {
        standin::count_call("QueryInterface");
        if (!object) return E_INVALIDARG;
        *object = nullptr;
        if (!same_guid(iid, IID_UNKNOWN) && !same_guid(iid, interface_id_)) return E_NOINTERFACE;
        AddRef();
        *object = static_cast<Interface*>(this);
        return S_OK;
    }

    uint32_t STDMETHODCALLTYPE AddRef() override {
        standin::count_call("AddRef");
        return ++references_;
    }

    uint32_t STDMETHODCALLTYPE Release() override {
        standin::count_call("Release");
        if (--references_ > 0) return references_;
        last_release();
        return 0;
    }

  protected:
    explicit ComObject(const GUID& interface_id) : interface_id_(interface_id) {}
    virtual ~ComObject() = default;
    virtual void last_release() = 0;

  private:
    const GUID& interface_id_;
    uint32_t references_ = 1;
};

// Where each speaker of a channel mask goes in a stereo mix: -1 left, 1 right, 0 both.
const signed char SPEAKER_SIDE[18] = {-1, 1, 0, 0, -1, 1, -1, 1, 0, -1, 1, 0, -1, 0, 1, -1, 0, 1};
// The speakers Windows assumes for a format without a channel mask, by channel count.
const DWORD DEFAULT_CHANNEL_MASK[9] = {0, 0x4, 0x3, 0x7, 0x33, 0x37, 0x3F, 0x13F, 0x63F};

// What the buffer's bytes hold, taken from its format once at creation.
struct SampleLayout {
    bool is_float = false;
    int width = 0;  // bytes per sample
    int channels = 0;
    int block = 0;  // bytes per frame
    DWORD mask = 0;
};

float decode_sample(const BYTE* at, const SampleLayout& layout) {
    if (layout.is_float) {
        // Wine accepts float samples of any whole-byte width; only 32 and 64 bits mean anything,
        // the others play as silence.
        double value = 0.0;
        if (layout.width == 4) {
            float single;
            std::memcpy(&single, at, 4);
            value = single;
        } else if (layout.width == 8) {
            std::memcpy(&value, at, 8);
        }
        // A NaN would spread through the whole mix, so it becomes silence here.
        if (!(value == value)) return 0.0f;
        return static_cast<float>(std::max(-1.0, std::min(1.0, value)));
    }
    if (layout.width == 1) return (at[0] - 128) / 128.0f;
    // Wider integers: the most significant four bytes (or all of them) are enough for a mix.
    const int used = std::min(layout.width, 4);
    uint32_t bits = 0;
    for (int i = 0; i < used; ++i)
        bits |= uint32_t(at[layout.width - used + i]) << (8 * (4 - used + i));
    return static_cast<int32_t>(bits) / 2147483648.0f;
}

// A mixed value in -1..1 as an integer sample of that scale, kept within its range.
long to_integer(float value, long scale) {
    return std::max(-scale, std::min(scale - 1, std::lround(value * scale)));
}

class SoundBuffer final : public ComObject<IDirectSoundBuffer> {
  public:
    // Takes over `memory` (from malloc) and an OpenAL source and buffer made for it.
    SoundBuffer(DirectSound* device, const SampleLayout& layout, const WAVEFORMATEX& format,
                BYTE* memory, DWORD size, ALuint source, ALuint al_buffer)
        : ComObject(IID_DIRECT_SOUND_BUFFER),
          device_(device),
          layout_(layout),
          format_(format),
          memory_(memory),
          size_(size),
          source_(source),
          al_buffer_(al_buffer) {
        number_ = ++buffers_created;
        ++live_buffers;
        next_ = first;
        if (first) first->previous_ = this;
        first = this;
        // Channels go straight to the speakers, as DirectSound plays a buffer without 3D.
        alSourcei(source_, AL_DIRECT_CHANNELS_SOFT, AL_TRUE);
        alSourcei(source_, AL_SOURCE_RELATIVE, AL_TRUE);
    }

    long number() const { return number_; }
    DWORD size() const { return size_; }

    // The device is going away: its buffers stop and keep only their memory. Windows frees them
    // with the device, so whatever a program still does with one is an error there.
    void detach() {
        close_source();
        device_ = nullptr;
        playing_ = false;
    }

    // Loss as a sound card's owner causes it: playing stops and the contents are gone.
    void lose() {
        refresh();
        if (playing_) alSourceStop(source_);
        playing_ = false;
        position_ = 0;
        lost_ = true;
        std::memset(memory_, 0, size_);
        stale_ = true;
        standin::emit("lose", {{"buffer", number_}});
    }

    static SoundBuffer* first;
    SoundBuffer* next_ = nullptr;
    SoundBuffer* previous_ = nullptr;
    DirectSound* device_;

    void last_release() override {
        standin::emit("release", {{"buffer", number_}});
        delete this;
    }

    HRESULT STDMETHODCALLTYPE GetCurrentPosition(LPDWORD play_cursor,
                                                 LPDWORD write_cursor) override {
        standin::count_call("GetCurrentPosition");
        if (!device_) return DSERR_UNINITIALIZED;
        const DWORD play = current_position();
        if (play_cursor) *play_cursor = play;
        if (write_cursor) *write_cursor = write_position(play);
        return DS_OK;
    }

    HRESULT STDMETHODCALLTYPE GetStatus(LPDWORD status) override {
        standin::count_call("GetStatus");
        if (!status) return DSERR_INVALIDPARAM;
        *status = 0;
        if (!device_) return DSERR_UNINITIALIZED;
        refresh();
        if (lost_) {
            *status = DSBSTATUS_BUFFERLOST;
        } else if (playing_) {
            *status = DSBSTATUS_PLAYING | (looping_ ? DSBSTATUS_LOOPING : 0);
        }
        return DS_OK;
    }

    HRESULT STDMETHODCALLTYPE Lock(DWORD offset, DWORD bytes, LPVOID* region1,
                                   LPDWORD region1_bytes, LPVOID* region2, LPDWORD region2_bytes,
                                   DWORD flags) override {
        standin::count_call("Lock");
        if (!region1 || !region1_bytes) return DSERR_INVALIDPARAM;
        if (!device_) return DSERR_UNINITIALIZED;
        if (lost_) return DSERR_BUFFERLOST;
        if (flags & DSBLOCK_FROMWRITECURSOR) offset = write_position(current_position());
        if (flags & DSBLOCK_ENTIREBUFFER) bytes = size_;
        if (offset >= size_ || bytes > size_) return DSERR_INVALIDPARAM;
        *region1 = memory_ + offset;
        if (offset + bytes <= size_) {
            *region1_bytes = bytes;
            if (region2) *region2 = nullptr;
            if (region2_bytes) *region2_bytes = 0;
        } else {
            // The lock wraps: the rest comes from the start of the buffer.
            *region1_bytes = size_ - offset;
            if (region2) *region2 = memory_;
            if (region2_bytes) *region2_bytes = bytes - (size_ - offset);
        }
        return DS_OK;
    }

    HRESULT STDMETHODCALLTYPE Play(DWORD, DWORD, DWORD flags) override {
        standin::count_call("Play");
        const bool looping = (flags & DSBPLAY_LOOPING) != 0;
        const DWORD from = device_ ? current_position() : 0;
        const HRESULT result = play(looping);
        if (standin::tracing()) {
            standin::emit("play", {{"buffer", number_},
                                   {"looping", looping},
                                   {"position", from},
                                   {"result", result_field(result)}});
        }
        return result;
    }

    HRESULT STDMETHODCALLTYPE SetCurrentPosition(DWORD position) override {
        standin::count_call("SetCurrentPosition");
        if (!device_) return DSERR_UNINITIALIZED;
        // Wine wraps a position past the end and rounds it down to a whole frame.
        position %= size_;
        position -= position % layout_.block;
        refresh();
        if (playing_) {
            alSourcei(source_, AL_SAMPLE_OFFSET, static_cast<ALint>(position / layout_.block));
        } else {
            position_ = position;
        }
        if (standin::tracing()) {
            standin::emit("position", {{"buffer", number_}, {"position", position}});
        }
        return DS_OK;
    }

    HRESULT STDMETHODCALLTYPE Stop() override {
        standin::count_call("Stop");
        if (!device_) return DSERR_UNINITIALIZED;
        refresh();
        if (playing_) {
            position_ = current_position();
            alSourceStop(source_);
            playing_ = false;
        }
        if (standin::tracing()) {
            standin::emit("stop", {{"buffer", number_}, {"position", position_}});
        }
        return DS_OK;
    }

    HRESULT STDMETHODCALLTYPE Unlock(LPVOID region1, DWORD region1_bytes, LPVOID region2,
                                     DWORD region2_bytes) override {
        standin::count_call("Unlock");
        if (!device_) return DSERR_UNINITIALIZED;
        // Wine refuses regions that do not lie inside the buffer.
        if (!inside(region1, region1_bytes) || !inside(region2, region2_bytes)) {
            return DSERR_INVALIDPARAM;
        }
        stale_ = true;
        refresh();
        // A playing buffer hears its new contents at once; a stopped one takes them at Play.
        return playing_ ? upload() : DS_OK;
    }

    HRESULT STDMETHODCALLTYPE Restore() override {
        standin::count_call("Restore");
        HRESULT result = DS_OK;
        if (!device_) {
            result = DSERR_UNINITIALIZED;
        } else if (restore_faults != 0) {
            if (restore_faults > 0) --restore_faults;
            result = restore_fault_code;
        } else {
            // The memory comes back as it was left at the loss: zeroed.
            lost_ = false;
        }
        if (standin::tracing()) {
            standin::emit("restore", {{"buffer", number_}, {"result", result_field(result)}});
        }
        return result;
    }

  private:
    ~SoundBuffer() {
        close_source();
        std::free(memory_);
        --live_buffers;
        if (previous_) previous_->next_ = next_;
        if (next_) next_->previous_ = previous_;
        if (first == this) first = next_;
    }

    void close_source() {
        if (!device_) return;
        alDeleteSources(1, &source_);
        alDeleteBuffers(1, &al_buffer_);
    }

    bool inside(LPVOID region, DWORD bytes) const {
        if (bytes == 0) return true;
        const uintptr_t start = reinterpret_cast<uintptr_t>(region);
        const uintptr_t base = reinterpret_cast<uintptr_t>(memory_);
        return start >= base && start - base <= size_ && bytes <= size_ - (start - base);
    }

    // The write cursor runs 10 ms ahead of a playing buffer, as Wine reports it.
    DWORD write_position(DWORD play) const {
        if (!playing_) return play;
        return static_cast<DWORD>((play + uint64_t(format_.nSamplesPerSec / 100) * layout_.block) %
                                  size_);
    }

    // Notices a single play that has reached its end: it stopped, back at the start.
    void refresh() {
        standin::catch_up_sound_output();
        if (!playing_) return;
        ALint state = AL_STOPPED;
        alGetSourcei(source_, AL_SOURCE_STATE, &state);
        if (state != AL_PLAYING) {
            playing_ = false;
            position_ = 0;
        }
    }

    DWORD current_position() {
        refresh();
        if (!playing_) return position_;
        ALint frame = 0;
        alGetSourcei(source_, AL_SAMPLE_OFFSET, &frame);
        return (static_cast<DWORD>(frame) * layout_.block) % size_;
    }

    HRESULT play(bool looping) {
        if (!device_) return DSERR_UNINITIALIZED;
        if (lost_) return DSERR_BUFFERLOST;
        looping_ = looping;
        refresh();
        if (playing_) {
            // Play on a playing buffer changes only whether it loops, not where it stands.
            alSourcei(source_, AL_LOOPING, looping ? AL_TRUE : AL_FALSE);
            refresh();
            if (playing_) return DS_OK;
        }
        if (stale_) {
            const HRESULT uploaded = upload();
            if (FAILED(uploaded)) return uploaded;
        }
        // An offset set on a stopped source is where its next play starts.
        alSourcei(source_, AL_LOOPING, looping ? AL_TRUE : AL_FALSE);
        alSourcei(source_, AL_SAMPLE_OFFSET, static_cast<ALint>(position_ / layout_.block));
        alSourcePlay(source_);
        playing_ = true;
        return DS_OK;
    }

    // Hands the buffer's contents to OpenAL as stereo: 8- and 16-bit samples keep their type,
    // wider and float samples become float; more channels are folded onto two speakers.
    HRESULT upload() {
        const DWORD frames = size_ / layout_.block;
        const bool as_is = !layout_.is_float && layout_.channels == 2 && layout_.width <= 2;
        const int out_width = layout_.is_float || layout_.width > 2 ? 4 : layout_.width;
        const ALenum al_format = out_width == 1   ? AL_FORMAT_STEREO8
                                 : out_width == 2 ? AL_FORMAT_STEREO16
                                                  : AL_FORMAT_STEREO_FLOAT32;
        void* data = memory_;
        void* converted = nullptr;
        if (!as_is) {
            converted = std::malloc(static_cast<size_t>(frames) * 2 * out_width);
            if (!converted) return DSERR_OUTOFMEMORY;
            convert(converted, out_width, frames);
            data = converted;
        }
        ALint state = AL_STOPPED;
        ALint frame = 0;
        alGetSourcei(source_, AL_SOURCE_STATE, &state);
        alGetSourcei(source_, AL_SAMPLE_OFFSET, &frame);
        alSourceStop(source_);
        alSourcei(source_, AL_BUFFER, 0);
        const ALsizei rate =
            static_cast<ALsizei>(std::min<DWORD>(format_.nSamplesPerSec, 0x7FFFFFFF));
        alBufferData(al_buffer_, al_format, data,
                     static_cast<ALsizei>(static_cast<size_t>(frames) * 2 * out_width), rate);
        std::free(converted);
        alSourcei(source_, AL_BUFFER, static_cast<ALint>(al_buffer_));
        stale_ = false;
        if (state == AL_PLAYING) {
            alSourcei(source_, AL_SAMPLE_OFFSET, frame);
            alSourcePlay(source_);
        }
        return DS_OK;
    }

    void convert(void* out, int out_width, DWORD frames) const {
        // Gains of each channel on the left and right speakers.
        float left[64], right[64];
        for (int c = 0; c < 64; ++c) left[c] = right[c] = 0.0f;
        if (layout_.channels == 1) {
            left[0] = right[0] = 1.0f;
        } else {
            int channel = 0;
            for (int speaker = 0; speaker < 32 && channel < layout_.channels && channel < 64;
                 ++speaker) {
                if (!(layout_.mask & (1u << speaker))) continue;
                const int side = speaker < 18 ? SPEAKER_SIDE[speaker] : 0;
                left[channel] = side < 0 ? 1.0f : side > 0 ? 0.0f : 0.7071f;
                right[channel] = side > 0 ? 1.0f : side < 0 ? 0.0f : 0.7071f;
                ++channel;
            }
            // Channels without a speaker in the mask play in the middle.
            for (; channel < layout_.channels && channel < 64; ++channel) {
                left[channel] = right[channel] = 0.7071f;
            }
        }
        const BYTE* frame = memory_;
        for (DWORD i = 0; i < frames; ++i, frame += layout_.block) {
            float l = 0.0f, r = 0.0f;
            for (int c = 0; c < layout_.channels && c < 64; ++c) {
                const float value = decode_sample(frame + c * layout_.width, layout_);
                l += value * left[c];
                r += value * right[c];
            }
            l = std::max(-1.0f, std::min(1.0f, l));
            r = std::max(-1.0f, std::min(1.0f, r));
            // Scaled as they were decoded, so 8- and 16-bit samples come back unchanged.
            if (out_width == 1) {
                static_cast<uint8_t*>(out)[2 * i] = to_integer(l, 128) + 128;
                static_cast<uint8_t*>(out)[2 * i + 1] = to_integer(r, 128) + 128;
            } else if (out_width == 2) {
                static_cast<int16_t*>(out)[2 * i] = to_integer(l, 32768);
                static_cast<int16_t*>(out)[2 * i + 1] = to_integer(r, 32768);
            } else {
                static_cast<float*>(out)[2 * i] = l;
                static_cast<float*>(out)[2 * i + 1] = r;
            }
        }
    }

    long number_;
    SampleLayout layout_;
    WAVEFORMATEX format_;
    BYTE* memory_;
    DWORD size_;
    ALuint source_;
    ALuint al_buffer_;
    bool playing_ = false;
    bool looping_ = false;
    bool lost_ = false;
    bool stale_ = true;   // OpenAL does not hold the buffer's present contents yet
    DWORD position_ = 0;  // where the buffer stands while it does not play
};

SoundBuffer* SoundBuffer::first = nullptr;

// Checks a format as Wine does and says how to read its samples. Answers DS_OK,
// DSERR_UNSUPPORTED for a kind of sample it cannot play, or DSERR_INVALIDPARAM.
HRESULT read_format(const WAVEFORMATEX& format, SampleLayout& layout) {
    WORD tag = format.wFormatTag;
    layout.mask = format.nChannels < 9 ? DEFAULT_CHANNEL_MASK[format.nChannels] : 0;
    if (tag == WAVE_FORMAT_EXTENSIBLE) {
        // WAVEFORMATEXTENSIBLE: valid bits (2 bytes), channel mask (4), sub-format GUID (16).
        // Wine wants exactly that extension, and a PCM or float sub-format.
        if (format.cbSize < 22) return DSERR_INVALIDPARAM;
        if (format.cbSize > 22) return DSERR_CONTROLUNAVAIL;
        const BYTE* extension = reinterpret_cast<const BYTE*>(&format) + sizeof(WAVEFORMATEX);
        WORD valid_bits;
        DWORD mask;
        GUID sub_format;
        std::memcpy(&valid_bits, extension, 2);
        std::memcpy(&mask, extension + 2, 4);
        std::memcpy(&sub_format, extension + 6, 16);
        const DWORD kind = sub_format.Data1;
        sub_format.Data1 = 0;
        if (!same_guid(sub_format, SUB_FORMAT_BASE) ||
            (kind != WAVE_FORMAT_PCM && kind != WAVE_FORMAT_IEEE_FLOAT)) {
            return DSERR_INVALIDPARAM;
        }
        tag = static_cast<WORD>(kind);
        if (valid_bits > format.wBitsPerSample) return DSERR_INVALIDPARAM;
        if (mask) layout.mask = mask;
    }
    if (tag != WAVE_FORMAT_PCM && tag != WAVE_FORMAT_IEEE_FLOAT) return DSERR_UNSUPPORTED;
    if (format.nChannels == 0 || format.nSamplesPerSec == 0) return DSERR_INVALIDPARAM;
    if (format.wBitsPerSample == 0 || format.wBitsPerSample % 8 != 0) return DSERR_INVALIDPARAM;
    if (format.nBlockAlign != format.nChannels * format.wBitsPerSample / 8) {
        return DSERR_INVALIDPARAM;
    }
    layout.is_float = tag == WAVE_FORMAT_IEEE_FLOAT;
    layout.width = format.wBitsPerSample / 8;
    layout.channels = format.nChannels;
    layout.block = format.nBlockAlign;
    return DS_OK;
}

class DirectSound final : public ComObject<IDirectSound> {
  public:
    DirectSound() : ComObject(IID_DIRECT_SOUND) { ++live_devices; }

    void last_release() override {
        for (SoundBuffer* buffer = SoundBuffer::first; buffer; buffer = buffer->next_) {
            if (buffer->device_ == this) buffer->detach();
        }
        standin::release_sound_output();
        standin::emit("device_release");
        delete this;
    }

    HRESULT STDMETHODCALLTYPE CreateSoundBuffer(LPCDSBUFFERDESC description,
                                                LPDIRECTSOUNDBUFFER* buffer,
                                                LPUNKNOWN outer) override {
        standin::count_call("CreateSoundBuffer");
        SoundBuffer* made = nullptr;
        const HRESULT result = buffer ? create(description, outer, made) : DSERR_INVALIDPARAM;
        if (buffer) *buffer = made;
        if (standin::tracing()) trace_create(description, made, result);
        return result;
    }

    HRESULT STDMETHODCALLTYPE SetCooperativeLevel(HWND window, DWORD) override {
        standin::count_call("SetCooperativeLevel");
        // Wine takes any window, a null one included, and any level; which one it was is kept
        // for the tests, since only a recording DirectSound under Wine would tell otherwise.
        cooperative_window = window;
        return DS_OK;
    }

  private:
    ~DirectSound() { --live_devices; }

    HRESULT create(LPCDSBUFFERDESC description, LPUNKNOWN outer, SoundBuffer*& made) {
        (void)outer;  // Wine ignores an outer object here.
        if (buffer_create_fault != DS_OK) {
            const HRESULT fault = buffer_create_fault;
            buffer_create_fault = DS_OK;
            return fault;
        }
        if (!description) return DSERR_INVALIDPARAM;
        if (description->dwSize != sizeof(DSBUFFERDESC) &&
            description->dwSize != sizeof(DSBUFFERDESC1)) {
            return DSERR_INVALIDPARAM;
        }
        // The primary buffer is not something this layer offers; the module never asks for it.
        if (description->dwFlags & DSBCAPS_PRIMARYBUFFER) return DSERR_UNSUPPORTED;
        if (!description->lpwfxFormat) return DSERR_INVALIDPARAM;
        SampleLayout layout;
        const HRESULT format_result = read_format(*description->lpwfxFormat, layout);
        if (FAILED(format_result)) return format_result;
        DWORD size = description->dwBufferBytes;
        if (size < DSBSIZE_MIN || size > DSBSIZE_MAX) return DSERR_INVALIDPARAM;
        // The size grows to whole frames.
        if (size % layout.block) size += layout.block - size % layout.block;
        BYTE* memory = static_cast<BYTE*>(std::calloc(size, 1));
        if (!memory) return DSERR_OUTOFMEMORY;
        // One OpenAL source and buffer per sound buffer. OpenAL Soft gives 256 sources unless
        // its configuration says otherwise, so that many buffers can live at once, where
        // Windows has no such limit; the module makes at most one per slot.
        ALuint source = 0, al_buffer = 0;
        alGetError();
        alGenSources(1, &source);
        if (alGetError() == AL_NO_ERROR) {
            alGenBuffers(1, &al_buffer);
            if (alGetError() == AL_NO_ERROR) {
                made = new (std::nothrow) SoundBuffer(this, layout, *description->lpwfxFormat,
                                                      memory, size, source, al_buffer);
                if (made) return DS_OK;
                alDeleteBuffers(1, &al_buffer);
            }
            alDeleteSources(1, &source);
        }
        std::free(memory);
        return DSERR_OUTOFMEMORY;
    }

    void trace_create(LPCDSBUFFERDESC description, SoundBuffer* made, HRESULT result) const {
        const WAVEFORMATEX* format = description && (description->dwSize == sizeof(DSBUFFERDESC) ||
                                                     description->dwSize == sizeof(DSBUFFERDESC1))
                                         ? description->lpwfxFormat
                                         : nullptr;
        auto number = [format](long value) { return format ? standin::Fields(value) : nullptr; };
        standin::emit("create",
                      {{"buffer", made ? standin::Fields(made->number()) : nullptr},
                       {"tag", number(format ? format->wFormatTag : 0)},
                       {"channels", number(format ? format->nChannels : 0)},
                       {"rate", number(format ? long(format->nSamplesPerSec) : 0)},
                       {"bits", number(format ? format->wBitsPerSample : 0)},
                       {"bytes", description ? standin::Fields(made ? made->size()
                                                                    : description->dwBufferBytes)
                                             : nullptr},
                       {"result", result_field(result)}});
    }
};

}  // namespace

CUEBOX_PLATFORM_API HRESULT DirectSoundCreate(LPCGUID, LPDIRECTSOUND* direct_sound, LPUNKNOWN) {
    standin::count_call("DirectSoundCreate");
    HRESULT result = DS_OK;
    if (!direct_sound) {
        result = DSERR_INVALIDPARAM;
    } else {
        *direct_sound = nullptr;
        if (device_create_fault != DS_OK) {
            result = device_create_fault;
            device_create_fault = DS_OK;
        } else {
            result = standin::acquire_sound_output();
            if (SUCCEEDED(result)) {
                *direct_sound = new (std::nothrow) DirectSound();
                if (!*direct_sound) {
                    standin::release_sound_output();
                    result = DSERR_OUTOFMEMORY;
                }
            }
        }
    }
    standin::emit("device", {{"result", result_field(result)}});
    return result;
}

CUEBOX_PLATFORM_API void standin_lose_all_buffers(void) {
    for (SoundBuffer* buffer = SoundBuffer::first; buffer; buffer = buffer->next_) {
        if (buffer->device_) buffer->lose();
    }
}

CUEBOX_PLATFORM_API void standin_fail_restore(int count, HRESULT code) {
    restore_faults = count;
    restore_fault_code = code;
}

CUEBOX_PLATFORM_API void standin_fail_device_create(HRESULT code) {
    device_create_fault = code;
}

CUEBOX_PLATFORM_API void standin_fail_buffer_create(HRESULT code) {
    buffer_create_fault = code;
}

CUEBOX_PLATFORM_API long standin_live_buffers(void) {
    return live_buffers;
}

CUEBOX_PLATFORM_API HWND standin_cooperative_window(void) {
    return cooperative_window;
}

CUEBOX_PLATFORM_API long standin_live_devices(void) {
    return live_devices;
}
