#include "RemoteWindow.h"
#include "Watchdog.h"
#include <vector>

namespace {
struct Search {
    DWORD pid;        // 0: any process but this one
    const std::function<bool(HWND)>* pred;
    HWND found = nullptr;
};

BOOL CALLBACK Visit(HWND h, LPARAM lp) {
    auto* s = (Search*)lp;
    DWORD pid = 0;
    ::GetWindowThreadProcessId(h, &pid);
    bool mine = s->pid ? pid == s->pid : pid != ::GetCurrentProcessId();
    if (!mine || !::IsWindowVisible(h) || !(*s->pred)(h)) return TRUE;
    s->found = h;
    return FALSE;
}

HWND WaitFor(DWORD pid, const std::function<bool(HWND)>& pred, DWORD timeoutMs) {
    Search s{pid, &pred};
    PumpUntil([&] {
        s.found = nullptr;
        ::EnumWindows(Visit, (LPARAM)&s);
        return s.found != nullptr;
    }, timeoutMs);
    return s.found;
}

// A buffer in the window's process, freed with the object.
class RemoteBuffer {
public:
    RemoteBuffer(HWND h, SIZE_T size) : m_size(size) {
        DWORD pid = 0;
        ::GetWindowThreadProcessId(h, &pid);
        m_hProcess = ::OpenProcess(PROCESS_VM_OPERATION | PROCESS_VM_READ | PROCESS_VM_WRITE, FALSE, pid);
        if (m_hProcess) m_p = (BYTE*)::VirtualAllocEx(m_hProcess, nullptr, size, MEM_COMMIT, PAGE_READWRITE);
    }
    ~RemoteBuffer() {
        if (m_p) ::VirtualFreeEx(m_hProcess, m_p, 0, MEM_RELEASE);
        if (m_hProcess) ::CloseHandle(m_hProcess);
    }
    BYTE* At(SIZE_T off) const { return m_p + off; }
    bool Ok() const { return m_p != nullptr; }
    bool Write(SIZE_T off, const void* data, SIZE_T n) {
        return ::WriteProcessMemory(m_hProcess, m_p + off, data, n, nullptr);
    }
    bool Read(SIZE_T off, void* data, SIZE_T n) const {
        return ::ReadProcessMemory(m_hProcess, m_p + off, data, n, nullptr);
    }
    CString ReadText(SIZE_T off, int maxChars) const {
        std::vector<WCHAR> buf((size_t)maxChars + 1, 0);
        if (!Read(off, buf.data(), (SIZE_T)maxChars * sizeof(WCHAR))) return CString();
        buf[(size_t)maxChars] = 0;
        return CString(buf.data());
    }

private:
    HANDLE m_hProcess = nullptr;
    BYTE* m_p = nullptr;
    SIZE_T m_size;
};

const int kTextChars = 1024;
const SIZE_T kTextOffset = 512;
}  // namespace

HWND WaitForProcessWindow(DWORD pid, const std::function<bool(HWND)>& pred, DWORD timeoutMs) {
    return WaitFor(pid, pred, timeoutMs);
}

HWND WaitForForeignWindow(const std::function<bool(HWND)>& pred, DWORD timeoutMs) {
    return WaitFor(0, pred, timeoutMs);
}

CString WindowTextOf(HWND h) {
    WCHAR buf[1024] = {0};
    DWORD_PTR got = 0;
    ::SendMessageTimeoutW(h, WM_GETTEXT, 1024, (LPARAM)buf, SMTO_ABORTIFHUNG, 2000, &got);
    return CString(buf);
}

CString ClassNameOf(HWND h) {
    WCHAR cls[128] = {0};
    ::GetClassNameW(h, cls, 128);
    return CString(cls);
}

HWND FindDescendant(HWND hParent, LPCWSTR cls) {
    for (HWND c = ::GetWindow(hParent, GW_CHILD); c; c = ::GetWindow(c, GW_HWNDNEXT)) {
        if (ClassNameOf(c).CompareNoCase(cls) == 0) return c;
        if (HWND d = FindDescendant(c, cls)) return d;
    }
    return nullptr;
}

CString RemoteTreeItemText(HWND hTree, HTREEITEM hItem) {
    RemoteBuffer rb(hTree, kTextOffset + kTextChars * sizeof(WCHAR));
    if (!rb.Ok()) return CString();
    TVITEMW item = {};
    item.mask = TVIF_TEXT;
    item.hItem = hItem;
    item.pszText = (LPWSTR)rb.At(kTextOffset);
    item.cchTextMax = kTextChars;
    rb.Write(0, &item, sizeof item);
    ::SendMessageW(hTree, TVM_GETITEMW, 0, (LPARAM)rb.At(0));
    return rb.ReadText(kTextOffset, kTextChars);
}

CString RemoteListItemText(HWND hList, int nItem, int nSubItem) {
    RemoteBuffer rb(hList, kTextOffset + kTextChars * sizeof(WCHAR));
    if (!rb.Ok()) return CString();
    LVITEMW item = {};
    item.iSubItem = nSubItem;
    item.pszText = (LPWSTR)rb.At(kTextOffset);
    item.cchTextMax = kTextChars;
    rb.Write(0, &item, sizeof item);
    ::SendMessageW(hList, LVM_GETITEMTEXTW, (WPARAM)nItem, (LPARAM)rb.At(0));
    return rb.ReadText(kTextOffset, kTextChars);
}

RECT RemoteListItemRect(HWND hList, int nItem, int nPart) {
    RECT rc = {};
    RemoteBuffer rb(hList, sizeof rc);
    if (!rb.Ok()) return rc;
    rc.left = nPart;
    rb.Write(0, &rc, sizeof rc);
    if (!::SendMessageW(hList, LVM_GETITEMRECT, (WPARAM)nItem, (LPARAM)rb.At(0))) return RECT{};
    rb.Read(0, &rc, sizeof rc);
    return rc;
}

CString RemoteStatusText(HWND hStatus, int nPart) {
    RemoteBuffer rb(hStatus, kTextChars * sizeof(WCHAR));
    if (!rb.Ok()) return CString();
    WCHAR zero = 0;
    rb.Write(0, &zero, sizeof zero);
    ::SendMessageW(hStatus, SB_GETTEXTW, (WPARAM)nPart, (LPARAM)rb.At(0));
    return rb.ReadText(0, kTextChars - 1);
}
