// CFile over a POSIX descriptor, for the portable build of the archive engine.
// Paths are UTF-16 strings converted to UTF-8; sharing modes do not apply.
#include "../File.h"
#include <cerrno>
#include <fcntl.h>
#include <sys/stat.h>
#include <sys/time.h>
#include <unistd.h>

const CFile::Handle CFile::hFileNull = -1;

CFile::CFile() : m_hFile(hFileNull) {}

CFile::~CFile() {
    if (m_hFile != hFileNull) Abort();
}

BOOL CFile::Open(LPCTSTR lpszFileName, UINT nOpenFlags, CFileException* pError) {
    if (m_hFile != hFileNull) Abort();
    m_strFileName = lpszFileName;
    int flags = 0;
    switch (nOpenFlags & 3) {
    case modeWrite: flags = O_WRONLY; break;
    case modeReadWrite: flags = O_RDWR; break;
    default: flags = O_RDONLY; break;
    }
    if (nOpenFlags & modeCreate) {
        flags |= O_CREAT;
        if (!(nOpenFlags & modeNoTruncate)) flags |= O_TRUNC;
    }
    int fd = ::open(m_strFileName.ToUtf8().c_str(), flags | O_CLOEXEC, 0644);
    if (fd < 0) {
        if (pError) {
            pError->m_lOsError = errno;
            pError->m_cause = CFileException::OsErrorToException(errno);
            pError->m_strFileName = lpszFileName;
        }
        return FALSE;
    }
    m_hFile = fd;
    return TRUE;
}

UINT CFile::Read(void* lpBuf, UINT nCount) {
    size_t got = 0;
    while (got < nCount) {
        ssize_t n = ::read(m_hFile, (char*)lpBuf + got, nCount - got);
        if (n < 0) {
            if (errno == EINTR) continue;
            CFileException::ThrowOsError(errno, m_strFileName);
        }
        if (n == 0) break;
        got += (size_t)n;
    }
    return (UINT)got;
}

void CFile::Write(const void* lpBuf, UINT nCount) {
    size_t put = 0;
    while (put < nCount) {
        ssize_t n = ::write(m_hFile, (const char*)lpBuf + put, nCount - put);
        if (n < 0) {
            if (errno == EINTR) continue;
            CFileException::ThrowOsError(errno, m_strFileName);
        }
        if (n == 0) AfxThrowFileException(CFileException::diskFull, ENOSPC, m_strFileName);
        put += (size_t)n;
    }
}

ULONGLONG CFile::Seek(LONGLONG lOff, UINT nFrom) {
    int whence = nFrom == current ? SEEK_CUR : nFrom == end ? SEEK_END : SEEK_SET;
    off_t r = ::lseek(m_hFile, (off_t)lOff, whence);
    if (r < 0) CFileException::ThrowOsError(errno, m_strFileName);
    return (ULONGLONG)r;
}

ULONGLONG CFile::GetPosition() const {
    off_t r = ::lseek(m_hFile, 0, SEEK_CUR);
    if (r < 0) CFileException::ThrowOsError(errno, m_strFileName);
    return (ULONGLONG)r;
}

ULONGLONG CFile::GetLength() const {
    struct stat st;
    if (::fstat(m_hFile, &st) != 0) CFileException::ThrowOsError(errno, m_strFileName);
    return (ULONGLONG)st.st_size;
}

void CFile::SetLength(ULONGLONG dwNewLen) {
    if (::ftruncate(m_hFile, (off_t)dwNewLen) != 0) CFileException::ThrowOsError(errno, m_strFileName);
}

void CFile::Flush() {
    if (m_hFile != hFileNull && ::fsync(m_hFile) != 0) CFileException::ThrowOsError(errno, m_strFileName);
}

void CFile::Close() {
    int rc = 0, err = 0;
    if (m_hFile != hFileNull) {
        rc = ::close(m_hFile);
        err = errno;
    }
    m_hFile = hFileNull;
    if (rc != 0) CFileException::ThrowOsError(err, m_strFileName);
}

void CFile::Abort() {
    if (m_hFile != hFileNull) ::close(m_hFile);
    m_hFile = hFileNull;
}

namespace {
void FillStatus(const struct stat& st, const CString& name, CFileStatus& rStatus) {
    rStatus.m_ctime = CTime((CTime::time_type)st.st_ctime);
    rStatus.m_mtime = CTime((CTime::time_type)st.st_mtime);
    rStatus.m_atime = CTime((CTime::time_type)st.st_atime);
    rStatus.m_size = (ULONGLONG)st.st_size;
    BYTE a = S_ISDIR(st.st_mode) ? (BYTE)FILE_ATTRIBUTE_DIRECTORY : (BYTE)FILE_ATTRIBUTE_ARCHIVE;
    if (!(st.st_mode & S_IWUSR)) a |= (BYTE)FILE_ATTRIBUTE_READONLY;
    rStatus.m_attribute = a;
    int n = name.GetLength() < 259 ? name.GetLength() : 259;
    for (int i = 0; i < n; ++i) rStatus.m_szFullName[i] = name[i];
    rStatus.m_szFullName[n] = 0;
}
}  // namespace

BOOL CFile::GetStatus(CFileStatus& rStatus) const {
    struct stat st;
    if (m_hFile == hFileNull || ::fstat(m_hFile, &st) != 0) return FALSE;
    FillStatus(st, m_strFileName, rStatus);
    return TRUE;
}

BOOL CFile::GetStatus(LPCTSTR lpszFileName, CFileStatus& rStatus) {
    struct stat st;
    CString name(lpszFileName);
    if (::stat(name.ToUtf8().c_str(), &st) != 0) return FALSE;
    FillStatus(st, name, rStatus);
    return TRUE;
}

void CFile::SetStatus(LPCTSTR lpszFileName, const CFileStatus& status) {
    CString name(lpszFileName);
    std::string path = name.ToUtf8();
    struct stat st;
    if (::stat(path.c_str(), &st) != 0) CFileException::ThrowOsError(errno, lpszFileName);
    if (status.m_mtime.GetTime()) {
        struct timeval tv[2];
        tv[0].tv_sec = (time_t)(status.m_atime.GetTime() ? status.m_atime.GetTime() : status.m_mtime.GetTime());
        tv[0].tv_usec = 0;
        tv[1].tv_sec = (time_t)status.m_mtime.GetTime();
        tv[1].tv_usec = 0;
        if (::utimes(path.c_str(), tv) != 0) CFileException::ThrowOsError(errno, lpszFileName);
    }
    mode_t mode = st.st_mode & 07777;
    mode = (status.m_attribute & FILE_ATTRIBUTE_READONLY) ? (mode & ~0222) : (mode | S_IWUSR);
    if (::chmod(path.c_str(), mode) != 0) CFileException::ThrowOsError(errno, lpszFileName);
}

void CFile::Remove(LPCTSTR lpszFileName) {
    if (::unlink(CString(lpszFileName).ToUtf8().c_str()) != 0) CFileException::ThrowOsError(errno, lpszFileName);
}

void CFile::Rename(LPCTSTR lpszOldName, LPCTSTR lpszNewName) {
    if (::rename(CString(lpszOldName).ToUtf8().c_str(), CString(lpszNewName).ToUtf8().c_str()) != 0)
        CFileException::ThrowOsError(errno, lpszOldName);
}
