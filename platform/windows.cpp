// The top-level window list that FindWindowA searches (the host registers its main window),
// and Sleep.
#include <strings.h>

#include <chrono>
#include <list>
#include <string>
#include <thread>

#include "platform/standin.h"
#include "platform/standin_core.h"

namespace {

struct Window {
    std::string class_name;
    std::string title;
};

// A list, so a window's address stays valid as its handle while others come and go.
std::list<Window>& windows() {
    static std::list<Window> list;
    return list;
}

}  // namespace

CUEBOX_PLATFORM_API HWND standin_register_window(const char* class_name, const char* title) {
    windows().push_front(Window{class_name ? class_name : "", title ? title : ""});
    return reinterpret_cast<HWND>(&windows().front());
}

CUEBOX_PLATFORM_API void standin_unregister_window(HWND window) {
    windows().remove_if([window](const Window& w) { return reinterpret_cast<HWND>(
                                                               const_cast<Window*>(&w)) == window; });
}

// Class names and titles match without regard to case, as Windows matches them; the most
// recently created window is found first.
CUEBOX_PLATFORM_API HWND FindWindowA(LPCSTR class_name, LPCSTR window_name) {
    standin::count_call("FindWindowA");
    for (Window& window : windows()) {
        if (class_name && strcasecmp(window.class_name.c_str(), class_name) != 0) continue;
        if (window_name && strcasecmp(window.title.c_str(), window_name) != 0) continue;
        return reinterpret_cast<HWND>(&window);
    }
    return nullptr;
}

CUEBOX_PLATFORM_API void Sleep(DWORD milliseconds) {
    standin::count_call("Sleep");
    standin::count_call("Sleep milliseconds", static_cast<long>(milliseconds));
    std::this_thread::sleep_for(std::chrono::milliseconds(milliseconds));
}

CUEBOX_PLATFORM_API long standin_slept_milliseconds(void) {
    return standin_call_count("Sleep milliseconds");
}
