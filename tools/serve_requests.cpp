// Refusing and routing the requests of `cuebox serve`.
#include "tools/serve_requests.h"

#include <cctype>
#include <nlohmann/json.hpp>

#include "host/scenario.h"
#include "panel/text.h"
#include "tools/serve_page.h"

namespace {

const std::string* header(const HttpRequest& request, const char* name, int* count = nullptr) {
    const std::string* found = nullptr;
    int seen = 0;
    for (const auto& field : request.headers) {
        if (same_text(field.first, name)) {
            if (!found) found = &field.second;
            ++seen;
        }
    }
    if (count) *count = seen;
    return found;
}

// The names this server goes by: the loopback address it binds, and localhost.
bool our_host(const std::string& host, int port) {
    const std::string suffix = ":" + std::to_string(port);
    return same_text(host, "127.0.0.1" + suffix) || same_text(host, "localhost" + suffix);
}

HttpReply error_reply(int status, const std::string& why) {
    HttpReply reply;
    reply.status = status;
    reply.body = nlohmann::json({{"error", why}})
                     .dump(-1, ' ', false, nlohmann::json::error_handler_t::replace);
    return reply;
}

HttpReply done_reply() {
    HttpReply reply;
    reply.body = "{\"ok\":true}";
    return reply;
}

int hex_digit(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    return -1;
}

// A JSON object body, or false when it is not one.
bool body_object(const HttpRequest& request, nlohmann::json& body) {
    body = nlohmann::json::parse(request.body, nullptr, false);
    return body.is_object();
}

bool string_field(const nlohmann::json& body, const char* name, std::string& value) {
    const auto found = body.find(name);
    if (found == body.end()) return false;
    if (found->is_string()) {
        value = found->get<std::string>();
        return true;
    }
    if (found->is_number_integer()) {
        value = std::to_string(found->get<long long>());
        return true;
    }
    return false;
}

// A number as the page sends it: a JSON number, or text a scenario would take ("nan", "1.5").
bool number_field(const nlohmann::json& body, const char* name, double& value) {
    const auto found = body.find(name);
    if (found == body.end()) return false;
    if (found->is_boolean()) {
        value = found->get<bool>() ? 1 : 0;
        return true;
    }
    if (found->is_number()) {
        value = found->get<double>();
        return true;
    }
    return found->is_string() && parse_value(found->get<std::string>(), value);
}

HttpReply post(const std::string& path, const HttpRequest& request, ServeActions& actions) {
    nlohmann::json body;
    if (path == "/api/stop") {
        actions.stop();
        return done_reply();
    }
    if (!body_object(request, body)) return error_reply(400, "the body is not a JSON object");
    std::string why;
    if (path == "/api/click") {
        std::string gauge, area;
        if (!string_field(body, "gauge", gauge) || !string_field(body, "area", area))
            return error_reply(400, "a click names its gauge and area");
        if (!actions.click(gauge, area, why)) return error_reply(422, why);
        return done_reply();
    }
    if (path == "/api/set") {
        std::string variable;
        double value = 0;
        if (!string_field(body, "variable", variable) || !number_field(body, "value", value))
            return error_reply(400, "a change names its variable and value");
        if (!actions.set(variable, value, why)) return error_reply(422, why);
        return done_reply();
    }
    if (path == "/api/flight") {
        std::string action;
        double position = 0;
        if (!string_field(body, "action", action))
            return error_reply(400, "play, pause, restart or seek");
        if (action == "seek" && !number_field(body, "position", position))
            return error_reply(400, "seek needs a position in seconds");
        if (!actions.flight(action, position, why)) return error_reply(422, why);
        return done_reply();
    }
    return error_reply(404, "no such action");
}

}  // namespace

bool decoded_path(const std::string& target, std::string& path) {
    const std::string raw = target.substr(0, target.find('?'));
    if (raw.empty() || raw[0] != '/') return false;
    path.clear();
    for (size_t i = 0; i < raw.size(); ++i) {
        char c = raw[i];
        if (c == '%') {
            if (i + 2 >= raw.size()) return false;
            const int high = hex_digit(raw[i + 1]), low = hex_digit(raw[i + 2]);
            if (high < 0 || low < 0) return false;
            c = static_cast<char>(high * 16 + low);
            i += 2;
        }
        if (static_cast<unsigned char>(c) < 0x20 || c == 0x7f) return false;
        path += c;
    }
    return true;
}

bool safe_relative_path(const std::string& path, std::string& why) {
    if (path.empty() || path[0] == '/') {
        why = "not a path under the root";
        return false;
    }
    if (path.find('\\') != std::string::npos || path.find(':') != std::string::npos) {
        why = "backslashes and drive letters are not served";
        return false;
    }
    size_t start = 0;
    for (;;) {
        const size_t slash = path.find('/', start);
        const std::string part = path.substr(start, slash - start);
        if (part.empty() || part == "." || part == "..") {
            why = "a path with '..', '.' or an empty part is not served";
            return false;
        }
        if (slash == std::string::npos) break;
        start = slash + 1;
    }
    return true;
}

int refusal(const HttpRequest& request, int port, std::string& why) {
    if (request.method != "GET" && request.method != "POST") {
        why = "only GET and POST are answered";
        return 405;
    }
    if (request.target.size() > REQUEST_TARGET_LIMIT) {
        why = "the request's path is too long";
        return 414;
    }
    if (request.headers.size() > REQUEST_HEADERS_LIMIT) {
        why = "too many header fields";
        return 431;
    }
    if (request.body.size() > REQUEST_BODY_LIMIT) {
        why = "the request's body is too large";
        return 413;
    }
    // Another name for this address is another site to the browser: a page that rebinds its
    // own name to 127.0.0.1 must not read or drive the panel.
    int hosts = 0;
    const std::string* host = header(request, "Host", &hosts);
    if (hosts != 1 || !our_host(*host, port)) {
        why = "only requests to 127.0.0.1:" + std::to_string(port) +
              " or localhost:" + std::to_string(port) + " are answered";
        return 403;
    }
    // A browser says where a request comes from; whatever another site's page sends is refused.
    const std::string* site = header(request, "Sec-Fetch-Site");
    if (site && !same_text(*site, "same-origin") && !same_text(*site, "none")) {
        why = "requests from other sites are refused";
        return 403;
    }
    const std::string* origin = header(request, "Origin");
    if (origin && !(origin->compare(0, 7, "http://") == 0 && our_host(origin->substr(7), port))) {
        why = "requests from other sites are refused";
        return 403;
    }
    if (request.method == "POST") {
        // JSON cannot be posted across sites without the browser asking first (which is not
        // answered), so a form on another page cannot click or set anything.
        const std::string* type = header(request, "Content-Type");
        if (!type || lower_text(type->substr(0, type->find(';'))) != "application/json") {
            why = "actions are JSON (Content-Type: application/json)";
            return 415;
        }
    }
    std::string path;
    if (!decoded_path(request.target, path)) {
        why = "not a plain path";
        return 400;
    }
    return 0;
}

HttpReply handle_request(const HttpRequest& request, int port, ServeActions& actions) {
    std::string why;
    const int status = refusal(request, port, why);
    if (status) return error_reply(status, why);
    std::string path;
    decoded_path(request.target, path);
    if (request.method == "POST") return post(path, request, actions);
    HttpReply reply;
    if (path == "/api/state") {
        reply.body = actions.state_json();
        return reply;
    }
    if (path.compare(0, 7, "/files/") == 0) {
        const std::string file = path.substr(7);
        if (!safe_relative_path(file, why)) return error_reply(403, why);
        if (!actions.panel_file(file, reply.body, reply.type))
            return error_reply(404, "the panel uses no such file");
        return reply;
    }
    const PageFile* page = page_file(path == "/" ? "/index.html" : path);
    if (!page) return error_reply(404, "not found");
    reply.type = page->type;
    reply.body.assign(page->text, page->size);
    return reply;
}
