// Slot buffers: one DirectSound buffer per loaded slot, with the WAV reader it was filled from
// kept open so that a lost buffer can be refilled.
#pragma once

#include <cstdint>

#include "platform/win32.h"
#include "sound/wave_reader.h"

constexpr int SLOT_COUNT = 100;

// Module-wide, indexed by slot number.
extern IDirectSoundBuffer* slot_buffers[SLOT_COUNT];
extern WaveFileReader* slot_readers[SLOT_COUNT];
extern DWORD slot_sizes[SLOT_COUNT];

HRESULT load_slot(uint16_t slot, const char* path);
HRESULT create_slot_buffer(uint16_t slot, const char* path);
HRESULT fill_slot_buffer(uint16_t slot);
HRESULT play_slot(uint16_t slot, bool looping);
void stop_slot(uint16_t slot, bool rewind);
int is_slot_playing(uint16_t slot);
HRESULT restore_slot_buffer(uint16_t slot);
// `loaded(slot)` tells which slots the command control has loaded; only those are released.
void release_all_slots(bool (*loaded)(int slot));
HRESULT release_slot(uint16_t slot);

// How many passes of the restore loop are made before a buffer that stays lost is given up:
// about a second when every pass sleeps.
constexpr int RESTORE_PASS_LIMIT = 100;
