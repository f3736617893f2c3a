// PanelHost: module loading, the panel function table, named variables and gauge services.
#include "host/panel_host.h"

#include <sys/stat.h>

#include <chrono>
#include <cstdio>
#include <cstring>
#include <thread>

#include "panel/text.h"

#if defined(_WIN32)
#include "platform/win32.h"
#else
#include <dlfcn.h>

#include "platform/standin.h"
#endif

PanelHost* PanelHost::active = nullptr;

// The table entries the host hands the module. They find their host through PanelHost::active,
// as the simulator's own entries find its panel system.
struct HostRoutines {
    template <int POSITION>
    static uintptr_t CUEBOX_STDCALL element(void* element) {
        PanelHost::active->element_calls_.push_back(ElementCall{POSITION, element, 0});
        return 0x1000 + POSITION;  // distinct per position, so pass-through can be checked
    }
    template <int POSITION>
    static uintptr_t CUEBOX_STDCALL element_with_value(void* element, uint32_t value) {
        PanelHost::active->element_calls_.push_back(ElementCall{POSITION, element, value});
        return 0x1000 + POSITION;
    }
    static VariableId CUEBOX_STDCALL register_named_variable(const char* name) {
        return PanelHost::active->register_variable(name ? name : "");
    }
    static double CUEBOX_STDCALL get_named_variable_value(VariableId id) {
        PanelHost* host = PanelHost::active;
        if (id >= host->variables_.size()) return 0.0;
        const double value = host->variables_[id].second;
        if (host->on_read) host->on_read(id, value);
        return value;
    }
    static void CUEBOX_STDCALL set_named_variable_value(VariableId id, double value) {
        PanelHost* host = PanelHost::active;
        if (id >= host->variables_.size()) return;
        host->variables_[id].second = value;
        if (host->on_write) host->on_write(id, value);
    }
};

namespace {

template <typename Routine>
HostRoutine entry(Routine routine) {
    return reinterpret_cast<HostRoutine>(routine);
}

// What kind of module file `path` is, read from its first bytes, when a load failed: the
// loader's own reason ("invalid ELF header", error 193) does not say which file would do.
std::string module_kind_hint(const std::string& path) {
    std::FILE* file = std::fopen(path.c_str(), "rb");
    if (!file) return "";
    unsigned char head[512] = {};
    const size_t got = std::fread(head, 1, sizeof head, file);
    std::fclose(file);
    if (got >= 4 && head[0] == 0x7f && head[1] == 'E' && head[2] == 'L' && head[3] == 'F') {
#if defined(_WIN32)
        return ": it is a module built for Linux; this cuebox.exe loads the Windows "
               "jvb_cuebox2.gau that lies beside it in the zip (leave out --module)";
#else
        const bool sixty_four = head[4] == 2;
        return sixty_four == (sizeof(void*) == 8)
                   ? ""
                   : ": it is built for another word size than this cuebox";
#endif
    }
    if (got < 0x40 || head[0] != 'M' || head[1] != 'Z') return "";
    const unsigned offset = head[0x3c] | head[0x3d] << 8;
    const unsigned machine = offset + 6 <= got && std::memcmp(head + offset, "PE\0\0", 4) == 0
                                 ? head[offset + 4] | head[offset + 5] << 8
                                 : 0;
#if defined(_WIN32)
    const unsigned own = sizeof(void*) == 8 ? 0x8664 : 0x14c;
    if (machine == 0 || machine == own) return "";
    return machine == 0x14c ? ": it is a 32-bit Windows module and this cuebox.exe is 64-bit: use "
                              "the cuebox.exe of the same zip, beside it"
                            : ": it is built for another machine than this cuebox.exe";
#else
    const char* kind = machine == 0x14c ? "a 32-bit Windows module (as the zip's is)"
                       : machine == 0x8664 ? "a 64-bit Windows module"
                                           : "a Windows module";
    return std::string(": it is ") + kind +
           ", which this Linux cuebox cannot load: leave out --module to use the Linux build's, "
           "or run the zip's cuebox.exe on Windows";
#endif
}

void* open_library(const std::string& path, std::string& error) {
#if defined(_WIN32)
    HMODULE library = LoadLibraryA(path.c_str());
    if (!library)
        error = "not a module that this system can load (error " + std::to_string(GetLastError()) +
                ")" + module_kind_hint(path);
    return reinterpret_cast<void*>(library);
#else
    void* library = dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL);
    if (!library) {
        error = std::string("not a module that this system can load: ") + dlerror() +
                module_kind_hint(path);
        return nullptr;
    }
    // Windows runs a DLL's entry point at load and fails the load when it answers FALSE.
    typedef BOOL(WINAPI * EntryPoint)(HINSTANCE, DWORD, LPVOID);
    auto entry_point = reinterpret_cast<EntryPoint>(dlsym(library, "DllMain"));
    if (entry_point && !entry_point(nullptr, DLL_PROCESS_ATTACH, nullptr)) {
        dlclose(library);
        error = "the module refused to load (its entry point failed)";
        return nullptr;
    }
    return library;
#endif
}

void* find_symbol(void* library, const char* name) {
#if defined(_WIN32)
    return reinterpret_cast<void*>(GetProcAddress(reinterpret_cast<HMODULE>(library), name));
#else
    return dlsym(library, name);
#endif
}

void close_library(void* library) {
#if defined(_WIN32)
    FreeLibrary(reinterpret_cast<HMODULE>(library));
#else
    typedef BOOL(WINAPI * EntryPoint)(HINSTANCE, DWORD, LPVOID);
    auto entry_point = reinterpret_cast<EntryPoint>(dlsym(library, "DllMain"));
    if (entry_point) entry_point(nullptr, DLL_PROCESS_DETACH, nullptr);
    dlclose(library);
#endif
}

void* create_main_window() {
#if defined(_WIN32)
    WNDCLASSA window_class = {};
    window_class.lpfnWndProc = DefWindowProcA;
    window_class.hInstance = GetModuleHandleA(nullptr);
    window_class.lpszClassName = "FS98MAIN";
    RegisterClassA(&window_class);
    return CreateWindowExA(0, "FS98MAIN", "cuebox", WS_OVERLAPPEDWINDOW, 0, 0, 100, 100, nullptr,
                           nullptr, window_class.hInstance, nullptr);
#else
    return standin_register_window("FS98MAIN", "cuebox");
#endif
}

void destroy_main_window(void* window) {
    if (!window) return;
#if defined(_WIN32)
    DestroyWindow(static_cast<HWND>(window));
#else
    standin_unregister_window(static_cast<HWND>(window));
#endif
}

}  // namespace

PanelHost::PanelHost() {
    table_.position[24] = entry(&HostRoutines::element<24>);
    table_.position[25] = entry(&HostRoutines::element_with_value<25>);
    table_.position[26] = entry(&HostRoutines::element<26>);
    table_.position[27] = entry(&HostRoutines::element<27>);
    table_.position[28] = entry(&HostRoutines::element_with_value<28>);
    table_.position[29] = entry(&HostRoutines::element<29>);
    table_.position[30] = entry(&HostRoutines::element<30>);
    table_.position[31] = entry(&HostRoutines::element<31>);
    table_.position[HOST_REGISTER_NAMED_VARIABLE] = entry(&HostRoutines::register_named_variable);
    table_.position[HOST_GET_NAMED_VARIABLE_VALUE] = entry(&HostRoutines::get_named_variable_value);
    table_.position[HOST_SET_NAMED_VARIABLE_VALUE] = entry(&HostRoutines::set_named_variable_value);
    // Position 0 stays unused, so no variable has identifier 0.
    variables_.emplace_back("", 0.0);
    window_ = create_main_window();
    active = this;
}

PanelHost::~PanelHost() {
    unload();
    destroy_main_window(window_);
    if (active == this) active = nullptr;
}

bool PanelHost::load(const std::string& module_path, std::string& error) {
    // One module at a time: a second load gives the first back rather than leak it.
    unload();
    const std::string reason = open_module(module_path);
    if (!reason.empty()) {
        unload();
        error = reason;
        return false;
    }
    import_table_->panels.table = &table_;
    active = this;
    return true;
}

std::string PanelHost::open_module(const std::string& module_path) {
    struct stat info;
    if (stat(module_path.c_str(), &info) != 0) return "no such module file: " + module_path;
    if (!S_ISREG(info.st_mode)) return "not a module file: " + module_path;
    std::string error;
    library_ = open_library(module_path, error);
    if (!library_) return error;
    linkage_ = static_cast<LinkageRecord*>(find_symbol(library_, "Linkage"));
    import_table_ = static_cast<ImportTableRecord*>(find_symbol(library_, "ImportTable"));
    char detail[96] = "";
    if (!linkage_ || !import_table_) {
        return std::string("not a gauge module: it exports no ") +
               (linkage_ ? "ImportTable" : "Linkage");
    }
    if (linkage_->module_kind != MODULE_KIND) {
        std::snprintf(detail, sizeof detail, "0x%X, expected 0x%X", linkage_->module_kind,
                      MODULE_KIND);
        return std::string("wrong module kind in Linkage: ") + detail;
    }
    if (linkage_->interface_version != HOST_INTERFACE_VERSION) {
        std::snprintf(detail, sizeof detail, "0x%X, expected 0x%X", linkage_->interface_version,
                      HOST_INTERFACE_VERSION);
        return std::string("wrong interface version in Linkage: ") + detail;
    }
    if (!linkage_->gauges[0] || !linkage_->gauges[0]->gauge_callback)
        return "the module's Linkage lists no gauge with a callback";
    if (import_table_->panels.table_id != IMPORT_PANEL_TABLE_ID)
        return "the module's ImportTable does not ask for the panel table";
    return "";
}

void PanelHost::unload() {
    // The module may outlive this host (the system keeps a library loaded while anyone else
    // holds it): it must not keep a table that dies with the host.
    if (import_table_) import_table_->panels.table = nullptr;
    gauges_.clear();
    parameters_.clear();
    if (library_) close_library(library_);
    library_ = nullptr;
    linkage_ = nullptr;
    import_table_ = nullptr;
}

int PanelHost::add_gauge(const char* parameters) {
    auto header = std::make_unique<GaugeHeader>(*linkage_->gauges[0]);
    if (parameters) {
        parameters_.push_back(std::make_unique<std::string>(parameters));
        header->parameters = parameters_.back()->c_str();
    } else {
        header->parameters = nullptr;
    }
    gauges_.push_back(std::move(header));
    return static_cast<int>(gauges_.size()) - 1;
}

void PanelHost::service(uint32_t code, int gauge) {
    // A panel without the module's line has no instance to call: the simulator calls nothing.
    if (gauge < 0 || static_cast<size_t>(gauge) >= gauges_.size()) return;
    active = this;
    GaugeHeader* header = gauges_[static_cast<size_t>(gauge)].get();
    if (code == simulator_service::CONNECT_TO_WINDOW) connected_ = true;
    if (code == simulator_service::DISCONNECT) connected_ = false;
    header->gauge_callback(header, static_cast<int32_t>(code), 0);
}

VariableId PanelHost::register_variable(const std::string& name) {
    for (size_t i = 1; i < variables_.size(); ++i) {
        if (same_text(variables_[i].first, name)) return static_cast<VariableId>(i);
    }
    variables_.emplace_back(name, 0.0);
    return static_cast<VariableId>(variables_.size() - 1);
}

double PanelHost::variable(const std::string& name) {
    return variables_[register_variable(name)].second;
}

void PanelHost::set_variable(const std::string& name, double value) {
    variables_[register_variable(name)].second = value;
}

bool PanelHost::has_variable(const std::string& name) const {
    for (size_t i = 1; i < variables_.size(); ++i) {
        if (same_text(variables_[i].first, name)) return true;
    }
    return false;
}

bool choose_sound_output(SoundOutput output, const std::string& path, std::string& error) {
#if defined(_WIN32)
    (void)path;
    if (output == SoundOutput::FILE) {
        error = "--out is not available on Windows: the module plays on the sound card";
        return false;
    }
    return true;
#else
    const int kind = output == SoundOutput::LIVE ? STANDIN_OUTPUT_DEVICE
                     : output == SoundOutput::FILE ? STANDIN_OUTPUT_FILE
                                                   : STANDIN_OUTPUT_NONE;
    if (standin_set_output(kind, path.c_str()) != 0) {
        error = "cannot write the sound file: " + path;
        return false;
    }
    return true;
#endif
}

namespace {

// Real time is kept by a clock, not by adding up sleeps: each call sleeps until a deadline that
// moves on by exactly the time asked for, so what the updates themselves cost does not add up
// over a run, and a slow (or emulated) host keeps the panel's pace. After a stall longer than a
// quarter of a second (a console waiting for input) the pace starts again from now instead of
// racing to catch up.
double pace_deadline = 0.0;

double clock_seconds() {
#if defined(_WIN32)
    LARGE_INTEGER counter;
    LARGE_INTEGER frequency;
    QueryPerformanceCounter(&counter);
    QueryPerformanceFrequency(&frequency);
    return static_cast<double>(counter.QuadPart) / static_cast<double>(frequency.QuadPart);
#else
    return std::chrono::duration<double>(std::chrono::steady_clock::now().time_since_epoch())
        .count();
#endif
}

void keep_pace(double seconds) {
    const double now = clock_seconds();
    if (pace_deadline < now - 0.25) pace_deadline = now;
    pace_deadline += seconds;
    if (pace_deadline <= now) return;
#if defined(_WIN32)
    Sleep(static_cast<DWORD>((pace_deadline - now) * 1000.0 + 0.5));
#else
    std::this_thread::sleep_for(std::chrono::duration<double>(pace_deadline - now));
#endif
}

}  // namespace

void let_time_pass(double seconds, SoundOutput output) {
#if defined(_WIN32)
    (void)output;
    keep_pace(seconds);
#else
    if (output == SoundOutput::LIVE) {
        keep_pace(seconds);
    } else {
        standin_advance_time(seconds);
    }
#endif
}

void finish_sound_output() {
#if !defined(_WIN32)
    standin_finish_output();
#endif
}
