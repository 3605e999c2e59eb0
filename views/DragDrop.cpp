#include "DragDrop.h"
#include "app/MainFrame.h"
#include "fileops/FileTask.h"
#include "fileops/PathFunctions.h"
#include "fileops/TaskThread.h"
#include <shlobj.h>
#include <ctime>
#include <new>

const CLIPFORMAT g_cfDragTag = (CLIPFORMAT)::RegisterClipboardFormatW(L"Brivon_Compression_Explorer");

CString MakeDragFolderName(__time64_t t) {
    struct tm local = {};
    if (_localtime64_s(&local, &t) != 0) AfxThrowInvalidArgException();
    WCHAR buf[64] = {0};
    size_t n = wcsftime(buf, 64, L"\\KIV\\KIV$%H%M%S\\", &local);
    return n ? CString(buf) : CString();
}

std::vector<BYTE> BuildDropFilesBlock(const std::vector<CString>& paths) {
    size_t s = 0;
    for (const CString& p : paths) s += 2 * (size_t)p.GetLength() + 2;
    size_t size = ((s + 21) / 32 + 1) * 32;
    std::vector<BYTE> block(size, 0);
    DROPFILES* df = (DROPFILES*)block.data();
    df->pFiles = sizeof(DROPFILES);
    df->fWide = TRUE;
    BYTE* at = block.data() + sizeof(DROPFILES);
    for (const CString& p : paths) {
        memcpy(at, (LPCWSTR)p, 2 * (size_t)p.GetLength());
        at += 2 * (size_t)p.GetLength() + 2;
    }
    return block;
}

BOOL ListDropPaths(const std::vector<CString>& targets, std::vector<CString>& paths, CString& strClash) {
    std::vector<CString> archives, plain;
    for (const CString& t : targets) {
        if (IsKvfFile(t)) archives.push_back(DecompressedPath(t));
        else plain.push_back(t);
    }
    // Names are compared as the file system compares them, without case:
    // A.txt and the restored a.txt would be one file in the drag folder.
    for (const CString& p : plain) {
        for (const CString& a : archives) {
            if (::CompareStringOrdinal(a, a.GetLength(), p, p.GetLength(), TRUE) == CSTR_EQUAL) {
                strClash = p;
                return FALSE;
            }
        }
        archives.push_back(p);
    }
    paths = archives;
    return TRUE;
}

void CKivDropSource::AddSourceMap(const CString& strSource, const CString& strTarget) {
    m_arrSourceMap.push_back(SourceMap{strSource, strTarget});
}

STDMETHODIMP CKivDropSource::QueryContinueDrag(BOOL bEscapePressed, DWORD dwKeyState) {
    if (bEscapePressed) return DRAGDROP_S_CANCEL;
    if (dwKeyState & MK_LBUTTON) return S_OK;
    // Released over a place that takes nothing: no file work.
    if (!(m_dwLastEffect & (DROPEFFECT_COPY | DROPEFFECT_MOVE))) return DRAGDROP_S_DROP;
    CFileTaskThread* pBatch = new (std::nothrow) CFileTaskThread;
    if (!pBatch) return DRAGDROP_S_CANCEL;
    // Each pair's target keeps the item's own name: the file handler takes
    // ".kvf" off an archive's, and a folder is restored under the name the
    // drop was offered (ListDropPaths).
    for (const SourceMap& m : m_arrSourceMap) {
        DWORD dwAttrs = ::GetFileAttributesW(AfxExactPathForm(m.first));
        BOOL bFolder = dwAttrs != INVALID_FILE_ATTRIBUTES && (dwAttrs & FILE_ATTRIBUTE_DIRECTORY);
        pBatch->AddTask(m.first, DecompressTargetBeside(m.second, bFolder), TASK_DECOMPRESS);
    }
    HCURSOR hOld = ::SetCursor(::LoadCursorW(nullptr, IDC_WAIT));
    // The main frame owns the batch and deletes it when its worker reports
    // the end; it also holds its exit until then.
    CWnd* pMain = AfxGetMainWnd();
    if (pMain && pMain->IsKindOf(RUNTIME_CLASS(CMainFrame))) static_cast<CMainFrame*>(pMain)->StartBatch(pBatch, TRUE);
    else pBatch->Start(TRUE);
    ::SetCursor(hOld);
    return DRAGDROP_S_DROP;
}

STDMETHODIMP CKivDropSource::GiveFeedback(DWORD dropEffect) {
    m_dwLastEffect = dropEffect;
    return COleDropSource::GiveFeedback(dropEffect);
}

STDMETHODIMP COleDataSourceEx::SetData(FORMATETC* pFormat, STGMEDIUM* pMedium, BOOL fRelease) {
    HRESULT hr = COleDataSource::SetData(pFormat, pMedium, fRelease);
    if (hr != DV_E_FORMATETC) return hr;
    STGMEDIUM kept = *pMedium;
    if (!fRelease) {
        // The caller keeps its medium: a global block is copied, others refused.
        if (pMedium->tymed != TYMED_HGLOBAL) return DV_E_TYMED;
        SIZE_T n = ::GlobalSize(pMedium->hGlobal);
        HGLOBAL copy = ::GlobalAlloc(GMEM_MOVEABLE, n ? n : 1);
        void* from = ::GlobalLock(pMedium->hGlobal);
        void* to = copy ? ::GlobalLock(copy) : nullptr;
        if (from && to) memcpy(to, from, n);
        if (to) ::GlobalUnlock(copy);
        if (from) ::GlobalUnlock(pMedium->hGlobal);
        if (!copy) return E_OUTOFMEMORY;
        kept.hGlobal = copy;
        kept.pUnkForRelease = nullptr;
    }
    CacheData(pFormat->cfFormat, &kept, pFormat);
    return S_OK;
}
