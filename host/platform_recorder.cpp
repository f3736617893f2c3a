// Recording the module's sound and file calls on their way to the system.
#include "host/platform_recorder.h"

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <new>
#include <utility>
#include <vector>

#include "platform/result_hex.h"

#if defined(_WIN32)
#include "host/module_imports.h"
#endif

namespace platform_recorder {

namespace {

Record record_event;
Clock run_clock;
DirectSoundCreateFunction system_direct_sound_create = nullptr;
DirectSoundCreateFunction own_direct_sound_create = nullptr;
// Numbered from 1 in the order made, over the whole process, as our platform layer numbers them.
long buffers_made = 0;

using References = decltype(std::declval<IUnknown&>().AddRef());

// Where the INI file of the module's last profile read was found (see profile_file).
struct ProfilePlace {
    std::string file;
    TraceFields resolved;
    bool known = false;
} profile_place;

void emit(const char* event, TraceFields fields = TraceFields::object()) {
    // Anything else the module does (a file opened, a device made) may come with a change of
    // the files, in the scenario's steps between its calls: the INI's place is looked up again.
    if (std::strcmp(event, "profile") != 0) profile_place.known = false;
    if (record_event) record_event(event, std::move(fields));
}

double now() {
    return run_clock ? run_clock() : 0.0;
}

// A result as our platform layer writes it: 0, or the code in hexadecimal.
TraceFields result_field(HRESULT result) {
    if (result == DS_OK) return 0;
    return result_hex(result);
}

class RecordingBuffer;
std::vector<RecordingBuffer*> recording_buffers;  // alive, in the order made

class RecordingBuffer final : public IDirectSoundBuffer {
  public:
    RecordingBuffer(IDirectSoundBuffer* system, const WAVEFORMATEX* format, DWORD bytes)
        : system_(system), number_(++buffers_made) {
        if (format) {
            block_ = format->nBlockAlign ? format->nBlockAlign : 1;
            rate_ = format->nSamplesPerSec;
        }
        // DirectSound makes a buffer of whole frames.
        size_ = bytes % block_ ? bytes + (block_ - bytes % block_) : bytes;
        recording_buffers.push_back(this);
    }

    long number() const { return number_; }
    DWORD size() const { return size_; }
    IDirectSoundBuffer* system() const { return system_; }

    HRESULT STDMETHODCALLTYPE QueryInterface(const GUID& iid, void** object) override {
        const HRESULT result = system_->QueryInterface(iid, object);
        // The same interface again is this object again; any other is handed out as it is.
        if (SUCCEEDED(result) && object && *object == static_cast<void*>(system_)) {
            ++references_;
            *object = static_cast<IDirectSoundBuffer*>(this);
        }
        return result;
    }
    References STDMETHODCALLTYPE AddRef() override {
        system_->AddRef();
        return ++references_;
    }
    References STDMETHODCALLTYPE Release() override {
        system_->Release();
        if (--references_ > 0) return references_;
        emit("release", {{"buffer", number_}});
        recording_buffers.erase(
            std::find(recording_buffers.begin(), recording_buffers.end(), this));
        delete this;
        return 0;
    }

    HRESULT STDMETHODCALLTYPE GetCurrentPosition(LPDWORD play, LPDWORD write) override {
        return system_->GetCurrentPosition(play, write);
    }
    HRESULT STDMETHODCALLTYPE GetStatus(LPDWORD status) override {
        const HRESULT result = system_->GetStatus(status);
        // The system lost the buffer (another program took the sound card): it is silent and
        // empty now, whenever that happened.
        if (SUCCEEDED(result) && status && (*status & DSBSTATUS_BUFFERLOST)) lose();
        return result;
    }

    void lose() {
        if (lost_) return;
        lost_ = true;
        playing_ = false;
        at_ = 0;
        emit("lose", {{"buffer", number_}});
    }
    HRESULT STDMETHODCALLTYPE Lock(DWORD offset, DWORD bytes, LPVOID* region1,
                                   LPDWORD region1_bytes, LPVOID* region2, LPDWORD region2_bytes,
                                   DWORD flags) override {
        return system_->Lock(offset, bytes, region1, region1_bytes, region2, region2_bytes, flags);
    }
    HRESULT STDMETHODCALLTYPE Play(DWORD reserved, DWORD priority, DWORD flags) override {
        const bool looping = (flags & DSBPLAY_LOOPING) != 0;
        const double time = now();
        const DWORD from = position(time);
        const HRESULT result = system_->Play(reserved, priority, flags);
        if (SUCCEEDED(result)) {
            // Play on a playing buffer goes on from where it stands, looping or not as asked.
            playing_ = true;
            looping_ = looping;
            at_ = from;
            since_ = time;
        }
        emit("play", {{"buffer", number_},
                      {"looping", looping},
                      {"position", from},
                      {"result", result_field(result)}});
        return result;
    }
    HRESULT STDMETHODCALLTYPE SetCurrentPosition(DWORD position) override {
        const HRESULT result = system_->SetCurrentPosition(position);
        if (FAILED(result)) return result;
        // Past the end wraps, and a position falls to the start of its frame.
        position %= size_ ? size_ : 1;
        position -= position % block_;
        at_ = position;
        since_ = now();
        emit("position", {{"buffer", number_}, {"position", position}});
        return result;
    }
    HRESULT STDMETHODCALLTYPE Stop() override {
        const DWORD at = position(now());
        const HRESULT result = system_->Stop();
        if (FAILED(result)) return result;
        playing_ = false;
        at_ = at;
        emit("stop", {{"buffer", number_}, {"position", at}});
        return result;
    }
    HRESULT STDMETHODCALLTYPE Unlock(LPVOID region1, DWORD region1_bytes, LPVOID region2,
                                     DWORD region2_bytes) override {
        return system_->Unlock(region1, region1_bytes, region2, region2_bytes);
    }
    HRESULT STDMETHODCALLTYPE Restore() override {
        const HRESULT result = system_->Restore();
        if (SUCCEEDED(result)) lost_ = false;
        emit("restore", {{"buffer", number_}, {"result", result_field(result)}});
        return result;
    }

#if defined(_WIN32)
    // The rest of the interface, which the module does not use: forwarded, not recorded.
    HRESULT STDMETHODCALLTYPE GetCaps(LPDSBCAPS caps) override {
        return system_->GetCaps(caps);
    }
    HRESULT STDMETHODCALLTYPE GetFormat(LPWAVEFORMATEX format, DWORD size,
                                        LPDWORD written) override {
        return system_->GetFormat(format, size, written);
    }
    HRESULT STDMETHODCALLTYPE GetVolume(LPLONG volume) override {
        return system_->GetVolume(volume);
    }
    HRESULT STDMETHODCALLTYPE GetPan(LPLONG pan) override {
        return system_->GetPan(pan);
    }
    HRESULT STDMETHODCALLTYPE GetFrequency(LPDWORD frequency) override {
        return system_->GetFrequency(frequency);
    }
    HRESULT STDMETHODCALLTYPE Initialize(LPDIRECTSOUND device,
                                         LPCDSBUFFERDESC description) override;
    HRESULT STDMETHODCALLTYPE SetFormat(LPCWAVEFORMATEX format) override {
        return system_->SetFormat(format);
    }
    HRESULT STDMETHODCALLTYPE SetVolume(LONG volume) override {
        return system_->SetVolume(volume);
    }
    HRESULT STDMETHODCALLTYPE SetPan(LONG pan) override {
        return system_->SetPan(pan);
    }
    HRESULT STDMETHODCALLTYPE SetFrequency(DWORD frequency) override {
        return system_->SetFrequency(frequency);
    }
#endif

  private:
    ~RecordingBuffer() = default;

    // Where the buffer stands at `time`: a single play that has reached its end has stopped,
    // back at the start.
    DWORD position(double time) {
        if (!playing_ || size_ == 0) return at_;
        // A hair over, so that a time that is a whole number of frames counts them all.
        const double frames = std::floor((time - since_) * rate_ + 1e-6);
        const uint64_t bytes = at_ + static_cast<uint64_t>(frames > 0 ? frames : 0) * block_;
        if (!looping_ && bytes >= size_) {
            playing_ = false;
            at_ = 0;
            return 0;
        }
        return static_cast<DWORD>(bytes % size_);
    }

    IDirectSoundBuffer* system_;
    long number_;
    References references_ = 1;
    DWORD block_ = 1;
    DWORD rate_ = 0;
    DWORD size_ = 0;
    bool playing_ = false;
    bool looping_ = false;
    bool lost_ = false;
    DWORD at_ = 0;      // the position when last set, played or stopped
    double since_ = 0;  // the time it was
};

class RecordingDevice final : public IDirectSound {
  public:
    explicit RecordingDevice(IDirectSound* system) : system_(system) {}
    IDirectSound* system() const { return system_; }

    HRESULT STDMETHODCALLTYPE QueryInterface(const GUID& iid, void** object) override {
        const HRESULT result = system_->QueryInterface(iid, object);
        if (SUCCEEDED(result) && object && *object == static_cast<void*>(system_)) {
            ++references_;
            *object = static_cast<IDirectSound*>(this);
        }
        return result;
    }
    References STDMETHODCALLTYPE AddRef() override {
        system_->AddRef();
        return ++references_;
    }
    References STDMETHODCALLTYPE Release() override {
        system_->Release();
        if (--references_ > 0) return references_;
        emit("device_release");
        delete this;
        return 0;
    }

    HRESULT STDMETHODCALLTYPE CreateSoundBuffer(LPCDSBUFFERDESC description,
                                                LPDIRECTSOUNDBUFFER* buffer,
                                                LPUNKNOWN outer) override {
        HRESULT result = system_->CreateSoundBuffer(description, buffer, outer);
        RecordingBuffer* made = nullptr;
        if (SUCCEEDED(result) && buffer && *buffer) {
            made = new (std::nothrow)
                RecordingBuffer(*buffer, description ? description->lpwfxFormat : nullptr,
                                description ? description->dwBufferBytes : 0);
            if (!made) {
                (*buffer)->Release();
                result = DSERR_OUTOFMEMORY;
            }
            *buffer = made;
        }
        record_create(description, made, result);
        return result;
    }
    HRESULT STDMETHODCALLTYPE SetCooperativeLevel(HWND window, DWORD level) override {
        return system_->SetCooperativeLevel(window, level);
    }

#if defined(_WIN32)
    HRESULT STDMETHODCALLTYPE GetCaps(LPDSCAPS caps) override {
        return system_->GetCaps(caps);
    }
    // A duplicate is the system's own, unrecorded: the module makes none.
    HRESULT STDMETHODCALLTYPE DuplicateSoundBuffer(LPDIRECTSOUNDBUFFER original,
                                                   LPDIRECTSOUNDBUFFER* duplicate) override {
        return system_->DuplicateSoundBuffer(
            original ? static_cast<RecordingBuffer*>(original)->system() : nullptr, duplicate);
    }
    HRESULT STDMETHODCALLTYPE Compact() override {
        return system_->Compact();
    }
    HRESULT STDMETHODCALLTYPE GetSpeakerConfig(LPDWORD config) override {
        return system_->GetSpeakerConfig(config);
    }
    HRESULT STDMETHODCALLTYPE SetSpeakerConfig(DWORD config) override {
        return system_->SetSpeakerConfig(config);
    }
    HRESULT STDMETHODCALLTYPE Initialize(LPCGUID device) override {
        return system_->Initialize(device);
    }
#endif

  private:
    ~RecordingDevice() = default;

    // The fields of our platform layer's "create": the format only from a description of a
    // size DirectSound knows, the buffer's number only when one was made.
    static void record_create(LPCDSBUFFERDESC description, const RecordingBuffer* made,
                              HRESULT result) {
        const bool known = description && (description->dwSize == sizeof(DSBUFFERDESC) ||
                                           description->dwSize == sizeof(DSBUFFERDESC1));
        const WAVEFORMATEX* format = known ? description->lpwfxFormat : nullptr;
        auto number = [format](long value) { return format ? TraceFields(value) : nullptr; };
        emit("create",
             {{"buffer", made ? TraceFields(made->number()) : nullptr},
              {"tag", number(format ? format->wFormatTag : 0)},
              {"channels", number(format ? format->nChannels : 0)},
              {"rate", number(format ? long(format->nSamplesPerSec) : 0)},
              {"bits", number(format ? format->wBitsPerSample : 0)},
              {"bytes", description ? TraceFields(made ? made->size() : description->dwBufferBytes)
                                    : nullptr},
              {"result", result_field(result)}});
    }

    IDirectSound* system_;
    References references_ = 1;
};

#if defined(_WIN32)
HRESULT STDMETHODCALLTYPE RecordingBuffer::Initialize(LPDIRECTSOUND device,
                                                      LPCDSBUFFERDESC description) {
    return system_->Initialize(device ? static_cast<RecordingDevice*>(device)->system() : nullptr,
                               description);
}
#endif

}  // namespace

void set_trace(Record record, Clock clock) {
    record_event = std::move(record);
    run_clock = std::move(clock);
}

void forward_direct_sound_create(DirectSoundCreateFunction system) {
    system_direct_sound_create = system;
}

void buffers_lost() {
    // Our platform layer tells of its losses from the newest buffer to the oldest.
    for (auto buffer = recording_buffers.rbegin(); buffer != recording_buffers.rend(); ++buffer)
        (*buffer)->lose();
}

void forward_instead(DirectSoundCreateFunction own) {
    own_direct_sound_create = own;
}

HRESULT WINAPI DirectSoundCreate(LPCGUID device, LPDIRECTSOUND* direct_sound, LPUNKNOWN outer) {
    const DirectSoundCreateFunction create =
        own_direct_sound_create ? own_direct_sound_create : system_direct_sound_create;
    HRESULT result = create ? create(device, direct_sound, outer) : DSERR_NODRIVER;
    if (SUCCEEDED(result) && direct_sound && *direct_sound) {
        RecordingDevice* made = new (std::nothrow) RecordingDevice(*direct_sound);
        if (!made) {
            (*direct_sound)->Release();
            result = DSERR_OUTOFMEMORY;
        }
        *direct_sound = made;
    }
    emit("device", {{"result", result_field(result)}});
    return result;
}

#if defined(_WIN32)

namespace {

typedef FILE*(__cdecl* FopenFunction)(const char*, const char*);
typedef HMMIO(WINAPI* MmioOpenFunction)(LPSTR, LPMMIOINFO, DWORD);
typedef DWORD(WINAPI* ProfileStringFunction)(LPCSTR, LPCSTR, LPCSTR, LPSTR, DWORD, LPCSTR);
FopenFunction system_fopen = nullptr;
MmioOpenFunction system_mmio_open = nullptr;
ProfileStringFunction system_profile_string = nullptr;

// ANSI text as Windows reads it, in UTF-8; null for a null pointer.
TraceFields ansi_field(const char* text) {
    if (!text) return nullptr;
    const int wide = MultiByteToWideChar(CP_ACP, 0, text, -1, nullptr, 0);
    if (wide <= 0) return "";
    std::wstring unicode(static_cast<size_t>(wide), L'\0');
    MultiByteToWideChar(CP_ACP, 0, text, -1, &unicode[0], wide);
    const int bytes =
        WideCharToMultiByte(CP_UTF8, 0, unicode.c_str(), -1, nullptr, 0, nullptr, nullptr);
    if (bytes <= 0) return "";
    std::string utf8(static_cast<size_t>(bytes), '\0');
    WideCharToMultiByte(CP_UTF8, 0, unicode.c_str(), -1, &utf8[0], bytes, nullptr, nullptr);
    utf8.resize(static_cast<size_t>(bytes) - 1);
    return utf8;
}

// Where a name that opened leads: the whole path, spelt as the folders and file are on disk
// (the module's "Sound\Cues\FIVE.wav" may be Sound\cues\five.wav).
TraceFields full_path(const char* path) {
    char full[MAX_PATH * 2];
    DWORD length = GetFullPathNameA(path, sizeof full, full, nullptr);
    if (length == 0 || length >= sizeof full) return ansi_field(path);
    char spelt[MAX_PATH * 2];
    length = GetLongPathNameA(full, spelt, sizeof spelt);
    return ansi_field(length > 0 && length < sizeof spelt ? spelt : full);
}

void record_open(const char* via, const char* path, bool opened) {
    if (!record_event) return;
    emit("open", {{"via", via},
                  {"path", ansi_field(path)},
                  {"resolved", opened && path ? full_path(path) : nullptr}});
}

FILE* __cdecl recording_fopen(const char* path, const char* mode) {
    FILE* file = system_fopen ? system_fopen(path, mode) : nullptr;
    record_open("fopen", path, file != nullptr);
    return file;
}

HMMIO WINAPI recording_mmio_open(LPSTR path, LPMMIOINFO info, DWORD flags) {
    HMMIO file = system_mmio_open ? system_mmio_open(path, info, flags) : nullptr;
    record_open("mmioOpenA", path, file != nullptr);
    return file;
}

// The INI file a profile read looks in, when it can be read: Windows looks for one named
// without a folder in its own folder, not in the current one.
// The module reads its INI key by key, about a hundred reads in one burst at connect. Spelling
// the path out for each (GetLongPathNameA walks every folder) cost Wine about 1 ms a read and
// held the first sound after a reconnect back by a tenth of a second, so the place is kept from
// one read to the next while the file is still (or still not) there and nothing else came
// between them.
TraceFields profile_file(const char* file) {
    if (!file || !*file) return nullptr;
    std::string path = file;
    char folder[MAX_PATH];
    const UINT length = GetWindowsDirectoryA(folder, sizeof folder);
    if (!std::strpbrk(file, "\\/") && length > 0 && length < sizeof folder)
        path = std::string(folder) + "\\" + file;
    const bool there = GetFileAttributesA(path.c_str()) != INVALID_FILE_ATTRIBUTES;
    if (profile_place.known && profile_place.file == path &&
        there == !profile_place.resolved.is_null())
        return profile_place.resolved;
    profile_place.file = path;
    profile_place.known = true;
    profile_place.resolved = nullptr;
    const HANDLE opened = CreateFileA(path.c_str(), GENERIC_READ,
                                      FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                                      nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (opened == INVALID_HANDLE_VALUE) return nullptr;
    CloseHandle(opened);
    profile_place.resolved = full_path(path.c_str());
    return profile_place.resolved;
}

DWORD WINAPI recording_profile_string(LPCSTR section, LPCSTR key, LPCSTR default_value,
                                      LPSTR result, DWORD size, LPCSTR file) {
    const DWORD count = system_profile_string
                            ? system_profile_string(section, key, default_value, result, size, file)
                            : 0;
    // A list of the sections or of a section's keys is no value: our platform layer records
    // values only.
    if (!record_event || !section || !key || !system_profile_string) return count;
    // Whether the value came from the file or is the default, Windows does not say: a second
    // read, with a default no INI value holds, does (reading a profile changes nothing).
    const char absent[] = "\x01cuebox: no such key\x01";
    char probe[sizeof absent + 1];
    system_profile_string(section, key, absent, probe, sizeof probe, file);
    emit("profile", {{"file", ansi_field(file)},
                     {"resolved", profile_file(file)},
                     {"section", ansi_field(section)},
                     {"key", ansi_field(key)},
                     {"value", result && size > 0 ? ansi_field(result) : TraceFields("")},
                     {"from_file", std::strcmp(probe, absent) != 0}});
    return count;
}

}  // namespace

bool record_module_calls(HMODULE module) {
    void* held = replace_module_import(module, "dsound.dll", nullptr, 1,
                                       reinterpret_cast<void*>(&DirectSoundCreate));
    if (held) forward_direct_sound_create(reinterpret_cast<DirectSoundCreateFunction>(held));
    bool any = held != nullptr;
    held = replace_module_import(module, nullptr, "fopen", 0,
                                 reinterpret_cast<void*>(&recording_fopen));
    if (held) system_fopen = reinterpret_cast<FopenFunction>(held);
    any = any || held;
    held = replace_module_import(module, "winmm.dll", "mmioOpenA", 0,
                                 reinterpret_cast<void*>(&recording_mmio_open));
    if (held) system_mmio_open = reinterpret_cast<MmioOpenFunction>(held);
    any = any || held;
    held = replace_module_import(module, "kernel32.dll", "GetPrivateProfileStringA", 0,
                                 reinterpret_cast<void*>(&recording_profile_string));
    if (held) system_profile_string = reinterpret_cast<ProfileStringFunction>(held);
    return any || held;
}

#endif  // _WIN32

}  // namespace platform_recorder
