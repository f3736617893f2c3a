// Owns the per-slot sound buffers, the readers they are filled from and their sizes.
#include "sound/slot_buffers.h"

#include <algorithm>
#include <cstring>
#include <new>

#include "sound/device.h"

IDirectSoundBuffer* slot_buffers[SLOT_COUNT];
WaveFileReader* slot_readers[SLOT_COUNT];
DWORD slot_sizes[SLOT_COUNT];

namespace {

// Any failure code will do for a slot without a buffer; callers ignore it.
constexpr HRESULT NO_BUFFER = E_FAIL;

void destroy_reader(uint16_t slot) {
    delete slot_readers[slot];
    slot_readers[slot] = nullptr;
}

void release_buffer(uint16_t slot) {
    if (slot_buffers[slot]) {
        slot_buffers[slot]->Release();
        slot_buffers[slot] = nullptr;
    }
}

}  // namespace

HRESULT load_slot(uint16_t slot, const char* path) {
    HRESULT result = create_slot_buffer(slot, path);
    if (FAILED(result)) return result;
    return fill_slot_buffer(slot);
}

HRESULT create_slot_buffer(uint16_t slot, const char* path) {
    destroy_reader(slot);
    release_buffer(slot);
    WaveFileReader* reader = new (std::nothrow) WaveFileReader();
    if (!reader) return E_OUTOFMEMORY;
    slot_readers[slot] = reader;
    if (FAILED(reader->open(path))) return E_FAIL;

    // Without a device (its start failed) there is nothing to make a buffer on.
    IDirectSound* device = sound_device().device;
    if (!device) return E_FAIL;

    DSBUFFERDESC description;
    std::memset(&description, 0, sizeof description);
    description.dwSize = sizeof(DSBUFFERDESC);
    description.dwFlags = DSBCAPS_STATIC;
    description.dwBufferBytes = reader->data_size();
    description.lpwfxFormat = reader->format;

    HRESULT result = device->CreateSoundBuffer(&description, &slot_buffers[slot], nullptr);
    if (FAILED(result)) {
        slot_buffers[slot] = nullptr;
        return result;
    }
    slot_sizes[slot] = description.dwBufferBytes;
    return DS_OK;
}

HRESULT fill_slot_buffer(uint16_t slot) {
    WaveFileReader* reader = slot_readers[slot];
    IDirectSoundBuffer* buffer = slot_buffers[slot];
    if (!reader || !buffer) return NO_BUFFER;
    // A read that failed earlier left the reader short of the data start; a refill needs all
    // of the sound again.
    if (reader->bytes_left() != slot_sizes[slot]) reader->reset_to_data();

    const DWORD size = reader->bytes_left();
    BYTE* block = new (std::nothrow) BYTE[size ? size : 1];
    if (!block) return E_OUTOFMEMORY;
    DWORD bytes_read = 0;
    HRESULT result = reader->read(size, block, &bytes_read);
    if (FAILED(result)) {
        delete[] block;
        return result;
    }
    reader->reset_to_data();

    LPVOID region1 = nullptr;
    LPVOID region2 = nullptr;
    DWORD region1_bytes = 0;
    DWORD region2_bytes = 0;
    result = buffer->Lock(0, slot_sizes[slot], &region1, &region1_bytes, &region2, &region2_bytes,
                          0);
    if (FAILED(result)) {
        delete[] block;
        return result;
    }
    // Never more than the block holds, nor more than the region the lock gave.
    const DWORD copied = std::min({slot_sizes[slot], size, region1_bytes});
    std::memcpy(region1, block, copied);
    buffer->Unlock(region1, copied, nullptr, 0);
    delete[] block;
    return DS_OK;
}

int is_slot_playing(uint16_t slot) {
    if (!slot_buffers[slot]) return 0;
    DWORD status = 0;
    slot_buffers[slot]->GetStatus(&status);
    return (status & DSBSTATUS_PLAYING) ? 1 : 0;
}

HRESULT play_slot(uint16_t slot, bool looping) {
    if (!slot_buffers[slot]) return NO_BUFFER;
    HRESULT result = restore_slot_buffer(slot);
    if (FAILED(result)) return result;
    result = slot_buffers[slot]->Play(0, 0, looping ? DSBPLAY_LOOPING : 0);
    return FAILED(result) ? result : DS_OK;
}

void stop_slot(uint16_t slot, bool rewind) {
    if (!slot_buffers[slot]) return;
    slot_buffers[slot]->Stop();
    if (rewind) slot_buffers[slot]->SetCurrentPosition(0);
}

HRESULT restore_slot_buffer(uint16_t slot) {
    IDirectSoundBuffer* buffer = slot_buffers[slot];
    if (!buffer) return NO_BUFFER;
    DWORD status = 0;
    HRESULT result = buffer->GetStatus(&status);
    if (FAILED(result)) return result;
    if (!(status & DSBSTATUS_BUFFERLOST)) return DS_OK;

    // The platform may keep the buffer lost for a while (another program has the device);
    // wait for it, but never hold the panel for ever.
    for (int pass = 0;; ++pass) {
        if (pass == RESTORE_PASS_LIMIT) return result;
        if (buffer->Restore() == DSERR_BUFFERLOST) Sleep(10);
        result = buffer->Restore();
        if (result == DS_OK) break;
    }
    return fill_slot_buffer(slot);
}

void release_all_slots(bool (*loaded)(int slot)) {
    for (int slot = 0; slot < SLOT_COUNT; ++slot) {
        if (loaded(slot)) release_slot(static_cast<uint16_t>(slot));
    }
}

HRESULT release_slot(uint16_t slot) {
    destroy_reader(slot);
    release_buffer(slot);
    return DS_OK;
}
