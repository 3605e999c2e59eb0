#include "FolderLink.h"
#include <string>

namespace {

// The host path of a Windows path, through Wine's own export; empty when
// there is none (not under Wine).
std::string HostPath(const CString& strPath) {
    typedef char*(CDECL * UnixName)(LPCWSTR);
    UnixName pfn = (UnixName)GetProcAddress(GetModuleHandleW(L"kernel32.dll"), "wine_get_unix_file_name");
    if (!pfn) return std::string();
    char* p = pfn(strPath);
    if (!p) return std::string();
    std::string s(p);
    HeapFree(GetProcessHeap(), 0, p);
    return s;
}

// Runs a host program; it is not waited for (Wine's handle of a host
// process tells nothing), the caller watches for what it does.
void RunHost(const std::string& strCommand) {
    CString cmd = CString::FromUtf8(strCommand.data(), strCommand.size());
    STARTUPINFOW si = {sizeof si};
    PROCESS_INFORMATION pi = {};
    if (!CreateProcessW(nullptr, cmd.GetBuffer(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &si, &pi)) return;
    CloseHandle(pi.hThread);
    CloseHandle(pi.hProcess);
}

template <class Done>
void WaitFor(Done done) {
    for (int i = 0; i < 500 && !done(); ++i) Sleep(10);
}

}  // namespace

FolderLink::FolderLink(const CString& strTarget, const CString& strLink) : m_strLink(strLink) {
    int nSlash = strLink.ReverseFind(L'\\');
    std::string target = HostPath(strTarget), parent = HostPath(strLink.Left(nSlash));
    if (target.empty() || parent.empty()) return;
    RunHost("/bin/ln -s \"" + target + "\" \"" + parent + "/" + strLink.Mid(nSlash + 1).ToUtf8() + "\"");
    WaitFor([&] { return Made(); });
}

FolderLink::~FolderLink() {
    if (GetFileAttributesW(m_strLink) == INVALID_FILE_ATTRIBUTES) return;
    int nSlash = m_strLink.ReverseFind(L'\\');
    std::string parent = HostPath(m_strLink.Left(nSlash));
    if (parent.empty()) return;
    // rm without -r removes a link and never what it points to.
    RunHost("/bin/rm -f \"" + parent + "/" + m_strLink.Mid(nSlash + 1).ToUtf8() + "\"");
    WaitFor([&] { return GetFileAttributesW(m_strLink) == INVALID_FILE_ATTRIBUTES; });
}

bool FolderLink::Made() const {
    DWORD dwAttr = GetFileAttributesW(m_strLink);
    const DWORD dwLink = FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_REPARSE_POINT;
    return dwAttr != INVALID_FILE_ATTRIBUTES && (dwAttr & dwLink) == dwLink;
}
