// Test helper for the command-line tools: a scratch simulator root that is removed afterwards,
// and running the `cuebox` program with arguments and standard input, as a user would.
#pragma once

#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "support/file_text.h"
#include "support/riff_builder.h"
#include "support/tones.h"

struct ToolResult {
    int status = -1;
    std::string out;
    std::string err;
};

inline std::string shell_quote(const std::string& word) {
    std::string quoted = "'";
    for (char c : word) quoted += c == '\'' ? std::string("'\\''") : std::string(1, c);
    return quoted + "'";
}

class ToolTest : public ::testing::Test {
  protected:
    void SetUp() override {
        char pattern[] = "/tmp/cuebox-tools-XXXXXX";
        ASSERT_NE(mkdtemp(pattern), nullptr);
        root_ = pattern;
    }
    void TearDown() override { std::filesystem::remove_all(root_); }

    std::string path(const std::string& relative) const { return root_ + "/" + relative; }

    void write_file(const std::string& relative, const std::string& text) {
        std::filesystem::create_directories(std::filesystem::path(path(relative)).parent_path());
        std::ofstream(path(relative), std::ios::binary) << text;
    }
    void write_bytes(const std::string& relative, const riff::Bytes& bytes) {
        write_file(relative, std::string(bytes.begin(), bytes.end()));
    }
    void write_tone(const std::string& relative, double frequency, double seconds,
                    uint32_t rate = 22050, uint16_t channels = 1, uint16_t bits = 16) {
        std::filesystem::create_directories(std::filesystem::path(path(relative)).parent_path());
        ASSERT_TRUE(tones::write_tone(path(relative), frequency, seconds, rate, channels, bits));
    }

    // Runs cuebox with `arguments`, feeding `input` on its standard input.
    ToolResult cuebox(const std::vector<std::string>& arguments, const std::string& input = "") {
        write_file(".input", input);
        std::string command = shell_quote(CUEBOX_BINARY);
        for (const std::string& argument : arguments) command += " " + shell_quote(argument);
        command += " <" + shell_quote(path(".input")) + " 2>" + shell_quote(path(".errors"));
        ToolResult result;
        std::FILE* pipe = popen(command.c_str(), "r");
        if (!pipe) return result;
        char buffer[4096];
        size_t got;
        while ((got = std::fread(buffer, 1, sizeof buffer, pipe)) > 0)
            result.out.append(buffer, got);
        const int status = pclose(pipe);
        result.status = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
        result.err = file_text(path(".errors"));
        return result;
    }

    std::string root_;
};
