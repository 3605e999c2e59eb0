// The few Win32 calls the portable archive engine makes, over POSIX.
#include "../String.h"
#include <ctime>
#include <sys/stat.h>
#include <sys/time.h>

void GetSystemTime(SYSTEMTIME* st) {
    struct timeval tv;
    gettimeofday(&tv, nullptr);
    time_t t = tv.tv_sec;
    struct tm g;
    gmtime_r(&t, &g);
    st->wYear = (WORD)(g.tm_year + 1900);
    st->wMonth = (WORD)(g.tm_mon + 1);
    st->wDayOfWeek = (WORD)g.tm_wday;
    st->wDay = (WORD)g.tm_mday;
    st->wHour = (WORD)g.tm_hour;
    st->wMinute = (WORD)g.tm_min;
    st->wSecond = (WORD)g.tm_sec;
    st->wMilliseconds = (WORD)(tv.tv_usec / 1000);
}

DWORD GetFileAttributesW(LPCWSTR path) {
    struct stat st;
    if (!path || ::stat(CString(path).ToUtf8().c_str(), &st) != 0) return INVALID_FILE_ATTRIBUTES;
    DWORD a = S_ISDIR(st.st_mode) ? FILE_ATTRIBUTE_DIRECTORY : FILE_ATTRIBUTE_ARCHIVE;
    if (!(st.st_mode & S_IWUSR)) a |= FILE_ATTRIBUTE_READONLY;
    return a;
}
