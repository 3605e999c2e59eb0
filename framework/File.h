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
// Built by the system's own full-path rules, which drop a trailing dot or
// space of every name: a path handed to the system for a file the program
// works on takes AfxExactPathForm instead.
CString AfxLongPathForm(LPCTSTR lpszPath);

// The form of a path that names that very file to the system's wide calls,
// at any length: a full path (X:\... or \\server\share\...) comes back
// with the "\\?\" prefix ("\\?\UNC\server\share\..." for a network
// path), its "." and ".." names resolved, "/" made "\" and empty names
// dropped, and every other character as it was. From a plain path the
// system drops a trailing dot or space of a name (tdfile. would be tdfile)
// and takes a name it keeps for a device (nul.txt, aux) for that device;
// from this form it does neither. A path that already has a device prefix
// ("\\?\", "\\.\"), and one that is not full (relative, rooted at the
// current drive, or an empty one), comes back unchanged.
CString AfxExactPathForm(LPCTSTR lpszPath);
// The full path as the user knows it, for messages and for comparing: a
// "\\?\" path without its prefix (a "\\.\" one as it is); a full path resolved as
// AfxExactPathForm resolves it, without the prefix; a path that is not full
// made full by the system (its rules apply then), or left unchanged when
// that fails.
CString AfxFullPathForm(LPCTSTR lpszPath);
// Whether the system takes the plain form of this path for that very path:
// no name in it ends in a dot or a space, and none is one that Windows keeps
// for a device (CON, PRN, AUX, NUL, COM1-COM9, LPT1-LPT9, alone or with an
// extension). Only such a path may go to a call that takes no "\\?\"
// form (the shell's file operations, another program's command line).
BOOL AfxIsPlainPathExact(LPCTSTR lpszPath);
// FindFirstFileW through AfxExactPathForm. A last name without wildcards
// is still a pattern to the system (Wine matches tdd. to tdd as well): only
// an entry of that very name, or of that short name, is taken, and none
// leaves INVALID_HANDLE_VALUE with ERROR_FILE_NOT_FOUND. bExact tells the
// caller that the name had no wildcards, so no other entry can follow.
HANDLE AfxFindFirstFile(LPCTSTR lpszPath, WIN32_FIND_DATAW* pFound, BOOL* pbExact = nullptr);
#else
// The portable build hands paths to the system as they are.
inline CString AfxExactPathForm(LPCTSTR lpszPath) { return CString(lpszPath); }
#endif
