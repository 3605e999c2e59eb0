// The replace confirmations that the task handlers show on the worker
// thread when a target exists: CFilesCheckDlg for a file, CDirCheckDlg for a
// folder. They only ask; the handler acts on the answer:
// 1 (IDOK) Yes, 3 Yes to All, 7 (IDNO) No, 2 (IDCANCEL) Cancel, Esc or close.
#pragma once
#include "framework/Win.h"

// Result of the Yes to All button (and its id).
const int IDYESTOALL = 3;

// One file as the confirmation shows it.
class CFileCheckInfo {
public:
    CFileCheckInfo() : m_nSize(0), m_bAttribute(0), m_mtime(0) {}
    CString m_strName;    // file-name part of the path
    ULONGLONG m_nSize;
    BYTE m_bAttribute;    // bit 0: read-only
    LONGLONG m_mtime;     // last modified, seconds since 1970 UTC
};

// Fills out from the file's status; FALSE (out untouched) when it cannot
// be read.
BOOL GetFileCheckInfo(LPCTSTR lpszPath, CFileCheckInfo& out);

class CFilesCheckDlg : public CDialog {
public:
    enum { IDD = 131, IDC_EXISTING = 1002, IDC_EXISTING_TIME = 1003, IDC_NEW_TIME = 1004 };

    // bSingle: only one item, so only Yes and No are offered.
    explicit CFilesCheckDlg(BOOL bSingle);
    void SetExistingFile(const CFileCheckInfo& info) { m_existing = info; }
    void SetNewFile(const CFileCheckInfo& info) { m_incoming = info; }

    CFileCheckInfo m_existing;
    CFileCheckInfo m_incoming;
    BOOL m_bSingle;
    CButton m_btnYes;
    CButton m_btnYesToAll;
    CButton m_btnNo;
    CButton m_btnCancel;
    CStatic m_stcExisting;
    CStatic m_stcExistingTime;
    CStatic m_stcNewTime;

    void OnYesToAll();
    void OnNo();

protected:
    void DoDataExchange(CDataExchange* pDX) override;
    BOOL OnInitDialog() override;
    DECLARE_MESSAGE_MAP()
};

class CDirCheckDlg : public CDialog {
public:
    enum { IDD = 130, IDC_FOLDER = 1006 };

    CDirCheckDlg();

    CString m_strFolder;  // the existing target folder; set before DoModal
    CStatic m_stcFolder;

    void OnYesToAll();
    void OnNo();
    void OnFolderClicked() {}

protected:
    void DoDataExchange(CDataExchange* pDX) override;
    BOOL OnInitDialog() override;
    DECLARE_MESSAGE_MAP()
};
