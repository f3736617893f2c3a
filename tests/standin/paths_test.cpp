// The stand-in's mapping of Windows-style paths to host paths: separators, letter case, drive
// letters, missing files, the Windows folder for profile files, and the file opens that go
// through it (the module's fopen test and mmioOpenA).
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <climits>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "platform/standin.h"
#include "support/no_hang.h"

extern "C" FILE* __wrap_fopen(const char* path, const char* mode);
extern "C" int __wrap_fclose(FILE* file);

namespace {

struct Resolved {
    bool found;
    std::string path;
};

Resolved resolve(const std::string& path) {
    char result[PATH_MAX];
    int found = standin_resolve_path(path.c_str(), result, sizeof result);
    return {found == 1, result};
}

void touch(const std::string& path, const std::string& contents = "x") {
    std::FILE* file = std::fopen(path.c_str(), "wb");
    ASSERT_NE(file, nullptr) << path;
    std::fputs(contents.c_str(), file);
    std::fclose(file);
}

struct TraceLog {
    std::vector<std::string> events;
    static void record(const char* event, const char* fields, void* context) {
        static_cast<TraceLog*>(context)->events.push_back(std::string(event) + " " + fields);
    }
};

// A tree written on Windows, with letter cases that differ from how the module names them:
//   Sound/cockpit/Gear.WAV, Sound/cockpit/flaps.wav, SOUND/, a.wav, A.wav, windows/MY.INI
// The tests run inside it, so relative paths resolve against it.
class PathsTest : public ::testing::Test {
  protected:
    void SetUp() override {
        char folder[] = "/tmp/cuebox_paths_XXXXXX";
        ASSERT_NE(::mkdtemp(folder), nullptr);
        root_ = folder;
        char* current = ::getcwd(nullptr, 0);
        ASSERT_NE(current, nullptr);
        previous_ = current;
        std::free(current);
        for (const char* dir : {"/Sound", "/Sound/cockpit", "/SOUND", "/windows"})
            ASSERT_EQ(::mkdir((root_ + dir).c_str(), 0755), 0);
        touch(root_ + "/Sound/cockpit/Gear.WAV", "gear");
        touch(root_ + "/Sound/cockpit/flaps.wav");
        touch(root_ + "/a.wav", "lower");
        touch(root_ + "/A.wav", "upper");
        touch(root_ + "/windows/MY.INI", "[Config]\nLVar=from_windows\n");
        touch(root_ + "/my.ini", "[Config]\nLVar=from_current\n");
        ASSERT_EQ(::chdir(root_.c_str()), 0);
    }
    void TearDown() override {
        standin_set_trace(nullptr, nullptr);
        standin_set_windows_folder(nullptr);
        ASSERT_EQ(::chdir(previous_.c_str()), 0);
        std::string command = "rm -rf '" + root_ + "'";
        ASSERT_EQ(std::system(command.c_str()), 0);
    }

    std::string root_;
    std::string previous_;
};

TEST_F(PathsTest, BackslashesSeparateAndLetterCaseIsIgnored) {
    Resolved gear = resolve("Sound\\COCKPIT\\gear.wav");
    EXPECT_TRUE(gear.found);
    EXPECT_EQ(gear.path, "Sound/cockpit/Gear.WAV");

    Resolved dotted = resolve(".\\Sound\\cockpit\\..\\cockpit\\FLAPS.WAV");
    EXPECT_TRUE(dotted.found);
    EXPECT_EQ(dotted.path, "Sound/cockpit/../cockpit/flaps.wav");

    Resolved mixed = resolve("./Sound/cockpit\\Flaps.wav");
    EXPECT_TRUE(mixed.found);
    EXPECT_EQ(mixed.path, "Sound/cockpit/flaps.wav");
}

TEST_F(PathsTest, ExactCaseWinsAndOtherwiseTheFirstInSortedOrder) {
    EXPECT_EQ(resolve("a.wav").path, "a.wav");
    EXPECT_EQ(resolve("A.wav").path, "A.wav");
    EXPECT_EQ(resolve("a.WAV").path, "A.wav");
    // "sound" exists as "SOUND" and "Sound"; "SOUND" sorts first and holds no cockpit folder.
    Resolved folder = resolve("sound\\cockpit\\gear.wav");
    EXPECT_FALSE(folder.found);
    EXPECT_EQ(folder.path, "SOUND/cockpit/gear.wav");
}

TEST_F(PathsTest, AbsolutePathsAndDriveLetters) {
    std::string windows_root = root_;
    for (char& c : windows_root)
        if (c == '/') c = '\\';
    Resolved absolute = resolve(windows_root + "\\Sound\\COCKPIT\\GEAR.wav");
    EXPECT_TRUE(absolute.found);
    EXPECT_EQ(absolute.path, root_ + "/Sound/cockpit/Gear.WAV");

    Resolved drive = resolve("C:" + windows_root + "\\Sound\\cockpit\\gear.wav");
    EXPECT_TRUE(drive.found);
    EXPECT_EQ(drive.path, root_ + "/Sound/cockpit/Gear.WAV");
}

TEST_F(PathsTest, MissingFilesKeepTheMatchedFoldersAndTheCallersSpelling) {
    Resolved file = resolve("Sound\\COCKPIT\\Missing.WAV");
    EXPECT_FALSE(file.found);
    EXPECT_EQ(file.path, "Sound/cockpit/Missing.WAV");

    Resolved folder = resolve("Nowhere\\Gear.wav");
    EXPECT_FALSE(folder.found);
    EXPECT_EQ(folder.path, "Nowhere/Gear.wav");

    // A file cannot stand for a folder.
    EXPECT_FALSE(resolve("a.wav\\x").found);
    EXPECT_FALSE(resolve("").found);

    char small[5];
    EXPECT_EQ(standin_resolve_path("Sound\\cockpit\\gear.wav", small, sizeof small), 1);
    EXPECT_EQ(std::string(small), "Soun");
}

TEST_F(PathsTest, ProfileFileWithoutFolderIsReadFromTheWindowsFolder) {
    EXPECT_EQ(std::string(standin_windows_folder()), "windows");
    char value[64];
    GetPrivateProfileStringA("Config", "LVar", "none", value, sizeof value, "my.ini");
    EXPECT_EQ(std::string(value), "from_windows");
    GetPrivateProfileStringA("Config", "LVar", "none", value, sizeof value, ".\\my.ini");
    EXPECT_EQ(std::string(value), "from_current");

    standin_set_windows_folder((root_ + "/Sound").c_str());
    EXPECT_EQ(std::string(standin_windows_folder()), root_ + "/Sound");
    GetPrivateProfileStringA("Config", "LVar", "none", value, sizeof value, "my.ini");
    EXPECT_EQ(std::string(value), "none");
    standin_set_windows_folder(nullptr);
    EXPECT_EQ(std::string(standin_windows_folder()), "windows");
}

TEST_F(PathsTest, FopenOfTheModuleResolvesAndIsTraced) {
    TraceLog log;
    standin_set_trace(&TraceLog::record, &log);
    long before = standin_call_count("fopen");

    FILE* gear = __wrap_fopen("SOUND\\..\\Sound\\Cockpit\\GEAR.WAV", "r");
    ASSERT_NE(gear, nullptr);
    char text[8] = {};
    EXPECT_EQ(std::fread(text, 1, 4, gear), 4u);
    EXPECT_EQ(std::string(text), "gear");
    std::fclose(gear);

    EXPECT_EQ(__wrap_fopen("Sound\\cockpit\\none.wav", "r"), nullptr);
    EXPECT_EQ(standin_call_count("fopen"), before + 2);
    ASSERT_EQ(log.events.size(), 2u);
    EXPECT_EQ(log.events[0],
              "open {\"via\":\"fopen\",\"path\":\"SOUND\\\\..\\\\Sound\\\\Cockpit\\\\GEAR.WAV\","
              "\"resolved\":\"SOUND/../Sound/cockpit/Gear.WAV\"}");
    EXPECT_EQ(
        log.events[1],
        "open {\"via\":\"fopen\",\"path\":\"Sound\\\\cockpit\\\\none.wav\",\"resolved\":null}");
}

TEST_F(PathsTest, MmioOpenResolvesAndIsTraced) {
    TraceLog log;
    standin_set_trace(&TraceLog::record, &log);
    char name[] = "sound\\COCKPIT\\Gear.wav";
    HMMIO file = mmioOpenA(name, nullptr, MMIO_ALLOCBUF | MMIO_READ);
    // "sound" matches "SOUND" first, which has no cockpit folder.
    EXPECT_EQ(file, nullptr);
    char exact[] = "Sound\\COCKPIT\\gear.wav";
    // Only reading is modelled: a write is refused, as an invalid flag is, not opened to read.
    const size_t events = log.events.size();
    for (DWORD writing : {MMIO_WRITE, MMIO_READWRITE}) {
        MMIOINFO info = {};
        EXPECT_EQ(mmioOpenA(exact, &info, MMIO_ALLOCBUF | writing), nullptr) << writing;
        EXPECT_EQ(info.wErrorRet, static_cast<UINT>(MMSYSERR_INVALPARAM)) << writing;
    }
    log.events.resize(events);
    file = mmioOpenA(exact, nullptr, MMIO_ALLOCBUF | MMIO_READ);
    ASSERT_NE(file, nullptr);
    char text[4];
    EXPECT_EQ(mmioRead(file, text, 4), 4);
    EXPECT_EQ(std::string(text, 4), "gear");
    EXPECT_EQ(mmioClose(file, 0), MMSYSERR_NOERROR);
    ASSERT_EQ(log.events.size(), 2u);
    EXPECT_EQ(log.events[1],
              "open {\"via\":\"mmioOpenA\",\"path\":\"Sound\\\\COCKPIT\\\\gear.wav\","
              "\"resolved\":\"Sound/cockpit/Gear.WAV\"}");
}

// A pipe opened as a file would wait for a writer for ever; every open refuses it at once, as
// Windows refuses a name that is not a file, and so does each open of a folder.
TEST_F(PathsTest, EveryOpenRefusesWhatIsNotARegularFile) {
    ASSERT_EQ(::mkfifo((root_ + "/pipe.wav").c_str(), 0644), 0);
    ASSERT_EQ(::mkfifo((root_ + "/windows/pipe.ini").c_str(), 0644), 0);
    for (const char* name : {"PIPE.WAV", "Sound\\cockpit"}) {
        EXPECT_EQ(run_in_child([&] {
                      char path[64];
                      std::snprintf(path, sizeof path, "%s", name);
                      MMIOINFO info = {};
                      return mmioOpenA(path, &info, MMIO_ALLOCBUF | MMIO_READ) == nullptr &&
                             info.wErrorRet != 0;
                  }),
                  "true")
            << "mmioOpenA " << name;
        EXPECT_EQ(run_in_child([&] { return __wrap_fopen(name, "r") == nullptr; }), "true")
            << "fopen " << name;
    }
    EXPECT_EQ(run_in_child([] { return __wrap_fopen("pipe.wav", "w") == nullptr; }), "true");
    // A profile file that is a pipe reads as a missing one: the default comes back.
    EXPECT_EQ(run_in_child([] {
                  char value[32];
                  GetPrivateProfileStringA("Config", "LVar", "fallback", value, sizeof value,
                                           "pipe.ini");
                  return std::string(value) == "fallback";
              }),
              "true");
}

TEST_F(PathsTest, TheModulesOpenStreamsAreCounted) {
    const long before = standin_open_streams();
    FILE* gear = __wrap_fopen("Sound\\cockpit\\gear.wav", "r");
    ASSERT_NE(gear, nullptr);
    EXPECT_EQ(__wrap_fopen("Sound\\cockpit\\none.wav", "r"), nullptr);
    EXPECT_EQ(standin_open_streams(), before + 1);
    EXPECT_EQ(__wrap_fclose(gear), 0);
    EXPECT_EQ(standin_open_streams(), before);
}

}  // namespace
