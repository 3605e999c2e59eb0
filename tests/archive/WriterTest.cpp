// The writer's refusals, its 32-bit limits and how Close reports an archive
// it could not finish.
#include "ArchiveTestUtil.h"
#include <gtest/gtest.h>
#include <cstring>
#include <memory>
#ifndef _WIN32
#include <fcntl.h>
#include <unistd.h>
#endif

namespace {
const ULONGLONG k4G = 0x100000000ull;

// Makes every later write to the writer's file fail as on a full disk
// (natively the descriptor becomes /dev/full; on Windows the handle becomes
// a read-only one on the same file).
void BreakWrites(CZipFile& zip) {
    CFile& f = zip.m_state.m_file;
#ifdef _WIN32
    HANDLE h = CreateFileW(f.GetFilePath(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING,
                           FILE_ATTRIBUTE_NORMAL, nullptr);
    ASSERT_NE(h, INVALID_HANDLE_VALUE);
    CloseHandle(f.m_hFile);
    f.m_hFile = h;
#else
    int full = open("/dev/full", O_WRONLY);
    ASSERT_GE(full, 0);
    ASSERT_GE(dup2(full, f.m_hFile), 0);
    close(full);
#endif
}

// Makes the writer's file fail every write until the returned call gives
// it back its own handle (a failure that passes, like a drive that was busy).
std::function<void()> BreakWritesForAWhile(CZipFile& zip) {
    CFile& f = zip.m_state.m_file;
#ifdef _WIN32
    HANDLE own = f.m_hFile;
    HANDLE h = CreateFileW(f.GetFilePath(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING,
                           FILE_ATTRIBUTE_NORMAL, nullptr);
    EXPECT_NE(h, INVALID_HANDLE_VALUE);
    f.m_hFile = h;
    return [&f, own, h] {
        CloseHandle(h);
        f.m_hFile = own;
    };
#else
    int own = dup(f.m_hFile);
    int full = open("/dev/full", O_WRONLY);
    EXPECT_GE(full, 0);
    EXPECT_GE(dup2(full, f.m_hFile), 0);
    close(full);
    return [&f, own] {
        dup2(own, f.m_hFile);
        close(own);
    };
#endif
}

TEST(ArchiveWriter, RefusedCallsRaiseBadParameter) {
    TempDir dir;
    const CString path = dir.File(_T("a.kvf"));
    EntryFileInfo info;
    {
        CZipFile zip;  // not opened: the exception names no file
        Thrown t = Catch([&] { zip.WriteEntryData(1, "x"); });
        EXPECT_EQ(t.cause, CZipException::badParameter);
        EXPECT_TRUE(t.fileName.IsEmpty());
        EXPECT_TRUE(t.zipFile);
        EXPECT_EQ(Catch([&] { zip.BeginEntry(_T(""), info, 9, 8); }).cause, CZipException::badParameter);
    }
    CZipFile zip;
    zip.Open(path);
    const CString longName(_T('n'), 0x8000);
    struct Row {
        const char* what;
        std::function<void()> call;
        int cause;
    } rows[] = {
        {"method 0", [&] { zip.BeginEntry(_T(""), info, 9, 0); }, CZipException::badParameter},
        {"level 0", [&] { zip.BeginEntry(_T(""), info, 0, 8); }, CZipException::badParameter},
        {"data without an entry", [&] { zip.WriteEntryData(4, "abcd"); }, CZipException::badParameter},
        {"name too long for its length field", [&] { zip.BeginEntry(longName, info, 9, 8); },
         CZipException::badParameter},
        {"level zlib refuses", [&] { zip.BeginEntry(_T(""), info, 10, 8); }, CZipException::streamError},
    };
    for (const Row& r : rows) {
        Thrown t = Catch(r.call);
        EXPECT_EQ(t.cause, r.cause) << r.what;
        EXPECT_TRUE(t.fileName == path) << r.what;
        if (r.cause == CZipException::badParameter) {
            EXPECT_EQ(zip.m_state.m_file.GetLength(), 0u) << r.what << ": refused before anything was written";
        }
    }
    // None of them left an entry open: the directory is empty.
    EXPECT_EQ(zip.m_state.m_bEntryOpen, FALSE);
    zip.Close();
    EXPECT_EQ(Catch([&] { CUnzipFile r(path); }).cause, CZipException::badArchive);
}

TEST(ArchiveWriter, OpenInMissingFolderThrowsFileExceptionAndLeavesWriterClosed) {
    TempDir dir;
    CZipFile zip;
    EXPECT_EQ(Catch([&] { zip.Open(dir.File(_T("no-such-folder/a.kvf"))); }).kind, "file");
    EXPECT_FALSE(zip.m_state.m_file.IsOpen());
    EXPECT_EQ(Catch([&] { zip.Close(); }).kind, "");
}

TEST(ArchiveWriter, SecondBeginEntryEndsTheFirstAndTheReaderRefusesTheArchive) {
    TempDir dir;
    const CString path = dir.File(_T("two.kvf"));
    CZipFile zip;
    zip.Open(path);
    EntryFileInfo info;
    zip.BeginEntry(_T(""), info, 9, 8);
    zip.WriteEntryData(5, "first");
    zip.BeginEntry(_T("second"), info, 1, 8);
    zip.WriteEntryData(6, "second");
    EXPECT_EQ(zip.m_state.m_nEntries, 1u);
    zip.Close();
    EXPECT_EQ(zip.m_state.m_nEntries, 2u);
    // The reader restores one entry only: an archive of two is not one it
    // can read whole.
    EXPECT_EQ(Catch([&] { ReadArchive(path); }).cause, CZipException::badArchive);
    EXPECT_EQ(Catch([&] { CUnzipFile reader(path); }).cause, CZipException::badArchive);
}

TEST(ArchiveWriter, FailedWriteKeepsNoHoldOnTheCallersData) {
    TempDir dir;
    const CString path = dir.File(_T("a.kvf"));
    CZipFile zip;
    zip.Open(path);
    zip.BeginEntry(_T(""), EntryFileInfo(), 9, 8);
    // Incompressible, so the output buffer fills while most of the piece is
    // still unread; the next flush then fails.
    const std::string data = MakeRandom(100000, 3);
    std::function<void()> restore = BreakWritesForAWhile(zip);
    {
        std::unique_ptr<char[]> piece(new char[data.size()]);
        memcpy(piece.get(), data.data(), data.size());
        EXPECT_EQ(Catch([&] { zip.WriteEntryData((UINT)data.size(), piece.get()); }).kind, "file");
    }  // the caller frees its piece, as it may after a failure
    restore();
    // Close as a caller does after a failure: nothing of the freed piece is
    // read (AddressSanitizer reports it otherwise), and the entry, which lost
    // part of its data, does not read back as a good one.
    EXPECT_EQ(Catch([&] { zip.Close(); }).kind, "");
    Thrown t = Catch([&] { ReadArchive(path); });
    EXPECT_NE(t.cause, 0) << "a damaged entry must not read back whole";
}

struct CloseFailure {
    const char* what;
    bool endEntryFirst;  // the entry ends before writes break: the directory write fails
};

TEST(ArchiveWriter, CloseThatCannotFinishAbortsTheFileAndRethrows) {
    const CloseFailure cases[] = {{"ending the entry", false}, {"writing the directory", true}};
    for (const CloseFailure& c : cases) {
        SCOPED_TRACE(c.what);
        TempDir dir;
        const CString path = dir.File(_T("a.kvf"));
        CZipFile zip;
        zip.Open(path);
        zip.BeginEntry(_T(""), EntryFileInfo(), 9, 8);
        const std::string data = MakeRandom(10000, 2);  // stays in the output buffer until the entry ends
        zip.WriteEntryData((UINT)data.size(), data.data());
        if (c.endEntryFirst) zip.EndEntry();
        BreakWrites(zip);
        Thrown t = Catch([&] { zip.Close(); });
        EXPECT_EQ(t.kind, "file");
        EXPECT_FALSE(zip.m_state.m_file.IsOpen());
        EXPECT_EQ(Catch([&] { zip.Close(); }).kind, "") << "a second Close does nothing";
        // What is on disk is no archive, and the caller can remove it.
        EXPECT_EQ(Catch([&] { CUnzipFile r(path); }).cause, CZipException::badArchive);
        EXPECT_EQ(Catch([&] { CFile::Remove(path); }).kind, "");
    }
}

TEST(ArchiveWriter, InputReaching4GiBIsRefusedBeforeItIsDeflated) {
    TempDir dir;
    const CString path = dir.File(_T("big.kvf"));
    CZipFile zip;
    zip.Open(path);
    zip.BeginEntry(_T(""), EntryFileInfo(), 9, 8);
    zip.WriteEntryData(6, "012345");
    // Feeding 4 GiB takes minutes: stand the entry's count just below the limit.
    zip.m_state.m_nTotalIn = 0xFFFFFFFFull - 10;
    const DWORD crc = zip.m_state.m_nCrc;
    EXPECT_EQ(Catch([&] { zip.WriteEntryData(11, "01234567890"); }).cause, CZipException::badParameter);
    EXPECT_EQ(zip.m_state.m_nTotalIn, 0xFFFFFFFFull - 10);
    EXPECT_EQ(zip.m_state.m_nCrc, crc) << "nothing of the refused piece was taken";
    EXPECT_EQ(Catch([&] { zip.WriteEntryData(10, "0123456789"); }).cause, 0) << "exactly 2^32 - 1 fits";
}

struct PositionCase {
    const char* what;
    ULONGLONG start;    // where the entry's local prefix would begin
    size_t dataSize;    // random bytes written into the entry
    const char* fails;  // "begin", "data", "close" or "" (the archive is written)
};

TEST(ArchiveWriter, ArchivePositionsPast4GiBAreRefused) {
    // The writer's file is moved to the start position (a sparse file), so
    // no test writes gigabytes.
    const PositionCase cases[] = {
        {"entry that would start beyond 4 GiB", k4G, 0, "begin"},
        {"local header that would cross 4 GiB", k4G - 65, 0, "begin"},
        {"empty entry's data crossing 4 GiB", k4G - 66, 0, "close"},
        {"compressed data crossing 4 GiB", k4G - 20000, 256 * 1024, "data"},
        {"directory that would cross 4 GiB", k4G - 66 - 2 - 50, 0, "close"},
        {"archive ending just below 4 GiB", k4G - 1 - (65 + 2 + 33 + 48 + 39), 0, ""},
    };
    for (const PositionCase& c : cases) {
        SCOPED_TRACE(c.what);
        TempDir dir;
        const CString path = dir.File(_T("far.kvf"));
        CZipFile zip;
        zip.Open(path);
        zip.m_state.m_file.Seek((LONGLONG)c.start, CFile::begin);
        std::string failed;
        Thrown t = Catch([&] {
            failed = "begin";
            zip.BeginEntry(_T(""), EntryFileInfo(), 9, 8);
            failed = "data";
            const std::string data = MakeRandom(c.dataSize, 4);
            if (!data.empty()) zip.WriteEntryData((UINT)data.size(), data.data());
            failed = "close";
            zip.Close();
            failed = "";
        });
        EXPECT_EQ(failed, c.fails);
        EXPECT_EQ(t.cause, *c.fails ? CZipException::badParameter : 0);
        zip.m_state.m_file.Abort();
        CFileStatus st;
        ASSERT_TRUE(CFile::GetStatus(path, st));
        EXPECT_LT(st.m_size, k4G) << "no byte was written at or past 4 GiB";
    }
}

TEST(ArchiveWriter, ZlibBlocksAreReleasedOnSuccessAndFreedAfterAnInterruptedStream) {
    TempDir dir;
    {
        CZipFile zip;
        zip.Open(dir.File(_T("ok.kvf")));
        zip.BeginEntry(_T(""), EntryFileInfo(), 9, 8);
        EXPECT_FALSE(zip.m_allocList.IsEmpty()) << "deflate's state is recorded";
        zip.WriteEntryData(3, "abc");
        zip.Close();
        EXPECT_TRUE(zip.m_allocList.IsEmpty()) << "deflateEnd released every block through ZipFree";
    }
    {
        CZipFile zip;
        zip.Open(dir.File(_T("broken.kvf")));
        zip.BeginEntry(_T(""), EntryFileInfo(), 9, 8);
        BreakWrites(zip);
        const std::string data = MakeRandom(100000, 1);
        EXPECT_EQ(Catch([&] { zip.WriteEntryData((UINT)data.size(), data.data()); }).kind, "file");
        EXPECT_FALSE(zip.m_allocList.IsEmpty());
        // Destroyed without Close: the base frees the stream's blocks (a leak
        // would show under AddressSanitizer).
    }
}
}  // namespace
