// Text between the ANSI code page that Windows programs see and the UTF-8 of Linux names and of
// the tools' output. The ANSI functions of Windows hand out names in the process's code page;
// Wine turns them into Unicode and then into UTF-8 file names. Doing the same here, with
// Windows' own tables, is what makes a name that opens on Windows open here and nowhere else.
//
// Pure text functions, no state: both our platform layer and the tools use them.
#pragma once

#include <string>

namespace codepage {

// The code page Windows uses for ANSI text in Western European and American installations.
constexpr int DEFAULT_CODE_PAGE = 1252;

// True for the code pages we carry: the single-byte ANSI code pages of Windows (874 and 1250 to
// 1258). The multi-byte ones (932, 936, 949, 950) and every other number are refused.
bool supported(int code_page);

// Reads a code page number as the tools and the environment give it ("1252", "cp1252" or
// "windows-1252"). Returns the number, or 0 after writing why into `error`.
int parse(const std::string& text, std::string& error);

// ANSI bytes to UTF-8, as MultiByteToWideChar reads them: every byte is one character; the
// bytes a page leaves undefined become the control character of the same number.
std::string to_utf8(int code_page, const std::string& ansi);

// UTF-8 to ANSI bytes as WideCharToMultiByte without flags writes them: a character outside the
// page becomes its near fit where Windows has one (U+0101 'a' to 'a'), else '?'; a character
// beyond U+FFFF, two UTF-16 units, becomes "??"; a byte that is not valid UTF-8 becomes '?'.
std::string from_utf8(int code_page, const std::string& utf8);

// UTF-16 text (little or big endian bytes; an odd last byte is dropped) to UTF-8. Unpaired
// surrogates become U+FFFD.
std::string utf16_to_utf8(const char* bytes, size_t size, bool big_endian);

// `utf8` in upper case, letter by letter beyond ASCII too (é to É), as Windows compares file
// names: two names are the same file when their upper cases are equal. Bytes that are not
// UTF-8 stay as they are.
std::string upper_case(const std::string& utf8);

// True when `text` is valid UTF-8 (shortest forms, no surrogates, nothing past U+10FFFF).
bool valid_utf8(const std::string& text);

// True when `text` holds at least one byte above 0x7F and all of it is valid UTF-8: text saved
// as UTF-8 that an ANSI reader would take byte by byte.
bool has_utf8_sequences(const std::string& text);

// `text` with every byte that does not belong to valid UTF-8 replaced by U+FFFD: what goes to a
// terminal or a file when nothing better is known of its bytes.
std::string valid_utf8_text(const std::string& text);

// How an INI file's bytes are written, as Windows tells them apart: by a byte order mark.
enum class FileEncoding { ANSI, UTF8_BOM, UTF16_LE, UTF16_BE };
const char* encoding_name(FileEncoding encoding);  // "ansi", "utf-8-bom", "utf-16le", "utf-16be"

// The next line of INI text from `at` on, as Windows splits it: a line ends at CR, LF or CR LF.
// False at the end of the text.
bool next_line(const std::string& text, size_t& at, std::string& line);

// An INI file's text as the A functions of Windows hand it out: a file with a UTF-8 or UTF-16
// byte order mark is read as Unicode and turned into the code page (without the mark); any
// other file is taken as ANSI bytes, as it is, even when those bytes happen to be UTF-8.
std::string ansi_profile_text(int code_page, const std::string& bytes, FileEncoding* encoding);

// The same file's text in UTF-8: a file with a mark decoded from its encoding, any other file
// read as ANSI in the code page.
std::string unicode_text(int code_page, const std::string& bytes, FileEncoding* encoding);

}  // namespace codepage
