// check's two outputs: the report for scripts (--json) and the one for the author's eyes.
#include "tools/check_output.h"

#include <algorithm>
#include <cstdio>
#include <string>
#include <vector>

#include "host/result_text.h"
#include "host/trace.h"
#include "platform/result_hex.h"
#include "tools/cli.h"

namespace {

using Json = nlohmann::ordered_json;

Json json_line(int line) {
    return line > 0 ? Json(line) : Json(nullptr);
}

Json json_problems(const std::vector<Problem>& list, const IniFacts& ini) {
    Json out = Json::array();
    for (const Problem& p : list) {
        const std::string file = !p.file.empty() ? p.file : p.line > 0 ? shown(ini.path) : "";
        out.push_back({{"kind", p.kind},
                       {"slot", p.slot >= 0 ? Json(p.slot) : Json(nullptr)},
                       {"file", file.empty() ? Json(nullptr) : Json(file)},
                       {"line", json_line(p.line)},
                       {"message", p.message}});
    }
    return out;
}

// Whether the file a path resolved to says more than the path itself: on Windows the system
// resolves it, so it is the path; elsewhere when our resolution changed more than the Unix
// spelling of the separators.
bool resolution_says_more(std::string path, const std::string& resolved) {
#if !defined(_WIN32)
    for (char& c : path) {
        if (c == '\\') c = '/';
    }
    while (path.compare(0, 2, "./") == 0) path.erase(0, 2);
#endif
    return path != resolved;
}

}  // namespace

void print_json(const std::string& root, const ConfigurationView& view, const IniFacts& ini,
                const DeviceProbe& device, const std::vector<SlotReport>& slots,
                const Findings& findings) {
    Json out;
    out["root"] = root;
    out["ini"] = {{"path", ini.path.empty() ? Json(nullptr) : Json(shown(ini.path))},
                  {"named_by", ini.named ? "parameter" : "default"},
                  {"resolved", ini.found ? Json(ini.resolved) : Json(nullptr)},
                  {"found", ini.found},
                  {"readable", ini.readable},
                  {"encoding", ini.readable ? Json(ini.encoding) : Json(nullptr)}};
    out["code_page"] = tool_code_page();
    out["variable"] = {{"name", shown(view.variable_name)},
                       {"source", ini.lines.variable_line ? "ini" : "default"},
                       {"line", json_line(ini.lines.variable_line)}};
    out["device"] = {{"available", device.device != nullptr},
                     {"result", result_hex(device.result)}};
    Json& list = out["slots"] = Json::array();
    for (const SlotReport& r : slots) {
        Json slot = {
            {"slot", r.slot},
            {"key", "Sound" + two_digits(r.slot)},
            {"path", shown(r.path)},
            {"source", r.from_ini ? "ini" : "default"},
            {"line", json_line(r.line)},
            {"exists", r.exists},
            {"folder", r.folder},
            {"special", r.special},
            {"resolved", r.exists || r.folder || r.special ? Json(r.resolved) : Json(nullptr)}};
        if (!r.exists) {
            slot["reader"] = nullptr;
        } else {
            slot["reader"] = {
                {"accepted", r.accepted},
                {"result", result_hex(r.reader_result)},
                {"reason", r.accepted ? Json(nullptr) : Json(r.diagnosis.reason)},
                {"detail", r.accepted ? Json(nullptr) : Json(r.diagnosis.detail)},
                {"declared_bytes", r.header_read ? Json(r.declared_bytes) : Json(nullptr)},
                {"missing_bytes", missing_bytes(r)}};
        }
        if (r.has_format) {
            // WAVEFORMATEX is packed: its fields are copied out, never bound by reference.
            const WAVEFORMATEX& f = r.format;
            slot["format"] = {{"tag", unsigned{f.wFormatTag}},
                              {"channels", unsigned{f.nChannels}},
                              {"rate", static_cast<unsigned long>(f.nSamplesPerSec)},
                              {"bits", unsigned{f.wBitsPerSample}},
                              {"block_align", unsigned{f.nBlockAlign}},
                              {"bytes_per_second", static_cast<unsigned long>(f.nAvgBytesPerSec)}};
        } else {
            slot["format"] = nullptr;
        }
        slot["data_bytes"] = r.header_read ? Json(r.data_bytes) : Json(nullptr);
        slot["duration"] = r.duration >= 0 ? json_number(r.duration) : Json(nullptr);
        if (r.device_tried) {
            slot["device"] = {{"accepted", SUCCEEDED(r.device_result) != 0},
                              {"result", result_hex(r.device_result)}};
        } else {
            slot["device"] = nullptr;
        }
        slot["plays"] = r.plays;
        list.push_back(std::move(slot));
    }
    out["problems"] = json_problems(findings.problems, ini);
    out["warnings"] = json_problems(findings.warnings, ini);
    out["notes"] = findings.notes;
    out["ok"] = findings.problems.empty();
    std::fputs((json_text(out, 2) + "\n").c_str(), stdout);
}

void print_readable(const std::string& root, const ConfigurationView& view, const IniFacts& ini,
                    const DeviceProbe& device, const std::vector<SlotReport>& slots, bool all,
                    const Findings& findings) {
    std::string text;
    append_format(text, "root       %s\n", root.c_str());
    if (ini.path.empty()) {
        append_format(text, "INI file   none\n");
    } else {
        const bool arrow = ini.found && resolution_says_more(ini.path, ini.resolved);
        append_format(text, "INI file   %s (%s)%s%s\n", shown(ini.path).c_str(),
                      ini.named ? "parameter string" : "default",
                      !ini.found ? ": not found"
                      : arrow    ? " -> "
                                 : "",
                      arrow ? ini.resolved.c_str() : "");
    }
    append_format(text, "variable   %s (%s)\n", shown(view.variable_name).c_str(),
                  ini.lines.variable_line
                      ? ("LVar, line " + std::to_string(ini.lines.variable_line)).c_str()
                      : "default");
    append_format(text, "device     %s\n\n",
                  device.device ? "ready" : "none (see the problems below)");
    auto shown_slot = [all](const SlotReport& r) {
        return all || r.from_ini || r.exists || r.folder || r.special;
    };
    // The columns are as wide as their widest entry, so long format names keep them in line.
    int format_width = 6, verdict_width = 7;
    for (const SlotReport& r : slots) {
        if (!shown_slot(r)) continue;
        format_width = std::max(format_width, static_cast<int>(format_text(r).size()));
        verdict_width = std::max(verdict_width, static_cast<int>(verdict_text(r).size()));
    }
    append_format(text, "slot  from     %-*s  length   %-*s  path\n", format_width, "format",
                  verdict_width, "verdict");
    int listed = 0;
    for (const SlotReport& r : slots) {
        if (!shown_slot(r)) continue;
        ++listed;
        char length[16] = "-";
        if (r.duration >= 0) std::snprintf(length, sizeof length, "%.2f s", r.duration);
        std::string path = shown(r.path);
        if ((r.exists || r.folder || r.special) && resolution_says_more(r.path, r.resolved))
            path += " -> " + r.resolved;
        append_format(text, "  %02d  %-7s  %-*s  %-7s  %-*s  %s\n", r.slot,
                      r.from_ini ? "ini" : "default", format_width, format_text(r).c_str(), length,
                      verdict_width, verdict_text(r).c_str(), path.c_str());
    }
    if (!listed)
        append_format(text, "  (no slot is configured and no default sound file exists)\n");
    auto print_list = [&text](const char* title, const std::vector<Problem>& list) {
        if (list.empty()) return;
        append_format(text, "\n%s (%zu):\n", title, list.size());
        for (const Problem& p : list) {
            const std::string where =
                p.line && p.file.empty() ? "line " + std::to_string(p.line) + ": " : "";
            append_format(text, "  %s%s\n", where.c_str(), p.message.c_str());
        }
    };
    print_list("problems", findings.problems);
    print_list("warnings", findings.warnings);
    if (!findings.notes.empty()) {
        append_format(text, "\nnotes:\n");
        for (const std::string& note : findings.notes) append_format(text, "  %s\n", note.c_str());
    }
    int configured = 0, playing = 0;
    for (const SlotReport& r : slots) {
        if (r.from_ini || r.exists) ++configured;
        if (r.plays) ++playing;
    }
    std::string summary = findings.problems.empty()
                              ? "no problems found"
                              : std::to_string(findings.problems.size()) + " problem(s) found";
    if (!findings.warnings.empty())
        summary += ", " + std::to_string(findings.warnings.size()) + " warning(s)";
    append_format(text, "\n%d of %d slots in use would play; %s\n", playing, configured,
                  summary.c_str());
    print_text(text);
}
