// Dragging files out of the file list: the data offered (a dropped-file list
// of paths in a fresh temporary drag folder, tagged as the list's own), and
// the drop source that fills that folder at the moment of the drop.
#pragma once
#include "framework/Win.h"
#include "SourceMap.h"
#include <vector>

// The tag format "Brivon_Compression_Explorer": every drag out of the list
// carries a 4-byte block under it, and the list refuses drops that do.
extern const CLIPFORMAT g_cfDragTag;

// The local time formatted "\KIV\KIV$%H%M%S\" (the drag folder below the
// temporary folder); empty when it cannot be formatted.
CString MakeDragFolderName(__time64_t t);

// The dropped-file block (DROPFILES and the wide paths, each terminated,
// then one more zero) in the size the shell's readers expect: a multiple of
// 32 bytes with room for everything.
std::vector<BYTE> BuildDropFilesBlock(const std::vector<CString>& paths);

// The paths a drag offers for these drag-folder targets: archives under the
// name they will have once decompressed, first, then the other files. FALSE
// when a file and its own archive are dragged together (their paths would
// clash; names compared without case, as the file system compares them);
// the clashing path is then in strClash.
BOOL ListDropPaths(const std::vector<CString>& targets, std::vector<CString>& paths, CString& strClash);

class CKivDropSource : public COleDropSource {
public:
    CKivDropSource() : m_dwLastEffect(DROPEFFECT_NONE) {}
    void AddSourceMap(const CString& strSource, const CString& strTarget);

    // At the drop, when the target takes the data, every dragged item is
    // decompressed (an archive) or copied into the drag folder by a modal
    // batch, so that the offered paths exist when the target reads them.
    STDMETHODIMP QueryContinueDrag(BOOL bEscapePressed, DWORD dwKeyState) override;
    STDMETHODIMP GiveFeedback(DWORD dropEffect) override;

    std::vector<SourceMap> m_arrSourceMap;  // the item on the drive, its copy in the drag folder
    DWORD m_dwLastEffect;                   // the effect last shown
};

// The data of a drag out: it also keeps data of any format another party
// sets on it (the shell's drag image).
class COleDataSourceEx : public COleDataSource {
public:
    STDMETHODIMP SetData(FORMATETC* pFormat, STGMEDIUM* pMedium, BOOL fRelease) override;

protected:
    ~COleDataSourceEx() override {}
};
