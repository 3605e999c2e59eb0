// CKivPwd: the drive's password history, kept in the hidden file
// KIV\KIV.pwd at the drive root: one line per password ever set, oldest
// first, each the Base64 text of the password's UTF-8 bytes followed by a
// line feed. After a load the head of the list is the newest password, the
// current one. Readers share the file with other readers; a writer holds it
// alone for its write. An open that meets another holder waits for it a
// short while (kShareWaitMs) before it fails with ERROR_SHARING_VIOLATION.
#pragma once
#include "framework/Afx.h"

class CKivPwd {
public:
    CKivPwd();
    virtual ~CKivPwd();

    // How long an open waits for another holder of the file to let it go.
    static constexpr DWORD kShareWaitMs = 1500;

    // A new file holding the first password, hidden. FALSE with nothing
    // changed when something exists at the path, the password cannot be
    // encoded or the file cannot be opened; FALSE when the hidden attribute
    // cannot be set (the file is removed again). A failed write or close
    // removes the file and lets the file exception through. After a failure
    // past the open the list is empty.
    BOOL CreatePwdFile(const CString& strPath, const CString& strPwd);
    // Adds every line of the file to the list, each at the head; a line
    // that decodes to no password is skipped, and CR LF reads as LF. FALSE
    // when the file cannot be opened or yields no password. Read and seek
    // failures are thrown.
    BOOL LoadPwdFile(const CString& strPath);
    // The head of the list; empty when no file is known or the list is empty.
    CString GetCurrentPwd() const;
    // Appends strNew to the file when strOld is the current password
    // (case-sensitive). The head stays the password of the last load.
    // FALSE with nothing written when the password is not the current one,
    // cannot be encoded or the file cannot be opened. A failed write throws
    // the file exception after the file is cut back to its old length, so
    // the file holds either the whole new line or exactly what it held.
    BOOL ChangePwd(const CString& strOld, const CString& strNew);
    // TRUE when a file is known and some entry equals the password exactly;
    // never for an empty password.
    BOOL HasPwd(const CString& strPwd) const;
    // Sets the path and adds the password at the tail; the file is untouched.
    void AddPwd(const CString& strPath, const CString& strPwd);
    // The system's error code of the last open of the file that failed
    // (ERROR_SHARING_VIOLATION: another holder kept it past the wait;
    // ERROR_WRITE_PROTECT: a locked drive); 0 after an open that succeeded.
    // The callers tell the user the cause from it.
    DWORD GetOpenError() const { return m_dwOpenError; }

    // The Base64 text of the password's UTF-8 bytes; empty when the password
    // is empty or is not valid UTF-16 (an empty line holds no password when
    // it is read back, so it is never written).
    static CString EncodePwd(const CString& strPwd);
    // The password of one line; an empty line gives an empty string.
    static CString DecodePwd(const CString& strLine);

protected:
    CStringList m_pwdList;
    CString m_strPath;
    DWORD m_dwOpenError;

private:
    // Opens the file, waiting out another holder for up to kShareWaitMs;
    // records the cause of a failure in m_dwOpenError.
    BOOL OpenFile(CFile& file, const CString& strPath, UINT nFlags);
    // Writes the line of strLine at the end of the open file (after a line
    // feed when the file's last line has none), then closes it. A failed
    // write or flush cuts the file back to its old length, closes it and
    // throws.
    static void AppendLine(CFile& file, const CString& strLine);
    CKivPwd(const CKivPwd&) = delete;
    CKivPwd& operator=(const CKivPwd&) = delete;
};
