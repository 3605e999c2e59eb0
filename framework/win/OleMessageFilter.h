// COleMessageFilter: the interface thread's answer to COM calls that are
// refused or waiting while it is busy. The program switches the busy and
// not-responding dialogs off, so calls are simply retried for a while.
#pragma once
#include "../Afx.h"
#include <objidl.h>

class COleMessageFilter : public IMessageFilter {
public:
    COleMessageFilter();
    virtual ~COleMessageFilter();

    // Installs the filter on the calling thread (it must have OLE started).
    BOOL Register();
    void Revoke();
    void EnableBusyDialog(BOOL bEnable = TRUE) { m_bEnableBusy = bEnable; }
    void EnableNotRespondingDialog(BOOL bEnable = TRUE) { m_bEnableNotResponding = bEnable; }

    STDMETHODIMP QueryInterface(REFIID riid, void** ppv) override;
    STDMETHODIMP_(ULONG) AddRef() override { return 2; }   // lives as long as its owner
    STDMETHODIMP_(ULONG) Release() override { return 1; }
    STDMETHODIMP_(DWORD) HandleInComingCall(DWORD, HTASK, DWORD, LPINTERFACEINFO) override;
    STDMETHODIMP_(DWORD) RetryRejectedCall(HTASK, DWORD dwTickCount, DWORD dwRejectType) override;
    STDMETHODIMP_(DWORD) MessagePending(HTASK, DWORD, DWORD) override;

    BOOL m_bEnableBusy;
    BOOL m_bEnableNotResponding;

private:
    BOOL m_bRegistered;
};

// The filter of the application's thread.
COleMessageFilter* AfxOleGetMessageFilter();
