// The archive exception, its causes, and the record of zlib's blocks.
#include "ArchiveTestUtil.h"
#include <gtest/gtest.h>
#include <cstring>

namespace {
TEST(ZipException, CodeToCauseMapsArchiveAndZlibCodes) {
    const struct {
        int code, cause;
    } rows[] = {
        {1, CZipException::streamEnd},     {2, CZipException::needDict},      {-1, CZipException::errNo},
        {-2, CZipException::streamError},  {-3, CZipException::dataError},    {-4, CZipException::memError},
        {-5, CZipException::bufError},     {-6, CZipException::versionError}, {-102, CZipException::badParameter},
        {-103, CZipException::badArchive}, {-105, CZipException::badCrc},     {0, CZipException::generic},
        {-104, CZipException::generic},    {-101, CZipException::generic},    {3, CZipException::generic},
        {-7, CZipException::generic},
    };
    for (const auto& r : rows) EXPECT_EQ(CZipException::CodeToCause(r.code), r.cause) << "code " << r.code;
    EXPECT_EQ(CZipException::generic, 1);
    EXPECT_EQ(CZipException::badCrc, 12);
}

TEST(ZipException, IsThrownAsAHeapObjectOfItsOwnRuntimeClass) {
    try {
        ThrowZipException(CString(_T("E:\\a.kvf")), ARC_CRC_MISMATCH, true);
    } catch (CException* e) {
        EXPECT_TRUE(e->IsKindOf(RUNTIME_CLASS(CZipException)));
        EXPECT_STREQ(e->GetRuntimeClass()->m_lpszClassName, "CZipException");
        CZipException* z = static_cast<CZipException*>(e);
        EXPECT_EQ(z->m_iCause, CZipException::badCrc);
        EXPECT_TRUE(z->m_strFileName == _T("E:\\a.kvf"));
        EXPECT_TRUE(z->m_bZipFile);
        EXPECT_TRUE(z->m_bAutoDelete);
        e->Delete();
    }
}

TEST(ZipException, ReaderCallsBeforeOpenCarryAnEmptyFileName) {
    CUnzipFile r;
    char buf[4];
    const std::function<void()> calls[] = {
        [&] { r.OpenEntry(); },
        [&] { r.GetEntryInfo(nullptr); },
        [&] { r.ReadEntryData(4, buf); },
        [&] { r.GetReadOffset(); },
    };
    for (const auto& call : calls) {
        Thrown t = Catch(call);
        EXPECT_EQ(t.cause, CZipException::badParameter);
        EXPECT_TRUE(t.fileName.IsEmpty());
        EXPECT_FALSE(t.zipFile);
    }
    EXPECT_EQ(Catch([&] { r.CloseEntry(); r.Close(); }).kind, "") << "nothing to close";
    TempDir dir;
    EXPECT_EQ(Catch([&] { CUnzipFile missing(dir.File(_T("missing.kvf"))); }).kind, "file");
}

TEST(ZUBaseFile, RecordsZlibBlocksUntilReleasedAndFreesTheRestOnDestruction) {
    CZUBaseFile base;
    EXPECT_TRUE(base.m_bTrackAllocs);
    void* a = ZipAlloc(&base.m_allocList, 16, 4);
    void* b = ZipAlloc(&base.m_allocList, 1, 1);
    memset(a, 0xAB, 64);
    EXPECT_EQ(base.m_allocList.GetCount(), 2);
    ZipFree(&base.m_allocList, a);
    EXPECT_EQ(base.m_allocList.GetCount(), 1);
    EXPECT_EQ(base.m_allocList.GetHead(), b);
    ZipFree(nullptr, ZipAlloc(nullptr, 8, 8));  // untracked blocks touch no list
    EXPECT_EQ(base.m_allocList.GetCount(), 1);
    // b is freed by the destructor (AddressSanitizer reports it otherwise).
}

TEST(ZUBaseFile, ReaderInterruptedInAStreamFreesInflateBlocks) {
    TempDir dir;
    const CString path = dir.File(_T("a.kvf"));
    const std::string data = MakeText(300000, 4);
    WriteArchive(path, data, "pw1234", EntryFileInfo());
    {
        CUnzipFile r(path);
        r.OpenEntry();
        std::string buf(1000, '\0');
        r.ReadEntryData(1000, &buf[0]);
        r.CloseEntry();
        EXPECT_TRUE(r.m_allocList.IsEmpty()) << "inflateEnd released every block through ZipFree";
    }
    // Damage the compressed data: inflate fails in the middle of the stream.
    std::string bytes = ReadAll(path);
    for (size_t i = 200; i < 260; ++i) bytes[i] = (char)0xFF;
    WriteAll(path, bytes);
    CUnzipFile* r = new CUnzipFile(path);
    r->OpenEntry();
    std::string out(data.size(), '\0');
    Thrown t = Catch([&] { r->ReadEntryData((UINT)out.size(), &out[0]); });
    EXPECT_EQ(t.cause, CZipException::dataError);
    EXPECT_FALSE(r->m_allocList.IsEmpty());
    delete r;  // the stream was never ended: the base part frees its blocks
}
}  // namespace
