#include "views/DroppedFiles.h"
#include <shlobj.h>

BOOL ReadDroppedFiles(HGLOBAL hDrop, std::vector<CString>& paths) {
    paths.clear();
    if (!hDrop) return FALSE;
    SIZE_T nSize = ::GlobalSize(hDrop);
    if (nSize < sizeof(DROPFILES)) return FALSE;
    const BYTE* p = (const BYTE*)::GlobalLock(hDrop);
    if (!p) return FALSE;
    const DROPFILES* pdf = (const DROPFILES*)p;
    const SIZE_T nUnit = pdf->fWide ? sizeof(WCHAR) : 1;
    BOOL bEnded = FALSE;
    std::vector<CString> found;
    SIZE_T nAt = pdf->pFiles;
    if (nAt >= sizeof(DROPFILES)) {
        while (nAt <= nSize && nSize - nAt >= nUnit) {
            // One name: its units up to a zero unit that lies inside the block.
            SIZE_T nEnd = nAt;
            BOOL bZero = FALSE;
            for (; nSize - nEnd >= nUnit; nEnd += nUnit) {
                bZero = nUnit == 1 ? p[nEnd] == 0 : (p[nEnd] == 0 && p[nEnd + 1] == 0);
                if (bZero) break;
            }
            if (!bZero) break;  // runs to the block's end
            if (nEnd == nAt) {  // an empty name ends the list
                bEnded = TRUE;
                break;
            }
            SIZE_T nUnits = (nEnd - nAt) / nUnit;
            if (nUnit == 1) {
                // Narrow names in the system's code page, as the shell reads them.
                int n = ::MultiByteToWideChar(CP_ACP, 0, (LPCSTR)(p + nAt), (int)nUnits, nullptr, 0);
                std::vector<WCHAR> wide((size_t)(n > 0 ? n : 0) + 1, 0);
                if (n > 0) ::MultiByteToWideChar(CP_ACP, 0, (LPCSTR)(p + nAt), (int)nUnits, wide.data(), n);
                found.push_back(CString(wide.data(), n > 0 ? n : 0));
            } else {
                std::vector<WCHAR> wide(nUnits + 1, 0);
                memcpy(wide.data(), p + nAt, nUnits * sizeof(WCHAR));
                found.push_back(CString(wide.data(), (int)nUnits));
            }
            nAt = nEnd + nUnit;
        }
    }
    ::GlobalUnlock(hDrop);
    if (!bEnded) return FALSE;
    paths.swap(found);
    return TRUE;
}
