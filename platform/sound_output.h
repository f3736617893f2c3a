// Where the DirectSound stand-in's sound goes: the OpenAL device and context that every sound
// buffer's source plays through, and the clock that moves them on. Internal to platform/.
#pragma once

#include "platform/win32.h"

namespace standin {

// Opens the output for a new DirectSound device, or joins the one already open: one OpenAL
// context serves every device of the process. Answers DS_OK, or DSERR_NODRIVER when the chosen
// output cannot be opened (no audio device), as Windows does without a sound card.
HRESULT acquire_sound_output();

// Gives back what acquire_sound_output gave; the last one closes the OpenAL device.
void release_sound_output();

// Brings the sources up to the present before anyone looks at them. Only the loopback device
// that follows the wall clock (no audio device, no output chosen) has work to do here: it mixes
// the time that has passed since the last call.
void catch_up_sound_output();

}  // namespace standin
