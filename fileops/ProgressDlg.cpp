#include "fileops/ProgressDlg.h"
#include "fileops/PathFunctions.h"
#include "fileops/TaskMessage.h"

IMPLEMENT_DYNAMIC(CProgressDlg, CDialog)

namespace {

// The text with its middle given up for "...", keeping nKeep characters:
// the start and, one more, the end, where a file's extension is.
CString ShortenMiddle(const CString& strText, int nKeep) {
    if (strText.GetLength() <= nKeep) return strText;
    int nHead = nKeep / 2;
    return strText.Left(nHead) + L"..." + strText.Right(nKeep - nHead);
}

// Whether the text fits on the control's one line in the control's font.
class CLineFit {
public:
    explicit CLineFit(CWnd& wnd) : m_hWnd(wnd.GetSafeHwnd()), m_hDC(::GetDC(m_hWnd)) {
        RECT rc = {};
        ::GetClientRect(m_hWnd, &rc);
        m_nWidth = rc.right - rc.left;
        HFONT hFont = (HFONT)::SendMessageW(m_hWnd, WM_GETFONT, 0, 0);
        m_hOldFont = m_hDC && hFont ? ::SelectObject(m_hDC, hFont) : nullptr;
    }
    ~CLineFit() {
        if (!m_hDC) return;
        if (m_hOldFont) ::SelectObject(m_hDC, m_hOldFont);
        ::ReleaseDC(m_hWnd, m_hDC);
    }
    BOOL Fits(const CString& strText) const {
        SIZE size = {};
        if (!m_hDC || !::GetTextExtentPoint32W(m_hDC, strText, strText.GetLength(), &size)) return TRUE;
        return size.cx <= m_nWidth;
    }

private:
    HWND m_hWnd;
    HDC m_hDC;
    HGDIOBJ m_hOldFont;
    int m_nWidth;
};

}  // namespace

BEGIN_MESSAGE_MAP(CProgressDlg, CDialog)
    ON_MESSAGE(WM_TASK_PROGRESS, &CProgressDlg::OnProgressAdvance)
    ON_MESSAGE(WM_TASK_NAMES, &CProgressDlg::OnProgressNames)
    ON_MESSAGE(WM_TASK_DONE, &CProgressDlg::OnProgressDone)
END_MESSAGE_MAP()

CProgressDlg::CProgressDlg() : CProgressDlg(nullptr) {}

CProgressDlg::CProgressDlg(volatile BOOL* pbCancel)
    : CDialog(IDD, nullptr), m_nTotal(0), m_nDone(0), m_bModal(FALSE), m_pbCancel(pbCancel) {
    // The template holds a progress bar: its class must exist before the
    // window is made, also in a run that has not set up the controls yet.
    AfxInitCommonControls();
}

CProgressDlg::~CProgressDlg() {}

INT_PTR CProgressDlg::DoModal() {
    m_bModal = TRUE;
    return CDialog::DoModal();
}

void CProgressDlg::DoDataExchange(CDataExchange* pDX) {
    CDialog::DoDataExchange(pDX);
    DDX_Control(pDX, IDC_PROGRESS, m_ctlProgress);
    DDX_Control(pDX, IDC_FILENAME, m_stcFileName);
    DDX_Control(pDX, IDC_FROMTO, m_stcFromTo);
}

BOOL CProgressDlg::OnInitDialog() {
    CDialog::OnInitDialog();

    // The animation is decoration only: when it cannot be made or opened,
    // the dialog still gets its bar range, its place and its caption.
    RECT rcAnim = {50, 0, 120, 120};
    if (m_ctlAnimate.Create(WS_CHILD | WS_VISIBLE | ACS_TRANSPARENT | ACS_AUTOPLAY, rcAnim, this, IDC_ANIMATE))
        m_ctlAnimate.Open((UINT)IDR_ANIMATION);

    m_ctlProgress.SetRange(0, 100);
    m_ctlProgress.SetPos(0);

    // Near the top-left corner of the window it belongs to, but always
    // wholly on the desktop.
    RECT rcDesk, rcParent, rcDlg;
    CWnd::GetDesktopWindow()->GetWindowRect(&rcDesk);
    GetTopLevelParent()->GetWindowRect(&rcParent);
    GetWindowRect(&rcDlg);
    int w = rcDlg.right - rcDlg.left;
    int h = rcDlg.bottom - rcDlg.top;
    int x = rcParent.left + 30;
    if (x < 0) x = 0;
    if (x + w >= rcDesk.right) x = rcDesk.right - w;
    int y = rcParent.top + 80;
    if (y < 0) y = 0;
    if (y + h >= rcDesk.bottom) y = rcDesk.bottom - h;
    MoveWindow(x, y, w, h, TRUE);

    SetWindowText(m_strTitle);

    m_bInitDone = TRUE;
    if (m_pfnReady) m_pfnReady(m_pReadyContext, m_hWnd);
    return TRUE;
}

void CProgressDlg::OnCancel() {
    if (m_pbCancel) *m_pbCancel = 1;
    if (m_bModal)
        CDialog::OnCancel();
    else
        DestroyWindow();
}

void CProgressDlg::OnOK() {}

void CProgressDlg::PostNcDestroy() {
    CDialog::PostNcDestroy();
    if (!m_bModal && m_bInitDone) delete this;
}

LRESULT CProgressDlg::OnProgressAdvance(WPARAM wParam, LPARAM lParam) {
    m_nDone += ((ULONGLONG)(DWORD)wParam << 32) | (ULONGLONG)(DWORD)lParam;
    // A batch of empty or vanished sources has nothing to measure against:
    // its bar stays at 0 (and a modeless dialog stays hidden).
    ULONGLONG nPos = m_nTotal ? m_nDone * 100 / m_nTotal : 0;
    m_ctlProgress.SetPos((int)(nPos > 100 ? 100 : nPos));
    if (nPos > 0) ShowWindow(SW_SHOW);
    return 0;
}

LRESULT CProgressDlg::OnProgressNames(WPARAM, LPARAM) {
    CString strSrc, strDst;
    GetProgressNames(strSrc, strDst);
    // A name too long for its line would wrap out of sight (leaving only
    // "From" of the second line): each is shortened in its middle instead,
    // so its start and its end, the extension, stay readable.
    CString strName = GetFileNamePart(strSrc);
    {
        CLineFit fit(m_stcFileName);
        for (int nKeep = strName.GetLength(); nKeep > 2; --nKeep) {
            if (fit.Fits(ShortenMiddle(strName, nKeep))) {
                strName = ShortenMiddle(strName, nKeep);
                break;
            }
        }
    }
    m_stcFileName.SetWindowText(strName);

    CString strFrom = GetFileNamePart(GetFolderPart(strSrc)), strTo = GetFileNamePart(GetFolderPart(strDst));
    auto line = [&](int nKeep) {
        CString strLine;
        strLine.Format(L"%s '%s' %s '%s'", (LPCWSTR)TaskString(175), (LPCWSTR)ShortenMiddle(strFrom, nKeep),
                       (LPCWSTR)TaskString(176), (LPCWSTR)ShortenMiddle(strTo, nKeep));
        return strLine;
    };
    int nKeep = strFrom.GetLength() > strTo.GetLength() ? strFrom.GetLength() : strTo.GetLength();
    {
        CLineFit fit(m_stcFromTo);
        while (nKeep > 2 && !fit.Fits(line(nKeep))) --nKeep;
    }
    m_stcFromTo.SetWindowText(line(nKeep));
    return 0;
}

LRESULT CProgressDlg::OnProgressDone(WPARAM wParam, LPARAM) {
    if (m_bModal)
        EndDialog(wParam ? IDOK : IDCANCEL);
    else
        DestroyWindow();
    return 0;
}
