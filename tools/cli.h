// The command line of `cuebox`: its options, and the commands that the host program offers.
#pragma once

#include <memory>
#include <string>
#include <vector>

#include "host/panel_host.h"
#include "host/trace.h"

struct CliOptions {
    std::string command = "show";  // show, run, check, console, serve
    std::vector<std::string> arguments;
    std::string root;    // the simulator root; "" keeps the current folder
    std::string module;  // the module file; "" finds the one beside cuebox or built
    bool has_param = false;
    std::string param;  // the gauge's parameter string
    // Windows plays on the sound card unless told otherwise, as the simulator would; Linux
    // mixes offline, so that a run takes no longer than the machine needs.
#if defined(_WIN32)
    SoundOutput output = SoundOutput::LIVE;
#else
    SoundOutput output = SoundOutput::NONE;
#endif
    bool output_chosen = false;  // --out, --live or --silent given
    std::string out_path;
    bool trace = false;
    std::string timeline;  // SVG file for `run --timeline`
    bool json = false;     // check --json
    bool all = false;      // check --all
    std::string panel;     // run, check: the panel.cfg, relative to the root
    std::string vars;      // run: the --vars timeline (CSV)
    int port = 0;          // serve --port; 0: a free one
    int code_page = 0;     // --codepage, else CUEBOX_CODEPAGE, else 1252 (0: not parsed yet)
};

// The exit status of a run or a console that went on without the sound asked for: the module
// could not start its device, and nothing said --silent.
constexpr int NO_SOUND_STATUS = 3;
bool sound_was_lost(const std::vector<TraceEvent>& events, const CliOptions& options);

// Parses argv; on a usage error returns false with a one-line message in `error`.
bool parse_command_line(int argc, char** argv, CliOptions& options, std::string& error);

// The ANSI code page chosen for this run: the one the platform layer reads the module's names
// in, and the one the tools show them in.
void use_code_page(int code_page);
int tool_code_page();
// A path of this system as the tools open it (ANSI on Windows, the UTF-8 name on disk
// elsewhere), as UTF-8 for people: "looked for" shows the name as it was looked for.
std::string shown_file_path(const std::string& path);
// A file in a folder, joined as the system writes paths ("C:\\windows\\my.ini" on Windows), for
// the paths the tools make themselves and print.
std::string path_in(const std::string& folder, const std::string& name);
// ANSI text as the module reads it (an INI value, a path), as UTF-8 for people and JSON.
std::string shown(const std::string& ansi);
// Appends printf-style text to `out` (MinGW's C99 printf when on Windows, as std::printf there).
#if defined(__MINGW_PRINTF_FORMAT)
#define CUEBOX_PRINTF_FORMAT __MINGW_PRINTF_FORMAT
#else
#define CUEBOX_PRINTF_FORMAT printf
#endif
void append_format(std::string& out, const char* format, ...)
    __attribute__((format(CUEBOX_PRINTF_FORMAT, 2, 3)));
// Prints text that holds names from files: any byte that is not UTF-8 shows as U+FFFD, so a
// terminal and grep always get valid text.
void print_text(const std::string& text);

// The module file to load when none is named.
std::string default_module_path(const char* argv0);

// Each command returns the process's exit status.
int command_show(const CliOptions& options);
int command_run(const CliOptions& options);
int command_check(const CliOptions& options);
int command_console(const CliOptions& options);
int command_serve(const CliOptions& options);

// Makes the files named on the command line absolute, before a command enters the root.
void make_paths_absolute(CliOptions& options);

// The panel of a command line (--panel, --vars): loaded from the root (the current folder by
// now), its problems and notes printed, the module's instances added to `host`. Null, after
// printing why, when the panel file or the timeline cannot be read.
class PanelSession;
std::unique_ptr<PanelSession> open_panel_session(const CliOptions& options, PanelHost& host);

// Sets up a host for a command: enters the root, chooses the sound output, loads the module
// and adds the gauge instance (with --panel, the panel adds its own). Prints a one-line error
// and returns false when it cannot.
bool open_host(const CliOptions& options, PanelHost& host);

constexpr const char* USAGE =
    "usage: cuebox [options] show | run SCENARIO... | check | console | serve\n"
    "  show             the variable and the file of every slot, as the module reads them\n"
    "  run SCENARIO     play a scenario (connect, set, click, wait...) through the module\n"
    "  check            what each slot will do, and what is wrong with the sound set\n"
    "  console          type commands as a gauge would write them\n"
    "  serve            your panel (--panel) in the browser: see, click, hear it live\n"
    "  --root DIR       simulator root folder (default: the current folder)\n"
    "  --param STRING   the gauge's parameter string (an INI file path)\n"
    "  --module FILE    the gauge module (default: jvb_cuebox2.gau beside cuebox, or built)\n"
    "  --out FILE.wav   render the sound into a WAV file, as fast as the machine allows\n"
    "  --live           play on the default sound device, in real time (Windows: default;\n"
    "                   serve's default)\n"
    "  --silent         no sound, as fast as the machine allows (Linux: the default)\n"
    "  --port N         serve: listen on 127.0.0.1:N (default: a free port)\n"
    "  --trace          run: one JSON object per event\n"
    "  --timeline F.svg run: draw the slots and the sound on one time axis\n"
    "  --json, --all    check: everything as JSON / list all 100 slots\n"
    "  --panel FILE     run, check, serve: your panel.cfg (relative to the root); its XML\n"
    "                   gauges run beside the module, whose line gives the parameter string\n"
    "  --vars FILE.csv  run --panel: a timeline of variables (time,A:NAME,UNIT,...)\n"
    "  --codepage N     the ANSI code page Windows would use: 874, 1250 to 1258 (default:\n"
    "                   CUEBOX_CODEPAGE from the environment, else 1252)\n"
    "  --version        the version, and the module cuebox loads\n"
    "docs/tools.md says more; on Windows, quote paths with double quotes, not single ones.\n";
