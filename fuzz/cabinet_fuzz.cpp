// libFuzzer target for reading gauge files out of cabinet files with libmspack, from bytes in
// memory: whatever the bytes, the answer is one of the results, a file found is within the
// size limit, and a refusal says why.
#include <string>

#include "fuzz/fuzz_input.h"
#include "panel/cabinet.h"

using fuzz::check;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::string cabinet(reinterpret_cast<const char*>(data), size);
    for (const char* name : {"gauge.xml", "Folder\\Gauge.XML"}) {
        std::string contents, error;
        const CabinetResult result = read_from_cabinet(cabinet, name, contents, error);
        if (result == CabinetResult::FOUND) {
            check(contents.size() <= CABINET_FILE_LIMIT);
        } else {
            check(!error.empty());
        }
    }
    return 0;
}
