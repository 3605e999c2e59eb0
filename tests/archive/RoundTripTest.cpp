// A file written into an archive the way the compress task does comes back
// byte for byte, with its CRC, time, attributes and password field.
#include "ArchiveTestUtil.h"
#include <gtest/gtest.h>

namespace {
struct RoundTripCase {
    const char* name;
    size_t size;
    bool random;
    bool readOnly;
};

const RoundTripCase kCases[] = {
    {"empty", 0, false, false},
    {"one byte", 1, false, false},
    {"just under an input buffer", 16383, true, false},
    {"one input buffer", 16384, true, false},
    {"just over an input buffer", 16385, true, true},
    {"one task piece", 0x80000, false, false},
    {"one task piece and a byte", 0x80001, true, false},
    {"text of several pieces", 3 * 1024 * 1024 + 77, false, false},
    {"random bytes of several pieces", 3 * 1024 * 1024 + 5, true, false},
};

class RoundTrip : public ::testing::TestWithParam<RoundTripCase> {};

TEST_P(RoundTrip, RestoresBytesCrcTimeAttributesAndPassword) {
    const RoundTripCase& c = GetParam();
    TempDir dir;
    const CString source = dir.File(_T("source.bin"));
    const CString archive = dir.File(_T("source.bin.kvf"));
    const std::string data = c.random ? MakeRandom(c.size, 7) : MakeText(c.size, 7);
    WriteAll(source, data);
    CFileStatus st;
    ASSERT_TRUE(CFile::GetStatus(source, st));
    st.m_ctime = st.m_atime = CTime();
    st.m_mtime = CTime(2021, 6, 15, 10, 20, 30);
    st.m_attribute = (BYTE)(FILE_ATTRIBUTE_ARCHIVE | (c.readOnly ? FILE_ATTRIBUTE_READONLY : 0));
    CFile::SetStatus(source, st);
    const DWORD attributes = GetFileAttributesW(source);
    ASSERT_NE(attributes, INVALID_FILE_ATTRIBUTES);

    CompressFile(source, archive, "abc123XY");
    ReadResult r = ReadArchive(archive);

    ASSERT_EQ(r.data.size(), data.size());
    EXPECT_TRUE(r.data == data);
    EXPECT_EQ(r.info.m_dwUncompressedSize, data.size());
    EXPECT_EQ(r.info.m_dwCrc, Crc32(data));
    EXPECT_EQ(r.info.m_time.GetTime(), CTime(2021, 6, 15, 10, 20, 30).GetTime());
    EXPECT_EQ(r.info.m_dwExternalAttr, attributes);
    EXPECT_EQ((r.info.m_dwExternalAttr & FILE_ATTRIBUTE_READONLY) != 0, c.readOnly);
    EXPECT_EQ(r.password, "abc123XY");
    // The read offset ends just after the compressed data (prefix, header and
    // "-" before it); an empty entry reads none of its data.
    EXPECT_EQ(r.finalReadOffset, 33u + 30u + 2u + (c.size ? r.info.m_dwCompressedSize : 0u));
    if (c.size == 0) {
        EXPECT_EQ(r.info.m_dwCompressedSize, 2u);  // the empty raw deflate stream
        EXPECT_EQ(r.info.m_dwCrc, 0u);
    }

    // One call larger than the entry returns all of it; the next returns 0.
    if (c.size <= 0x80001) {
        CUnzipFile unzip(archive);
        unzip.OpenEntry();
        std::string buf(c.size + 100, '\0');
        EXPECT_EQ(unzip.ReadEntryData((UINT)buf.size(), &buf[0]), c.size);
        EXPECT_TRUE(buf.compare(0, c.size, data) == 0);
        EXPECT_EQ(unzip.ReadEntryData((UINT)buf.size(), &buf[0]), 0u);
        unzip.Close();
    }
}

INSTANTIATE_TEST_SUITE_P(Sizes, RoundTrip, ::testing::ValuesIn(kCases),
                         [](const ::testing::TestParamInfo<RoundTripCase>& i) {
                             std::string s = i.param.name;
                             for (char& ch : s)
                                 if (!isalnum((unsigned char)ch)) ch = '_';
                             return s;
                         });
}  // namespace
