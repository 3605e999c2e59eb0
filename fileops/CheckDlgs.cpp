#include "fileops/CheckDlgs.h"
#include "fileops/PathFunctions.h"
#include "fileops/TaskMessage.h"

BOOL GetFileCheckInfo(LPCTSTR lpszPath, CFileCheckInfo& out) {
    CFileStatus status;
    if (!CFile::GetStatus(lpszPath, status)) return FALSE;
    out.m_strName = GetFileNamePart(CString(lpszPath));
    out.m_nSize = status.m_size;
    out.m_bAttribute = status.m_attribute;
    out.m_mtime = status.m_mtime.GetTime();
    return TRUE;
}

namespace {
// The time in the user's own date and time format.
CString DateText(LONGLONG t) {
    struct tm tmLocal = {};
    CTime(t).GetLocalTm(&tmLocal);
    COleDateTime dt(tmLocal.tm_year + 1900, tmLocal.tm_mon + 1, tmLocal.tm_mday, tmLocal.tm_hour, tmLocal.tm_min,
                    tmLocal.tm_sec);
    return dt.Format(0, LANG_USER_DEFAULT);
}

// In the middle of the desktop and in front, wherever the main window is:
// the question comes from a worker thread.
void CentreInFront(CWnd* pDlg) {
    RECT rcDesk, rcDlg;
    CWnd::GetDesktopWindow()->GetWindowRect(&rcDesk);
    pDlg->GetWindowRect(&rcDlg);
    int w = rcDlg.right - rcDlg.left;
    int h = rcDlg.bottom - rcDlg.top;
    pDlg->MoveWindow((rcDesk.right - rcDesk.left - w) / 2, (rcDesk.bottom - rcDesk.top - h) / 2, w, h, TRUE);
    pDlg->SetForegroundWindow();
}
}  // namespace

BEGIN_MESSAGE_MAP(CFilesCheckDlg, CDialog)
    ON_BN_CLICKED(IDYESTOALL, &CFilesCheckDlg::OnYesToAll)
    ON_BN_CLICKED(IDNO, &CFilesCheckDlg::OnNo)
END_MESSAGE_MAP()

CFilesCheckDlg::CFilesCheckDlg(BOOL bSingle) : CDialog(IDD, nullptr), m_bSingle(bSingle) {}

void CFilesCheckDlg::DoDataExchange(CDataExchange* pDX) {
    CDialog::DoDataExchange(pDX);
    DDX_Control(pDX, IDOK, m_btnYes);
    DDX_Control(pDX, IDYESTOALL, m_btnYesToAll);
    DDX_Control(pDX, IDNO, m_btnNo);
    DDX_Control(pDX, IDCANCEL, m_btnCancel);
    DDX_Control(pDX, IDC_EXISTING, m_stcExisting);
    DDX_Control(pDX, IDC_EXISTING_TIME, m_stcExistingTime);
    DDX_Control(pDX, IDC_NEW_TIME, m_stcNewTime);
}

BOOL CFilesCheckDlg::OnInitDialog() {
    CDialog::OnInitDialog();

    BOOL bReadOnly = (m_existing.m_bAttribute & FILE_ATTRIBUTE_READONLY) != 0;
    m_stcExisting.SetWindowText(TaskString(107) + TaskString(bReadOnly ? 104 : 103) + m_existing.m_strName +
                                TaskString(bReadOnly ? 106 : 105));
    m_stcExistingTime.SetWindowText(TaskString(112) + DateText(m_existing.m_mtime));
    m_stcNewTime.SetWindowText(TaskString(112) + DateText(m_incoming.m_mtime));

    if (m_bSingle) {
        // One item: only Yes and No, at the right where No and Cancel were.
        RECT rcNo, rcCancel;
        m_btnNo.GetWindowRect(&rcNo);
        ScreenToClient(&rcNo);
        m_btnCancel.GetWindowRect(&rcCancel);
        ScreenToClient(&rcCancel);
        m_btnYes.MoveWindow(&rcNo);
        m_btnNo.MoveWindow(&rcCancel);
        m_btnYesToAll.ShowWindow(SW_HIDE);
        m_btnCancel.ShowWindow(SW_HIDE);
    }

    CentreInFront(this);
    return TRUE;
}

void CFilesCheckDlg::OnYesToAll() { EndDialog(IDYESTOALL); }

void CFilesCheckDlg::OnNo() { EndDialog(IDNO); }

BEGIN_MESSAGE_MAP(CDirCheckDlg, CDialog)
    ON_BN_CLICKED(IDYESTOALL, &CDirCheckDlg::OnYesToAll)
    ON_BN_CLICKED(IDNO, &CDirCheckDlg::OnNo)
    ON_STN_CLICKED(IDC_FOLDER, &CDirCheckDlg::OnFolderClicked)
END_MESSAGE_MAP()

CDirCheckDlg::CDirCheckDlg() : CDialog(IDD, nullptr) {}

void CDirCheckDlg::DoDataExchange(CDataExchange* pDX) {
    CDialog::DoDataExchange(pDX);
    DDX_Control(pDX, IDC_FOLDER, m_stcFolder);
}

BOOL CDirCheckDlg::OnInitDialog() {
    CDialog::OnInitDialog();
    m_stcFolder.SetWindowText(TaskString(107) + TaskString(108) + GetFileNamePart(m_strFolder) + TaskString(110));
    CentreInFront(this);
    return TRUE;
}

void CDirCheckDlg::OnYesToAll() { EndDialog(IDYESTOALL); }

void CDirCheckDlg::OnNo() { EndDialog(IDNO); }
