// What `cuebox serve` answers and refuses: other host names (DNS rebinding), other origins,
// paths outside the root, sizes beyond bounds, malformed bodies; and that the actions reach the
// panel with what the page sent. The server itself, on a real socket: port in use, Ctrl+C
// disconnecting the module, and the event stream going on beside a browser's idle connections.
#include "tools/serve_requests.h"

#include <arpa/inet.h>
#include <fcntl.h>
#include <gtest/gtest.h>
#include <netinet/in.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/socket.h>

#include <chrono>
#include <regex>
#include <thread>

#include "tools/tool_runner.h"

namespace {

constexpr int PORT = 4321;

struct Recorder : ServeActions {
    std::vector<std::string> calls;
    std::string state_json() override { return "{\"update\":1}"; }
    bool click(const std::string& gauge, const std::string& area, std::string& why) override {
        calls.push_back("click " + gauge + " " + area);
        why = "no such area";
        return area != "9";
    }
    bool set(const std::string& variable, double value, std::string&) override {
        calls.push_back("set " + variable + " " + std::to_string(value));
        return true;
    }
    bool flight(const std::string& action, double position, std::string&) override {
        calls.push_back("flight " + action + " " + std::to_string(position));
        return true;
    }
    void stop() override { calls.push_back("stop"); }
    bool panel_file(const std::string& path, std::string& bytes, std::string& type) override {
        calls.push_back("file " + path);
        bytes = "BM";
        type = "image/bmp";
        return path == "panel/back.bmp";
    }
};

HttpRequest request(const std::string& method, const std::string& target,
                    std::vector<std::pair<std::string, std::string>> extra = {},
                    const std::string& body = "") {
    HttpRequest made{method, target, {{"Host", "127.0.0.1:4321"}}, body};
    if (method == "POST") made.headers.emplace_back("Content-Type", "application/json");
    for (auto& field : extra) made.headers.push_back(field);
    return made;
}

TEST(ServeRequests, WhatIsNotThePreviewsOwnPageAskingIsRefusedBeforeAnyAction) {
    const std::string big(REQUEST_BODY_LIMIT + 1, ' ');
    const std::string long_path = "/" + std::string(REQUEST_TARGET_LIMIT, 'a');
    std::vector<std::pair<std::string, std::string>> many;
    for (size_t i = 0; i <= REQUEST_HEADERS_LIMIT; ++i)
        many.emplace_back("X-" + std::to_string(i), "1");
    const struct {
        HttpRequest request;
        int status;
    } cases[] = {
        {request("GET", "/api/state"), 0},
        {request("GET", "/api/state", {{"Sec-Fetch-Site", "same-origin"}}), 0},
        {request("POST", "/api/stop", {{"Origin", "http://localhost:4321"}}, "{}"), 0},
        {{"GET", "/api/state", {{"host", "LOCALHOST:4321"}}, ""}, 0},
        // DNS rebinding: another name, another port, no name, two names.
        {{"GET", "/api/state", {{"Host", "evil.example:4321"}}, ""}, 403},
        {{"GET", "/api/state", {{"Host", "127.0.0.1:80"}}, ""}, 403},
        {{"GET", "/api/state", {}, ""}, 403},
        {{"GET", "/api/state", {{"Host", "127.0.0.1:4321"}, {"Host", "evil.example"}}, ""}, 403},
        // Another site's page: its origin, its fetch metadata, a form's content type.
        {request("POST", "/api/stop", {{"Origin", "http://evil.example"}}, "{}"), 403},
        {request("POST", "/api/stop", {{"Origin", "http://127.0.0.1:4321.evil.example"}}), 403},
        {request("GET", "/api/state", {{"Sec-Fetch-Site", "cross-site"}}), 403},
        {{"POST", "/api/stop", {{"Host", "127.0.0.1:4321"}, {"Content-Type", "text/plain"}}, ""},
         415},
        {{"POST", "/api/stop", {{"Host", "127.0.0.1:4321"}}, ""}, 415},
        // Methods, sizes, malformed paths.
        {request("PUT", "/api/state"), 405},
        {request("OPTIONS", "/api/click"), 405},
        {request("POST", "/api/set", {}, big), 413},
        {request("GET", long_path), 414},
        {request("GET", "/api/state", many), 431},
        {request("GET", "/files/a%00.bmp"), 400},
        {request("GET", "/files/a%2"), 400},
        {request("GET", "/files/a%zz"), 400},
        {request("GET", "relative"), 400},
    };
    for (const auto& c : cases) {
        std::string why;
        EXPECT_EQ(refusal(c.request, PORT, why), c.status)
            << c.request.method << " " << c.request.target << " " << why;
        Recorder actions;
        const HttpReply reply = handle_request(c.request, PORT, actions);
        if (c.status) {
            EXPECT_EQ(reply.status, c.status);
            EXPECT_TRUE(actions.calls.empty()) << actions.calls[0];
            EXPECT_NE(reply.body.find("\"error\""), std::string::npos);
        }
    }
}

TEST(ServeRequests, OnlyPlainPathsUnderTheRootAreServed) {
    const struct {
        const char* path;
        bool safe;
    } cases[] = {
        {"panel/back.bmp", true},    {"Aircraft/My Plane/panel/b.bmp", true},
        {"../secret", false},        {"panel/../../etc/passwd", false},
        {"/etc/passwd", false},      {"C:/Windows/win.ini", false},
        {"panel\\..\\x.bmp", false}, {"./panel/back.bmp", false},
        {"panel//back.bmp", false},  {"", false},
        {"panel/..", false},         {"c:x.bmp", false},
    };
    for (const auto& c : cases) {
        std::string why;
        EXPECT_EQ(safe_relative_path(c.path, why), c.safe) << c.path;
    }
    // Escaped, as a browser or an attacker sends them: decoded first, then refused.
    for (const char* target : {"/files/..%2fsecret", "/files/%2e%2e/secret", "/files/a%5c..%5cb",
                               "/files/C%3a/x", "/files/%2fetc/passwd"}) {
        Recorder actions;
        const HttpReply reply = handle_request(request("GET", target), PORT, actions);
        EXPECT_EQ(reply.status, 403) << target;
        EXPECT_TRUE(actions.calls.empty()) << target;
    }
    Recorder actions;
    EXPECT_EQ(handle_request(request("GET", "/files/panel/back.bmp"), PORT, actions).status, 200);
    EXPECT_EQ(handle_request(request("GET", "/files/panel/other.bmp"), PORT, actions).status, 404);
}

TEST(ServeRequests, ActionsReachThePanelWithWhatThePageSent) {
    const struct {
        const char* path;
        const char* body;
        int status;
        const char* call;  // "" when none is made
    } cases[] = {
        {"/api/click", R"({"gauge":"demo!warn","area":"1"})", 200, "click demo!warn 1"},
        {"/api/click", R"({"gauge":"demo!warn","area":2})", 200, "click demo!warn 2"},
        {"/api/click", R"({"gauge":"demo!warn","area":"9"})", 422, "click demo!warn 9"},
        {"/api/click", R"({"gauge":"demo!warn"})", 400, ""},
        {"/api/set", R"({"variable":"A:STALL WARNING,bool","value":true})", 200,
         "set A:STALL WARNING,bool 1.000000"},
        {"/api/set", R"({"variable":"L:X","value":"2.5"})", 200, "set L:X 2.500000"},
        {"/api/set", R"({"variable":"L:X","value":"0x10"})", 400, ""},
        {"/api/set", R"({"variable":"L:X","value":[1]})", 400, ""},
        {"/api/flight", R"({"action":"seek","position":4.5})", 200, "flight seek 4.500000"},
        {"/api/flight", R"({"action":"seek"})", 400, ""},
        {"/api/flight", R"({"action":"pause"})", 200, "flight pause 0.000000"},
        {"/api/stop", "", 200, "stop"},
        {"/api/set", "{not json", 400, ""},
        {"/api/set", "[1,2]", 400, ""},
        {"/api/nothing", "{}", 404, ""},
    };
    for (const auto& c : cases) {
        Recorder actions;
        const HttpReply reply = handle_request(request("POST", c.path, {}, c.body), PORT, actions);
        EXPECT_EQ(reply.status, c.status) << c.path << " " << c.body << " " << reply.body;
        if (*c.call) {
            ASSERT_EQ(actions.calls.size(), 1u) << c.body;
            EXPECT_EQ(actions.calls[0], c.call);
        } else {
            EXPECT_TRUE(actions.calls.empty()) << c.body;
        }
    }
    Recorder actions;
    EXPECT_EQ(handle_request(request("GET", "/api/state"), PORT, actions).body, "{\"update\":1}");
    const HttpReply page = handle_request(request("GET", "/"), PORT, actions);
    EXPECT_EQ(page.status, 200);
    EXPECT_EQ(page.type.rfind("text/html", 0), 0u);
    EXPECT_NE(page.body.find("/page.js"), std::string::npos);
    // The page fetches nothing from anywhere else.
    for (const char* file : {"/index.html", "/page.js", "/page.css"}) {
        const HttpReply reply = handle_request(request("GET", file), PORT, actions);
        EXPECT_EQ(reply.status, 200) << file;
        EXPECT_EQ(reply.body.find("http://"), std::string::npos) << file;
        EXPECT_EQ(reply.body.find("https://"), std::string::npos) << file;
    }
    EXPECT_EQ(handle_request(request("GET", "/nothing.js"), PORT, actions).status, 404);
}

class ServeCliTest : public ToolTest {
  protected:
    void SetUp() override {
        ToolTest::SetUp();
        write_file("panel.cfg", "[Window00]\ngauge00=jvb_cuebox2!jvb_cuebox2, 0,0,1,1\n");
    }
};

TEST_F(ServeCliTest, APortInUseIsSaidPlainly) {
    const int held = socket(AF_INET, SOCK_STREAM, 0);
    ASSERT_GE(held, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    ASSERT_EQ(bind(held, reinterpret_cast<sockaddr*>(&address), sizeof address), 0);
    ASSERT_EQ(listen(held, 1), 0);
    socklen_t size = sizeof address;
    getsockname(held, reinterpret_cast<sockaddr*>(&address), &size);
    const std::string port = std::to_string(ntohs(address.sin_port));
    const ToolResult result =
        cuebox({"serve", "--root", root_, "--panel", "panel.cfg", "--silent", "--port", port});
    close(held);
    EXPECT_EQ(result.status, 2);
    EXPECT_NE(result.err.find("port " + port + " on 127.0.0.1 is in use"), std::string::npos)
        << result.err;
    for (const char* wrong : {"0", "65536", "http"}) {
        const ToolResult bad = cuebox({"serve", "--panel", "panel.cfg", "--port", wrong});
        EXPECT_EQ(bad.status, 2) << wrong;
        EXPECT_NE(bad.err.find("--port needs a port number"), std::string::npos) << bad.err;
    }
    EXPECT_NE(cuebox({"serve"}).err.find("serve needs --panel"), std::string::npos);
}

TEST_F(ServeCliTest, CtrlCStopsTheServerAndDisconnectsTheModule) {
    // The server in the background, interrupted once it has said where it listens.
    const std::string out = path("serve.out");
    const std::string script =
        shell_quote(CUEBOX_BINARY) + " serve --root " + shell_quote(root_) +
        " --panel panel.cfg --silent --trace >" + shell_quote(out) + " 2>&1 & pid=$!; " +
        "for i in $(seq 100); do grep -q 'open http' " + shell_quote(out) +
        " && break; sleep 0.1; done; sleep 0.3; kill -INT $pid; wait $pid; echo status=$?";
    std::FILE* shell = popen(script.c_str(), "r");
    ASSERT_NE(shell, nullptr);
    char line[256] = "";
    std::string said;
    while (std::fgets(line, sizeof line, shell)) said += line;
    pclose(shell);
    EXPECT_EQ(said, "status=0\n");
    const std::string printed = file_text(out);
    EXPECT_NE(printed.find("open http://127.0.0.1:"), std::string::npos) << printed;
    EXPECT_NE(printed.find("\"event\":\"read\""), std::string::npos) << printed;
    EXPECT_NE(printed.find("stopped; the module is disconnected"), std::string::npos) << printed;
}

// A connection to the server on 127.0.0.1; -1 when it cannot be made.
int connect_to(int port) {
    const int sock = socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_port = htons(static_cast<uint16_t>(port));
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    if (sock >= 0 && connect(sock, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0)
        return sock;
    if (sock >= 0) close(sock);
    return -1;
}

// What the connection receives until `wanted` has come or `seconds` have passed.
std::string received(int sock, const std::string& wanted, double seconds) {
    std::string got;
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::duration<double>(seconds);
    while (got.find(wanted) == std::string::npos && std::chrono::steady_clock::now() < deadline) {
        pollfd ready{sock, POLLIN, 0};
        if (poll(&ready, 1, 50) <= 0) continue;
        char buffer[4096];
        const ssize_t n = recv(sock, buffer, sizeof buffer, 0);
        if (n <= 0) break;
        got.append(buffer, static_cast<size_t>(n));
    }
    return got;
}

TEST_F(ServeCliTest, TheStateStillArrivesBesideABrowsersIdleConnections) {
    const std::string out = path("serve.out");
    const std::string binary = CUEBOX_BINARY;
    std::vector<std::string> words = {binary,    "serve",     "--root",  root_,
                                      "--panel", "panel.cfg", "--silent"};
    std::vector<char*> argv;
    for (std::string& word : words) argv.push_back(&word[0]);
    argv.push_back(nullptr);
    posix_spawn_file_actions_t files;
    posix_spawn_file_actions_init(&files);
    posix_spawn_file_actions_addopen(&files, 1, out.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    posix_spawn_file_actions_adddup2(&files, 1, 2);
    pid_t server = 0;
    ASSERT_EQ(posix_spawn(&server, binary.c_str(), &files, nullptr, argv.data(), environ), 0);
    posix_spawn_file_actions_destroy(&files);
    std::smatch found;
    std::string said;
    for (int i = 0; i < 100; ++i) {
        said = file_text(out);
        if (std::regex_search(said, found, std::regex("127\\.0\\.0\\.1:(\\d+)/"))) break;
        std::this_thread::sleep_for(std::chrono::milliseconds(100));
    }
    ASSERT_FALSE(found.empty()) << said;
    const int port = std::stoi(found[1]);
    const std::string host = "Host: 127.0.0.1:" + std::to_string(port) + "\r\n";

    // A browser's connections after loading the page: each asked once and is kept open, idle.
    std::vector<int> idle;
    for (int i = 0; i < 12; ++i) {
        idle.push_back(connect_to(port));
        ASSERT_GE(idle.back(), 0);
        const std::string ask = "GET /page.css HTTP/1.1\r\n" + host + "\r\n";
        ASSERT_EQ(send(idle.back(), ask.data(), ask.size(), 0), static_cast<ssize_t>(ask.size()));
    }
    // The event stream and a request of the page's are answered at once, not after the idle
    // connections time out (the state comes 18 times a second): within a second, which is
    // less than the time an idle connection is kept.
    const int stream = connect_to(port);
    const std::string events = "GET /api/events HTTP/1.1\r\n" + host + "\r\n";
    send(stream, events.data(), events.size(), 0);
    EXPECT_NE(received(stream, "data: {", 1.0).find("data: {"), std::string::npos);
    const int asked = connect_to(port);
    const std::string state = "GET /api/state HTTP/1.1\r\n" + host + "Connection: close\r\n\r\n";
    send(asked, state.data(), state.size(), 0);
    EXPECT_NE(received(asked, "\"update\"", 1.0).find("\"update\""), std::string::npos);

    for (int sock : idle) close(sock);
    close(stream);
    close(asked);
    kill(server, SIGINT);
    int status = 0;
    waitpid(server, &status, 0);
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << file_text(out);
}

}  // namespace
