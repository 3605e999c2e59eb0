// The bytes of the archives the writer produces, decoded here without the
// reader: only the keystream table is taken from the engine.
#include "ArchiveTestUtil.h"
#include <gtest/gtest.h>

namespace {
const char kMagic[] = "BRIVON KIV";

DWORD DosValue(int y, int mo, int d, int h, int mi, int s) {
    return ((DWORD)((y - 1980) * 512 + mo * 32 + d) << 16) | (DWORD)(h * 2048 + mi * 32 + s / 2);
}

void ExpectPrefix(const ArchiveBytes& a, size_t pos, BYTE sig0, BYTE sig1, const char* what) {
    SCOPED_TRACE(what);
    EXPECT_EQ(a.b.substr(pos, 10), std::string(kMagic));
    EXPECT_EQ((BYTE)a.b[pos + 10], sig0);
    EXPECT_EQ((BYTE)a.b[pos + 11], sig1);
    if (sig0 != 0x05) {
        EXPECT_LT((BYTE)a.b[pos + 12], 60);  // key: a second (the end prefix's runs on)
    }
    EXPECT_LT((BYTE)a.b[pos + 13], 60);  // step: a minute
    EXPECT_EQ((BYTE)a.b[pos + 14], 0x02);
}

TEST(ArchiveFormat, OneEntryArchiveHasTheDocumentedLayout) {
    TempDir dir;
    const CString path = dir.File(_T("a.kvf"));
    const std::string data = MakeText(40000, 3);
    EntryFileInfo info;
    info.m_time = CTime(2023, 7, 15, 13, 45, 31);
    info.m_dwExternalAttr = 0x21;
    WriteArchive(path, data, "secret12", info);

    ArchiveBytes a{ReadAll(path)};
    const std::string deflated = RawDeflate(data);
    const size_t m = 2;  // the name "-"
    const size_t dataPos = 33 + 30 + m;
    const size_t centralPos = dataPos + deflated.size();
    const size_t endPos = centralPos + 33 + 46 + m;
    ASSERT_EQ(a.b.size(), endPos + 17 + 22);
    const DWORD dos = DosValue(2023, 7, 15, 13, 45, 31);
    const DWORD crc = Crc32(data);

    // Local prefix: the check field and the header are scrambled, each run
    // starting from the prefix's key and step.
    ExpectPrefix(a, 0, 0x03, 0x04, "local prefix");
    const BYTE key = (BYTE)a.b[12], step = (BYTE)a.b[13];
    EXPECT_EQ(a.Get(31, 2), 30 + m);
    ArchiveBytes plain = a;
    plain.Keystream(15, 16, key, step);
    EXPECT_EQ(plain.b.substr(15, 16), std::string("secret12\0\0\0\0\0\0\0\0", 16));
    plain.Keystream(33, 30 + m, key, step);
    EXPECT_EQ(plain.Get(33, 4), 0x04034b50u);
    EXPECT_EQ(plain.Get(37, 2), 20u);
    EXPECT_EQ(plain.Get(39, 2), 2u);  // level 9
    EXPECT_EQ(plain.Get(41, 2), 8u);
    EXPECT_EQ(plain.Get(43, 4), dos);
    EXPECT_EQ(plain.Get(47, 4), crc);
    EXPECT_EQ(plain.Get(51, 4), deflated.size());
    EXPECT_EQ(plain.Get(55, 4), data.size());
    EXPECT_EQ(plain.Get(59, 2), m);
    EXPECT_EQ(plain.Get(61, 2), 0u);
    EXPECT_EQ(plain.b.substr(63, 2), std::string("-\0", 2));

    // The data: plain raw deflate, the same bytes zlib gives with these settings.
    EXPECT_TRUE(a.b.substr(dataPos, deflated.size()) == deflated);

    // Central prefix: plain, 16 zero bytes, the directory's size.
    ExpectPrefix(a, centralPos, 0x01, 0x02, "central prefix");
    EXPECT_EQ(a.b.substr(centralPos + 15, 16), std::string(16, '\0'));
    EXPECT_EQ(a.Get(centralPos + 31, 2), 46 + m);
    plain.Keystream(centralPos + 33, 46 + m, (BYTE)a.b[centralPos + 12], (BYTE)a.b[centralPos + 13]);
    const size_t c = centralPos + 33;
    EXPECT_EQ(plain.Get(c, 4), 0x02014b50u);
    EXPECT_EQ(plain.Get(c + 4, 2), 0u);
    EXPECT_EQ(plain.Get(c + 6, 2), 20u);
    EXPECT_EQ(plain.Get(c + 8, 2), 2u);
    EXPECT_EQ(plain.Get(c + 10, 2), 8u);
    EXPECT_EQ(plain.Get(c + 12, 4), dos);
    EXPECT_EQ(plain.Get(c + 16, 4), crc);
    EXPECT_EQ(plain.Get(c + 20, 4), deflated.size());
    EXPECT_EQ(plain.Get(c + 24, 4), data.size());
    EXPECT_EQ(plain.Get(c + 28, 2), m);
    for (size_t f : {30, 32, 34, 36}) EXPECT_EQ(plain.Get(c + f, 2), 0u) << "field at " << f;
    EXPECT_EQ(plain.Get(c + 38, 4), 0x21u);
    EXPECT_EQ(plain.Get(c + 42, 4), 0u);  // the local PREFIX's position
    EXPECT_EQ(plain.b.substr(c + 46, 2), std::string("-\0", 2));

    // End prefix: the writer's running key, left by the local header and name.
    ExpectPrefix(a, endPos, 0x05, 0x06, "end prefix");
    EXPECT_EQ((BYTE)a.b[endPos + 12], (BYTE)(key + (30 + m) * step));
    EXPECT_EQ((BYTE)a.b[endPos + 13], step);
    EXPECT_EQ(a.Get(endPos + 15, 2), 22u);
    plain.Keystream(endPos + 17, 22, (BYTE)a.b[endPos + 12], (BYTE)a.b[endPos + 13]);
    const size_t e = endPos + 17;
    EXPECT_EQ(plain.Get(e, 4), 0x06054b50u);
    EXPECT_EQ(plain.Get(e + 4, 2), 0u);
    EXPECT_EQ(plain.Get(e + 6, 2), 0u);
    EXPECT_EQ(plain.Get(e + 8, 2), 1u);
    EXPECT_EQ(plain.Get(e + 10, 2), 1u);
    EXPECT_EQ(plain.Get(e + 12, 4), 46 + m);
    EXPECT_EQ(plain.Get(e + 16, 4), centralPos);  // the CENTRAL PREFIX's position
    EXPECT_EQ(plain.Get(e + 20, 2), 0u);
}

TEST(ArchiveFormat, ArchiveWithoutEntryHoldsOnlyThePrefixesAndAnEmptyEndRecord) {
    TempDir dir;
    const CString path = dir.File(_T("empty.kvf"));
    {
        CZipFile zip;
        zip.Open(path);
        zip.Close();
    }
    ArchiveBytes a{ReadAll(path)};
    ASSERT_EQ(a.b.size(), 33u + 17u + 22u);
    ExpectPrefix(a, 0, 0x01, 0x02, "central prefix");
    EXPECT_EQ(a.Get(31, 2), 0u);
    ExpectPrefix(a, 33, 0x05, 0x06, "end prefix");
    ArchiveBytes plain = a;
    plain.Keystream(50, 22, (BYTE)a.b[45], (BYTE)a.b[46]);
    EXPECT_EQ(plain.Get(50, 4), 0x06054b50u);
    EXPECT_EQ(plain.Get(58, 2), 0u);   // entries
    EXPECT_EQ(plain.Get(62, 4), 0u);   // directory size
    EXPECT_EQ(plain.Get(66, 4), 0u);   // directory offset: the central prefix
    // Such an archive is not readable: its "first central header" is the end prefix.
    EXPECT_EQ(Catch([&] { CUnzipFile r(path); }).cause, CZipException::badArchive);
}

TEST(ArchiveFormat, NamedEntryStoresUtf16LengthsInBothHeaders) {
    TempDir dir;
    const CString path = dir.File(_T("named.kvf"));
    const CString name(_T("d\u00e9j\u00e0.txt"));  // 8 units
    {
        CZipFile zip;
        zip.Open(path);
        EntryFileInfo info;
        zip.BeginEntry(name, info, 9, 8);
        zip.WriteEntryData(3, "abc");
        zip.Close();
    }
    ArchiveBytes a{ReadAll(path)};
    const BYTE key = (BYTE)a.b[12], step = (BYTE)a.b[13];
    EXPECT_EQ(a.Get(31, 2), 30u + 16u);
    a.Keystream(33, 46, key, step);
    EXPECT_EQ(a.Get(59, 2), 16u);
    EXPECT_EQ(a.Get(63 + 2, 2), 0xE9u);  // 'é', low byte first
    const size_t endPos = a.b.size() - 39;
    EXPECT_EQ((BYTE)a.b[endPos + 12], (BYTE)(key + 46 * step));
    ReadResult r = ReadArchive(path);
    EXPECT_EQ(r.info.m_dwNameLength, 16u);
    EXPECT_EQ(r.data, "abc");
}

struct DosCase {
    const char* what;
    int y, mo, d, h, mi, s;
    DWORD expected;
};

TEST(ArchiveFormat, DosDateAndTimeFollowThePackingRule) {
    const DosCase cases[] = {
        {"first DOS day", 1980, 1, 1, 0, 0, 0, 33u << 16},
        {"odd seconds round down", 2023, 7, 15, 13, 45, 31, DosValue(2023, 7, 15, 13, 45, 30)},
        {"end of a year", 1999, 12, 31, 23, 59, 58, DosValue(1999, 12, 31, 23, 59, 58)},
        {"before 1980 holds the first day", 1979, 12, 31, 23, 59, 59, 33u << 16},
        {"last DOS year", 2107, 12, 31, 23, 59, 59, DosValue(2107, 12, 31, 23, 59, 58)},
        {"after 2107 holds the last second", 2110, 3, 1, 12, 0, 0, DosValue(2107, 12, 31, 23, 59, 58)},
    };
    for (const DosCase& c : cases) {
        EntryFileInfo info;
        info.m_time = CTime(c.y, c.mo, c.d, c.h, c.mi, c.s);
        EXPECT_EQ(info.GetDosDateTime(), c.expected) << c.what;
    }
    EntryFileInfo stored;
    stored.m_dwDosDateTime = 0x12345678;
    EXPECT_EQ(stored.GetDosDateTime(), 0x12345678u) << "a stored value is used as it is";
}
}  // namespace
