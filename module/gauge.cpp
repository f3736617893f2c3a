// The module's face to the host: the exported ImportTable and Linkage records, the gauge header
// and its one element, the seven element routines, gauge_callback and the entry point.
#include <cstddef>

#include "control/commands.h"
#include "control/configuration.h"
#include "module/gauge_records.h"
#include "sound/device.h"
#include "sound/slot_buffers.h"

namespace {

void CUEBOX_STDCALL module_init() {}
void CUEBOX_STDCALL module_deinit() {}

// The element routines reach the host through ImportTable and the gauge through Linkage, never
// through a header the host passes in.
HostPanelTable* host_table();
GaugeElement* first_element();

template <int POSITION>
uintptr_t CUEBOX_STDCALL element_routine() {
    return host_routine<ElementOperation>(host_table(), POSITION)(first_element());
}

template <int POSITION>
uintptr_t CUEBOX_STDCALL element_routine_with_value(uint32_t value) {
    return host_routine<ElementOperationWithValue>(host_table(), POSITION)(first_element(), value);
}

void CUEBOX_STDCALL gauge_callback(GaugeHeader* header, int32_t service_code, uintptr_t extra);

}  // namespace

extern GaugeHeader gauge_header;

GaugeElement gauge_element = {0, GAUGE_BITMAP_ID, {}, &gauge_header, nullptr, nullptr,
                              0, GAUGE_IMAGE_FLAGS, {}};

GaugeElement* const gauge_elements[2] = {&gauge_element, nullptr};

GaugeHeader gauge_header = {
    GAUGE_HEADER_VERSION,
    "jvb_cuebox2",
    gauge_elements,
    &element_routine<24>,
    &element_routine_with_value<25>,
    &element_routine<26>,
    &element_routine<27>,
    &element_routine_with_value<28>,
    &element_routine<29>,
    &element_routine<31>,
    0,
    GAUGE_DEFAULT_SIZE_MM,
    {},
    &gauge_callback,
    0,
    nullptr,
    {},
};

extern "C" {
CUEBOX_MODULE_EXPORT ImportTableRecord ImportTable = {{IMPORT_PANEL_TABLE_ID, nullptr}, {0, nullptr}};

CUEBOX_MODULE_EXPORT LinkageRecord Linkage = {
    MODULE_KIND, &module_init, &module_deinit, 0, 0, HOST_INTERFACE_VERSION,
    {&gauge_header, nullptr}};
}

namespace {

HostPanelTable* host_table() { return ImportTable.panels.table; }
GaugeElement* first_element() { return Linkage.gauges[0]->element_list[0]; }

bool slot_is_loaded(int slot) {
    return slot_table() != nullptr && slot_table()->slots[slot].loaded == 1;
}

void CUEBOX_STDCALL gauge_callback(GaugeHeader* header, int32_t service_code, uintptr_t) {
    switch (static_cast<uint32_t>(service_code)) {
        case SERVICE_PRE_UPDATE:
            if (configure_once(header ? header->parameters : nullptr, host_table()))
                reset_command_state();
            update_commands(host_table());
            break;
        case SERVICE_CONNECT_TO_WINDOW:
            start_sound_device();
            break;
        case SERVICE_DISCONNECT:
            release_all_slots(&slot_is_loaded);
            release_sound_device();
            release_tables();
            break;
        default:
            break;
    }
}

// The tables exist from the moment the library is loaded, before the host reads any record.
const bool tables_allocated_at_load = allocate_tables();

}  // namespace

// A module that could not allocate its tables refuses to load rather than run without them.
extern "C" CUEBOX_MODULE_EXPORT BOOL WINAPI DllMain(HINSTANCE, DWORD reason, LPVOID) {
    if (reason == DLL_PROCESS_ATTACH) return tables_allocated_at_load ? TRUE : FALSE;
    return TRUE;
}
