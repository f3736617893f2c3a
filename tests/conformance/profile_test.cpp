// Profile reading and window lookup as Windows does them, written with Win32 names only, so the
// same tests run against our platform layer and against Wine.
#include <gtest/gtest.h>

#include <cstdio>
#include <cstring>
#include <string>

#include "platform/codepage.h"
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

// The code page of these cases: Windows' own where it is one we know, ours set to match.
int ansi_code_page() {
#if defined(_WIN32)
    return static_cast<int>(GetACP());
#else
    return standin_codepage();
#endif
}

std::string utf16(const std::string& utf8, bool big_endian) {
    std::string out = big_endian ? "\xFE\xFF" : "\xFF\xFE";
    for (size_t i = 0; i < utf8.size();) {
        unsigned c = static_cast<unsigned char>(utf8[i]);
        size_t length = c >= 0xF0 ? 4 : c >= 0xE0 ? 3 : c >= 0xC0 ? 2 : 1;
        if (length > 1) c &= 0x3F >> (length - 1);
        for (size_t k = 1; k < length; ++k) c = c << 6 | (utf8[i + k] & 0x3F);
        i += length;
        auto unit = [&](unsigned u) {
            out += big_endian ? std::string{char(u >> 8), char(u & 0xFF)}
                              : std::string{char(u & 0xFF), char(u >> 8)};
        };
        if (c >= 0x10000) {
            unit(0xD800 + ((c - 0x10000) >> 10));
            unit(0xDC00 + ((c - 0x10000) & 0x3FF));
        } else {
            unit(c);
        }
    }
    return out;
}

// An INI file's encoding is known by its byte order mark; the A functions hand out its names
// and values in the ANSI code page, a character outside it as its near fit or '?'. A file
// without a mark is ANSI, even when its bytes are UTF-8. A line ends at CR, LF or both.
TEST_F(ProfileTest, EachEncodingIsReadIntoTheAnsiCodePage) {
    if (ansi_code_page() != 1252) GTEST_SKIP() << "written for code page 1252";
    // In UTF-8: a section and a value in code page 1252, then U+0101, U+4E2D and U+1F600,
    // which it does not hold.
    const std::string text =
        "[Kl\xC3\xA4nge]\r\nSound00=Sound\\caf\xC3\xA9.wav\r\nSound01="
        "\xC4\x81\xE4\xB8\xAD\xF0\x9F\x98\x80\r\n";
    const struct {
        const char* what;
        std::string bytes;
        std::string section, sound00, sound01;
    } cases[] = {
        {"ANSI", "[Kl\xE4nge]\nSound00=Sound\\caf\xE9.wav\n", "Kl\xE4nge", "Sound\\caf\xE9.wav",
         "dflt"},
        {"UTF-8 with a mark", "\xEF\xBB\xBF" + text, "Kl\xE4nge", "Sound\\caf\xE9.wav", "a???"},
        {"UTF-8 without a mark", text, "Kl\xC3\xA4nge", "Sound\\caf\xC3\xA9.wav",
         "\xC4\x81\xE4\xB8\xAD\xF0\x9F\x98\x80"},
        {"UTF-16 LE", utf16(text, false), "Kl\xE4nge", "Sound\\caf\xE9.wav", "a???"},
        {"UTF-16 BE", utf16(text, true), "Kl\xE4nge", "Sound\\caf\xE9.wav", "a???"},
        {"CR alone", "[S]\rSound00=one\rSound01=two\r", "S", "one", "two"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        write(c.bytes);
        EXPECT_EQ(get(c.section.c_str(), "Sound00"), c.sound00);
        EXPECT_EQ(get(c.section.c_str(), "sound01"), c.sound01);
    }
}

// Every character of the code page comes back as its own byte, from an ANSI file and from a
// UTF-8 one.
TEST_F(ProfileTest, TheCodePageRoundTrips) {
    const int code_page = ansi_code_page();
    if (!codepage::supported(code_page)) GTEST_SKIP() << "code page " << code_page;
    std::string upper;
    for (int byte = 0x80; byte <= 0xFF; ++byte) upper += static_cast<char>(byte);
    const std::string value = "x" + upper + "x";
    for (const std::string& file :
         {"[S]\nk=" + value + "\n", "\xEF\xBB\xBF[S]\nk=" + codepage::to_utf8(code_page, value)}) {
        write(file);
        EXPECT_EQ(get("S", "k", "", 512), value);
    }
}

// A section's key list (no key given) holds the names of name=value lines only; cut to a small
// buffer, it reports size - 2 characters.
TEST_F(ProfileTest, KeyListsHoldNameValueLinesOnly) {
    const char text[] = "[S]\nalpha=1\nbare\nbravo=2\n[T]\ncharlie=3\n\0";  // a zero byte closes it
    write(std::string(text, sizeof text - 1));
    char list[64];
    std::memset(list, 'X', sizeof list);
    EXPECT_EQ(GetPrivateProfileStringA("S", nullptr, "", list, sizeof list, profile_.c_str()), 12u);
    EXPECT_EQ(std::string(list, 13), std::string("alpha\0bravo\0\0", 13));
    EXPECT_EQ(GetPrivateProfileStringA("T", nullptr, "", list, sizeof list, profile_.c_str()), 8u);
    EXPECT_EQ(std::string(list, 9), std::string("charlie\0\0", 9));
    std::memset(list, 'X', sizeof list);
    EXPECT_EQ(GetPrivateProfileStringA("S", nullptr, "", list, 10, profile_.c_str()), 8u);
    EXPECT_EQ(std::string(list, 9), std::string("alpha\0br\0", 9));
#if !defined(_WIN32)
    // Windows' documentation: a cut list ends in two zero bytes. Wine leaves the last byte as
    // it was, so this one is ours only.
    EXPECT_EQ(list[9], '\0');
#endif
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
