// libFuzzer target for check's diagnosis of a refused WAV file: any file goes through the
// module's reader as check reads it, and a refused one through diagnose_wave with the check the
// reader named. Besides the sanitizers' checks, every refusal gets one of check's reasons and a
// detail in printable text, and the reasons of the file's first bytes agree with the reader.
#include <cstdint>
#include <set>
#include <string>
#include <vector>

#include "fuzz/fuzz_input.h"
#include "sound/wave_reader.h"
#include "tools/wave_diagnosis.h"

namespace {

using fuzz::check;

const std::set<std::string> REASONS = {"cannot_open",   "not_riff",
                                       "not_wave",      "no_fmt",
                                       "fmt_too_short", "format_extra_missing",
                                       "no_data",       "unknown"};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::string& path = fuzz::input_path(".wav");
    if (!fuzz::write_input(path, data, size)) return 0;

    WaveFileReader reader;
    HRESULT result = reader.open(path.c_str());
    // All of the data, as check reads it, a piece at a time.
    static std::vector<BYTE> piece(1 << 16);
    while (SUCCEEDED(result) && reader.bytes_left() > 0) {
        DWORD got = 0;
        result = reader.read(static_cast<DWORD>(piece.size()), piece.data(), &got);
        if (got == 0) break;
    }
    check(SUCCEEDED(result) == (reader.refusal == WaveRefusal::NONE));
    if (SUCCEEDED(result)) return 0;

    const WaveDiagnosis diagnosis = diagnose_wave(path, reader.refusal);
    check(REASONS.count(diagnosis.reason) == 1);
    check(!diagnosis.detail.empty());
    for (char c : diagnosis.detail) check(c >= 0x20 && c < 0x7F);
    // A file that does not begin with "RIFF" is said to be no RIFF file.
    const bool riff = size >= 4 && std::string(reinterpret_cast<const char*>(data), 4) == "RIFF";
    if (!riff) check(diagnosis.reason == "not_riff");
    return 0;
}
