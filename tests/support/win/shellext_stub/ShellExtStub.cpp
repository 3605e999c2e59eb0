// Stands in for KIV.exe when the shell extension starts "the program":
// writes what it was given to the file named by KIV_STUB_RECORD. The record
// (little-endian) is: its own path, then each argument, each as a 32-bit
// count of UTF-16 units and the units; then the clipboard's
// "KIV_MUTLIFILES_FORMAT" block as a 32-bit byte count (0xFFFFFFFF: none)
// and its bytes. The record appears whole, by a rename. Like the program,
// it takes the list it read: a list with entries is replaced by the taken
// list (no entry). KIV_STUB_TAKE_DELAY_MS, when set, is a pause before the
// list is read, as a slow start would make it.
#include <windows.h>
#include <shellapi.h>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

namespace {

void PutU32(std::vector<BYTE>& out, DWORD v)
{
    for (int i = 0; i < 4; ++i) out.push_back(static_cast<BYTE>(v >> (8 * i)));
}

void PutText(std::vector<BYTE>& out, const std::wstring& s)
{
    PutU32(out, static_cast<DWORD>(s.size()));
    const BYTE* p = reinterpret_cast<const BYTE*>(s.data());
    out.insert(out.end(), p, p + s.size() * sizeof(WCHAR));
}

void PutClipboardList(std::vector<BYTE>& out)
{
    UINT format = RegisterClipboardFormatW(L"KIV_MUTLIFILES_FORMAT");
    bool open = false;
    for (int i = 0; i < 50 && !open; ++i) {
        open = OpenClipboard(nullptr) != FALSE;
        if (!open) Sleep(20);
    }
    HANDLE h = open ? GetClipboardData(format) : nullptr;
    const BYTE* p = h != nullptr ? static_cast<const BYTE*>(GlobalLock(h)) : nullptr;
    bool take = false;
    if (p == nullptr) {
        PutU32(out, 0xFFFFFFFF);
    } else {
        SIZE_T cb = GlobalSize(h);
        PutU32(out, static_cast<DWORD>(cb));
        out.insert(out.end(), p, p + cb);
        take = cb >= 12 && (p[8] | p[9] | p[10] | p[11]) != 0;  // a count above 0
        GlobalUnlock(h);
    }
    if (take) {
        static const WORD taken[8] = {7, 0, 0, 0, 0, 0, 0, 0};
        HGLOBAL t = GlobalAlloc(GMEM_MOVEABLE, sizeof taken);
        memcpy(GlobalLock(t), taken, sizeof taken);
        GlobalUnlock(t);
        if (SetClipboardData(format, t) == nullptr) GlobalFree(t);
    }
    if (open) CloseClipboard();
}

}  // namespace

int wmain(int argc, wchar_t** argv)
{
    WCHAR record[MAX_PATH];
    DWORD n = GetEnvironmentVariableW(L"KIV_STUB_RECORD", record, MAX_PATH);
    if (n == 0 || n >= MAX_PATH) return 2;

    WCHAR delay[16];
    DWORD nDelay = GetEnvironmentVariableW(L"KIV_STUB_TAKE_DELAY_MS", delay, 16);
    if (nDelay > 0 && nDelay < 16) Sleep(static_cast<DWORD>(_wtoi(delay)));

    std::vector<BYTE> out;
    WCHAR self[MAX_PATH];
    DWORD len = GetModuleFileNameW(nullptr, self, MAX_PATH);
    PutText(out, std::wstring(self, len));
    PutU32(out, static_cast<DWORD>(argc - 1));
    for (int i = 1; i < argc; ++i) PutText(out, argv[i]);
    PutClipboardList(out);

    std::wstring temp = std::wstring(record) + L".part";
    HANDLE f = CreateFileW(temp.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
    if (f == INVALID_HANDLE_VALUE) return 3;
    DWORD written = 0;
    BOOL ok = WriteFile(f, out.data(), static_cast<DWORD>(out.size()), &written, nullptr);
    CloseHandle(f);
    if (!ok || written != out.size()) return 4;
    return MoveFileExW(temp.c_str(), record, MOVEFILE_REPLACE_EXISTING) ? 0 : 5;
}
