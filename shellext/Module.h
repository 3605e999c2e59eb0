// The module object: the module's handle and the two counts that decide
// whether the shell may unload it.
#pragma once
#include <windows.h>

class CKIVShellExtModule {
public:
    // Called once from the entry point when the module is attached.
    void Init(HINSTANCE hInstance) { m_hInstance = hInstance; }
    HINSTANCE GetModuleInstance() const { return m_hInstance; }

    // Every live COM object of the module (class factories included).
    void ObjectCreated() { InterlockedIncrement(&m_nObjects); }
    void ObjectDestroyed() { InterlockedDecrement(&m_nObjects); }
    // IClassFactory::LockServer.
    void Lock() { InterlockedIncrement(&m_nLocks); }
    void Unlock() { InterlockedDecrement(&m_nLocks); }

    // S_OK when no object and no lock is alive, else S_FALSE.
    HRESULT CanUnloadNow() const;

    // The module's full path; false when it does not fit the buffer.
    bool GetModulePath(WCHAR* buf, DWORD cch) const;

private:
    HINSTANCE m_hInstance = nullptr;
    volatile LONG m_nObjects = 0;
    volatile LONG m_nLocks = 0;
};

extern CKIVShellExtModule g_Module;
