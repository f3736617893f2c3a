// A fresh module in a fresh simulator root for every test: the module file is copied to a
// name of its own, so the host loads a new instance with all its state at the start, as a
// simulator that starts anew would.
#pragma once

#include <gtest/gtest.h>
#include <unistd.h>

#include <cmath>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <memory>
#include <string>

#include "host/panel_host.h"
#include "host/trace.h"
#include "platform/standin.h"
#include "support/tones.h"

class ModuleTest : public ::testing::Test {
protected:
    void SetUp() override {
        previous_ = std::filesystem::current_path();
        char pattern[] = "/tmp/cuebox-e2e-XXXXXX";
        ASSERT_NE(mkdtemp(pattern), nullptr);
        root_ = pattern;
        std::filesystem::current_path(root_);
        const std::string module = root_ + "/instance.gau";
        std::filesystem::copy_file(CUEBOX_MODULE_FILE, module);
        standin_set_output(STANDIN_OUTPUT_NONE, nullptr);
        standin_reset_counts();
        standin_fail_restore(0, 0);
        standin_fail_device_create(0);
        standin_fail_buffer_create(0);
        host_ = std::make_unique<PanelHost>();
        std::string error;
        ASSERT_TRUE(host_->load(module, error)) << error;
        trace_ = std::make_unique<TraceRecorder>(*host_);
    }

    void TearDown() override {
        // A simulator disconnects its panels before it unloads their modules; the module's
        // tables, made at load, go back then.
        if (host_ && host_->linkage()) {
            if (host_->gauge_count() == 0) host_->add_gauge("");
            host_->disconnect();
        }
        trace_.reset();
        host_.reset();
        standin_finish_output();
        std::filesystem::current_path(previous_);
        std::filesystem::remove_all(root_);
    }

    // Files in the simulator root.
    void write_file(const std::string& path, const std::string& text) {
        std::filesystem::create_directories(std::filesystem::path(root_ + "/" + path).parent_path());
        std::ofstream(root_ + "/" + path, std::ios::binary) << text;
    }
    std::string read_file(const std::string& path) const {
        std::ifstream in(root_ + "/" + path, std::ios::binary);
        return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
    }
    void write_tone(const std::string& path, double frequency, double seconds = 0.5,
                    uint32_t rate = 22050, uint16_t channels = 1, uint16_t bits = 16) {
        std::filesystem::create_directories(std::filesystem::path(root_ + "/" + path).parent_path());
        ASSERT_TRUE(tones::write_tone(root_ + "/" + path, frequency, seconds, rate, channels, bits));
    }
    // The default sound file of a slot, holding a tone of its own.
    static double slot_frequency(int slot) { return 300.0 + 50.0 * slot; }
    void default_slot_tone(int slot, double seconds = 0.5) {
        char name[64];
        std::snprintf(name, sizeof name, "Sound/jvb/jvb_xml_%02d.wav", slot);
        write_tone(name, slot_frequency(slot), seconds);
    }

    // The panel: one gauge instance, connected, configured and past the first idle read.
    void start_panel(const char* parameters = "") {
        host_->add_gauge(parameters);
        host_->connect();
        update(2);
    }
    void update(int count = 1) {
        for (int i = 0; i < count; ++i) {
            trace_->next_update();
            host_->pre_update();
            standin_advance_time(1.0 / 18.0);
            trace_->advance(1.0 / 18.0);
        }
    }
    void wait(double seconds) { update(static_cast<int>(std::lround(seconds * 18.0))); }
    void write(double value, const std::string& name = "jvb_cuebox_id") {
        host_->set_variable(name, value);
    }
    // Writes a command and lets one update handle it.
    void command(double value) {
        write(value);
        update();
    }
    double value(const std::string& name = "jvb_cuebox_id") { return host_->variable(name); }

    // Events of one kind since the start, optionally only those with a field value.
    std::vector<TraceEvent> events(const std::string& kind, const std::string& field = "",
                                   const std::string& equals = "") const {
        std::vector<TraceEvent> found;
        for (const TraceEvent& e : trace_->events()) {
            if (e.event != kind) continue;
            if (!field.empty() && trace_field(e, field) != equals) continue;
            found.push_back(e);
        }
        return found;
    }
    size_t count(const std::string& kind) const { return events(kind).size(); }

    std::string root_;
    std::filesystem::path previous_;
    std::unique_ptr<PanelHost> host_;
    std::unique_ptr<TraceRecorder> trace_;
};
