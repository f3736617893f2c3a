// libFuzzer target for the requests `cuebox serve` answers. The input is a request as it comes
// over the wire: "METHOD TARGET", header lines "Name: value", an empty line, the body. Whatever
// it holds, the answer is a status with a JSON error or a page, no action is taken for a request
// refused, and no file is asked for outside the root.
#include <nlohmann/json.hpp>
#include <string>

#include "fuzz/fuzz_input.h"
#include "tools/serve_requests.h"

using fuzz::check;

namespace {

constexpr int PORT = 8018;

struct Actions : ServeActions {
    int calls = 0;
    std::string state_json() override { return "{}"; }
    bool click(const std::string&, const std::string&, std::string& why) override {
        ++calls;
        why = "no";
        return false;
    }
    bool set(const std::string&, double, std::string&) override { return ++calls, true; }
    bool flight(const std::string&, double, std::string&) override { return ++calls, true; }
    void stop() override { ++calls; }
    bool panel_file(const std::string& path, std::string& bytes, std::string& type) override {
        ++calls;
        // Only plain paths under the root get this far.
        check(!path.empty() && path[0] != '/');
        check(path.find('\\') == std::string::npos && path.find(':') == std::string::npos);
        for (char c : path) check(static_cast<unsigned char>(c) >= 0x20);
        for (size_t start = 0;;) {
            const size_t slash = path.find('/', start);
            const std::string part = path.substr(start, slash - start);
            check(!part.empty() && part != "." && part != "..");
            if (slash == std::string::npos) break;
            start = slash + 1;
        }
        bytes = "BM";
        type = "image/bmp";
        return true;
    }
};

std::string line_of(const std::string& text, size_t& at) {
    const size_t end = text.find('\n', at);
    std::string line = text.substr(at, end == std::string::npos ? std::string::npos : end - at);
    at = end == std::string::npos ? text.size() : end + 1;
    if (!line.empty() && line.back() == '\r') line.pop_back();
    return line;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::string text(reinterpret_cast<const char*>(data), size);
    size_t at = 0;
    HttpRequest request;
    const std::string first = line_of(text, at);
    const size_t space = first.find(' ');
    request.method = first.substr(0, space);
    request.target = space == std::string::npos ? "" : first.substr(space + 1);
    for (std::string line; at < text.size() && !(line = line_of(text, at)).empty();) {
        const size_t colon = line.find(':');
        const size_t value =
            line.find_first_not_of(' ', colon == std::string::npos ? 0 : colon + 1);
        request.headers.emplace_back(line.substr(0, colon),
                                     value == std::string::npos ? "" : line.substr(value));
    }
    request.body = text.substr(at);

    Actions actions;
    std::string why;
    const int refused = refusal(request, PORT, why);
    const HttpReply reply = handle_request(request, PORT, actions);
    check(reply.status >= 200 && reply.status < 600);
    if (refused) {
        check(reply.status == refused && actions.calls == 0 && !why.empty());
    }
    // Only a POST of JSON to this server's own name acts; a GET reads at most one file.
    if (request.method != "POST") check(actions.calls <= 1);
    if (reply.status >= 400) {
        const nlohmann::json error = nlohmann::json::parse(reply.body, nullptr, false);
        check(error.is_object() && error.contains("error"));
    }
    return 0;
}
