// Keeps GUI tests from hanging: a watchdog ends the whole process with a
// message when the guarded code does not finish in time.
#pragma once
#include "framework/Afx.h"
#include <functional>

class Watchdog {
public:
    // Starts counting; the process is terminated (exit code 3) with the
    // message "watchdog: <what> did not finish within <ms> ms" on stderr.
    Watchdog(DWORD timeoutMs, const char* what);
    ~Watchdog();  // disarms

private:
    static DWORD WINAPI Thread(LPVOID p);
    HANDLE m_hDone;
    HANDLE m_hThread;
    DWORD m_timeoutMs;
    char m_what[200];
};

// Runs fn on this thread under a watchdog.
void RunWithTimeout(DWORD timeoutMs, const char* what, const std::function<void()>& fn);

// Pumps this thread's messages until pred() holds; false on timeout.
bool PumpUntil(const std::function<bool()>& pred, DWORD timeoutMs);
// Pumps this thread's messages for about ms milliseconds.
void PumpFor(DWORD ms);
