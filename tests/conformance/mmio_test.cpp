// Conformance of the multimedia file I/O calls that the WAV reader relies on: chunk search and
// leaving chunks (odd sizes, pad bytes, parents), reading, seeking, direct access to the I/O
// buffer across refills, and the error values. Only Win32 names are used, so the same tests run
// against our layer natively and against Wine's winmm in the Windows build.
#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "platform/win32.h"
#include "support/riff_builder.h"

namespace {

using riff::Bytes;

FOURCC fourcc(const char* id) {
    return mmioFOURCC(id[0], id[1], id[2], id[3]);
}

// A RIFF file that holds every kind of chunk the reader meets, at known offsets:
//   0 RIFF (size 96)  8 "WAVE"
//  12 "junk" size 3, data 20..22, pad byte 23
//  24 LIST size 16, list type "INFO" at 32; ICMT at 36 size 3, data 44..46, pad byte 47
//  48 "fmt " size 16, data 56..71
//  72 "zero" size 0, data at 80
//  80 "data" size 5, data 88..92, pad byte 93
//  94 "tail" size 2, data 102..103; the file is 104 bytes long.
Bytes layout_file() {
    Bytes chunks = riff::chunk("junk", riff::text("abc"));
    riff::append(chunks, riff::info_list("hi"));
    riff::append(chunks, riff::pcm_format(2, 44100, 16));
    riff::append(chunks, riff::chunk("zero", {}));
    riff::append(chunks, riff::chunk("data", riff::text("12345")));
    riff::append(chunks, riff::chunk("tail", riff::text("zz")));
    return riff::file(chunks);
}

class MmioFile {
  public:
    explicit MmioFile(const Bytes& contents, DWORD flags = MMIO_ALLOCBUF | MMIO_READ)
        : temp_(contents) {
        handle_ = mmioOpenA(const_cast<LPSTR>(temp_.path()), nullptr, flags);
    }
    ~MmioFile() {
        if (handle_) mmioClose(handle_, 0);
    }
    MmioFile(const MmioFile&) = delete;
    MmioFile& operator=(const MmioFile&) = delete;

    HMMIO get() const { return handle_; }
    LONG position() const { return mmioSeek(handle_, 0, SEEK_CUR); }

    // Enters the RIFF chunk at the start of the file.
    MMCKINFO riff() {
        MMCKINFO chunk = {};
        EXPECT_EQ(mmioDescend(handle_, &chunk, nullptr, 0), MMSYSERR_NOERROR);
        return chunk;
    }

  private:
    riff::TempFile temp_;
    HMMIO handle_ = nullptr;
};

TEST(MmioChunkSearch, EntersTheRiffChunkAndReadsItsFormType) {
    ASSERT_EQ(layout_file().size(), 104u);
    MmioFile file(layout_file());
    ASSERT_NE(file.get(), nullptr);
    MMCKINFO riff = file.riff();
    EXPECT_EQ(riff.ckid, FOURCC_RIFF);
    EXPECT_EQ(riff.cksize, 96u);
    EXPECT_EQ(riff.fccType, fourcc("WAVE"));
    EXPECT_EQ(riff.dwDataOffset, 8u);
    EXPECT_EQ(riff.dwFlags, 0u);
    EXPECT_EQ(file.position(), 12) << "the file stands behind the form type";
}

TEST(MmioChunkSearch, FindChunkStepsOverOddSizedChunksPadBytesAndLists) {
    MmioFile file(layout_file());
    ASSERT_NE(file.get(), nullptr);
    MMCKINFO riff = file.riff();

    MMCKINFO format = {};
    format.ckid = fourcc("fmt ");
    format.fccType = fourcc("xxxx");
    ASSERT_EQ(mmioDescend(file.get(), &format, &riff, MMIO_FINDCHUNK), MMSYSERR_NOERROR);
    EXPECT_EQ(format.ckid, fourcc("fmt "));
    EXPECT_EQ(format.cksize, 16u);
    EXPECT_EQ(format.dwDataOffset, 56u);
    EXPECT_EQ(format.fccType, 0u) << "only RIFF and LIST chunks have a form type";
    EXPECT_EQ(file.position(), 56) << "the file stands at the chunk's data";

    // Out of "fmt ", the search goes on from there, past a zero-length chunk.
    ASSERT_EQ(mmioAscend(file.get(), &format, 0), MMSYSERR_NOERROR);
    EXPECT_EQ(file.position(), 72);
    MMCKINFO data = {};
    data.ckid = fourcc("data");
    ASSERT_EQ(mmioDescend(file.get(), &data, &riff, MMIO_FINDCHUNK), MMSYSERR_NOERROR);
    EXPECT_EQ(data.cksize, 5u);
    EXPECT_EQ(data.dwDataOffset, 88u);
    char bytes[5] = {};
    EXPECT_EQ(mmioRead(file.get(), bytes, 5), 5);
    EXPECT_EQ(std::string(bytes, 5), "12345");
}

TEST(MmioChunkSearch, SearchesOnlyFromTheCurrentPositionOn) {
    MmioFile file(layout_file());
    ASSERT_NE(file.get(), nullptr);
    MMCKINFO riff = file.riff();
    ASSERT_EQ(mmioSeek(file.get(), 72, SEEK_SET), 72);
    MMCKINFO junk = {};
    junk.ckid = fourcc("junk");
    EXPECT_EQ(mmioDescend(file.get(), &junk, &riff, MMIO_FINDCHUNK), MMIOERR_CHUNKNOTFOUND);

    MMCKINFO missing = {};
    missing.ckid = fourcc("cue ");
    ASSERT_EQ(mmioSeek(file.get(), 12, SEEK_SET), 12);
    EXPECT_EQ(mmioDescend(file.get(), &missing, &riff, MMIO_FINDCHUNK), MMIOERR_CHUNKNOTFOUND);
}

TEST(MmioChunkSearch, ListChunkGetsItsListTypeAndItsSubchunksAreFound) {
    MmioFile file(layout_file());
    ASSERT_NE(file.get(), nullptr);
    MMCKINFO riff = file.riff();
    ASSERT_EQ(mmioSeek(file.get(), 24, SEEK_SET), 24);
    MMCKINFO list = {};
    ASSERT_EQ(mmioDescend(file.get(), &list, &riff, 0), MMSYSERR_NOERROR);
    EXPECT_EQ(list.ckid, FOURCC_LIST);
    EXPECT_EQ(list.cksize, 16u);
    EXPECT_EQ(list.fccType, fourcc("INFO"));
    EXPECT_EQ(list.dwDataOffset, 32u);
    EXPECT_EQ(file.position(), 36);

    MMCKINFO comment = {};
    comment.ckid = fourcc("ICMT");
    ASSERT_EQ(mmioDescend(file.get(), &comment, &list, MMIO_FINDCHUNK), MMSYSERR_NOERROR);
    EXPECT_EQ(comment.dwDataOffset, 44u);
    EXPECT_EQ(comment.cksize, 3u);

    // A position outside the parent finds nothing in it.
    ASSERT_EQ(mmioSeek(file.get(), 72, SEEK_SET), 72);
    comment.ckid = fourcc("zero");
    EXPECT_EQ(mmioDescend(file.get(), &comment, &list, MMIO_FINDCHUNK), MMIOERR_CHUNKNOTFOUND);
}

// Windows searches "within the parent chunk". Wine's winmm checks only where the search starts
// and walks on past the parent's end, so this one is ours only.
TEST(MmioChunkSearch, SearchInsideAParentStopsAtItsEnd) {
#if defined(_WIN32)
    GTEST_SKIP() << "Wine's chunk search does not stop at the parent's end";
#else
    MmioFile file(layout_file());
    ASSERT_NE(file.get(), nullptr);
    MMCKINFO riff = file.riff();
    MMCKINFO list = {};
    list.fccType = fourcc("INFO");
    ASSERT_EQ(mmioDescend(file.get(), &list, &riff, MMIO_FINDLIST), MMSYSERR_NOERROR);
    // "fmt " follows the LIST, so it is not found inside it.
    MMCKINFO format = {};
    format.ckid = fourcc("fmt ");
    EXPECT_EQ(mmioDescend(file.get(), &format, &list, MMIO_FINDCHUNK), MMIOERR_CHUNKNOTFOUND);
    EXPECT_EQ(file.position(), 36) << "a failed search leaves the file where it was";

    // A RIFF size that ends before "data" hides it.
    Bytes chunks = riff::pcm_format(1, 8000, 8);
    riff::append(chunks, riff::chunk("data", riff::text("xy")));
    MmioFile short_riff(riff::file_with_size(4 + 24, chunks));
    ASSERT_NE(short_riff.get(), nullptr);
    MMCKINFO outer = short_riff.riff();
    MMCKINFO data = {};
    data.ckid = fourcc("data");
    EXPECT_EQ(mmioDescend(short_riff.get(), &data, &outer, MMIO_FINDCHUNK), MMIOERR_CHUNKNOTFOUND);
#endif
}

// A failed search leaves in the caller's record the last header it read: its id, form type and
// data offset, as Windows reads each header into that record.
TEST(MmioChunkSearch, AFailedSearchLeavesTheLastHeaderRead) {
    MmioFile file(riff::file(riff::info_list("hi")));  // RIFF WAVE holding a LIST INFO at 12
    ASSERT_NE(file.get(), nullptr);
    MMCKINFO riff = file.riff();
    MMCKINFO data = {};
    data.ckid = fourcc("data");
    data.cksize = 1234;
    EXPECT_EQ(mmioDescend(file.get(), &data, &riff, MMIO_FINDCHUNK), MMIOERR_CHUNKNOTFOUND);
    EXPECT_EQ(data.ckid, FOURCC_LIST);
    EXPECT_EQ(data.fccType, fourcc("INFO"));
    EXPECT_EQ(data.dwDataOffset, 20u);
}

TEST(MmioChunkSearch, FindListAndFindRiffMatchTheType) {
    MmioFile file(layout_file());
    ASSERT_NE(file.get(), nullptr);
    MMCKINFO riff = {};
    riff.fccType = fourcc("WAVE");
    ASSERT_EQ(mmioDescend(file.get(), &riff, nullptr, MMIO_FINDRIFF), MMSYSERR_NOERROR);
    EXPECT_EQ(riff.dwDataOffset, 8u);

    MMCKINFO list = {};
    list.fccType = fourcc("INFO");
    ASSERT_EQ(mmioDescend(file.get(), &list, &riff, MMIO_FINDLIST), MMSYSERR_NOERROR);
    EXPECT_EQ(list.dwDataOffset, 32u);

    ASSERT_EQ(mmioSeek(file.get(), 12, SEEK_SET), 12);
    MMCKINFO other = {};
    other.fccType = fourcc("adtl");
    EXPECT_EQ(mmioDescend(file.get(), &other, &riff, MMIO_FINDLIST), MMIOERR_CHUNKNOTFOUND);
}

TEST(MmioChunkSearch, ChunkHeaderCutShortByTheEndOfFileIsNotFound) {
    Bytes contents = riff::file(riff::pcm_format(1, 8000, 8));
    riff::append(contents, riff::text("dat"));
    MmioFile file(contents);
    ASSERT_NE(file.get(), nullptr);
    MMCKINFO riff = {};
    ASSERT_EQ(mmioDescend(file.get(), &riff, nullptr, 0), MMSYSERR_NOERROR);
    MMCKINFO data = {};
    data.ckid = fourcc("data");
    EXPECT_EQ(mmioDescend(file.get(), &data, nullptr, MMIO_FINDCHUNK), MMIOERR_CHUNKNOTFOUND);

    MmioFile empty(Bytes{});
    ASSERT_NE(empty.get(), nullptr);
    EXPECT_EQ(mmioDescend(empty.get(), &riff, nullptr, 0), MMIOERR_CHUNKNOTFOUND);
}

TEST(MmioAscend, LeavesAnOddSizedChunkBehindItsPadByte) {
    MmioFile file(layout_file());
    ASSERT_NE(file.get(), nullptr);
    MMCKINFO riff = file.riff();
    MMCKINFO data = {};
    data.ckid = fourcc("data");
    ASSERT_EQ(mmioDescend(file.get(), &data, &riff, MMIO_FINDCHUNK), MMSYSERR_NOERROR);
    char bytes[2];
    ASSERT_EQ(mmioRead(file.get(), bytes, 2), 2);
    ASSERT_EQ(mmioAscend(file.get(), &data, 0), MMSYSERR_NOERROR);
    EXPECT_EQ(file.position(), 94);

    MMCKINFO next = {};
    ASSERT_EQ(mmioDescend(file.get(), &next, &riff, 0), MMSYSERR_NOERROR);
    EXPECT_EQ(next.ckid, fourcc("tail"));
    EXPECT_EQ(next.dwDataOffset, 102u);
}

TEST(MmioAscend, LeavesListsAndZeroLengthChunksAtTheirEnd) {
    MmioFile file(layout_file());
    ASSERT_NE(file.get(), nullptr);
    MMCKINFO riff = file.riff();
    MMCKINFO list = {};
    list.fccType = fourcc("INFO");
    ASSERT_EQ(mmioDescend(file.get(), &list, &riff, MMIO_FINDLIST), MMSYSERR_NOERROR);
    ASSERT_EQ(mmioAscend(file.get(), &list, 0), MMSYSERR_NOERROR);
    EXPECT_EQ(file.position(), 48);

    MMCKINFO zero = {};
    zero.ckid = fourcc("zero");
    ASSERT_EQ(mmioDescend(file.get(), &zero, &riff, MMIO_FINDCHUNK), MMSYSERR_NOERROR);
    EXPECT_EQ(zero.cksize, 0u);
    EXPECT_EQ(zero.dwDataOffset, 80u);
    ASSERT_EQ(mmioAscend(file.get(), &zero, 0), MMSYSERR_NOERROR);
    EXPECT_EQ(file.position(), 80);
}

TEST(MmioReadAndSeek, SeeksFromTheStartTheCurrentPositionAndTheEnd) {
    MmioFile file(layout_file());
    ASSERT_NE(file.get(), nullptr);
    EXPECT_EQ(mmioSeek(file.get(), 56, SEEK_SET), 56);
    EXPECT_EQ(mmioSeek(file.get(), -8, SEEK_CUR), 48);
    char id[4];
    ASSERT_EQ(mmioRead(file.get(), id, 4), 4);
    EXPECT_EQ(std::string(id, 4), "fmt ");
    EXPECT_EQ(mmioSeek(file.get(), 0, SEEK_CUR), 52);
    EXPECT_EQ(mmioSeek(file.get(), 0, SEEK_END), 104);
    EXPECT_EQ(mmioSeek(file.get(), 4, SEEK_END), 100);  // counted back from the end
    EXPECT_EQ(mmioSeek(file.get(), 0, SEEK_SET), 0);
    ASSERT_EQ(mmioRead(file.get(), id, 4), 4);
    EXPECT_EQ(std::string(id, 4), "RIFF");
}

TEST(MmioReadAndSeek, ReadAtTheEndGivesWhatIsLeftThenNothing) {
    MmioFile file(layout_file());
    ASSERT_NE(file.get(), nullptr);
    ASSERT_EQ(mmioSeek(file.get(), 100, SEEK_SET), 100);
    char bytes[10] = {};
    EXPECT_EQ(mmioRead(file.get(), bytes, 10), 4);
    EXPECT_EQ(std::string(bytes, 4), std::string("\0\0zz", 4))
        << "the end of a size field, then data";
    EXPECT_EQ(mmioRead(file.get(), bytes, 10), 0);
    EXPECT_EQ(mmioRead(file.get(), bytes, 0), 0);
}

// A "data" chunk several I/O buffers long, so that copying it crosses refills.
Bytes long_file(size_t data_size) {
    Bytes chunks = riff::pcm_format(2, 44100, 16);
    riff::append(chunks, riff::chunk("data", riff::pattern(data_size)));
    return riff::file(chunks);
}

TEST(MmioDirectAccess, CopiesAcrossBufferRefillsAndHandsTheStateBack) {
    const size_t data_size = 3 * MMIO_DEFAULTBUFFER + 1001;
    const Bytes expected = riff::pattern(data_size);
    MmioFile file(long_file(data_size));
    ASSERT_NE(file.get(), nullptr);
    MMCKINFO riff = file.riff();
    MMCKINFO data = {};
    data.ckid = fourcc("data");
    ASSERT_EQ(mmioDescend(file.get(), &data, &riff, MMIO_FINDCHUNK), MMSYSERR_NOERROR);

    MMIOINFO info = {};
    ASSERT_EQ(mmioGetInfo(file.get(), &info, 0), MMSYSERR_NOERROR);
    EXPECT_EQ(info.cchBuffer, MMIO_DEFAULTBUFFER);
    ASSERT_NE(info.pchBuffer, nullptr);
    EXPECT_GE(info.pchNext, info.pchBuffer);
    EXPECT_LE(info.pchEndRead, info.pchBuffer + info.cchBuffer);

    // All but the last 10 bytes, one at a time as a reader does.
    Bytes copied;
    int refills = 0;
    while (copied.size() < data_size - 10) {
        if (info.pchNext == info.pchEndRead) {
            ASSERT_EQ(mmioAdvance(file.get(), &info, MMIO_READ), MMSYSERR_NOERROR);
            ASSERT_NE(info.pchNext, info.pchEndRead) << "the file ended early";
            EXPECT_EQ(info.pchNext, info.pchBuffer);
            ++refills;
        }
        copied.push_back(static_cast<uint8_t>(*info.pchNext++));
    }
    EXPECT_GE(refills, 3);
    EXPECT_TRUE(copied == Bytes(expected.begin(), expected.end() - 10));
    ASSERT_EQ(mmioSetInfo(file.get(), &info, 0), MMSYSERR_NOERROR);

    // Reading and seeking go on from where the direct access stopped.
    EXPECT_EQ(file.position(), static_cast<LONG>(data.dwDataOffset + data_size - 10));
    char rest[10];
    ASSERT_EQ(mmioRead(file.get(), rest, 10), 10);
    EXPECT_EQ(std::memcmp(rest, expected.data() + data_size - 10, 10), 0);

    // At the end of the file a refill succeeds with nothing in the buffer.
    ASSERT_EQ(mmioGetInfo(file.get(), &info, 0), MMSYSERR_NOERROR);
    for (int i = 0; i < 3 && info.pchNext != info.pchEndRead; ++i) {
        info.pchNext = info.pchEndRead;
        ASSERT_EQ(mmioAdvance(file.get(), &info, MMIO_READ), MMSYSERR_NOERROR);
    }
    EXPECT_EQ(info.pchNext, info.pchEndRead);
    EXPECT_EQ(mmioSetInfo(file.get(), &info, 0), MMSYSERR_NOERROR);
}

TEST(MmioDirectAccess, BufferFollowsASeekBack) {
    const size_t data_size = 2 * MMIO_DEFAULTBUFFER + 77;
    const Bytes expected = riff::pattern(data_size);
    MmioFile file(long_file(data_size));
    ASSERT_NE(file.get(), nullptr);
    MMCKINFO riff = file.riff();
    MMCKINFO data = {};
    data.ckid = fourcc("data");
    ASSERT_EQ(mmioDescend(file.get(), &data, &riff, MMIO_FINDCHUNK), MMSYSERR_NOERROR);
    ASSERT_EQ(mmioSeek(file.get(), static_cast<LONG>(data.dwDataOffset + data_size - 5), SEEK_SET),
              static_cast<LONG>(data.dwDataOffset + data_size - 5));
    char tail[5];
    ASSERT_EQ(mmioRead(file.get(), tail, 5), 5);
    EXPECT_EQ(std::memcmp(tail, expected.data() + data_size - 5, 5), 0);

    // Back to the first data byte, as a reader's reset does.
    ASSERT_EQ(mmioSeek(file.get(), static_cast<LONG>(data.dwDataOffset), SEEK_SET),
              static_cast<LONG>(data.dwDataOffset));
    MMIOINFO info = {};
    ASSERT_EQ(mmioGetInfo(file.get(), &info, 0), MMSYSERR_NOERROR);
    if (info.pchNext == info.pchEndRead) {
        ASSERT_EQ(mmioAdvance(file.get(), &info, MMIO_READ), MMSYSERR_NOERROR);
    }
    ASSERT_GT(info.pchEndRead - info.pchNext, 4);
    EXPECT_EQ(std::memcmp(info.pchNext, expected.data(), 4), 0);
    EXPECT_EQ(mmioSetInfo(file.get(), &info, 0), MMSYSERR_NOERROR);
}

// After a seek outside the buffer, the buffer stands empty at the new position: mmioAdvance
// right after it fills the buffer from there.
TEST(MmioDirectAccess, AdvanceRightAfterASeekStartsAtThePosition) {
    const size_t data_size = 3 * MMIO_DEFAULTBUFFER;
    const Bytes expected = riff::pattern(data_size);
    MmioFile file(long_file(data_size));
    ASSERT_NE(file.get(), nullptr);
    MMCKINFO riff = file.riff();
    MMCKINFO data = {};
    data.ckid = fourcc("data");
    ASSERT_EQ(mmioDescend(file.get(), &data, &riff, MMIO_FINDCHUNK), MMSYSERR_NOERROR);
    const LONG target = static_cast<LONG>(data.dwDataOffset + MMIO_DEFAULTBUFFER + 3);
    ASSERT_EQ(mmioSeek(file.get(), target, SEEK_SET), target);
    MMIOINFO info = {};
    ASSERT_EQ(mmioGetInfo(file.get(), &info, 0), MMSYSERR_NOERROR);
    EXPECT_EQ(info.pchNext, info.pchEndRead);
    ASSERT_EQ(mmioAdvance(file.get(), &info, MMIO_READ), MMSYSERR_NOERROR);
    EXPECT_EQ(info.lBufOffset, target);
    ASSERT_GT(info.pchEndRead - info.pchNext, 4);
    EXPECT_EQ(std::memcmp(info.pchNext, expected.data() + MMIO_DEFAULTBUFFER + 3, 4), 0);
    EXPECT_EQ(mmioSetInfo(file.get(), &info, 0), MMSYSERR_NOERROR);
}

TEST(MmioErrors, AnswerWindowsErrorValues) {
    MMIOINFO info = {};
    char missing[] = "no_such_folder_here\\no_such_file.wav";
    EXPECT_EQ(mmioOpenA(missing, nullptr, MMIO_ALLOCBUF | MMIO_READ), nullptr);
    EXPECT_EQ(mmioOpenA(missing, &info, MMIO_ALLOCBUF | MMIO_READ), nullptr);
    EXPECT_EQ(info.wErrorRet, static_cast<UINT>(MMIOERR_FILENOTFOUND));

    MmioFile unbuffered(layout_file(), MMIO_READ);
    ASSERT_NE(unbuffered.get(), nullptr);
    EXPECT_EQ(mmioAdvance(unbuffered.get(), &info, MMIO_READ), MMIOERR_UNBUFFERED);
    char id[4];
    EXPECT_EQ(mmioRead(unbuffered.get(), id, 4), 4);
    EXPECT_EQ(std::string(id, 4), "RIFF");

    MmioFile file(layout_file());
    ASSERT_NE(file.get(), nullptr);
    EXPECT_EQ(mmioDescend(file.get(), nullptr, nullptr, 0), MMSYSERR_INVALPARAM);
    EXPECT_EQ(mmioClose(nullptr, 0), MMSYSERR_INVALHANDLE);
}

// Sizes near 2^32 must neither wrap a position backwards nor make a search run for ever. Wine's
// winmm computes these positions in 32 bits and can loop on such files, so they are ours only.
TEST(MmioHostileSizes, SizesNearTwoToThe32EndTheSearch) {
#if defined(_WIN32)
    GTEST_SKIP() << "Wine's chunk search can loop on these sizes";
#else
    for (uint32_t size : {0xFFFFFFFFu, 0xFFFFFFFEu, 0xFFFFFFF8u, 0xFFFFFFF0u, 0x80000000u}) {
        Bytes chunks = riff::pcm_format(1, 8000, 8);
        riff::append(chunks, riff::chunk_with_size("huge", size, riff::text("abcdefgh")));
        riff::append(chunks, riff::chunk("data", riff::text("xy")));
        MmioFile file(riff::file(chunks));
        ASSERT_NE(file.get(), nullptr);
        MMCKINFO riff = file.riff();
        MMCKINFO data = {};
        data.ckid = fourcc("data");
        EXPECT_EQ(mmioDescend(file.get(), &data, &riff, MMIO_FINDCHUNK), MMIOERR_CHUNKNOTFOUND)
            << std::hex << size;

        // Leaving such a chunk goes past the end of the file, not back into it.
        ASSERT_EQ(mmioSeek(file.get(), 12, SEEK_SET), 12);
        MMCKINFO huge = {};
        huge.ckid = fourcc("huge");
        ASSERT_EQ(mmioDescend(file.get(), &huge, &riff, MMIO_FINDCHUNK), MMSYSERR_NOERROR);
        mmioAscend(file.get(), &huge, 0);
        char byte;
        EXPECT_EQ(mmioRead(file.get(), &byte, 1), 0) << std::hex << size;
    }
#endif
}

TEST(MmioHostileSizes, RiffSizeOfAllOnesStillHoldsItsChunks) {
#if defined(_WIN32)
    GTEST_SKIP() << "Wine bounds the search by a 32-bit end that wraps";
#else
    Bytes chunks = riff::pcm_format(1, 8000, 8);
    riff::append(chunks, riff::chunk("data", riff::text("xy")));
    MmioFile file(riff::file_with_size(0xFFFFFFFFu, chunks));
    ASSERT_NE(file.get(), nullptr);
    MMCKINFO riff = file.riff();
    MMCKINFO data = {};
    data.ckid = fourcc("data");
    ASSERT_EQ(mmioDescend(file.get(), &data, &riff, MMIO_FINDCHUNK), MMSYSERR_NOERROR);
    EXPECT_EQ(data.cksize, 2u);
#endif
}

}  // namespace
