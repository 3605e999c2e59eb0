#include "MainFrame.h"
#include "KIVApp.h"
#include "ShellItemList.h"
#include "AppMessages.h"
#include "HandOver.h"
#include "ResourceIds.h"
#include "fileops/TaskThread.h"
#include "password/PwdDlg.h"
#include "views/DocHints.h"
#include "views/DriveView.h"
#include "views/FileView.h"
#include "views/ShellChangeEvent.h"
#include <dbt.h>
#include <shlobj.h>
#include <new>

IMPLEMENT_DYNCREATE(CMainFrame, CFrameWnd)

BEGIN_MESSAGE_MAP(CMainFrame, CFrameWnd)
    ON_WM_CREATE()
    ON_UPDATE_COMMAND_UI_RANGE(ID_VIEW_SMALLICON, ID_VIEW_BYNAME, &CMainFrame::OnUpdateViewMode)
    ON_COMMAND_RANGE(ID_VIEW_SMALLICON, ID_VIEW_BYNAME, &CMainFrame::OnViewMode)
    ON_WM_TIMER()
    ON_WM_DESTROY()
    ON_WM_ENDSESSION()
    ON_MESSAGE(WM_TASKTHREAD_DONE, &CMainFrame::OnTaskThreadDone)
    ON_MESSAGE(WM_TRAY_NOTIFY, &CMainFrame::OnTrayNotify)
    ON_COMMAND(ID_SHOW_HIDE, &CMainFrame::OnShowHide)
    ON_COMMAND(ID_APP_EXIT_KIV, &CMainFrame::OnCloseApp)
    ON_MESSAGE(WM_SHELL_CHANGE_NOTIFY, &CMainFrame::OnShellChangeNotify)
    ON_COMMAND(ID_CHANGE_PASSWORD, &CMainFrame::OnChangePassword)
    ON_COMMAND(ID_TOGGLE_ANIMATION, &CMainFrame::OnToggleAnimation)
    ON_COMMAND(ID_SET_DEFAULT_PATH, &CMainFrame::OnSetDefaultPath)
END_MESSAGE_MAP()

namespace {
const UINT INDICATORS[] = {0, ID_INDICATOR_FREESPACE};
const DWORD TOOLBAR_STYLE = WS_CHILD | WS_VISIBLE | CBRS_TOP | CBRS_GRIPPER | CBRS_TOOLTIPS | CBRS_FLYBY |
                            CBRS_SIZE_DYNAMIC;
const DWORD STATUSBAR_STYLE = WS_CHILD | WS_VISIBLE | CBRS_BOTTOM;

// The shell events the frame relays, each as one private message to both views.
struct ShellRelay {
    LONG lEvent;
    UINT nMessage;
};
const ShellRelay SHELL_RELAYS[] = {
    {SHCNE_RENAMEITEM, WM_SHELL_RENAME_ITEM},     {SHCNE_CREATE, WM_SHELL_CREATE},
    {SHCNE_DELETE, WM_SHELL_DELETE},              {SHCNE_MKDIR, WM_SHELL_MKDIR},
    {SHCNE_RMDIR, WM_SHELL_RMDIR},                {SHCNE_MEDIAINSERTED, WM_SHELL_MEDIA_INSERTED},
    {SHCNE_MEDIAREMOVED, WM_SHELL_MEDIA_REMOVED}, {SHCNE_DRIVEREMOVED, WM_SHELL_DRIVE_REMOVED},
    {SHCNE_DRIVEADD, WM_SHELL_DRIVE_ADDED},       {SHCNE_UPDATEDIR, WM_SHELL_UPDATE_DIR},
    {SHCNE_UPDATEITEM, WM_SHELL_UPDATE_ITEM},     {SHCNE_RENAMEFOLDER, WM_SHELL_RENAME_FOLDER},
};

// The list-view type each view-mode command sets.
int ViewModeBits(UINT nID) {
    switch (nID) {
    case ID_VIEW_SMALLICON: return LVS_SMALLICON;
    case ID_VIEW_LARGEICON: return LVS_ICON;
    case ID_VIEW_LIST: return LVS_LIST;
    case ID_VIEW_DETAILS: return LVS_REPORT;
    default: return -1;
    }
}
}  // namespace

CString DriveRootFromUnitMask(DWORD dwUnitMask) {
    int i = 0;
    while (i < 26 && !(dwUnitMask & (1u << i))) ++i;
    CString root(L"?:\\");
    root.SetAt(0, (WCHAR)(L'A' + i));
    return root;
}

CMainFrame::CMainFrame()
    : m_nShellNotifyId(0), m_pDropWnd(nullptr), m_bAnimating(0), m_bCloseAfterBatches(FALSE),
      m_bClosePending(FALSE), m_bSessionEndAgreed(FALSE) {}

CMainFrame::~CMainFrame() {
    if (m_nShellNotifyId) ::SHChangeNotifyDeregister(m_nShellNotifyId);
}

BOOL CMainFrame::PreCreateWindow(CREATESTRUCT& cs) { return CFrameWnd::PreCreateWindow(cs) ? 1 : 0; }

int CMainFrame::OnCreate(LPCREATESTRUCT lpcs) {
    if (CFrameWnd::OnCreate(lpcs) == -1) return -1;

    if (!m_wndToolBar.CreateEx(this, TBSTYLE_FLAT, TOOLBAR_STYLE, RECT{0, 0, 0, 0}, AFX_IDW_TOOLBAR) ||
        !m_wndToolBar.LoadToolBar(IDR_MAINFRAME))
        return -1;
    if (!m_wndStatusBar.Create(this, STATUSBAR_STYLE, AFX_IDW_STATUS_BAR) ||
        !m_wndStatusBar.SetIndicators(INDICATORS, 2))
        return -1;
    m_wndStatusBar.SetPaneStyle(0, SBPS_NORMAL);
    m_wndStatusBar.SetPaneStyle(1, SBPS_STRETCH);

    m_wndToolBar.EnableDocking(CBRS_ALIGN_ANY);
    EnableDocking(CBRS_ALIGN_ANY);
    DockControlBar(&m_wndToolBar);

    if (!m_wndTray.AddTrayIcon(this)) return -1;
    m_wndTray.SetTrayIcon();

    LPITEMIDLIST pidlDesktop = nullptr;
    if (SUCCEEDED(::SHGetSpecialFolderLocation(nullptr, CSIDL_DESKTOP, &pidlDesktop))) {
        m_nShellNotifyId = CShellChangeEvent::Register(m_hWnd, SHCNRF_ShellLevel, SHCNE_ALLEVENTS,
                                                       WM_SHELL_CHANGE_NOTIFY, pidlDesktop, TRUE);
        ::CoTaskMemFree(pidlDesktop);
    }

    OSVERSIONINFOW vi = {sizeof vi};
    if (::GetVersionExW(&vi) && vi.dwMajorVersion != 6) ApplySkin(this, &m_wndSkin);

    // The floating drop window: topmost, its top-left corner on the frame's
    // bottom-right corner. A window that cannot be made is done without.
    m_pDropWnd = new (std::nothrow) SPLASHDLG;
    if (m_pDropWnd && m_pDropWnd->Create(IDD_DROPWIN, nullptr)) {
        RECT rc = {}, frame = {};
        m_pDropWnd->GetWindowRect(&rc);
        int cx = rc.right - rc.left, cy = rc.bottom - rc.top;
        m_pDropWnd->SetWindowPos(&wndTopMost, rc.left, rc.top, cx, cy, SWP_SHOWWINDOW);
        GetWindowRect(&frame);
        m_pDropWnd->MoveWindow(frame.right, frame.bottom, cx, cy, TRUE);
        m_pDropWnd->ShowWindow(SW_SHOWNORMAL);
        m_pDropWnd->UpdateWindow();
        m_pDropWnd->m_hOwner = m_hWnd;
        m_pDropWnd->MakeLayered();
        m_pDropWnd->RedrawDropWindow();
    } else {
        delete m_pDropWnd;
        m_pDropWnd = nullptr;
    }

    m_bAnimating = 0;
    return 0;
}

BOOL CMainFrame::OnCreateClient(LPCREATESTRUCT, CCreateContext* pContext) {
    if (!m_wndSplitter.CreateStatic(this, 1, 2, WS_CHILD | WS_VISIBLE, AFX_IDW_PANE_FIRST)) return FALSE;
    SIZE size = {100, 100};
    if (!m_wndSplitter.CreateView(0, 0, RUNTIME_CLASS(CDriveView), size, pContext) ||
        !m_wndSplitter.CreateView(0, 1, RUNTIME_CLASS(CFileView), size, pContext)) {
        m_wndSplitter.DestroyWindow();
        return FALSE;
    }
    return TRUE;
}

CFileView* CMainFrame::GetFileView() const {
    if (!m_wndSplitter.m_hWnd) return nullptr;
    CWnd* p = m_wndSplitter.GetPane(0, 1);
    return (p && p->IsKindOf(RUNTIME_CLASS(CFileView))) ? static_cast<CFileView*>(p) : nullptr;
}

void CMainFrame::OnViewMode(UINT nID) {
    CFileView* pView = GetFileView();
    if (!pView) return;
    if (nID == ID_VIEW_LINEUP) {
        pView->SendMessage(LVM_ARRANGE, LVA_SNAPTOGRID);
        return;
    }
    int bits = ViewModeBits(nID);
    if (bits >= 0) pView->ModifyStyle(LVS_TYPEMASK, (DWORD)bits);
}

void CMainFrame::OnUpdateViewMode(CCmdUI* pCmdUI) {
    CFileView* pView = GetFileView();
    if (!pView) {
        pCmdUI->Enable(FALSE);
        return;
    }
    DWORD mode = pView->GetStyle() & LVS_TYPEMASK;
    switch (pCmdUI->m_nID) {
    case ID_VIEW_LINEUP:
        pCmdUI->Enable(mode == LVS_ICON || mode == LVS_SMALLICON);
        break;
    case ID_VIEW_BYNAME:
        pCmdUI->Enable(TRUE);
        pCmdUI->SetRadio(FALSE);
        break;
    default:
        pCmdUI->Enable(TRUE);
        pCmdUI->SetRadio(mode == (DWORD)ViewModeBits(pCmdUI->m_nID));
        break;
    }
}

void CMainFrame::OnTimer(UINT_PTR) { Default(); }

void CMainFrame::OnDestroy() {
    if (m_pDropWnd) {
        m_pDropWnd->DestroyWindow();
        delete m_pDropWnd;
        m_pDropWnd = nullptr;
    }
    CFrameWnd::OnDestroy();
}

void CMainFrame::OnEndSession(BOOL bEnding) {
    // Only the end of a session this frame agreed to: anyone can send this
    // message, and the program goes on running after a stray one.
    BOOL bAgreed = m_bSessionEndAgreed;
    m_bSessionEndAgreed = FALSE;
    if (!bEnding || !bAgreed) return;
    // The system ends the process once this returns, so ExitInstance would
    // never come and the registrations and drag folders would stay.
    if (CKIVApp* pApp = dynamic_cast<CKIVApp*>(AfxGetApp())) pApp->UndoRegistration();
}

int CMainFrame::StartBatch(CFileTaskThread* pBatch, BOOL bModal) {
    if (!pBatch) return 0;
    if (m_bCloseAfterBatches || m_bClosePending) {
        delete pBatch;
        return 0;
    }
    m_arrBatches.push_back(HeldBatch{pBatch, TRUE, FALSE});
    int nResult = pBatch->Start(bModal);
    // Looked up again: batches started or ended meanwhile change the list.
    for (HeldBatch& held : m_arrBatches) {
        if (held.pBatch != pBatch) continue;
        if (held.bEnded) ReleaseBatch(pBatch);
        else held.bInStart = FALSE;
        break;
    }
    return nResult;
}

void CMainFrame::ReleaseBatch(CFileTaskThread* pBatch) {
    for (auto it = m_arrBatches.begin(); it != m_arrBatches.end(); ++it) {
        if (it->pBatch == pBatch) {
            m_arrBatches.erase(it);
            break;
        }
    }
    delete pBatch;
    // The exit that waited for the batches; posted, so that the caller of
    // a modal batch whose end this is has returned before windows go.
    if (m_bCloseAfterBatches && m_arrBatches.empty()) PostMessage(WM_CLOSE, 1, 1);
}

LRESULT CMainFrame::OnTaskThreadDone(WPARAM wParam, LPARAM) {
    // Only a batch this frame holds, and only once its worker is done with
    // it: anyone can post this message with any value.
    for (HeldBatch& held : m_arrBatches) {
        if ((WPARAM)held.pBatch != wParam) continue;
        if (!held.bEnded && held.pBatch->HasEnded()) {
            // Inside a modal loop that runs in the batch's own dialog, the
            // dialog and Start still have to return: StartBatch frees it then.
            if (held.bInStart) held.bEnded = TRUE;
            else ReleaseBatch(held.pBatch);
        }
        break;
    }
    if (m_bAnimating) StopAnimation();
    return 0;
}

LRESULT CMainFrame::OnTrayNotify(WPARAM wParam, LPARAM lParam) {
    if (wParam != IDR_SYSTEMTRAY) return 0;
    CMenu menu;
    if (!menu.LoadMenu(IDR_SYSTEMTRAY)) return 0;
    CMenu* pPopup = menu.GetSubMenu(0);
    if (pPopup && LOWORD(lParam) == WM_RBUTTONUP) {
        POINT pt = {};
        ::GetCursorPos(&pt);
        // Without the foreground the menu would not close when the user
        // clicks elsewhere.
        SetForegroundWindow();
        pPopup->TrackPopupMenu(TPM_RIGHTBUTTON | TPM_RIGHTALIGN | TPM_BOTTOMALIGN, pt.x, pt.y, m_hWnd);
    }
    menu.DestroyMenu();
    return 0;
}

LRESULT CMainFrame::OnShellChangeNotify(WPARAM wParam, LPARAM lParam) {
    // The shell's block, not an address: a posted message with made-up
    // values gives no event.
    CShellChangeEvent event(wParam, lParam);
    if (!event.IsValid()) return 0;
    WPARAM pidls = (WPARAM)event.GetIdLists();
    for (const ShellRelay& r : SHELL_RELAYS) {
        if (r.lEvent != event.GetEvent()) continue;
        // Sent, so that the item-ID lists are still valid.
        if (CWnd* p = m_wndSplitter.GetPane(0, 1)) ::SendMessageW(p->m_hWnd, r.nMessage, pidls, r.lEvent);
        if (CWnd* p = m_wndSplitter.GetPane(0, 0)) ::SendMessageW(p->m_hWnd, r.nMessage, pidls, r.lEvent);
        break;
    }
    return 0;
}

void CMainFrame::StopAnimation() {
    if (m_pDropWnd) {
        m_pDropWnd->MakeLayered();
        m_pDropWnd->RedrawDropWindow();
    }
    m_bAnimating = 0;
}

void CMainFrame::OnToggleAnimation() {
    if (!m_pDropWnd) return;
    if (m_bAnimating) {
        StopAnimation();
        return;
    }
    m_pDropWnd->MakeLayered();
    m_pDropWnd->m_animate.SendMessage(ACM_OPENW, (WPARAM)AfxGetInstanceHandle(),
                                      (LPARAM)MAKEINTRESOURCEW(IDR_DROPWIN_AVI));
    m_bAnimating = 1;
}

int CALLBACK BrowseFolderCallback(HWND hWnd, UINT uMsg, LPARAM, LPARAM lpData) {
    if (uMsg == BFFM_INITIALIZED) ::SendMessageW(hWnd, BFFM_SETSELECTIONW, TRUE, lpData);
    return 0;
}

void CMainFrame::OnSetDefaultPath() {
    CString title;
    title.LoadString(IDS_DEFAULT_DIRECTORY);
    CKIVApp* pApp = dynamic_cast<CKIVApp*>(AfxGetApp());
    CString key = pApp ? pApp->GetDrivePath().Left(2) : CString();
    key.MakeLower();
    if (!m_pDropWnd || key.IsEmpty()) return;

    // The browser is rooted at the program's drive, found among the
    // computer folder's items.
    IShellFolder* pDesktop = nullptr;
    if (FAILED(::SHGetDesktopFolder(&pDesktop))) return;
    LPITEMIDLIST pidlComputer = nullptr, pidlRoot = nullptr;
    IShellFolder* pComputer = nullptr;
    IEnumIDList* pEnum = nullptr;
    if (SUCCEEDED(::SHGetSpecialFolderLocation(nullptr, CSIDL_DRIVES, &pidlComputer)) &&
        SUCCEEDED(pDesktop->BindToObject(pidlComputer, nullptr, IID_IShellFolder, (void**)&pComputer)) &&
        // Folders and storage: with the storage flag alone no drive is listed.
        pComputer->EnumObjects(nullptr, SHCONTF_FOLDERS | SHCONTF_STORAGE, &pEnum) == S_OK) {
        LPITEMIDLIST pidlChild = nullptr;
        ULONG got = 0;
        while (!pidlRoot && pEnum->Next(1, &pidlChild, &got) == S_OK && got == 1) {
            LPITEMIDLIST pidlFull = ConcatItemIdLists(pidlComputer, pidlChild);
            FreeItemIdList(pidlChild);
            CString prefix = ItemIdListToPath(pidlFull).Left(2);
            prefix.MakeLower();
            if (prefix == key) pidlRoot = pidlFull;
            else FreeItemIdList(pidlFull);
        }
    }
    if (pidlRoot) {
        CString initial = m_pDropWnd->GetDefaultDirectory();
        if (initial.IsEmpty()) initial = key;
        WCHAR display[MAX_PATH] = {0};
        BROWSEINFOW bi = {};
        bi.pidlRoot = pidlRoot;
        bi.pszDisplayName = display;
        bi.lpszTitle = title;
        bi.ulFlags = BIF_RETURNONLYFSDIRS | BIF_EDITBOX | BIF_NEWDIALOGSTYLE;
        bi.lpfn = BrowseFolderCallback;
        bi.lParam = (LPARAM)(LPCWSTR)initial;
        if (LPITEMIDLIST pidlChosen = ::SHBrowseForFolderW(&bi)) {
            if (::SHGetPathFromIDListW(pidlChosen, display)) m_pDropWnd->SaveDefaultDirectory(display);
            FreeItemIdList(pidlChosen);
        }
        FreeItemIdList(pidlRoot);
    }
    if (pEnum) pEnum->Release();
    if (pComputer) pComputer->Release();
    FreeItemIdList(pidlComputer);
    pDesktop->Release();
}

void CMainFrame::OnShowHide() {
    if (IsWindowVisible()) {
        ShowWindow(SW_HIDE);
    } else {
        ShowWindow(SW_SHOW);
        ShowWindow(SW_RESTORE);
    }
}

void CMainFrame::OnCloseApp() { SendMessage(WM_CLOSE, 1, 1); }

void CMainFrame::OnChangePassword() {
    CPwdDlg dlg;
    dlg.m_nMode = PWD_MODE_CHANGE;
    dlg.DoModal();
}

LRESULT CMainFrame::WindowProc(UINT message, WPARAM wParam, LPARAM lParam) {
    switch (message) {
    case WM_QUERYENDSESSION: {
        LRESULT r = CFrameWnd::WindowProc(message, wParam, lParam);
        m_bSessionEndAgreed = r != 0;
        return r;
    }
    case WM_CLOSE:
        if (wParam == 0 && lParam == 0) {
            ShowWindow(SW_HIDE);
            return 1;
        }
        return CloseForGood(wParam, lParam);
    case WM_SYSCOMMAND:
        if ((wParam & 0xFFF0) == SC_MINIMIZE) {
            ShowWindow(SW_HIDE);
            return 1;
        }
        break;
    case WM_SUBFOLDER_CHANGED:
        if (CWnd* p = m_wndSplitter.GetPane(0, 0)) ::SendMessageW(p->m_hWnd, message, wParam, lParam);
        return Default();
    case WM_SHOW_MAIN:
        if (!IsWindowVisible()) {
            ShowWindow(SW_SHOW);
            ShowWindow(SW_RESTORE);
        }
        return Default();
    }
    return CFrameWnd::WindowProc(message, wParam, lParam);
}

LRESULT CMainFrame::CloseForGood(WPARAM wParam, LPARAM lParam) {
    // Windows must not go while a batch runs: a modal one has its command
    // (and the view behind it) waiting in the progress dialog's loop. The
    // batches are cancelled, and the last one's end closes.
    if (!m_arrBatches.empty()) {
        m_bCloseAfterBatches = TRUE;
        for (HeldBatch& held : m_arrBatches) held.pBatch->m_bCancel = 1;
        return 0;
    }
    // A menu, box, dialog or drag of the program runs below this message
    // (its loop delivered it): its caller still uses the views and windows
    // when it returns. The close is asked for again from the outermost loop.
    if (AfxGetHandlerDepth() > 1) {
        if (!m_bClosePending) {
            m_bClosePending = TRUE;
            AfxSendFromOuterLoop(m_hWnd, WM_CLOSE, wParam, lParam);
        }
        return 0;
    }
    m_bClosePending = FALSE;
    if (m_wndTray.m_bShown) {
        m_wndTray.m_nid.uFlags = 0;
        ::Shell_NotifyIconW(NIM_DELETE, &m_wndTray.m_nid);
        m_wndTray.m_bShown = FALSE;
    }
    ::PostQuitMessage(0);
    return CFrameWnd::WindowProc(WM_CLOSE, wParam, lParam);
}

LRESULT CMainFrame::DefWindowProc(UINT message, WPARAM wParam, LPARAM lParam) {
    if (message == WM_DEVICECHANGE && (wParam == DBT_DEVICEARRIVAL || wParam == DBT_DEVICEREMOVECOMPLETE) &&
        lParam) {
        auto* hdr = (const DEV_BROADCAST_HDR*)lParam;
        // The size the sender gives is all that was copied to this process.
        if (hdr->dbch_devicetype == DBT_DEVTYP_VOLUME && hdr->dbch_size >= sizeof(DEV_BROADCAST_VOLUME)) {
            auto* vol = (const DEV_BROADCAST_VOLUME*)lParam;
            // A mask without drive bits names no drive: nothing to tell.
            if (vol->dbcv_unitmask & 0x3FFFFFF) {
                CString root = DriveRootFromUnitMask(vol->dbcv_unitmask);
                BOOL bArrived = wParam == DBT_DEVICEARRIVAL;
                if (CDocument* pDoc = GetActiveDocument())
                    pDoc->UpdateAllViews(nullptr, bArrived ? HINT_VOLUME_ARRIVED : HINT_VOLUME_REMOVED, &root);
                CHandOver handOver(&root);
                if (m_pDropWnd && m_pDropWnd->m_hWnd)
                    ::SendMessageW(m_pDropWnd->m_hWnd, bArrived ? WM_DROPWIN_DRIVE_ARRIVED : WM_DROPWIN_DRIVE_REMOVED,
                                   (WPARAM)&root, 0);
            }
        }
    } else if (message == WM_DROPWIN_CLICK && wParam == 1 && IsWindowVisible()) {
        SetForegroundWindow();
        SetFocus();
    }
    return CFrameWnd::DefWindowProc(message, wParam, lParam);
}
