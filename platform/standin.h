// The platform layer's own interface off Windows, outside the Win32 names: what a host sets up
// (windows, the Windows folder, where sound goes, simulated time), what a trace sees of every
// platform call, and the fault injection that tests use. The module never includes this file.
#pragma once

#include "platform/win32.h"

#if !defined(_WIN32)

// ---- Files ----

// Resolves a path as Wine resolves a DOS path: the ANSI text read in the process's code page
// (see standin_set_codepage) and spelled in UTF-8, backslashes as separators, the dots and
// spaces that end a name dropped, and a component that does not exist with its exact letter
// case matching one that differs only in case (beyond ASCII too). Writes the
// host path into `result` (size bytes with terminator) and returns 1 when the file or folder
// exists; otherwise writes the best-effort spelling and returns 0.
CUEBOX_PLATFORM_API int standin_resolve_path(const char* path, char* result, size_t size);
// The same for a path in UTF-8 rather than in the ANSI code page.
CUEBOX_PLATFORM_API int standin_resolve_unicode_path(const char* path, char* result, size_t size);

// The folder where a profile file named without any folder is looked for, as Windows looks in
// its own folder. Default: "windows" under the current folder.
CUEBOX_PLATFORM_API void standin_set_windows_folder(const char* folder);
CUEBOX_PLATFORM_API const char* standin_windows_folder(void);

// Files the module opened and has not closed yet: streams of its fopen (the existence test of a
// sound file) and multimedia file handles of mmioOpenA.
CUEBOX_PLATFORM_API long standin_open_streams(void);
CUEBOX_PLATFORM_API long standin_open_mmio_files(void);

// The ANSI code page of this process: how the A functions' bytes are read as characters (file
// names, INI text). Windows' default for Western installations, 1252, unless the environment
// variable CUEBOX_CODEPAGE names another (read on first use) or a host chooses one here.
// Known: 874 and 1250 to 1258. Returns 0, or -1 (the choice unchanged) for any other number.
CUEBOX_PLATFORM_API int standin_set_codepage(int code_page);
CUEBOX_PLATFORM_API int standin_codepage(void);

// ---- Windows ----

// Adds a top-level window of that class and title to the list FindWindowA searches.
CUEBOX_PLATFORM_API HWND standin_register_window(const char* class_name, const char* title);
CUEBOX_PLATFORM_API void standin_unregister_window(HWND window);

// ---- Sound output ----

enum StandinOutput {
    STANDIN_OUTPUT_NONE = 0,    // mixed offline as for a file, and discarded
    STANDIN_OUTPUT_DEVICE = 1,  // the default audio device, in real time
    STANDIN_OUTPUT_FILE = 2,    // a WAV file, 44100 Hz 16-bit stereo, rendered offline
};

// Chooses where devices created from now on play. `path` is used for STANDIN_OUTPUT_FILE.
// Returns 0, or -1 when the file cannot be created. Every choice starts the simulated clock
// at zero. All devices of a process share one output, so a new choice reaches devices only
// once every device opened under the previous one has been released.
//
// Before any choice, sound goes to the default audio device when one opens, and otherwise
// through the same mixing as STANDIN_OUTPUT_NONE driven by the wall clock: either way time
// passes by itself and buffers play, end and report positions in real time as on Windows, so
// programs written only with Win32 names run unchanged on machines without sound hardware.
// STANDIN_OUTPUT_DEVICE, chosen explicitly, makes DirectSoundCreate fail with DSERR_NODRIVER
// when no audio device opens, as Windows does without a sound card.
CUEBOX_PLATFORM_API int standin_set_output(int output, const char* path);

// Offline outputs: mixes `seconds` of sound from every playing buffer and moves their play
// positions on. With the device output time passes by itself and this does nothing.
CUEBOX_PLATFORM_API void standin_advance_time(double seconds);

// Completes the output file's header. Called by the host before it exits.
CUEBOX_PLATFORM_API void standin_finish_output(void);

// ---- Trace ----

// Receives every platform call of interest as an event name and its fields as one JSON object
// in UTF-8, for example: {"buffer":3,"looping":true}
typedef void (*StandinTraceFn)(const char* event, const char* fields, void* context);
CUEBOX_PLATFORM_API void standin_set_trace(StandinTraceFn function, void* context);

// Counts of calls by Win32 name ("Restore", "Sleep", "Play", "CreateSoundBuffer", ...).
CUEBOX_PLATFORM_API long standin_call_count(const char* name);
CUEBOX_PLATFORM_API void standin_reset_counts(void);

// The milliseconds asked of Sleep since the counts were reset: with the count of Sleep calls,
// how long each wait was, which the number of waits alone does not tell.
CUEBOX_PLATFORM_API long standin_slept_milliseconds(void);

// The window last handed to SetCooperativeLevel of any device, null before the first call.
CUEBOX_PLATFORM_API HWND standin_cooperative_window(void);

// ---- Fault injection ----

// Every live sound buffer becomes lost: status DSBSTATUS_BUFFERLOST, contents gone, Play and
// Lock answer DSERR_BUFFERLOST until Restore succeeds.
CUEBOX_PLATFORM_API void standin_lose_all_buffers(void);

// The next `count` Restore calls (any buffer) answer `code` instead of restoring; count -1
// means for ever, 0 ends the fault.
CUEBOX_PLATFORM_API void standin_fail_restore(int count, HRESULT code);

// The next DirectSoundCreate / CreateSoundBuffer answers `code` (0 ends the fault).
CUEBOX_PLATFORM_API void standin_fail_device_create(HRESULT code);
CUEBOX_PLATFORM_API void standin_fail_buffer_create(HRESULT code);

// The `nth` heap allocation that the module makes from now on (1: the next) fails, whether
// through malloc, calloc or its own operator new; 0 cancels.
CUEBOX_PLATFORM_API void standin_fail_allocation(long nth);

// Number of sound buffers and devices alive now, for leak checks.
CUEBOX_PLATFORM_API long standin_live_buffers(void);
CUEBOX_PLATFORM_API long standin_live_devices(void);

#endif  // !_WIN32
