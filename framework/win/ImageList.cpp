#include "ImageList.h"
#include <memory>
#include <unordered_map>

IMPLEMENT_DYNAMIC(CImageList, CObject)

namespace {

// FromHandle objects of one thread. They only wrap handles that others
// own, so they let go of them before they are freed.
struct TempImageLists {
    std::unordered_map<HIMAGELIST, std::unique_ptr<CImageList>> map;
    ~TempImageLists() {
        for (auto& e : map) e.second->Detach();
    }
};

}  // namespace

CImageList::~CImageList() { DeleteImageList(); }

HIMAGELIST CImageList::GetSafeHandle() const {
    // Called on absent lists on purpose; keep the compiler from assuming 'this'.
    const CImageList* volatile self = this;
    return self ? self->m_hImageList : nullptr;
}

CImageList* CImageList::FromHandle(HIMAGELIST hImageList) {
    if (!hImageList) return nullptr;
    thread_local TempImageLists temps;
    std::unique_ptr<CImageList>& p = temps.map[hImageList];
    if (!p) p.reset(new CImageList);
    p->m_hImageList = hImageList;  // in case a caller detached it
    return p.get();
}

BOOL CImageList::Create(int cx, int cy, UINT nFlags, int nInitial, int nGrow) {
    if (m_hImageList) return FALSE;
    return Attach(ImageList_Create(cx, cy, nFlags, nInitial, nGrow));
}

BOOL CImageList::Attach(HIMAGELIST hImageList) {
    if (!hImageList || m_hImageList) return FALSE;
    m_hImageList = hImageList;
    return TRUE;
}

HIMAGELIST CImageList::Detach() {
    HIMAGELIST h = m_hImageList;
    m_hImageList = nullptr;
    return h;
}

BOOL CImageList::DeleteImageList() {
    if (!m_hImageList) return FALSE;
    return ImageList_Destroy(Detach());
}
