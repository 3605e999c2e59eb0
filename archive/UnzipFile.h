// CUnzipFile: reads the first entry of a KVF archive. It finds the end
// record from the end of the file, reads the central header, checks the local
// prefix and header against it, hands out the entry's password check field
// and inflates the entry's data while it computes the CRC.
#pragma once
#include "ArchiveFormat.h"
#include "ZUBaseFile.h"

// The central header as the caller sees it.
struct UnzipEntryInfo {
    UnzipEntryInfo();

    DWORD m_dwVersionMadeBy;
    DWORD m_dwVersionNeeded;
    DWORD m_dwFlags;
    DWORD m_dwMethod;
    DWORD m_dwDosDateTime;
    DWORD m_dwCrc;
    DWORD m_dwCompressedSize;
    DWORD m_dwUncompressedSize;
    DWORD m_dwNameLength;
    DWORD m_dwExtraLength;
    DWORD m_dwCommentLength;
    DWORD m_dwDiskNumberStart;
    DWORD m_dwInternalAttr;
    DWORD m_dwExternalAttr;
    CTime m_time;  // the DOS date and time as a local time
};

// State of the open entry.
struct EntryReadRecord {
    enum { inBufferSize = 16384 };

    EntryReadRecord();
    ~EntryReadRecord();  // frees the buffer; the inflate stream is ended by its owner

    BYTE* m_pInBuffer;
    z_stream m_stream;
    DWORD m_nReadPos;          // archive position of the next compressed bytes, bytes before not counted
    int m_bInflateInit;
    DWORD m_nCrc;              // CRC-32 of the data produced so far
    DWORD m_nStoredCrc;
    DWORD m_nCompressedLeft;   // compressed bytes not yet read from the file
    DWORD m_nUncompressedLeft; // uncompressed bytes not yet produced
    DWORD m_nMethod;
    DWORD m_nBytesBefore;

private:
    EntryReadRecord(const EntryReadRecord&) = delete;
    EntryReadRecord& operator=(const EntryReadRecord&) = delete;
};

// The archive file and its directory.
struct UnzipState {
    UnzipState();
    ~UnzipState();  // frees the read record (its stream is not ended), then the CFile closes

    CFile m_file;                 // the archive; m_pArchive points here
    DWORD m_nEntries;             // entries on this disk
    DWORD m_nCommentLength;       // archive comment length; not used
    DWORD m_nBytesBefore;         // bytes in the file before the archive proper
    DWORD m_nEntryIndex;          // always 0
    DWORD m_nDirPos;              // directory offset of the current central header's prefix
    int m_bEntryOk;               // a current entry exists
    DWORD m_nEndPos;              // position of the end prefix
    DWORD m_nDirSize;
    DWORD m_nDirOffset;
    UnzipEntryInfo m_entryInfo;   // the current entry's central header
    DWORD m_nLocalOffset;         // the current entry's local offset (its local prefix)
    EntryReadRecord* m_pRead;     // the open entry, or null

private:
    UnzipState(const UnzipState&) = delete;
    UnzipState& operator=(const UnzipState&) = delete;
};

class CUnzipFile : public CZUBaseFile {
public:
    CUnzipFile();
    // Opens the archive at once; an exception from Open leaves the constructor.
    explicit CUnzipFile(LPCTSTR lpszPath);
    ~CUnzipFile() override;

    // Opens the archive (modeRead | shareDenyWrite; a failed open throws its
    // CFileException) and makes its first entry current. Every record found
    // through a stored position is checked against the file: a foreign,
    // damaged or truncated archive, and one whose end record does not count
    // exactly one entry, raises ARC_BAD_ARCHIVE. Nothing more when
    // the archive is already open.
    void Open(LPCTSTR lpszPath);

    // Reads the current central header (with its prefix) into info and
    // returns its local header offset.
    void ReadEntryHeader(UnzipEntryInfo& info, DWORD& nLocalOffset);
    // The same read into info (a scratch record when null); the header is read
    // from the file at every call. ARC_BAD_PARAMETER without a current entry.
    void GetEntryInfo(UnzipEntryInfo* info);

    // Checks the local prefix and header against the central header and
    // prepares reading; m_passwordField then holds the entry's check field.
    // ARC_BAD_PARAMETER without a current entry. An open entry is closed first.
    void OpenEntry();

    // Fills at most nCount bytes and returns how many were produced: 0 when
    // nCount is 0, pBuffer is null or the entry is exhausted. Data that ends
    // (or a file that ends) before the entry's recorded sizes are produced
    // raises ARC_BAD_ARCHIVE; a corrupt stream raises zlib's code.
    // ARC_BAD_PARAMETER without an open entry.
    UINT ReadEntryData(UINT nCount, void* pBuffer);

    // File position just after the compressed bytes read so far.
    // ARC_BAD_PARAMETER without an open entry.
    DWORD GetReadOffset();

    // Ends the open entry; nothing when none is open. All data produced with
    // a wrong CRC raises ARC_CRC_MISMATCH (the entry then stays open).
    void CloseEntry();
    // CloseEntry, then closes the file; nothing when the file is not open.
    // Afterwards there is no current entry until the next Open.
    void Close();

    BYTE m_nKey;                 // keystream of the record being read
    BYTE m_nStep;
    bool m_bScrambled;           // the local header is scrambled
    BYTE m_passwordField[17];    // check field of the entry last opened, then a zero
    UnzipState m_state;

protected:
    DWORD FindEndRecord();
    void GoToFirstEntry();
    // Returns name + extra length; the extra field's offset and length go out.
    DWORD CheckLocalHeader(DWORD& nExtraOffset, DWORD& nExtraLength);
    void EnsureReadBuffer();
    // Two bytes of the loaded record, each unscrambled when asked (the key
    // advances before each byte): low + 256 * high.
    DWORD ReadScrambledShort(bool bScramble);
    DWORD ReadScrambledLong(bool bScramble);

private:
    // Seeks to a position computed from stored fields (64-bit, so nothing
    // wraps), refusing one before the file's start or beyond its end.
    void SeekChecked(LONGLONG nPos);
    // Reads nBytes into the record buffer; a short read is a damaged archive.
    void LoadRecord(UINT nBytes);
    void FreeReadRecord();

    BYTE m_record[64];
    UINT m_nRecordPos;
    UINT m_nRecordSize;
};
