#include "OleMessageFilter.h"

COleMessageFilter::COleMessageFilter()
    : m_bEnableBusy(TRUE), m_bEnableNotResponding(TRUE), m_bRegistered(FALSE) {}

COleMessageFilter::~COleMessageFilter() { Revoke(); }

BOOL COleMessageFilter::Register() {
    IMessageFilter* pOld = nullptr;
    if (FAILED(::CoRegisterMessageFilter(this, &pOld))) return FALSE;
    if (pOld && pOld != this) pOld->Release();
    m_bRegistered = TRUE;
    return TRUE;
}

void COleMessageFilter::Revoke() {
    if (!m_bRegistered) return;
    IMessageFilter* pOld = nullptr;
    ::CoRegisterMessageFilter(nullptr, &pOld);
    m_bRegistered = FALSE;
}

STDMETHODIMP COleMessageFilter::QueryInterface(REFIID riid, void** ppv) {
    if (riid == IID_IUnknown || riid == IID_IMessageFilter) {
        *ppv = static_cast<IMessageFilter*>(this);
        return S_OK;
    }
    *ppv = nullptr;
    return E_NOINTERFACE;
}

STDMETHODIMP_(DWORD) COleMessageFilter::HandleInComingCall(DWORD, HTASK, DWORD, LPINTERFACEINFO) {
    return SERVERCALL_ISHANDLED;
}

// Without the busy dialog a refused call is tried again every 100 ms for
// half a minute, then given up.
STDMETHODIMP_(DWORD) COleMessageFilter::RetryRejectedCall(HTASK, DWORD dwTickCount, DWORD dwRejectType) {
    if (dwRejectType == SERVERCALL_REJECTED) return (DWORD)-1;
    return dwTickCount < 30000 ? 100 : (DWORD)-1;
}

STDMETHODIMP_(DWORD) COleMessageFilter::MessagePending(HTASK, DWORD, DWORD) {
    return PENDINGMSG_WAITDEFPROCESS;
}

COleMessageFilter* AfxOleGetMessageFilter() {
    static COleMessageFilter* filter = new COleMessageFilter;
    return filter;
}
