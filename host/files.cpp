// Opening files for the host without blocking on names that are not regular files.
#include "host/files.h"

#include <sys/stat.h>

#include <cerrno>
#include <cstring>

#if !defined(_WIN32)
#include <fcntl.h>
#include <unistd.h>
#endif

std::FILE* open_regular_file(const std::string& path, const char* mode) {
#if !defined(_WIN32)
    // For reading, the check is made on the open file, so nothing can swap a pipe in between,
    // and the open itself does not wait for a pipe's writer.
    if (mode[0] == 'r' && !std::strchr(mode, '+')) {
        const int fd = ::open(path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
        if (fd < 0) return nullptr;
        struct stat status;
        if (::fstat(fd, &status) != 0 || !S_ISREG(status.st_mode)) {
            ::close(fd);
            errno = EACCES;
            return nullptr;
        }
        ::fcntl(fd, F_SETFL, ::fcntl(fd, F_GETFL) & ~O_NONBLOCK);
        std::FILE* file = ::fdopen(fd, mode);
        if (!file) ::close(fd);
        return file;
    }
#endif
    struct stat status;
    if (::stat(path.c_str(), &status) == 0 && !S_ISREG(status.st_mode)) {
        errno = EACCES;
        return nullptr;
    }
    return std::fopen(path.c_str(), mode);
}

bool read_regular_file(const std::string& path, std::string& text) {
    text.clear();
    std::FILE* file = open_regular_file(path, "rb");
    if (!file) return false;
    char block[1 << 14];
    size_t got;
    while ((got = std::fread(block, 1, sizeof block, file)) > 0) text.append(block, got);
    const bool complete = !std::ferror(file);
    std::fclose(file);
    return complete;
}
