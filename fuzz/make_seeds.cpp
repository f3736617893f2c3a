// Writes the seed files of the WAV reader's fuzz target into the folder given as argument:
// ordinary WAV files, and the shapes that have broken readers before (sizes that lie, sizes
// near 2^32, empty and odd-sized chunks, a non-PCM "fmt " of 16 bytes at the end of the file).
#include <cstdio>
#include <string>
#include <utility>
#include <vector>

#include "support/riff_builder.h"

namespace {

using riff::Bytes;

Bytes with(std::vector<Bytes> chunks) {
    Bytes out;
    for (const Bytes& chunk : chunks) riff::append(out, chunk);
    return out;
}

Bytes non_pcm_format(uint16_t extra_count, const Bytes& extra) {
    Bytes data = riff::format_fields(2, 1, 22050, 4);
    riff::append_le16(data, extra_count);
    riff::append(data, extra);
    return riff::chunk("fmt ", data);
}

}  // namespace

int main(int argc, char** argv) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: %s FOLDER\n", argv[0]);
        return 2;
    }
    const Bytes pcm = riff::pcm_format(2, 44100, 16);
    const Bytes samples = riff::pattern(20000);
    std::vector<std::pair<std::string, Bytes>> seeds = {
        {"pcm16_stereo", riff::wav(samples, 2, 44100, 16)},
        {"pcm8_mono", riff::wav(riff::pattern(301), 1, 8000, 8)},
        {"lists_around_data",
         riff::file(with({riff::info_list("before"), pcm, riff::chunk("data", samples),
                          riff::info_list("after")}))},
        {"data_before_format", riff::file(with({riff::chunk("data", riff::pattern(99)), pcm}))},
        {"two_data_chunks", riff::file(with({pcm, riff::chunk("data", riff::pattern(10)),
                                             riff::chunk("data", riff::pattern(20))}))},
        {"data_longer_than_file",
         riff::file(with({pcm, riff::chunk_with_size("data", 100000, riff::pattern(5000))}))},
        {"riff_size_too_small",
         riff::file_with_size(20, with({pcm, riff::chunk("data", samples)}))},
        {"riff_size_too_large",
         riff::file_with_size(1000000, with({pcm, riff::chunk("data", riff::pattern(64))}))},
        {"riff_size_all_ones",
         riff::file_with_size(0xFFFFFFFFu, with({pcm, riff::chunk("data", riff::pattern(64))}))},
        {"huge_chunk_before_data",
         riff::file(with({pcm, riff::chunk_with_size("junk", 0xFFFFFFF8u, riff::pattern(8)),
                          riff::chunk("data", riff::pattern(64))}))},
        {"huge_odd_chunk_before_data",
         riff::file(with({pcm, riff::chunk_with_size("junk", 0xFFFFFFFFu, riff::pattern(8)),
                          riff::chunk("data", riff::pattern(64))}))},
        {"huge_data",
         riff::file(with({pcm, riff::chunk_with_size("data", 0xFFFFFFFEu, riff::pattern(9000))}))},
        {"zero_length_chunks",
         riff::file(with({riff::chunk("junk", {}), pcm, riff::chunk("data", {})}))},
        {"odd_length_chunks",
         riff::file(with({riff::chunk("junk", riff::pattern(3)), pcm,
                          riff::chunk("data", riff::pattern(8193)), riff::chunk("tail", {1})}))},
        {"odd_chunk_without_pad", riff::file(with({riff::chunk("junk", riff::pattern(3), false),
                                                   pcm, riff::chunk("data", riff::pattern(77))}))},
        {"non_pcm_format_16_at_end",
         riff::file(with({riff::chunk("data", riff::pattern(40)),
                          riff::chunk("fmt ", riff::format_fields(2, 1, 22050, 4))}))},
        {"non_pcm_format_16_before_data",
         riff::file(with({riff::chunk("fmt ", riff::format_fields(3, 1, 8000, 32)),
                          riff::chunk("data", riff::pattern(300))}))},
        {"non_pcm_format_with_extra",
         riff::file(with({non_pcm_format(2, {0xF4, 0x01}), riff::chunk("fact", riff::pattern(4)),
                          riff::chunk("data", riff::pattern(512))}))},
        {"non_pcm_extra_count_too_large",
         riff::file(with({non_pcm_format(60000, {1, 2, 3}), riff::chunk("data", {1, 2})}))},
        {"format_14_bytes", riff::file(with({riff::chunk("fmt ", riff::pattern(14)),
                                             riff::chunk("data", riff::pattern(8))}))},
        {"not_wave", riff::file(with({pcm, riff::chunk("data", riff::pattern(8))}), "AVI ")},
        {"header_only", riff::file({})},
    };
    int failures = 0;
    for (const auto& seed : seeds) {
        std::string path = std::string(argv[1]) + "/" + seed.first + ".wav";
        std::FILE* out = std::fopen(path.c_str(), "wb");
        bool ok = out &&
                  std::fwrite(seed.second.data(), 1, seed.second.size(), out) == seed.second.size();
        if (out && std::fclose(out) != 0) ok = false;
        if (!ok) {
            std::fprintf(stderr, "cannot write %s\n", path.c_str());
            ++failures;
        }
    }
    return failures == 0 ? 0 : 1;
}
