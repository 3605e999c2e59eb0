// COleDateTime: an OLE date (days since 30 December 1899) formatted by the
// system's variant conversion in the user's date and time format.
#pragma once
#include "../Afx.h"
#include <oleauto.h>

class COleDateTime {
public:
    enum DateTimeStatus { valid = 0, invalid = 1, null = 2 };

    COleDateTime() : m_dt(0), m_status(valid) {}
    COleDateTime(int nYear, int nMonth, int nDay, int nHour, int nMin, int nSec);
    explicit COleDateTime(const SYSTEMTIME& st);

    int SetDateTime(int nYear, int nMonth, int nDay, int nHour, int nMin, int nSec);
    DateTimeStatus GetStatus() const { return m_status; }
    // VarBstrFromDate with these flags; empty for an invalid date.
    CString Format(DWORD dwFlags = 0, LCID lcid = LANG_USER_DEFAULT) const;

    DATE m_dt;
    DateTimeStatus m_status;
};
