#include "app/SplashDlg.h"
#include "app/AppMessages.h"
#include "app/HandOver.h"
#include "app/KIVApp.h"
#include "app/MainFrame.h"
#include "app/SystemTray.h"
#include "fileops/PathFunctions.h"
#include "fileops/TaskMessage.h"
#include "fileops/TaskThread.h"
#include "views/DroppedFiles.h"
#include <shlobj.h>
#include <new>
#include <vector>

IMPLEMENT_DYNAMIC(SPLASHDLG, CDialog)

BEGIN_MESSAGE_MAP(SPLASHDLG, CDialog)
    ON_WM_CREATE()
    ON_WM_NCHITTEST()
    ON_WM_PAINT()
    ON_WM_LBUTTONDOWN()
    ON_WM_LBUTTONDBLCLK()
    ON_WM_RBUTTONDOWN()
    ON_WM_CONTEXTMENU()
    ON_WM_MOUSEMOVE()
    ON_WM_DROPFILES()
    ON_MESSAGE(WM_CTLCOLORSTATIC, &SPLASHDLG::OnCtlColorStatic)
    ON_MESSAGE(WM_DROPWIN_DRIVE_ARRIVED, &SPLASHDLG::OnDriveArrived)
    ON_MESSAGE(WM_DROPWIN_DRIVE_REMOVED, &SPLASHDLG::OnDriveRemoved)
END_MESSAGE_MAP()

namespace {

const COLORREF TIP_BACK_COLOR = 0xE7FFFF;  // pale yellow
const int TIP_MAX_WIDTH = 400;
// The tip shows half a second after the mouse stops and stays 20 seconds.
const int TIP_INITIAL_MS = 500;
const int TIP_SHOWN_MS = 20000;

CString DrivePath() {
    CKIVApp* pApp = static_cast<CKIVApp*>(AfxGetApp());
    return pApp ? pApp->GetDrivePath() : CString();
}

}  // namespace

SPLASHDLG::SPLASHDLG(CWnd* pParent) : CDialog(IDD_DROPWIN, pParent), m_hOwner(nullptr) {}

SPLASHDLG::~SPLASHDLG() {}

CString SPLASHDLG::DefaultDirFile() { return DrivePath() + L"\\UserDefPath.ini"; }

int SPLASHDLG::OnCreate(LPCREATESTRUCT lpcs) {
    if (CDialog::OnCreate(lpcs) == -1) return -1;
    RECT rect = {0, 0, 120, 120};
    if (!m_animate.Create(WS_CHILD | WS_VISIBLE | ACS_AUTOPLAY, rect, this, IDC_DROPWIN_ANIMATE)) return -1;
    MakeLayered();
    RedrawDropWindow();
    return 0;
}

BOOL SPLASHDLG::OnInitDialog() {
    CDialog::OnInitDialog();

    CString strDrive = DrivePath();
    m_strDriveRoot = strDrive.Left(3);

    // The stored folder lacks its drive letter, which may differ from run
    // to run: the drive folder's gives it back.
    m_strDefaultDir.Empty();
    CFile file;
    if (file.Open(DefaultDirFile(), CFile::modeRead | CFile::shareDenyWrite)) {
        try {
            UINT nChars = (UINT)(file.GetLength() / sizeof(WCHAR));
            std::vector<WCHAR> text(nChars + 1, 0);
            if (nChars) file.Read(text.data(), nChars * sizeof(WCHAR));
            m_strDefaultDir = strDrive.Left(2) + CString(text.data(), (int)nChars);
        } catch (CException* e) {
            e->Delete();
            m_strDefaultDir.Empty();
        } catch (const std::bad_alloc&) {
            m_strDefaultDir.Empty();
        }
        file.Abort();
    }

    ::DragAcceptFiles(m_hWnd, TRUE);

    if (m_toolTip.Create(this)) {
        m_toolTip.SetTipBkColor(TIP_BACK_COLOR);
        m_toolTip.SetTipTextColor(RGB(0, 0, 0));
        m_toolTip.SetMaxTipWidth(TIP_MAX_WIDTH);
        m_toolTip.SetDelayTime(TTDT_INITIAL, TIP_INITIAL_MS);
        m_toolTip.SetDelayTime(TTDT_AUTOPOP, TIP_SHOWN_MS);
        ResetToolTip();
    }
    return TRUE;
}

void SPLASHDLG::ResetToolTip() {
    if (!m_toolTip.m_hWnd) return;
    CWnd* pArea = GetDlgItem(IDC_DROPWIN_AREA);
    if (!pArea) return;
    RECT rect;
    pArea->GetWindowRect(&rect);
    ScreenToClient(&rect);
    m_toolTip.DelTool(this, IDC_DROPWIN_AREA);
    m_toolTip.AddTool(this, m_strDefaultDir, &rect, IDC_DROPWIN_AREA);
}

void SPLASHDLG::RelayToolTip(UINT nFlags, POINT point) {
    if (!m_toolTip.m_hWnd) return;
    CWnd* pArea = GetDlgItem(IDC_DROPWIN_AREA);
    MSG msg = {};
    msg.hwnd = pArea ? ::GetParent(pArea->m_hWnd) : m_hWnd;
    msg.message = WM_MOUSEMOVE;
    msg.wParam = nFlags;
    msg.lParam = MAKELPARAM(point.x, point.y);
    msg.time = 0;
    msg.pt = point;
    m_toolTip.RelayEvent(&msg);
}

BOOL SPLASHDLG::OnCommand(WPARAM wParam, LPARAM lParam) {
    UINT nID = LOWORD(wParam);
    if (nID == IDOK || nID == IDCANCEL) return TRUE;
    return CDialog::OnCommand(wParam, lParam);
}

LRESULT SPLASHDLG::OnNcHitTest(POINT) { return HTCLIENT; }

void SPLASHDLG::MakeLayered() {
    ModifyStyleEx(0, WS_EX_LAYERED);
    // Looked up each time: older systems have no layered windows at all.
    typedef BOOL(WINAPI * SetLayeredProc)(HWND, COLORREF, BYTE, DWORD);
    HMODULE hUser = ::LoadLibraryW(L"User32.DLL");
    if (!hUser) return;
    SetLayeredProc pfn = (SetLayeredProc)(void*)::GetProcAddress(hUser, "SetLayeredWindowAttributes");
    if (pfn) pfn(m_hWnd, 0, 255, LWA_ALPHA);
    ::FreeLibrary(hUser);
}

BOOL SPLASHDLG::RedrawDropWindow() {
    if (m_animate.m_hWnd) {
        m_animate.Stop();
        m_animate.Close();
    }
    HDC hDC = ::GetWindowDC(m_hWnd);
    if (hDC) {
        PaintBitmap(hDC);
        ::ReleaseDC(m_hWnd, hDC);
    }
    return TRUE;
}

void SPLASHDLG::PaintBitmap(HDC hDC) {
    HBITMAP hBitmap = ::LoadBitmapW(AfxGetResourceHandle(), MAKEINTRESOURCEW(IDB_DROPWIN));
    if (!hBitmap) return;
    HDC hMem = ::CreateCompatibleDC(hDC);
    if (hMem) {
        BITMAP bm = {};
        ::GetObjectW(hBitmap, sizeof bm, &bm);
        HGDIOBJ hOld = ::SelectObject(hMem, hBitmap);
        RECT rect;
        GetWindowRect(&rect);
        ::StretchBlt(hDC, 4, 4, rect.right - rect.left - 6, rect.bottom - rect.top - 8, hMem, 0, 0, bm.bmWidth,
                     bm.bmHeight, SRCCOPY);
        ::SelectObject(hMem, hOld);
        ::DeleteDC(hMem);
    }
    ::DeleteObject(hBitmap);
}

void SPLASHDLG::OnPaint() {
    // The default painting first: it erases the client area, which would
    // wipe the picture out again.
    Default();
    HDC hDC = ::GetWindowDC(m_hWnd);
    if (hDC) {
        PaintBitmap(hDC);
        ::ReleaseDC(m_hWnd, hDC);
    }
}

LRESULT SPLASHDLG::OnCtlColorStatic(WPARAM wParam, LPARAM lParam) {
    // The idle animation control would fill its area with the dialog's
    // colour over the picture; it draws only its clip's frames instead.
    if ((HWND)lParam == m_animate.m_hWnd) return (LRESULT)::GetStockObject(NULL_BRUSH);
    return Default();
}

void SPLASHDLG::OnLButtonDown(UINT nFlags, POINT point) {
    if (m_hOwner) ::SendMessageW(m_hOwner, WM_DROPWIN_CLICK, 1, 0);
    // The system's move by the caption, so that the user drags the window.
    SendMessage(WM_LBUTTONUP, nFlags, MAKELPARAM(point.x, point.y));
    SendMessage(WM_SYSCOMMAND, SC_MOVE | HTCAPTION, 0);
}

void SPLASHDLG::OnLButtonDblClk(UINT, POINT) {
    if (m_hOwner) ::SendMessageW(m_hOwner, WM_SHOW_MAIN, 0, 0);
    Default();
}

void SPLASHDLG::OnRButtonDown(UINT, POINT) {
    if (m_hOwner) ::SendMessageW(m_hOwner, WM_DROPWIN_CLICK, 1, 0);
    Default();
}

void SPLASHDLG::OnContextMenu(CWnd*, POINT) {
    // The owner shows its tray menu at the cursor, as for the tray icon.
    if (m_hOwner) ::SendMessageW(m_hOwner, WM_TRAY_NOTIFY, IDR_TRAY_ICON_ID, WM_RBUTTONUP);
}

void SPLASHDLG::OnMouseMove(UINT nFlags, POINT point) {
    RelayToolTip(nFlags, point);
    Default();
}

LRESULT SPLASHDLG::OnDriveArrived(WPARAM wParam, LPARAM) {
    // Only the root the frame is handing over: anything else may name any memory.
    const CString* pRoot = CHandOver::IsHeld((const void*)wParam) ? reinterpret_cast<const CString*>(wParam) : nullptr;
    if (pRoot && !pRoot->IsEmpty() && m_strDriveRoot.IsEmpty()) m_strDriveRoot = *pRoot;
    return 0;
}

LRESULT SPLASHDLG::OnDriveRemoved(WPARAM wParam, LPARAM) {
    const CString* pRoot = CHandOver::IsHeld((const void*)wParam) ? reinterpret_cast<const CString*>(wParam) : nullptr;
    if (pRoot && !pRoot->IsEmpty() && !m_strDriveRoot.IsEmpty() && *pRoot == m_strDriveRoot)
        m_strDriveRoot.Empty();
    return 0;
}

CString SPLASHDLG::GetDefaultDirectory() const { return m_strDefaultDir; }

BOOL SPLASHDLG::SaveDefaultDirectory(const CString& strPath) {
    // Only a folder of the program's own drive: the file keeps the path
    // without its drive letter, and the drive's letter is put back when it
    // is read, so any other path would come back as a wrong one.
    CString strDrive = DrivePath();
    BOOL bOnDrive = strDrive.GetLength() >= 2 && strPath.GetLength() >= 3 &&
                    ::towupper(strPath[0]) == ::towupper(strDrive[0]) && strPath[1] == strDrive[1] &&
                    strPath[1] == L':' && strPath[2] == L'\\';
    if (!bOnDrive) {
        AfxMessageBox(IDS_DROPWIN_SAVE_FAILED, MB_OK);
        return FALSE;
    }

    CString strFile = DefaultDirFile();
    // A hidden file cannot be opened for replacing.
    DWORD dwAttr = ::GetFileAttributesW(strFile);
    if (dwAttr != INVALID_FILE_ATTRIBUTES && (dwAttr & FILE_ATTRIBUTE_HIDDEN) &&
        !::SetFileAttributesW(strFile, dwAttr & ~FILE_ATTRIBUTE_HIDDEN)) {
        AfxMessageBox(IDS_DROPWIN_SAVE_FAILED, MB_OK);
        return FALSE;
    }

    CString strText = strPath.Mid(2);
    CFile file;
    if (!file.Open(strFile, CFile::modeCreate | CFile::modeWrite)) {
        AfxMessageBox(IDS_DROPWIN_SAVE_FAILED, MB_OK);
        return FALSE;
    }
    try {
        file.Write((LPCWSTR)strText, (UINT)strText.GetLength() * sizeof(WCHAR));
        file.Close();
    } catch (CException* e) {
        e->Delete();
        file.Abort();
        AfxMessageBox(IDS_DROPWIN_SAVE_FAILED, MB_OK);
        return FALSE;
    }

    dwAttr = ::GetFileAttributesW(strFile);
    if (dwAttr == INVALID_FILE_ATTRIBUTES || !::SetFileAttributesW(strFile, dwAttr | FILE_ATTRIBUTE_HIDDEN)) {
        AfxMessageBox(IDS_DROPWIN_SAVE_FAILED, MB_OK);
        return FALSE;
    }

    m_strDefaultDir = strDrive.Left(2) + strText;
    ResetToolTip();
    return TRUE;
}

CString SPLASHDLG::DropTarget() const {
    if (!m_strDefaultDir.IsEmpty()) return m_strDefaultDir;
    return m_strDriveRoot;
}

void SPLASHDLG::OnDropFiles(HDROP hDropInfo) {
    // Any program can post this message with any value: only a block that
    // passes the check is a drop, and only that one is released. Freeing
    // anything else could free a live block of this process.
    std::vector<CString> paths;
    if (!ReadDroppedFiles((HGLOBAL)hDropInfo, paths)) return;
    ::DragFinish(hDropInfo);
    CString strFolder = DropTarget();
    if (strFolder.IsEmpty()) {
        ShowTaskError(TaskString(125), TaskString(117));
        return;
    }
    if (!paths.empty()) CompressDropped(paths, strFolder);
}

void SPLASHDLG::CompressDropped(const std::vector<CString>& paths, const CString& strFolder) {
    CMainFrame* pFrame = nullptr;
    CWnd* pMain = AfxGetMainWnd();
    if (pMain && pMain->IsKindOf(RUNTIME_CLASS(CMainFrame))) pFrame = static_cast<CMainFrame*>(pMain);

    // The frame stops the clip when the batch reports its end.
    MakeLayered();
    m_animate.Open(IDR_DROPWIN_AVI);
    if (pFrame) pFrame->m_bAnimating = 1;

    CString strBase = strFolder;
    if (strBase.Right(1) != L"\\") strBase += L"\\";

    CFileTaskThread* pBatch = new CFileTaskThread;
    for (const CString& strSrc : paths) {
        CString strName = GetFileNamePart(strSrc);
        CString strDst = strBase + strName;
        if (strDst == strSrc) {
            // A file of the target folder would be written beside itself:
            // the whole drop is refused.
            CString strText;
            strText.Format(L"%s%s: ", (LPCWSTR)TaskString(IDS_DROPWIN_CANNOT_MOVE), (LPCWSTR)strName);
            ShowTaskError(strText + TaskString(IDS_DROPWIN_SAME_NAMES), TaskString(121));
            delete pBatch;
            MakeLayered();
            RedrawDropWindow();
            if (pFrame) pFrame->m_bAnimating = 0;
            return;
        }
        pBatch->AddTask(strSrc, strDst, TASK_COMPRESS);
    }

    // The main frame owns the batch and deletes it when it reports its end.
    if (pFrame) pFrame->StartBatch(pBatch, FALSE);
    else pBatch->Start(FALSE);
}
