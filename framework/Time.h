// CTime: seconds since 1 January 1970 UTC, 64-bit.
#pragma once
#include "Types.h"
#include <ctime>

class CTime {
public:
    typedef long long time_type;

    CTime() : m_time(0) {}
    CTime(time_type t) : m_time(t) {}
    // Local date and time; nDST < 0 lets the system decide on daylight saving.
    CTime(int nYear, int nMonth, int nDay, int nHour, int nMin, int nSec, int nDST = -1);
#ifdef _WIN32
    CTime(const FILETIME& ft, int nDST = -1);
    CTime(const SYSTEMTIME& st, int nDST = -1);
    BOOL GetAsSystemTime(SYSTEMTIME& st) const;
    // UTC file time of this moment (0 stays 0, "no time").
    BOOL GetAsFileTime(FILETIME& ft) const;
#endif

    static CTime GetCurrentTime();
    time_type GetTime() const { return m_time; }
    struct tm* GetLocalTm(struct tm* ptm) const;
    struct tm* GetGmtTm(struct tm* ptm) const;
    int GetYear() const;
    int GetMonth() const;
    int GetDay() const;
    int GetHour() const;
    int GetMinute() const;
    int GetSecond() const;
    int GetDayOfWeek() const;

    bool operator==(CTime t) const { return m_time == t.m_time; }
    bool operator!=(CTime t) const { return m_time != t.m_time; }
    bool operator<(CTime t) const { return m_time < t.m_time; }
    bool operator>(CTime t) const { return m_time > t.m_time; }
    bool operator<=(CTime t) const { return m_time <= t.m_time; }
    bool operator>=(CTime t) const { return m_time >= t.m_time; }

private:
    time_type m_time;
};
