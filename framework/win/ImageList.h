// CImageList: an image-list handle with the framework's members.
#pragma once
#include "../Afx.h"
#include <commctrl.h>

class CImageList : public CObject {
    DECLARE_DYNAMIC(CImageList)
public:
    CImageList() : m_hImageList(nullptr) {}
    // Destroys a list still attached: a holder of a list it does not own
    // (the system image lists) must Detach it first.
    ~CImageList() override;

    HIMAGELIST m_hImageList;
    operator HIMAGELIST() const { return m_hImageList; }
    // Also safe on a null pointer: NULL then.
    HIMAGELIST GetSafeHandle() const;

    // An object for this thread that never destroys the list; it lives
    // until the thread ends (one per handle). NULL for a NULL handle.
    static CImageList* FromHandle(HIMAGELIST hImageList);

    // Fails when a list is attached already.
    BOOL Create(int cx, int cy, UINT nFlags, int nInitial, int nGrow);
    BOOL Attach(HIMAGELIST hImageList);
    HIMAGELIST Detach();
    BOOL DeleteImageList();

    // The new image's index, or -1.
    int Add(HICON hIcon) { return ImageList_AddIcon(m_hImageList, hIcon); }
    int GetImageCount() const { return ImageList_GetImageCount(m_hImageList); }
};
