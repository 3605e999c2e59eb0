#include "OleDateTime.h"

COleDateTime::COleDateTime(int nYear, int nMonth, int nDay, int nHour, int nMin, int nSec)
    : m_dt(0), m_status(valid) {
    SetDateTime(nYear, nMonth, nDay, nHour, nMin, nSec);
}

COleDateTime::COleDateTime(const SYSTEMTIME& st) : m_dt(0), m_status(valid) {
    SetDateTime(st.wYear, st.wMonth, st.wDay, st.wHour, st.wMinute, st.wSecond);
}

int COleDateTime::SetDateTime(int nYear, int nMonth, int nDay, int nHour, int nMin, int nSec) {
    m_dt = 0;
    m_status = invalid;
    if (nYear < 100 || nYear > 9999 || nMonth < 1 || nMonth > 12 || nDay < 1 || nDay > 31 ||
        nHour < 0 || nHour > 23 || nMin < 0 || nMin > 59 || nSec < 0 || nSec > 59)
        return 1;
    SYSTEMTIME st = {};
    st.wYear = (WORD)nYear;
    st.wMonth = (WORD)nMonth;
    st.wDay = (WORD)nDay;
    st.wHour = (WORD)nHour;
    st.wMinute = (WORD)nMin;
    st.wSecond = (WORD)nSec;
    DATE d = 0;
    if (!::SystemTimeToVariantTime(&st, &d)) return 1;
    m_dt = d;
    m_status = valid;
    return 0;
}

CString COleDateTime::Format(DWORD dwFlags, LCID lcid) const {
    if (m_status != valid) return CString();
    BSTR b = nullptr;
    if (FAILED(::VarBstrFromDate(m_dt, lcid, dwFlags, &b)) || !b) return CString();
    CString s(b, (int)::SysStringLen(b));
    ::SysFreeString(b);
    return s;
}
