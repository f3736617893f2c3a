// recording_dsound: a DirectSound of our own, built as dsound.dll, that Wine loads in place of
// its own (WINEDLLOVERRIDES="dsound=n") for the 32-bit runs. Wine's own DirectSound mixes in
// real time on threads of its own, which QEMU's user-mode emulation makes slow and unrepeatable;
// this one plays nothing. It answers the module's COM calls through real vtables of the build's
// own ABI (stdcall, 4-byte pointers in 32 bits), checks every argument against what the module
// is meant to pass, and records what would sound: each buffer's format and data, and when it
// is played, stopped and moved. `capture_check render` turns the record into the sound a mixer
// would have made, so the same checks judge it as judge a captured recording.
//
// The record goes into the folder named by the environment variable CUEBOX_DSOUND_RECORD:
//   dsound.log       one event a line: SECONDS EVENT key=value...  (SECONDS since the DLL loaded)
//   buffer-N.raw     buffer N's memory as the module left it at its last Unlock
// A call with a wrong argument is recorded as an "error" line and refused with
// DSERR_INVALIDPARAM; a call the module has no business making, or a call on an object already
// given back, is recorded as an "error" line too. Objects are never freed, so a late call on a
// released one is seen instead of crashing. The last line, "end", tells how many objects were
// still held when the process let the DLL go.
#include <dsound.h>
#include <mmsystem.h>
#include <windows.h>

#include <cstdarg>
#include <cstdio>
#include <cstring>
#include <vector>

namespace {

// The description the module hands CreateSoundBuffer: the DirectSound 7 layout.
static_assert(sizeof(void*) != 4 || sizeof(DSBUFFERDESC) == 36, "the 36-byte DSBUFFERDESC");

HANDLE log_file = INVALID_HANDLE_VALUE;
char record_folder[MAX_PATH] = "";
LARGE_INTEGER started;
LARGE_INTEGER frequency;
long live_devices = 0;
long live_buffers = 0;
long device_count = 0;
long buffer_count = 0;

double now() {
    LARGE_INTEGER counter;
    QueryPerformanceCounter(&counter);
    return static_cast<double>(counter.QuadPart - started.QuadPart) /
           static_cast<double>(frequency.QuadPart);
}

void record(const char* format, ...) {
    if (log_file == INVALID_HANDLE_VALUE) return;
    char line[512];
    int length = std::snprintf(line, sizeof line, "%.6f ", now());
    va_list arguments;
    va_start(arguments, format);
    length += std::vsnprintf(line + length, sizeof line - length - 1, format, arguments);
    va_end(arguments);
    if (length > static_cast<int>(sizeof line) - 2) length = sizeof line - 2;
    line[length++] = '\n';
    DWORD written = 0;
    WriteFile(log_file, line, static_cast<DWORD>(length), &written, nullptr);
}

void open_record() {
    QueryPerformanceFrequency(&frequency);
    QueryPerformanceCounter(&started);
    const DWORD length =
        GetEnvironmentVariableA("CUEBOX_DSOUND_RECORD", record_folder, sizeof record_folder);
    if (length == 0 || length >= sizeof record_folder - 32) {
        record_folder[0] = '\0';
        return;
    }
    char path[MAX_PATH];
    std::snprintf(path, sizeof path, "%s\\dsound.log", record_folder);
    log_file = CreateFileA(path, FILE_APPEND_DATA, FILE_SHARE_READ, nullptr, OPEN_ALWAYS,
                           FILE_ATTRIBUTE_NORMAL, nullptr);
    record("load bits=%u", static_cast<unsigned>(sizeof(void*) * 8));
}

void close_record() {
    record("end devices=%ld buffers=%ld", live_devices, live_buffers);
    if (log_file != INVALID_HANDLE_VALUE) CloseHandle(log_file);
    log_file = INVALID_HANDLE_VALUE;
}

bool same_guid(REFGUID a, REFGUID b) {
    return std::memcmp(&a, &b, sizeof(GUID)) == 0;
}

// A wrong argument: recorded, and refused as Windows refuses it.
HRESULT refuse(const char* object, long id, const char* what) {
    record("error %s=%ld %s", object, id, what);
    return DSERR_INVALIDPARAM;
}

class Buffer final : public IDirectSoundBuffer {
  public:
    Buffer(long device_id, const WAVEFORMATEX& format, DWORD bytes)
        : device_id_(device_id), id_(++buffer_count), format_(format), memory_(bytes, 0) {
        ++live_buffers;
    }
    long id() const { return id_; }
    long device_id() const { return device_id_; }
    bool alive() const { return refs_ > 0; }

    // IUnknown
    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** object) override {
        if (!check_alive("QueryInterface") || !object) return E_POINTER;
        if (same_guid(iid, IID_IUnknown) || same_guid(iid, IID_IDirectSoundBuffer)) {
            *object = static_cast<IDirectSoundBuffer*>(this);
            AddRef();
            return S_OK;
        }
        *object = nullptr;
        record("error buffer=%ld QueryInterface: an interface the module does not use", id_);
        return E_NOINTERFACE;
    }
    ULONG STDMETHODCALLTYPE AddRef() override {
        if (!check_alive("AddRef")) return 0;
        return static_cast<ULONG>(++refs_);
    }
    ULONG STDMETHODCALLTYPE Release() override;

    // IDirectSoundBuffer: what the module calls.
    HRESULT STDMETHODCALLTYPE GetStatus(DWORD* status) override {
        if (!check_alive("GetStatus")) return DSERR_INVALIDCALL;
        if (!status) return refuse("buffer", id_, "GetStatus: no place for the status");
        settle();
        *status = playing_ ? (DSBSTATUS_PLAYING | (looping_ ? DSBSTATUS_LOOPING : 0)) : 0;
        record("status buffer=%ld status=%lu", id_, static_cast<unsigned long>(*status));
        return DS_OK;
    }
    HRESULT STDMETHODCALLTYPE Lock(DWORD offset, DWORD bytes, void** region1, DWORD* bytes1,
                                   void** region2, DWORD* bytes2, DWORD flags) override {
        if (!check_alive("Lock")) return DSERR_INVALIDCALL;
        record("lock buffer=%ld offset=%lu bytes=%lu flags=%lu", id_,
               static_cast<unsigned long>(offset), static_cast<unsigned long>(bytes),
               static_cast<unsigned long>(flags));
        if (locked_) return refuse("buffer", id_, "Lock: the buffer is locked already");
        if (!region1 || !bytes1) return refuse("buffer", id_, "Lock: no place for region 1");
        if (!region2 || !bytes2) return refuse("buffer", id_, "Lock: no place for region 2");
        if (flags != 0) return refuse("buffer", id_, "Lock: flags other than 0");
        if (offset != 0) return refuse("buffer", id_, "Lock: not from offset 0");
        if (bytes != memory_.size()) return refuse("buffer", id_, "Lock: not the whole buffer");
        *region1 = memory_.data();
        *bytes1 = bytes;
        *region2 = nullptr;
        *bytes2 = 0;
        locked_ = true;
        return DS_OK;
    }
    HRESULT STDMETHODCALLTYPE Unlock(void* region1, DWORD bytes1, void* region2,
                                     DWORD bytes2) override {
        if (!check_alive("Unlock")) return DSERR_INVALIDCALL;
        if (!locked_) return refuse("buffer", id_, "Unlock: the buffer is not locked");
        locked_ = false;
        if (region1 != memory_.data()) return refuse("buffer", id_, "Unlock: not region 1");
        if (bytes1 > memory_.size()) return refuse("buffer", id_, "Unlock: more than was locked");
        if (region2 || bytes2) return refuse("buffer", id_, "Unlock: a region 2");
        char name[MAX_PATH];
        std::snprintf(name, sizeof name, "buffer-%ld.raw", id_);
        save(name);
        record("unlock buffer=%ld bytes=%lu data=%s", id_, static_cast<unsigned long>(bytes1),
               name);
        return DS_OK;
    }
    HRESULT STDMETHODCALLTYPE Play(DWORD reserved, DWORD priority, DWORD flags) override {
        if (!check_alive("Play")) return DSERR_INVALIDCALL;
        if (reserved != 0) return refuse("buffer", id_, "Play: reserved word not 0");
        if (priority != 0) return refuse("buffer", id_, "Play: priority not 0");
        if (flags & ~static_cast<DWORD>(DSBPLAY_LOOPING))
            return refuse("buffer", id_, "Play: flags other than DSBPLAY_LOOPING");
        if (locked_) return refuse("buffer", id_, "Play: the buffer is locked");
        settle();
        const DWORD from = position();
        playing_ = true;
        looping_ = (flags & DSBPLAY_LOOPING) != 0;
        start_ = now();
        start_position_ = from;
        record("play buffer=%ld position=%lu looping=%d", id_, static_cast<unsigned long>(from),
               looping_ ? 1 : 0);
        return DS_OK;
    }
    HRESULT STDMETHODCALLTYPE Stop() override {
        if (!check_alive("Stop")) return DSERR_INVALIDCALL;
        settle();
        const DWORD at = position();
        playing_ = false;
        start_position_ = at;
        record("stop buffer=%ld position=%lu", id_, static_cast<unsigned long>(at));
        return DS_OK;
    }
    HRESULT STDMETHODCALLTYPE SetCurrentPosition(DWORD new_position) override {
        if (!check_alive("SetCurrentPosition")) return DSERR_INVALIDCALL;
        if (new_position >= memory_.size())
            return refuse("buffer", id_, "SetCurrentPosition: past the end");
        settle();
        new_position -= new_position % frame();
        start_position_ = new_position;
        start_ = now();
        record("position buffer=%ld position=%lu", id_, static_cast<unsigned long>(new_position));
        return DS_OK;
    }
    HRESULT STDMETHODCALLTYPE Restore() override {
        if (!check_alive("Restore")) return DSERR_INVALIDCALL;
        // Nothing here is ever lost, and the module restores only a lost buffer.
        record("error buffer=%ld Restore: the buffer was never lost", id_);
        return DS_OK;
    }

    // IDirectSoundBuffer: what the module never calls.
    HRESULT STDMETHODCALLTYPE GetCaps(LPDSBCAPS) override { return unexpected("GetCaps"); }
    HRESULT STDMETHODCALLTYPE GetCurrentPosition(DWORD*, DWORD*) override {
        return unexpected("GetCurrentPosition");
    }
    HRESULT STDMETHODCALLTYPE GetFormat(WAVEFORMATEX*, DWORD, DWORD*) override {
        return unexpected("GetFormat");
    }
    HRESULT STDMETHODCALLTYPE GetVolume(LONG*) override { return unexpected("GetVolume"); }
    HRESULT STDMETHODCALLTYPE GetPan(LONG*) override { return unexpected("GetPan"); }
    HRESULT STDMETHODCALLTYPE GetFrequency(DWORD*) override { return unexpected("GetFrequency"); }
    HRESULT STDMETHODCALLTYPE Initialize(IDirectSound*, LPCDSBUFFERDESC) override {
        return unexpected("Initialize");
    }
    HRESULT STDMETHODCALLTYPE SetFormat(const WAVEFORMATEX*) override {
        return unexpected("SetFormat");
    }
    HRESULT STDMETHODCALLTYPE SetVolume(LONG) override { return unexpected("SetVolume"); }
    HRESULT STDMETHODCALLTYPE SetPan(LONG) override { return unexpected("SetPan"); }
    HRESULT STDMETHODCALLTYPE SetFrequency(DWORD) override { return unexpected("SetFrequency"); }

  private:
    DWORD frame() const { return format_.nBlockAlign ? format_.nBlockAlign : 1; }

    // Where the sound stands now, in bytes: a single play that has reached its end has stopped
    // and stands at the start again, as Wine's does.
    DWORD position() const {
        if (!playing_) return start_position_;
        const double played = (now() - start_) * format_.nSamplesPerSec;
        const unsigned long long at =
            start_position_ + static_cast<unsigned long long>(played) * frame();
        return static_cast<DWORD>(at % memory_.size());
    }
    void settle() {
        if (!playing_ || looping_) return;
        const double played = (now() - start_) * format_.nSamplesPerSec;
        if (start_position_ + played * frame() >= memory_.size()) {
            playing_ = false;
            start_position_ = 0;
        }
    }
    bool check_alive(const char* call) {
        if (refs_ > 0) return true;
        record("error buffer=%ld %s: called after its last Release", id_, call);
        return false;
    }
    HRESULT unexpected(const char* call) {
        record("error buffer=%ld %s: a call the module does not make", id_, call);
        return DSERR_UNSUPPORTED;
    }
    void save(const char* name) {
        char path[MAX_PATH];
        std::snprintf(path, sizeof path, "%s\\%s", record_folder, name);
        if (!record_folder[0]) return;
        HANDLE file = CreateFileA(path, GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                                  FILE_ATTRIBUTE_NORMAL, nullptr);
        if (file == INVALID_HANDLE_VALUE) return;
        DWORD written = 0;
        WriteFile(file, memory_.data(), static_cast<DWORD>(memory_.size()), &written, nullptr);
        CloseHandle(file);
    }

    long device_id_;
    long id_;
    long refs_ = 1;
    WAVEFORMATEX format_;
    std::vector<BYTE> memory_;
    bool locked_ = false;
    bool playing_ = false;
    bool looping_ = false;
    double start_ = 0;
    DWORD start_position_ = 0;
};

class Device final : public IDirectSound {
  public:
    Device() : id_(++device_count) { ++live_devices; }
    long id() const { return id_; }

    // IUnknown
    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** object) override {
        if (!check_alive("QueryInterface") || !object) return E_POINTER;
        if (same_guid(iid, IID_IUnknown) || same_guid(iid, IID_IDirectSound)) {
            *object = static_cast<IDirectSound*>(this);
            AddRef();
            return S_OK;
        }
        *object = nullptr;
        record("error device=%ld QueryInterface: an interface the module does not use", id_);
        return E_NOINTERFACE;
    }
    ULONG STDMETHODCALLTYPE AddRef() override {
        if (!check_alive("AddRef")) return 0;
        return static_cast<ULONG>(++refs_);
    }
    ULONG STDMETHODCALLTYPE Release() override {
        if (!check_alive("Release")) return 0;
        const long refs = --refs_;
        if (refs == 0) {
            --live_devices;
            // The module gives its buffers back before the device.
            long held = 0;
            for (Buffer* buffer : buffers_) held += buffer->alive() ? 1 : 0;
            if (held) record("error device=%ld released while it has %ld buffer(s)", id_, held);
        }
        record("release device=%ld refs=%ld", id_, refs);
        return static_cast<ULONG>(refs);
    }

    // IDirectSound: what the module calls.
    HRESULT STDMETHODCALLTYPE SetCooperativeLevel(HWND window, DWORD level) override {
        if (!check_alive("SetCooperativeLevel")) return DSERR_INVALIDCALL;
        char name[64] = "";
        if (window) GetClassNameA(window, name, sizeof name);
        record("cooperative device=%ld window=%s level=%lu", id_, name[0] ? name : "none",
               static_cast<unsigned long>(level));
        if (level != DSSCL_NORMAL) return refuse("device", id_, "SetCooperativeLevel: not normal");
        if (std::strcmp(name, "FS98MAIN") != 0)
            return refuse("device", id_, "SetCooperativeLevel: not the FS98MAIN window");
        return DS_OK;
    }
    HRESULT STDMETHODCALLTYPE CreateSoundBuffer(LPCDSBUFFERDESC description,
                                                IDirectSoundBuffer** buffer,
                                                IUnknown* outer) override {
        if (!check_alive("CreateSoundBuffer")) return DSERR_INVALIDCALL;
        if (!buffer) return refuse("device", id_, "CreateSoundBuffer: no place for the buffer");
        *buffer = nullptr;
        if (outer) return refuse("device", id_, "CreateSoundBuffer: an outer object");
        if (!description) return refuse("device", id_, "CreateSoundBuffer: no description");
        const DSBUFFERDESC& d = *description;
        const WAVEFORMATEX* f = d.lpwfxFormat;
        record(
            "buffer device=%ld flags=0x%lx bytes=%lu size=%lu tag=%u channels=%u rate=%lu "
            "bits=%u align=%u average=%lu",
            id_, static_cast<unsigned long>(d.dwFlags), static_cast<unsigned long>(d.dwBufferBytes),
            static_cast<unsigned long>(d.dwSize), f ? f->wFormatTag : 0u, f ? f->nChannels : 0u,
            static_cast<unsigned long>(f ? f->nSamplesPerSec : 0), f ? f->wBitsPerSample : 0u,
            f ? f->nBlockAlign : 0u, static_cast<unsigned long>(f ? f->nAvgBytesPerSec : 0));
        if (d.dwSize != sizeof(DSBUFFERDESC))
            return refuse("device", id_, "CreateSoundBuffer: dwSize is not the 36-byte form");
        if (d.dwFlags != DSBCAPS_STATIC)
            return refuse("device", id_, "CreateSoundBuffer: flags other than DSBCAPS_STATIC");
        if (d.dwReserved != 0) return refuse("device", id_, "CreateSoundBuffer: dwReserved");
        if (!same_guid(d.guid3DAlgorithm, GUID_NULL))
            return refuse("device", id_, "CreateSoundBuffer: a 3D algorithm");
        if (d.dwBufferBytes < DSBSIZE_MIN || d.dwBufferBytes > DSBSIZE_MAX)
            return refuse("device", id_, "CreateSoundBuffer: size out of range");
        if (!f) return refuse("device", id_, "CreateSoundBuffer: no format");
        if (f->wFormatTag != WAVE_FORMAT_PCM || f->nChannels < 1 || f->nChannels > 2 ||
            (f->wBitsPerSample != 8 && f->wBitsPerSample != 16) ||
            f->nSamplesPerSec < DSBFREQUENCY_MIN || f->nSamplesPerSec > DSBFREQUENCY_MAX ||
            f->nBlockAlign != f->nChannels * f->wBitsPerSample / 8 ||
            f->nAvgBytesPerSec != f->nSamplesPerSec * f->nBlockAlign)
            return refuse("device", id_, "CreateSoundBuffer: not a consistent PCM format");
        Buffer* made = new Buffer(id_, *f, d.dwBufferBytes);
        buffers_.push_back(made);
        record("created device=%ld buffer=%ld", id_, made->id());
        *buffer = made;
        return DS_OK;
    }

    // IDirectSound: what the module never calls.
    HRESULT STDMETHODCALLTYPE GetCaps(LPDSCAPS) override { return unexpected("GetCaps"); }
    HRESULT STDMETHODCALLTYPE DuplicateSoundBuffer(IDirectSoundBuffer*,
                                                   IDirectSoundBuffer**) override {
        return unexpected("DuplicateSoundBuffer");
    }
    HRESULT STDMETHODCALLTYPE Compact() override { return unexpected("Compact"); }
    HRESULT STDMETHODCALLTYPE GetSpeakerConfig(DWORD*) override {
        return unexpected("GetSpeakerConfig");
    }
    HRESULT STDMETHODCALLTYPE SetSpeakerConfig(DWORD) override {
        return unexpected("SetSpeakerConfig");
    }
    HRESULT STDMETHODCALLTYPE Initialize(LPCGUID) override { return unexpected("Initialize"); }

  private:
    bool check_alive(const char* call) {
        if (refs_ > 0) return true;
        record("error device=%ld %s: called after its last Release", id_, call);
        return false;
    }
    HRESULT unexpected(const char* call) {
        record("error device=%ld %s: a call the module does not make", id_, call);
        return DSERR_UNSUPPORTED;
    }

    long id_;
    long refs_ = 1;
    std::vector<Buffer*> buffers_;
};

ULONG STDMETHODCALLTYPE Buffer::Release() {
    if (!check_alive("Release")) return 0;
    const long refs = --refs_;
    if (refs == 0) {
        --live_buffers;
        if (locked_) record("error buffer=%ld released while locked", id_);
    }
    record("release buffer=%ld refs=%ld", id_, refs);
    return static_cast<ULONG>(refs);
}

}  // namespace

extern "C" HRESULT WINAPI DirectSoundCreate(LPCGUID device_guid, IDirectSound** device,
                                            IUnknown* outer) {
    if (!device) return refuse("create", 0, "DirectSoundCreate: no place for the device");
    *device = nullptr;
    if (device_guid) return refuse("create", 0, "DirectSoundCreate: not the default device");
    if (outer) return refuse("create", 0, "DirectSoundCreate: an outer object");
    Device* made = new Device();
    record("create device=%ld", made->id());
    *device = made;
    return DS_OK;
}

extern "C" BOOL WINAPI DllMain(HINSTANCE, DWORD reason, LPVOID) {
    if (reason == DLL_PROCESS_ATTACH) open_record();
    if (reason == DLL_PROCESS_DETACH) close_record();
    return TRUE;
}
