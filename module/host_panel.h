// The host's panel function table as the module uses it: the positions it calls and their
// signatures, and typed calls through a table pointer.
#pragma once

#include <cstdint>

#include "platform/win32.h"

// A named variable's identifier, opaque to the module.
typedef uint32_t VariableId;

// Every table entry is a routine address; its signature depends on its position.
typedef void (*HostRoutine)();

constexpr int HOST_PANEL_POSITIONS = 56;

struct HostPanelTable {
    HostRoutine position[HOST_PANEL_POSITIONS];
};

// Element operations: positions 24, 26, 27, 29 and 31 take the element; 25 and 28 also a value.
typedef uintptr_t(CUEBOX_STDCALL* ElementOperation)(void* element);
typedef uintptr_t(CUEBOX_STDCALL* ElementOperationWithValue)(void* element, uint32_t value);

typedef VariableId(CUEBOX_STDCALL* RegisterNamedVariable)(const char* name);
typedef double(CUEBOX_STDCALL* GetNamedVariableValue)(VariableId id);
typedef void(CUEBOX_STDCALL* SetNamedVariableValue)(VariableId id, double value);

constexpr int HOST_REGISTER_NAMED_VARIABLE = 51;
constexpr int HOST_GET_NAMED_VARIABLE_VALUE = 53;
constexpr int HOST_SET_NAMED_VARIABLE_VALUE = 55;

template <typename Routine>
inline Routine host_routine(const HostPanelTable* table, int position) {
    return reinterpret_cast<Routine>(table->position[position]);
}

inline VariableId register_named_variable(const HostPanelTable* table, const char* name) {
    return host_routine<RegisterNamedVariable>(table, HOST_REGISTER_NAMED_VARIABLE)(name);
}

inline double get_named_variable_value(const HostPanelTable* table, VariableId id) {
    return host_routine<GetNamedVariableValue>(table, HOST_GET_NAMED_VARIABLE_VALUE)(id);
}

inline void set_named_variable_value(const HostPanelTable* table, VariableId id, double value) {
    host_routine<SetNamedVariableValue>(table, HOST_SET_NAMED_VARIABLE_VALUE)(id, value);
}
