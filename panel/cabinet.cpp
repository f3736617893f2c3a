// Reading a file out of a cabinet held in memory: libmspack reads and writes through a small
// file system of ours whose one input is the cabinet's bytes and whose one output is a string.
#include "panel/cabinet.h"

#include <mspack.h>

#include <algorithm>
#include <cstdlib>
#include <cstring>

#include "panel/variable_ref.h"

namespace {

const char* const INPUT_NAME = "cabinet";
const char* const OUTPUT_NAME = "extracted";

struct MemorySystem {
    mspack_system base;  // first, so libmspack's pointer is ours
    const std::string* input;
    std::string* output;
    size_t output_limit;
};

struct MemoryFile {
    MemorySystem* system;
    bool writing;
    size_t position;
};

mspack_file* memory_open(mspack_system* self, const char* name, int mode) {
    MemorySystem* system = reinterpret_cast<MemorySystem*>(self);
    const bool reading = mode == MSPACK_SYS_OPEN_READ && std::strcmp(name, INPUT_NAME) == 0;
    const bool writing = mode == MSPACK_SYS_OPEN_WRITE && std::strcmp(name, OUTPUT_NAME) == 0;
    // Other names are the neighbours of a cabinet set spread over several files: not here.
    if (!reading && !writing) return nullptr;
    if (writing) system->output->clear();
    return reinterpret_cast<mspack_file*>(new MemoryFile{system, writing, 0});
}

void memory_close(mspack_file* file) {
    delete reinterpret_cast<MemoryFile*>(file);
}

int memory_read(mspack_file* handle, void* buffer, int bytes) {
    MemoryFile* file = reinterpret_cast<MemoryFile*>(handle);
    const std::string& input = *file->system->input;
    if (file->writing || bytes < 0) return -1;
    const size_t left = file->position < input.size() ? input.size() - file->position : 0;
    const size_t count = std::min(left, static_cast<size_t>(bytes));
    std::memcpy(buffer, input.data() + file->position, count);
    file->position += count;
    return static_cast<int>(count);
}

int memory_write(mspack_file* handle, void* buffer, int bytes) {
    MemoryFile* file = reinterpret_cast<MemoryFile*>(handle);
    std::string& output = *file->system->output;
    if (!file->writing || bytes < 0 ||
        output.size() + static_cast<size_t>(bytes) > file->system->output_limit)
        return -1;
    output.append(static_cast<const char*>(buffer), static_cast<size_t>(bytes));
    return bytes;
}

int memory_seek(mspack_file* handle, off_t offset, int mode) {
    MemoryFile* file = reinterpret_cast<MemoryFile*>(handle);
    const off_t size = static_cast<off_t>(file->writing ? file->system->output->size()
                                                        : file->system->input->size());
    off_t base = 0;
    if (mode == MSPACK_SYS_SEEK_CUR) base = static_cast<off_t>(file->position);
    if (mode == MSPACK_SYS_SEEK_END) base = size;
    const off_t target = base + offset;
    if (target < 0 || target > size) return -1;
    file->position = static_cast<size_t>(target);
    return 0;
}

off_t memory_tell(mspack_file* handle) {
    return static_cast<off_t>(reinterpret_cast<MemoryFile*>(handle)->position);
}

void memory_message(mspack_file*, const char*, ...) {}

void* memory_alloc(mspack_system*, size_t bytes) {
    return std::malloc(bytes);
}

void memory_free(void* pointer) {
    std::free(pointer);
}

void memory_copy(void* from, void* to, size_t bytes) {
    std::memcpy(to, from, bytes);
}

// The name without the folder it may have inside the cabinet.
std::string base_name(const std::string& name) {
    const size_t slash = name.find_last_of("\\/");
    return slash == std::string::npos ? name : name.substr(slash + 1);
}

}  // namespace

CabinetResult read_from_cabinet(const std::string& cabinet, const std::string& name,
                                std::string& contents, std::string& error) {
    contents.clear();
    std::string extracted;
    MemorySystem system{
        {memory_open, memory_close, memory_read, memory_write, memory_seek, memory_tell,
         memory_message, memory_alloc, memory_free, memory_copy, nullptr},
        &cabinet,
        &extracted,
        CABINET_FILE_LIMIT};
    mscab_decompressor* decompressor = mspack_create_cab_decompressor(&system.base);
    if (!decompressor) {
        error = "the cabinet reader could not start";
        return CabinetResult::DAMAGED;
    }
    CabinetResult result = CabinetResult::NOT_IN_CABINET;
    mscabd_cabinet* opened = decompressor->open(decompressor, INPUT_NAME);
    if (!opened) {
        error = "not a cabinet file (libmspack error " +
                std::to_string(decompressor->last_error(decompressor)) + ")";
        result = CabinetResult::NOT_A_CABINET;
    } else {
        mscabd_file* found = nullptr;
        std::string names;
        for (mscabd_file* file = opened->files; file; file = file->next) {
            const std::string file_name = file->filename ? file->filename : "";
            if (!found && (same_text(file_name, name) || same_text(base_name(file_name), name)))
                found = file;
            if (names.size() < 200) names += (names.empty() ? "" : ", ") + file_name;
        }
        if (!found) {
            error = "the cabinet holds no " + name +
                    " (it holds: " + (names.empty() ? std::string("nothing") : names) + ")";
        } else if (found->length > CABINET_FILE_LIMIT) {
            error = name + " in the cabinet is " + std::to_string(found->length) +
                    " bytes, more than a gauge file may be";
            result = CabinetResult::TOO_LARGE;
        } else if (decompressor->extract(decompressor, found, OUTPUT_NAME) != MSPACK_ERR_OK ||
                   extracted.size() != found->length) {
            error = name + " cannot be read out of the cabinet: it is damaged (libmspack error " +
                    std::to_string(decompressor->last_error(decompressor)) + ")";
            result = CabinetResult::DAMAGED;
        } else {
            contents.swap(extracted);
            result = CabinetResult::FOUND;
        }
        decompressor->close(decompressor, opened);
    }
    mspack_destroy_cab_decompressor(decompressor);
    return result;
}
