#include "ZipFile.h"
#include "ScrambleKeystream.h"
#include <cstring>
#include <new>

namespace {
void PutShort(BYTE* p, UINT v) {
    p[0] = (BYTE)v;
    p[1] = (BYTE)(v >> 8);
}
void PutLong(BYTE* p, DWORD v) {
    PutShort(p, v & 0xFFFF);
    PutShort(p + 2, v >> 16);
}
BYTE* NewBytes(size_t n) {
    BYTE* p = new (std::nothrow) BYTE[n];
    if (!p) AfxThrowMemoryException();
    return p;
}
// Levels 8 and 9: 2; 2: 4; 1: 6; others 0.
UINT FlagsForLevel(int nLevel) {
    switch (nLevel) {
    case 8:
    case 9: return 2;
    case 2: return 4;
    case 1: return 6;
    default: return 0;
    }
}
}  // namespace

// ---- EntryFileInfo ----

EntryFileInfo::EntryFileInfo()
    : m_time(CTime::GetCurrentTime()), m_dwDosDateTime(0), m_dwInternalAttr(0), m_dwExternalAttr(0) {}

void EntryFileInfo::SetFromFile(CFile& file) {
    CFileStatus status;
    if (file.GetStatus(status)) m_time = status.m_mtime;
    m_dwExternalAttr = GetFileAttributesW(AfxExactPathForm(file.GetFilePath()));
}

DWORD EntryFileInfo::GetDosDateTime() const {
    if (m_dwDosDateTime) return m_dwDosDateTime;
    const DWORD kFirst = (DWORD)((1 << 5) | 1) << 16;                       // 1980-01-01 00:00:00
    const DWORD kLast = ((DWORD)((127 << 9) | (12 << 5) | 31) << 16) | ((23 << 11) | (59 << 5) | 29);
    struct tm t;
    if (!m_time.GetLocalTm(&t)) return kFirst;
    int year = t.tm_year + 1900;
    if (year < 1980) return kFirst;
    if (year > 2107) return kLast;
    DWORD date = (DWORD)((year - 1980) * 512 + (t.tm_mon + 1) * 32 + t.tm_mday);
    DWORD time = (DWORD)(t.tm_hour * 2048 + t.tm_min * 32 + t.tm_sec / 2);
    return (date << 16) | time;
}

// ---- CentralDirectoryBlockList ----

void CentralDirectoryBlockList::Append(UINT nCount, const BYTE* pBytes) {
    while (nCount > 0) {
        if (!m_pLast || m_pLast->nFree == 0) {
            Block* b = new (std::nothrow) Block;
            if (!b) AfxThrowMemoryException();
            b->pData = new (std::nothrow) BYTE[blockDataSize];
            if (!b->pData) {
                delete b;
                AfxThrowMemoryException();
            }
            b->pNext = nullptr;
            b->nFree = blockDataSize;
            b->nFilled = 0;
            if (m_pLast)
                m_pLast->pNext = b;
            else
                m_pFirst = b;
            m_pLast = b;
        }
        UINT n = nCount < m_pLast->nFree ? nCount : m_pLast->nFree;
        memcpy(m_pLast->pData + m_pLast->nFilled, pBytes, n);
        m_pLast->nFilled += n;
        m_pLast->nFree -= n;
        pBytes += n;
        nCount -= n;
    }
}

void CentralDirectoryBlockList::FreeAll() {
    while (m_pFirst) {
        Block* b = m_pFirst;
        m_pFirst = b->pNext;
        delete[] b->pData;
        delete b;
    }
    m_pLast = nullptr;
}

ULONGLONG CentralDirectoryBlockList::GetFilled() const {
    ULONGLONG n = 0;
    for (const Block* b = m_pFirst; b; b = b->pNext) n += b->nFilled;
    return n;
}

// ---- ZipState ----

ZipState::ZipState()
    : m_bEntryOpen(FALSE), m_bStreamInit(FALSE), m_nBuffered(0), m_nLocalHeaderPos(0), m_pCentralHeader(nullptr),
      m_nCentralHeaderSize(0), m_nFlags(0), m_nMethod(ZIP_METHOD_DEFLATE), m_pOutBuffer(nullptr), m_nDosDateTime(0),
      m_nCrc(0), m_nEntries(0), m_nTotalIn(0), m_nTotalOut(0), m_nDataStart(0) {
    memset(&m_stream, 0, sizeof m_stream);
    m_pOutBuffer = NewBytes(outBufferSize);
}

ZipState::~ZipState() {
    delete[] m_pCentralHeader;
    delete[] m_pOutBuffer;
    m_dirBlocks.FreeAll();
}

// ---- CZipFile ----

CZipFile::CZipFile() : m_bScramble(false), m_nKey(0), m_nStep(0) {
    m_bZipFile = true;
    memset(m_passwordField, 0, sizeof m_passwordField);
    m_pArchive = &m_state.m_file;
}

CZipFile::~CZipFile() {}

void CZipFile::Open(LPCTSTR lpszPath) {
    m_bScramble = true;
    if (m_state.m_file.IsOpen()) return;
    CFileException e;
    if (!m_state.m_file.Open(lpszPath, CFile::modeCreate | CFile::modeWrite | CFile::shareDenyWrite, &e))
        throw new CFileException(e.m_cause, e.m_lOsError, e.m_strFileName);
    // A new archive: nothing of an earlier one (a writer used twice, or left
    // by a failed Close) may reach its directory.
    if (m_state.m_bStreamInit) deflateEnd(&m_state.m_stream);
    m_state.m_bStreamInit = FALSE;
    m_state.m_bEntryOpen = FALSE;
    m_state.m_dirBlocks.FreeAll();
    m_state.m_nEntries = 0;
    m_nKey = m_nStep = 0;
    m_state.m_file.SeekToEnd();
}

void CZipFile::CheckRoom(ULONGLONG nPos, ULONGLONG nBytes) const {
    if (nPos > ZIP_MAX_POSITION || nBytes > ZIP_MAX_POSITION - nPos) ThrowError(ARC_BAD_PARAMETER);
}

void CZipFile::BeginEntry(LPCTSTR lpszName, const EntryFileInfo& info, int nLevel, int nMethod) {
    if (nMethod != (int)ZIP_METHOD_DEFLATE || nLevel == 0) ThrowError(ARC_BAD_PARAMETER);
    if (!m_state.m_file.IsOpen()) ThrowError(ARC_BAD_PARAMETER);
    if (m_state.m_bEntryOpen) EndEntry();

    CString name = (lpszName && *lpszName) ? CString(lpszName) : CString(_T("-"));
    // Every length field is 16-bit, the central directory's record length too.
    const UINT nameBytes = (UINT)name.GetLength() * 2;
    if (name.GetLength() > 0x7FFF || ZIP_CENTRAL_HEADER_SIZE + nameBytes > 0xFFFF ||
        m_state.m_dirBlocks.GetFilled() + ZIP_CENTRAL_HEADER_SIZE + nameBytes > 0xFFFF)
        ThrowError(ARC_BAD_PARAMETER);

    const DWORD dosTime = info.GetDosDateTime();
    const UINT flags = FlagsForLevel(nLevel);
    const ULONGLONG pos = m_state.m_file.GetPosition();
    const UINT room = ZIP_LOCAL_HEADER_SIZE + nameBytes + ArchiveRecordPrefix::recordSize;
    CheckRoom(pos, room);

    delete[] m_state.m_pCentralHeader;
    m_state.m_pCentralHeader = nullptr;
    m_state.m_nFlags = flags;
    m_state.m_nMethod = ZIP_METHOD_DEFLATE;
    m_state.m_nDosDateTime = dosTime;
    m_state.m_nCrc = 0;
    m_state.m_bStreamInit = FALSE;
    m_state.m_nBuffered = 0;
    m_state.m_nLocalHeaderPos = (DWORD)pos;
    m_state.m_nTotalIn = 0;
    m_state.m_nTotalOut = 0;
    m_state.m_nDataStart = pos + room;

    // Central header, CRC and sizes filled in when the entry ends.
    const UINT centralSize = ZIP_CENTRAL_HEADER_SIZE + nameBytes;
    BYTE* c = NewBytes(centralSize);
    memset(c, 0, ZIP_CENTRAL_HEADER_SIZE);
    PutLong(c + 0, ZIP_CENTRAL_SIGNATURE);
    PutShort(c + 4, 0);
    PutShort(c + 6, ZIP_VERSION_NEEDED);
    PutShort(c + 8, flags);
    PutShort(c + 10, ZIP_METHOD_DEFLATE);
    PutLong(c + 12, dosTime);
    PutShort(c + 28, nameBytes);
    PutShort(c + 36, info.m_dwInternalAttr & 0xFFFF);
    PutLong(c + 38, info.m_dwExternalAttr);
    PutLong(c + 42, (DWORD)pos);
    for (int i = 0; i < name.GetLength(); ++i) PutShort(c + ZIP_CENTRAL_HEADER_SIZE + 2 * i, (UINT)name[i]);
    m_state.m_pCentralHeader = c;
    m_state.m_nCentralHeaderSize = centralSize;

    // A plain local header now, and room for the prefix: EndEntry overwrites
    // these bytes, so the compressed data can follow at once.
    BYTE* local = NewBytes(room);
    memset(local, 0, room);
    PutLong(local + 0, ZIP_LOCAL_SIGNATURE);
    PutShort(local + 4, ZIP_VERSION_NEEDED);
    PutShort(local + 6, flags);
    PutShort(local + 8, ZIP_METHOD_DEFLATE);
    PutLong(local + 10, dosTime);
    PutShort(local + 26, nameBytes);
    memcpy(local + ZIP_LOCAL_HEADER_SIZE, c + ZIP_CENTRAL_HEADER_SIZE, nameBytes);
    try {
        m_state.m_file.Write(local, room);
    } catch (CException*) {
        delete[] local;
        throw;
    }
    delete[] local;

    m_strEntryName = name;

    z_stream& s = m_state.m_stream;
    memset(&s, 0, sizeof s);
    s.next_out = m_state.m_pOutBuffer;
    s.avail_out = ZipState::outBufferSize;
    PrepareStream(s);
    int err = deflateInit2_(&s, nLevel, Z_DEFLATED, -MAX_WBITS, 8, Z_DEFAULT_STRATEGY, ZLIB_VERSION,
                            (int)sizeof(z_stream));
    if (err != Z_OK) ThrowError(err);
    m_state.m_bStreamInit = TRUE;
    m_state.m_bEntryOpen = TRUE;
}

void CZipFile::FlushOutput() {
    CheckRoom(m_state.m_nDataStart + m_state.m_nTotalOut, m_state.m_nBuffered);
    m_state.m_file.Write(m_state.m_pOutBuffer, m_state.m_nBuffered);
    m_state.m_nTotalOut += m_state.m_nBuffered;
    m_state.m_nBuffered = 0;
    m_state.m_stream.next_out = m_state.m_pOutBuffer;
    m_state.m_stream.avail_out = ZipState::outBufferSize;
}

void CZipFile::WriteEntryData(UINT nCount, const void* pBytes) {
    if (!m_state.m_bEntryOpen) ThrowError(ARC_BAD_PARAMETER);
    if (nCount == 0) return;
    if (!pBytes || m_state.m_nTotalIn + nCount > ZIP_MAX_POSITION) ThrowError(ARC_BAD_PARAMETER);

    z_stream& s = m_state.m_stream;
    m_state.m_nCrc = (DWORD)crc32(m_state.m_nCrc, (const Bytef*)pBytes, nCount);
    m_state.m_nTotalIn += nCount;
    s.next_in = (Bytef*)pBytes;
    s.avail_in = nCount;
    int err = Z_OK;
    try {
        while (s.avail_in > 0 && err == Z_OK) {
            if (s.avail_out == 0) FlushOutput();
            uInt before = s.avail_out;
            err = deflate(&s, Z_NO_FLUSH);
            m_state.m_nBuffered += before - s.avail_out;
        }
    } catch (CException*) {
        // The caller's bytes are not ours past this call: the Close that
        // follows a failure must not deflate the rest of them. The entry then
        // lacks data its CRC and size count, so it never reads back as good.
        s.next_in = nullptr;
        s.avail_in = 0;
        throw;
    }
    s.next_in = nullptr;
    if (err != Z_OK && err != Z_NEED_DICT) ThrowError(err);
}

void CZipFile::WriteScrambledValue(DWORD value, UINT nCount, bool bScramble) {
    BYTE b[4];
    for (UINT i = 0; i < nCount; ++i) {
        b[i] = (BYTE)(value >> (8 * i));
        if (bScramble) b[i] = ScrambleKeystream::ApplyByte(b[i], m_nKey, m_nStep);
    }
    m_state.m_file.Write(b, nCount);
}

void CZipFile::WriteEntryName(const CString& name, bool bScramble) {
    const UINT n = (UINT)name.GetLength() * 2;
    BYTE* p = NewBytes(n ? n : 1);
    for (int i = 0; i < name.GetLength(); ++i) PutShort(p + 2 * i, (UINT)name[i]);
    if (bScramble) ScrambleKeystream::Apply(p, n, m_nKey, m_nStep);
    try {
        m_state.m_file.Write(p, n);
    } catch (CException*) {
        delete[] p;
        throw;
    }
    delete[] p;
}

void CZipFile::EndEntry() {
    // The local prefix's key and step are the time at which the entry closed.
    SYSTEMTIME now;
    GetSystemTime(&now);
    if (!m_state.m_bEntryOpen) return;

    z_stream& s = m_state.m_stream;
    int err;
    do {
        if (s.avail_out == 0) FlushOutput();
        uInt before = s.avail_out;
        err = deflate(&s, Z_FINISH);
        m_state.m_nBuffered += before - s.avail_out;
    } while (err == Z_OK);
    if (err != Z_STREAM_END && err != Z_NEED_DICT) ThrowError(err);
    if (m_state.m_nBuffered) FlushOutput();
    err = deflateEnd(&s);
    m_state.m_bStreamInit = FALSE;
    if (err != Z_OK && err != Z_NEED_DICT) ThrowError(err);

    BYTE* c = m_state.m_pCentralHeader;
    PutLong(c + 16, m_state.m_nCrc);
    PutLong(c + 20, (DWORD)m_state.m_nTotalOut);
    PutLong(c + 24, (DWORD)m_state.m_nTotalIn);
    m_state.m_dirBlocks.Append(m_state.m_nCentralHeaderSize, c);
    delete[] c;
    m_state.m_pCentralHeader = nullptr;

    const ULONGLONG end = m_state.m_file.GetPosition();
    m_state.m_file.Seek((LONGLONG)m_state.m_nLocalHeaderPos, CFile::begin);

    const UINT nameBytes = (UINT)m_strEntryName.GetLength() * 2;
    const BYTE key = (BYTE)now.wSecond, step = (BYTE)now.wMinute;
    BYTE check[ArchiveRecordPrefix::checkSize];
    memcpy(check, m_passwordField, sizeof check);
    m_nKey = key;
    m_nStep = step;
    ScrambleKeystream::Apply(check, sizeof check, m_nKey, m_nStep);  // always, whatever m_bScramble says
    BYTE prefix[ArchiveRecordPrefix::recordSize];
    ArchiveRecordPrefix::Build(prefix, ZIP_LOCAL_SIGNATURE, key, step, check, false,
                               (WORD)(ZIP_LOCAL_HEADER_SIZE + nameBytes));
    m_state.m_file.Write(prefix, sizeof prefix);

    // The header's keystream starts again from the prefix's key; the running
    // key it leaves behind is where the end record starts.
    m_nKey = key;
    m_nStep = step;
    const bool sc = m_bScramble;
    WriteScrambledValue(ZIP_LOCAL_SIGNATURE, 4, sc);
    WriteScrambledValue(ZIP_VERSION_NEEDED, 2, sc);
    WriteScrambledValue(m_state.m_nFlags, 2, sc);
    WriteScrambledValue((DWORD)m_state.m_nMethod, 2, sc);
    WriteScrambledValue(m_state.m_nDosDateTime, 4, sc);
    WriteScrambledValue(m_state.m_nCrc, 4, sc);
    WriteScrambledValue((DWORD)m_state.m_nTotalOut, 4, sc);
    WriteScrambledValue((DWORD)m_state.m_nTotalIn, 4, sc);
    WriteScrambledValue(nameBytes, 2, sc);
    WriteScrambledValue(0, 2, sc);
    WriteEntryName(m_strEntryName, sc);

    m_state.m_file.Seek((LONGLONG)end, CFile::begin);
    ++m_state.m_nEntries;
    m_state.m_bEntryOpen = FALSE;
}

void CZipFile::WriteCentralDirectory(DWORD& nOffset, DWORD& nSize) {
    const ULONGLONG offset = m_state.m_file.GetPosition();
    const ULONGLONG size = m_state.m_dirBlocks.GetFilled();
    CheckRoom(offset, ArchiveRecordPrefix::recordSize + size + ArchiveRecordPrefix::endRecordSize +
                          ZIP_END_RECORD_SIZE);
    SYSTEMTIME now;
    GetSystemTime(&now);
    BYTE key = (BYTE)now.wSecond;
    const BYTE step = (BYTE)now.wMinute;
    BYTE prefix[ArchiveRecordPrefix::recordSize];
    ArchiveRecordPrefix::Build(prefix, ZIP_CENTRAL_SIGNATURE, key, step, nullptr, false, (WORD)size);
    m_state.m_file.Write(prefix, sizeof prefix);

    // One run over all central headers, with a key of its own: the running
    // key belongs to the end record.
    BYTE buf[CentralDirectoryBlockList::blockDataSize];
    for (const CentralDirectoryBlockList::Block* b = m_state.m_dirBlocks.m_pFirst; b; b = b->pNext) {
        memcpy(buf, b->pData, b->nFilled);
        ScrambleKeystream::Apply(buf, b->nFilled, key, step);
        m_state.m_file.Write(buf, b->nFilled);
    }
    nOffset = (DWORD)offset;
    nSize = (DWORD)size;
}

void CZipFile::Close() {
    if (!m_state.m_file.IsOpen()) return;
    try {
        EndEntry();
        DWORD offset = 0, size = 0;
        WriteCentralDirectory(offset, size);
        BYTE prefix[ArchiveRecordPrefix::endRecordSize];
        ArchiveRecordPrefix::Build(prefix, ZIP_END_SIGNATURE, m_nKey, m_nStep, nullptr, true,
                                   (WORD)ZIP_END_RECORD_SIZE);
        m_state.m_file.Write(prefix, sizeof prefix);
        const bool sc = m_bScramble;
        WriteScrambledValue(ZIP_END_SIGNATURE, 4, sc);
        WriteScrambledValue(0, 2, sc);
        WriteScrambledValue(0, 2, sc);
        WriteScrambledValue(m_state.m_nEntries, 2, sc);
        WriteScrambledValue(m_state.m_nEntries, 2, sc);
        WriteScrambledValue(size, 4, sc);
        WriteScrambledValue(offset, 4, sc);
        WriteScrambledValue(0, 2, sc);
        m_state.m_file.Close();
    } catch (CException*) {
        // Whatever is on disk is not an archive: close it as it stands and let
        // the caller know, so it removes the file and keeps its source.
        m_state.m_file.Abort();
        throw;
    }
}
