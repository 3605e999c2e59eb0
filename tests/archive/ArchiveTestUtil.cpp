#include "ArchiveTestUtil.h"
#include <gtest/gtest.h>
#include <zlib.h>

Thrown Catch(const std::function<void()>& f) {
    Thrown t;
    try {
        f();
    } catch (CZipException* e) {
        t.cause = e->m_iCause;
        t.fileName = e->m_strFileName;
        t.zipFile = e->m_bZipFile;
        t.kind = "zip";
        e->Delete();
    } catch (CFileException* e) {
        t.cause = -1;
        t.kind = "file";
        e->Delete();
    } catch (CMemoryException* e) {
        t.cause = -1;
        t.kind = "memory";
        e->Delete();
    } catch (CException* e) {
        t.cause = -1;
        t.kind = "other";
        e->Delete();
    }
    return t;
}

namespace {
void FillPassword(CZipFile& zip, const std::string& password) {
    memset(zip.m_passwordField, 0, sizeof zip.m_passwordField);
    memcpy(zip.m_passwordField, password.data(), password.size() < 16 ? password.size() : 16);
}
}  // namespace

void CompressFile(const CString& source, const CString& archive, const std::string& password) {
    CFile src(source, CFile::modeRead | CFile::shareDenyWrite);
    CZipFile zip;
    FillPassword(zip, password);
    zip.Open(archive);
    EntryFileInfo info;
    info.SetFromFile(src);
    zip.BeginEntry(_T(""), info, 9, 8);
    std::string buf(kTaskChunk, '\0');
    ULONGLONG remaining = src.GetLength();
    while (remaining) {
        UINT piece = remaining > kTaskChunk ? kTaskChunk : (UINT)remaining;
        UINT got = src.Read(&buf[0], piece);
        ASSERT_EQ(got, piece);
        zip.WriteEntryData(got, buf.data());
        remaining -= got;
    }
    src.Close();
    zip.Close();
}

void WriteArchive(const CString& archive, const std::string& data, const std::string& password,
                  const EntryFileInfo& info) {
    CZipFile zip;
    FillPassword(zip, password);
    zip.Open(archive);
    zip.BeginEntry(_T(""), info, 9, 8);
    for (size_t off = 0; off < data.size(); off += kTaskChunk) {
        size_t n = data.size() - off < kTaskChunk ? data.size() - off : kTaskChunk;
        zip.WriteEntryData((UINT)n, data.data() + off);
    }
    zip.Close();
}

ReadResult ReadArchive(const CString& archive) {
    ReadResult r;
    CUnzipFile unzip;
    unzip.Open(archive);
    unzip.GetEntryInfo(&r.info);
    unzip.OpenEntry();
    r.password = std::string(reinterpret_cast<const char*>(unzip.m_passwordField));
    DWORD remaining = r.info.m_dwUncompressedSize;
    std::string buf(kTaskChunk, '\0');
    DWORD last = unzip.GetReadOffset();
    while (remaining) {
        UINT piece = remaining > kTaskChunk ? kTaskChunk : remaining;
        UINT n = unzip.ReadEntryData(piece, &buf[0]);
        if (n == 0) {
            ADD_FAILURE() << "ReadEntryData produced nothing with " << remaining << " bytes left";
            break;
        }
        DWORD offset = unzip.GetReadOffset();
        EXPECT_GE(offset, last);
        last = offset;
        r.data.append(buf.data(), n);
        remaining -= n;
    }
    EXPECT_EQ(unzip.ReadEntryData(16, &buf[0]), 0u);
    r.finalReadOffset = unzip.GetReadOffset();
    unzip.CloseEntry();
    unzip.Close();
    return r;
}

size_t ArchiveBytes::CentralPos() const {
    ArchiveBytes copy = *this;
    copy.Keystream(EndPos() + 17, 22, (BYTE)b[EndPos() + 12], (BYTE)b[EndPos() + 13]);
    return copy.Get(EndPos() + 17 + 16, 4);
}

DWORD ArchiveBytes::Get(size_t i, int n) const {
    DWORD v = 0;
    for (int k = n - 1; k >= 0; --k) v = (v << 8) | (BYTE)b.at(i + k);
    return v;
}

void ArchiveBytes::Put(size_t i, int n, DWORD v) {
    for (int k = 0; k < n; ++k) b.at(i + k) = (char)(BYTE)(v >> (8 * k));
}

void ArchiveBytes::Keystream(size_t pos, size_t n, BYTE key, BYTE step) {
    for (size_t i = 0; i < n; ++i) {
        key = (BYTE)(key + step);
        b.at(pos + i) = (char)((BYTE)b.at(pos + i) ^ ScrambleKeystream::table[key]);
    }
}

void ArchiveBytes::EditRecord(size_t prefixPos, size_t recordPos, size_t len,
                              const std::function<void(ArchiveBytes&)>& edit) {
    BYTE key = (BYTE)b.at(prefixPos + 12), step = (BYTE)b.at(prefixPos + 13);
    Keystream(recordPos, len, key, step);
    edit(*this);
    Keystream(recordPos, len, key, step);
}

void ArchiveBytes::EditLocalHeader(const std::function<void(ArchiveBytes&)>& edit) { EditRecord(0, 33, 30, edit); }
void ArchiveBytes::EditCentralHeader(const std::function<void(ArchiveBytes&)>& edit) {
    size_t c = CentralPos();
    EditRecord(c, c + 33, 46, edit);
}
void ArchiveBytes::EditEndRecord(const std::function<void(ArchiveBytes&)>& edit) {
    EditRecord(EndPos(), EndPos() + 17, 22, edit);
}

std::string RawDeflate(const std::string& data) {
    z_stream s = {};
    EXPECT_EQ(deflateInit2(&s, 9, Z_DEFLATED, -15, 8, Z_DEFAULT_STRATEGY), Z_OK);
    std::string out(deflateBound(&s, (uLong)data.size()) + 16, '\0');
    s.next_in = (Bytef*)data.data();
    s.avail_in = (uInt)data.size();
    s.next_out = (Bytef*)&out[0];
    s.avail_out = (uInt)out.size();
    EXPECT_EQ(deflate(&s, Z_FINISH), Z_STREAM_END);
    out.resize(s.total_out);
    deflateEnd(&s);
    return out;
}

DWORD Crc32(const std::string& data) { return (DWORD)crc32(0, (const Bytef*)data.data(), (uInt)data.size()); }
