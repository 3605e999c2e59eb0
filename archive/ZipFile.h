// CZipFile: writes a KVF archive. Each entry's data is deflated through a
// 16 KB buffer; its local header is written plain when the entry begins and
// patched, scrambled and behind its prefix, when the entry ends; the central
// headers wait in memory until Close writes the directory and the end record.
#pragma once
#include "ArchiveFormat.h"
#include "ZUBaseFile.h"

// The description of an entry, usually taken from the open source file.
struct EntryFileInfo {
    EntryFileInfo();  // now, no stored DOS time, attributes 0

    // Last-write time from CFile::GetStatus and the Windows attribute bits of
    // the file's path (0xFFFFFFFF when they cannot be read).
    void SetFromFile(CFile& file);
    // m_dwDosDateTime when it is set, else m_time in local time packed as
    // date << 16 | time. Times before 1980 store 1980-01-01 00:00:00 and
    // times after 2107 store 2107-12-31 23:59:58: the nearest values the
    // DOS fields can hold.
    DWORD GetDosDateTime() const;

    CTime m_time;             // modification time
    DWORD m_dwDosDateTime;    // stored DOS date/time; 0: compute from m_time
    DWORD m_dwInternalAttr;   // internal attributes (low 16 bits used)
    DWORD m_dwExternalAttr;   // external attributes
};

// The central headers of the entries ended so far, in 4080-byte blocks; a
// header may be split over two blocks.
struct CentralDirectoryBlockList {
    enum { blockDataSize = 4080 };
    struct Block {
        Block* pNext;
        UINT nFree;
        UINT nFilled;
        BYTE* pData;
    };

    CentralDirectoryBlockList() : m_pFirst(nullptr), m_pLast(nullptr) {}
    ~CentralDirectoryBlockList() { FreeAll(); }
    void Append(UINT nCount, const BYTE* pBytes);  // CMemoryException when memory runs out
    void FreeAll();
    ULONGLONG GetFilled() const;                    // bytes in all blocks

    Block* m_pFirst;
    Block* m_pLast;

private:
    CentralDirectoryBlockList(const CentralDirectoryBlockList&) = delete;
    CentralDirectoryBlockList& operator=(const CentralDirectoryBlockList&) = delete;
};

// The archive file and the state of the entry being written.
struct ZipState {
    ZipState();
    ~ZipState();  // frees the buffers and blocks; the CFile closes without writing more

    CFile m_file;                           // the archive; m_pArchive points here
    CentralDirectoryBlockList m_dirBlocks;
    int m_bEntryOpen;
    z_stream m_stream;
    int m_bStreamInit;
    UINT m_nBuffered;                       // compressed bytes waiting in m_pOutBuffer
    DWORD m_nLocalHeaderPos;                // position of the open entry's local prefix
    BYTE* m_pCentralHeader;                 // the open entry's central header
    UINT m_nCentralHeaderSize;              // 46 + name bytes
    UINT m_nFlags;
    int m_nMethod;
    BYTE* m_pOutBuffer;                     // outBufferSize bytes
    DWORD m_nDosDateTime;
    DWORD m_nCrc;
    UINT m_nEntries;
    // 64-bit totals of the open entry, so that 4 GiB is refused rather than
    // wrapped (zlib's own totals are 32-bit on Windows).
    ULONGLONG m_nTotalIn;                   // uncompressed bytes given to WriteEntryData
    ULONGLONG m_nTotalOut;                  // compressed bytes written to the file
    ULONGLONG m_nDataStart;                 // position of the open entry's compressed data

    enum { outBufferSize = 16384 };

private:
    ZipState(const ZipState&) = delete;
    ZipState& operator=(const ZipState&) = delete;
};

class CZipFile : public CZUBaseFile {
public:
    CZipFile();
    ~CZipFile() override;  // without Close the archive has no directory

    // Creates (or truncates) the archive: modeCreate | modeWrite |
    // shareDenyWrite. Throws the CFileException of a failed open. On an open
    // writer it only sets the scramble flag.
    void Open(LPCTSTR lpszPath);

    // Starts an entry (an entry still open is ended first). method must be 8
    // and level not 0, else ARC_BAD_PARAMETER; an empty name is stored as "-".
    // Refused with ARC_BAD_PARAMETER as well: no archive open, a name whose
    // lengths would not fit the 16-bit fields, an entry that would not fit
    // below 4 GiB. zlib failures raise their code, file failures CFileException.
    void BeginEntry(LPCTSTR lpszName, const EntryFileInfo& info, int nLevel, int nMethod);

    // Deflates count bytes into the open entry (ARC_BAD_PARAMETER when none is
    // open). An entry's input reaching 4 GiB, or compressed data that would
    // carry the archive past 4 GiB, is refused with ARC_BAD_PARAMETER before
    // anything is written for it.
    void WriteEntryData(UINT nCount, const void* pBytes);

    // Finishes the open entry and writes its prefix and final local header;
    // nothing when no entry is open. Called by BeginEntry and Close.
    void EndEntry();

    // Ends the open entry, writes the central directory and the end record,
    // and closes the file. Nothing when the archive is not open.
    // When any of this fails the archive is incomplete: the file is aborted
    // (closed, nothing more written) and the exception (CFileException,
    // CZipException or CMemoryException) is rethrown, so the caller can
    // remove the file instead of taking it for a finished archive.
    void Close();

    bool m_bScramble;               // scramble local header, name and end record
    BYTE m_nKey;                    // running keystream key
    BYTE m_nStep;                   // running keystream step
    CString m_strEntryName;
    BYTE m_passwordField[17];       // check field: 16 bytes, then a zero; the caller fills it
    ZipState m_state;

protected:
    // Writes the low nCount (1 to 4) bytes of value, lowest first, each
    // scrambled with the running key and step when bScramble is set.
    void WriteScrambledValue(DWORD value, UINT nCount, bool bScramble);
    // Writes the name's UTF-16 units low byte first, as one run.
    void WriteEntryName(const CString& name, bool bScramble);
    // Writes the central prefix and the scrambled central headers; returns
    // the directory offset (its prefix) and size (headers only).
    void WriteCentralDirectory(DWORD& nOffset, DWORD& nSize);

private:
    void FlushOutput();                         // writes m_nBuffered bytes
    void CheckRoom(ULONGLONG nPos, ULONGLONG nBytes) const;
};
