// Command-line parsing and the shared set-up of the host commands.
#include "tools/cli.h"

#include <sys/stat.h>
#include <unistd.h>

#include <cstdarg>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "platform/codepage.h"
#include "platform/win32.h"
#include "tools/configuration_view.h"
#if !defined(_WIN32)
#include "platform/standin.h"
#endif

namespace {
int chosen_code_page = codepage::DEFAULT_CODE_PAGE;
}  // namespace

void use_code_page(int code_page) {
    chosen_code_page = code_page;
#if !defined(_WIN32)
    standin_set_codepage(code_page);
#endif
}

int tool_code_page() {
    return chosen_code_page;
}

std::string shown(const std::string& ansi) {
    return codepage::to_utf8(chosen_code_page, ansi);
}

std::string shown_file_path(const std::string& path) {
#if defined(_WIN32)
    // Windows' A functions take and give paths in the ANSI code page.
    return shown(path);
#else
    // Our platform layer finds files by their UTF-8 names on disk.
    return path;
#endif
}

void append_format(std::string& out, const char* format, ...) {
    va_list args;
    va_start(args, format);
    va_list again;
    va_copy(again, args);
    const int size = std::vsnprintf(nullptr, 0, format, args);
    va_end(args);
    if (size > 0) {
        const size_t at = out.size();
        out.resize(at + static_cast<size_t>(size) + 1);
        std::vsnprintf(&out[at], static_cast<size_t>(size) + 1, format, again);
        out.resize(at + static_cast<size_t>(size));
    }
    va_end(again);
}

void print_text(const std::string& text) {
    std::fputs(codepage::valid_utf8_text(text).c_str(), stdout);
}

namespace {

// Why `argument` cannot be what its author meant because of the shell's quoting, or "". cmd.exe
// passes single quotes on as part of the argument (only PowerShell and Unix shells remove them),
// and in cmd.exe a backslash before a closing double quote keeps that quote in the argument.
std::string quoting_mistake(const std::string& argument) {
    if (argument.size() >= 2 && argument.front() == '\'' && argument.back() == '\'')
        return argument +
               ": the single quotes are part of the argument (cmd.exe keeps them): leave them "
               "out, or use double quotes, \"" +
               argument.substr(1, argument.size() - 2) + "\"";
    if (argument.find('"') != std::string::npos)
        return argument +
               ": a double quote is part of the argument: in cmd.exe a backslash before the "
               "closing quote keeps it (write \"folder\\\\\" or drop the last backslash)";
    return "";
}

// cmd.exe splits an argument at its spaces unless it stands in double quotes. Single quotes
// around a path with spaces therefore give two or more arguments, the first opening a quote
// that a later one closes: the words from `first` on, as the author meant them, or "".
std::string single_quoted_split(int argc, char** argv, int first) {
    const std::string opening = argv[first];
    if (opening.size() < 2 || opening.front() != '\'' || opening.back() == '\'') return "";
    std::string joined = opening.substr(1);
    for (int i = first + 1; i < argc; ++i) {
        const std::string word = argv[i];
        joined += " " + word;
        if (!word.empty() && word.back() == '\'') return joined.substr(0, joined.size() - 1);
    }
    return "";
}

std::string split_message(const std::string& option, const std::string& first,
                          const std::string& joined) {
    return (option.empty() ? "" : option + " ") + first +
           ": a path with spaces was split at them (cmd.exe splits every argument that is not in "
           "double quotes" +
           (first[0] == '\'' ? ", and keeps single quotes" : "") + "): write " +
           (option.empty() ? "" : option + " ") + "\"" + joined + "\"";
}

bool is_command(const std::string& word) {
    return word == "show" || word == "run" || word == "check" || word == "console" ||
           word == "serve";
}

bool exists(const std::string& path) {
    struct stat info;
    return !path.empty() && stat(path.c_str(), &info) == 0;
}

}  // namespace

bool parse_command_line(int argc, char** argv, CliOptions& options, std::string& error) {
    bool command_seen = false;
    // The words that followed an option's value with no option between: where a value with
    // spaces that the shell split goes on. Only a mistake when nothing takes them otherwise.
    std::string split_option, split_value;
    std::vector<std::string> split_words;
    bool split_command = false;  // one of them stood where the command goes
    bool continuing = false;
    for (int i = 1; i < argc; ++i) {
        const std::string word = argv[i];
        const std::string quoted = single_quoted_split(argc, argv, i);
        if (!quoted.empty()) {
            error = split_message(i > 1 && argv[i - 1][0] == '-' ? argv[i - 1] : "", word, quoted);
            return false;
        }
        error = quoting_mistake(word);
        if (!error.empty()) return false;
        if (!word.empty() && word[0] == '-') continuing = false;
        auto value = [&](std::string& into) {
            if (i + 1 >= argc) {
                error = word + " needs a value";
                return false;
            }
            const std::string quoted = single_quoted_split(argc, argv, i + 1);
            if (!quoted.empty()) {
                error = split_message(word, argv[i + 1], quoted);
                return false;
            }
            into = argv[++i];
            error = quoting_mistake(into);
            if (!error.empty()) {
                error = word + " " + error;
                return false;
            }
            // The first value that went on keeps its words: later options do not hide it.
            if (split_words.empty()) {
                split_option = word;
                split_value = into;
            }
            continuing = split_words.empty();
            return true;
        };
        if (word == "--root") {
            if (!value(options.root)) return false;
        } else if (word == "--module") {
            if (!value(options.module)) return false;
        } else if (word == "--param") {
            if (!value(options.param)) return false;
            options.has_param = true;
        } else if (word == "--out") {
            if (!value(options.out_path)) return false;
            options.output = SoundOutput::FILE;
            options.output_chosen = true;
        } else if (word == "--live") {
            options.output = SoundOutput::LIVE;
            options.output_chosen = true;
        } else if (word == "--silent") {
            options.output = SoundOutput::NONE;
            options.output_chosen = true;
        } else if (word == "--port") {
            std::string text;
            if (!value(text)) return false;
            char* end = nullptr;
            const long port = std::strtol(text.c_str(), &end, 10);
            if (text.empty() || *end != '\0' || port < 1 || port > 65535) {
                error = "--port needs a port number, 1 to 65535";
                return false;
            }
            options.port = static_cast<int>(port);
        } else if (word == "--trace") {
            options.trace = true;
        } else if (word == "--timeline") {
            if (!value(options.timeline)) return false;
        } else if (word == "--json") {
            options.json = true;
        } else if (word == "--all") {
            options.all = true;
        } else if (word == "--panel") {
            if (!value(options.panel)) return false;
        } else if (word == "--vars") {
            if (!value(options.vars)) return false;
        } else if (word == "--codepage") {
            std::string text;
            if (!value(text)) return false;
            std::string why;
            options.code_page = codepage::parse(text, why);
            if (!options.code_page) {
                error = "--codepage: " + why;
                return false;
            }
        } else if (word == "-h" || word == "--help") {
            options.command = "help";
            return true;
        } else if (word == "--version") {
            options.command = "version";
            return true;
        } else if (word.size() > 1 && word[0] == '-') {
            error = "unknown option " + word;
            return false;
        } else if (continuing && !command_seen && !is_command(word)) {
            // Where the command goes, a word that is none: the rest of a split value.
            split_words.push_back(word);
            split_command = true;
        } else {
            if (continuing && command_seen) split_words.push_back(word);
            continuing = continuing && command_seen;
            if (!command_seen) {
                options.command = word;
                command_seen = true;
            } else {
                options.arguments.push_back(word);
            }
        }
    }
    // A value split at its spaces: words that no command takes (where the command goes, or
    // files for a command that takes none), or a run's files that do not exist where the value
    // with some of them is a path that does. The message names the longest such path.
    if (!split_words.empty()) {
        std::string joined = split_value, existing;
        for (const std::string& piece : split_words) {
            joined += " " + piece;
            if (exists(joined)) existing = joined;
        }
        const bool mistake = split_command || options.command != "run" ||
                             (!existing.empty() && !exists(split_value) && !exists(split_words[0]));
        if (mistake) {
            error = split_message(split_option, split_value, existing.empty() ? joined : existing);
            return false;
        }
    }
    if (!options.code_page) {
        const char* text = std::getenv("CUEBOX_CODEPAGE");
        std::string why;
        int fallback = codepage::DEFAULT_CODE_PAGE;
#if defined(_WIN32)
        // On Windows the system's own code page reads the module's names: show them in it.
        if (codepage::supported(static_cast<int>(GetACP()))) fallback = static_cast<int>(GetACP());
#endif
        options.code_page = text && *text ? codepage::parse(text, why) : fallback;
        if (!options.code_page) {
            error = "CUEBOX_CODEPAGE: " + why;
            return false;
        }
    }
    if (options.output == SoundOutput::FILE && options.out_path.empty()) {
        error = "--out needs a file name";
        return false;
    }
    if (!options.panel.empty() && options.has_param) {
        error =
            "--param and --panel: with a panel, the module's line in panel.cfg gives the "
            "parameter string";
        return false;
    }
    if (!options.vars.empty() && options.panel.empty()) {
        error = "--vars needs --panel: the timeline's variables are read by the panel's gauges";
        return false;
    }
    const std::string& c = options.command;
    if (!is_command(c)) {
        error = "unknown command " + c;
        return false;
    }
    if (!options.panel.empty() && c != "run" && c != "check" && c != "serve") {
        error = "--panel goes with run, check and serve";
        return false;
    }
    if (c == "serve" && options.panel.empty()) {
        error = "serve needs --panel: the panel.cfg to show, relative to the root";
        return false;
    }
    if (options.port && c != "serve") {
        error = "--port goes with serve";
        return false;
    }
    // The page is for hearing the panel: sound plays unless asked otherwise.
    if (c == "serve" && !options.output_chosen) options.output = SoundOutput::LIVE;
    if (c == "run" && options.arguments.empty()) {
        error = "run needs a scenario file";
        return false;
    }
    if (c != "run" && !options.arguments.empty()) {
        error = c + " takes no file";
        return false;
    }
    // One sound file or drawing belongs to one scenario, and so does a panel's flight.
    if (options.arguments.size() > 1 && (options.output == SoundOutput::FILE ||
                                         !options.timeline.empty() || !options.panel.empty())) {
        error = "--out, --timeline and --panel take one scenario file";
        return false;
    }
    return true;
}

std::string default_module_path(const char* argv0) {
    std::string beside = argv0 ? argv0 : "";
    const size_t slash = beside.find_last_of("/\\");
    beside = (slash == std::string::npos ? std::string() : beside.substr(0, slash + 1)) +
             "jvb_cuebox2.gau";
    struct stat info;
    if (stat(beside.c_str(), &info) == 0) return beside;
#ifdef CUEBOX_BUILD_MODULE
    return CUEBOX_BUILD_MODULE;
#else
    return beside;
#endif
}

std::string path_in(const std::string& folder, const std::string& name) {
#if defined(_WIN32)
    const char separator = '\\';
#else
    const char separator = '/';
#endif
    if (folder.empty() || folder.back() == '/' || folder.back() == separator) return folder + name;
    return folder + separator + name;
}

void make_paths_absolute(CliOptions& options) {
    char here[4096];
    if (!getcwd(here, sizeof here)) return;
    auto absolute = [&](std::string& path) {
        const bool rooted = !path.empty() && (path[0] == '/' || path[0] == '\\' ||
                                              (path.size() > 1 && path[1] == ':'));
        if (!path.empty() && !rooted) path = path_in(here, path);
    };
    absolute(options.module);
    absolute(options.out_path);
    absolute(options.timeline);
    absolute(options.vars);
    for (std::string& argument : options.arguments) absolute(argument);
}

bool sound_was_lost(const std::vector<TraceEvent>& events, const CliOptions& options) {
    if (options.output == SoundOutput::NONE) return false;
    for (const TraceEvent& event : events) {
        if (event.event == "device" && trace_field(event, "result") != "0") return true;
    }
    return false;
}

bool open_host(const CliOptions& options, PanelHost& host) {
    if (!options.root.empty() && chdir(options.root.c_str()) != 0) {
        std::fprintf(stderr, "cuebox: cannot enter the root folder %s: %s\n", options.root.c_str(),
                     std::strerror(errno));
        return false;
    }
    std::string error;
    if (!choose_sound_output(options.output, options.out_path, error)) {
        std::fprintf(stderr, "cuebox: %s\n", error.c_str());
        return false;
    }
    if (!host.load(options.module, error)) {
        std::fprintf(stderr, "cuebox: %s\n", error.c_str());
        return false;
    }
    // A panel adds the module's instances itself, one per line of panel.cfg.
    if (options.panel.empty()) host.add_gauge(options.has_param ? options.param.c_str() : "");
    return true;
}
