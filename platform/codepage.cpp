// Conversions between the ANSI code pages of Windows, UTF-16 and UTF-8.
#include "platform/codepage.h"

#include <algorithm>
#include <cctype>
#include <cstdlib>

#include "platform/codepage_tables.h"

namespace codepage {

namespace {

const SingleBytePage* find_page(int code_page) {
    for (int i = 0; i < single_byte_page_count; ++i) {
        if (single_byte_pages[i].number == code_page) return &single_byte_pages[i];
    }
    return nullptr;
}

// The length of the valid UTF-8 sequence at `p` (at most `left` bytes), storing its character;
// 0 when the bytes there are not valid UTF-8.
size_t decode(const unsigned char* p, size_t left, char32_t& character) {
    if (p[0] < 0x80) {
        character = p[0];
        return 1;
    }
    size_t length;
    char32_t minimum;
    if ((p[0] & 0xE0) == 0xC0) {
        length = 2, minimum = 0x80, character = p[0] & 0x1F;
    } else if ((p[0] & 0xF0) == 0xE0) {
        length = 3, minimum = 0x800, character = p[0] & 0x0F;
    } else if ((p[0] & 0xF8) == 0xF0) {
        length = 4, minimum = 0x10000, character = p[0] & 0x07;
    } else {
        return 0;
    }
    if (left < length) return 0;
    for (size_t i = 1; i < length; ++i) {
        if ((p[i] & 0xC0) != 0x80) return 0;
        character = character << 6 | (p[i] & 0x3F);
    }
    if (character < minimum || character > 0x10FFFF) return 0;
    if (character >= 0xD800 && character <= 0xDFFF) return 0;
    return length;
}

void append_utf8(std::string& out, char32_t c) {
    if (c < 0x80) {
        out += static_cast<char>(c);
    } else if (c < 0x800) {
        out += static_cast<char>(0xC0 | c >> 6);
        out += static_cast<char>(0x80 | (c & 0x3F));
    } else if (c < 0x10000) {
        out += static_cast<char>(0xE0 | c >> 12);
        out += static_cast<char>(0x80 | (c >> 6 & 0x3F));
        out += static_cast<char>(0x80 | (c & 0x3F));
    } else {
        out += static_cast<char>(0xF0 | c >> 18);
        out += static_cast<char>(0x80 | (c >> 12 & 0x3F));
        out += static_cast<char>(0x80 | (c >> 6 & 0x3F));
        out += static_cast<char>(0x80 | (c & 0x3F));
    }
}

unsigned char to_byte(const SingleBytePage& page, char32_t c) {
    if (c < 0x80) return static_cast<unsigned char>(c);
    for (int i = 0; i < 128; ++i) {
        if (page.upper[i] == c) return static_cast<unsigned char>(0x80 + i);
    }
    const BestFit* end = page.best_fit + page.best_fit_count;
    const BestFit* near =
        std::lower_bound(page.best_fit, end, c,
                         [](const BestFit& fit, char32_t value) { return fit.character < value; });
    if (near != end && near->character == c) return near->byte;
    return '?';
}

}  // namespace

bool supported(int code_page) {
    return find_page(code_page) != nullptr;
}

int parse(const std::string& text, std::string& error) {
    std::string digits = text;
    for (const char* prefix : {"windows-", "cp"}) {
        const std::string p = prefix;
        if (digits.size() > p.size() &&
            std::equal(p.begin(), p.end(), digits.begin(), [](char a, char b) {
                return a == std::tolower(static_cast<unsigned char>(b));
            }))
            digits.erase(0, p.size());
    }
    const bool numeric = !digits.empty() && digits.size() <= 6 &&
                         std::all_of(digits.begin(), digits.end(), [](char c) {
                             return std::isdigit(static_cast<unsigned char>(c));
                         });
    const int number = numeric ? std::atoi(digits.c_str()) : 0;
    if (!numeric) {
        error = "'" + valid_utf8_text(text) + "' is not a code page number (e.g. 1252)";
        return 0;
    }
    if (supported(number)) return number;
    if (number == 932 || number == 936 || number == 949 || number == 950 || number == 65001) {
        error = "code page " + std::to_string(number) +
                " is not supported: only the single-byte ANSI code pages are (874, 1250 to 1258)";
    } else {
        error = "code page " + std::to_string(number) +
                " is not an ANSI code page of Windows that cuebox knows (874, 1250 to 1258)";
    }
    return 0;
}

std::string to_utf8(int code_page, const std::string& ansi) {
    const SingleBytePage* page = find_page(code_page);
    std::string out;
    out.reserve(ansi.size());
    for (unsigned char byte : ansi) {
        if (byte < 0x80) {
            out += static_cast<char>(byte);
        } else {
            append_utf8(out, page ? page->upper[byte - 0x80] : char32_t{0xFFFD});
        }
    }
    return out;
}

std::string from_utf8(int code_page, const std::string& utf8) {
    const SingleBytePage* page = find_page(code_page);
    const auto* p = reinterpret_cast<const unsigned char*>(utf8.data());
    const size_t size = utf8.size();
    std::string out;
    out.reserve(size);
    for (size_t at = 0; at < size;) {
        char32_t c = 0;
        const size_t length = decode(p + at, size - at, c);
        if (length == 0) {
            out += '?';
            ++at;
            continue;
        }
        at += length;
        if (c >= 0x10000) {
            out += "??";
        } else {
            out += static_cast<char>(page ? to_byte(*page, c) : (c < 0x80 ? c : '?'));
        }
    }
    return out;
}

std::string utf16_to_utf8(const char* bytes, size_t size, bool big_endian) {
    const auto* p = reinterpret_cast<const unsigned char*>(bytes);
    auto unit = [&](size_t i) -> char32_t {
        return big_endian ? p[2 * i] << 8 | p[2 * i + 1] : p[2 * i + 1] << 8 | p[2 * i];
    };
    const size_t units = size / 2;
    std::string out;
    out.reserve(units);
    for (size_t i = 0; i < units; ++i) {
        char32_t c = unit(i);
        if (c >= 0xD800 && c <= 0xDBFF && i + 1 < units && unit(i + 1) >= 0xDC00 &&
            unit(i + 1) <= 0xDFFF) {
            c = 0x10000 + ((c - 0xD800) << 10) + (unit(i + 1) - 0xDC00);
            ++i;
        } else if (c >= 0xD800 && c <= 0xDFFF) {
            c = 0xFFFD;
        }
        append_utf8(out, c);
    }
    return out;
}

std::string upper_case(const std::string& utf8) {
    const auto* p = reinterpret_cast<const unsigned char*>(utf8.data());
    std::string out;
    out.reserve(utf8.size());
    for (size_t at = 0; at < utf8.size();) {
        char32_t c = 0;
        const size_t length = decode(p + at, utf8.size() - at, c);
        if (length == 0) {
            out += utf8[at++];
            continue;
        }
        at += length;
        if (c >= 'a' && c <= 'z') {
            c -= 'a' - 'A';
        } else if (c >= 0x80 && c < 0x10000) {
            const CaseMapping* end = upper_case_letters + upper_case_letter_count;
            const CaseMapping* found = std::lower_bound(
                upper_case_letters, end, c,
                [](const CaseMapping& m, char32_t value) { return m.lower < value; });
            if (found != end && found->lower == c) c = found->upper;
        }
        append_utf8(out, c);
    }
    return out;
}

bool valid_utf8(const std::string& text) {
    const auto* p = reinterpret_cast<const unsigned char*>(text.data());
    char32_t c;
    for (size_t at = 0; at < text.size();) {
        const size_t length = decode(p + at, text.size() - at, c);
        if (length == 0) return false;
        at += length;
    }
    return true;
}

bool has_utf8_sequences(const std::string& text) {
    return std::any_of(text.begin(), text.end(), [](char c) { return c & 0x80; }) &&
           valid_utf8(text);
}

std::string valid_utf8_text(const std::string& text) {
    const auto* p = reinterpret_cast<const unsigned char*>(text.data());
    std::string out;
    out.reserve(text.size());
    char32_t c;
    for (size_t at = 0; at < text.size();) {
        const size_t length = decode(p + at, text.size() - at, c);
        if (length == 0) {
            out += "\xEF\xBF\xBD";
            ++at;
        } else {
            out.append(text, at, length);
            at += length;
        }
    }
    return out;
}

bool next_line(const std::string& text, size_t& at, std::string& line) {
    if (at >= text.size()) return false;
    const size_t end = text.find_first_of("\r\n", at);
    line = text.substr(at, end == std::string::npos ? std::string::npos : end - at);
    at = end == std::string::npos ? text.size() : end + (text.compare(end, 2, "\r\n") == 0 ? 2 : 1);
    return true;
}

const char* encoding_name(FileEncoding encoding) {
    switch (encoding) {
        case FileEncoding::UTF8_BOM:
            return "utf-8-bom";
        case FileEncoding::UTF16_LE:
            return "utf-16le";
        case FileEncoding::UTF16_BE:
            return "utf-16be";
        default:
            return "ansi";
    }
}

std::string ansi_profile_text(int code_page, const std::string& bytes, FileEncoding* encoding) {
    FileEncoding found = FileEncoding::ANSI;
    std::string text;
    if (bytes.compare(0, 3, "\xEF\xBB\xBF") == 0) {
        found = FileEncoding::UTF8_BOM;
        text = from_utf8(code_page, bytes.substr(3));
    } else if (bytes.compare(0, 2, "\xFF\xFE") == 0 || bytes.compare(0, 2, "\xFE\xFF") == 0) {
        const bool big = bytes[0] == '\xFE';
        found = big ? FileEncoding::UTF16_BE : FileEncoding::UTF16_LE;
        text = from_utf8(code_page, utf16_to_utf8(bytes.data() + 2, bytes.size() - 2, big));
    } else {
        text = bytes;
    }
    if (encoding) *encoding = found;
    return text;
}

std::string unicode_text(int code_page, const std::string& bytes, FileEncoding* encoding) {
    FileEncoding found = FileEncoding::ANSI;
    std::string text;
    if (bytes.compare(0, 3, "\xEF\xBB\xBF") == 0) {
        found = FileEncoding::UTF8_BOM;
        text = bytes.substr(3);
    } else if (bytes.compare(0, 2, "\xFF\xFE") == 0 || bytes.compare(0, 2, "\xFE\xFF") == 0) {
        const bool big = bytes[0] == '\xFE';
        found = big ? FileEncoding::UTF16_BE : FileEncoding::UTF16_LE;
        text = utf16_to_utf8(bytes.data() + 2, bytes.size() - 2, big);
    } else {
        text = to_utf8(code_page, bytes);
    }
    if (encoding) *encoding = found;
    return text;
}

}  // namespace codepage
