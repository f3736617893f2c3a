// How fast WaveFileReader hands out a large file's samples (open, then one read of the whole
// "data" chunk, as a slot buffer is filled), beside a plain read() of the same bytes into a
// buffer. The file is 32 MiB of 16-bit stereo samples, made once in /tmp and read from the page
// cache.
#include <benchmark/benchmark.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "sound/wave_reader.h"
#include "support/riff_builder.h"

namespace {

const char* const BENCH_FILE = "/tmp/cuebox_bench_32mib_stereo16.wav";
const size_t DATA_SIZE = 32u << 20;
const size_t HEADER_SIZE = 44;  // RIFF + WAVE + "fmt " (16) + "data" header

// Makes the file unless it is already there with the right size, then reads it once so that
// it is in the page cache.
bool prepare_file() {
    struct stat status;
    if (::stat(BENCH_FILE, &status) != 0 ||
        static_cast<size_t>(status.st_size) != HEADER_SIZE + DATA_SIZE) {
        riff::Bytes chunks = riff::pcm_format(2, 44100, 16);
        riff::append(chunks, riff::chunk("data", riff::pattern(DATA_SIZE)));
        riff::Bytes contents = riff::file(chunks);
        std::FILE* out = std::fopen(BENCH_FILE, "wb");
        if (!out) return false;
        bool written = std::fwrite(contents.data(), 1, contents.size(), out) == contents.size();
        if (std::fclose(out) != 0 || !written) return false;
    }
    std::vector<char> sink(1 << 20);
    int fd = ::open(BENCH_FILE, O_RDONLY);
    if (fd < 0) return false;
    while (::read(fd, sink.data(), sink.size()) > 0) {
    }
    ::close(fd);
    return true;
}

// The destination, on a cache line as sound buffers are, and touched once so that page faults
// are not timed.
BYTE* destination() {
    static BYTE* buffer = [] {
        BYTE* memory = static_cast<BYTE*>(std::aligned_alloc(64, DATA_SIZE));
        if (memory) std::memset(memory, 1, DATA_SIZE);
        return memory;
    }();
    return buffer;
}

void BM_WaveReaderReadsAllData(benchmark::State& state) {
    if (!prepare_file() || !destination()) {
        state.SkipWithError("cannot make the benchmark file");
        return;
    }
    BYTE* out = destination();
    for (auto _ : state) {
        WaveFileReader reader;
        DWORD got = 0;
        if (reader.open(BENCH_FILE) != S_OK ||
            reader.read(reader.data_size(), out, &got) != S_OK || got != DATA_SIZE) {
            state.SkipWithError("the reader failed");
            return;
        }
        benchmark::DoNotOptimize(out);
        benchmark::ClobberMemory();
    }
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * DATA_SIZE));
}

void BM_PlainReadOfTheSameBytes(benchmark::State& state) {
    if (!prepare_file() || !destination()) {
        state.SkipWithError("cannot make the benchmark file");
        return;
    }
    BYTE* out = destination();
    for (auto _ : state) {
        int fd = ::open(BENCH_FILE, O_RDONLY);
        size_t done = 0;
        if (fd >= 0 && ::lseek(fd, HEADER_SIZE, SEEK_SET) == static_cast<off_t>(HEADER_SIZE)) {
            ssize_t got;
            while (done < DATA_SIZE && (got = ::read(fd, out + done, DATA_SIZE - done)) > 0)
                done += static_cast<size_t>(got);
        }
        if (fd >= 0) ::close(fd);
        if (done != DATA_SIZE) {
            state.SkipWithError("read() failed");
            return;
        }
        benchmark::DoNotOptimize(out);
        benchmark::ClobberMemory();
    }
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * DATA_SIZE));
}

BENCHMARK(BM_WaveReaderReadsAllData)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_PlainReadOfTheSameBytes)->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
