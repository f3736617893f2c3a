// The requests `cuebox serve` answers, apart from the HTTP library: which requests are refused
// (another host name, another origin, a path outside the panel, sizes beyond bounds), and what
// each route does. A local server is reachable by every page the author's browser opens, so
// whatever is not the preview's own page asking is refused before anything is read or changed.
#pragma once

#include <string>
#include <utility>
#include <vector>

struct HttpRequest {
    std::string method;  // "GET", "POST", ...
    std::string target;  // the path with its query, as sent ("/api/state", "/files/a%20b.bmp")
    std::vector<std::pair<std::string, std::string>> headers;  // names in any letter case
    std::string body;
};

struct HttpReply {
    int status = 200;
    std::string type = "application/json";
    std::string body;
};

constexpr size_t REQUEST_TARGET_LIMIT = 2048;
constexpr size_t REQUEST_BODY_LIMIT = 16u << 10;
constexpr size_t REQUEST_HEADERS_LIMIT = 64;

// What the page may ask of the live panel. The server answers these over its session.
class ServeActions {
  public:
    virtual ~ServeActions() = default;
    virtual std::string state_json() = 0;
    virtual bool click(const std::string& gauge, const std::string& area, std::string& why) = 0;
    virtual bool set(const std::string& variable, double value, std::string& why) = 0;
    // "play", "pause", "restart" or "seek" (to `position` seconds).
    virtual bool flight(const std::string& action, double position, std::string& why) = 0;
    virtual void stop() = 0;
    // A file the page draws (a bitmap of the panel), named relative to the root; false when
    // the panel uses no such file or it cannot be read.
    virtual bool panel_file(const std::string& path, std::string& bytes, std::string& type) = 0;
};

// The status and reason when the request must be refused before any route sees it; 0 when it
// may go on. `port` is the one the server listens on: the only Host and Origin it answers.
int refusal(const HttpRequest& request, int port, std::string& why);
// The path of a request target, %-escapes decoded; false when it is not a plain absolute path
// (a NUL or control character, a bad escape).
bool decoded_path(const std::string& target, std::string& path);
// Whether `path` (after /files/) names a file under the root and nothing else: no "..", no
// "." or empty parts, no absolute path, no drive letter, no backslash. False with `why`.
bool safe_relative_path(const std::string& path, std::string& why);
// Answers one request, refused or routed.
HttpReply handle_request(const HttpRequest& request, int port, ServeActions& actions);
