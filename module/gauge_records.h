// The host's record layouts that the module exports and the host reads: ImportTable, Linkage,
// the gauge header and its element. In the 32-bit build every field sits at the host's byte
// offset (the static_asserts at the end of this file check it); other builds keep the order
// with their own pointer size.
#pragma once

#include <cstddef>
#include <cstdint>

#include "module/host_panel.h"

struct GaugeHeader;

struct GaugeElement {
    uint32_t element_kind;  // 0: a still image
    uint32_t image_id;      // bitmap resource shown
    uint32_t reserved_8[6];
    GaugeHeader* header;  // back to the gauge
    void* reserved_36;
    GaugeElement** next_elements;  // null: no successor
    uint32_t reserved_44;
    uint32_t image_flags;
    uint32_t reserved_52[11];
};

// The gauge's element routines: 2 and 5 take a value, the others nothing.
typedef uintptr_t(CUEBOX_STDCALL* ElementRoutine)();
typedef uintptr_t(CUEBOX_STDCALL* ElementRoutineWithValue)(uint32_t value);

typedef void(CUEBOX_STDCALL* GaugeCallback)(GaugeHeader* header, int32_t service_code,
                                            uintptr_t extra);

struct GaugeHeader {
    uint32_t format_version;
    const char* gauge_name;
    GaugeElement* const* element_list;  // null-terminated
    ElementRoutine routine_1;
    ElementRoutineWithValue routine_2;
    ElementRoutine routine_3;
    ElementRoutine routine_4;
    ElementRoutineWithValue routine_5;
    ElementRoutine routine_6;
    ElementRoutine routine_7;
    uint32_t reserved_40;
    uint32_t default_size_mm;
    uint32_t reserved_48[9];
    GaugeCallback gauge_callback;
    uint32_t reserved_88;
    const char* parameters;  // the gauge's parameter string, set by the host per instance
    // The host's layout goes on; the module stores zeros there.
    uint32_t reserved_96[8];
};

struct ImportEntry {
    uint32_t table_id;
    HostPanelTable* table;
};

struct ImportTableRecord {
    ImportEntry panels;  // table_id 0x0F: the panel function table
    ImportEntry end;     // zero: the end of the list
};

typedef void(CUEBOX_STDCALL* ModuleRoutine)();

struct LinkageRecord {
    uint32_t module_kind;
    ModuleRoutine module_init;
    ModuleRoutine module_deinit;
    uint32_t reserved_12;
    uint32_t reserved_16;
    uint32_t interface_version;
    GaugeHeader* gauges[2];  // null-terminated list inside the record itself
};

constexpr uint32_t IMPORT_PANEL_TABLE_ID = 0x0F;
constexpr uint32_t MODULE_KIND = 0x13;
constexpr uint32_t HOST_INTERFACE_VERSION = 0x900;
constexpr uint32_t GAUGE_HEADER_VERSION = 0x320;
constexpr uint32_t GAUGE_DEFAULT_SIZE_MM = 20;
constexpr uint32_t GAUGE_BITMAP_ID = 256;
constexpr uint32_t GAUGE_IMAGE_FLAGS = 0x83;

// Service codes of gauge_callback.
constexpr uint32_t SERVICE_PRE_INITIALIZE = 4;
constexpr uint32_t SERVICE_PRE_UPDATE = 6;
constexpr uint32_t SERVICE_CONNECT_TO_WINDOW = 14;
constexpr uint32_t SERVICE_DISCONNECT = 15;

// The host reads these records at fixed byte offsets in the 32-bit build.
#define CUEBOX_AT(record, field, offset) \
    static_assert(sizeof(void*) != 4 || offsetof(record, field) == (offset), #record "." #field)
CUEBOX_AT(ImportTableRecord, panels.table, 4);
CUEBOX_AT(ImportTableRecord, end.table_id, 8);
CUEBOX_AT(ImportTableRecord, end.table, 12);
static_assert(sizeof(void*) != 4 || sizeof(ImportTableRecord) == 16, "ImportTable size");
CUEBOX_AT(LinkageRecord, module_init, 4);
CUEBOX_AT(LinkageRecord, module_deinit, 8);
CUEBOX_AT(LinkageRecord, reserved_12, 12);
CUEBOX_AT(LinkageRecord, reserved_16, 16);
CUEBOX_AT(LinkageRecord, interface_version, 20);
CUEBOX_AT(LinkageRecord, gauges, 24);
static_assert(sizeof(void*) != 4 || sizeof(LinkageRecord) == 32, "Linkage size");
CUEBOX_AT(GaugeHeader, gauge_name, 4);
CUEBOX_AT(GaugeHeader, element_list, 8);
CUEBOX_AT(GaugeHeader, routine_1, 12);
CUEBOX_AT(GaugeHeader, routine_2, 16);
CUEBOX_AT(GaugeHeader, routine_3, 20);
CUEBOX_AT(GaugeHeader, routine_4, 24);
CUEBOX_AT(GaugeHeader, routine_5, 28);
CUEBOX_AT(GaugeHeader, routine_6, 32);
CUEBOX_AT(GaugeHeader, routine_7, 36);
CUEBOX_AT(GaugeHeader, reserved_40, 40);
CUEBOX_AT(GaugeHeader, default_size_mm, 44);
CUEBOX_AT(GaugeHeader, reserved_48, 48);
CUEBOX_AT(GaugeHeader, gauge_callback, 84);
CUEBOX_AT(GaugeHeader, reserved_88, 88);
CUEBOX_AT(GaugeHeader, parameters, 92);
CUEBOX_AT(GaugeHeader, reserved_96, 96);
CUEBOX_AT(GaugeElement, image_id, 4);
CUEBOX_AT(GaugeElement, reserved_8, 8);
CUEBOX_AT(GaugeElement, header, 32);
CUEBOX_AT(GaugeElement, reserved_36, 36);
CUEBOX_AT(GaugeElement, next_elements, 40);
CUEBOX_AT(GaugeElement, reserved_44, 44);
CUEBOX_AT(GaugeElement, image_flags, 48);
CUEBOX_AT(GaugeElement, reserved_52, 52);
static_assert(sizeof(void*) != 4 || sizeof(GaugeElement) == 96, "GaugeElement size");
#undef CUEBOX_AT
