// What the reader accepts and refuses: a table of edits to an archive the
// writer produced, each with the cause it must raise (0: the entry reads back
// whole). The hostile rows must end in an exception, never in a hang.
#include "ArchiveTestUtil.h"
#include <gtest/gtest.h>

namespace {
const size_t kDataPos = 33 + 30 + 2;

// Header field offsets.
enum { L_SIG = 0, L_VERSION = 4, L_FLAGS = 6, L_METHOD = 8, L_TIME = 10, L_CRC = 14, L_CSIZE = 18, L_USIZE = 22,
       L_NAMELEN = 26 };
enum { C_SIG = 0, C_METHOD = 10, C_CRC = 16, C_CSIZE = 20, C_USIZE = 24, C_LOCAL = 42 };
enum { E_DISK = 4, E_DIRDISK = 6, E_ENTRIES = 8, E_TOTAL = 10, E_SIZE = 12, E_OFFSET = 16 };

void SetLocal(ArchiveBytes& a, size_t off, int n, DWORD v) {
    a.EditLocalHeader([&](ArchiveBytes& p) { p.Put(33 + off, n, v); });
}
DWORD GetLocal(ArchiveBytes a, size_t off, int n) {
    DWORD v = 0;
    a.EditLocalHeader([&](ArchiveBytes& p) { v = p.Get(33 + off, n); });
    return v;
}
void SetCentral(ArchiveBytes& a, size_t off, int n, DWORD v) {
    size_t c = a.CentralPos() + 33;
    a.EditCentralHeader([&](ArchiveBytes& p) { p.Put(c + off, n, v); });
}
void SetEnd(ArchiveBytes& a, size_t off, int n, DWORD v) {
    size_t e = a.EndPos() + 17;
    a.EditEndRecord([&](ArchiveBytes& p) { p.Put(e + off, n, v); });
}
DWORD GetEnd(ArchiveBytes a, size_t off, int n) {
    DWORD v = 0;
    size_t e = a.EndPos() + 17;
    a.EditEndRecord([&](ArchiveBytes& p) { v = p.Get(e + off, n); });
    return v;
}
void SetBoth(ArchiveBytes& a, size_t localOff, size_t centralOff, int n, DWORD v) {
    SetCentral(a, centralOff, n, v);
    SetLocal(a, localOff, n, v);
}
size_t DataSize(const ArchiveBytes& a) { return a.CentralPos() - kDataPos; }

struct ReaderCase {
    const char* name;
    std::function<void(ArchiveBytes&)> edit;
    int cause;  // 0: reads back whole
};

const int kBad = CZipException::badArchive;

std::vector<ReaderCase> Cases() {
    auto trailing = [](size_t n) { return [n](ArchiveBytes& a) { a.b.append(n, 'x'); }; };
    return {
        {"unchanged", [](ArchiveBytes&) {}, 0},
        {"100 bytes before the archive", [](ArchiveBytes& a) { a.b.insert(0, std::string(100, '\x07')); }, 0},
        {"end prefix 65535 bytes from the end", trailing(65535 - 39), 0},
        {"end prefix 65536 bytes from the end", trailing(65536 - 39), kBad},
        // The first window is the last 1028 bytes; the next one ends 4 bytes
        // into it, so a pattern starting 1 to 7 bytes before it is in neither.
        {"end pattern at the first window's start", trailing(1028 - 39), 0},
        {"end pattern 1 byte before the first window", trailing(1028 - 39 + 1), kBad},
        {"end pattern 7 bytes before the first window", trailing(1028 - 39 + 7), kBad},
        {"end pattern 8 bytes before the first window", trailing(1028 - 39 + 8), 0},
        {"file of 0 bytes", [](ArchiveBytes& a) { a.b.clear(); }, kBad},
        {"file of 3 bytes", [](ArchiveBytes& a) { a.b = "BRI"; }, kBad},
        {"end pattern at position 0", [](ArchiveBytes& a) { a.b = a.b.substr(a.EndPos()); }, kBad},

        {"local prefix magic", [](ArchiveBytes& a) { a.At(3) ^= 1; }, kBad},
        {"central prefix magic", [](ArchiveBytes& a) { a.At(a.CentralPos() + 9) ^= 1; }, kBad},
        {"end prefix magic", [](ArchiveBytes& a) { a.At(a.EndPos()) ^= 1; }, kBad},
        {"end prefix signature pair", [](ArchiveBytes& a) { a.At(a.EndPos() + 11) = 0x07; }, kBad},
        {"local prefix signature pair", [](ArchiveBytes& a) { a.At(10) = 0x55; }, 0},
        {"central prefix signature pair", [](ArchiveBytes& a) { a.At(a.CentralPos() + 11) = 0x55; }, 0},
        {"local constant byte", [](ArchiveBytes& a) { a.At(14) = 0x99; }, 0},
        {"central constant byte", [](ArchiveBytes& a) { a.At(a.CentralPos() + 14) = 0x99; }, 0},
        {"end constant byte", [](ArchiveBytes& a) { a.At(a.EndPos() + 14) = 0x99; }, 0},
        {"local record length", [](ArchiveBytes& a) { a.Put(31, 2, 0xFFFF); }, 0},
        {"central record length", [](ArchiveBytes& a) { a.Put(a.CentralPos() + 31, 2, 7); }, 0},
        {"end record length", [](ArchiveBytes& a) { a.Put(a.EndPos() + 15, 2, 0); }, 0},
        {"central check field first byte", [](ArchiveBytes& a) { a.At(a.CentralPos() + 15) = 'p'; }, kBad},
        {"central check field later bytes",
         [](ArchiveBytes& a) {
             for (size_t i = 1; i < 16; ++i) a.At(a.CentralPos() + 15 + i) = (BYTE)(0xA0 + i);
         },
         0},

        {"local signature", [](ArchiveBytes& a) { SetLocal(a, L_SIG, 4, 0x04034b51); }, kBad},
        {"local method", [](ArchiveBytes& a) { SetLocal(a, L_METHOD, 2, 0); }, kBad},
        {"local name length", [](ArchiveBytes& a) { SetLocal(a, L_NAMELEN, 2, 4); }, kBad},
        {"local CRC", [](ArchiveBytes& a) { SetLocal(a, L_CRC, 4, 0x12345678); }, kBad},
        {"local compressed size", [](ArchiveBytes& a) { SetLocal(a, L_CSIZE, 4, 1); }, kBad},
        {"local uncompressed size", [](ArchiveBytes& a) { SetLocal(a, L_USIZE, 4, 1); }, kBad},
        {"local CRC and sizes with flag bit 3",
         [](ArchiveBytes& a) {
             SetLocal(a, L_FLAGS, 2, 2 | 8);
             SetLocal(a, L_CRC, 4, 0);
             SetLocal(a, L_CSIZE, 4, 0);
             SetLocal(a, L_USIZE, 4, 0);
         },
         0},
        {"local version and time", [](ArchiveBytes& a) {
             SetLocal(a, L_VERSION, 2, 45);
             SetLocal(a, L_TIME, 4, 0x00210000);
         }, 0},
        {"central signature", [](ArchiveBytes& a) { SetCentral(a, C_SIG, 4, 0x02014b51); }, kBad},
        {"method 9 in both headers", [](ArchiveBytes& a) { SetBoth(a, L_METHOD, C_METHOD, 2, 9); }, kBad},
        {"end record disk number", [](ArchiveBytes& a) { SetEnd(a, E_DISK, 2, 1); }, kBad},
        {"end record directory disk", [](ArchiveBytes& a) { SetEnd(a, E_DIRDISK, 2, 1); }, kBad},
        {"end record entry counts differ", [](ArchiveBytes& a) { SetEnd(a, E_ENTRIES, 2, 2); }, kBad},
        {"end record counting two entries",
         [](ArchiveBytes& a) {
             SetEnd(a, E_ENTRIES, 2, 2);
             SetEnd(a, E_TOTAL, 2, 2);
         },
         kBad},
        {"directory reaching past the end prefix",
         [](ArchiveBytes& a) { SetEnd(a, E_OFFSET, 4, GetEnd(a, E_OFFSET, 4) + 1); }, kBad},

        // Hostile archives: stored fields that would wrap in 32 bits or point
        // outside the file, and data shorter than its recorded sizes.
        {"directory offset that wraps", [](ArchiveBytes& a) { SetEnd(a, E_OFFSET, 4, 0xFFFFFFF0); }, kBad},
        {"directory size that wraps", [](ArchiveBytes& a) { SetEnd(a, E_SIZE, 4, 0xFFFFFFF0); }, kBad},
        {"local offset beyond the file", [](ArchiveBytes& a) { SetCentral(a, C_LOCAL, 4, 0xFFFFFFE0); }, kBad},
        {"local prefix before the file's start",
         [](ArchiveBytes& a) {
             // 10 fewer bytes before the archive: the directory is still found,
             // the local prefix would start at -10.
             SetEnd(a, E_OFFSET, 4, GetEnd(a, E_OFFSET, 4) + 10);
         },
         kBad},
        {"uncompressed size larger than the data",
         [](ArchiveBytes& a) { SetBoth(a, L_USIZE, C_USIZE, 4, GetLocal(a, L_USIZE, 4) + 1000); }, kBad},
        {"compressed size beyond the file",
         [](ArchiveBytes& a) { SetBoth(a, L_CSIZE, C_CSIZE, 4, 0x7FFFFFFF); }, kBad},
        {"compressed size smaller than the data",
         [](ArchiveBytes& a) { SetBoth(a, L_CSIZE, C_CSIZE, 4, (DWORD)DataSize(a) / 2); }, kBad},
        {"stored data shorter than its size",
         [](ArchiveBytes& a) {
             SetBoth(a, L_METHOD, C_METHOD, 2, 0);
             SetBoth(a, L_USIZE, C_USIZE, 4, (DWORD)DataSize(a) + 100);
         },
         kBad},
        {"stored data with the wrong CRC",
         [](ArchiveBytes& a) {
             SetBoth(a, L_METHOD, C_METHOD, 2, 0);
             SetBoth(a, L_USIZE, C_USIZE, 4, (DWORD)DataSize(a));
         },
         CZipException::badCrc},
        {"data byte changed", [](ArchiveBytes& a) { a.At(kDataPos + 100) ^= 0x40; }, CZipException::badCrc},
        {"stored block length changed", [](ArchiveBytes& a) { a.At(kDataPos + 1) ^= 0x40; }, CZipException::dataError},
        {"data cut out", [](ArchiveBytes& a) { a.b.erase(kDataPos + 10, 100); }, kBad},
        {"archive cut in its data", [](ArchiveBytes& a) { a.b.resize(kDataPos + 500); }, kBad},
    };
}

TEST(ArchiveReaderRules, AcceptsAndRefusesAsTheFormatSays) {
    TempDir dir;
    const CString base = dir.File(_T("base.kvf"));
    // Incompressible, so the data is one stored deflate block and the archive
    // is longer than two search windows.
    const std::string data = MakeRandom(3000, 11);
    EntryFileInfo info;
    info.m_time = CTime(2020, 2, 29, 8, 0, 0);
    WriteArchive(base, data, "pw1234", info);
    const std::string original = ReadAll(base);

    int row = 0;
    for (const ReaderCase& c : Cases()) {
        SCOPED_TRACE(c.name);
        ArchiveBytes a{original};
        c.edit(a);
        const CString path = dir.File(CString(("case" + std::to_string(row++) + ".kvf").c_str()));
        WriteAll(path, a.b);
        ReadResult r;
        Thrown t = Catch([&] { r = ReadArchive(path); });
        EXPECT_EQ(t.cause, c.cause) << "thrown: " << t.kind;
        if (c.cause == 0 && t.cause == 0) {
            EXPECT_TRUE(r.data == data);
            EXPECT_EQ(r.password, "pw1234");
        }
        if (t.kind == "zip") {
            EXPECT_FALSE(t.zipFile);
            EXPECT_TRUE(t.fileName == path);
        }
    }
}

TEST(ArchiveReaderRules, ArchiveBehindOtherDataIsFoundAtItsOffsetsPlusThoseBytes) {
    TempDir dir;
    const CString base = dir.File(_T("base.kvf"));
    const std::string data = MakeText(70000, 5);
    WriteArchive(base, data, "pw1234", EntryFileInfo());
    const CString shifted = dir.File(_T("shifted.kvf"));
    WriteAll(shifted, std::string(100, 'z') + ReadAll(base));
    CUnzipFile r(shifted);
    EXPECT_EQ(r.m_state.m_nBytesBefore, 133u);
    r.OpenEntry();
    std::string out(data.size(), '\0');
    EXPECT_EQ(r.ReadEntryData((UINT)out.size(), &out[0]), data.size());
    EXPECT_TRUE(out == data);
    // The read offset is a position in the file, so it includes the 100 bytes.
    EXPECT_EQ(r.GetReadOffset(), 100u + kDataPos + r.m_state.m_entryInfo.m_dwCompressedSize);
    r.Close();
}

TEST(ArchiveReaderRules, PartlyReadEntryClosesWithoutCrcCheckAndReopens) {
    TempDir dir;
    const CString path = dir.File(_T("a.kvf"));
    const std::string data = MakeText(200000, 9);
    WriteArchive(path, data, "pw1234", EntryFileInfo());
    CUnzipFile r(path);
    r.OpenEntry();
    std::string buf(1000, '\0');
    EXPECT_EQ(r.ReadEntryData(1000, &buf[0]), 1000u);
    r.CloseEntry();
    UnzipEntryInfo info;
    r.GetEntryInfo(&info);
    r.GetEntryInfo(nullptr);
    EXPECT_EQ(info.m_dwUncompressedSize, data.size());
    r.OpenEntry();
    r.OpenEntry();  // an open entry is closed first
    std::string out(data.size(), '\0');
    EXPECT_EQ(r.ReadEntryData((UINT)out.size(), &out[0]), data.size());
    EXPECT_TRUE(out == data);
    r.Close();
    EXPECT_FALSE(r.m_state.m_file.IsOpen());
    EXPECT_EQ(Catch([&] { r.OpenEntry(); }).cause, CZipException::badParameter) << "no current entry after Close";
    r.Open(path);
    r.OpenEntry();
    EXPECT_EQ(r.ReadEntryData(3, &out[0]), 3u);
    r.Close();
}
}  // namespace
