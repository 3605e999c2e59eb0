// Per-thread bookkeeping of the window layer (internal to framework/win).
#pragma once
#include "Wnd.h"
#include "Gdi.h"
#include <unordered_map>
#include <vector>

class CWinThread;

struct AfxThreadState {
    CWinThread* pThread = nullptr;                      // the framework thread object, if any
    std::unordered_map<HWND, CWnd*> tempWnds;           // FromHandle objects of this thread
    std::unordered_map<HGDIOBJ, CGdiObject*> tempGdi;   // CFont::FromHandle objects
    CWnd* pWndInit = nullptr;       // the object the next created window attaches to
    LPCWSTR pszInitClass = nullptr; // its class name when given as a string
    HHOOK hHookCbt = nullptr;       // catches that window at HCBT_CREATEWND
    MSG curMsg = {};                // the message being handled (CWnd::Default)
    int nHandlerDepth = 0;          // handlers running, one inside the other (CHandlerScope)
    CHandlerScope* pInnermostScope = nullptr;
    std::vector<MSG> outerLoopSends; // waiting for the outermost handler's end
};

// The calling thread's state, made on first use.
AfxThreadState* AfxGetThreadState();
// Frees the calling thread's state (a framework thread's last act).
void AfxTermThreadState();
// Installs the creation hook of this thread once.
void AfxHookWindowCreate(CWnd* pWnd, LPCWSTR pszClass);
void AfxDeleteTempGdiMap(AfxThreadState* pState);
