#include "UnzipFile.h"
#include "ScrambleKeystream.h"
#include <cstring>
#include <new>

namespace {
CTime DosToTime(DWORD dos) {
    const UINT date = dos >> 16, time = dos & 0xFFFF;
    return CTime((int)(date >> 9) + 1980, (int)((date >> 5) & 15), (int)(date & 31), (int)(time >> 11),
                 (int)((time >> 5) & 63), (int)((time & 31) * 2), -1);
}
}  // namespace

// ---- records ----

UnzipEntryInfo::UnzipEntryInfo()
    : m_dwVersionMadeBy(0), m_dwVersionNeeded(0), m_dwFlags(0), m_dwMethod(0), m_dwDosDateTime(0), m_dwCrc(0),
      m_dwCompressedSize(0), m_dwUncompressedSize(0), m_dwNameLength(0), m_dwExtraLength(0), m_dwCommentLength(0),
      m_dwDiskNumberStart(0), m_dwInternalAttr(0), m_dwExternalAttr(0), m_time(0) {}

EntryReadRecord::EntryReadRecord()
    : m_pInBuffer(nullptr), m_nReadPos(0), m_bInflateInit(FALSE), m_nCrc(0), m_nStoredCrc(0), m_nCompressedLeft(0),
      m_nUncompressedLeft(0), m_nMethod(0), m_nBytesBefore(0) {
    memset(&m_stream, 0, sizeof m_stream);
}

EntryReadRecord::~EntryReadRecord() { delete[] m_pInBuffer; }

UnzipState::UnzipState()
    : m_nEntries(0), m_nCommentLength(0), m_nBytesBefore(0), m_nEntryIndex(0), m_nDirPos(0), m_bEntryOk(FALSE),
      m_nEndPos(0), m_nDirSize(0), m_nDirOffset(0), m_nLocalOffset(0), m_pRead(nullptr) {}

UnzipState::~UnzipState() { delete m_pRead; }

// ---- CUnzipFile ----

CUnzipFile::CUnzipFile() : m_nKey(0), m_nStep(0), m_bScrambled(false), m_nRecordPos(0), m_nRecordSize(0) {
    m_bZipFile = false;
    m_pArchive = &m_state.m_file;
    memset(m_passwordField, 0, sizeof m_passwordField);
    memset(m_record, 0, sizeof m_record);
}

CUnzipFile::CUnzipFile(LPCTSTR lpszPath) : CUnzipFile() {
    m_bScrambled = true;
    Open(lpszPath);
}

CUnzipFile::~CUnzipFile() {}

void CUnzipFile::SeekChecked(LONGLONG nPos) {
    if (nPos < 0 || (ULONGLONG)nPos > m_state.m_file.GetLength()) ThrowError(ARC_BAD_ARCHIVE);
    m_state.m_file.Seek(nPos, CFile::begin);
}

void CUnzipFile::LoadRecord(UINT nBytes) {
    if (m_state.m_file.Read(m_record, nBytes) != nBytes) ThrowError(ARC_BAD_ARCHIVE);
    m_nRecordPos = 0;
    m_nRecordSize = nBytes;
}

DWORD CUnzipFile::ReadScrambledShort(bool bScramble) {
    if (m_nRecordPos + 2 > m_nRecordSize) ThrowError(ARC_BAD_ARCHIVE);
    BYTE lo = m_record[m_nRecordPos++];
    BYTE hi = m_record[m_nRecordPos++];
    if (bScramble) {
        lo = ScrambleKeystream::ApplyByte(lo, m_nKey, m_nStep);
        hi = ScrambleKeystream::ApplyByte(hi, m_nKey, m_nStep);
    }
    return (DWORD)lo + 256u * hi;
}

DWORD CUnzipFile::ReadScrambledLong(bool bScramble) {
    DWORD lo = ReadScrambledShort(bScramble);
    DWORD hi = ReadScrambledShort(bScramble);
    return lo | (hi << 16);
}

void CUnzipFile::Open(LPCTSTR lpszPath) {
    m_bScrambled = true;
    if (m_state.m_file.IsOpen()) return;
    CFileException e;
    if (!m_state.m_file.Open(lpszPath, CFile::modeRead | CFile::shareDenyWrite, &e))
        throw new CFileException(e.m_cause, e.m_lOsError, e.m_strFileName);

    const DWORD endPos = FindEndRecord();
    // Key, step, constant byte and record length, then the end record.
    SeekChecked((LONGLONG)endPos + ArchiveRecordPrefix::keyOffset);
    LoadRecord(5 + ZIP_END_RECORD_SIZE);
    m_nKey = m_record[0];
    m_nStep = m_record[1];
    m_nRecordPos = 5;
    ReadScrambledLong(true);  // the end record's signature is not compared
    const DWORD disk = ReadScrambledShort(true);
    const DWORD dirDisk = ReadScrambledShort(true);
    const DWORD entries = ReadScrambledShort(true);
    const DWORD total = ReadScrambledShort(true);
    const DWORD dirSize = ReadScrambledLong(true);
    const DWORD dirOffset = ReadScrambledLong(true);
    const DWORD comment = ReadScrambledShort(true);
    // This program's archives hold one entry each: restoring the first of
    // several, or a directory's end as an entry, would lose the rest once
    // the archive is deleted.
    if (disk != 0 || dirDisk != 0 || entries != total || entries != 1 || (ULONGLONG)dirOffset + dirSize > endPos)
        ThrowError(ARC_BAD_ARCHIVE);

    m_state.m_nEntries = entries;
    m_state.m_nCommentLength = comment;
    m_state.m_nDirSize = dirSize;
    m_state.m_nDirOffset = dirOffset;
    m_state.m_nEndPos = endPos;
    m_state.m_nBytesBefore = endPos - dirOffset - dirSize;
    GoToFirstEntry();
}

DWORD CUnzipFile::FindEndRecord() {
    const ULONGLONG size = m_state.m_file.GetLength();
    const ULONGLONG limit = size < 65535 ? size : 65535;
    BYTE pattern[12];
    ArchiveRecordPrefix::EndPattern(pattern);
    BYTE window[1028];
    ULONGLONG back = 4, found = 0;
    // Windows of up to 1028 bytes from the end towards the start, each 1024
    // bytes nearer the start than the last, so neighbours share 4 bytes.
    while (back < limit && !found) {
        back = back + 1024 < limit ? back + 1024 : limit;
        const ULONGLONG start = size - back;
        const UINT len = (UINT)(size - start < sizeof window ? size - start : sizeof window);
        m_state.m_file.Seek((LONGLONG)start, CFile::begin);
        const UINT got = m_state.m_file.Read(window, len);
        for (LONGLONG i = (LONGLONG)got - (LONGLONG)sizeof pattern; i >= 0; --i) {
            if (memcmp(window + i, pattern, sizeof pattern) == 0) {
                found = start + (ULONGLONG)i;
                break;
            }
        }
    }
    if (!found || found > ZIP_MAX_POSITION) ThrowError(ARC_BAD_ARCHIVE);
    return (DWORD)found;
}

void CUnzipFile::GoToFirstEntry() {
    m_state.m_nDirPos = m_state.m_nDirOffset;
    m_state.m_nEntryIndex = 0;
    ReadEntryHeader(m_state.m_entryInfo, m_state.m_nLocalOffset);
    m_state.m_bEntryOk = TRUE;
}

void CUnzipFile::ReadEntryHeader(UnzipEntryInfo& info, DWORD& nLocalOffset) {
    SeekChecked((LONGLONG)m_state.m_nDirPos + m_state.m_nBytesBefore - ArchiveRecordPrefix::recordSize);
    LoadRecord(ArchiveRecordPrefix::recordSize);
    if (memcmp(m_record, ArchiveRecordPrefix::magic, ArchiveRecordPrefix::magicSize) != 0)
        ThrowError(ARC_BAD_ARCHIVE);
    m_nKey = m_record[ArchiveRecordPrefix::keyOffset];
    m_nStep = m_record[ArchiveRecordPrefix::stepOffset];
    // The check field is compared as a string with "": only its first byte counts.
    if (m_record[ArchiveRecordPrefix::checkOffset] != 0) ThrowError(ARC_BAD_ARCHIVE);

    LoadRecord(ZIP_CENTRAL_HEADER_SIZE);
    if (ReadScrambledLong(true) != ZIP_CENTRAL_SIGNATURE) ThrowError(ARC_BAD_ARCHIVE);
    info.m_dwVersionMadeBy = ReadScrambledShort(true);
    info.m_dwVersionNeeded = ReadScrambledShort(true);
    info.m_dwFlags = ReadScrambledShort(true);
    info.m_dwMethod = ReadScrambledShort(true);
    info.m_dwDosDateTime = ReadScrambledLong(true);
    info.m_dwCrc = ReadScrambledLong(true);
    info.m_dwCompressedSize = ReadScrambledLong(true);
    info.m_dwUncompressedSize = ReadScrambledLong(true);
    info.m_dwNameLength = ReadScrambledShort(true);
    info.m_dwExtraLength = ReadScrambledShort(true);
    info.m_dwCommentLength = ReadScrambledShort(true);
    info.m_dwDiskNumberStart = ReadScrambledShort(true);
    info.m_dwInternalAttr = ReadScrambledShort(true);
    info.m_time = DosToTime(info.m_dwDosDateTime);
    info.m_dwExternalAttr = ReadScrambledLong(true);
    nLocalOffset = ReadScrambledLong(true);
}

void CUnzipFile::GetEntryInfo(UnzipEntryInfo* info) {
    if (!m_state.m_bEntryOk) ThrowError(ARC_BAD_PARAMETER);
    UnzipEntryInfo scratch;
    DWORD localOffset = 0;
    ReadEntryHeader(info ? *info : scratch, localOffset);
}

DWORD CUnzipFile::CheckLocalHeader(DWORD& nExtraOffset, DWORD& nExtraLength) {
    const UnzipEntryInfo& central = m_state.m_entryInfo;
    SeekChecked((LONGLONG)m_state.m_nLocalOffset + m_state.m_nBytesBefore - ArchiveRecordPrefix::recordSize);
    LoadRecord(ArchiveRecordPrefix::recordSize + ZIP_LOCAL_HEADER_SIZE);
    if (memcmp(m_record, ArchiveRecordPrefix::magic, ArchiveRecordPrefix::magicSize) != 0)
        ThrowError(ARC_BAD_ARCHIVE);
    const BYTE key = m_record[ArchiveRecordPrefix::keyOffset];
    const BYTE step = m_record[ArchiveRecordPrefix::stepOffset];
    m_nKey = key;
    m_nStep = step;
    for (UINT i = 0; i < ArchiveRecordPrefix::checkSize; ++i)
        m_passwordField[i] =
            ScrambleKeystream::ApplyByte(m_record[ArchiveRecordPrefix::checkOffset + i], m_nKey, m_nStep);
    m_passwordField[ArchiveRecordPrefix::checkSize] = 0;

    // The header's keystream starts again from the prefix's key.
    m_nKey = key;
    m_nStep = step;
    m_nRecordPos = ArchiveRecordPrefix::recordSize;
    const bool sc = m_bScrambled;
    const DWORD signature = ReadScrambledLong(sc);
    ReadScrambledShort(sc);  // version needed
    const DWORD flags = ReadScrambledShort(sc);
    const DWORD method = ReadScrambledShort(sc);
    ReadScrambledLong(sc);   // DOS date and time, not compared
    const DWORD crc = ReadScrambledLong(sc);
    const DWORD compressed = ReadScrambledLong(sc);
    const DWORD uncompressed = ReadScrambledLong(sc);
    const DWORD nameLength = ReadScrambledShort(sc);
    const DWORD extraLength = ReadScrambledShort(sc);

    const bool relaxed = (flags & ZIP_FLAG_DATA_DESCRIPTOR) != 0;
    if (signature != ZIP_LOCAL_SIGNATURE || method != central.m_dwMethod ||
        (central.m_dwMethod != ZIP_METHOD_STORED && central.m_dwMethod != ZIP_METHOD_DEFLATE) ||
        (!relaxed && (crc != central.m_dwCrc || compressed != central.m_dwCompressedSize ||
                      uncompressed != central.m_dwUncompressedSize)) ||
        nameLength != central.m_dwNameLength)
        ThrowError(ARC_BAD_ARCHIVE);

    nExtraOffset = m_state.m_nLocalOffset + ZIP_LOCAL_HEADER_SIZE + nameLength;
    nExtraLength = extraLength;
    return nameLength + extraLength;
}

void CUnzipFile::EnsureReadBuffer() {
    if (m_state.m_pRead) return;
    EntryReadRecord* r = new (std::nothrow) EntryReadRecord;
    if (!r) AfxThrowMemoryException();
    r->m_pInBuffer = new (std::nothrow) BYTE[EntryReadRecord::inBufferSize];
    if (!r->m_pInBuffer) {
        delete r;
        AfxThrowMemoryException();
    }
    m_state.m_pRead = r;
}

void CUnzipFile::FreeReadRecord() {
    EntryReadRecord* r = m_state.m_pRead;
    if (!r) return;
    if (r->m_bInflateInit) inflateEnd(&r->m_stream);
    delete r;
    m_state.m_pRead = nullptr;
}

void CUnzipFile::OpenEntry() {
    if (!m_state.m_bEntryOk) ThrowError(ARC_BAD_PARAMETER);
    if (m_state.m_pRead) CloseEntry();

    DWORD extraOffset = 0, extraLength = 0;
    const DWORD nameExtra = CheckLocalHeader(extraOffset, extraLength);
    const UnzipEntryInfo& central = m_state.m_entryInfo;
    if (central.m_dwMethod != ZIP_METHOD_STORED && central.m_dwMethod != ZIP_METHOD_DEFLATE)
        ThrowError(ARC_BAD_ARCHIVE);
    // The data must lie inside the file: a recorded size beyond its end is a
    // damaged archive, not a read that would come up short.
    const ULONGLONG dataStart = (ULONGLONG)m_state.m_nLocalOffset + ZIP_LOCAL_HEADER_SIZE + nameExtra;
    const ULONGLONG dataEnd = dataStart + central.m_dwCompressedSize;
    if (dataEnd > ZIP_MAX_POSITION || m_state.m_nBytesBefore + dataEnd > m_state.m_file.GetLength())
        ThrowError(ARC_BAD_ARCHIVE);

    EnsureReadBuffer();
    EntryReadRecord* r = m_state.m_pRead;
    r->m_nStoredCrc = central.m_dwCrc;
    r->m_nMethod = central.m_dwMethod;
    r->m_nBytesBefore = m_state.m_nBytesBefore;
    if (central.m_dwMethod == ZIP_METHOD_DEFLATE) {
        PrepareStream(r->m_stream);
        int err = inflateInit2_(&r->m_stream, -MAX_WBITS, ZLIB_VERSION, (int)sizeof(z_stream));
        if (err == Z_OK) {
            r->m_bInflateInit = TRUE;
        } else if (err != Z_NEED_DICT) {
            FreeReadRecord();
            ThrowError(err);
        }
    }
    r->m_nCompressedLeft = central.m_dwCompressedSize;
    r->m_nUncompressedLeft = central.m_dwUncompressedSize;
    r->m_nReadPos = (DWORD)dataStart;
    r->m_stream.next_in = r->m_pInBuffer;
    r->m_stream.avail_in = 0;
}

UINT CUnzipFile::ReadEntryData(UINT nCount, void* pBuffer) {
    EntryReadRecord* r = m_state.m_pRead;
    if (!r) ThrowError(ARC_BAD_PARAMETER);
    if (nCount == 0 || !pBuffer) return 0;

    z_stream& s = r->m_stream;
    BYTE* out = static_cast<BYTE*>(pBuffer);
    UINT room = nCount < r->m_nUncompressedLeft ? nCount : r->m_nUncompressedLeft;
    UINT produced = 0;
    while (room > 0) {
        if (s.avail_in == 0 && r->m_nCompressedLeft > 0) {
            const UINT chunk = r->m_nCompressedLeft < (DWORD)EntryReadRecord::inBufferSize
                                   ? r->m_nCompressedLeft
                                   : (UINT)EntryReadRecord::inBufferSize;
            m_state.m_file.Seek((LONGLONG)r->m_nBytesBefore + r->m_nReadPos, CFile::begin);
            // The file ends before the entry's recorded data does.
            if (m_state.m_file.Read(r->m_pInBuffer, chunk) != chunk) ThrowError(ARC_BAD_ARCHIVE);
            r->m_nReadPos += chunk;
            r->m_nCompressedLeft -= chunk;
            s.next_in = r->m_pInBuffer;
            s.avail_in = chunk;
        }
        const bool inputLeft = s.avail_in > 0 || r->m_nCompressedLeft > 0;
        if (r->m_nMethod == ZIP_METHOD_STORED) {
            // Stored data shorter than its recorded size.
            if (s.avail_in == 0) ThrowError(ARC_BAD_ARCHIVE);
            const UINT n = room < s.avail_in ? room : s.avail_in;
            memcpy(out, s.next_in, n);
            r->m_nCrc = (DWORD)crc32(r->m_nCrc, out, n);
            s.next_in += n;
            s.avail_in -= n;
            r->m_nUncompressedLeft -= n;
            out += n;
            room -= n;
            produced += n;
            continue;
        }
        const uInt inBefore = s.avail_in;
        s.next_out = out;
        s.avail_out = room;
        const int err = inflate(&s, Z_SYNC_FLUSH);
        const UINT n = room - s.avail_out;
        r->m_nCrc = (DWORD)crc32(r->m_nCrc, out, n);
        r->m_nUncompressedLeft -= n;
        out += n;
        room -= n;
        produced += n;
        s.next_out = nullptr;
        s.avail_out = 0;
        if (err == Z_STREAM_END) {
            // A stream that ends before the recorded size would leave the
            // caller waiting for bytes that never come.
            if (r->m_nUncompressedLeft != 0) ThrowError(ARC_BAD_ARCHIVE);
            return produced;
        }
        if (err == Z_BUF_ERROR && !inputLeft) ThrowError(ARC_BAD_ARCHIVE);
        if (err != Z_OK && err != Z_NEED_DICT) ThrowError(err);
        if (n == 0 && s.avail_in == inBefore) ThrowError(ARC_BAD_ARCHIVE);  // no progress
    }
    return produced;
}

DWORD CUnzipFile::GetReadOffset() {
    EntryReadRecord* r = m_state.m_pRead;
    if (!r) ThrowError(ARC_BAD_PARAMETER);
    return r->m_nBytesBefore + r->m_nReadPos;
}

void CUnzipFile::CloseEntry() {
    EntryReadRecord* r = m_state.m_pRead;
    if (!r) return;
    if (r->m_nUncompressedLeft == 0 && r->m_nCrc != r->m_nStoredCrc) ThrowError(ARC_CRC_MISMATCH);
    FreeReadRecord();
}

void CUnzipFile::Close() {
    if (!m_state.m_file.IsOpen()) return;
    if (m_state.m_pRead) CloseEntry();
    // A closed reader has no current entry: its calls are refused, not read
    // from a closed file.
    m_state.m_bEntryOk = FALSE;
    m_state.m_file.Close();
}
