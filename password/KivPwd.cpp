#include "KivPwd.h"
#include "Base64.h"
#include <shlwapi.h>
#include <cstring>
#include <string>
#include <vector>

namespace {
// Lines are read in pieces of this size; the system writes at most 16
// characters per line, so a longer line only comes from an edited file.
const UINT kPiece = 256;
const char kLineFeed = '\n';
}

CKivPwd::CKivPwd() : m_pwdList(10), m_dwOpenError(0) {}

BOOL CKivPwd::OpenFile(CFile& file, const CString& strPath, UINT nFlags) {
    // Another task's read or a change of password holds the file only for
    // a moment: that is waited out, and never taken for a damaged file.
    const DWORD nStart = GetTickCount();
    for (;;) {
        CFileException error;
        if (file.Open(strPath, nFlags, &error)) {
            m_dwOpenError = 0;
            return TRUE;
        }
        m_dwOpenError = error.m_lOsError > 0 ? (DWORD)error.m_lOsError : ERROR_OPEN_FAILED;
        BOOL bHeld = m_dwOpenError == ERROR_SHARING_VIOLATION || m_dwOpenError == ERROR_LOCK_VIOLATION;
        if (!bHeld || GetTickCount() - nStart >= kShareWaitMs) break;
        Sleep(50);
    }
    if (m_dwOpenError == ERROR_LOCK_VIOLATION) m_dwOpenError = ERROR_SHARING_VIOLATION;
    return FALSE;
}

CKivPwd::~CKivPwd() { m_pwdList.RemoveAll(); }

CString CKivPwd::EncodePwd(const CString& strPwd) {
    int nLen = strPwd.GetLength();
    if (nLen == 0) return CString();
    // A lone surrogate is refused instead of being replaced, so the stored
    // line always decodes back to the password that was typed.
    int nBytes = WideCharToMultiByte(CP_UTF8, WC_ERR_INVALID_CHARS, strPwd, nLen, nullptr, 0, nullptr, nullptr);
    if (nBytes <= 0) return CString();
    std::vector<char> utf8((size_t)nBytes);
    if (WideCharToMultiByte(CP_UTF8, WC_ERR_INVALID_CHARS, strPwd, nLen, utf8.data(), nBytes, nullptr, nullptr) != nBytes)
        return CString();
    CBase64 codec;
    codec.Encode((const BYTE*)utf8.data(), (UINT)nBytes);
    if (!codec.GetText()) return CString();
    return CString(codec.GetText());  // Base64 text is ASCII
}

CString CKivPwd::DecodePwd(const CString& strLine) {
    if (strLine.IsEmpty()) return CString();
    std::string bytes = strLine.ToNarrow(CP_UTF8);
    CBase64 codec;
    codec.Decode(bytes.data(), (UINT)bytes.size());
    const char* p = (const char*)codec.GetBinary();
    if (!p || !*p) return CString();
    int n = MultiByteToWideChar(CP_UTF8, 0, p, -1, nullptr, 0);
    if (n <= 1) return CString();
    std::wstring out((size_t)n, L'\0');
    MultiByteToWideChar(CP_UTF8, 0, p, -1, &out[0], n);
    out.resize((size_t)n - 1);
    return CString(out.c_str());
}

void CKivPwd::AppendLine(CFile& file, const CString& strLine) {
    std::string bytes;
    const ULONGLONG nOld = file.SeekToEnd();
    if (nOld > 0) {
        // A last line without its line feed (an edited file) would run into
        // the new line and both passwords would be lost.
        char last = kLineFeed;
        file.Seek(-1, CFile::end);
        file.Read(&last, 1);
        if (last != kLineFeed) bytes += kLineFeed;
        file.SeekToEnd();
    }
    bytes += strLine.ToNarrow(CP_ACP);
    bytes += kLineFeed;
    try {
        file.Write(bytes.data(), (UINT)bytes.size());
        file.Flush();
    } catch (CException*) {
        // A drive with room for only part of the line keeps that part: read
        // back, it would be the current password, and neither the old nor
        // the new one would log in. The file goes back to its old length.
        try {
            file.SetLength(nOld);
        } catch (CException* e) {
            e->Delete();
        }
        file.Abort();
        throw;
    }
    file.Close();
}

BOOL CKivPwd::CreatePwdFile(const CString& strPath, const CString& strPwd) {
    m_dwOpenError = 0;
    if (PathFileExistsW(strPath)) {
        m_dwOpenError = ERROR_FILE_EXISTS;
        return FALSE;
    }
    CString strLine = EncodePwd(strPwd);
    if (strLine.IsEmpty()) return FALSE;

    CFile file;
    if (!OpenFile(file, strPath, CFile::modeCreate | CFile::modeWrite | CFile::shareExclusive)) return FALSE;
    m_pwdList.RemoveAll();
    m_strPath = strPath;

    // A file that is not complete and hidden is removed again: left behind it
    // would block every later creation while holding no usable password.
    auto discard = [&]() {
        file.Abort();
        DeleteFileW(strPath);
        m_pwdList.RemoveAll();
        m_strPath.Empty();
    };
    try {
        AppendLine(file, strLine);
    } catch (CException*) {
        discard();
        throw;
    }
    try {
        CFileStatus status;
        if (!CFile::GetStatus(strPath, status)) {
            discard();
            return FALSE;
        }
        status.m_attribute |= FILE_ATTRIBUTE_HIDDEN;
        CFile::SetStatus(strPath, status);
    } catch (CFileException* e) {
        e->Delete();
        discard();
        return FALSE;
    }
    m_pwdList.AddTail(strPwd);
    return TRUE;
}

BOOL CKivPwd::LoadPwdFile(const CString& strPath) {
    m_dwOpenError = 0;
    CFile file;
    // Other readers (a batch's tasks, the password dialog) read it at the
    // same time; only a writer is kept out.
    if (!OpenFile(file, strPath, CFile::modeRead | CFile::shareDenyWrite)) return FALSE;
    m_strPath = strPath;

    BOOL bFound = FALSE;
    ULONGLONG pos = 0;
    ULONGLONG length = file.GetLength();
    char piece[kPiece + 1];
    while (pos < length) {
        // The filler ends a last line that has no line feed of its own.
        memset(piece, kLineFeed, kPiece);
        piece[kPiece] = 0;
        UINT got = file.Read(piece, kPiece);
        UINT n = 0;
        while (n < kPiece && piece[n] != kLineFeed) ++n;
        if (n == kPiece) {
            // No line feed in the whole piece: a line the system never
            // writes. Skip it up to its line feed and read on, so that the
            // newer passwords behind it still count.
            ULONGLONG next = pos + got;
            BOOL bEnd = TRUE;
            while (next < length) {
                memset(piece, kLineFeed, kPiece);
                UINT m = file.Read(piece, kPiece);
                UINT k = 0;
                while (k < m && piece[k] != kLineFeed) ++k;
                if (k < m) {
                    next += k + 1;
                    bEnd = FALSE;
                    break;
                }
                next += m;
                if (m == 0) break;
            }
            if (bEnd) break;
            pos = next;
            file.Seek((LONGLONG)pos, CFile::begin);
            continue;
        }
        pos += n + 1;
        // A line saved by a text editor ends in CR LF.
        UINT nText = n;
        while (nText > 0 && piece[nText - 1] == '\r') --nText;
        piece[nText] = 0;
        // A line that holds no password (empty, blanks, or bytes that read
        // as an empty string, such as the empty last line an editor leaves)
        // is skipped: at the head it would be the current password, and no
        // login could match it.
        CString strPwd = nText ? DecodePwd(CString((LPCSTR)piece)) : CString();
        if (!strPwd.IsEmpty()) {
            bFound = TRUE;
            m_pwdList.AddHead(strPwd);
        }
        file.Seek((LONGLONG)pos, CFile::begin);
    }
    file.Close();
    // A file without a password would refuse every login and hand an empty
    // password to every new archive: report it as not loaded.
    return bFound;
}

CString CKivPwd::GetCurrentPwd() const {
    if (m_strPath.IsEmpty() || m_pwdList.IsEmpty()) return CString();
    return m_pwdList.GetHead();
}

BOOL CKivPwd::ChangePwd(const CString& strOld, const CString& strNew) {
    m_dwOpenError = 0;
    if (m_strPath.IsEmpty()) return FALSE;
    if (GetCurrentPwd() != strOld) return FALSE;
    CString strLine = EncodePwd(strNew);
    if (strLine.IsEmpty()) return FALSE;
    CFile file;
    // Read access too: the file's last byte tells whether its last line
    // still needs a line feed.
    if (!OpenFile(file, m_strPath, CFile::modeReadWrite | CFile::shareExclusive)) return FALSE;
    AppendLine(file, strLine);
    m_pwdList.AddTail(strNew);
    return TRUE;
}

BOOL CKivPwd::HasPwd(const CString& strPwd) const {
    // An empty check string is what an archive without a password field
    // gives: it is never a password of the drive.
    if (m_strPath.IsEmpty() || strPwd.IsEmpty()) return FALSE;
    for (POSITION pos = m_pwdList.GetHeadPosition(); pos;)
        if (m_pwdList.GetNext(pos) == strPwd) return TRUE;
    return FALSE;
}

void CKivPwd::AddPwd(const CString& strPath, const CString& strPwd) {
    m_strPath = strPath;
    m_pwdList.AddTail(strPwd);
}
