#include "PwdDlg.h"
#include "app/KIVApp.h"
#include "drive/DriveState.h"
#include <cstring>

namespace {
const int kMinLen = 6;
const int kMaxLen = 12;

enum { RC_LABEL_OLD, RC_EDIT_OLD, RC_LABEL_NEW, RC_EDIT_NEW, RC_LABEL_RETYPE, RC_EDIT_RETYPE, RC_OK, RC_CANCEL };

// Hard-coded texts, shown in every interface language.
const WCHAR kTooLong[] = L"\x5BC6\x78BC\x9577\x5EA6\x6700\x591A" L"12" L"\x4F4D\x3002";  // 密碼長度最多12位。
const WCHAR kTooLongChange[] = L"\x5BC6\x78BC\x9577\x5EA6\x6700\x591A" L"12" L"\x4F4D";  // no full stop
const WCHAR kWarning[] = L"\x8B66\x544A";                                               // 警告
const WCHAR kCreateFailed[] =
    L"\x65B0\x589E\x5BC6\x78BC\x932F\x8AA4\xFF0C\x8ACB\x91CD\x65B0\x8F38\x5165\x3002";   // 新增密碼錯誤，請重新輸入。
const WCHAR kError[] = L"\x932F\x8AA4";                                                 // 錯誤

BOOL IsPasswordText(const CString& s) {
    for (int i = 0; i < s.GetLength(); ++i) {
        WCHAR c = s[i];
        if (!((c >= '0' && c <= '9') || (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z'))) return FALSE;
    }
    return TRUE;
}

// The store lets a failed read or write of the password file through as an
// exception (a full or removed drive). Nothing above a message handler
// catches it, so it would end the program: it counts as the call's failure.
template <class Call>
BOOL StoreCall(Call call) {
    try {
        return call();
    } catch (CException* e) {
        e->Delete();
        return FALSE;
    }
}

CString LoadText(UINT nID) {
    CString s;
    s.LoadString(nID);
    return s;
}

// A path or drive folder that begins with a drive letter and its colon.
BOOL NamesDrive(const CString& strPath) {
    if (strPath.GetLength() < 2 || strPath[1] != L':') return FALSE;
    WCHAR c = strPath[0];
    return (c >= L'A' && c <= L'Z') || (c >= L'a' && c <= L'z');
}
}  // namespace

BOOL IsPwdFileMissing(DWORD dwOpenError) {
    switch (dwOpenError) {
    case ERROR_FILE_NOT_FOUND:
    case ERROR_PATH_NOT_FOUND:
    case ERROR_INVALID_DRIVE:
    case ERROR_NOT_READY:
    case ERROR_NO_MEDIA_IN_DRIVE:
    case ERROR_DEV_NOT_EXIST:
    case ERROR_BAD_NETPATH:
    case ERROR_BAD_NET_NAME:
        return TRUE;
    default:
        return FALSE;
    }
}

CString PwdDriveMissingText(const CString& strPath) {
    if (!NamesDrive(strPath)) return LoadText(IDS_INSERT_DRIVE);
    CString strDrive = strPath.Left(2);
    strDrive.MakeUpper();
    CString s;
    s.Format(LoadText(IDS_PWD_DRIVE_MISSING), (LPCTSTR)strDrive);
    return s;
}

CString GetAppPwdFilePath() {
    CKIVApp* pApp = dynamic_cast<CKIVApp*>(AfxGetApp());
    return pApp ? pApp->m_strPwdFile : CString();
}

BEGIN_MESSAGE_MAP(CPwdDlg, CDialog)
    ON_COMMAND(IDOK, &CPwdDlg::OnOKKey)
    ON_COMMAND(IDC_PWD_OK, &CPwdDlg::OnPwdConfirm)
    ON_COMMAND(IDCANCEL, &CPwdDlg::OnIgnoreCancel)
    ON_COMMAND(IDC_PWD_CANCEL, &CPwdDlg::OnCancelButton)
END_MESSAGE_MAP()

CPwdDlg::CPwdDlg(CWnd* pParent)
    : CDialog(IDD_PWD_DLG, pParent), m_nMode(PWD_MODE_LOGIN), m_bSucceeded(FALSE), m_pLabelOld(nullptr),
      m_pLabelNew(nullptr), m_pLabelRetype(nullptr), m_pEditOld(nullptr), m_pEditNew(nullptr),
      m_pEditRetype(nullptr), m_pBtnOK(nullptr), m_pBtnCancel(nullptr) {
    memset(m_rcLayout, 0, sizeof m_rcLayout);
}

CPwdDlg::~CPwdDlg() { DestroyPwdControls(); }

BOOL CPwdDlg::PreparePasswordPath(BOOL bCreateFolder) {
    CString strDrive;
    if (CKIVApp* pApp = dynamic_cast<CKIVApp*>(AfxGetApp())) strDrive = pApp->GetDrivePath();
    // Without its letter a folder names no drive; its first two characters
    // would make a path relative to wherever the process stands.
    if (!NamesDrive(strDrive)) {
        SetLastError(ERROR_BAD_PATHNAME);
        return FALSE;
    }
    CString strPath = strDrive.Left(2) + _T("\\");
    strPath.MakeLower();
    strPath += _T("KIV");
    if (bCreateFolder && GetFileAttributesW(strPath) == INVALID_FILE_ATTRIBUTES && !CreateDirectoryW(strPath, nullptr))
        return FALSE;
    m_strPwdPath = strPath + _T("\\KIV.pwd");
    return TRUE;
}

BOOL CPwdDlg::OnInitDialog() {
    CDialog::OnInitDialog();
    ComputePwdLayout();
    BuildPwdControls();
    return TRUE;
}

void CPwdDlg::ComputePwdLayout() {
    static const RECT kLogin[8] = {{40, 40, 90, 60}, {97, 40, 217, 60}, {}, {}, {}, {},
                                   {48, 79, 112, 103}, {132, 79, 196, 103}};
    static const RECT kCreate[8] = {{}, {}, {25, 20, 115, 40}, {122, 20, 242, 40},
                                    {25, 47, 115, 67}, {122, 47, 242, 67},
                                    {48, 86, 112, 110}, {132, 86, 196, 110}};
    static const RECT kChange[8] = {{25, 10, 115, 30}, {122, 10, 242, 30}, {25, 37, 115, 57},
                                    {122, 37, 242, 57}, {25, 64, 115, 84}, {122, 64, 242, 84},
                                    {48, 98, 112, 122}, {132, 98, 196, 122}};
    memset(m_rcLayout, 0, sizeof m_rcLayout);
    switch (m_nMode) {
    case PWD_MODE_LOGIN: memcpy(m_rcLayout, kLogin, sizeof m_rcLayout); break;
    case PWD_MODE_CREATE: memcpy(m_rcLayout, kCreate, sizeof m_rcLayout); break;
    case PWD_MODE_CHANGE: memcpy(m_rcLayout, kChange, sizeof m_rcLayout); break;
    }
}

CStatic* CPwdDlg::AddLabel(UINT nTextID, LPCTSTR pszSuffix, int nRect) {
    CStatic* p = new CStatic;
    p->Create(LoadText(nTextID) + pszSuffix, WS_CHILD | WS_VISIBLE | WS_GROUP | SS_NOTIFY, m_rcLayout[nRect], this,
              IDC_PWD_LABEL);
    p->SetFont(GetFont(), TRUE);
    return p;
}

CPwdEdit* CPwdDlg::AddBox(UINT nID, int nRect) {
    CPwdEdit* p = new CPwdEdit;
    p->CreateEx(WS_EX_CLIENTEDGE, L"EDIT", nullptr, WS_CHILD | WS_VISIBLE | WS_TABSTOP | ES_PASSWORD | ES_AUTOHSCROLL,
                m_rcLayout[nRect], this, nID);
    p->SetFont(GetFont(), TRUE);
    p->LimitText(kMaxLen);
    return p;
}

CButton* CPwdDlg::AddButton(const CString& strText, UINT nID, int nRect) {
    CButton* p = new CButton;
    p->Create(strText, WS_CHILD | WS_VISIBLE | WS_TABSTOP | BS_PUSHBUTTON, m_rcLayout[nRect], this, nID);
    p->SetFont(GetFont(), TRUE);
    return p;
}

void CPwdDlg::BuildPwdControls() {
    DestroyPwdControls();
    CString strOK = LoadText(IDS_PWD_OK);
    CString strCancel = LoadText(IDS_PWD_CANCEL);
    UINT nCaption = 0;
    switch (m_nMode) {
    case PWD_MODE_LOGIN: nCaption = IDS_PWD_LOGIN; break;
    case PWD_MODE_CREATE: nCaption = IDS_PWD_CREATE; break;
    case PWD_MODE_CHANGE: nCaption = IDS_PWD_CHANGE; break;
    default: return;
    }
    CString strCaption = LoadText(nCaption);
    SendMessage(WM_SETTEXT, 0, (LPARAM)(LPCTSTR)strCaption);

    // Creation order is the tab order.
    if (m_nMode == PWD_MODE_LOGIN) {
        m_pLabelOld = AddLabel(IDS_PWD_PASSWORD, _T(": "), RC_LABEL_OLD);
        m_pEditOld = AddBox(IDC_PWD_EDIT_OLD, RC_EDIT_OLD);
    } else {
        if (m_nMode == PWD_MODE_CHANGE) {
            m_pLabelOld = AddLabel(IDS_PWD_OLD, _T(""), RC_LABEL_OLD);
            m_pEditOld = AddBox(IDC_PWD_EDIT_OLD, RC_EDIT_OLD);
        }
        m_pLabelNew = AddLabel(IDS_PWD_NEW, _T(""), RC_LABEL_NEW);
        m_pEditNew = AddBox(IDC_PWD_EDIT_NEW, RC_EDIT_NEW);
        m_pLabelRetype = AddLabel(IDS_PWD_RETYPE, _T(""), RC_LABEL_RETYPE);
        m_pEditRetype = AddBox(IDC_PWD_EDIT_RETYPE, RC_EDIT_RETYPE);
    }
    m_pBtnOK = AddButton(strOK, IDC_PWD_OK, RC_OK);
    m_pBtnCancel = AddButton(strCancel, IDC_PWD_CANCEL, RC_CANCEL);
}

void CPwdDlg::DestroyPwdControls() {
    CWnd** controls[] = {(CWnd**)&m_pLabelOld, (CWnd**)&m_pLabelNew, (CWnd**)&m_pLabelRetype,
                         (CWnd**)&m_pEditOld,  (CWnd**)&m_pEditNew,  (CWnd**)&m_pEditRetype,
                         (CWnd**)&m_pBtnOK,    (CWnd**)&m_pBtnCancel};
    for (CWnd** pp : controls) {
        if (!*pp) continue;
        if ((*pp)->GetSafeHwnd()) (*pp)->DestroyWindow();
        delete *pp;
        *pp = nullptr;
    }
}

void CPwdDlg::ResetPwdInputs() {
    CPwdEdit* pFocus = nullptr;
    switch (m_nMode) {
    case PWD_MODE_LOGIN: pFocus = m_pEditOld; break;
    case PWD_MODE_CREATE: pFocus = m_pEditNew; break;
    case PWD_MODE_CHANGE: pFocus = m_pEditOld; break;
    }
    for (CPwdEdit* p : {m_pEditOld, m_pEditNew, m_pEditRetype})
        if (p && p->GetSafeHwnd()) p->SetWindowText(_T(""));
    if (pFocus && pFocus->GetSafeHwnd()) pFocus->SetFocus();
}

void CPwdDlg::OnOKKey() { OnPwdConfirm(); }

void CPwdDlg::OnIgnoreCancel() {}

void CPwdDlg::OnCancelButton() { CDialog::OnCancel(); }

CString CPwdDlg::BoxText(CPwdEdit* pEdit) const {
    CString s;
    // The whole text, also past the box's limit (a text set by a program):
    // too long is then refused by its true length.
    if (pEdit && pEdit->GetSafeHwnd()) pEdit->GetWindowText(s);
    return s;
}

void CPwdDlg::ShowMessage(LPCTSTR pszText, LPCTSTR pszCaption, UINT nIcon) {
    MessageBox(pszText, pszCaption, MB_OK | nIcon);
}

void CPwdDlg::ShowMessage(UINT nID, UINT nIcon) { ShowMessage(LoadText(nID), m_strMsgCaption, nIcon); }

BOOL CPwdDlg::RejectTexts(const CString* pTexts, int nCount) {
    for (int i = 0; i < nCount; ++i)
        if (pTexts[i].IsEmpty()) {
            ShowMessage(IDS_PWD_BLANK, MB_ICONEXCLAMATION);
            ResetPwdInputs();
            return TRUE;
        }
    for (int i = 0; i < nCount; ++i)
        if (pTexts[i].GetLength() < kMinLen) {
            ShowMessage(IDS_PWD_TOO_SHORT, MB_ICONEXCLAMATION);
            ResetPwdInputs();
            return TRUE;
        }
    for (int i = 0; i < nCount; ++i)
        if (pTexts[i].GetLength() > kMaxLen) {
            ShowMessage(m_nMode == PWD_MODE_CHANGE ? kTooLongChange : kTooLong, kWarning, MB_ICONEXCLAMATION);
            ResetPwdInputs();
            return TRUE;
        }
    // The key filter sees only key strokes: a pasted text or a shifted digit
    // key (such as '!') gets past it, and such a password could never be
    // typed again. Refused like a wrong password.
    for (int i = 0; i < nCount; ++i)
        if (!IsPasswordText(pTexts[i])) {
            ShowMessage(IDS_PWD_INVALID, MB_ICONERROR);
            ResetPwdInputs();
            return TRUE;
        }
    return FALSE;
}

BOOL CPwdDlg::ReportOpenCause(const CString& strPath) {
    DWORD dwError = m_pwdStore.GetOpenError();
    if (IsWriteProtected(strPath, dwError)) {
        ShowMessage(WriteProtectedText(strPath), m_strMsgCaption, MB_ICONERROR);
        EndDialog(IDCANCEL);
        return TRUE;
    }
    if (dwError == ERROR_SHARING_VIOLATION) {
        ShowMessage(PwdFileInUseText(strPath), m_strMsgCaption, MB_ICONERROR);
        ResetPwdInputs();
        return TRUE;
    }
    // No password is lost or damaged, and no new one could be made there:
    // the user learns what stands in the file's way.
    CString strBlocked = PwdPathBlockedText(strPath);
    if (!strBlocked.IsEmpty()) {
        ShowMessage(strBlocked, m_strMsgCaption, MB_ICONERROR);
        EndDialog(IDCANCEL);
        return TRUE;
    }
    return FALSE;
}

void CPwdDlg::OnPwdConfirm() {
    m_bSucceeded = FALSE;
    m_strMsgCaption = LoadText(IDS_PWD_PASSWORD);
    switch (m_nMode) {
    case PWD_MODE_LOGIN: ConfirmLogin(); break;
    case PWD_MODE_CREATE: ConfirmCreate(); break;
    case PWD_MODE_CHANGE: ConfirmChange(); break;
    }
}

void CPwdDlg::ConfirmLogin() {
    CString strPwd = BoxText(m_pEditOld);
    if (RejectTexts(&strPwd, 1)) return;
    if (!StoreCall([&] { return m_pwdStore.LoadPwdFile(m_strPwdPath); })) {
        // A file another program holds is not a lost password.
        if (ReportOpenCause(m_strPwdPath)) return;
        ShowMessage(IDS_PWD_LOAD_FAIL, MB_ICONERROR);
        ResetPwdInputs();
        EndDialog(IDCANCEL);
        return;
    }
    // Only the newest password logs in.
    if (strPwd != m_pwdStore.GetCurrentPwd()) {
        ShowMessage(IDS_PWD_INVALID, MB_ICONERROR);
        ResetPwdInputs();
        return;
    }
    m_bSucceeded = TRUE;
    EndDialog(IDCANCEL);
}

void CPwdDlg::ConfirmCreate() {
    CString texts[2] = {BoxText(m_pEditNew), BoxText(m_pEditRetype)};
    if (RejectTexts(texts, 2)) return;
    if (texts[0] != texts[1]) {
        ShowMessage(IDS_PWD_MISMATCH, MB_ICONERROR);
        ResetPwdInputs();
        return;
    }
    if (!StoreCall([&] { return m_pwdStore.CreatePwdFile(m_strPwdPath, texts[0]); })) {
        if (ReportOpenCause(m_strPwdPath)) return;
        ShowMessage(kCreateFailed, kError, MB_ICONERROR);
        ResetPwdInputs();
        return;
    }
    m_bSucceeded = TRUE;
    EndDialog(IDCANCEL);
}

void CPwdDlg::ConfirmChange() {
    CString texts[3] = {BoxText(m_pEditOld), BoxText(m_pEditNew), BoxText(m_pEditRetype)};
    if (RejectTexts(texts, 3)) return;
    if (texts[1] != texts[2]) {
        ShowMessage(IDS_PWD_MISMATCH, MB_ICONERROR);
        ResetPwdInputs();
        return;
    }
    if (!StoreCall([&] { return m_pwdStore.LoadPwdFile(GetAppPwdFilePath()); })) {
        if (ReportOpenCause(GetAppPwdFilePath())) return;
        ShowMessage(IDS_PWD_FILE_DAMAGED, MB_ICONERROR);
        ResetPwdInputs();
        EndDialog(IDCANCEL);
        return;
    }
    if (texts[0] != m_pwdStore.GetCurrentPwd()) {
        ShowMessage(IDS_PWD_INVALID, MB_ICONERROR);
        ResetPwdInputs();
        return;
    }
    // The old password is right, so a failure here is a password that could
    // not be written (a full or removed drive, a file held open): said as
    // such, not as a wrong password. The file is as it was.
    if (!StoreCall([&] { return m_pwdStore.ChangePwd(texts[0], texts[1]); })) {
        if (ReportOpenCause(GetAppPwdFilePath())) return;
        ShowMessage(kCreateFailed, kError, MB_ICONERROR);
        ResetPwdInputs();
        return;
    }
    m_bSucceeded = TRUE;
    EndDialog(IDCANCEL);
}
