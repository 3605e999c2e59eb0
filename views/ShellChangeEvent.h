// A shell change event delivered as the shell's own shared block: the window
// registers with SHCNRF_NewDelivery, and its message then carries a handle
// to the block (wParam) and the id of the process that made it (lParam),
// never an address. The block is read through the shell; a message with
// made-up values gives no event, and the event's item-ID lists are used only
// when each lies whole in readable memory.
#pragma once
#include "framework/Afx.h"
#include "app/HandOver.h"
#include <optional>
#include <shlobj.h>

class CShellChangeEvent {
public:
    // Registers the window for the events below the folder, delivered so.
    static ULONG Register(HWND hWnd, int nSources, LONG lEvents, UINT nMessage, LPCITEMIDLIST pidlFolder,
                          BOOL bRecursive);

    CShellChangeEvent(WPARAM wParam, LPARAM lParam);
    ~CShellChangeEvent();
    CShellChangeEvent(const CShellChangeEvent&) = delete;
    CShellChangeEvent& operator=(const CShellChangeEvent&) = delete;

    BOOL IsValid() const { return m_hLock != nullptr; }
    LONG GetEvent() const { return m_lEvent; }
    // The event's first (0) or second (1) item; null when it has none.
    LPCITEMIDLIST GetIdList(int nItem) const;
    // The pair of item-ID lists, for a message that passes the event on
    // within this thread while the event is read.
    const LPCITEMIDLIST* GetIdLists() const { return (const LPCITEMIDLIST*)m_ppidl; }
    // TRUE when wParam is the pair of an event being read on this thread
    // now, so that a relayed message may read it.
    static BOOL IsBeingRead(WPARAM wParam) { return CHandOver::IsHeld((const void*)wParam); }

private:
    HANDLE m_hLock;
    LPITEMIDLIST* m_ppidl;
    LONG m_lEvent;
    std::optional<CHandOver> m_holdIdLists;  // while the event is read
};
