// CKIVShlExt's hand-over of a chosen command to the program: the list is
// written once the list of the command before it is taken, the program is
// started, and the list's record names it (see ListHandOver.h).
#include "shellext/KIVShlExt.h"
#include <shellapi.h>

namespace {

// How long the clipboard is waited for once the list is written: the
// program's own take is the only other user to be expected then.
const DWORD kNoteWaitMs = 1000;
const DWORD kPauseMs = 50;

HRESULT LastErrorResult()
{
    DWORD err = GetLastError();
    return err != 0 ? HRESULT_FROM_WIN32(err) : E_FAIL;
}

ULONGLONG FileTimeMs(const FILETIME& ft)
{
    return ((static_cast<ULONGLONG>(ft.dwHighDateTime) << 32) | ft.dwLowDateTime) / 10000;
}

// Whether the program a record names can still take its list: it runs, and
// it is the very process that was started (process ids are used again).
bool ProgramMayTake(const handover::Record& r)
{
    HANDLE h = OpenProcess(SYNCHRONIZE | PROCESS_QUERY_LIMITED_INFORMATION, FALSE, r.pid);
    // A process beyond this one's rights still runs.
    if (h == nullptr) return GetLastError() == ERROR_ACCESS_DENIED;
    bool runs = WaitForSingleObject(h, 0) == WAIT_TIMEOUT;
    FILETIME created, exited, kernel, user;
    if (runs && GetProcessTimes(h, &created, &exited, &kernel, &user))
        runs = CompareFileTime(&created, &r.started) == 0;
    CloseHandle(h);
    return runs;
}

// Whether the open clipboard holds a list that is still waiting to be taken.
bool EarlierListWaiting(UINT listFormat, UINT recordFormat)
{
    HANDLE hList = GetClipboardData(listFormat);
    if (handover::ListCount(hList) == 0) return false;
    handover::Record r;
    if (!handover::RecordOfList(GetClipboardData(recordFormat), hList, r)) return false;
    if (r.pid != 0) return ProgramMayTake(r);
    // Not started yet: its writer is starting the program now, unless it
    // died before it could (either way of the clock).
    FILETIME now;
    GetSystemTimeAsFileTime(&now);
    const ULONGLONG a = FileTimeMs(now), b = FileTimeMs(r.written);
    return (a > b ? a - b : b - a) < handover::kUnstartedLifeMs;
}

// Whether the open clipboard still holds the list of this record, not yet
// taken.
bool StillWaiting(UINT listFormat, UINT recordFormat, const handover::Record& mine)
{
    HANDLE hList = GetClipboardData(listFormat);
    handover::Record r;
    if (handover::ListCount(hList) == 0 || !handover::RecordOfList(GetClipboardData(recordFormat), hList, r))
        return false;
    return r.writer == mine.writer && r.serial == mine.serial;
}

// A pause of the wait. It runs on the shell's thread: messages sent to it
// are still answered meanwhile.
void Pause(DWORD ms)
{
    MsgWaitForMultipleObjectsEx(0, nullptr, ms, QS_SENDMESSAGE, 0);
    MSG msg;
    PeekMessageW(&msg, nullptr, 0, 0, PM_NOREMOVE | PM_QS_SENDMESSAGE);
}

}  // namespace

HRESULT CKIVShlExt::HandOver(HGLOBAL hList, const handover::Record* pRecord)
{
    const UINT listFormat = RegisterClipboardFormatW(handover::kListFormat);
    const UINT recordFormat = RegisterClipboardFormatW(handover::kRecordFormat);
    HGLOBAL hRecord = pRecord != nullptr ? handover::NewBlock(pRecord, sizeof *pRecord) : nullptr;
    HRESULT hr = S_OK;
    if (listFormat == 0 || recordFormat == 0) hr = LastErrorResult();
    else if (pRecord != nullptr && hRecord == nullptr) hr = E_OUTOFMEMORY;

    // Every list waits, also one that no program will take: written, it
    // would replace the earlier one before that is taken.
    const ULONGLONG start = GetTickCount64();
    while (SUCCEEDED(hr)) {
        bool waiting = false;
        if (OpenClipboard(nullptr)) {
            waiting = EarlierListWaiting(listFormat, recordFormat);
            if (!waiting) {
                EmptyClipboard();
                if (SetClipboardData(listFormat, hList) == nullptr) {
                    hr = LastErrorResult();
                } else {
                    hList = nullptr;  // the clipboard's now
                    // A list without its record would not be waited for:
                    // the next command could replace it before it is taken.
                    if (hRecord != nullptr) {
                        if (SetClipboardData(recordFormat, hRecord) != nullptr) {
                            hRecord = nullptr;
                        } else {
                            hr = LastErrorResult();
                            EmptyClipboard();
                        }
                    }
                }
                CloseClipboard();
                break;
            }
            CloseClipboard();
        }
        if (GetTickCount64() - start >= HANDOVER_WAIT_MS) {
            hr = waiting ? KIV_E_EARLIER_LIST_WAITING : KIV_E_CLIPBOARD_HELD;
            break;
        }
        Pause(kPauseMs);
    }
    if (hList != nullptr) GlobalFree(hList);
    if (hRecord != nullptr) GlobalFree(hRecord);
    return hr;
}

void CKIVShlExt::StartProgram(const WCHAR* params, handover::Record& record)
{
    SHELLEXECUTEINFOW sei = {};
    sei.cbSize = sizeof sei;
    sei.fMask = SEE_MASK_NOCLOSEPROCESS | SEE_MASK_FLAG_NO_UI;
    sei.lpVerb = L"open";
    sei.lpFile = m_szProgram;
    sei.lpParameters = params;
    sei.nShow = SW_SHOWNORMAL;
    const bool started = ShellExecuteExW(&sei) != FALSE;
    if (started && sei.hProcess != nullptr) {
        record.pid = GetProcessId(sei.hProcess);
        FILETIME exited, kernel, user;
        if (record.pid == 0 || !GetProcessTimes(sei.hProcess, &record.started, &exited, &kernel, &user))
            record.pid = 0;
    }
    // Started without a process to name, the list's age alone bounds the
    // wait of the commands after it.
    if (!started || record.pid != 0) {
        const UINT listFormat = RegisterClipboardFormatW(handover::kListFormat);
        const UINT recordFormat = RegisterClipboardFormatW(handover::kRecordFormat);
        if (listFormat != 0 && recordFormat != 0 && handover::OpenClipboardWithin(kNoteWaitMs)) {
            // Only while the list is still the one written here and waiting:
            // the program may have taken it already.
            if (StillWaiting(listFormat, recordFormat, record)) {
                if (!started) {
                    // No program will take it: not left for later commands to wait for.
                    handover::MarkTaken(listFormat);
                } else {
                    HGLOBAL h = handover::NewBlock(&record, sizeof record);
                    if (h != nullptr && SetClipboardData(recordFormat, h) == nullptr) GlobalFree(h);
                }
            }
            CloseClipboard();
        }
    }
    if (sei.hProcess != nullptr) CloseHandle(sei.hProcess);
}
