// The common controls the program uses, as thin wrappers.
#pragma once
#include "Wnd.h"

class CStatic : public CWnd {
    DECLARE_DYNAMIC(CStatic)
public:
    BOOL Create(LPCTSTR lpszText, DWORD dwStyle, const RECT& rect, CWnd* pParentWnd,
                UINT nID = 0xffff) {
        return CWnd::Create(L"STATIC", lpszText, dwStyle, rect, pParentWnd, nID);
    }
};

class CButton : public CWnd {
    DECLARE_DYNAMIC(CButton)
public:
    BOOL Create(LPCTSTR lpszCaption, DWORD dwStyle, const RECT& rect, CWnd* pParentWnd, UINT nID) {
        return CWnd::Create(L"BUTTON", lpszCaption, dwStyle, rect, pParentWnd, nID);
    }
    int GetCheck() const { return (int)SendMessage(BM_GETCHECK); }
    void SetCheck(int nCheck) { SendMessage(BM_SETCHECK, (WPARAM)nCheck); }
    void SetButtonStyle(UINT nStyle, BOOL bRedraw = TRUE) {
        SendMessage(BM_SETSTYLE, nStyle, (LPARAM)bRedraw);
    }
};

class CEdit : public CWnd {
    DECLARE_DYNAMIC(CEdit)
public:
    BOOL Create(DWORD dwStyle, const RECT& rect, CWnd* pParentWnd, UINT nID) {
        return CWnd::Create(L"EDIT", nullptr, dwStyle, rect, pParentWnd, nID);
    }
    void LimitText(int nChars = 0) { SendMessage(EM_LIMITTEXT, (WPARAM)nChars); }
    void SetLimitText(UINT nMax) { SendMessage(EM_SETLIMITTEXT, nMax); }
    UINT GetLimitText() const { return (UINT)SendMessage(EM_GETLIMITTEXT); }
    void SetSel(int nStartChar, int nEndChar, BOOL bNoScroll = FALSE) {
        SendMessage(EM_SETSEL, (WPARAM)nStartChar, (LPARAM)nEndChar);
        if (!bNoScroll) SendMessage(EM_SCROLLCARET);
    }
    void SetSel(DWORD dwSelection, BOOL bNoScroll = FALSE) {
        SetSel((int)(short)LOWORD(dwSelection), (int)(short)HIWORD(dwSelection), bNoScroll);
    }
    void GetSel(int& nStartChar, int& nEndChar) const {
        DWORD s = 0, e = 0;
        SendMessage(EM_GETSEL, (WPARAM)&s, (LPARAM)&e);
        nStartChar = (int)s;
        nEndChar = (int)e;
    }
    void ReplaceSel(LPCTSTR lpszNewText, BOOL bCanUndo = FALSE) {
        SendMessage(EM_REPLACESEL, (WPARAM)bCanUndo, (LPARAM)lpszNewText);
    }
    void SetPasswordChar(TCHAR ch) { SendMessage(EM_SETPASSWORDCHAR, (WPARAM)ch); }
    BOOL SetReadOnly(BOOL bReadOnly = TRUE) { return (BOOL)SendMessage(EM_SETREADONLY, (WPARAM)bReadOnly); }
};

class CProgressCtrl : public CWnd {
    DECLARE_DYNAMIC(CProgressCtrl)
public:
    BOOL Create(DWORD dwStyle, const RECT& rect, CWnd* pParentWnd, UINT nID) {
        AfxInitCommonControls();
        return CWnd::Create(PROGRESS_CLASSW, nullptr, dwStyle, rect, pParentWnd, nID);
    }
    void SetRange(short nLower, short nUpper) { SendMessage(PBM_SETRANGE, 0, MAKELPARAM(nLower, nUpper)); }
    void SetRange32(int nLower, int nUpper) { SendMessage(PBM_SETRANGE32, (WPARAM)nLower, (LPARAM)nUpper); }
    void GetRange(int& nLower, int& nUpper) const {
        PBRANGE r = {0, 0};
        SendMessage(PBM_GETRANGE, FALSE, (LPARAM)&r);
        nLower = r.iLow;
        nUpper = r.iHigh;
    }
    // Returns the previous position.
    int SetPos(int nPos) { return (int)SendMessage(PBM_SETPOS, (WPARAM)nPos); }
    int GetPos() const { return (int)SendMessage(PBM_GETPOS); }
    int OffsetPos(int nPos) { return (int)SendMessage(PBM_DELTAPOS, (WPARAM)nPos); }
    int SetStep(int nStep) { return (int)SendMessage(PBM_SETSTEP, (WPARAM)nStep); }
    int StepIt() { return (int)SendMessage(PBM_STEPIT); }
};

class CAnimateCtrl : public CWnd {
    DECLARE_DYNAMIC(CAnimateCtrl)
public:
    BOOL Create(DWORD dwStyle, const RECT& rect, CWnd* pParentWnd, UINT nID) {
        AfxInitCommonControls();
        return CWnd::Create(ANIMATE_CLASSW, nullptr, dwStyle, rect, pParentWnd, nID);
    }
    // An AVI resource of the resource module, or an AVI file.
    BOOL Open(UINT nID);
    BOOL Open(LPCTSTR lpszFileName) {
        return (BOOL)SendMessage(ACM_OPENW, 0, (LPARAM)lpszFileName);
    }
    // nRep (UINT)-1 repeats for ever; nTo (UINT)-1 is the last frame.
    BOOL Play(UINT nFrom, UINT nTo, UINT nRep) {
        return (BOOL)SendMessage(ACM_PLAY, (WPARAM)nRep, MAKELPARAM(nFrom, nTo));
    }
    BOOL Stop() { return (BOOL)SendMessage(ACM_STOP); }
    BOOL Close() { return (BOOL)SendMessage(ACM_OPENW, 0, 0); }
    BOOL Seek(UINT nTo) { return (BOOL)SendMessage(ACM_PLAY, 1, MAKELPARAM(nTo, nTo)); }
};
