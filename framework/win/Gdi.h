// CGdiObject and CFont: just what SetFont/GetFont and the run-time controls need.
#pragma once
#include "../Afx.h"

class CGdiObject : public CObject {
    DECLARE_DYNAMIC(CGdiObject)
public:
    CGdiObject() : m_hObject(nullptr), m_bTemporary(FALSE) {}
    ~CGdiObject() override;  // deletes an attached object
    HGDIOBJ m_hObject;
    HGDIOBJ GetSafeHandle() const;
    BOOL Attach(HGDIOBJ hObject);
    HGDIOBJ Detach();
    BOOL DeleteObject();

protected:
    friend struct AfxGdiInternals;
    BOOL m_bTemporary;  // made by FromHandle: never deletes the handle
};

class CFont : public CGdiObject {
    DECLARE_DYNAMIC(CFont)
public:
    CFont() {}
    operator HFONT() const { return (HFONT)GetSafeHandle(); }
    // A temporary object for this thread; NULL for a NULL handle.
    static CFont* FromHandle(HFONT hFont);
    BOOL CreateFontIndirect(const LOGFONT* lpLogFont);
    // nPointSize in tenths of a point, for the screen.
    BOOL CreatePointFont(int nPointSize, LPCTSTR lpszFaceName);
    int GetLogFont(LOGFONT* pLogFont) const;
};
