// Test helper: a folder that belongs to the running test alone, under the temporary folder,
// removed with the files made in it when the test ends. ctest runs every case as a process of
// its own, several at once, and the native and sanitize builds (and other checkouts on the same
// machine) may run theirs side by side, so any fixed name, in the current folder or the
// temporary one, would be written and deleted by several of them at once. Only GoogleTest and
// the C library, so the tests built for Windows and run under Wine use it as well.
#pragma once

#include <gtest/gtest.h>

#include <cctype>
#include <cstdio>
#include <string>
#include <vector>

#include "support/temp_folder.h"

#if defined(_WIN32)
#include <direct.h>
#include <process.h>
#else
#include <sys/stat.h>
#include <unistd.h>
#endif

class TestFolder {
  public:
    // Named after the test (suite, case and parameter) and the process, which is what makes
    // it unique among the runs going on at the same time.
    TestFolder() {
        const ::testing::TestInfo* test = ::testing::UnitTest::GetInstance()->current_test_info();
        std::string name = "cuebox_";
        name += test ? std::string(test->test_suite_name()) + "." + test->name() : "no_test";
        for (char& c : name) {
            if (!std::isalnum(static_cast<unsigned char>(c)) && c != '.' && c != '_') c = '_';
        }
#if defined(_WIN32)
        path_ = test_folder::temporary() + name + "_" + std::to_string(_getpid());
        made_ = _mkdir(path_.c_str()) == 0;
#else
        path_ = test_folder::temporary() + name + "_" + std::to_string(::getpid());
        made_ = ::mkdir(path_.c_str(), 0755) == 0;
#endif
        path_ += "/";
    }
    ~TestFolder() {
        for (const std::string& file : files_) std::remove(file.c_str());
        if (!made_) return;
        const std::string folder = path_.substr(0, path_.size() - 1);
#if defined(_WIN32)
        _rmdir(folder.c_str());
#else
        ::rmdir(folder.c_str());
#endif
    }
    TestFolder(const TestFolder&) = delete;
    TestFolder& operator=(const TestFolder&) = delete;

    // False when the folder could not be made (tests assert on it before using it).
    bool ok() const {
        return made_;
    }
    // The folder, with a separator at the end.
    const std::string& path() const {
        return path_;
    }
    // A file in the folder, removed at the end whether or not the test makes it.
    std::string file(const std::string& name) {
        files_.push_back(path_ + name);
        return files_.back();
    }

  private:
    std::string path_;
    std::vector<std::string> files_;
    bool made_ = false;
};
