// The main frame's toolbar as a dock site carries it: docked on each side of
// the frame with the splitter beside it, floating in a window of its own,
// hidden and shown by the View menu's toggle, dragged by its gripper, and
// its fly-by prompts in the status bar.
#include "app/KIVApp.h"
#include "app/MainFrame.h"
#include "app/ResourceIds.h"
#include "framework/win/DockBar.h"
#include "framework/win/DockContext.h"
#include "framework/win/FloatFrame.h"
#include "tests/support/win/MainWindow.h"
#include "tests/support/win/Watchdog.h"
#include <gtest/gtest.h>

namespace {
class TestApp : public CKIVApp {
public:
    using CKIVApp::MainRun;
};
TestApp theApp;

CMainFrame* Frame() { return static_cast<CMainFrame*>(theApp.m_pMainWnd); }
CToolBar& Bar() { return Frame()->m_wndToolBar; }

RECT ScreenRect(HWND h) {
    RECT r = {};
    ::GetWindowRect(h, &r);
    return r;
}
RECT SplitterRect() { return ScreenRect(Frame()->m_wndSplitter.m_hWnd); }
RECT StatusRect() { return ScreenRect(Frame()->m_wndStatusBar.m_hWnd); }
RECT ClientScreenRect() {
    RECT r = {};
    Frame()->GetClientRect(&r);
    Frame()->ClientToScreen(&r);
    return r;
}

// The buttons' rectangles (separators left out), in the bar's client area.
std::vector<RECT> ButtonRects() {
    std::vector<RECT> r;
    for (int i = 0; i < Bar().GetCount(); ++i) {
        RECT b = {};
        if (Bar().GetItemID(i) && Bar().SendMessage(TB_GETITEMRECT, (WPARAM)i, (LPARAM)&b)) r.push_back(b);
    }
    return r;
}
bool InOneColumn() {
    std::vector<RECT> b = ButtonRects();
    for (size_t i = 1; i < b.size(); ++i)
        if (b[i].left != b[0].left || b[i].top <= b[i - 1].top) return false;
    return b.size() == 7;
}
bool InOneRow() {
    std::vector<RECT> b = ButtonRects();
    for (size_t i = 1; i < b.size(); ++i)
        if (b[i].top != b[0].top || b[i].left <= b[i - 1].left) return false;
    return b.size() == 7;
}
// Every button lies inside the bar's client area.
bool ButtonsInside() {
    RECT c = {};
    Bar().GetClientRect(&c);
    for (const RECT& b : ButtonRects())
        if (b.right > c.right || b.bottom > c.bottom) return false;
    return true;
}

HWND DockSite(UINT nID) { return ::GetDlgItem(Frame()->m_hWnd, (int)nID); }

class ToolbarDockingTest : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        ASSERT_NO_FATAL_FAILURE(OpenMainWindow(theApp, L"E:", [] { return theApp.MainRun(); }));
        ASSERT_TRUE(Frame() != nullptr);
    }
    void TearDown() override {
        // Each test starts from the place the frame gives the bar.
        Frame()->ShowControlBar(&Bar(), TRUE, FALSE);
        Frame()->DockControlBar(&Bar(), AFX_IDW_DOCKBAR_TOP);
        Frame()->m_wndStatusBar.SetPaneText(0, L"");
    }
};
}  // namespace

TEST_F(ToolbarDockingTest, StartsDockedOnTopWithAGripperAboveTheSplitter) {
    ASSERT_TRUE(DockSite(AFX_IDW_DOCKBAR_TOP) != nullptr);
    EXPECT_EQ(::GetParent(Bar().m_hWnd), DockSite(AFX_IDW_DOCKBAR_TOP));
    EXPECT_TRUE(Bar().IsWindowVisible());
    EXPECT_FALSE(Bar().IsFloating());
    EXPECT_TRUE(InOneRow());
    EXPECT_TRUE(ButtonsInside());

    RECT bar = ScreenRect(Bar().m_hWnd), split = SplitterRect(), client = ClientScreenRect();
    EXPECT_EQ(bar.top, client.top);
    EXPECT_EQ(bar.left, client.left);
    EXPECT_EQ(split.top, bar.bottom);
    EXPECT_EQ(split.left, client.left);
    EXPECT_EQ(split.right, client.right);
    EXPECT_EQ(split.bottom, StatusRect().top);

    // The gripper is the strip on the bar's left, outside its buttons, and
    // the pointer there grabs the bar.
    RECT g = Bar().GetGripperRect();
    ASSERT_FALSE(::IsRectEmpty(&g));
    EXPECT_EQ(g.left, 0);
    EXPECT_EQ(g.bottom - g.top, bar.bottom - bar.top);
    POINT origin = {0, 0};
    Bar().ClientToScreen(&origin);
    EXPECT_GE(origin.x - bar.left, g.right);
    POINT inGrip = {bar.left + g.right / 2, (bar.top + bar.bottom) / 2};
    EXPECT_EQ(Bar().SendMessage(WM_NCHITTEST, 0, MAKELPARAM(inGrip.x, inGrip.y)), HTCAPTION);
    EXPECT_NE(Bar().SendMessage(WM_NCHITTEST, 0, MAKELPARAM(origin.x + 5, origin.y + 5)), HTCAPTION);

    // It is drawn: a raised ridge, light on its left and dark on its right.
    ::RedrawWindow(Bar().m_hWnd, nullptr, nullptr, RDW_FRAME | RDW_INVALIDATE | RDW_UPDATENOW);
    HDC dc = ::GetWindowDC(Bar().m_hWnd);
    int mid = (bar.bottom - bar.top) / 2;
    COLORREF light = ::GetPixel(dc, 3, mid), dark = ::GetPixel(dc, 5, mid), face = ::GetPixel(dc, 1, mid);
    ::ReleaseDC(Bar().m_hWnd, dc);
    EXPECT_EQ(light, ::GetSysColor(COLOR_BTNHIGHLIGHT));
    EXPECT_EQ(dark, ::GetSysColor(COLOR_BTNSHADOW));
    EXPECT_EQ(face, ::GetSysColor(COLOR_BTNFACE));
}

TEST_F(ToolbarDockingTest, DocksOnEverySideWithTheSplitterBesideIt) {
    const struct {
        UINT nID;
        bool upright;
    } sides[] = {{AFX_IDW_DOCKBAR_LEFT, true},
                 {AFX_IDW_DOCKBAR_RIGHT, true},
                 {AFX_IDW_DOCKBAR_BOTTOM, false},
                 {AFX_IDW_DOCKBAR_TOP, false}};
    for (const auto& s : sides) {
        SCOPED_TRACE(s.nID);
        Frame()->DockControlBar(&Bar(), s.nID);
        ASSERT_EQ(::GetParent(Bar().m_hWnd), DockSite(s.nID));
        EXPECT_EQ(Bar().IsVertDocked() != 0, s.upright);
        EXPECT_TRUE(s.upright ? InOneColumn() : InOneRow());
        EXPECT_TRUE(ButtonsInside());
        EXPECT_EQ(Bar().m_nLastDockID, s.nID);

        RECT bar = ScreenRect(Bar().m_hWnd), split = SplitterRect(), client = ClientScreenRect();
        RECT status = StatusRect(), overlap = {};
        EXPECT_FALSE(::IntersectRect(&overlap, &bar, &split));
        RECT g = Bar().GetGripperRect();
        EXPECT_FALSE(::IsRectEmpty(&g));
        switch (s.nID) {
        case AFX_IDW_DOCKBAR_LEFT:
            EXPECT_EQ(bar.left, client.left);
            EXPECT_EQ(split.left, bar.right);
            EXPECT_EQ(split.top, client.top);
            EXPECT_GT(bar.bottom - bar.top, bar.right - bar.left);
            EXPECT_EQ(g.right - g.left, bar.right - bar.left);  // across the top
            break;
        case AFX_IDW_DOCKBAR_RIGHT:
            EXPECT_EQ(bar.right, client.right);
            EXPECT_EQ(split.right, bar.left);
            EXPECT_EQ(split.left, client.left);
            break;
        case AFX_IDW_DOCKBAR_BOTTOM:
            EXPECT_EQ(bar.bottom, status.top);
            EXPECT_EQ(split.bottom, bar.top);
            EXPECT_EQ(split.top, client.top);
            break;
        default:
            EXPECT_EQ(bar.top, client.top);
            EXPECT_EQ(split.top, bar.bottom);
            EXPECT_EQ(split.bottom, status.top);
            break;
        }
        EXPECT_EQ(split.bottom - split.top + (s.upright ? 0 : bar.bottom - bar.top), status.top - client.top);
    }
}

TEST_F(ToolbarDockingTest, FloatsInAToolWindowAndACaptionDoubleClickDocksItAgain) {
    Frame()->DockControlBar(&Bar(), AFX_IDW_DOCKBAR_LEFT);
    Frame()->FloatControlBar(&Bar(), POINT{300, 300});
    ASSERT_TRUE(Bar().IsFloating());
    HWND hFloat = ::GetParent(Bar().m_hWnd);
    ASSERT_TRUE(hFloat == Bar().m_pFloatFrame->m_hWnd);
    EXPECT_FALSE(::GetWindowLongPtrW(hFloat, GWL_STYLE) & WS_CHILD);
    EXPECT_TRUE(::GetWindowLongPtrW(hFloat, GWL_STYLE) & WS_CAPTION);
    EXPECT_TRUE(::GetWindowLongPtrW(hFloat, GWL_EXSTYLE) & WS_EX_TOOLWINDOW);
    EXPECT_EQ(::GetWindow(hFloat, GW_OWNER), Frame()->m_hWnd);
    EXPECT_TRUE(::IsWindowVisible(hFloat));
    EXPECT_EQ(ScreenRect(hFloat).left, 300);
    EXPECT_EQ(ScreenRect(hFloat).top, 300);
    EXPECT_FALSE(Bar().IsVertDocked());
    EXPECT_TRUE(InOneRow());
    EXPECT_TRUE(ButtonsInside());
    RECT g = Bar().GetGripperRect();
    EXPECT_TRUE(::IsRectEmpty(&g));
    // The floating window holds the bar and no more.
    RECT fc = {}, bar = ScreenRect(Bar().m_hWnd);
    ::GetClientRect(hFloat, &fc);
    EXPECT_EQ(fc.right, bar.right - bar.left);
    EXPECT_EQ(fc.bottom, bar.bottom - bar.top);

    // The splitter has the whole space above the status bar.
    RECT split = SplitterRect(), client = ClientScreenRect();
    EXPECT_EQ(split.left, client.left);
    EXPECT_EQ(split.top, client.top);
    EXPECT_EQ(split.right, client.right);
    EXPECT_EQ(split.bottom, StatusRect().top);

    // Its buttons still reach the frame.
    ::SendMessageW(hFloat, WM_COMMAND, ID_VIEW_DETAILS, (LPARAM)Bar().m_hWnd);
    EXPECT_EQ(Frame()->m_wndSplitter.GetPane(0, 1)->GetStyle() & LVS_TYPEMASK, (DWORD)LVS_REPORT);
    ::SendMessageW(hFloat, WM_COMMAND, ID_VIEW_LARGEICON, (LPARAM)Bar().m_hWnd);

    // Hiding the frame (what closing it does) takes the floating bar along.
    Frame()->ShowWindow(SW_HIDE);
    EXPECT_FALSE(::IsWindowVisible(hFloat));
    Frame()->ShowWindow(SW_SHOW);
    EXPECT_TRUE(::IsWindowVisible(hFloat));

    // A double click on the caption docks it where it was.
    RECT fr = ScreenRect(hFloat);
    ::SendMessageW(hFloat, WM_NCLBUTTONDBLCLK, HTCAPTION, MAKELPARAM(fr.left + 10, fr.top + 5));
    EXPECT_FALSE(Bar().IsFloating());
    EXPECT_FALSE(::IsWindow(hFloat));
    EXPECT_EQ(::GetParent(Bar().m_hWnd), DockSite(AFX_IDW_DOCKBAR_LEFT));
    EXPECT_TRUE(InOneColumn());
    EXPECT_EQ(SplitterRect().left, ScreenRect(Bar().m_hWnd).right);
}

TEST_F(ToolbarDockingTest, ViewToolbarHidesAndShowsItDockedAndFloating) {
    auto toggle = [] { Frame()->SendMessage(WM_COMMAND, ID_VIEW_TOOLBAR, 0); };
    // The moved list is painted again as a whole, not only where it grew.
    HWND hList = Frame()->m_wndSplitter.GetPane(0, 1)->m_hWnd;
    ::RedrawWindow(Frame()->m_hWnd, nullptr, nullptr, RDW_UPDATENOW | RDW_ALLCHILDREN);
    RECT client = ClientScreenRect();
    toggle();
    EXPECT_FALSE(Bar().GetStyle() & WS_VISIBLE);
    EXPECT_EQ(SplitterRect().top, client.top);
    RECT dirty = {}, whole = {};
    ::GetUpdateRect(hList, &dirty, FALSE);
    ::GetClientRect(hList, &whole);
    EXPECT_TRUE(::EqualRect(&dirty, &whole)) << dirty.top << " " << dirty.bottom;
    toggle();
    EXPECT_TRUE(Bar().IsWindowVisible());
    EXPECT_EQ(SplitterRect().top, ScreenRect(Bar().m_hWnd).bottom);

    Frame()->DockControlBar(&Bar(), AFX_IDW_DOCKBAR_RIGHT);
    toggle();
    EXPECT_EQ(SplitterRect().right, client.right);
    toggle();
    EXPECT_EQ(SplitterRect().right, ScreenRect(Bar().m_hWnd).left);

    Frame()->FloatControlBar(&Bar(), POINT{200, 200});
    HWND hFloat = Bar().m_pFloatFrame->m_hWnd;
    toggle();
    EXPECT_FALSE(::IsWindowVisible(hFloat));
    EXPECT_TRUE(Bar().IsFloating());
    toggle();
    EXPECT_TRUE(::IsWindowVisible(hFloat));
    EXPECT_TRUE(Bar().IsWindowVisible());
    // Its close box hides it as the toggle does.
    ::SendMessageW(hFloat, WM_CLOSE, 0, 0);
    EXPECT_FALSE(::IsWindowVisible(hFloat));
    EXPECT_FALSE(Bar().GetStyle() & WS_VISIBLE);
    toggle();
    EXPECT_TRUE(::IsWindowVisible(hFloat));
}

TEST_F(ToolbarDockingTest, PointerOnAButtonShowsItsPromptUntilItLeavesTheBar) {
    CStatusBar& status = Frame()->m_wndStatusBar;
    auto moveTo = [](int index) {
        RECT b = {};
        Bar().SendMessage(TB_GETITEMRECT, (WPARAM)index, (LPARAM)&b);
        Bar().SendMessage(WM_MOUSEMOVE, 0, MAKELPARAM((b.left + b.right) / 2, (b.top + b.bottom) / 2));
    };
    Frame()->OnIdleUpdateCmdUI();
    EXPECT_TRUE(status.GetPaneText(0) == L"Ready");

    const struct {
        int index;
        LPCWSTR prompt;
    } cases[] = {{0, L"Displays items by using large icons"},
                 {3, L"Displays information about each item in the window"},
                 {5, L"Ready"},  // the separator
                 {7, L"Refresh KIV content"}};
    for (const auto& c : cases) {
        moveTo(c.index);
        // The idle update leaves the prompt alone.
        Frame()->OnIdleUpdateCmdUI();
        EXPECT_TRUE(status.GetPaneText(0) == c.prompt) << c.index << " " << status.GetPaneText(0).ToUtf8();
    }
    moveTo(0);
    Bar().SendMessage(WM_MOUSELEAVE);
    EXPECT_TRUE(status.GetPaneText(0) == L"Ready") << status.GetPaneText(0).ToUtf8();
    Frame()->OnIdleUpdateCmdUI();
    EXPECT_TRUE(status.GetPaneText(0) == L"Ready");

    // A pointer that went elsewhere without a leave message: the prompt goes too.
    RECT frame = ScreenRect(Frame()->m_hWnd);
    ::SetCursorPos(frame.right + 20, frame.bottom + 20);
    moveTo(2);
    EXPECT_TRUE(status.GetPaneText(0) == L"Displays itemsin a list");
    EXPECT_TRUE(PumpUntil([&] { return status.GetPaneText(0) == L"Ready"; }, 3000))
        << status.GetPaneText(0).ToUtf8();

    // Floating, the same.
    Frame()->FloatControlBar(&Bar(), POINT{250, 250});
    moveTo(1);
    EXPECT_TRUE(status.GetPaneText(0) == L"Displays information about each item in the window using a tile");
    Bar().SendMessage(WM_MOUSELEAVE);
    EXPECT_TRUE(status.GetPaneText(0) == L"Ready");
}

TEST_F(ToolbarDockingTest, TooltipsReachTheFrameFromEveryPlace) {
    ASSERT_TRUE(Bar().SendMessage(TB_GETTOOLTIPS) != 0);
    auto tip = [](HWND hTo) {
        NMTTDISPINFOW di = {};
        di.hdr.hwndFrom = (HWND)Bar().SendMessage(TB_GETTOOLTIPS);
        di.hdr.idFrom = ID_VIEW_LARGEICON;
        di.hdr.code = TTN_GETDISPINFOW;
        ::SendMessageW(hTo, WM_NOTIFY, ID_VIEW_LARGEICON, (LPARAM)&di);
        return CString(di.lpszText ? di.lpszText : L"");
    };
    HWND hTips = (HWND)Bar().SendMessage(TB_GETTOOLTIPS);
    EXPECT_TRUE(tip(::GetParent(Bar().m_hWnd)) == L"Icons");
    EXPECT_FALSE(::GetWindowLongPtrW(hTips, GWL_STYLE) & TTS_ALWAYSTIP);
    // The floating window never becomes active: its tips show all the same.
    Frame()->FloatControlBar(&Bar(), POINT{250, 250});
    EXPECT_TRUE(tip(::GetParent(Bar().m_hWnd)) == L"Icons");
    EXPECT_TRUE(::GetWindowLongPtrW(hTips, GWL_STYLE) & TTS_ALWAYSTIP);
    Frame()->DockControlBar(&Bar(), AFX_IDW_DOCKBAR_BOTTOM);
    EXPECT_FALSE(::GetWindowLongPtrW(hTips, GWL_STYLE) & TTS_ALWAYSTIP);
}

TEST_F(ToolbarDockingTest, DockSideIsTheNearEdgeOfTheDockingArea) {
    const RECT area = {100, 100, 700, 500};
    const struct {
        POINT pt;
        DWORD allowed;
        DWORD side;
    } cases[] = {
        {{400, 105}, CBRS_ALIGN_ANY, CBRS_ALIGN_TOP},     {{400, 80}, CBRS_ALIGN_ANY, CBRS_ALIGN_TOP},
        {{105, 300}, CBRS_ALIGN_ANY, CBRS_ALIGN_LEFT},    {{695, 300}, CBRS_ALIGN_ANY, CBRS_ALIGN_RIGHT},
        {{400, 510}, CBRS_ALIGN_ANY, CBRS_ALIGN_BOTTOM},  {{110, 104}, CBRS_ALIGN_ANY, CBRS_ALIGN_TOP},
        {{104, 110}, CBRS_ALIGN_ANY, CBRS_ALIGN_LEFT},    {{400, 300}, CBRS_ALIGN_ANY, 0},
        {{400, 50}, CBRS_ALIGN_ANY, 0},                   {{760, 300}, CBRS_ALIGN_ANY, 0},
        {{105, 300}, CBRS_ALIGN_TOP, 0},                  {{110, 104}, CBRS_ALIGN_LEFT, CBRS_ALIGN_LEFT},
    };
    for (const auto& c : cases)
        EXPECT_EQ(CDockContext::DockSideAt(area, c.pt, 30, c.allowed), c.side) << c.pt.x << "," << c.pt.y;
}

// The drag itself: the mouse messages the captured bar would get are queued
// before the gripper (or the caption) is pressed.
TEST_F(ToolbarDockingTest, DraggingTheGripperDocksFloatsAndDocksAgain) {
    auto drag = [](HWND hGrab, POINT from, POINT to) {
        POINT c = to;
        ::ScreenToClient(Bar().m_hWnd, &c);
        ::PostMessageW(Bar().m_hWnd, WM_MOUSEMOVE, MK_LBUTTON, MAKELPARAM(c.x, c.y));
        ::PostMessageW(Bar().m_hWnd, WM_LBUTTONUP, 0, MAKELPARAM(c.x, c.y));
        ::SendMessageW(hGrab, WM_NCLBUTTONDOWN, HTCAPTION, MAKELPARAM(from.x, from.y));
    };
    RECT bar = ScreenRect(Bar().m_hWnd), client = ClientScreenRect();
    POINT grip = {bar.left + 3, bar.top + 10};

    // To the left edge: upright there.
    drag(Bar().m_hWnd, grip, POINT{client.left + 4, (client.top + client.bottom) / 2});
    ASSERT_EQ(::GetParent(Bar().m_hWnd), DockSite(AFX_IDW_DOCKBAR_LEFT));
    EXPECT_TRUE(InOneColumn());

    // To the middle of the frame: a window of its own.
    bar = ScreenRect(Bar().m_hWnd);
    POINT mid = {(client.left + client.right) / 2, (client.top + client.bottom) / 2};
    drag(Bar().m_hWnd, POINT{bar.left + 10, bar.top + 3}, mid);
    ASSERT_TRUE(Bar().IsFloating());
    EXPECT_TRUE(InOneRow());

    // Its caption back to the top.
    RECT fr = ScreenRect(Bar().m_pFloatFrame->m_hWnd);
    drag(Bar().m_pFloatFrame->m_hWnd, POINT{fr.left + 20, fr.top + 5}, POINT{mid.x, client.top + 3});
    ASSERT_FALSE(Bar().IsFloating());
    EXPECT_EQ(::GetParent(Bar().m_hWnd), DockSite(AFX_IDW_DOCKBAR_TOP));
    EXPECT_EQ(SplitterRect().top, ScreenRect(Bar().m_hWnd).bottom);

    // Escape leaves it where it is.
    POINT c = mid;
    ::ScreenToClient(Bar().m_hWnd, &c);
    ::PostMessageW(Bar().m_hWnd, WM_MOUSEMOVE, MK_LBUTTON, MAKELPARAM(c.x, c.y));
    ::PostMessageW(Bar().m_hWnd, WM_KEYDOWN, VK_ESCAPE, 0);
    bar = ScreenRect(Bar().m_hWnd);
    ::SendMessageW(Bar().m_hWnd, WM_NCLBUTTONDOWN, HTCAPTION, MAKELPARAM(bar.left + 3, bar.top + 10));
    EXPECT_EQ(::GetParent(Bar().m_hWnd), DockSite(AFX_IDW_DOCKBAR_TOP));
}
