// CKIVShlExt's hand-over to the program: the path entries built from the
// held selection, the clipboard list "KIV_MUTLIFILES_FORMAT" and the
// program's path from the KVF open command.
#include "shellext/KIVShlExt.h"
#include "shellext/DropFileList.h"
#include <cstring>

namespace {

const WCHAR kOpenCommandKey[] = L"KVFile\\shell\\open\\command";

WCHAR LowerAscii(WCHAR c)
{
    return (c >= L'A' && c <= L'Z') ? static_cast<WCHAR>(c - L'A' + L'a') : c;
}

bool IsBlank(WCHAR c) { return c == L' ' || c == L'\t'; }

}  // namespace

SelectionKind CKIVShlExt::GetPathKind(const WCHAR* path, UINT length)
{
    if (path == nullptr || length <= 5) return SELECTION_PLAIN;
    static const WCHAR ext[] = L".kvf";
    for (UINT i = 0; i < 4; ++i)
        if (LowerAscii(path[length - 4 + i]) != ext[i]) return SELECTION_PLAIN;
    return SELECTION_ARCHIVES;
}

UINT CKIVShlExt::BuildPathEntry(WORD* entry, const WCHAR* path)
{
    if (entry == nullptr || path == nullptr) return 0;
    UINT length = 0;
    while (length < SHELL_PATH_MAX && path[length] != 0) {
        entry[2 + length] = path[length];
        ++length;
    }
    entry[0] = static_cast<WORD>(length & 0xFF);
    entry[1] = static_cast<WORD>(length >> 8);
    return length + 2;
}

void CKIVShlExt::FreePathEntries()
{
    if (m_selection.tymed != TYMED_NULL) ReleaseStgMedium(&m_selection);
    m_selection = STGMEDIUM();
    m_nPaths = 0;
    m_nTotalUnits = 0;
}

HRESULT CKIVShlExt::PutPathsOnClipboard(DWORD command, handover::Record* pRecord)
{
    // No selection (none given, or already handed over): an empty list
    // would only make the program start for nothing.
    if (m_selection.tymed != TYMED_HGLOBAL || m_nPaths == 0) return E_UNEXPECTED;

    // Two units beyond the list stay zero: the block is handed to other
    // programs and must carry nothing of this process's heap.
    const SIZE_T units = static_cast<SIZE_T>(m_nTotalUnits) + 8;
    HGLOBAL hMem = GlobalAlloc(GMEM_MOVEABLE | GMEM_SHARE | GMEM_ZEROINIT, units * sizeof(WORD));
    WORD* p = hMem != nullptr ? static_cast<WORD*>(GlobalLock(hMem)) : nullptr;
    if (p == nullptr) {
        if (hMem != nullptr) GlobalFree(hMem);
        return E_OUTOFMEMORY;
    }

    // The header is the units in use: six header units, the entries and
    // the terminating unit. The reader ignores it, but keeps its layout.
    const DWORD inUse = m_nTotalUnits + 7;
    p[0] = static_cast<WORD>(inUse);
    p[1] = static_cast<WORD>(inUse >> 8);
    p[2] = static_cast<WORD>(inUse >> 16);
    p[3] = static_cast<WORD>(inUse >> 24);
    p[4] = static_cast<WORD>(m_nPaths & 0xFF);
    p[5] = static_cast<WORD>(m_nPaths >> 8);

    // The same names as at Initialize; a held block that changed since
    // (its memory may be the data object's) is refused, not overrun.
    HRESULT hr = S_OK;
    const BYTE* block = static_cast<const BYTE*>(GlobalLock(m_selection.hGlobal));
    if (block == nullptr) {
        hr = E_UNEXPECTED;
    } else {
        CDropFileList copying(block, GlobalSize(m_selection.hGlobal));
        WORD* out = p + 6;
        const WORD* const end = out + m_nTotalUnits;
        WCHAR path[SHELL_PATH_MAX + 1];
        UINT length = 0;
        for (UINT i = 0; i < m_nPaths && SUCCEEDED(hr); ++i) {
            if (copying.Next(path, SHELL_PATH_MAX + 1, &length) != CDropFileList::DROP_NAME ||
                static_cast<size_t>(end - out) < length + 2)
                hr = E_UNEXPECTED;
            else
                out += BuildPathEntry(out, path);
        }
        if (SUCCEEDED(hr) && out != end) hr = E_UNEXPECTED;
        GlobalUnlock(m_selection.hGlobal);
    }
    GlobalUnlock(hMem);
    if (FAILED(hr)) {
        GlobalFree(hMem);
        return hr;
    }

    if (command == 0 || pRecord == nullptr) return HandOver(hMem, nullptr);

    static volatile LONG s_serial = 0;
    handover::Record& record = *pRecord;
    record = handover::Record();
    record.magic = handover::kRecordMagic;
    record.size = sizeof record;
    record.command = command;
    record.writer = GetCurrentProcessId();
    record.serial = static_cast<DWORD>(InterlockedIncrement(&s_serial));
    GetSystemTimeAsFileTime(&record.written);
    if (!handover::BlockHash(hMem, record.listBytes, record.listHash)) {
        GlobalFree(hMem);
        return E_OUTOFMEMORY;
    }
    return HandOver(hMem, &record);
}

bool CKIVShlExt::ProgramFromOpenCommand(const WCHAR* command, WCHAR* program, size_t cch)
{
    if (program == nullptr || cch == 0) return false;
    program[0] = 0;
    if (command == nullptr) return false;

    while (IsBlank(*command)) ++command;
    const WCHAR* begin = command;
    size_t length = wcslen(command);
    if (*command == L'"') {
        // A quoted path may hold blanks and folders such as "...\flexer\...".
        begin = command + 1;
        const WCHAR* close = wcschr(begin, L'"');
        if (close == nullptr) return false;
        length = static_cast<size_t>(close - begin);
    } else {
        // Unquoted, the file name ends at the first ".exe" that ends a word:
        // an "exe" inside a folder name does not end it.
        for (size_t i = 0; i + 4 <= length; ++i) {
            if (command[i] == L'.' && LowerAscii(command[i + 1]) == L'e' &&
                LowerAscii(command[i + 2]) == L'x' && LowerAscii(command[i + 3]) == L'e' &&
                (command[i + 4] == 0 || IsBlank(command[i + 4]))) {
                length = i + 4;
                break;
            }
        }
    }
    if (length == 0 || length >= cch) return false;
    memcpy(program, begin, length * sizeof(WCHAR));
    program[length] = 0;
    return true;
}

HRESULT CKIVShlExt::ReadOpenCommand()
{
    m_szProgram[0] = 0;
    HKEY hKey = nullptr;
    if (RegOpenKeyExW(HKEY_CLASSES_ROOT, kOpenCommandKey, 0, KEY_QUERY_VALUE, &hKey) != ERROR_SUCCESS)
        return E_ACCESSDENIED;
    // Only a string value that fits whole: a cut one could name another file.
    WCHAR command[MAX_PATH + 1];
    DWORD cb = sizeof command;
    LSTATUS status = RegGetValueW(hKey, nullptr, nullptr, RRF_RT_REG_SZ, nullptr, command, &cb);
    RegCloseKey(hKey);
    if (status != ERROR_SUCCESS) return E_ACCESSDENIED;
    if (!ProgramFromOpenCommand(command, m_szProgram, MAX_PATH + 1)) return E_ACCESSDENIED;
    return S_OK;
}
