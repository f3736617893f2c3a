// Runs a fuzz target on given inputs, outside libFuzzer: each argument is a file, or a folder
// whose files are all run. The ordinary test builds replay every seed and every input that once
// made a target fail, so a fault found by fuzzing stays found.
#include <dirent.h>
#include <sys/stat.h>

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size);

namespace {

std::vector<std::string> inputs_of(const std::string& path) {
    struct stat status;
    if (::stat(path.c_str(), &status) != 0) return {};
    if (!S_ISDIR(status.st_mode)) return {path};
    std::vector<std::string> files;
    DIR* folder = ::opendir(path.c_str());
    if (!folder) return {};
    while (const dirent* entry = ::readdir(folder)) {
        const std::string name = entry->d_name;
        if (name == "." || name == ".." || name == "README.md") continue;
        for (const std::string& file : inputs_of(path + "/" + name)) files.push_back(file);
    }
    ::closedir(folder);
    std::sort(files.begin(), files.end());
    return files;
}

}  // namespace

int main(int argc, char** argv) {
    int count = 0;
    for (int i = 1; i < argc; ++i) {
        for (const std::string& file : inputs_of(argv[i])) {
            std::ifstream in(file, std::ios::binary);
            const std::vector<char> bytes((std::istreambuf_iterator<char>(in)),
                                          std::istreambuf_iterator<char>());
            LLVMFuzzerTestOneInput(reinterpret_cast<const uint8_t*>(bytes.data()), bytes.size());
            ++count;
        }
    }
    std::printf("replayed %d inputs\n", count);
    return count > 0 ? 0 : 1;
}
