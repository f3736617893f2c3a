// WaveFileReader on files made byte by byte (the header rules, the format block, the "data"
// search, reads, resets and failures part way) and on real WAV files written by sox. Only the
// reader and Win32 names are used, so the tests run under Wine too; sox runs only off Windows.
#include "sound/wave_reader.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <iterator>
#include <memory>
#include <string>

#include "support/riff_builder.h"
#include "support/test_folder.h"

namespace {

using riff::Bytes;

// A reader opened on a file that lives as long as it does.
struct OpenedReader {
    explicit OpenedReader(const Bytes& contents) : temp(contents) {
        EXPECT_TRUE(temp.ok());
        result = reader.open(temp.path());
    }
    riff::TempFile temp;
    WaveFileReader reader;
    HRESULT result;
};

Bytes read_all(WaveFileReader& reader, DWORD count, HRESULT* result = nullptr) {
    Bytes out(count);
    DWORD got = 12345;
    HRESULT hr = reader.read(count, out.data(), &got);
    if (result) *result = hr;
    EXPECT_LE(got, count);
    out.resize(got > count ? count : got);
    return out;
}

Bytes format_bytes(const WAVEFORMATEX* format) {
    const BYTE* bytes = reinterpret_cast<const BYTE*>(format);
    return Bytes(bytes, bytes + sizeof(WAVEFORMATEX) + format->cbSize);
}

TEST(WaveReaderHeader, RejectsFilesThatAreNotRiffWave) {
    Bytes samples = riff::pattern(10);
    Bytes chunks = riff::pcm_format(1, 8000, 8);
    riff::append(chunks, riff::chunk("data", samples));
    Bytes riff_size_of_whole = riff::file(chunks);
    uint32_t size = static_cast<uint32_t>(riff_size_of_whole.size() - 8);
    for (const Bytes& contents : {riff::file_with_size(size, chunks, "WAVE", "RIFX"),
                                  riff::file_with_size(size, chunks, "AVI "), Bytes{}}) {
        OpenedReader opened(contents);
        EXPECT_EQ(opened.result, E_FAIL);
        EXPECT_EQ(opened.reader.format, nullptr);
        EXPECT_EQ(opened.reader.file, nullptr) << "a header failure closes the file";
    }
}

TEST(WaveReaderHeader, NeedsAFormatChunkOfSixteenBytes) {
    Bytes fourteen_bytes = riff::format_fields(1, 1, 8000, 8);
    fourteen_bytes.resize(14);
    Bytes short_format = riff::chunk("fmt ", fourteen_bytes);
    riff::append(short_format, riff::chunk("data", riff::pattern(8)));
    OpenedReader fourteen(riff::file(short_format));
    EXPECT_EQ(fourteen.result, E_FAIL);
    EXPECT_EQ(fourteen.reader.format, nullptr);

    OpenedReader no_format(riff::file(riff::chunk("data", riff::pattern(8))));
    EXPECT_EQ(no_format.result, E_FAIL);

    // A size field that claims 16 bytes the file does not have.
    Bytes cut = riff::file(riff::chunk_with_size("fmt ", 16, riff::pattern(9)));
    OpenedReader cut_short(cut);
    EXPECT_EQ(cut_short.result, E_FAIL);
    EXPECT_EQ(cut_short.reader.format, nullptr);

    // The same at the end of a file whose "data" comes first, so that nothing else fails.
    Bytes data_first = riff::chunk("data", riff::pattern(8));
    riff::append(data_first, riff::chunk_with_size("fmt ", 16, riff::format_fields(1, 1, 8000, 8)));
    data_first.pop_back();
    OpenedReader fifteen(riff::file(data_first));
    EXPECT_EQ(fifteen.result, E_FAIL);
    EXPECT_EQ(fifteen.reader.format, nullptr);
}

TEST(WaveReaderHeader, PcmFormatBlockHasCbSizeZeroAndSkipsTheFilesExtraField) {
    Bytes fields = riff::format_fields(1, 2, 44100, 16);
    Bytes with_extra = fields;
    riff::append_le16(with_extra, 22);  // a stray cbSize that PCM does not use
    Bytes chunks = riff::chunk("fmt ", with_extra);
    riff::append(chunks, riff::chunk("data", riff::pattern(40)));
    OpenedReader opened(riff::file(chunks));
    ASSERT_EQ(opened.result, S_OK);
    Bytes expected = fields;
    riff::append_le16(expected, 0);
    EXPECT_EQ(format_bytes(opened.reader.format), expected);
    EXPECT_EQ(opened.reader.data_chunk.cksize, 40u);
    EXPECT_EQ(read_all(opened.reader, 40), riff::pattern(40));
}

TEST(WaveReaderHeader, OtherFormatTagsKeepTheirExtraBytes) {
    Bytes fields = riff::format_fields(2, 1, 22050, 4);
    Bytes extra = {0xF4, 0x01, 0x07, 0x00, 0xAA};
    Bytes format_data = fields;
    riff::append_le16(format_data, static_cast<uint16_t>(extra.size()));
    riff::append(format_data, extra);  // 23 bytes: odd, so a pad byte follows
    Bytes chunks = riff::chunk("fmt ", format_data);
    riff::append(chunks, riff::chunk("fact", riff::pattern(4)));
    riff::append(chunks, riff::chunk("data", riff::pattern(33)));
    OpenedReader opened(riff::file(chunks));
    ASSERT_EQ(opened.result, S_OK);
    EXPECT_EQ(format_bytes(opened.reader.format), format_data);
    EXPECT_EQ(read_all(opened.reader, 100), riff::pattern(33));
}

// With a non-PCM tag and a 16-byte "fmt ", the extra count is the next chunk's first two bytes:
// "da" of "data" is 0x6164 = 24932 bytes, taken from the file from there on.
TEST(WaveReaderHeader, NonPcmFormatOfSixteenBytesTakesItsCountFromTheNextChunk) {
    const uint16_t count = 0x6164;
    Bytes chunks = riff::chunk("fmt ", riff::format_fields(3, 1, 8000, 32));
    Bytes data_chunk = riff::chunk("data", riff::pattern(count + 100));
    riff::append(chunks, data_chunk);
    OpenedReader opened(riff::file(chunks));
    ASSERT_EQ(opened.result, S_OK);
    ASSERT_EQ(opened.reader.format->cbSize, count);
    const BYTE* extra = reinterpret_cast<const BYTE*>(opened.reader.format) + 18;
    EXPECT_TRUE(std::equal(extra, extra + count, data_chunk.begin() + 2));
    // The "data" search starts again behind the form type.
    EXPECT_EQ(opened.reader.data_chunk.cksize, count + 100u);
    EXPECT_EQ(read_all(opened.reader, count + 100), riff::pattern(count + 100));

    // When the file does not hold that many bytes, the open fails and frees the block.
    Bytes short_chunks = riff::chunk("fmt ", riff::format_fields(3, 1, 8000, 32));
    riff::append(short_chunks, riff::chunk("data", riff::pattern(100)));
    OpenedReader failed(riff::file(short_chunks));
    EXPECT_EQ(failed.result, E_FAIL);
    EXPECT_EQ(failed.reader.format, nullptr);
    EXPECT_EQ(failed.reader.file, nullptr);

    // ... and when the file ends right behind the 16 bytes, there is no count to read.
    OpenedReader at_end(riff::file(riff::chunk("fmt ", riff::format_fields(2, 1, 8000, 4))));
    EXPECT_EQ(at_end.result, E_FAIL);
    EXPECT_EQ(at_end.reader.format, nullptr);
}

TEST(WaveReaderData, FindsDataBeforeFormatAndTakesTheFirstOfTwo) {
    Bytes chunks = riff::chunk("data", riff::pattern(21, 1));
    riff::append(chunks, riff::chunk("junk", riff::pattern(3)));
    riff::append(chunks, riff::pcm_format(1, 11025, 8));
    riff::append(chunks, riff::chunk("data", riff::pattern(50, 2)));
    OpenedReader opened(riff::file(chunks));
    ASSERT_EQ(opened.result, S_OK);
    EXPECT_EQ(opened.reader.format->nSamplesPerSec, 11025u);
    EXPECT_EQ(opened.reader.data_chunk.cksize, 21u);
    EXPECT_EQ(read_all(opened.reader, 64), riff::pattern(21, 1));
}

TEST(WaveReaderData, StepsOverListsOddChunksAndEmptyChunks) {
    Bytes chunks = riff::info_list("made by hand");
    riff::append(chunks, riff::pcm_format(2, 8000, 8));
    riff::append(chunks, riff::chunk("odd ", riff::pattern(7)));
    riff::append(chunks, riff::chunk("none", {}));
    riff::append(chunks, riff::chunk("data", riff::pattern(9)));
    riff::append(chunks, riff::info_list("after the data"));
    OpenedReader opened(riff::file(chunks));
    ASSERT_EQ(opened.result, S_OK);
    EXPECT_EQ(read_all(opened.reader, 9), riff::pattern(9));
}

// The reader hands the RIFF chunk to the search as its parent. Windows searches "within the
// parent chunk"; Wine's winmm walks on past the parent's end, so this runs on our layer only.
TEST(WaveReaderData, TheSearchForDataStaysInsideTheRiffChunk) {
#if defined(_WIN32)
    GTEST_SKIP() << "Wine's chunk search does not stop at the parent's end";
#endif
    Bytes format = riff::pcm_format(1, 8000, 8);
    Bytes chunks = format;
    riff::append(chunks, riff::chunk("data", riff::pattern(8)));
    // The RIFF chunk ends with "fmt "; the "data" chunk behind it lies outside.
    const uint32_t ends_with_format = static_cast<uint32_t>(4 + format.size());
    OpenedReader outside(riff::file_with_size(ends_with_format, chunks));
    EXPECT_EQ(outside.result, E_FAIL);
    OpenedReader inside(riff::file_with_size(ends_with_format + 16, chunks));
    EXPECT_EQ(inside.result, S_OK);
}

TEST(WaveReaderData, MissingDataKeepsTheFileAndFormatUntilDestroyed) {
    auto opened = std::make_unique<OpenedReader>(riff::file(riff::pcm_format(1, 8000, 8)));
    EXPECT_EQ(opened->result, E_FAIL);
    EXPECT_NE(opened->reader.file, nullptr);
    EXPECT_NE(opened->reader.format, nullptr);
    EXPECT_EQ(opened->reader.reset_to_data(), E_FAIL);
    opened.reset();  // the sanitizer build would report a leak here

    // A failure at the first step holds nothing, and destroying the reader closes nothing.
    WaveFileReader never_opened;
    EXPECT_EQ(never_opened.open("no_such_folder\\no_such.wav"), E_FAIL);
    EXPECT_EQ(never_opened.file, nullptr);
    EXPECT_EQ(never_opened.format, nullptr);
    EXPECT_EQ(never_opened.close(), S_OK);
}

TEST(WaveReaderRead, DeliversWhatIsLeftThenNothing) {
    const Bytes samples = riff::pattern(25);
    OpenedReader opened(riff::wav(samples));
    ASSERT_EQ(opened.result, S_OK);
    DWORD got = 99;
    EXPECT_EQ(opened.reader.read(0, nullptr, &got), S_OK);
    EXPECT_EQ(got, 0u);
    EXPECT_EQ(opened.reader.data_chunk.cksize, 25u);
    EXPECT_EQ(read_all(opened.reader, 10), Bytes(samples.begin(), samples.begin() + 10));
    EXPECT_EQ(opened.reader.data_chunk.cksize, 15u);
    EXPECT_EQ(read_all(opened.reader, 1000), Bytes(samples.begin() + 10, samples.end()));
    EXPECT_EQ(opened.reader.data_chunk.cksize, 0u);
    HRESULT result = E_FAIL;
    EXPECT_TRUE(read_all(opened.reader, 10, &result).empty());
    EXPECT_EQ(result, S_OK);
}

TEST(WaveReaderRead, CopiesAcrossBufferRefillsInPiecesOfAnySize) {
    const size_t size = 5 * MMIO_DEFAULTBUFFER + 333;
    const Bytes samples = riff::pattern(size, 9);
    Bytes chunks = riff::chunk("junk", riff::pattern(8191));  // an odd start for the data
    riff::append(chunks, riff::pcm_format(2, 44100, 16));
    riff::append(chunks, riff::chunk("data", samples));
    OpenedReader opened(riff::file(chunks));
    ASSERT_EQ(opened.result, S_OK);
    Bytes all;
    for (DWORD piece : {1u, 8191u, 8192u, 8193u, 3u, 100000u})
        riff::append(all, read_all(opened.reader, piece));
    EXPECT_EQ(all, samples);

    // A reset starts over at the first sample byte with the full count.
    ASSERT_EQ(opened.reader.reset_to_data(), S_OK);
    EXPECT_EQ(opened.reader.data_chunk.cksize, size);
    EXPECT_EQ(read_all(opened.reader, static_cast<DWORD>(size)), samples);
}

TEST(WaveReaderRead, DataLongerThanTheFileIsCutToTheWholeFramesTheFileHolds) {
    // 16-bit stereo frames of 4 bytes; the file holds 1002 bytes after the chunk's start.
    Bytes chunks = riff::pcm_format(2, 8000, 16);
    riff::append(chunks,
                 riff::chunk_with_size("data", 3 * MMIO_DEFAULTBUFFER, riff::pattern(1002)));
    OpenedReader opened(riff::file(chunks));
    ASSERT_EQ(opened.result, S_OK);
    EXPECT_EQ(opened.reader.data_chunk.cksize, 1000u);

    Bytes buffer(2000);
    DWORD got = 77;
    EXPECT_EQ(opened.reader.read(2000, buffer.data(), &got), S_OK);
    EXPECT_EQ(got, 1000u);
    EXPECT_TRUE(std::equal(buffer.begin(), buffer.begin() + 1000, riff::pattern(1000).begin()));
    EXPECT_EQ(opened.reader.data_chunk.cksize, 0u);

    // Every reset cuts it again, and frames of one byte need no rounding.
    ASSERT_EQ(opened.reader.reset_to_data(), S_OK);
    EXPECT_EQ(opened.reader.data_chunk.cksize, 1000u);
    Bytes bytes = riff::pcm_format(1, 8000, 8);
    riff::append(bytes, riff::chunk_with_size("data", 0x0FFFFFFF, riff::pattern(1001)));
    OpenedReader mono(riff::file(bytes));
    ASSERT_EQ(mono.result, S_OK);
    EXPECT_EQ(mono.reader.data_chunk.cksize, 1001u);
    EXPECT_EQ(read_all(mono.reader, 5000), riff::pattern(1001));

    // A chunk the file holds whole keeps its declared size, a part frame at its end and all.
    Bytes whole = riff::pcm_format(2, 8000, 16);
    riff::append(whole, riff::chunk("data", riff::pattern(1002)));
    OpenedReader complete(riff::file(whole));
    ASSERT_EQ(complete.result, S_OK);
    EXPECT_EQ(complete.reader.data_chunk.cksize, 1002u);
}

TEST(WaveReaderRead, AReadPastTheFilesEndFailsAndUsesUpTheCount) {
    Bytes chunks = riff::pcm_format(1, 8000, 8);
    riff::append(chunks, riff::chunk("data", riff::pattern(1000)));
    OpenedReader opened(riff::file(chunks));
    ASSERT_EQ(opened.result, S_OK);
    // A count above what the file holds, as if the file had been cut since it was measured.
    MMCKINFO chunk = opened.reader.data_chunk;
    chunk.cksize = 5000;
    Bytes buffer(3000);
    DWORD got = 77;
    EXPECT_EQ(read_data_bytes(opened.reader.file, 3000, buffer.data(), chunk, &got), E_FAIL);
    EXPECT_EQ(got, 0u);
    EXPECT_EQ(chunk.cksize, 2000u);
    EXPECT_TRUE(std::equal(buffer.begin(), buffer.begin() + 1000, riff::pattern(1000).begin()))
        << "the bytes the file holds were copied before the end was met";
    // Only a reset makes the reader usable again.
    ASSERT_EQ(opened.reader.reset_to_data(), S_OK);
    EXPECT_EQ(read_all(opened.reader, 1000), riff::pattern(1000));
}

TEST(WaveReaderRead, RiffSizeLargerThanTheFileIsHarmless) {
    Bytes chunks = riff::pcm_format(1, 8000, 16);
    riff::append(chunks, riff::chunk("data", riff::pattern(64)));
    OpenedReader opened(riff::file_with_size(100000, chunks));
    ASSERT_EQ(opened.result, S_OK);
    EXPECT_EQ(read_all(opened.reader, 64), riff::pattern(64));
}

// Wine's winmm computes chunk positions in 32 bits and can loop for ever on these files, so
// they run against our platform layer only.
TEST(WaveReaderHostile, ChunkSizesNearTwoToThe32FailOrReadSafely) {
#if defined(_WIN32)
    GTEST_SKIP() << "Wine's chunk search can loop on these sizes";
#else
    for (uint32_t size : {0xFFFFFFFFu, 0xFFFFFFFEu, 0xFFFFFFF8u, 0xFFFFFFF0u, 0x7FFFFFFFu}) {
        Bytes before = riff::pcm_format(1, 8000, 8);
        riff::append(before, riff::chunk_with_size("huge", size, riff::pattern(16)));
        riff::append(before, riff::chunk("data", riff::pattern(8)));
        OpenedReader skipped(riff::file(before));
        EXPECT_EQ(skipped.result, E_FAIL) << std::hex << size;

        Bytes data = riff::pcm_format(1, 8000, 8);
        riff::append(data, riff::chunk_with_size("data", size, riff::pattern(300)));
        OpenedReader huge_data(riff::file_with_size(size, data));
        ASSERT_EQ(huge_data.result, S_OK) << std::hex << size;
        EXPECT_EQ(huge_data.reader.data_chunk.cksize, 300u) << "what the file holds";
        Bytes buffer(300);
        DWORD got = 1;
        EXPECT_EQ(huge_data.reader.read(300, buffer.data(), &got), S_OK);
        EXPECT_EQ(buffer, riff::pattern(300));
        EXPECT_EQ(huge_data.reader.read(1, buffer.data(), &got), S_OK);
        EXPECT_EQ(got, 0u);
    }
#endif
}

// ---- Real files written by sox ----

#if !defined(_WIN32)

bool sox_available() {
    return std::system("sox --version > /dev/null 2>&1") == 0;
}

Bytes load(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return Bytes(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

struct SoxCase {
    int bits;
    int channels;
    int rate;
};

class WaveReaderSox : public ::testing::TestWithParam<SoxCase> {
  protected:
    void SetUp() override {
        if (!sox_available()) GTEST_SKIP() << "sox is not installed";
        const SoxCase& c = GetParam();
        ASSERT_TRUE(folder_.ok()) << folder_.path();
        wav_ = folder_.file("sox.wav");
        raw_ = folder_.file("sox.raw");
        // Two tones and some noise, 0.7 s: long enough to cross several I/O buffers.
        std::string make = "sox -D -n -r " + std::to_string(c.rate) + " -b " +
                           std::to_string(c.bits) + " -c " + std::to_string(c.channels) + " '" +
                           wav_ + "' synth 0.7 sine 440 sine 660 synth 0.7 whitenoise mix";
        ASSERT_EQ(std::system(make.c_str()), 0) << make;
        std::string samples = "sox '" + wav_ + "' -t raw '" + raw_ + "'";
        ASSERT_EQ(std::system(samples.c_str()), 0) << samples;
    }

    TestFolder folder_;
    std::string wav_;
    std::string raw_;
};

TEST_P(WaveReaderSox, ReadsTheSamplesSoxWrote) {
    const SoxCase& c = GetParam();
    const Bytes samples = load(raw_);
    ASSERT_GT(samples.size(), 2u * MMIO_DEFAULTBUFFER / 4);

    WaveFileReader reader;
    ASSERT_EQ(reader.open(wav_.c_str()), S_OK);
    EXPECT_EQ(reader.format->wFormatTag, WAVE_FORMAT_PCM);
    EXPECT_EQ(reader.format->nChannels, c.channels);
    EXPECT_EQ(reader.format->nSamplesPerSec, static_cast<DWORD>(c.rate));
    EXPECT_EQ(reader.format->wBitsPerSample, c.bits);
    EXPECT_EQ(reader.format->cbSize, 0);
    ASSERT_EQ(reader.data_chunk.cksize, samples.size());
    EXPECT_EQ(read_all(reader, reader.data_chunk.cksize), samples);
}

TEST_P(WaveReaderSox, ReadsSoxSamplesAmongListChunksBeforeAndAfterData) {
    const SoxCase& c = GetParam();
    const Bytes samples = load(raw_);
    Bytes chunks = riff::info_list("Gear down, locked.");
    riff::append(chunks,
                 riff::pcm_format(static_cast<uint16_t>(c.channels), static_cast<uint32_t>(c.rate),
                                  static_cast<uint16_t>(c.bits)));
    riff::append(chunks, riff::info_list("x"));
    riff::append(chunks, riff::chunk("data", samples));
    riff::append(chunks, riff::info_list("after the samples"));
    OpenedReader opened(riff::file(chunks));
    ASSERT_EQ(opened.result, S_OK);
    EXPECT_EQ(read_all(opened.reader, opened.reader.data_chunk.cksize), samples);
    ASSERT_EQ(opened.reader.reset_to_data(), S_OK);
    EXPECT_EQ(read_all(opened.reader, static_cast<DWORD>(samples.size() + 1000)), samples);
}

INSTANTIATE_TEST_SUITE_P(Formats, WaveReaderSox,
                         ::testing::Values(SoxCase{8, 1, 8000}, SoxCase{8, 2, 11025},
                                           SoxCase{16, 1, 22050}, SoxCase{16, 2, 44100},
                                           SoxCase{16, 2, 48000}, SoxCase{8, 1, 44100}),
                         [](const ::testing::TestParamInfo<SoxCase>& info) {
                             return std::to_string(info.param.bits) + "bit_" +
                                    std::to_string(info.param.channels) + "ch_" +
                                    std::to_string(info.param.rate);
                         });

// sox's own non-PCM files: IMA ADPCM carries two extra format bytes and a "fact" chunk; float
// has an 18-byte "fmt " with no extra bytes.
TEST(WaveReaderSoxFormats, KeepsTheFormatOfNonPcmFiles) {
    if (!sox_available()) GTEST_SKIP() << "sox is not installed";
    TestFolder folder;
    ASSERT_TRUE(folder.ok()) << folder.path();
    const std::string adpcm = folder.file("adpcm.wav");
    const std::string floats = folder.file("float.wav");
    const std::string floats_raw = folder.file("float.raw");
    ASSERT_EQ(
        std::system(
            ("sox -D -n -r 8000 -c 1 -e ima-adpcm '" + adpcm + "' synth 0.5 sine 440").c_str()),
        0);
    ASSERT_EQ(
        std::system(("sox -D -n -r 8000 -c 1 -e floating-point -b 32 '" + floats +
                     "' synth 0.5 sine 440 && sox '" + floats + "' -t raw '" + floats_raw + "'")
                        .c_str()),
        0);

    WaveFileReader adpcm_reader;
    ASSERT_EQ(adpcm_reader.open(adpcm.c_str()), S_OK);
    EXPECT_EQ(adpcm_reader.format->wFormatTag, 0x11);
    ASSERT_EQ(adpcm_reader.format->cbSize, 2);
    const Bytes file = load(adpcm);
    const BYTE* extra = reinterpret_cast<const BYTE*>(adpcm_reader.format) + 18;
    EXPECT_TRUE(std::equal(extra, extra + 2, file.begin() + 20 + 18)) << "samples per block";
    // sox writes "data" last, so its bytes end the file.
    const DWORD size = adpcm_reader.data_chunk.cksize;
    ASSERT_GT(size, 0u);
    EXPECT_EQ(read_all(adpcm_reader, size), Bytes(file.end() - size, file.end()));

    WaveFileReader float_reader;
    ASSERT_EQ(float_reader.open(floats.c_str()), S_OK);
    EXPECT_EQ(float_reader.format->wFormatTag, WAVE_FORMAT_IEEE_FLOAT);
    EXPECT_EQ(float_reader.format->cbSize, 0);
    EXPECT_EQ(read_all(float_reader, float_reader.data_chunk.cksize), load(floats_raw));
}

#endif  // !_WIN32

}  // namespace
