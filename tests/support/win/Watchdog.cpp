#include "Watchdog.h"
#include "framework/win/Wnd.h"
#include <cstdio>
#include <cstring>

Watchdog::Watchdog(DWORD timeoutMs, const char* what) : m_timeoutMs(timeoutMs) {
    strncpy(m_what, what ? what : "test", sizeof(m_what) - 1);
    m_what[sizeof(m_what) - 1] = 0;
    m_hDone = ::CreateEventW(nullptr, TRUE, FALSE, nullptr);
    m_hThread = ::CreateThread(nullptr, 0, Thread, this, 0, nullptr);
}

Watchdog::~Watchdog() {
    ::SetEvent(m_hDone);
    ::WaitForSingleObject(m_hThread, INFINITE);
    ::CloseHandle(m_hThread);
    ::CloseHandle(m_hDone);
}

DWORD WINAPI Watchdog::Thread(LPVOID p) {
    Watchdog* w = static_cast<Watchdog*>(p);
    if (::WaitForSingleObject(w->m_hDone, w->m_timeoutMs) == WAIT_TIMEOUT) {
        fprintf(stderr, "watchdog: %s did not finish within %lu ms\n", w->m_what,
                (unsigned long)w->m_timeoutMs);
        fflush(stderr);
        fflush(stdout);
        ::TerminateProcess(::GetCurrentProcess(), 3);
    }
    return 0;
}

void RunWithTimeout(DWORD timeoutMs, const char* what, const std::function<void()>& fn) {
    Watchdog w(timeoutMs, what);
    fn();
}

static void PumpPending() {
    MSG m;
    while (::PeekMessageW(&m, nullptr, 0, 0, PM_REMOVE)) {
        if (m.message == WM_QUIT) {
            ::PostQuitMessage((int)m.wParam);
            return;
        }
        if (!AfxPreTranslateMessage(&m)) {
            ::TranslateMessage(&m);
            ::DispatchMessageW(&m);
        }
    }
}

bool PumpUntil(const std::function<bool()>& pred, DWORD timeoutMs) {
    DWORD start = ::GetTickCount();
    for (;;) {
        PumpPending();
        if (pred()) return true;
        if (::GetTickCount() - start >= timeoutMs) return false;
        ::MsgWaitForMultipleObjects(0, nullptr, FALSE, 10, QS_ALLINPUT);
    }
}

void PumpFor(DWORD ms) {
    DWORD start = ::GetTickCount();
    while (::GetTickCount() - start < ms) {
        PumpPending();
        ::MsgWaitForMultipleObjects(0, nullptr, FALSE, 10, QS_ALLINPUT);
    }
}
