// File names as Windows opens them: an ANSI name in code page 1252 read as Unicode, letter case
// ignored beyond ASCII, the dots and spaces that end a name dropped, "." and ".." and doubled
// separators taken as paths take them. The module's fopen, mmioOpenA and the profile reader all
// open this way; only Win32 names and the C library are used, so the cases run on our layer and
// under Wine alike.
#include <gtest/gtest.h>

#include <cstdio>
#include <string>

#include "platform/win32.h"
#if !defined(_WIN32)
#include <sys/stat.h>

#include "platform/standin.h"

// The module's fopen: our layer's, which the module is linked to instead of the C library's.
extern "C" FILE* __wrap_fopen(const char* path, const char* mode);
#endif

namespace {

FILE* module_fopen(const char* path, const char* mode) {
#if defined(_WIN32)
    return std::fopen(path, mode);
#else
    return __wrap_fopen(path, mode);
#endif
}

// Makes a folder or file named in code page 1252 as the platform spells it on disk: Windows'
// own calls under Wine, the UTF-8 spelling here.
void make(const std::string& ansi, const std::string& utf8, bool folder, const std::string& text) {
#if defined(_WIN32)
    (void)utf8;
    if (folder) {
        CreateDirectoryA(ansi.c_str(), nullptr);
        return;
    }
    FILE* file = std::fopen(ansi.c_str(), "wb");
#else
    (void)ansi;
    if (folder) {
        ::mkdir(utf8.c_str(), 0755);
        return;
    }
    FILE* file = std::fopen(utf8.c_str(), "wb");
#endif
    ASSERT_NE(file, nullptr) << utf8;
    std::fputs(text.c_str(), file);
    std::fclose(file);
}

class FileNameTest : public ::testing::Test {
  protected:
    void SetUp() override {
#if defined(_WIN32)
        if (GetACP() != 1252) GTEST_SKIP() << "written for code page 1252";
#else
        ASSERT_EQ(standin_set_codepage(1252), 0);
#endif
        make("cuebox_names", "cuebox_names", true, "");
        make("cuebox_names/Gauges", "cuebox_names/Gauges", true, "");
        make("cuebox_names/Sound", "cuebox_names/Sound", true, "");
        make("cuebox_names/Sound/caf\xE9.wav", "cuebox_names/Sound/caf\xC3\xA9.wav", false, "cafe");
        make("cuebox_names/Sound/tone.wav", "cuebox_names/Sound/tone.wav", false, "tone");
        make("cuebox_names/Kl\xE4nge.ini", "cuebox_names/Kl\xC3\xA4nge.ini", false,
             "[Sounds]\nSound00=caf\xE9\n");
    }
    void TearDown() override {
        std::remove("cuebox_names/Sound/tone.wav");
#if defined(_WIN32)
        DeleteFileA("cuebox_names/Sound/caf\xE9.wav");
        DeleteFileA("cuebox_names/Kl\xE4nge.ini");
        RemoveDirectoryA("cuebox_names/Sound");
        RemoveDirectoryA("cuebox_names/Gauges");
        RemoveDirectoryA("cuebox_names");
#else
        std::remove("cuebox_names/Sound/caf\xC3\xA9.wav");
        std::remove("cuebox_names/Kl\xC3\xA4nge.ini");
        ::rmdir("cuebox_names/Sound");
        ::rmdir("cuebox_names/Gauges");
        ::rmdir("cuebox_names");
#endif
    }
};

TEST_F(FileNameTest, NamesOpenAsWindowsSpellsThem) {
    const struct {
        const char* name;
        const char* contents;  // null: the name opens nothing
    } cases[] = {
        {"cuebox_names\\Sound\\caf\xE9.wav", "cafe"},
        {"cuebox_names\\SOUND\\CAF\xC9.WAV", "cafe"},
        {"cuebox_names\\Sound\\caf\xC3\xA9.wav", nullptr},  // UTF-8 read as ANSI: "cafÃ©.wav"
        {"cuebox_names\\Sound\\tone.wav.", "tone"},
        {"cuebox_names\\Sound\\tone.wav . .", "tone"},
        {"cuebox_names\\Gauges\\..\\Sound\\.\\tone.wav", "tone"},
        {"cuebox_names/Sound//tone.wav", "tone"},
        {"cuebox_names\\Sound\\tone", nullptr},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        char text[8] = {};
        FILE* file = module_fopen(c.name, "rb");
        EXPECT_EQ(file != nullptr, c.contents != nullptr);
        if (file) {
            EXPECT_EQ(std::fread(text, 1, 4, file), 4u);
            EXPECT_EQ(std::string(text), c.contents);
            std::fclose(file);
        }
        HMMIO mmio = mmioOpenA(const_cast<LPSTR>(c.name), nullptr, MMIO_READ);
        EXPECT_EQ(mmio != nullptr, c.contents != nullptr);
        if (mmio) {
            std::string read(4, '\0');
            EXPECT_EQ(mmioRead(mmio, &read[0], 4), 4);
            EXPECT_EQ(read, c.contents);
            mmioClose(mmio, 0);
        }
    }
    // The profile reader opens its file the same way.
    char value[32] = {};
    EXPECT_EQ(GetPrivateProfileStringA("Sounds", "Sound00", "", value, sizeof value,
                                       ".\\cuebox_names\\KL\xC4NGE.ini."),
              4u);
    EXPECT_EQ(std::string(value), "caf\xE9");
}

}  // namespace
