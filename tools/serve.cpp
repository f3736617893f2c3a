// `cuebox serve`: the author's panel live in the browser. The panel session runs on this
// thread at the simulator's 18 updates a second; the HTTP server (cpp-httplib) answers on the
// loopback address from its own threads, which only queue what the page asks for (clicks,
// variables, the flight, stop) for the next update and read the state published after each
// one, so the session itself is only ever touched from here. Files the panel is made of are
// watched, and a change reloads the panel as the simulator reloads an aircraft.
#if defined(CUEBOX_NO_SERVE)
#include <cstdio>

#include "tools/cli.h"

int command_serve(const CliOptions&) {
    std::fprintf(stderr,
                 "cuebox: serve is not in this build (its HTTP server needs the threads this "
                 "build's runtime lacks)\n");
    return 2;
}
#else
#include <algorithm>
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <csignal>
#include <cstdio>
#include <deque>
#include <functional>
#include <future>
#include <mutex>
#include <thread>

#if defined(_WIN32)
#include <winsock2.h>
#else
#include <sys/socket.h>
#endif
#include <httplib.h>

#include "host/scenario.h"
#include "panel/text.h"
#include "tools/cli.h"
#include "tools/serve_requests.h"
#include "tools/serve_session.h"

namespace {

// How often the panel's files are looked at for a change.
constexpr double WATCH_SECONDS = 0.5;
// How long a request waits for the update that carries out its action.
constexpr auto ACTION_WAIT = std::chrono::seconds(5);
// A panel's bitmap larger than this is not served.
constexpr size_t PANEL_FILE_LIMIT = 64u << 20;
// The HTTP server serves each connection on a thread of a fixed pool, from its first request
// until it closes, idle keep-alive time (5 seconds by default) included. Its default pool is 8
// threads on two cores: the event stream, a browser's idle connections and those of a second
// tab or of a tool fill it, and the next connection (a click, the stream reconnecting) waits
// in the queue for seconds. So the pool has room for more connections than browsers keep, and
// an idle one is closed sooner.
constexpr size_t SERVER_THREADS = 32;
constexpr time_t KEEP_ALIVE_SECONDS = 2;

std::atomic<bool> stop_requested(false);

extern "C" void on_interrupt(int) {
    stop_requested = true;
}

// What the HTTP threads and the session's thread share.
class Exchange : public ServeActions {
  public:
    using Action = std::function<void(ServeSession&)>;

    // Session side.
    void publish(std::string state) {
        std::lock_guard<std::mutex> lock(mutex_);
        state_ = std::move(state);
        ++published_;
        changed_.notify_all();
    }
    std::deque<Action> take_actions() {
        std::lock_guard<std::mutex> lock(mutex_);
        std::deque<Action> taken;
        taken.swap(actions_);
        return taken;
    }
    void finish() {
        std::lock_guard<std::mutex> lock(mutex_);
        finished_ = true;
        changed_.notify_all();
    }

    // The event stream: waits for a state newer than `seen`; false once the server stops.
    bool next_state(long& seen, std::string& state) {
        std::unique_lock<std::mutex> lock(mutex_);
        changed_.wait_for(lock, std::chrono::seconds(1),
                          [&] { return finished_ || published_ != seen; });
        if (finished_) return false;
        if (published_ == seen) return true;  // nothing new: the stream keeps the line alive
        seen = published_;
        state = state_;
        return true;
    }

    // ServeActions, from the HTTP threads.
    std::string state_json() override {
        std::lock_guard<std::mutex> lock(mutex_);
        return state_;
    }
    bool click(const std::string& gauge, const std::string& area, std::string& why) override {
        return carry_out([=](ServeSession& session,
                             std::string& error) { return session.click(gauge, area, error); },
                         why);
    }
    bool set(const std::string& variable, double value, std::string& why) override {
        return carry_out([=](ServeSession& session,
                             std::string& error) { return session.set(variable, value, error); },
                         why);
    }
    bool flight(const std::string& action, double position, std::string& why) override {
        return carry_out(
            [=](ServeSession& session, std::string& error) {
                if (!session.has_flight()) {
                    error = "there is no --vars flight";
                    return false;
                }
                if (action == "play" || action == "pause") {
                    session.play(action == "play");
                    return true;
                }
                if (action == "restart") return session.seek(0, error);
                if (action == "seek") return session.seek(position, error);
                error = "play, pause, restart or seek";
                return false;
            },
            why);
    }
    void stop() override { stop_requested = true; }
    // Only the bitmaps the panel draws are read, whatever else lies under the root.
    bool panel_file(const std::string& path, std::string& bytes, std::string& type) override {
        DrawnFile drawn;
        {
            std::lock_guard<std::mutex> lock(mutex_);
            const auto found = std::find_if(drawn_.begin(), drawn_.end(), [&](const DrawnFile& f) {
                return same_text(f.path, path);
            });
            if (found == drawn_.end()) return false;
            drawn = *found;
        }
        if (!read_drawn_file(drawn, PANEL_FILE_LIMIT, bytes)) return false;
        type = "image/bmp";
        return true;
    }
    void set_drawn(std::vector<DrawnFile> drawn) {
        std::lock_guard<std::mutex> lock(mutex_);
        drawn_ = std::move(drawn);
    }

  private:
    bool carry_out(std::function<bool(ServeSession&, std::string&)> work, std::string& why) {
        auto result = std::make_shared<std::promise<std::pair<bool, std::string> > >();
        std::future<std::pair<bool, std::string> > done = result->get_future();
        {
            std::lock_guard<std::mutex> lock(mutex_);
            if (finished_) {
                why = "the server is stopping";
                return false;
            }
            actions_.push_back([work, result](ServeSession& session) {
                std::string error;
                const bool ok = work(session, error);
                result->set_value({ok, error});
            });
        }
        if (done.wait_for(ACTION_WAIT) != std::future_status::ready) {
            why = "the panel did not answer in time";
            return false;
        }
        const std::pair<bool, std::string> outcome = done.get();
        why = outcome.second;
        return outcome.first;
    }

    std::mutex mutex_;
    std::condition_variable changed_;
    std::string state_ = "{}";
    long published_ = 0;
    bool finished_ = false;
    std::deque<Action> actions_;
    std::vector<DrawnFile> drawn_;
};

HttpRequest request_of(const httplib::Request& in) {
    HttpRequest request;
    request.method = in.method;
    request.target = in.target;
    for (const auto& field : in.headers) request.headers.emplace_back(field.first, field.second);
    request.body = in.body;
    return request;
}

// Only one process may listen on a port: SO_REUSEPORT (the library's default off Windows)
// would let a second server share it unnoticed.
void listening_socket_options(socket_t sock) {
    int yes = 1;
#if defined(_WIN32)
    setsockopt(sock, SOL_SOCKET, SO_EXCLUSIVEADDRUSE, reinterpret_cast<const char*>(&yes),
               sizeof yes);
#else
    setsockopt(sock, SOL_SOCKET, SO_REUSEADDR, &yes, sizeof yes);
#endif
}

// The session's state with what only the server knows: reloads and their reasons.
std::string state_text(ServeSession& session, const std::string& problem, long reloads) {
    nlohmann::ordered_json state = session.state();
    state["reloads"] = reloads;
    state["problem"] = problem;
    return json_text(state);
}

}  // namespace

int command_serve(const CliOptions& options) {
    ServeSession session(options);
    std::string error;
    if (!session.open(error)) {
        std::fprintf(stderr, "cuebox: %s\n", error.c_str());
        return 2;
    }

    Exchange exchange;
    httplib::Server server;
    server.set_socket_options(listening_socket_options);
    server.set_payload_max_length(REQUEST_BODY_LIMIT);
    server.set_read_timeout(5, 0);
    server.new_task_queue = [] { return new httplib::ThreadPool(SERVER_THREADS); };
    server.set_keep_alive_timeout(KEEP_ALIVE_SECONDS);
    int port = options.port;
    auto answer = [&](const httplib::Request& in, httplib::Response& out) {
        const HttpReply reply = handle_request(request_of(in), port, exchange);
        out.status = reply.status;
        out.set_header("Cache-Control", "no-store");
        out.set_header("X-Content-Type-Options", "nosniff");
        out.set_content(reply.body, reply.type.c_str());
    };
    // The event stream first: routes are tried in the order they are given.
    server.Get("/api/events", [&](const httplib::Request& in, httplib::Response& out) {
        std::string why;
        if (refusal(request_of(in), port, why) != 0) return answer(in, out);
        out.set_header("Cache-Control", "no-store");
        auto seen = std::make_shared<long>(-1);
        out.set_chunked_content_provider(
            "text/event-stream", [&exchange, seen](size_t, httplib::DataSink& sink) {
                std::string state;
                if (!exchange.next_state(*seen, state)) {
                    sink.done();
                    return false;
                }
                const std::string message =
                    state.empty() ? std::string(": idle\n\n") : "data: " + state + "\n\n";
                return sink.write(message.data(), message.size());
            });
    });
    server.Get(".*", answer);
    server.Post(".*", answer);
    // Whatever else a client sends is refused in the same words.
    server.Put(".*", answer);
    server.Delete(".*", answer);
    server.Options(".*", answer);
    server.Patch(".*", answer);

    const char* const address = "127.0.0.1";
    if (port == 0) {
        port = server.bind_to_any_port(address);
        if (port <= 0) {
            std::fprintf(stderr, "cuebox: cannot listen on %s: no free port\n", address);
            return 2;
        }
    } else if (!server.bind_to_port(address, port)) {
        std::fprintf(stderr,
                     "cuebox: port %d on %s is in use (or not ours to take): stop what uses it, "
                     "or choose another with --port N, or leave --port out for a free one\n",
                     port, address);
        return 2;
    }
    exchange.set_drawn(session.drawn_files());
    exchange.publish(state_text(session, "", 0));
    std::thread listener([&] { server.listen_after_bind(); });
    std::printf(
        "cuebox serve: open http://%s:%d/ in your browser; Ctrl+C or the page's Stop "
        "button ends it\n",
        address, port);
    std::fflush(stdout);

    stop_requested = false;
    std::signal(SIGINT, on_interrupt);
    std::signal(SIGTERM, on_interrupt);
    using Clock = std::chrono::steady_clock;
    const auto tick = std::chrono::duration_cast<Clock::duration>(
        std::chrono::duration<double>(SECONDS_PER_UPDATE));
    auto started = Clock::now() - tick;
    auto next_watch = started;
    session.changed_files();
    std::string problem;
    long reloads = 0;
    bool running = true;
    while (!stop_requested) {
        // Each update waits a tick less the time the last one took. The wait is relative: on a
        // loaded virtual machine the clock a process reads can stand still for seconds while
        // the kernel's timers go on, and a wait for a time read from it would hold the panel.
        const auto spent = Clock::now() - started;
        if (spent >= std::chrono::seconds(0) && spent < tick)
            std::this_thread::sleep_for(tick - spent);
        started = Clock::now();
        const auto now = started;
        // What the page asked for is carried out before the update.
        for (Exchange::Action& action : exchange.take_actions()) action(session);
        if (now >= next_watch) {
            next_watch = now + std::chrono::duration_cast<Clock::duration>(
                                   std::chrono::duration<double>(WATCH_SECONDS));
            const std::vector<std::string> changed = session.changed_files();
            if (!changed.empty()) {
                std::string names;
                for (const std::string& name : changed) names += (names.empty() ? "" : ", ") + name;
                std::printf("cuebox serve: %s changed: reloading the panel\n", names.c_str());
                std::fflush(stdout);
                const auto settings = session.author_settings();
                session.close();
                running = session.open(error);
                problem = running ? "" : error;
                if (running) session.restore(settings);
                exchange.set_drawn(session.drawn_files());
                session.changed_files();
                ++reloads;
                if (!running) std::fprintf(stderr, "cuebox: %s\n", error.c_str());
            }
        }
        if (running) session.update();
        exchange.publish(state_text(session, problem, reloads));
    }
    std::signal(SIGINT, SIG_DFL);
    std::signal(SIGTERM, SIG_DFL);
    exchange.finish();
    // Actions still queued are carried out, so that no request waits for an answer in vain.
    for (Exchange::Action& action : exchange.take_actions()) action(session);
    server.stop();
    listener.join();
    session.close();
    finish_sound_output();
    std::printf("cuebox serve: stopped; the module is disconnected\n");
    std::fflush(stdout);
    return 0;
}
#endif
