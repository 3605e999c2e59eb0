#include "Gdi.h"
#include "ThreadState.h"

IMPLEMENT_DYNAMIC(CGdiObject, CObject)
IMPLEMENT_DYNAMIC(CFont, CGdiObject)

struct AfxGdiInternals {
    static void DeleteTemporary(CGdiObject* p) {
        p->m_hObject = nullptr;
        delete p;
    }
    static void MarkTemporary(CGdiObject* p) { p->m_bTemporary = TRUE; }
};

void AfxDeleteTempGdiMap(AfxThreadState* st) {
    std::unordered_map<HGDIOBJ, CGdiObject*> objs;
    objs.swap(st->tempGdi);
    for (auto& e : objs) AfxGdiInternals::DeleteTemporary(e.second);
}

CGdiObject::~CGdiObject() {
    if (!m_bTemporary) DeleteObject();
}

HGDIOBJ CGdiObject::GetSafeHandle() const {
    const CGdiObject* volatile self = this;
    return self ? self->m_hObject : nullptr;
}

BOOL CGdiObject::Attach(HGDIOBJ hObject) {
    if (!hObject || m_hObject) return FALSE;
    m_hObject = hObject;
    return TRUE;
}

HGDIOBJ CGdiObject::Detach() {
    HGDIOBJ h = m_hObject;
    m_hObject = nullptr;
    return h;
}

BOOL CGdiObject::DeleteObject() {
    if (!m_hObject) return FALSE;
    HGDIOBJ h = Detach();
    return ::DeleteObject(h);
}

CFont* CFont::FromHandle(HFONT hFont) {
    if (!hFont) return nullptr;
    AfxThreadState* st = AfxGetThreadState();
    auto it = st->tempGdi.find(hFont);
    if (it != st->tempGdi.end()) return static_cast<CFont*>(it->second);
    CFont* p = new CFont;
    p->m_hObject = hFont;
    AfxGdiInternals::MarkTemporary(p);
    st->tempGdi[hFont] = p;
    return p;
}

BOOL CFont::CreateFontIndirect(const LOGFONT* lpLogFont) {
    return Attach(::CreateFontIndirectW(lpLogFont));
}

BOOL CFont::CreatePointFont(int nPointSize, LPCTSTR lpszFaceName) {
    LOGFONTW lf = {};
    lf.lfCharSet = DEFAULT_CHARSET;
    HDC dc = ::GetDC(nullptr);
    lf.lfHeight = -::MulDiv(nPointSize, ::GetDeviceCaps(dc, LOGPIXELSY), 720);
    ::ReleaseDC(nullptr, dc);
    if (lpszFaceName) lstrcpynW(lf.lfFaceName, lpszFaceName, LF_FACESIZE);
    return CreateFontIndirect(&lf);
}

int CFont::GetLogFont(LOGFONT* pLogFont) const {
    return ::GetObjectW(m_hObject, sizeof(LOGFONTW), pLogFont);
}
