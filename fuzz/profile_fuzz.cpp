// libFuzzer target for the profile reader off Windows (GetPrivateProfileStringA): the input
// gives the section, the key, the default and the buffer size, and the rest is the INI file's
// text. Whatever the text, the result fits the buffer with its terminator, the count says how
// long it is, and a list of names ends with two terminators; a list cut to the buffer fills it
// up to two terminators at its end and counts size - 2, as Windows does.
#include <fuzzer/FuzzedDataProvider.h>

#include <cstring>
#include <memory>
#include <string>

#include "fuzz/fuzz_input.h"
#include "platform/win32.h"

using fuzz::check;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    FuzzedDataProvider in(data, size);
    const std::string section = in.ConsumeRandomLengthString(40);
    const std::string key = in.ConsumeRandomLengthString(40);
    const std::string fallback = in.ConsumeRandomLengthString(40);
    const DWORD limit = in.ConsumeIntegralInRange<DWORD>(0, 300);
    const int lookup = in.ConsumeIntegralInRange(0, 2);  // a value, the keys, the sections
    const std::string text = in.ConsumeRemainingBytesAsString();

    const std::string& path = fuzz::input_path(".ini");
    if (!fuzz::write_input(path, reinterpret_cast<const uint8_t*>(text.data()), text.size()))
        return 0;

    // Exactly `limit` bytes, so the sanitizer sees any write past them; one byte more when the
    // limit is 0, which must stay as it was.
    std::unique_ptr<char[]> result(new char[limit + 1]);
    std::memset(result.get(), 'X', limit + 1);
    const char* wanted_section = lookup == 2 ? nullptr : section.c_str();
    const char* wanted_key = lookup == 0 ? key.c_str() : nullptr;
    const DWORD count = GetPrivateProfileStringA(wanted_section, wanted_key, fallback.c_str(),
                                                 result.get(), limit, path.c_str());
    if (limit == 0) {
        check(count == 0 && result[0] == 'X');
        return 0;
    }
    check(result[limit] == 'X');
    check(count < limit);
    check(std::memchr(result.get(), '\0', limit) != nullptr);
    if (lookup == 0) {
        check(count == std::strlen(result.get()));
    } else if (limit >= 2) {
        // Names, each with its terminator, and one more at the end.
        const bool whole = result[count] == '\0' && (count == 0 || result[count - 1] == '\0');
        const bool cut =
            count == limit - 2 && result[limit - 2] == '\0' && result[limit - 1] == '\0';
        check(whole || cut);
    }
    return 0;
}
