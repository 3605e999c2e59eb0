#include "fileops/ProgressDlg.h"
#include "fileops/PathFunctions.h"
#include "fileops/TaskMessage.h"

IMPLEMENT_DYNAMIC(CProgressDlg, CDialog)

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
    m_stcFileName.SetWindowText(GetFileNamePart(strSrc));
    CString strLine;
    strLine.Format(L"%s '%s' %s '%s'", (LPCWSTR)TaskString(175), (LPCWSTR)GetFileNamePart(GetFolderPart(strSrc)),
                   (LPCWSTR)TaskString(176), (LPCWSTR)GetFileNamePart(GetFolderPart(strDst)));
    m_stcFromTo.SetWindowText(strLine);
    return 0;
}

LRESULT CProgressDlg::OnProgressDone(WPARAM wParam, LPARAM) {
    if (m_bModal)
        EndDialog(wParam ? IDOK : IDCANCEL);
    else
        DestroyWindow();
    return 0;
}
