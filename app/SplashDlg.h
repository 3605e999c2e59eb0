// SPLASHDLG: the small always-on-top window beside the main window. Files
// dropped on it are compressed into the default folder (or the drive's
// root) while its animation plays; clicks on it reach the main window. It
// alone reads and writes the default folder's file "UserDefPath.ini".
#pragma once
#include "framework/Win.h"
#include "framework/win/ToolTipCtrl.h"
#include <shellapi.h>
#include <vector>

// Resources of the window (res/dropwin.rc).
#define IDD_DROPWIN 155
#define IDB_DROPWIN 174
#define IDR_DROPWIN_AVI 156
#define IDC_DROPWIN_AREA 1011
#define IDC_DROPWIN_ANIMATE 59402
#define IDS_DROPWIN_CANNOT_MOVE 113
#define IDS_DROPWIN_SAVE_FAILED 134
#define IDS_DROPWIN_SAME_NAMES 160

class SPLASHDLG : public CDialog {
    DECLARE_DYNAMIC(SPLASHDLG)
public:
    // Template 155; the main frame creates it modeless with Create(155)
    // and no parent.
    explicit SPLASHDLG(CWnd* pParent = nullptr);
    ~SPLASHDLG() override;

    // Enter and Esc (IDOK, IDCANCEL) never close the window.
    BOOL OnCommand(WPARAM wParam, LPARAM lParam) override;
    // Drive root and default folder, dropped files accepted, the tooltip.
    BOOL OnInitDialog() override;
    // The whole window is client area: no caption or border to drag by.
    virtual LRESULT OnNcHitTest(POINT point);
    // WM_DROPWIN_DRIVE_ARRIVED, wParam a CString* drive root (or null): the
    // root is taken when the window has none. Result 0.
    virtual LRESULT OnDriveArrived(WPARAM wParam, LPARAM lParam);
    // WM_DROPWIN_DRIVE_REMOVED, wParam as above: the window's root is
    // forgotten when it is exactly that text. Result 0.
    virtual LRESULT OnDriveRemoved(WPARAM wParam, LPARAM lParam);

    // Adds the layered extended style, fully opaque where the system can
    // set the layer's opacity.
    void MakeLayered();
    // Stops and closes the animation clip and paints the bitmap; TRUE.
    BOOL RedrawDropWindow();
    // The default folder; empty when none is set.
    CString GetDefaultDirectory() const;
    // Stores strPath as the default folder in "UserDefPath.ini" (hidden,
    // without the drive letter) and shows it in the tooltip. Only a folder
    // on the program's drive is taken (its drive letter, a colon and a
    // backslash). A refusal or any failure shows string 134 and changes
    // nothing of the window; FALSE then.
    BOOL SaveDefaultDirectory(const CString& strPath);

    // The bitmap stretched over the window, whose whole-window context is hDC.
    void PaintBitmap(HDC hDC);
    // Hands a mouse move over the window to the tooltip.
    void RelayToolTip(UINT nFlags, POINT point);
    // The tool over the static area, again, with the current default folder.
    void ResetToolTip();

    CString m_strDriveRoot;   // fallback target: the program's drive root
    CString m_strDefaultDir;  // the default target; empty when none is set
    CToolTipCtrl m_toolTip;   // shows the default folder
    HWND m_hOwner;            // the main window, set by the frame; gets the clicks
    CAnimateCtrl m_animate;   // plays AVI 156 while a drop is compressed

protected:
    afx_msg int OnCreate(LPCREATESTRUCT lpcs);
    afx_msg void OnPaint();
    afx_msg LRESULT OnCtlColorStatic(WPARAM wParam, LPARAM lParam);
    afx_msg void OnLButtonDown(UINT nFlags, POINT point);
    afx_msg void OnLButtonDblClk(UINT nFlags, POINT point);
    afx_msg void OnRButtonDown(UINT nFlags, POINT point);
    afx_msg void OnContextMenu(CWnd* pWnd, POINT point);
    afx_msg void OnMouseMove(UINT nFlags, POINT point);
    afx_msg void OnDropFiles(HDROP hDropInfo);

    // "UserDefPath.ini" in the drive folder.
    static CString DefaultDirFile();
    // The folder dropped files go to; empty when there is none.
    CString DropTarget() const;
    // Compresses the dropped paths into strFolder unless one of them lies
    // there already.
    void CompressDropped(const std::vector<CString>& paths, const CString& strFolder);

    DECLARE_MESSAGE_MAP()
};

