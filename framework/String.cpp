#include "String.h"
#include <algorithm>
#include <cstdarg>
#include <cstring>
#include <vector>

namespace {
WCHAR LowerOf(WCHAR c) {
#ifdef _WIN32
    return (WCHAR)(UINT_PTR)CharLowerW((LPWSTR)(UINT_PTR)(WORD)c);
#else
    return (c >= 'A' && c <= 'Z') ? (WCHAR)(c + 32) : c;
#endif
}
WCHAR UpperOf(WCHAR c) {
#ifdef _WIN32
    return (WCHAR)(UINT_PTR)CharUpperW((LPWSTR)(UINT_PTR)(WORD)c);
#else
    return (c >= 'a' && c <= 'z') ? (WCHAR)(c - 32) : c;
#endif
}
bool IsSpace(WCHAR c) { return c == ' ' || (c >= 9 && c <= 13); }
}  // namespace

CString::CString(LPCSTR psz) {
    if (!psz || !*psz) return;
#ifdef _WIN32
    int n = MultiByteToWideChar(CP_ACP, 0, psz, -1, nullptr, 0);
    if (n > 1) {
        m_s.resize((size_t)n);
        MultiByteToWideChar(CP_ACP, 0, psz, -1, &m_s[0], n);
        m_s.resize((size_t)n - 1);
    }
#else
    *this = FromUtf8(psz, strlen(psz));
#endif
}

int CString::Compare(LPCTSTR psz) const {
    Rep other = psz ? Rep(psz) : Rep();
    return m_s.compare(other) < 0 ? -1 : (m_s == other ? 0 : 1);
}

int CString::CompareNoCase(LPCTSTR psz) const {
    CString a(*this), b(psz);
    a.MakeLower();
    b.MakeLower();
    return a.Compare(b);
}

CString CString::Left(int nCount) const {
    if (nCount <= 0) return CString();
    return CString(m_s.substr(0, std::min((size_t)nCount, m_s.size())));
}

CString CString::Right(int nCount) const {
    if (nCount <= 0) return CString();
    size_t n = std::min((size_t)nCount, m_s.size());
    return CString(m_s.substr(m_s.size() - n));
}

CString CString::Mid(int iFirst) const { return Mid(iFirst, GetLength() - (iFirst < 0 ? 0 : iFirst)); }

CString CString::Mid(int iFirst, int nCount) const {
    if (iFirst < 0) iFirst = 0;
    if (nCount <= 0 || (size_t)iFirst >= m_s.size()) return CString();
    return CString(m_s.substr((size_t)iFirst, (size_t)nCount));
}

int CString::Find(WCHAR ch, int iStart) const {
    if (iStart < 0 || (size_t)iStart >= m_s.size()) return -1;
    size_t p = m_s.find(ch, (size_t)iStart);
    return p == Rep::npos ? -1 : (int)p;
}

int CString::Find(LPCTSTR psz, int iStart) const {
    if (!psz || iStart < 0 || (size_t)iStart > m_s.size()) return -1;
    size_t p = m_s.find(psz, (size_t)iStart);
    return p == Rep::npos ? -1 : (int)p;
}

int CString::ReverseFind(WCHAR ch) const {
    size_t p = m_s.rfind(ch);
    return p == Rep::npos ? -1 : (int)p;
}

CString& CString::MakeLower() {
    for (auto& c : m_s) c = LowerOf(c);
    return *this;
}

CString& CString::MakeUpper() {
    for (auto& c : m_s) c = UpperOf(c);
    return *this;
}

CString& CString::TrimLeft() {
    size_t i = 0;
    while (i < m_s.size() && IsSpace(m_s[i])) ++i;
    m_s.erase(0, i);
    return *this;
}

CString& CString::TrimRight() {
    while (!m_s.empty() && IsSpace(m_s.back())) m_s.pop_back();
    return *this;
}

int CString::Replace(WCHAR chOld, WCHAR chNew) {
    int n = 0;
    for (auto& c : m_s)
        if (c == chOld) { c = chNew; ++n; }
    return n;
}

int CString::Replace(LPCTSTR pszOld, LPCTSTR pszNew) {
    if (!pszOld || !*pszOld) return 0;
    Rep from(pszOld), to(pszNew ? pszNew : Rep());
    int n = 0;
    size_t p = 0;
    while ((p = m_s.find(from, p)) != Rep::npos) {
        m_s.replace(p, from.size(), to);
        p += to.size();
        ++n;
    }
    return n;
}

int CString::Delete(int iIndex, int nCount) {
    if (iIndex >= 0 && nCount > 0 && (size_t)iIndex < m_s.size()) m_s.erase((size_t)iIndex, (size_t)nCount);
    return GetLength();
}

int CString::Insert(int iIndex, LPCTSTR psz) {
    if (iIndex < 0) iIndex = 0;
    if ((size_t)iIndex > m_s.size()) iIndex = GetLength();
    if (psz) m_s.insert((size_t)iIndex, psz);
    return GetLength();
}

LPTSTR CString::GetBuffer(int nMinBufLength) {
    // Keep room for the caller's terminator beyond the requested length.
    size_t len = m_s.size();
    if (nMinBufLength > (int)len) m_s.resize((size_t)nMinBufLength);
    m_s.reserve(m_s.size() + 1);
    m_s.push_back(0);
    m_s.pop_back();
    (void)len;
    return &m_s[0];
}

LPTSTR CString::GetBufferSetLength(int nLength) {
    m_s.resize(nLength > 0 ? (size_t)nLength : 0);
    return GetBuffer(nLength);
}

void CString::ReleaseBuffer(int nNewLength) {
    if (nNewLength < 0) {
        size_t n = 0;
        while (n < m_s.size() && m_s[n]) ++n;
        m_s.resize(n);
    } else if ((size_t)nNewLength <= m_s.size()) {
        m_s.resize((size_t)nNewLength);
    }
}

std::string CString::ToUtf8() const {
    std::string out;
    for (size_t i = 0; i < m_s.size(); ++i) {
        uint32_t c = (uint16_t)m_s[i];
        if (c >= 0xD800 && c < 0xDC00 && i + 1 < m_s.size()) {
            uint32_t d = (uint16_t)m_s[i + 1];
            if (d >= 0xDC00 && d < 0xE000) {
                c = 0x10000 + ((c - 0xD800) << 10) + (d - 0xDC00);
                ++i;
            }
        }
        if (c < 0x80) out += (char)c;
        else if (c < 0x800) { out += (char)(0xC0 | (c >> 6)); out += (char)(0x80 | (c & 0x3F)); }
        else if (c < 0x10000) {
            out += (char)(0xE0 | (c >> 12)); out += (char)(0x80 | ((c >> 6) & 0x3F)); out += (char)(0x80 | (c & 0x3F));
        } else {
            out += (char)(0xF0 | (c >> 18)); out += (char)(0x80 | ((c >> 12) & 0x3F));
            out += (char)(0x80 | ((c >> 6) & 0x3F)); out += (char)(0x80 | (c & 0x3F));
        }
    }
    return out;
}

CString CString::FromUtf8(const char* s, size_t n) {
    Rep out;
    size_t i = 0;
    while (i < n) {
        unsigned char b = (unsigned char)s[i];
        uint32_t c;
        size_t extra;
        if (b < 0x80) { c = b; extra = 0; }
        else if ((b & 0xE0) == 0xC0) { c = b & 0x1F; extra = 1; }
        else if ((b & 0xF0) == 0xE0) { c = b & 0x0F; extra = 2; }
        else if ((b & 0xF8) == 0xF0) { c = b & 0x07; extra = 3; }
        else { out += (WCHAR)0xFFFD; ++i; continue; }
        if (i + extra >= n + (extra ? 0 : 1) && extra) { out += (WCHAR)0xFFFD; break; }
        bool ok = true;
        for (size_t k = 1; k <= extra; ++k) {
            unsigned char t = (unsigned char)s[i + k];
            if ((t & 0xC0) != 0x80) { ok = false; break; }
            c = (c << 6) | (t & 0x3F);
        }
        if (!ok) { out += (WCHAR)0xFFFD; ++i; continue; }
        i += extra + 1;
        if (c >= 0x10000) {
            c -= 0x10000;
            out += (WCHAR)(0xD800 + (c >> 10));
            out += (WCHAR)(0xDC00 + (c & 0x3FF));
        } else {
            out += (WCHAR)c;
        }
    }
    return CString(out);
}

#ifdef _WIN32
void CString::Format(LPCTSTR pszFormat, ...) {
    va_list args;
    va_start(args, pszFormat);
    FormatV(pszFormat, args);
    va_end(args);
}

void CString::FormatV(LPCTSTR pszFormat, va_list args) {
    // _vsnwprintf keeps the Windows meaning of %s in wide formats
    // (the C99 vswprintf of MinGW reads it as a narrow string).
    std::vector<wchar_t> buf(256);
    for (;;) {
        va_list copy;
        va_copy(copy, args);
        int n = _vsnwprintf(buf.data(), buf.size() - 1, pszFormat, copy);
        va_end(copy);
        if (n >= 0 && (size_t)n < buf.size() - 1) {
            buf[(size_t)n] = 0;
            m_s.assign(buf.data(), (size_t)n);
            return;
        }
        if (buf.size() > (1u << 24)) { m_s.clear(); return; }
        buf.resize(buf.size() * 2);
    }
}

std::string CString::ToNarrow(UINT codePage) const {
    if (m_s.empty()) return std::string();
    int n = WideCharToMultiByte(codePage, 0, m_s.c_str(), (int)m_s.size(), nullptr, 0, nullptr, nullptr);
    std::string out(n > 0 ? (size_t)n : 0, '\0');
    if (n > 0) WideCharToMultiByte(codePage, 0, m_s.c_str(), (int)m_s.size(), &out[0], n, nullptr, nullptr);
    return out;
}
#endif
