// Which writes of a script wait for the module's idle value, read from the compiled script.
#include "tools/write_gating.h"

#include <gtest/gtest.h>

#include <fstream>
#include <iterator>
#include <map>

#include "control/protocol.h"
#include "panel/panel_runner.h"

namespace {

struct Binding : ScriptHost {
    int bound = 0;
    int bind(const VariableRef&, std::string&) override { return bound++; }
    double read(int) override { return 0; }
    void write(int, double) override {}
};

// A write waits only inside an if{ whose condition compares the written variable with the idle
// value: nested blocks too, not its els{, nor another variable's check, nor a sum with it.
TEST(WriteGatingTest, AWriteWaitsOnlyInsideABlockThatChecksItsVariableForTheIdleValue) {
    const std::string idle = std::to_string(IDLE_COMMAND);
    const struct {
        std::string script;
        std::vector<bool> waits;
    } cases[] = {
        {"(L:want) (L:id) " + idle + " == and if{ 21 (>L:id) (L:x) if{ 22 (>L:id) } }" +
             " els{ 23 (>L:id) }",
         {true, true, false}},
        {"(L:id) " + idle + " == if{ 24 (>L:other) }", {false}},
        {"(L:x) " + idle + " + if{ 25 (>L:id) } 26 (>L:id)", {false, false}},
        {"(L:id) 0 == if{ 27 (>L:id) }", {false}},
        {"(L:ID, number) " + idle + " == if{ 28 (>L:id) } 29 (>L:id)", {true, false}},
        {"(L:id) " + idle + " == if{ 1 if{ 30 (>L:id) } }", {true}},
    };
    for (const auto& c : cases) {
        Binding host;
        Script script;
        ScriptError error;
        ASSERT_TRUE(script.compile(c.script, host, error)) << c.script << ": " << error.message;
        std::vector<bool> waits;
        for (const ScriptWrite& write : script.writes())
            waits.push_back(waits_for_idle(script, write));
        EXPECT_EQ(waits, c.waits) << c.script;
    }
}

struct MemoryFiles : PanelFiles {
    std::map<std::string, std::string> files;
    Result read(const std::string& path, size_t, std::string& bytes) override {
        const auto found = files.find(lower_text(path));
        if (found == files.end()) return MISSING;
        bytes = found->second;
        return READ;
    }
    bool exists(const std::string& path) override { return files.count(lower_text(path)) > 0; }
};

struct Quiet : PanelVariables, PanelListener {
    int bound = 0;
    int bind(const VariableRef&, std::string&) override { return bound++; }
    double read(int) override { return 0; }
    void write(int, double, const ScriptSource&) override {}
    void host_gauge_update(int) override {}
    void script_problem(const ScriptSource&, int, const std::string&, const std::string&) override {
    }
};

// Every command the authors' documentation writes waits for the idle value, so that none of
// the patterns they copy ever loses one.
TEST(WriteGatingTest, EveryCommandOfTheDocumentedExamplesWaits) {
    std::ifstream in(CUEBOX_DOCS_DIR "/xml_gauges.md", std::ios::binary);
    const std::string text((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    int commands = 0;
    for (size_t at = text.find("```xml\n"); at != std::string::npos;
         at = text.find("```xml\n", at + 1)) {
        std::string xml = text.substr(at + 7, text.find("```", at + 7) - at - 7);
        if (xml.compare(0, 6, "<Click") == 0) xml = "<Mouse><Area>" + xml + "</Area></Mouse>";
        if (xml.compare(0, 6, "<Gauge") != 0) xml = "<Gauge>" + xml + "</Gauge>";
        MemoryFiles files;
        files.files["panel.cfg"] = "[Window00]\ngauge00=docs!example,0,0\n";
        files.files["gauges/docs/example.xml"] = xml;
        Quiet quiet;
        PanelRunner runner(load_panel("panel.cfg", files, {}), quiet, quiet);
        for (const PanelRunner::RunningScript& script : runner.scripts()) {
            for (const ScriptWrite& write : script.script.writes()) {
                if (!same_text(write.variable.name, "jvb_cuebox_id")) continue;
                ++commands;
                EXPECT_TRUE(waits_for_idle(script.script, write)) << "line " << write.line << "\n"
                                                                  << xml;
            }
        }
    }
    EXPECT_GE(commands, 6);
}

}  // namespace
