// The shell extension's commands: the path list it leaves on the clipboard,
// and the compress or decompress batch run over it without a main window.
#include "KIVApp.h"
#include "fileops/FileTask.h"
#include "fileops/PathFunctions.h"
#include "fileops/TaskThread.h"
#include "shellext/ListHandOver.h"
#include <algorithm>
#include <new>

namespace {
const UINT kMaxPathUnits = 520;  // the writer's limit
const DWORD kClipboardWaitMs = 1000;
static_assert(handover::kCommandCompress == SHELL_LIST_COMPRESS && handover::kCommandUncompress == SHELL_LIST_UNCOMPRESS,
              "a hand-over record names its command by the list mode");
}  // namespace

void CKIVApp::TakeShellList() {
    CString cmdLine(m_lpCmdLine ? m_lpCmdLine : L"");
    if (cmdLine.Left(2) == L"-g") return;
    CCommandLineInfo cmdInfo;
    ParseCommandLine(cmdInfo);
    if (cmdInfo.m_strFileName == L"compress") ReadShellList(SHELL_LIST_COMPRESS);
    else if (cmdInfo.m_strFileName == L"uncompress") ReadShellList(SHELL_LIST_UNCOMPRESS);
    else return;
    m_bShellListTaken = TRUE;
}

void CKIVApp::ReadShellList(ShellListMode mode) {
    FreeShellList();
    UINT fmt = RegisterClipboardFormatW(handover::kListFormat);
    UINT recordFmt = RegisterClipboardFormatW(handover::kRecordFormat);
    // Another program may hold the clipboard for a moment; a list not read
    // now is lost to this run.
    if (!fmt || !handover::OpenClipboardWithin(kClipboardWaitMs)) return;
    HGLOBAL hData = GetClipboardData(fmt);
    const WORD* u = hData ? (const WORD*)GlobalLock(hData) : nullptr;
    BOOL bRead = FALSE;
    if (u) {
        bRead = ParseShellList(u, GlobalSize(hData) / sizeof(WORD), mode);
        GlobalUnlock(hData);
    }
    if (bRead) {
        // A list chosen for the other command is left for its own program
        // (a compress would otherwise get archives). Without its record
        // (another writer's list) it is taken as it is.
        handover::Record record;
        if (recordFmt && handover::RecordOfList(GetClipboardData(recordFmt), hData, record) &&
            record.command != (DWORD)mode)
            FreeShellList();
        else
            handover::MarkTaken(fmt);
    }
    CloseClipboard();
}

BOOL CKIVApp::ParseShellList(const WORD* u, size_t nUnits, ShellListMode mode) {
    FreeShellList();
    // Any program can put data under the format: every read stays inside the
    // block, and a list with any entry out of bounds is refused whole.
    if (nUnits < 6) return FALSE;
    m_nShellHeader = (UINT)u[0] + ((UINT)u[1] << 8) + ((UINT)u[2] << 16) + ((UINT)u[3] << 24);
    UINT count = (UINT)u[4] + (UINT)u[5] * 256;
    if (count == 0) return FALSE;
    // Every entry takes at least three units, so a count beyond that is forged.
    if (count > (nUnits - 6) / 3) return FALSE;
    m_ppShellSources = new (std::nothrow) LPWSTR[count]();
    m_ppShellTargets = new (std::nothrow) LPWSTR[count]();
    if (!m_ppShellSources || !m_ppShellTargets) {
        FreeShellList();
        return FALSE;
    }
    m_nShellCount = count;
    size_t pos = 6;
    for (UINT i = 0; i < count; ++i) {
        if (pos + 2 > nUnits) break;
        UINT len = (UINT)u[pos] + (UINT)u[pos + 1] * 256;
        if (len == 0 || len > kMaxPathUnits || pos + 2 + len > nUnits) break;
        const WORD* first = u + pos + 2;
        if (std::find(first, first + len, (WORD)0) != first + len) break;
        CString source((LPCWSTR)first, (int)len);
        if (!IsFullPath(source)) break;
        // The handlers name what they write: compress adds ".kvf" to its
        // target, decompress takes one off (a folder is adjusted when the
        // batch is made, see RunShellBatch).
        CString target = source;
        m_ppShellSources[i] = new (std::nothrow) WCHAR[len + 1]();
        m_ppShellTargets[i] = new (std::nothrow) WCHAR[(size_t)target.GetLength() + 1]();
        if (!m_ppShellSources[i] || !m_ppShellTargets[i]) break;
        memcpy(m_ppShellSources[i], (LPCWSTR)source, len * sizeof(WCHAR));
        memcpy(m_ppShellTargets[i], (LPCWSTR)target, (size_t)target.GetLength() * sizeof(WCHAR));
        pos += 2 + len;
        if (i + 1 == count) return TRUE;
    }
    FreeShellList();
    return FALSE;
}

void CKIVApp::FreeShellList() {
    for (UINT i = 0; i < m_nShellCount; ++i) {
        if (m_ppShellSources) delete[] m_ppShellSources[i];
        if (m_ppShellTargets) delete[] m_ppShellTargets[i];
    }
    delete[] m_ppShellSources;
    delete[] m_ppShellTargets;
    m_ppShellSources = nullptr;
    m_ppShellTargets = nullptr;
    m_nShellCount = 0;
}

void CKIVApp::RunShellBatch(ShellListMode mode) {
    if (!m_bShellListTaken) ReadShellList(mode);
    m_bShellListTaken = FALSE;
    CFileTaskThread* pBatch = nullptr;
    for (UINT i = 0; i < m_nShellCount; ++i) {
        // Only archives are decompressed; anything else in the list stays.
        if (mode == SHELL_LIST_UNCOMPRESS && !IsKvfFile(m_ppShellSources[i])) continue;
        if (!pBatch) pBatch = new (std::nothrow) CFileTaskThread;
        if (!pBatch) break;
        if (mode == SHELL_LIST_UNCOMPRESS) {
            DWORD dwAttrs = GetFileAttributesW(AfxExactPathForm(m_ppShellSources[i]));
            BOOL bFolder = dwAttrs != INVALID_FILE_ATTRIBUTES && (dwAttrs & FILE_ATTRIBUTE_DIRECTORY);
            pBatch->AddTask(m_ppShellSources[i], DecompressTargetBeside(m_ppShellSources[i], bFolder), TASK_DECOMPRESS);
        } else {
            pBatch->AddTask(m_ppShellSources[i], m_ppShellTargets[i], TASK_COMPRESS);
        }
    }
    // No callback: the sources stay where they are.
    if (pBatch) {
        pBatch->Start(TRUE);
        delete pBatch;
    }
    FreeShellList();
}

void CKIVApp::OnShellCompress() { RunShellBatch(SHELL_LIST_COMPRESS); }

void CKIVApp::OnShellUncompress() { RunShellBatch(SHELL_LIST_UNCOMPRESS); }
