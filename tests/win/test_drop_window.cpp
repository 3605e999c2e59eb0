// The floating drop window inside this process: made and placed as the main
// frame makes it, with a small owner window that records what the window
// sends, a main frame that owns the drops' batches, and dropped-file blocks
// built in global memory and sent as WM_DROPFILES.
#include "app/AppMessages.h"
#include "app/HandOver.h"
#include "app/KIVApp.h"
#include "app/MainFrame.h"
#include "app/SplashDlg.h"
#include "app/SystemTray.h"
#include "archive/UnzipFile.h"
#include "fileops/PathFunctions.h"
#include "tests/support/win/ScreenShot.h"
#include "tests/win/HandlerTestSupport.h"
#include <gtest/gtest.h>
#include <shellapi.h>
#include <shlobj.h>
#include <optional>
#include <thread>
#include <tuple>
#include <vector>

namespace {
CKIVApp theApp;

const DWORD kBatchMs = 60000;

// A main frame without its bars, views and drop window: it owns the drops'
// batches and deletes them when they end, as the real one does.
class TestFrame : public CMainFrame {
public:
    afx_msg int OnCreate(LPCREATESTRUCT) { return (int)Default(); }
    DECLARE_MESSAGE_MAP()
};
BEGIN_MESSAGE_MAP(TestFrame, CMainFrame)
    ON_WM_CREATE()
END_MESSAGE_MAP()

// What the drop window sends its owner.
class OwnerSpy : public CWnd {
public:
    std::vector<std::tuple<UINT, WPARAM, LPARAM>> got;
    LRESULT WindowProc(UINT message, WPARAM wParam, LPARAM lParam) override {
        if (message == WM_DROPWIN_CLICK || message == WM_SHOW_MAIN || message == WM_TRAY_NOTIFY)
            got.emplace_back(message, wParam, lParam);
        return CWnd::WindowProc(message, wParam, lParam);
    }
};

TestFrame* g_pFrame = nullptr;
OwnerSpy* g_pOwner = nullptr;

const CString kIniFile = L"E:\\UserDefPath.ini";

void RemoveIni() {
    ::SetFileAttributesW(kIniFile, FILE_ATTRIBUTE_NORMAL);
    ::DeleteFileW(kIniFile);
}

void WriteIni(const std::wstring& text) {
    RemoveIni();
    WriteAll(kIniFile, std::string((const char*)text.data(), text.size() * sizeof(wchar_t)));
    ::SetFileAttributesW(kIniFile, FILE_ATTRIBUTE_HIDDEN);
}

// The drop window as the main frame makes it while it is being created,
// before it is the main window: topmost at the frame's bottom-right corner,
// shown, told its owner, layered and painted.
SPLASHDLG* MakeDropWindow() {
    SPLASHDLG* p = new SPLASHDLG;
    theApp.m_pMainWnd = nullptr;
    EXPECT_TRUE(p->Create(IDD_DROPWIN));
    theApp.m_pMainWnd = g_pFrame;
    RECT r, frame;
    p->GetWindowRect(&r);
    p->SetWindowPos(&CWnd::wndTopMost, r.left, r.top, r.right - r.left, r.bottom - r.top, SWP_SHOWWINDOW);
    g_pFrame->GetWindowRect(&frame);
    p->MoveWindow(frame.right, frame.bottom, r.right - r.left, r.bottom - r.top, TRUE);
    p->ShowWindow(SW_SHOWNORMAL);
    p->UpdateWindow();
    p->m_hOwner = g_pOwner->m_hWnd;
    p->MakeLayered();
    p->RedrawDropWindow();
    return p;
}

struct DropWindow {
    SPLASHDLG* p;
    DropWindow() : p(MakeDropWindow()) { g_pOwner->got.clear(); }
    ~DropWindow() {
        p->DestroyWindow();
        delete p;
    }
    SPLASHDLG* operator->() const { return p; }
};

// A dropped-file block as the shell builds it: wide paths, each ended by a
// zero, and an empty one after the last.
HGLOBAL MakeDrop(const std::vector<CString>& paths) {
    size_t nChars = 1;
    for (const CString& s : paths) nChars += s.GetLength() + 1;
    HGLOBAL h = ::GlobalAlloc(GHND, sizeof(DROPFILES) + nChars * sizeof(WCHAR));
    DROPFILES* df = (DROPFILES*)::GlobalLock(h);
    df->pFiles = sizeof(DROPFILES);
    df->fWide = TRUE;
    WCHAR* at = (WCHAR*)(df + 1);
    for (const CString& s : paths) {
        memcpy(at, (LPCWSTR)s, s.GetLength() * sizeof(WCHAR));
        at += s.GetLength() + 1;
    }
    ::GlobalUnlock(h);
    return h;
}

void Drop(SPLASHDLG* p, HGLOBAL h) { p->SendMessage(WM_DROPFILES, (WPARAM)h, 0); }

CString TipText(SPLASHDLG* p) {
    WCHAR buf[1024] = {0};
    TOOLINFOW ti = {};
    ti.cbSize = TTTOOLINFOW_V2_SIZE;
    ti.hwnd = p->m_hWnd;
    ti.uId = IDC_DROPWIN_AREA;
    ti.lpszText = buf;
    ::SendMessageW(p->m_toolTip.m_hWnd, TTM_GETTEXTW, 1024, (LPARAM)&ti);
    return buf;
}

// Answers the boxes with OK, leaves the progress dialogs and the drop
// windows (dialogs without a caption) alone.
struct Boxes {
    DialogAnswerer answerer{4000};
    Boxes() {
        answerer.Ignore(L"Compressing...");
        answerer.OnDialog(nullptr, nullptr, [](HWND, const DialogInfo& info) {
            return info.caption.IsEmpty() ? 0 : IDOK;
        });
    }
    std::vector<DialogInfo> Seen() const {
        std::vector<DialogInfo> r;
        for (const DialogInfo& d : answerer.Seen())
            if (!d.caption.IsEmpty() && d.caption != L"Compressing...") r.push_back(d);
        return r;
    }
};

bool BatchesDone() { return g_pFrame->m_arrBatches.empty(); }

class DropWindowTest : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        INITCOMMONCONTROLSEX icc = {sizeof icc, 0xFF};
        ::InitCommonControlsEx(&icc);
        theApp.m_strDrivePath = L"E:";
        g_pFrame = new TestFrame;
        ASSERT_TRUE(g_pFrame->CWnd::CreateEx(0, AfxRegisterWndClass(0), L"KIV", WS_OVERLAPPEDWINDOW | WS_VISIBLE,
                                             100, 100, 500, 350, nullptr, nullptr));
        theApp.m_pMainWnd = g_pFrame;
        g_pOwner = new OwnerSpy;
        ASSERT_TRUE(g_pOwner->CWnd::CreateEx(0, AfxRegisterWndClass(0), L"owner", WS_POPUP, 0, 0, 10, 10,
                                             nullptr, nullptr));
    }
    static void TearDownTestSuite() {
        g_pOwner->DestroyWindow();
        delete g_pOwner;
        theApp.m_pMainWnd = nullptr;
        g_pFrame->DestroyWindow();  // the frame deletes itself
        RemoveIni();
    }
    void SetUp() override {
        RemoveIni();
        ::CreateDirectoryW(L"E:\\docs", nullptr);
    }
    void TearDown() override {
        RemoveIni();
        m_made.push_back(L"E:\\docs");
        for (const CString& path : m_made) DeleteFolderTree(path);
    }
    ht::DrivePassword pwd{{L"abc123"}};
    std::vector<CString> m_made;  // what the test left on the drive
};

// Screen pixels of the window's client area (its first row and column,
// where the black frame of the tooltip's area lies, left out) that differ
// from bitmap 174, which the window paints unstretched at 4, 4.
int PixelsOffTheBitmap(SPLASHDLG* p) {
    HBITMAP hBitmap = ::LoadBitmapW(AfxGetResourceHandle(), MAKEINTRESOURCEW(IDB_DROPWIN));
    HDC hMem = ::CreateCompatibleDC(nullptr);
    HGDIOBJ hOld = ::SelectObject(hMem, hBitmap);
    RECT win, client;
    p->GetWindowRect(&win);
    p->GetClientRect(&client);
    POINT origin = {0, 0};
    p->ClientToScreen(&origin);
    int nOff = 0;
    for (int y = 1; y < client.bottom; ++y)
        for (int x = 1; x < client.right; ++x) {
            int bx = origin.x + x - win.left - 4, by = origin.y + y - win.top - 4;
            if (ScreenPixel(origin.x + x, origin.y + y) != ::GetPixel(hMem, bx, by)) ++nOff;
        }
    ::SelectObject(hMem, hOld);
    ::DeleteDC(hMem);
    ::DeleteObject(hBitmap);
    return nOff;
}

// The drive's file for the default folder: its bytes as UTF-16 text.
std::wstring IniText() {
    std::string bytes = ReadAll(kIniFile);
    return std::wstring((const wchar_t*)bytes.data(), bytes.size() / sizeof(wchar_t));
}

// Files deeper than 260 characters. Next to "report.txt", whose path has
// 259 characters, lies "report.txt.old": cut to 260 characters with its
// terminator, the longer path would name the other file. "far.txt" lies
// deeper still. They are removed one by one: the shell's removal of a tree
// with such paths under Wine goes astray and empties the current folder.
struct LongPaths {
    std::vector<CString> dirs;  // outermost first
    CString strReport, strFar;
    explicit LongPaths(const CString& base) {
        CString dir = base;
        while (dir.GetLength() < 259 - 11 - 60) Add(dir += L"\\" + CString(L'd', 50));
        Add(dir += L"\\" + CString(L'e', 259 - 11 - 1 - dir.GetLength()));
        strReport = dir + L"\\report.txt";
        EXPECT_EQ(strReport.GetLength(), 259);
        ht::PutFile(strReport, "the wrong file");
        ht::PutFile(strReport + L".old", "the dropped file");
        Add(dir += L"\\" + CString(L'f', 60));
        strFar = dir + L"\\far.txt";
        ht::PutFile(strFar, "far away");
    }
    void Add(const CString& dir) {
        ht::MakeDir(dir);
        dirs.push_back(dir);
    }
    ~LongPaths() {
        for (const CString& f : {strFar, strReport, strReport + L".old"}) ::DeleteFileW(f);
        for (auto it = dirs.rbegin(); it != dirs.rend(); ++it) EXPECT_TRUE(::RemoveDirectoryW(*it)) << it->ToUtf8();
    }
};

std::string ArchivedData(const CString& archive) {
    std::string data;
    try {
        CUnzipFile unzip(archive);
        unzip.OpenEntry();
        char buf[4096];
        while (UINT n = unzip.ReadEntryData(sizeof buf, buf)) data.append(buf, n);
        unzip.Close();
    } catch (CException* e) {
        e->Delete();
        data = "<unreadable>";
    }
    return data;
}
}  // namespace

TEST_F(DropWindowTest, WindowSitsAtTheFrameCornerAndShowsItsPicture) {
    DropWindow w;
    RECT r, frame;
    w->GetWindowRect(&r);
    g_pFrame->GetWindowRect(&frame);
    EXPECT_EQ(r.left, frame.right);
    EXPECT_EQ(r.top, frame.bottom);
    // Above the frame in the z-order (see the README for the topmost flag).
    bool bAbove = false;
    for (HWND h = ::GetWindow(w->m_hWnd, GW_HWNDNEXT); h; h = ::GetWindow(h, GW_HWNDNEXT))
        if (h == g_pFrame->m_hWnd) bAbove = true;
    EXPECT_TRUE(bAbove);

    DWORD ex = w->GetExStyle();
    EXPECT_TRUE(ex & WS_EX_TOOLWINDOW);
    EXPECT_TRUE(ex & WS_EX_CLIENTEDGE);
    EXPECT_TRUE(ex & WS_EX_ACCEPTFILES);
    EXPECT_TRUE(ex & WS_EX_LAYERED);
    BYTE alpha = 0;
    DWORD flags = 0;
    EXPECT_TRUE(::GetLayeredWindowAttributes(w->m_hWnd, nullptr, &alpha, &flags));
    EXPECT_EQ(alpha, 255);
    EXPECT_EQ(flags, (DWORD)LWA_ALPHA);
    EXPECT_EQ(w->SendMessage(WM_NCHITTEST, 0, MAKELPARAM(r.left + 1, r.top + 1)), HTCLIENT);

    CWnd* pAnim = w->GetDlgItem(IDC_DROPWIN_ANIMATE);
    ASSERT_TRUE(pAnim != nullptr);
    EXPECT_EQ(pAnim->m_hWnd, w->m_animate.m_hWnd);
    EXPECT_EQ(pAnim->GetStyle(), 0x50000004u);
    EXPECT_TRUE(w->GetDlgItem(IDC_DROPWIN_AREA) != nullptr);

    // The picture fills the client area, also after the whole window was
    // painted again (as when it is uncovered) and after the clip played.
    PumpFor(300);
    EXPECT_EQ(PixelsOffTheBitmap(w.p), 0);
    SaveScreenShot(L"drop-window");
    ::RedrawWindow(w->m_hWnd, nullptr, nullptr, RDW_INVALIDATE | RDW_ERASE | RDW_FRAME | RDW_ALLCHILDREN);
    PumpFor(300);
    EXPECT_EQ(PixelsOffTheBitmap(w.p), 0);
    ASSERT_TRUE(w->m_animate.Open(IDR_DROPWIN_AVI));
    EXPECT_TRUE(PumpUntil([&] { return PixelsOffTheBitmap(w.p) > 20; }, 3000)) << "the clip shows its frames";
    EXPECT_TRUE(w->RedrawDropWindow());
    PumpFor(300);
    EXPECT_EQ(PixelsOffTheBitmap(w.p), 0);
}

TEST_F(DropWindowTest, KeysAndClicksReachTheOwnerNotTheWindow) {
    DropWindow w;
    typedef std::tuple<UINT, WPARAM, LPARAM> Sent;
    const Sent kClick{WM_DROPWIN_CLICK, 1, 0};

    // Enter and Esc through the dialog's keyboard handling, and a close
    // request: the window stays.
    for (UINT vk : {VK_RETURN, VK_ESCAPE}) {
        w->PostMessage(WM_KEYDOWN, vk, 0);
        PumpFor(200);
    }
    w->SendMessage(WM_COMMAND, IDOK);
    w->SendMessage(WM_COMMAND, IDCANCEL);
    w->SendMessage(WM_CLOSE);
    EXPECT_TRUE(w->IsWindowVisible());
    EXPECT_TRUE(g_pOwner->got.empty());

    // The right button: the click, then the tray menu's request when the
    // button comes up.
    w->SendMessage(WM_RBUTTONDOWN, MK_RBUTTON, MAKELPARAM(5, 5));
    w->SendMessage(WM_RBUTTONUP, 0, MAKELPARAM(5, 5));
    EXPECT_EQ(g_pOwner->got, (std::vector<Sent>{kClick, Sent{WM_TRAY_NOTIFY, IDR_TRAY_ICON_ID, WM_RBUTTONUP}}));
    g_pOwner->got.clear();

    w->SendMessage(WM_LBUTTONDBLCLK, MK_LBUTTON, MAKELPARAM(5, 5));
    EXPECT_EQ(g_pOwner->got, (std::vector<Sent>{Sent{WM_SHOW_MAIN, 0, 0}}));
    g_pOwner->got.clear();

    // The left button drags the window: a person's press, move and release.
    RECT before;
    w->GetWindowRect(&before);
    std::thread person([&] {
        ::SetCursorPos(before.left + 10, before.top + 10);
        ::Sleep(200);
        INPUT in[3] = {};
        in[0].type = in[1].type = in[2].type = INPUT_MOUSE;
        in[0].mi.dwFlags = MOUSEEVENTF_LEFTDOWN;
        ::SendInput(1, &in[0], sizeof(INPUT));
        ::Sleep(300);
        for (int i = 1; i <= 6; ++i) {
            ::SetCursorPos(before.left + 10 - 5 * i, before.top + 10 - 4 * i);
            ::Sleep(50);
        }
        ::Sleep(200);
        in[2].mi.dwFlags = MOUSEEVENTF_LEFTUP;
        ::SendInput(1, &in[2], sizeof(INPUT));
    });
    RECT after = before;
    PumpUntil([&] {
        w->GetWindowRect(&after);
        return after.left == before.left - 30 && after.top == before.top - 24 && !g_pOwner->got.empty();
    }, 5000);
    person.join();
    PumpFor(200);
    EXPECT_EQ(after.left, before.left - 30);
    EXPECT_EQ(after.top, before.top - 24);
    EXPECT_EQ(g_pOwner->got, (std::vector<Sent>{kClick}));
}

TEST_F(DropWindowTest, DriveMessagesKeepTheFallbackRootAndNoTargetRefusesTheDrop) {
    DropWindow w;
    EXPECT_TRUE(w->m_strDriveRoot == L"E:");  // the program runs from the drive's root folder
    CString e(L"E:"), eRoot(L"E:\\"), eLower(L"e:"), empty, f(L"F:\\"), g(L"G:\\");
    // The frame hands the root over for the time of its send; the same
    // message posted or sent by anyone else names memory the window must
    // not read (the rows marked false).
    struct Row {
        UINT message;
        const CString* root;
        LPCWSTR expected;
        bool handed = true;
    } rows[] = {
        {WM_DROPWIN_DRIVE_REMOVED, &eRoot, L"E:"},  // "E:" is not the text "E:\\"
        {WM_DROPWIN_DRIVE_REMOVED, &eLower, L"E:"},
        {WM_DROPWIN_DRIVE_REMOVED, nullptr, L"E:"},
        {WM_DROPWIN_DRIVE_REMOVED, &e, L"E:", false},
        {WM_DROPWIN_DRIVE_ARRIVED, &f, L"E:"},
        {WM_DROPWIN_DRIVE_REMOVED, &e, L""},
        {WM_DROPWIN_DRIVE_ARRIVED, &empty, L""},
        {WM_DROPWIN_DRIVE_ARRIVED, nullptr, L""},
        {WM_DROPWIN_DRIVE_ARRIVED, &f, L"", false},
        {WM_DROPWIN_DRIVE_ARRIVED, &f, L"F:\\"},
        {WM_DROPWIN_DRIVE_ARRIVED, &g, L"F:\\"},
        {WM_DROPWIN_DRIVE_REMOVED, &f, L"F:\\", false},
        {WM_DROPWIN_DRIVE_REMOVED, &f, L""},
    };
    int i = 0;
    for (const Row& row : rows) {
        std::optional<CHandOver> handOver;
        if (row.handed) handOver.emplace(row.root);
        EXPECT_EQ(w->SendMessage(row.message, (WPARAM)row.root, 0), 0) << i;
        EXPECT_TRUE(w->m_strDriveRoot == row.expected) << i << ": " << w->m_strDriveRoot.ToUtf8();
        ++i;
    }
    // Posted, with the address of a root that is not handed over, or with junk.
    for (WPARAM w2 : {(WPARAM)&g, (WPARAM)0x1000}) {
        w->PostMessage(WM_DROPWIN_DRIVE_ARRIVED, w2, 0);
        PumpFor(100);
        EXPECT_TRUE(w->m_strDriveRoot.IsEmpty()) << w->m_strDriveRoot.ToUtf8();
    }

    // Neither a default folder nor a drive root: string 125 under caption
    // 117, and nothing starts.
    TempDir src;
    ht::PutFile(src.File(L"a.txt"), "data");
    Boxes boxes;
    Drop(w.p, MakeDrop({src.File(L"a.txt")}));
    ASSERT_EQ(boxes.Seen().size(), 1u);
    EXPECT_TRUE(boxes.Seen()[0].caption == L"Error Compressing File or Folder");
    EXPECT_TRUE(boxes.Seen()[0].HasText(L"The disk in the destination drive is full or removed."));
    EXPECT_TRUE(BatchesDone());
    EXPECT_EQ(g_pFrame->m_bAnimating, 0);
    EXPECT_FALSE(ht::Exists(L"E:\\a.txt.kvf"));
}

TEST_F(DropWindowTest, RunFromAFolderOfTheDriveTheRootAndTheFileFollowIt) {
    ht::MakeDir(L"E:\\tools");
    m_made = {L"E:\\tools"};
    theApp.m_strDrivePath = L"E:\\tools";
    {
        DropWindow w;
        EXPECT_TRUE(w->m_strDriveRoot == L"E:\\");
        EXPECT_TRUE(w->SaveDefaultDirectory(L"E:\\docs"));
        EXPECT_EQ(ReadAll(L"E:\\tools\\UserDefPath.ini"), std::string("\\\0d\0o\0c\0s\0", 10));
        EXPECT_FALSE(ht::Exists(kIniFile));
        CString root(L"E:\\");
        CHandOver handOver(&root);
        w->SendMessage(WM_DROPWIN_DRIVE_REMOVED, (WPARAM)&root);
        EXPECT_TRUE(w->m_strDriveRoot.IsEmpty());
        DropWindow next;
        EXPECT_TRUE(next->GetDefaultDirectory() == L"E:\\docs");
    }
    theApp.m_strDrivePath = L"E:";
}

TEST_F(DropWindowTest, SaveDefaultDirectoryKeepsOnlyFoldersOfTheDrive) {
    DropWindow w;
    EXPECT_TRUE(w->GetDefaultDirectory().IsEmpty());
    Boxes boxes;

    // Stored without the drive letter, UTF-16LE without a signature or a
    // terminator, hidden; the drive's own letter comes first again.
    struct Stored {
        LPCWSTR path, text, folder;
    } stored[] = {
        {L"E:\\docs", L"\\docs", L"E:\\docs"},
        {L"e:\\docs\\sub", L"\\docs\\sub", L"E:\\docs\\sub"},
        {L"E:\\", L"\\", L"E:\\"},
        {L"E:\\docs", L"\\docs", L"E:\\docs"},
    };
    for (const Stored& row : stored) {
        EXPECT_TRUE(w->SaveDefaultDirectory(row.path)) << CString(row.path).ToUtf8();
        EXPECT_EQ(IniText(), std::wstring(row.text));
        EXPECT_EQ(ReadAll(kIniFile).size(), wcslen(row.text) * 2);
        EXPECT_TRUE(::GetFileAttributesW(kIniFile) & FILE_ATTRIBUTE_HIDDEN);
        EXPECT_TRUE(w->GetDefaultDirectory() == row.folder);
        EXPECT_TRUE(TipText(w.p) == row.folder) << TipText(w.p).ToUtf8();
    }
    EXPECT_TRUE(boxes.Seen().empty());

    // Another drive, a network path, paths without the root's backslash,
    // nothing at all: string 134, and the stored folder stays.
    for (LPCWSTR refused : {L"F:\\docs", L"\\\\server\\share\\docs", L"E:docs", L"E:", L""}) {
        EXPECT_FALSE(w->SaveDefaultDirectory(refused)) << CString(refused).ToUtf8();
        EXPECT_EQ(IniText(), std::wstring(L"\\docs"));
        EXPECT_TRUE(w->GetDefaultDirectory() == L"E:\\docs");
    }
    // A file that cannot be written (a folder has its name): the same
    // message, and the window keeps its folder.
    RemoveIni();
    ht::MakeDir(kIniFile);
    EXPECT_FALSE(w->SaveDefaultDirectory(L"E:\\other"));
    EXPECT_TRUE(w->GetDefaultDirectory() == L"E:\\docs");
    EXPECT_TRUE(TipText(w.p) == L"E:\\docs");
    ::RemoveDirectoryW(kIniFile);
    WriteIni(L"\\docs");

    std::vector<DialogInfo> seen = boxes.Seen();
    ASSERT_EQ(seen.size(), 6u);
    for (const DialogInfo& box : seen) {
        EXPECT_TRUE(box.caption == AfxGetAppName());
        EXPECT_TRUE(box.HasText(L"Setting default directory is failed."));
    }

    // The next start reads it back.
    DropWindow next;
    EXPECT_TRUE(next->GetDefaultDirectory() == L"E:\\docs");
    EXPECT_TRUE(TipText(next.p) == L"E:\\docs");
}

TEST_F(DropWindowTest, DropsAreCompressedIntoTheDriveRootWithPathsReadWhole) {
    TempDir src;
    ht::PutFile(src.File(L"a.txt"), MakeText(5000));
    ht::MakeDir(src.File(L"dir"));
    ht::PutFile(src.File(L"dir\\f.txt"), "in a folder");
    LongPaths deep(src.Path());
    m_made = {L"E:\\a.txt.kvf", L"E:\\dir", L"E:\\report.txt.old.kvf", L"E:\\report.txt.kvf", L"E:\\far.txt.kvf"};

    DropWindow w;
    Boxes boxes;
    Drop(w.p, MakeDrop({src.File(L"a.txt"), src.File(L"dir"), deep.strReport + L".old", deep.strFar}));
    // The clip plays and the frame knows it, until the batch has ended.
    EXPECT_EQ(g_pFrame->m_bAnimating, 1);
    EXPECT_EQ(g_pFrame->m_arrBatches.size(), 1u);
    ASSERT_TRUE(PumpUntil(BatchesDone, kBatchMs));
    EXPECT_EQ(g_pFrame->m_bAnimating, 0);

    EXPECT_EQ(ArchivedData(L"E:\\a.txt.kvf"), MakeText(5000));
    EXPECT_EQ(ArchivedData(L"E:\\dir\\f.txt.kvf"), "in a folder");
    EXPECT_EQ(ArchivedData(L"E:\\report.txt.old.kvf"), "the dropped file");
    EXPECT_FALSE(ht::Exists(L"E:\\report.txt.kvf"));
    EXPECT_EQ(ArchivedData(L"E:\\far.txt.kvf"), "far away");
    // The dropped files stay where they were.
    EXPECT_EQ(ReadAll(src.File(L"a.txt")), MakeText(5000));
    EXPECT_EQ(ReadAll(src.File(L"dir\\f.txt")), "in a folder");
    EXPECT_EQ(ReadAll(deep.strReport + L".old"), "the dropped file");
    EXPECT_EQ(ReadAll(deep.strFar), "far away");
    EXPECT_TRUE(boxes.Seen().empty());
}

TEST_F(DropWindowTest, DropsGoToTheStoredFolderAndNeverBesideThemselves) {
    WriteIni(L"\\docs");
    TempDir src;
    ht::PutFile(src.File(L"out.txt"), "from outside");
    ht::PutFile(L"E:\\docs\\in.txt", "already there");
    m_made = {L"E:\\out.txt.kvf"};

    DropWindow w;
    EXPECT_TRUE(w->GetDefaultDirectory() == L"E:\\docs");
    EXPECT_TRUE(TipText(w.p) == L"E:\\docs");
    Boxes boxes;

    // A file of the target folder among the dropped ones: the whole drop is
    // refused and the clip stops.
    Drop(w.p, MakeDrop({src.File(L"out.txt"), L"E:\\docs\\in.txt"}));
    std::vector<DialogInfo> seen = boxes.Seen();
    ASSERT_EQ(seen.size(), 1u);
    EXPECT_TRUE(seen[0].caption == L"Error Moving File or Folder");
    EXPECT_TRUE(seen[0].HasText(L"Cannot move in.txt: The source and destination file names are the same."))
        << seen[0].AllText().ToUtf8();
    EXPECT_TRUE(BatchesDone());
    EXPECT_EQ(g_pFrame->m_bAnimating, 0);
    PumpFor(500);
    EXPECT_FALSE(ht::Exists(L"E:\\docs\\out.txt.kvf"));
    EXPECT_FALSE(ht::Exists(L"E:\\docs\\in.txt.kvf"));
    EXPECT_EQ(PixelsOffTheBitmap(w.p), 0);

    // The file from outside alone goes to the stored folder.
    Drop(w.p, MakeDrop({src.File(L"out.txt")}));
    ASSERT_TRUE(PumpUntil(BatchesDone, kBatchMs));
    EXPECT_EQ(ArchivedData(L"E:\\docs\\out.txt.kvf"), "from outside");
    EXPECT_EQ(ReadAll(src.File(L"out.txt")), "from outside");
    EXPECT_EQ(boxes.Seen().size(), 1u);
}

TEST_F(DropWindowTest, ForgedDropBlocksAreIgnored) {
    DropWindow w;
    TempDir src;
    ht::PutFile(src.File(L"a.txt"), "data");
    m_made = {L"E:\\a.txt.kvf"};
    Boxes boxes;

    auto block = [](SIZE_T nSize, DWORD pFiles, BOOL fWide, BYTE fill) {
        HGLOBAL h = ::GlobalAlloc(GMEM_MOVEABLE, nSize);
        BYTE* p = (BYTE*)::GlobalLock(h);
        memset(p, fill, ::GlobalSize(h));
        if (nSize >= sizeof(DROPFILES)) {
            DROPFILES* df = (DROPFILES*)p;
            memset(df, 0, sizeof *df);
            df->pFiles = pFiles;
            df->fWide = fWide;
        }
        ::GlobalUnlock(h);
        return h;
    };
    // A list that runs to the block's end, in wide and narrow characters;
    // a list that starts outside the block or inside its header; a block
    // too short for its header; a list with no paths.
    struct Refused {
        HGLOBAL h;
        SIZE_T nSize;
    } refused[] = {
        {block(4096, sizeof(DROPFILES), TRUE, 'A'), 4096},
        {block(4096, sizeof(DROPFILES), FALSE, 'A'), 4096},
        {block(64, 0x7FFFFFF0, TRUE, 0), 64},
        {block(64, 4, TRUE, 0), 64},
        {block(8, 0, TRUE, 0), 8},
    };
    for (const Refused& r : refused) Drop(w.p, r.h);
    Drop(w.p, MakeDrop({}));
    // Posted, as another program can, with values that are no block at all.
    for (WPARAM junk : {(WPARAM)0, (WPARAM)0x1000, (WPARAM)-1}) w->PostMessage(WM_DROPFILES, junk, 0);
    PumpFor(300);
    EXPECT_TRUE(boxes.Seen().empty());
    // A refused block is not the drop's to free: it is still there, whole.
    for (const Refused& r : refused) {
        EXPECT_EQ(::GlobalSize(r.h), r.nSize);
        ::GlobalFree(r.h);
    }
    EXPECT_TRUE(BatchesDone());
    EXPECT_EQ(g_pFrame->m_bAnimating, 0);

    // The same window still takes a real drop.
    Drop(w.p, MakeDrop({src.File(L"a.txt")}));
    ASSERT_TRUE(PumpUntil(BatchesDone, kBatchMs));
    EXPECT_EQ(ArchivedData(L"E:\\a.txt.kvf"), "data");
}

