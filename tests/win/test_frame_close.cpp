// The main frame's real close when it is asked for inside a nested loop of
// the program (the list's context menu, a box raised by a drop, by a refused
// rename or by a drag out): it waits
// until the loop has returned to its caller and is carried out then; and the
// removal of the program's drive's medium, which closes it like the drive's
// removal, reported by the shell or by the system's device message. Each test ends the frame; the next one opens it again.
#include "app/AppMessages.h"
#include "app/KIVApp.h"
#include "app/MainFrame.h"
#include "app/ResourceIds.h"
#include "tests/support/TempDir.h"
#include "tests/support/win/CardReader.h"
#include "tests/support/win/DialogAnswerer.h"
#include "tests/support/win/MainWindow.h"
#include "tests/support/win/Watchdog.h"
#include "views/DocHints.h"
#include "views/DragDrop.h"
#include "views/DriveView.h"
#include "views/FileView.h"
#include <gtest/gtest.h>
#include <dbt.h>
#include <shlobj.h>
#include <shlwapi.h>
#include <atomic>
#include <thread>

namespace {
class TestApp : public CKIVApp {
public:
    using CKIVApp::MainRun;
};
TestApp theApp;

const CString kFolder = L"E:\\fclose";

CMainFrame* Frame() { return static_cast<CMainFrame*>(theApp.m_pMainWnd); }
CDriveView* Tree() { return static_cast<CDriveView*>(Frame()->m_wndSplitter.GetPane(0, 0)); }
CFileView* List() { return static_cast<CFileView*>(Frame()->m_wndSplitter.GetPane(0, 1)); }

// A dropped-file block of the paths, as the shell makes it.
HGLOBAL DropBlock(const std::vector<CString>& paths) {
    std::vector<BYTE> bytes = BuildDropFilesBlock(paths);
    HGLOBAL h = ::GlobalAlloc(GHND, bytes.size());
    memcpy(::GlobalLock(h), bytes.data(), bytes.size());
    ::GlobalUnlock(h);
    return h;
}

// After the close: the window and the application's main window are gone
// and the quit message was posted.
void ExpectClosed(HWND hFrame) {
    ASSERT_TRUE(PumpUntil([&] { return !::IsWindow(hFrame); }, 10000));
    EXPECT_TRUE(theApp.m_pMainWnd == nullptr);
    MSG m;
    EXPECT_TRUE(::PeekMessageW(&m, nullptr, WM_QUIT, WM_QUIT, PM_REMOVE));
}

class FrameCloseTest : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        ::CreateDirectoryW(kFolder, nullptr);
        WriteAll(kFolder + L"\\a.txt", "a");
        WriteAll(L"E:\\fclose-root.txt", "r");
    }
    static void TearDownTestSuite() {
        ::DeleteFileW(kFolder + L"\\a.txt");
        ::RemoveDirectoryW(kFolder);
        ::DeleteFileW(L"E:\\fclose-root.txt");
    }
    void SetUp() override {
        static bool s_opened = false;
        if (!s_opened) {
            s_opened = true;
            ASSERT_NO_FATAL_FAILURE(OpenMainWindow(theApp, L"E:", [] { return theApp.MainRun(); }));
        } else {
            CCommandLineInfo ci;
            ASSERT_TRUE(theApp.ProcessShellCommand(ci));
            ASSERT_TRUE(theApp.m_pMainWnd != nullptr);
            Frame()->ShowWindow(SW_SHOW);
        }
        CString path = kFolder;
        Frame()->GetActiveDocument()->UpdateAllViews(nullptr, HINT_SHOW_FOLDER, &path);
        ASSERT_GT(List()->GetListCtrl().GetItemCount(), 0);
    }
    void TearDown() override {
        if (theApp.m_pMainWnd) Frame()->SendMessage(WM_CLOSE, 1, 1);
        MSG m;
        ::PeekMessageW(&m, nullptr, WM_QUIT, WM_QUIT, PM_REMOVE);
    }
};
}  // namespace

TEST_F(FrameCloseTest, AnExitInsideTheListsMenuIsCarriedOutWhenTheMenuHasReturned) {
    Watchdog dog(60000, "exit inside the menu");
    HWND hFrame = Frame()->m_hWnd, hList = List()->m_hWnd;
    RECT rc = {};
    rc.left = LVIR_LABEL;
    ASSERT_TRUE(::SendMessageW(hList, LVM_GETITEMRECT, 0, (LPARAM)&rc));
    POINT pt = {(rc.left + rc.right) / 2, (rc.top + rc.bottom) / 2};

    // Another program asks for the exit while the menu is open (as the tree
    // does when the drive goes); then the user presses Esc.
    std::atomic<bool> menuSeen{false}, aliveInMenu{false};
    std::thread other([&] {
        HWND hMenu = nullptr;
        for (int i = 0; i < 500 && !hMenu; ++i) {
            HWND h = ::FindWindowW(L"#32768", nullptr);
            if (h && ::IsWindowVisible(h)) hMenu = h;
            else ::Sleep(10);
        }
        if (!hMenu) return;
        menuSeen = true;
        ::PostMessageW(hFrame, WM_CLOSE, 1, 1);
        ::Sleep(700);
        aliveInMenu = ::IsWindow(hFrame) && ::IsWindow(hList) && ::IsWindowVisible(hMenu);
        ::PostMessageW(hMenu, WM_KEYDOWN, VK_ESCAPE, 0);
        ::PostMessageW(hList, WM_KEYDOWN, VK_ESCAPE, 0);
    });
    ::PostMessageW(hList, WM_RBUTTONDOWN, MK_RBUTTON, MAKELPARAM(pt.x, pt.y));
    ::PostMessageW(hList, WM_RBUTTONUP, 0, MAKELPARAM(pt.x, pt.y));
    PumpUntil([&] { return !::IsWindow(hFrame); }, 15000);
    other.join();
    EXPECT_TRUE(menuSeen);
    EXPECT_TRUE(aliveInMenu) << "the windows went while the menu was open";
    ExpectClosed(hFrame);
}

TEST_F(FrameCloseTest, AnExitInsideADropsBoxIsCarriedOutWhenTheBoxHasReturned) {
    Watchdog dog(60000, "exit inside the box");
    HWND hFrame = Frame()->m_hWnd;
    std::atomic<bool> boxSeen{false}, aliveInBox{false};
    // The box answers only once the exit request had time to arrive in
    // its loop.
    DialogAnswerer answerer;
    answerer.OnDialog(nullptr, nullptr, [&](HWND, const DialogInfo&) {
        boxSeen = true;
        ::Sleep(700);
        aliveInBox = ::IsWindow(hFrame) != FALSE;
        return IDOK;
    });

    // A file of the shown folder dropped onto the list refuses the drop with
    // a box. OLE calls the target from outside every window procedure; it
    // holds the target, as OLE does, past the frame.
    CString src = kFolder + L"\\a.txt";
    COleDataSourceEx* pData = new COleDataSourceEx;
    FORMATETC fe = {CF_HDROP, nullptr, DVASPECT_CONTENT, -1, TYMED_HGLOBAL};
    pData->CacheGlobalData(CF_HDROP, DropBlock({src}), &fe);
    IDropTarget* target = List()->m_pDropTarget;
    ASSERT_TRUE(target);
    target->AddRef();
    RECT rc;
    ::GetWindowRect(List()->m_hWnd, &rc);
    POINTL pt = {rc.left + 20, rc.top + 20};
    DWORD effect = DROPEFFECT_COPY;
    ASSERT_EQ(target->DragEnter(pData, 0, pt, &effect), S_OK);
    ASSERT_EQ(effect, (DWORD)DROPEFFECT_COPY);
    effect = DROPEFFECT_COPY;
    ::PostMessageW(hFrame, WM_CLOSE, 1, 1);
    target->Drop(pData, 0, pt, &effect);
    EXPECT_TRUE(boxSeen);
    EXPECT_TRUE(aliveInBox) << "the windows went while the box was open";
    EXPECT_EQ(effect, (DWORD)DROPEFFECT_NONE);
    ExpectClosed(hFrame);

    // The view is gone; the target OLE still holds answers, refusing.
    effect = DROPEFFECT_COPY;
    EXPECT_EQ(target->DragEnter(pData, 0, pt, &effect), S_OK);
    EXPECT_EQ(effect, (DWORD)DROPEFFECT_NONE);
    EXPECT_EQ(target->DragLeave(), S_OK);
    EXPECT_EQ(target->Release(), 0u);
    pData->InternalRelease();
    EXPECT_TRUE(::PathFileExistsW(src));
}

TEST_F(FrameCloseTest, TheTrayExitInsideTheDropWindowsBoxWaitsForTheBox) {
    Watchdog dog(60000, "tray exit inside the drop window's box");
    HWND hFrame = Frame()->m_hWnd;
    SPLASHDLG* pDropWnd = Frame()->m_pDropWnd;
    ASSERT_TRUE(pDropWnd && pDropWnd->m_hWnd);
    ASSERT_TRUE(pDropWnd->GetDefaultDirectory().IsEmpty());
    std::atomic<bool> boxSeen{false}, aliveInBox{false};
    DialogAnswerer answerer;
    answerer.OnDialog(nullptr, nullptr, [&](HWND, const DialogInfo&) {
        boxSeen = true;
        // Exit, as the tray menu opened on the drop window sends it.
        ::PostMessageW(hFrame, WM_COMMAND, ID_APP_EXIT_KIV, 0);
        ::Sleep(700);
        aliveInBox = ::IsWindow(hFrame) != FALSE;
        return IDOK;
    });
    // A file of the drive's root dropped on the window whose target is that
    // root: "same names", in a box.
    pDropWnd->SendMessage(WM_DROPFILES, (WPARAM)DropBlock({L"E:\\fclose-root.txt"}), 0);
    EXPECT_TRUE(boxSeen);
    EXPECT_TRUE(aliveInBox) << "the windows went while the box was open";
    ExpectClosed(hFrame);
    EXPECT_TRUE(::PathFileExistsW(L"E:\\fclose-root.txt"));
    EXPECT_FALSE(::PathFileExistsW(L"E:\\fclose-root.txt.kvf"));
}

TEST_F(FrameCloseTest, AnExitInsideTheRefusedRenamesBoxIsCarriedOutWhenTheBoxHasReturned) {
    Watchdog dog(60000, "exit inside the refused rename's box");
    HWND hFrame = Frame()->m_hWnd, hList = List()->m_hWnd;
    std::atomic<bool> boxSeen{false}, aliveInBox{false};
    DialogAnswerer answerer;
    answerer.OnDialog(nullptr, nullptr, [&](HWND, const DialogInfo&) {
        boxSeen = true;
        ::PostMessageW(hFrame, WM_CLOSE, 1, 1);
        ::Sleep(700);
        aliveInBox = ::IsWindow(hFrame) && ::IsWindow(hList);
        return IDOK;
    });
    // A name with a character no file name takes, typed and entered: the
    // end of the label edit refuses it in a box.
    List()->SetFocus();
    List()->GetListCtrl().EditLabel(0);
    HWND hEdit = (HWND)::SendMessageW(hList, LVM_GETEDITCONTROL, 0, 0);
    ASSERT_TRUE(hEdit);
    ::SendMessageW(hEdit, EM_SETSEL, 0, -1);
    ::SendMessageW(hEdit, EM_REPLACESEL, TRUE, (LPARAM)L"a?b.txt");
    ::PostMessageW(hEdit, WM_KEYDOWN, VK_RETURN, 1);
    ::PostMessageW(hEdit, WM_KEYUP, VK_RETURN, 0xC0000001);
    PumpUntil([&] { return !::IsWindow(hFrame); }, 15000);
    EXPECT_TRUE(boxSeen);
    EXPECT_TRUE(aliveInBox) << "the windows went while the box was open";
    ExpectClosed(hFrame);
    EXPECT_TRUE(::PathFileExistsW(kFolder + L"\\a.txt"));
}

TEST_F(FrameCloseTest, AnExitInsideTheDragSourcesBoxIsCarriedOutWhenTheDragHasReturned) {
    Watchdog dog(60000, "exit inside the drag source's box");
    HWND hFrame = Frame()->m_hWnd, hList = List()->m_hWnd;
    CString bad = kFolder + L"\\bad.txt.kvf";
    WriteAll(bad, "not an archive");
    TempDir dragFolder;
    std::atomic<bool> boxSeen{false}, aliveInBox{false};
    DialogAnswerer answerer;
    answerer.OnDialog(nullptr, nullptr, [&](HWND, const DialogInfo&) {
        boxSeen = true;
        ::PostMessageW(hFrame, WM_CLOSE, 1, 1);
        ::Sleep(700);
        aliveInBox = ::IsWindow(hFrame) != FALSE;
        return IDOK;
    });
    // Dropped outside: the source decompresses into the drag folder in a
    // modal batch, whose box says the archive cannot be read.
    CKivDropSource source;
    source.AddSourceMap(bad, dragFolder.File(L"bad.txt"));
    source.GiveFeedback(DROPEFFECT_COPY);
    BOOL aliveInDrag = FALSE;
    {
        // The list's begin-drag handler, in which the drag loop runs.
        CHandlerScope dragStarter;
        EXPECT_EQ(source.QueryContinueDrag(FALSE, 0), DRAGDROP_S_DROP);
        // The drop is then delivered to the other program; the call
        // dispatches this thread's messages while it waits.
        PumpFor(300);
        aliveInDrag = ::IsWindow(hFrame) && ::IsWindow(hList);
    }
    EXPECT_TRUE(boxSeen);
    EXPECT_TRUE(aliveInBox) << "the windows went while the box was open";
    EXPECT_TRUE(aliveInDrag) << "the windows went while the drag ran";
    ExpectClosed(hFrame);
    EXPECT_TRUE(::PathFileExistsW(bad));
    ::DeleteFileW(bad);
}

TEST_F(FrameCloseTest, TheProgramsMediumRemovedClosesItAsTheDrivesRemovalDoes) {
    HWND hFrame = Frame()->m_hWnd;
    // Another drive's medium: nothing changes.
    ::SHChangeNotify(SHCNE_MEDIAREMOVED, SHCNF_PATHW | SHCNF_FLUSH, L"C:\\", nullptr);
    PumpFor(300);
    ASSERT_TRUE(::IsWindow(hFrame));
    EXPECT_EQ(Tree()->m_nRootCount, 1);

    // A card taken out of a reader that keeps the letter E:.
    ::SHChangeNotify(SHCNE_MEDIAREMOVED, SHCNF_PATHW | SHCNF_FLUSH, L"E:\\", nullptr);
    ExpectClosed(hFrame);
}

TEST_F(FrameCloseTest, TheProgramsCardTakenOutClosesItOnTheDeviceMessage) {
    CString card = CardReaderRoot();
    if (card.IsEmpty()) GTEST_SKIP() << "KIV_CARD_DRIVE is not set";
    // The program as run from the card in the reader.
    Frame()->SendMessage(WM_CLOSE, 1, 1);
    MSG m;
    ::PeekMessageW(&m, nullptr, WM_QUIT, WM_QUIT, PM_REMOVE);
    struct DriveBack {
        ~DriveBack() { theApp.m_strDrivePath = L"E:"; }
    } back;
    theApp.m_strDrivePath = card.Left(2);
    CCommandLineInfo ci;
    ASSERT_TRUE(theApp.ProcessShellCommand(ci));
    ASSERT_TRUE(theApp.m_pMainWnd != nullptr);
    HWND hFrame = Frame()->m_hWnd;
    ASSERT_EQ(Tree()->m_nRootCount, 1);

    // The reader's removal of its medium, as the system sends it.
    DEV_BROADCAST_VOLUME vol = {};
    vol.dbcv_size = sizeof vol;
    vol.dbcv_devicetype = DBT_DEVTYP_VOLUME;
    vol.dbcv_unitmask = 1u << (card[0] - L'A');
    vol.dbcv_flags = DBTF_MEDIA;
    // Anyone can send it: with the card still in, nothing changes.
    Frame()->SendMessage(WM_DEVICECHANGE, DBT_DEVICEREMOVECOMPLETE, (LPARAM)&vol);
    PumpFor(300);
    ASSERT_TRUE(::IsWindow(hFrame));
    EXPECT_EQ(Tree()->m_nRootCount, 1);

    // The card taken out: the letter stays, its root is gone.
    CCardTakenOut out;
    ASSERT_TRUE(out.IsOut());
    Frame()->SendMessage(WM_DEVICECHANGE, DBT_DEVICEREMOVECOMPLETE, (LPARAM)&vol);
    ExpectClosed(hFrame);
}
