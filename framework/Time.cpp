#include "Time.h"
#include <cstring>

namespace {
bool LocalTm(long long t, struct tm* out) {
#ifdef _WIN32
    __time64_t tt = (__time64_t)t;
    return _localtime64_s(out, &tt) == 0;
#else
    time_t tt = (time_t)t;
    return localtime_r(&tt, out) != nullptr;
#endif
}
bool GmtTm(long long t, struct tm* out) {
#ifdef _WIN32
    __time64_t tt = (__time64_t)t;
    return _gmtime64_s(out, &tt) == 0;
#else
    time_t tt = (time_t)t;
    return gmtime_r(&tt, out) != nullptr;
#endif
}
}  // namespace

CTime::CTime(int nYear, int nMonth, int nDay, int nHour, int nMin, int nSec, int nDST) {
    struct tm t;
    memset(&t, 0, sizeof t);
    t.tm_year = nYear - 1900;
    t.tm_mon = nMonth - 1;
    t.tm_mday = nDay;
    t.tm_hour = nHour;
    t.tm_min = nMin;
    t.tm_sec = nSec;
    t.tm_isdst = nDST;
#ifdef _WIN32
    __time64_t v = _mktime64(&t);
#else
    time_t v = mktime(&t);
#endif
    m_time = v == -1 ? 0 : (time_type)v;
}

#ifdef _WIN32
CTime::CTime(const FILETIME& ft, int nDST) : m_time(0) {
    if (!ft.dwLowDateTime && !ft.dwHighDateTime) return;
    FILETIME local;
    SYSTEMTIME st;
    if (FileTimeToLocalFileTime(&ft, &local) && FileTimeToSystemTime(&local, &st))
        *this = CTime(st.wYear, st.wMonth, st.wDay, st.wHour, st.wMinute, st.wSecond, nDST);
}

CTime::CTime(const SYSTEMTIME& st, int nDST)
    : CTime(st.wYear, st.wMonth, st.wDay, st.wHour, st.wMinute, st.wSecond, nDST) {}

BOOL CTime::GetAsSystemTime(SYSTEMTIME& st) const {
    struct tm t;
    if (!LocalTm(m_time, &t)) return FALSE;
    st.wYear = (WORD)(t.tm_year + 1900);
    st.wMonth = (WORD)(t.tm_mon + 1);
    st.wDay = (WORD)t.tm_mday;
    st.wHour = (WORD)t.tm_hour;
    st.wMinute = (WORD)t.tm_min;
    st.wSecond = (WORD)t.tm_sec;
    st.wDayOfWeek = (WORD)t.tm_wday;
    st.wMilliseconds = 0;
    return TRUE;
}

BOOL CTime::GetAsFileTime(FILETIME& ft) const {
    // 100 ns intervals since 1601-01-01 UTC.
    ULONGLONG v = (ULONGLONG)(m_time + 11644473600LL) * 10000000ULL;
    ft.dwLowDateTime = (DWORD)v;
    ft.dwHighDateTime = (DWORD)(v >> 32);
    return TRUE;
}
#endif

CTime CTime::GetCurrentTime() {
#ifdef _WIN32
    return CTime((time_type)_time64(nullptr));
#else
    return CTime((time_type)time(nullptr));
#endif
}

struct tm* CTime::GetLocalTm(struct tm* ptm) const { return ptm && LocalTm(m_time, ptm) ? ptm : nullptr; }
struct tm* CTime::GetGmtTm(struct tm* ptm) const { return ptm && GmtTm(m_time, ptm) ? ptm : nullptr; }

#define KIV_TM_FIELD(name, expr)            \
    int CTime::name() const {               \
        struct tm t;                        \
        if (!LocalTm(m_time, &t)) return 0; \
        return expr;                        \
    }
KIV_TM_FIELD(GetYear, t.tm_year + 1900)
KIV_TM_FIELD(GetMonth, t.tm_mon + 1)
KIV_TM_FIELD(GetDay, t.tm_mday)
KIV_TM_FIELD(GetHour, t.tm_hour)
KIV_TM_FIELD(GetMinute, t.tm_min)
KIV_TM_FIELD(GetSecond, t.tm_sec)
KIV_TM_FIELD(GetDayOfWeek, t.tm_wday + 1)
#undef KIV_TM_FIELD
