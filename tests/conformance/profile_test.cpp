// Profile reading and window lookup as Windows does them, written with Win32 names only, so the
// same tests run against our platform layer and against Wine.
#include <gtest/gtest.h>

#include <cstdio>
#include <cstring>
#include <string>

#include "platform/win32.h"
#include "support/test_folder.h"
#if !defined(_WIN32)
#include "platform/standin.h"
#endif

namespace {

// Each case writes its profile file in a folder of its own: ctest runs the cases at once.
class ProfileTest : public ::testing::Test {
  protected:
    void write(const std::string& text) {
        ASSERT_TRUE(folder_.ok()) << folder_.path();
        std::FILE* f = std::fopen(profile_.c_str(), "wb");
        ASSERT_NE(f, nullptr);
        std::fwrite(text.data(), 1, text.size(), f);
        std::fclose(f);
    }
    std::string get(const char* section, const char* key, const char* fallback = "dflt",
                    DWORD size = 128, const char* file = nullptr) {
        char result[512];
        std::memset(result, 'X', sizeof result);
        last_count = GetPrivateProfileStringA(section, key, fallback, result, size,
                                              file ? file : profile_.c_str());
        return result;
    }
    TestFolder folder_;
    const std::string profile_ = folder_.file("cuebox_conformance.ini");
    DWORD last_count = 0;
};

TEST_F(ProfileTest, SectionsAndKeysMatchWithoutRegardToCase) {
    write("[Config]\nLVar=abc\n[SOUNDS]\nsound07=seven.wav\n");
    EXPECT_EQ(get("config", "lvar"), "abc");
    EXPECT_EQ(get("CONFIG", "Lvar"), "abc");
    EXPECT_EQ(get("Sounds", "Sound07"), "seven.wav");
    EXPECT_EQ(last_count, 9u);
}

// Names and values are strings: a zero byte inside one ends it.
TEST_F(ProfileTest, AZeroByteEndsAValueOrAName) {
    const char text[] = "[Sounds]\nSound01=fiv\0ond.wav\nSound\0two=2\nSound03=three\n";
    write(std::string(text, sizeof text - 1));
    EXPECT_EQ(get("Sounds", "Sound01"), "fiv");
    EXPECT_EQ(last_count, 3u);
    EXPECT_EQ(get("Sounds", "Sound03"), "three");
    EXPECT_EQ(get("Sounds", "Sound"), "2");
    EXPECT_EQ(get("Sounds", "Soundtwo"), "dflt");
}

TEST_F(ProfileTest, BlanksAroundNamesAndValuesAreTrimmed) {
    write("[Sounds]\n   Sound01   =   one two  \t\n\tSound02=\t two\n");
    EXPECT_EQ(get("Sounds", "Sound01"), "one two");
    EXPECT_EQ(get("Sounds", "Sound02"), "two");
}

TEST_F(ProfileTest, OnePairOfMatchingQuotesIsRemoved) {
    write("[S]\na=\"quoted value\"\nb='single'\nc=\"mixed'\nd=\"\"twice\"\"\ne=\"\nf=in\"side\"\n");
    EXPECT_EQ(get("S", "a"), "quoted value");
    EXPECT_EQ(get("S", "b"), "single");
    EXPECT_EQ(get("S", "c"), "\"mixed'");
    EXPECT_EQ(get("S", "d"), "\"twice\"");
    EXPECT_EQ(get("S", "e"), "\"");
    EXPECT_EQ(get("S", "f"), "in\"side\"");
}

TEST_F(ProfileTest, TheResultIsCutToTheBufferWithItsTerminator) {
    const std::string long_value(200, 'v');
    write("[S]\nshort=abcdefgh\nlong=" + long_value + "\n");
    EXPECT_EQ(get("S", "short", "", 5), "abcd");
    EXPECT_EQ(last_count, 4u);
    EXPECT_EQ(get("S", "long", "", 128), std::string(127, 'v'));
    EXPECT_EQ(last_count, 127u);
    EXPECT_EQ(get("S", "long", "", 130), std::string(129, 'v'));
    // A default is cut the same way.
    EXPECT_EQ(get("S", "missing", "defaultvalue", 4), "def");
}

TEST_F(ProfileTest, MissingFileSectionOrKeyGiveTheDefault) {
    write("[Config]\nLVar=abc\n");
    EXPECT_EQ(get("Config", "Other"), "dflt");
    EXPECT_EQ(get("Other", "LVar"), "dflt");
    EXPECT_EQ(get("Config", "LVar", "dflt", 128, folder_.file("no_such_file.ini").c_str()), "dflt");
    EXPECT_EQ(get("Config", "Other", ""), "");
    EXPECT_EQ(last_count, 0u);
    // Trailing blanks of a default are dropped.
    EXPECT_EQ(get("Config", "Other", "pad   "), "pad");
}

TEST_F(ProfileTest, AnEmptyValueStaysEmpty) {
    write("[Config]\nLVar=\n[Sounds]\nSound05=   \n");
    EXPECT_EQ(get("Config", "LVar", "jvb_cuebox_id"), "");
    EXPECT_EQ(get("Sounds", "Sound05", "default"), "");
    EXPECT_EQ(last_count, 0u);
}

TEST_F(ProfileTest, TheFirstOfDuplicateKeysAndSectionsCounts) {
    write("[Sounds]\nSound01=first\nsound01=second\n[sounds]\nSound01=third\nSound02=fourth\n");
    EXPECT_EQ(get("Sounds", "Sound01"), "first");
    EXPECT_EQ(get("SOUNDS", "Sound01"), "first");
}

TEST_F(ProfileTest, CommentLinesAreNotKeys) {
    write("; a comment\n[Sounds]\n;Sound07=commented.wav\nSound08=real.wav ; not a comment\n");
    EXPECT_EQ(get("Sounds", "Sound07"), "dflt");
    EXPECT_EQ(get("Sounds", "Sound08"), "real.wav ; not a comment");
}

TEST_F(ProfileTest, WindowsLineEndsAndAByteOrderMarkAreRead) {
    write("\xEF\xBB\xBF[Config]\r\nLVar=crlf_name\r\n");
    EXPECT_EQ(get("Config", "LVar"), "crlf_name");
}

TEST(WindowLookupTest, FindsAWindowByClassAndNoneOfAnUnknownClass) {
    EXPECT_EQ(FindWindowA("cuebox_no_such_class", nullptr), nullptr);
#if defined(_WIN32)
    WNDCLASSA window_class = {};
    window_class.lpfnWndProc = DefWindowProcA;
    window_class.hInstance = GetModuleHandleA(nullptr);
    window_class.lpszClassName = "CueboxTestMain";
    RegisterClassA(&window_class);
    HWND window = CreateWindowExA(0, "CueboxTestMain", "main", 0, 0, 0, 10, 10, nullptr, nullptr,
                                  window_class.hInstance, nullptr);
#else
    HWND window = standin_register_window("CueboxTestMain", "main");
#endif
    ASSERT_NE(window, nullptr);
    EXPECT_EQ(FindWindowA("CueboxTestMain", nullptr), window);
    EXPECT_EQ(FindWindowA("cueboxtestmain", nullptr), window);
    EXPECT_EQ(FindWindowA("CueboxTestMain", "main"), window);
    EXPECT_EQ(FindWindowA("CueboxTestMain", "other"), nullptr);
#if defined(_WIN32)
    DestroyWindow(window);
#else
    standin_unregister_window(window);
#endif
    EXPECT_EQ(FindWindowA("CueboxTestMain", nullptr), nullptr);
}

}  // namespace
