// Reads the configuration with the module's own configuration code.
#include "tools/configuration_view.h"

namespace {

VariableId CUEBOX_STDCALL no_register(const char*) {
    return 1;
}
void CUEBOX_STDCALL no_set(VariableId, double) {}

}  // namespace

ConfigurationView read_configuration(const char* parameters) {
    HostPanelTable table = {};
    table.position[HOST_REGISTER_NAMED_VARIABLE] = reinterpret_cast<HostRoutine>(&no_register);
    table.position[HOST_SET_NAMED_VARIABLE_VALUE] = reinterpret_cast<HostRoutine>(&no_set);

    ConfigurationView view;
    // This process's copy of the configuration code is ours alone; start it afresh each time.
    release_tables();
    configure_once(parameters, &table);
    if (slot_table()) {
        view.ini_path = ini_path();
        view.variable_name = variable_name();
        for (int n = 0; n < SLOT_COUNT; ++n) {
            view.slots.push_back(SlotView{slot_table()->slots[n].path, slot_path_source(n)});
        }
    }
    release_tables();
    return view;
}
