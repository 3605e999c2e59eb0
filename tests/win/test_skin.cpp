// The skinned caption, as systems whose major version is not 6 show it. The
// program runs itself again with Wine's per-program version set to winxp64
// (Wine reads it when a process starts), so the frame the main run makes
// wears the skin; the window-procedure hooks are tested on a plain window.
#include "app/AppMessages.h"
#include "app/KIVApp.h"
#include "app/KIVDoc.h"
#include "app/MainFrame.h"
#include "app/ResourceIds.h"
#include "app/SkinWin.h"
#include "fileops/PathFunctions.h"
#include "password/KivPwd.h"
#include "tests/support/TempDir.h"
#include "tests/support/win/ScreenShot.h"
#include "tests/support/win/MainWindow.h"
#include "tests/support/win/Watchdog.h"
#include "views/DriveView.h"
#include "views/FileView.h"
#include <gtest/gtest.h>
#include <cstdio>
#include <string>
#include <vector>

namespace {
class TestApp : public CKIVApp {
public:
    using CKIVApp::MainRun;
};
TestApp theApp;

const CString kFolder = L"E:\\skin";

CMainFrame* Frame() { return static_cast<CMainFrame*>(theApp.m_pMainWnd); }
CFileView* List() { return static_cast<CFileView*>(Frame()->m_wndSplitter.GetPane(0, 1)); }
CSkinWin& Skin() { return Frame()->m_wndSkin; }

RECT WindowRect() {
    RECT rc = {};
    ::GetWindowRect(Frame()->m_hWnd, &rc);
    return rc;
}

// The centre of a rectangle relative to the window, on the screen.
POINT ScreenPoint(const RECT& rcInWindow) {
    RECT w = WindowRect();
    POINT pt = {w.left + (rcInWindow.left + rcInWindow.right) / 2, w.top + (rcInWindow.top + rcInWindow.bottom) / 2};
    return pt;
}

LRESULT HitTest(POINT pt) { return Frame()->SendMessage(WM_NCHITTEST, 0, MAKELPARAM(pt.x, pt.y)); }

// A press and release of the left button on a skin button.
void ClickButton(const RECT& rcInWindow, UINT nHit) {
    POINT pt = ScreenPoint(rcInWindow);
    Frame()->SendMessage(WM_NCLBUTTONDOWN, nHit, MAKELPARAM(pt.x, pt.y));
    Frame()->SendMessage(WM_NCLBUTTONUP, nHit, MAKELPARAM(pt.x, pt.y));
    PumpFor(100);
}

// One pixel of a bitmap resource of the program.
COLORREF BitmapPixel(UINT nID, int x, int y) {
    HBITMAP h = ::LoadBitmapW(::GetModuleHandleW(nullptr), MAKEINTRESOURCEW(nID));
    HDC hdc = ::CreateCompatibleDC(nullptr);
    HGDIOBJ old = ::SelectObject(hdc, h);
    COLORREF c = ::GetPixel(hdc, x, y);
    ::SelectObject(hdc, old);
    ::DeleteDC(hdc);
    ::DeleteObject(h);
    return c;
}

// The screen shows the bitmap's pixel at (x, y) of a part of the window.
COLORREF ShownPixel(const RECT& rcInWindow, int x, int y) {
    RECT w = WindowRect();
    return ScreenPixel(w.left + rcInWindow.left + x, w.top + rcInWindow.top + y);
}

// Hooks that record the order in which a message passes them.
std::string g_trace;
LRESULT CALLBACK PlainProc(HWND h, UINT m, WPARAM w, LPARAM l) {
    if (m == WM_APP + 1) {
        g_trace += "window";
        return 42;
    }
    if (m == WM_NCDESTROY) g_trace += "ncdestroy";
    return ::DefWindowProcW(h, m, w, l);
}

struct TraceHook : CSubclassWnd {
    const char* name;
    explicit TraceHook(const char* n) : name(n) {}
    LRESULT HandleMessage(UINT m, WPARAM w, LPARAM l) override {
        if (m == WM_APP + 1) g_trace += std::string(name) + ">";
        return CallDefault();
    }
};

class SkinTest : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        DeleteFolderTree(kFolder);
        ::CreateDirectoryW(kFolder, nullptr);
        WriteAll(kFolder + L"\\file.txt", "f");
        ASSERT_NO_FATAL_FAILURE(OpenMainWindow(theApp, L"E:", [] { return theApp.MainRun(); }));
        ::SetWindowPos(Frame()->m_hWnd, nullptr, 60, 40, 800, 600, SWP_NOZORDER);
        PumpFor(300);
    }
    static void TearDownTestSuite() { DeleteFolderTree(kFolder); }
};
}  // namespace

TEST(SubclassWndTest, HooksChainAndLetGo) {
    WNDCLASSW wc = {};
    wc.lpfnWndProc = PlainProc;
    wc.hInstance = ::GetModuleHandleW(nullptr);
    wc.lpszClassName = L"KivHookTest";
    ::RegisterClassW(&wc);
    HWND h = ::CreateWindowW(L"KivHookTest", L"", WS_OVERLAPPED, 0, 0, 10, 10, nullptr, nullptr, wc.hInstance, nullptr);
    ASSERT_TRUE(h);
    WNDPROC original = (WNDPROC)::GetWindowLongPtrW(h, GWLP_WNDPROC);
    TraceHook older("older"), newer("newer");
    older.AttachTo(h);
    newer.AttachTo(h);
    EXPECT_EQ((WNDPROC)::GetWindowLongPtrW(h, GWLP_WNDPROC), &SharedHookProc);
    EXPECT_EQ(GetSubclassWndMap().Find(h), &newer);
    g_trace.clear();
    EXPECT_EQ(::SendMessageW(h, WM_APP + 1, 0, 0), 42);
    EXPECT_EQ(g_trace, "newer>older>window");

    // The older goes first: the newer still reaches the window.
    older.AttachTo((HWND) nullptr);
    EXPECT_FALSE(older.IsAttached());
    g_trace.clear();
    ::SendMessageW(h, WM_APP + 1, 0, 0);
    EXPECT_EQ(g_trace, "newer>window");
    // Hooked again it is the newest; the newer one going first leaves it.
    older.AttachTo(h);
    newer.AttachTo((HWND) nullptr);
    EXPECT_EQ(GetSubclassWndMap().Find(h), &older);
    older.AttachTo((HWND) nullptr);
    EXPECT_EQ((WNDPROC)::GetWindowLongPtrW(h, GWLP_WNDPROC), original);
    EXPECT_TRUE(GetSubclassWndMap().Find(h) == nullptr);

    // The window's end lets every hook go before its own procedure sees it.
    older.AttachTo(h);
    newer.AttachTo(h);
    g_trace.clear();
    ::DestroyWindow(h);
    EXPECT_EQ(g_trace, "ncdestroy");
    EXPECT_FALSE(older.IsAttached());
    EXPECT_FALSE(newer.IsAttached());
    EXPECT_TRUE(GetSubclassWndMap().Find(h) == nullptr);
}

TEST_F(SkinTest, TheFrameWearsTheSkin) {
    OSVERSIONINFOW vi = {sizeof vi};
    ::GetVersionExW(&vi);
    ASSERT_NE(vi.dwMajorVersion, 6u);
    ASSERT_TRUE(Skin().IsAttached());
    EXPECT_EQ((WNDPROC)::GetWindowLongPtrW(Frame()->m_hWnd, GWLP_WNDPROC), &SharedHookProc);

    Frame()->SetForegroundWindow();
    ::RedrawWindow(Frame()->m_hWnd, nullptr, nullptr, RDW_FRAME | RDW_INVALIDATE | RDW_UPDATENOW);
    PumpFor(500);
    EXPECT_TRUE(SaveScreenShot(L"skinned-caption"));
    Skin().ComputeFrameMetrics();
    int cyCaption = Skin().m_rcCaption.bottom - Skin().m_rcCaption.top;
    UINT nCaption = cyCaption <= 23 ? IDB_SKIN_CAPTION : IDB_SKIN_CAPTION_TALL;
    EXPECT_TRUE(Skin().m_bActive);
    // The caption bar's first repeated column, above the text; the buttons.
    EXPECT_EQ(ShownPixel(Skin().m_rcCaption, 30, 2), BitmapPixel(nCaption, 30, 2));
    EXPECT_EQ(ShownPixel(Skin().m_rcClose, 9, 10), BitmapPixel(IDB_SKIN_CLOSE, 9, 10));
    EXPECT_EQ(ShownPixel(Skin().m_rcMax, 9, 6), BitmapPixel(IDB_SKIN_MAX, 9, 6));
    EXPECT_EQ(ShownPixel(Skin().m_rcMin, 8, 13), BitmapPixel(IDB_SKIN_MIN, 8, 13));
    EXPECT_EQ(ShownPixel(Skin().m_rcLeftBorder, 1, 100), BitmapPixel(IDB_SKIN_BORDER, 1, 10));
}

TEST_F(SkinTest, HitTestsFollowTheSkinsParts) {
    Skin().ComputeFrameMetrics();
    RECT w = WindowRect();
    int cxF = ::GetSystemMetrics(SM_CXFRAME), cyF = ::GetSystemMetrics(SM_CYFRAME);
    int midX = (w.left + w.right) / 2, midY = (w.top + w.bottom) / 2;
    struct Case {
        const char* what;
        POINT pt;
        LRESULT want;
    } cases[] = {
        {"close", ScreenPoint(Skin().m_rcClose), HTCLOSE},
        {"maximise", ScreenPoint(Skin().m_rcMax), HTMAXBUTTON},
        {"minimise", ScreenPoint(Skin().m_rcMin), HTMINBUTTON},
        {"icon", ScreenPoint(Skin().m_rcIcon), HTSYSMENU},
        {"menu bar", ScreenPoint(Skin().m_rcMenu), HTMENU},
        {"caption", {midX, w.top + Skin().m_rcCaption.bottom - 3}, HTCAPTION},
        {"top edge", {midX, w.top + 1}, HTTOP},
        {"left edge", {w.left + 1, midY}, HTLEFT},
        {"right edge", {w.right - 1, midY}, HTRIGHT},
        {"bottom edge", {midX, w.bottom - 1}, HTBOTTOM},
        {"top left", {w.left + 1, w.top + 1}, HTTOPLEFT},
        {"top right", {w.right - 1, w.top + 1}, HTTOPRIGHT},
        {"bottom left", {w.left + 1, w.bottom - 1}, HTBOTTOMLEFT},
        {"bottom right", {w.right - 1, w.bottom - 1}, HTBOTTOMRIGHT},
        {"client", {midX, midY}, HTCLIENT},
    };
    ASSERT_GE(cxF, 2);
    ASSERT_GE(cyF, 2);
    for (const Case& c : cases) EXPECT_EQ(HitTest(c.pt), c.want) << c.what;
}

TEST_F(SkinTest, CloseAndMinimiseButtonsHide) {
    HWND h = Frame()->m_hWnd;
    for (UINT nHit : {(UINT)HTCLOSE, (UINT)HTMINBUTTON}) {
        Skin().ComputeFrameMetrics();
        ClickButton(nHit == HTCLOSE ? Skin().m_rcClose : Skin().m_rcMin, nHit);
        EXPECT_TRUE(::IsWindow(h));
        EXPECT_FALSE(::IsWindowVisible(h)) << nHit;
        EXPECT_FALSE(::IsIconic(h));
        Frame()->SendMessage(WM_COMMAND, ID_SHOW_HIDE);
        EXPECT_TRUE(::IsWindowVisible(h));
    }
}

TEST_F(SkinTest, MaximiseFillsTheWorkAreaAndRestoreReturns) {
    RECT before = WindowRect(), work = {};
    ::SystemParametersInfoW(SPI_GETWORKAREA, 0, &work, 0);
    Skin().ComputeFrameMetrics();
    ClickButton(Skin().m_rcMax, HTMAXBUTTON);
    EXPECT_EQ(Skin().m_nState, 1);
    RECT now = WindowRect();
    EXPECT_TRUE(EqualRect(&now, &work)) << now.left << "," << now.top << "," << now.right << "," << now.bottom;
    EXPECT_FALSE(::IsZoomed(Frame()->m_hWnd));
    // The button shows the restore image; the edges no longer size.
    PumpFor(200);
    Skin().ComputeFrameMetrics();
    EXPECT_EQ(ShownPixel(Skin().m_rcMax, 5, 15), BitmapPixel(IDB_SKIN_RESTORE, 5, 15));
    EXPECT_EQ(HitTest({now.left + 1, (now.top + now.bottom) / 2}), HTCLIENT);
    ClickButton(Skin().m_rcMax, HTMAXBUTTON);
    EXPECT_EQ(Skin().m_nState, 0);
    now = WindowRect();
    EXPECT_TRUE(EqualRect(&now, &before));

    // A double click on the caption, and the system's maximise with the
    // hit code in its low bits, do the same.
    POINT cap = {(before.left + before.right) / 2, before.top + Skin().m_rcCaption.bottom - 3};
    Frame()->SendMessage(WM_NCLBUTTONDBLCLK, HTCAPTION, MAKELPARAM(cap.x, cap.y));
    EXPECT_EQ(Skin().m_nState, 1);
    Frame()->SendMessage(WM_NCLBUTTONDBLCLK, HTCAPTION, MAKELPARAM(cap.x, cap.y));
    EXPECT_EQ(Skin().m_nState, 0);
    Frame()->SendMessage(WM_SYSCOMMAND, SC_MAXIMIZE | HTCAPTION, 0);
    EXPECT_EQ(Skin().m_nState, 1);
    now = WindowRect();
    EXPECT_TRUE(EqualRect(&now, &work));
    Frame()->SendMessage(WM_SYSCOMMAND, SC_RESTORE | HTCAPTION, 0);
    EXPECT_EQ(Skin().m_nState, 0);
    now = WindowRect();
    EXPECT_TRUE(EqualRect(&now, &before));
}

TEST_F(SkinTest, TheWindowKeepsItsMinimumSize) {
    RECT rcWindow = WindowRect(), rcClient = {};
    ::GetClientRect(Frame()->m_hWnd, &rcClient);
    MINMAXINFO mmi = {};
    Frame()->SendMessage(WM_GETMINMAXINFO, 0, (LPARAM)&mmi);
    EXPECT_EQ(mmi.ptMinTrackSize.x, (rcWindow.right - rcWindow.left) - rcClient.right + 500);
    EXPECT_EQ(mmi.ptMinTrackSize.y, (rcWindow.bottom - rcWindow.top) - rcClient.bottom + 300);
    RECT before = WindowRect();
    ::SetWindowPos(Frame()->m_hWnd, nullptr, 0, 0, 200, 150, SWP_NOMOVE | SWP_NOZORDER);
    ::GetClientRect(Frame()->m_hWnd, &rcClient);
    EXPECT_GE(rcClient.right, 500);
    EXPECT_GE(rcClient.bottom, 300);
    ::SetWindowPos(Frame()->m_hWnd, nullptr, before.left, before.top, before.right - before.left,
                   before.bottom - before.top, SWP_NOZORDER);
}

TEST_F(SkinTest, AfterActivationTheKeyboardWorksInTheList) {
    // The list shows a folder and has the keyboard.
    CTreeCtrl& tree = static_cast<CDriveView*>(Frame()->m_wndSplitter.GetPane(0, 0))->GetTreeCtrl();
    HTREEITEM root = tree.GetRootItem();
    tree.Expand(root, TVE_EXPAND);
    HTREEITEM h = tree.GetChildItem(root);
    while (h && tree.GetItemText(h) != L"skin") h = tree.GetNextSiblingItem(h);
    ASSERT_TRUE(h);
    tree.SelectItem(h);
    ASSERT_TRUE(PumpUntil([] { return List()->m_strFolder == kFolder; }, 3000));
    CListCtrl& list = List()->GetListCtrl();
    list.SetItemState(0, LVIS_SELECTED | LVIS_FOCUSED, LVIS_SELECTED | LVIS_FOCUSED);
    Frame()->SetForegroundWindow();
    List()->SetFocus();

    // What the skin passes on to the frame's own procedure is seen by a
    // hook below it. (Wine's activation moves the keyboard into an
    // activated window by itself; Windows leaves that to the window's
    // default handling of WM_ACTIVATE, so the skin must pass it on.)
    struct ActivateSpy : CSubclassWnd {
        int nPassed = 0;
        LRESULT HandleMessage(UINT m, WPARAM w, LPARAM l) override {
            if (m == WM_ACTIVATE) ++nPassed;
            return CallDefault();
        }
    } below;
    Skin().AttachTo((HWND) nullptr);
    below.AttachTo(Frame()->m_hWnd);
    ApplySkin(Frame(), &Skin());
    ASSERT_EQ(GetSubclassWndMap().Find(Frame()->m_hWnd), &Skin());

    // Another window takes the activation, then the frame gets it back.
    HWND other = ::CreateWindowW(L"STATIC", L"other", WS_OVERLAPPEDWINDOW | WS_VISIBLE, 900, 700, 200, 100, nullptr,
                                 nullptr, ::GetModuleHandleW(nullptr), nullptr);
    ASSERT_TRUE(other);
    ::SetForegroundWindow(other);
    ::SetActiveWindow(other);
    PumpFor(300);
    EXPECT_FALSE(Skin().m_bActive);
    Skin().ComputeFrameMetrics();
    UINT nInactive = Skin().m_rcCaption.bottom - Skin().m_rcCaption.top <= 23 ? IDB_SKIN_CAPTION_INACTIVE
                                                                              : IDB_SKIN_CAPTION_TALL_INACTIVE;
    EXPECT_EQ(ShownPixel(Skin().m_rcCaption, 30, 2), BitmapPixel(nInactive, 30, 2));
    ::SetForegroundWindow(Frame()->m_hWnd);
    ::SetActiveWindow(Frame()->m_hWnd);
    PumpFor(300);
    EXPECT_TRUE(Skin().m_bActive);
    EXPECT_EQ(::GetFocus(), List()->m_hWnd);
    EXPECT_GE(below.nPassed, 2);  // the deactivation and the activation
    Skin().AttachTo((HWND) nullptr);
    below.AttachTo((HWND) nullptr);
    ApplySkin(Frame(), &Skin());

    // F2 through the keyboard focus opens the label edit.
    HWND hFocus = ::GetFocus();
    ASSERT_TRUE(hFocus);
    ::PostMessageW(hFocus, WM_KEYDOWN, VK_F2, 1);
    EXPECT_TRUE(PumpUntil([&] { return list.SendMessage(LVM_GETEDITCONTROL) != 0; }, 3000));
    if (HWND hEdit = (HWND)list.SendMessage(LVM_GETEDITCONTROL)) ::PostMessageW(hEdit, WM_KEYDOWN, VK_ESCAPE, 1);
    PumpFor(200);
    ::DestroyWindow(other);
}

// The skin shows only when Wine reports a version other than 6 to this
// program: the first run sets that for the program's name and runs it again.
int main(int argc, char** argv) {
    OSVERSIONINFOW vi = {sizeof vi};
    ::GetVersionExW(&vi);
    WCHAR already[8] = {0};
    bool child = ::GetEnvironmentVariableW(L"KIV_SKIN_TEST_CHILD", already, 8) > 0;
    if (vi.dwMajorVersion == 6 && !child) {
        WCHAR self[MAX_PATH] = {0};
        ::GetModuleFileNameW(nullptr, self, MAX_PATH);
        CString key = L"Software\\Wine\\AppDefaults\\" + GetFileNamePart(self);
        HKEY hKey = nullptr;
        if (::RegCreateKeyExW(HKEY_CURRENT_USER, key, 0, nullptr, 0, KEY_SET_VALUE, nullptr, &hKey, nullptr) !=
            ERROR_SUCCESS) {
            fprintf(stderr, "cannot set the version for %s\n", key.ToUtf8().c_str());
            return 1;
        }
        static const WCHAR kVersion[] = L"winxp64";
        ::RegSetValueExW(hKey, L"Version", 0, REG_SZ, (const BYTE*)kVersion, sizeof kVersion);
        ::RegCloseKey(hKey);
        ::SetEnvironmentVariableW(L"KIV_SKIN_TEST_CHILD", L"1");
        STARTUPINFOW si = {sizeof si};
        si.dwFlags = STARTF_USESTDHANDLES;
        si.hStdInput = ::GetStdHandle(STD_INPUT_HANDLE);
        si.hStdOutput = ::GetStdHandle(STD_OUTPUT_HANDLE);
        si.hStdError = ::GetStdHandle(STD_ERROR_HANDLE);
        for (HANDLE hStd : {si.hStdInput, si.hStdOutput, si.hStdError})
            if (hStd && hStd != INVALID_HANDLE_VALUE) ::SetHandleInformation(hStd, HANDLE_FLAG_INHERIT, HANDLE_FLAG_INHERIT);
        PROCESS_INFORMATION pi = {};
        std::vector<WCHAR> cmd(::GetCommandLineW(), ::GetCommandLineW() + lstrlenW(::GetCommandLineW()) + 1);
        fflush(stdout);
        if (!::CreateProcessW(self, cmd.data(), nullptr, nullptr, TRUE, 0, nullptr, nullptr, &si, &pi)) {
            fprintf(stderr, "cannot run %s again\n", CString(self).ToUtf8().c_str());
            return 1;
        }
        ::WaitForSingleObject(pi.hProcess, INFINITE);
        DWORD code = 1;
        ::GetExitCodeProcess(pi.hProcess, &code);
        ::CloseHandle(pi.hProcess);
        ::CloseHandle(pi.hThread);
        ::RegDeleteKeyW(HKEY_CURRENT_USER, key);
        return (int)code;
    }
    if (vi.dwMajorVersion == 6) {
        fprintf(stderr, "the version setting did not take: still %lu.%lu\n", vi.dwMajorVersion, vi.dwMinorVersion);
        return 1;
    }
    testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
