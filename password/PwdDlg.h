// CPwdDlg: the dialog that logs the user in, creates the drive's first
// password or changes it. It builds its labels, boxes and buttons at run
// time, one layout per mode; the template holds only two hidden buttons, so
// Enter in a box confirms and Esc does nothing. DoModal always answers
// IDCANCEL: the caller reads m_bSucceeded.
#pragma once
#include "framework/Win.h"
#include "password/KivPwd.h"
#include "password/PwdEdit.h"

#define IDD_PWD_DLG 160
#define IDS_PWD_OK 161
#define IDS_PWD_CANCEL 162
#define IDS_PWD_OLD 163
#define IDS_PWD_NEW 164
#define IDS_PWD_RETYPE 165
#define IDS_PWD_PASSWORD 166
#define IDS_PWD_LOGIN 167
#define IDS_PWD_CREATE 168
#define IDS_PWD_CHANGE 169
#define IDS_PWD_BLANK 170
#define IDS_PWD_INVALID 171
#define IDS_PWD_TOO_SHORT 172
#define IDS_PWD_MISMATCH 173
#define IDS_PWD_FILE_DAMAGED 136
#define IDS_PWD_LOAD_FAIL 61205
#define IDS_PWD_DRIVE_MISSING 61213  // %s: the drive, as E:

#define IDC_PWD_LABEL 33000
#define IDC_PWD_OK 33001
#define IDC_PWD_EDIT_OLD 33002
#define IDC_PWD_EDIT_NEW 33003
#define IDC_PWD_EDIT_RETYPE 33004
#define IDC_PWD_CANCEL 33005

enum PwdMode { PWD_MODE_LOGIN = 0, PWD_MODE_CREATE = 1, PWD_MODE_CHANGE = 2 };

// The password file of the main run (CKIVApp::m_strPwdFile); empty when the
// application object is not the program's.
CString GetAppPwdFilePath();

// A failed open of the password file that says it is not there at all: no
// such file or folder, no such drive, or no medium in it. Such a drive is
// not the program's: its file is missing, not damaged.
BOOL IsPwdFileMissing(DWORD dwOpenError);
// "The Brivon Velto drive E: is not there..." for the drive of a password
// file or drive folder; string 177 when the path names no drive.
CString PwdDriveMissingText(const CString& strPath);

class CPwdDlg : public CDialog {
public:
    explicit CPwdDlg(CWnd* pParent = nullptr);
    ~CPwdDlg() override;

    // m_strPwdPath = drive root (lower-cased) + KIV\KIV.pwd, creating the
    // KIV folder when bCreateFolder is set (the drive run, which may create
    // the drive's first password); FALSE when the drive folder names no
    // drive (empty, or without its drive letter) or the folder cannot be
    // created, with the cause for GetLastError. The tasks never create it:
    // a drive that lacks it holds no password file, and is not the
    // program's.
    BOOL PreparePasswordPath(BOOL bCreateFolder = TRUE);

    BOOL OnInitDialog() override;

    CString m_strPwdPath;
    int m_nMode;          // a PwdMode, set before the dialog runs
    BOOL m_bSucceeded;    // the mode's action succeeded

protected:
    void ComputePwdLayout();
    void BuildPwdControls();
    void DestroyPwdControls();
    void ResetPwdInputs();

    afx_msg void OnOKKey();
    afx_msg void OnPwdConfirm();
    afx_msg void OnIgnoreCancel();
    afx_msg void OnCancelButton();

    CKivPwd m_pwdStore;
    CStatic* m_pLabelOld;
    CStatic* m_pLabelNew;
    CStatic* m_pLabelRetype;
    CPwdEdit* m_pEditOld;
    CPwdEdit* m_pEditNew;
    CPwdEdit* m_pEditRetype;
    CButton* m_pBtnOK;
    CButton* m_pBtnCancel;
    // Client pixels of: label old, box old, label new, box new, label
    // retype, box retype, OK, Cancel.
    RECT m_rcLayout[8];

    DECLARE_MESSAGE_MAP()

private:
    void ConfirmLogin();
    void ConfirmCreate();
    void ConfirmChange();
    // The first failing rule of the typed texts: a message has been shown
    // and the boxes reset. FALSE when every text is acceptable.
    BOOL RejectTexts(const CString* pTexts, int nCount);
    // A failed open of the password file whose cause the user can act on
    // is said as such, once: a locked drive ends the dialog (no password can
    // be written there, so asking again would only fail again), a file held
    // by another program leaves it open to try again. FALSE when the cause
    // is neither, for the caller's own message.
    BOOL ReportOpenCause(const CString& strPath);
    CString BoxText(CPwdEdit* pEdit) const;
    void ShowMessage(LPCTSTR pszText, LPCTSTR pszCaption, UINT nIcon);
    void ShowMessage(UINT nID, UINT nIcon);
    CStatic* AddLabel(UINT nTextID, LPCTSTR pszSuffix, int nRect);
    CPwdEdit* AddBox(UINT nID, int nRect);
    CButton* AddButton(const CString& strText, UINT nID, int nRect);

    CString m_strMsgCaption;
};
