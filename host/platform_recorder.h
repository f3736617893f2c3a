// The module's sound and file calls, recorded by the host where the platform does not report
// them itself. Off Windows our platform layer traces every call; on Windows the module's
// DirectSound, its file opens and its INI reads go straight to the system, which tells nothing.
// There the host resolves the module's imports of DirectSoundCreate (ordinal 1), fopen,
// mmioOpenA and GetPrivateProfileStringA to the functions below when it loads the gauge file:
// each forwards the call, unchanged, to the system's own, and records it in the events and
// fields our platform layer uses ("device", "create", "play", "stop", "position", "restore",
// "lose", "release", "device_release", "open", "profile"), so every tool reads a Windows run as
// it reads a Linux one.
//
// Nothing is asked of the system beyond the module's own calls, so that only those reach it
// (the recording DirectSound of the Wine runs checks each one): the byte positions in "play"
// and "stop" are reckoned from the buffer's format and the run's clock, from where the module's
// calls put the buffer, as the platform layer's own reckoning does.
#pragma once

#include <functional>
#include <string>

#include "host/trace.h"
#include "platform/win32.h"

namespace platform_recorder {

// Where the records go, and the run's clock in seconds. Unset, calls are only forwarded.
using Record = std::function<void(const std::string& event, TraceFields fields)>;
using Clock = std::function<double()>;
void set_trace(Record record, Clock clock);

typedef HRESULT(WINAPI* DirectSoundCreateFunction)(LPCGUID, LPDIRECTSOUND*, LPUNKNOWN);

// The DirectSoundCreate that the recording one forwards to; with none, devices cannot start
// (DSERR_NODRIVER).
void forward_direct_sound_create(DirectSoundCreateFunction system);

// A DirectSound of the host's own to forward to instead of the system's (host/offline_dsound.h,
// for runs that are not played on the sound card); null for the system's again.
void forward_instead(DirectSoundCreateFunction own);

// The host made the DirectSound under the recorder lose every buffer (host/offline_dsound.h):
// each buffer is recorded lost at once, as our platform layer records a loss.
void buffers_lost();

// Makes the system's device and hands out a recording one in front of it; each of its buffers
// records and forwards too.
HRESULT WINAPI DirectSoundCreate(LPCGUID device, LPDIRECTSOUND* direct_sound, LPUNKNOWN outer);

#if defined(_WIN32)
// Resolves the loaded module's imports of DirectSoundCreate, fopen, mmioOpenA and
// GetPrivateProfileStringA to the recording ones, which forward to what the loader had resolved them to. False when the module
// imports none of them.
bool record_module_calls(HMODULE module);
#endif

}  // namespace platform_recorder
