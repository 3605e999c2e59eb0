// CString: a UTF-16 string with the framework's members. The program's
// strings are UTF-16 throughout; bytes appear only at file boundaries.
#pragma once
#include "Types.h"
#include <string>

class CString {
public:
    typedef std::basic_string<WCHAR> Rep;

    CString() {}
    CString(const CString& s) : m_s(s.m_s) {}
    CString(CString&& s) noexcept : m_s(std::move(s.m_s)) {}
    CString(LPCTSTR psz) { if (psz) m_s = psz; }
    CString(LPCTSTR pch, int nLength) { if (pch && nLength > 0) m_s.assign(pch, (size_t)nLength); }
    CString(WCHAR ch, int nRepeat = 1) { if (nRepeat > 0) m_s.assign((size_t)nRepeat, ch); }
    // Narrow text: ANSI code page on Windows, UTF-8 elsewhere.
    explicit CString(LPCSTR psz);
    explicit CString(const Rep& s) : m_s(s) {}

    CString& operator=(const CString& s) { m_s = s.m_s; return *this; }
    CString& operator=(CString&& s) noexcept { m_s = std::move(s.m_s); return *this; }
    CString& operator=(LPCTSTR psz) { if (psz) m_s = psz; else m_s.clear(); return *this; }
    CString& operator=(WCHAR ch) { m_s.assign(1, ch); return *this; }

    int GetLength() const { return (int)m_s.size(); }
    BOOL IsEmpty() const { return m_s.empty(); }
    void Empty() { m_s.clear(); }
    WCHAR GetAt(int i) const { return m_s.at((size_t)i); }
    void SetAt(int i, WCHAR ch) { m_s.at((size_t)i) = ch; }
    WCHAR operator[](int i) const { return GetAt(i); }
    operator LPCTSTR() const { return m_s.c_str(); }
    LPCTSTR GetString() const { return m_s.c_str(); }
    const Rep& Str() const { return m_s; }

    CString& operator+=(const CString& s) { m_s += s.m_s; return *this; }
    CString& operator+=(LPCTSTR psz) { if (psz) m_s += psz; return *this; }
    CString& operator+=(WCHAR ch) { m_s += ch; return *this; }
    friend CString operator+(const CString& a, const CString& b) { CString r(a); r += b; return r; }
    friend CString operator+(const CString& a, LPCTSTR b) { CString r(a); r += b; return r; }
    friend CString operator+(LPCTSTR a, const CString& b) { CString r(a); r += b; return r; }
    friend CString operator+(const CString& a, WCHAR b) { CString r(a); r += b; return r; }
    friend CString operator+(WCHAR a, const CString& b) { CString r(a); r += b; return r; }

    int Compare(LPCTSTR psz) const;
    int CompareNoCase(LPCTSTR psz) const;
    friend bool operator==(const CString& a, const CString& b) { return a.m_s == b.m_s; }
    friend bool operator==(const CString& a, LPCTSTR b) { return a.Compare(b) == 0; }
    friend bool operator==(LPCTSTR a, const CString& b) { return b.Compare(a) == 0; }
    friend bool operator!=(const CString& a, const CString& b) { return a.m_s != b.m_s; }
    friend bool operator!=(const CString& a, LPCTSTR b) { return a.Compare(b) != 0; }
    friend bool operator!=(LPCTSTR a, const CString& b) { return b.Compare(a) != 0; }
    friend bool operator<(const CString& a, const CString& b) { return a.m_s < b.m_s; }

    CString Left(int nCount) const;
    CString Right(int nCount) const;
    CString Mid(int iFirst) const;
    CString Mid(int iFirst, int nCount) const;
    int Find(WCHAR ch, int iStart = 0) const;
    int Find(LPCTSTR psz, int iStart = 0) const;
    int ReverseFind(WCHAR ch) const;
    CString& MakeLower();
    CString& MakeUpper();
    CString& TrimLeft();
    CString& TrimRight();
    CString& Trim() { TrimRight(); return TrimLeft(); }
    int Replace(WCHAR chOld, WCHAR chNew);
    int Replace(LPCTSTR pszOld, LPCTSTR pszNew);
    int Delete(int iIndex, int nCount = 1);
    int Insert(int iIndex, LPCTSTR psz);

    // Direct access to the characters; ReleaseBuffer(-1) takes the length
    // from the terminating zero.
    LPTSTR GetBuffer(int nMinBufLength = 0);
    LPTSTR GetBufferSetLength(int nLength);
    void ReleaseBuffer(int nNewLength = -1);

#ifdef _WIN32
    // Wide formatting with the Windows meaning of %s (a wide string).
    void Format(LPCTSTR pszFormat, ...);
    void FormatV(LPCTSTR pszFormat, va_list args);
    BOOL LoadString(UINT nID);
    // Narrow copy in the given code page.
    std::string ToNarrow(UINT codePage) const;
#endif
    // UTF-8 copy (file names on the portable build, test output).
    std::string ToUtf8() const;
    static CString FromUtf8(const char* s, size_t n);

private:
    Rep m_s;
};
