#include "Dialog.h"
#include "Module.h"
#include "ThreadState.h"
#include "WinApp.h"

IMPLEMENT_DYNAMIC(CDialog, CWnd)

BEGIN_MESSAGE_MAP(CDialog, CWnd)
    ON_COMMAND(IDOK, &CDialog::OnOK)
    ON_COMMAND(IDCANCEL, &CDialog::OnCancel)
END_MESSAGE_MAP()

// The dialog procedure under our subclass: DefDlgProc calls it, and only
// WM_INITDIALOG needs an answer from the object.
INT_PTR CALLBACK AfxDlgProc(HWND hWnd, UINT message, WPARAM, LPARAM lParam) {
    if (message != WM_INITDIALOG) return FALSE;
    CDialog* pDlg = reinterpret_cast<CDialog*>(lParam);
    if (!pDlg) return FALSE;
    if (!pDlg->m_hWnd) pDlg->SubclassWindow(hWnd);
    return pDlg->OnInitDialog();
}

CDialog::CDialog()
    : m_lpszTemplateName(nullptr), m_nIDHelp(0), m_lpDialogTemplate(nullptr),
      m_pParentWnd(nullptr), m_bInModalLoop(FALSE), m_nModalResult(-1) {}

CDialog::CDialog(UINT nIDTemplate, CWnd* pParentWnd) : CDialog() {
    m_lpszTemplateName = MAKEINTRESOURCEW(nIDTemplate);
    m_nIDHelp = nIDTemplate;
    m_pParentWnd = pParentWnd;
}

CDialog::CDialog(LPCTSTR lpszTemplateName, CWnd* pParentWnd) : CDialog() {
    m_lpszTemplateName = lpszTemplateName;
    if (IS_INTRESOURCE(lpszTemplateName)) m_nIDHelp = (UINT)(UINT_PTR)lpszTemplateName;
    m_pParentWnd = pParentWnd;
}

CDialog::~CDialog() {}

LPCDLGTEMPLATE CDialog::LoadTemplate() const {
    if (m_lpDialogTemplate) return m_lpDialogTemplate;
    if (!m_lpszTemplateName) return nullptr;
    HINSTANCE hInst = AfxGetResourceHandle();
    HRSRC hRes = ::FindResourceW(hInst, m_lpszTemplateName, (LPCWSTR)RT_DIALOG);
    if (!hRes) return nullptr;
    HGLOBAL hMem = ::LoadResource(hInst, hRes);
    return hMem ? (LPCDLGTEMPLATE)::LockResource(hMem) : nullptr;
}

HWND CDialog::PreModalOwner() const {
    HWND h = m_pParentWnd->GetSafeHwnd();
    if (!h) h = AfxGetMainWnd()->GetSafeHwnd();
    if (!h || !::IsWindow(h)) return nullptr;
    for (;;) {
        HWND up = (::GetWindowLongPtrW(h, GWL_STYLE) & WS_CHILD) ? ::GetParent(h)
                                                                 : ::GetWindow(h, GW_OWNER);
        if (!up) break;
        h = up;
    }
    return h;
}

BOOL CDialog::CreateFromTemplate(LPCDLGTEMPLATE lpTemplate, HWND hWndOwner) {
    if (!lpTemplate || m_hWnd) return FALSE;
    AfxInitCommonControls();
    AfxThreadState* st = AfxGetThreadState();
    CWnd* pPrevInit = st->pWndInit;
    LPCWSTR pPrevClass = st->pszInitClass;
    AfxHookWindowCreate(this, nullptr);
    HWND h = ::CreateDialogIndirectParamW(AfxGetResourceHandle(), lpTemplate, hWndOwner, AfxDlgProc,
                                          (LPARAM)this);
    st->pWndInit = pPrevInit;
    st->pszInitClass = pPrevClass;
    if (!h) return FALSE;
    if (!m_hWnd) SubclassWindow(h);
    return TRUE;
}

BOOL CDialog::Create(LPCTSTR lpszTemplateName, CWnd* pParentWnd) {
    m_lpszTemplateName = lpszTemplateName;
    if (IS_INTRESOURCE(lpszTemplateName)) m_nIDHelp = (UINT)(UINT_PTR)lpszTemplateName;
    m_pParentWnd = pParentWnd;
    return CreateFromTemplate(LoadTemplate(), PreModalOwner());
}

BOOL CDialog::Create(UINT nIDTemplate, CWnd* pParentWnd) {
    return Create(MAKEINTRESOURCEW(nIDTemplate), pParentWnd);
}

BOOL CDialog::InitModalIndirect(LPCDLGTEMPLATE lpDialogTemplate, CWnd* pParentWnd) {
    m_lpDialogTemplate = lpDialogTemplate;
    m_pParentWnd = pParentWnd;
    return lpDialogTemplate != nullptr;
}

BOOL CDialog::CreateIndirect(LPCDLGTEMPLATE lpDialogTemplate, CWnd* pParentWnd) {
    m_lpDialogTemplate = lpDialogTemplate;
    m_pParentWnd = pParentWnd;
    return CreateFromTemplate(lpDialogTemplate, PreModalOwner());
}

INT_PTR CDialog::DoModal() {
    LPCDLGTEMPLATE lpTemplate = LoadTemplate();
    if (!lpTemplate || m_hWnd) return -1;

    // The owner is disabled only when it was enabled, and enabled again only
    // then: a worker's dialog owned by a frame that another modal dialog has
    // disabled must not enable it under that dialog.
    HWND hOwner = PreModalOwner();
    BOOL bEnableOwner = FALSE;
    if (hOwner && hOwner != ::GetDesktopWindow() && ::IsWindowEnabled(hOwner)) {
        ::EnableWindow(hOwner, FALSE);
        bEnableOwner = TRUE;
    }

    m_nModalResult = -1;
    ::InterlockedExchange(&m_bInModalLoop, TRUE);
    if (!CreateFromTemplate(lpTemplate, hOwner)) {
        ::InterlockedExchange(&m_bInModalLoop, FALSE);
        if (bEnableOwner) ::EnableWindow(hOwner, TRUE);
        return -1;
    }
    HWND hDlg = m_hWnd;

    // Like the system's own modal dialogs, a template without WS_VISIBLE is
    // shown once the queue first runs empty; a dialog ended in its
    // initialisation is never shown.
    BOOL bShown = (::GetWindowLongPtrW(hDlg, GWL_STYLE) & WS_VISIBLE) != 0;
    MSG msg;
    while (m_bInModalLoop && ::IsWindow(hDlg)) {
        if (!bShown && !::PeekMessageW(&msg, nullptr, 0, 0, PM_NOREMOVE)) {
            ::ShowWindow(hDlg, SW_SHOWNORMAL);
            ::UpdateWindow(hDlg);
            bShown = TRUE;
            continue;
        }
        BOOL r = ::GetMessageW(&msg, nullptr, 0, 0);
        if (r == -1) break;
        if (r == 0) {
            // Leave WM_QUIT for the loop that owns it.
            ::PostQuitMessage((int)msg.wParam);
            break;
        }
        if (!AfxPreTranslateMessage(&msg)) {
            ::TranslateMessage(&msg);
            ::DispatchMessageW(&msg);
        }
    }
    ::InterlockedExchange(&m_bInModalLoop, FALSE);
    INT_PTR nResult = m_nModalResult;

    // Enable the owner before the dialog goes, so that it gets the activation back.
    if (bEnableOwner) ::EnableWindow(hOwner, TRUE);
    if (::IsWindow(hDlg)) {
        ::SetWindowPos(hDlg, nullptr, 0, 0, 0, 0,
                       SWP_HIDEWINDOW | SWP_NOSIZE | SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);
        if (hOwner && ::GetActiveWindow() == hDlg &&
            ::GetWindowThreadProcessId(hOwner, nullptr) == ::GetCurrentThreadId())
            ::SetActiveWindow(hOwner);
        // The object may delete itself in PostNcDestroy: nothing of it is read after this.
        if (m_hWnd == hDlg) DestroyWindow();
        else ::DestroyWindow(hDlg);
    }
    return nResult;
}

void CDialog::EndDialog(int nResult) {
    if (m_bInModalLoop) {
        m_nModalResult = nResult;
        ::InterlockedExchange(&m_bInModalLoop, FALSE);
        // Wakes the loop when this came from another thread.
        if (m_hWnd) ::PostMessageW(m_hWnd, WM_NULL, 0, 0);
    } else if (m_hWnd) {
        ::ShowWindow(m_hWnd, SW_HIDE);
    }
}

BOOL CDialog::OnInitDialog() {
    UpdateData(FALSE);
    return TRUE;
}

void CDialog::OnOK() {
    if (!UpdateData(TRUE)) return;
    EndDialog(IDOK);
}

void CDialog::OnCancel() { EndDialog(IDCANCEL); }

BOOL CDialog::PreTranslateMessage(MSG* pMsg) {
    // Tab, Enter and Esc of the dialog's keyboard interface. Controls get
    // their own PreTranslateMessage first (the walk starts at the control).
    if (pMsg->message < WM_KEYFIRST || pMsg->message > WM_KEYLAST || !m_hWnd) return FALSE;
    if (pMsg->hwnd != m_hWnd && !::IsChild(m_hWnd, pMsg->hwnd)) return FALSE;
    return ::IsDialogMessageW(m_hWnd, pMsg);
}
