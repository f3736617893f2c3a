// A DirectSound of the host's own, for runs on Windows that are not played on the sound card
// (`--out FILE.wav`, `--silent`): the system's DirectSound mixes in real time, so a ten-minute
// flight would take ten minutes. This one keeps each buffer in memory, moves it on by the run's
// clock instead of the sound card's, and mixes what plays into a WAV file (44100 Hz, 16-bit
// stereo, as our platform layer writes it off Windows) or into nothing, as fast as the machine
// allows. The host puts it where the system's would be, under its recorder, so the trace is the
// same either way.
//
// Buffers play as DirectSound plays a secondary buffer without volume, pan or frequency
// controls: at full level, mono on both speakers, resampled linearly to the output's rate; a
// single play that reaches its end stops and stands at the start again. Formats: PCM of 8, 16,
// 24 or 32 bits and IEEE float of 32 or 64 bits (plain or extensible), any number of channels
// (more than two are folded onto the two speakers).
#pragma once

#include <string>

#include "platform/win32.h"

namespace offline_dsound {

// Starts the output: a WAV file at `path`, or nothing for "". Every start sets the clock to 0.
// False, with the reason, when the file cannot be made.
bool start_output(const std::string& path, std::string& error);

// Lets `seconds` of sound pass: every playing buffer moves on, and is mixed into the file.
void advance(double seconds);

// Completes the file's header and closes it.
void finish_output();

// Every buffer is lost, as when another program takes the sound card: silent, its contents
// gone; GetStatus says so, and Play and Lock fail with DSERR_BUFFERLOST until Restore.
void lose_all_buffers();

// Makes a device of this DirectSound. Its buffers live until their last Release, even past
// the device's.
HRESULT WINAPI DirectSoundCreate(LPCGUID device, LPDIRECTSOUND* direct_sound, LPUNKNOWN outer);

// Devices and buffers alive now, for leak checks.
long live_devices();
long live_buffers();

}  // namespace offline_dsound
