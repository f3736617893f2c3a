// PanelHost: what the simulator's panel system does for a gauge module. It loads the module
// file, checks its Linkage, hands it the panel function table, keeps the named variables, runs
// gauge instances with their parameter strings and calls their services.
#pragma once

#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "module/gauge_records.h"

// The service codes the simulator calls a gauge with. They are the simulator's numbers, written
// out here rather than taken from the module's header: the host must speak what the simulator
// speaks, so that a module whose own constants drifted is heard to ignore the simulator.
namespace simulator_service {
constexpr uint32_t PRE_INITIALIZE = 4;
constexpr uint32_t PRE_UPDATE = 6;
constexpr uint32_t CONNECT_TO_WINDOW = 14;
constexpr uint32_t DISCONNECT = 15;
}  // namespace simulator_service

// Where the module's sound goes: nowhere and a file are mixed offline, as fast as the machine
// allows (off Windows by our platform layer, on Windows by the host's own DirectSound); live
// sound plays on the default device in real time.
enum class SoundOutput { NONE, LIVE, FILE };

struct ElementCall {
    int position;
    void* element;
    uint32_t value;
};

class PanelHost {
  public:
    PanelHost();
    ~PanelHost();
    PanelHost(const PanelHost&) = delete;
    PanelHost& operator=(const PanelHost&) = delete;

    // Loads and checks the module, giving back any module loaded before; on failure returns
    // false with a one-line reason in `error`.
    bool load(const std::string& module_path, std::string& error);
    void unload();

    // Adds a gauge instance of the module's gauge with its parameter string; returns its index.
    // `parameters` null gives the instance no parameter string at all.
    int add_gauge(const char* parameters);

    // Services, to one instance (default the first) or, for `update`, every instance in turn.
    void service(uint32_t code, int gauge = 0);
    void connect(int gauge = 0) { service(simulator_service::CONNECT_TO_WINDOW, gauge); }
    void disconnect(int gauge = 0) { service(simulator_service::DISCONNECT, gauge); }
    void pre_update(int gauge = 0) { service(simulator_service::PRE_UPDATE, gauge); }

    // Named variables, as XML gauges see them. Names are compared without regard to letter
    // case, as the simulator compares them: (L:My_Sounds) is the module's my_sounds.
    VariableId register_variable(const std::string& name);
    double variable(const std::string& name);
    void set_variable(const std::string& name, double value);
    bool has_variable(const std::string& name) const;
    // By identifier, for the panel's gauges, which look their variables up once.
    double value(VariableId id) const { return id < variables_.size() ? variables_[id].second : 0; }
    void set_value(VariableId id, double value) {
        if (id < variables_.size()) variables_[id].second = value;
    }
    const std::vector<std::pair<std::string, double>>& variables() const { return variables_; }

    // What the module read and wrote through the panel table, for the trace.
    std::function<void(VariableId, double)> on_read;
    std::function<void(VariableId, double)> on_write;

    const std::vector<ElementCall>& element_calls() const { return element_calls_; }
    const LinkageRecord* linkage() const { return linkage_; }
    ImportTableRecord* import_table() const { return import_table_; }
    const HostPanelTable& panel_table() const { return table_; }
    GaugeHeader* gauge(int index) { return gauges_[index].get(); }
    // True between a connect and a disconnect.
    bool connected() const { return connected_; }
    int gauge_count() const { return static_cast<int>(gauges_.size()); }

    // The host's own table entries call back into the one host that is active.
    static PanelHost* active;

  private:
    // Opens and checks the module file; the reason it cannot serve, or "" when it can.
    std::string open_module(const std::string& module_path);

    void* library_ = nullptr;
    LinkageRecord* linkage_ = nullptr;
    ImportTableRecord* import_table_ = nullptr;
    HostPanelTable table_ = {};
    std::vector<std::unique_ptr<GaugeHeader>> gauges_;
    std::vector<std::unique_ptr<std::string>> parameters_;
    std::vector<std::pair<std::string, double>> variables_;
    std::vector<ElementCall> element_calls_;
    void* window_ = nullptr;
    bool connected_ = false;

    friend struct HostRoutines;
};

// Sets where sound goes for devices created from now on; false when the file cannot be made.
bool choose_sound_output(SoundOutput output, const std::string& path, std::string& error);
// Lets `seconds` of time pass for the sound: rendered offline, or slept in real time.
void let_time_pass(double seconds, SoundOutput output);
// Makes the platform lose every sound buffer, as another program taking the sound card does.
// False, with the reason, where it cannot: the system's own DirectSound on Windows.
bool lose_sound_buffers(SoundOutput output, std::string& error);
// Completes an output file.
void finish_sound_output();
