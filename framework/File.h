// CFile: a binary file with the framework's open flags, 64-bit positions
// and failures thrown as CFileException.
#pragma once
#include "Exception.h"
#include "String.h"
#include "Time.h"

struct CFileStatus {
    CTime m_ctime;        // creation time
    CTime m_mtime;        // last modification time
    CTime m_atime;        // last access time
    ULONGLONG m_size = 0; // length in bytes
    BYTE m_attribute = 0; // attribute byte (FILE_ATTRIBUTE_* low bits)
    WCHAR m_szFullName[260] = {0};
};

class CFile {
public:
    enum OpenFlags : UINT {
        modeRead = 0x0000,
        modeWrite = 0x0001,
        modeReadWrite = 0x0002,
        shareCompat = 0x0000,
        shareExclusive = 0x0010,
        shareDenyWrite = 0x0020,
        shareDenyRead = 0x0030,
        shareDenyNone = 0x0040,
        modeNoInherit = 0x0080,
        modeCreate = 0x1000,
        modeNoTruncate = 0x2000,
        typeBinary = 0x8000,
    };
    enum SeekPosition { begin = 0, current = 1, end = 2 };

#ifdef _WIN32
    typedef HANDLE Handle;
#else
    typedef int Handle;
#endif
    static const Handle hFileNull;

    CFile();
    // Opens at once; a failure throws CFileException.
    CFile(LPCTSTR lpszFileName, UINT nOpenFlags);
    virtual ~CFile();  // closes an open file without reporting errors

    // Without an exception object a failure is only the FALSE result.
    virtual BOOL Open(LPCTSTR lpszFileName, UINT nOpenFlags, CFileException* pError = nullptr);
    virtual UINT Read(void* lpBuf, UINT nCount);
    virtual void Write(const void* lpBuf, UINT nCount);
    virtual ULONGLONG Seek(LONGLONG lOff, UINT nFrom);
    void SeekToBegin() { Seek(0, begin); }
    ULONGLONG SeekToEnd() { return Seek(0, end); }
    virtual ULONGLONG GetPosition() const;
    virtual ULONGLONG GetLength() const;
    virtual void SetLength(ULONGLONG dwNewLen);
    virtual void Flush();
    virtual void Close();
    // Closes without throwing whatever happens.
    virtual void Abort();

    BOOL GetStatus(CFileStatus& rStatus) const;
    CString GetFilePath() const { return m_strFileName; }
    CString GetFileName() const;
    BOOL IsOpen() const { return m_hFile != hFileNull; }

    static BOOL GetStatus(LPCTSTR lpszFileName, CFileStatus& rStatus);
    // Writes the times that are not 0, then the attribute byte.
    static void SetStatus(LPCTSTR lpszFileName, const CFileStatus& status);
    static void Remove(LPCTSTR lpszFileName);
    static void Rename(LPCTSTR lpszOldName, LPCTSTR lpszNewName);

    Handle m_hFile;

protected:
    CString m_strFileName;

private:
    CFile(const CFile&) = delete;
    CFile& operator=(const CFile&) = delete;
};

#ifdef _WIN32
// The form of a path that the system's wide calls take at any length: the
// full path, and for a full path of MAX_PATH characters or more (which
// Windows without long-path support refuses) the same with the "\\?\"
// prefix ("\\?\UNC\" for a network path). A path that already has a
// device prefix, or whose full path cannot be made, comes back unchanged.
CString AfxLongPathForm(LPCTSTR lpszPath);
#endif
