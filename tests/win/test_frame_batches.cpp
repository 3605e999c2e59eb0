// The main frame as the owner of the task batches it starts: it frees a
// batch only once its worker has reported the end, only one it holds, and a
// modal one only after its Start has returned. The tasks' work is replaced
// by a script that waits until the test lets it finish.
#include "app/KIVApp.h"
#include "app/MainFrame.h"
#include "app/ResourceIds.h"
#include "fileops/TaskThread.h"
#include "password/PwdDlg.h"
#include "tests/support/TempDir.h"
#include "tests/support/win/DialogAnswerer.h"
#include "tests/support/win/MainWindow.h"
#include "tests/support/win/Watchdog.h"
#include <gtest/gtest.h>
#include <atomic>

namespace {
class TestApp : public CKIVApp {
public:
    using CKIVApp::MainRun;
};
TestApp theApp;

CMainFrame* Frame() { return static_cast<CMainFrame*>(theApp.m_pMainWnd); }

// The scripted task: it holds the worker until the test releases it.
std::atomic<bool> g_release{false};
int RunHeld(CFileTask&) {
    while (!g_release) ::Sleep(10);
    return TASK_OK;
}

// A batch that says when it is freed.
class TrackedBatch : public CFileTaskThread {
public:
    explicit TrackedBatch(std::atomic<bool>* pFreed) : m_pFreed(pFreed) {
        AddTask(L"E:\\fb\\a.txt", L"E:\\fb\\b.txt", TASK_COPY);
    }
    ~TrackedBatch() override { *m_pFreed = true; }
    std::atomic<bool>* m_pFreed;
};

bool Holds(CFileTaskThread* p) {
    for (const CMainFrame::HeldBatch& held : Frame()->m_arrBatches)
        if (held.pBatch == p) return true;
    return false;
}

class FrameBatchesTest : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        ::CreateDirectoryW(L"E:\\fb", nullptr);
        WriteAll(L"E:\\fb\\a.txt", "a");
        ASSERT_NO_FATAL_FAILURE(OpenMainWindow(theApp, L"E:", [] { return theApp.MainRun(); }));
    }
    void SetUp() override {
        g_release = false;
        CFileTaskThread::s_pfnRunTask = &RunHeld;
    }
    void TearDown() override {
        g_release = true;
        CFileTaskThread::s_pfnRunTask = nullptr;
    }
};

TEST_F(FrameBatchesTest, ADoneMessageFreesOnlyAHeldBatchWhoseWorkerEnded) {
    std::atomic<bool> strayFreed{false}, heldFreed{false};
    // A batch the frame never started, and one it holds whose worker runs.
    TrackedBatch* pStray = new TrackedBatch(&strayFreed);
    TrackedBatch* pHeld = new TrackedBatch(&heldFreed);
    ASSERT_EQ(Frame()->StartBatch(pHeld, FALSE), 1);

    // What another program can post: any address, a batch's included.
    for (WPARAM w : {(WPARAM)pStray, (WPARAM)pHeld, (WPARAM)0x1000, (WPARAM)0})
        Frame()->PostMessage(WM_TASKTHREAD_DONE, w, 0);
    PumpFor(500);
    EXPECT_FALSE(strayFreed);
    EXPECT_FALSE(heldFreed);
    EXPECT_TRUE(Holds(pHeld));

    // The real end still frees the held batch.
    g_release = true;
    EXPECT_TRUE(PumpUntil([&] { return heldFreed.load(); }, 10000));
    EXPECT_TRUE(Frame()->m_arrBatches.empty());
    EXPECT_FALSE(strayFreed);
    delete pStray;
}

TEST_F(FrameBatchesTest, AModalBatchEndingInsideAnotherModalLoopIsFreedAfterItsStart) {
    std::atomic<bool> freed{false}, freedWhileNested{false}, nestedClosed{false};
    TrackedBatch* pBatch = new TrackedBatch(&freed);

    // The tray's Change Password, opened while the progress dialog runs;
    // the batch ends while it is open, and it is closed only after the
    // worker's two messages had time to arrive in its loop.
    DialogAnswerer answerer;
    answerer.OnDialog(L"Change Password", nullptr, [&](HWND, const DialogInfo&) {
        g_release = true;
        while (!pBatch->HasEnded()) ::Sleep(10);
        ::Sleep(1000);
        freedWhileNested = freed.load();
        nestedClosed = true;
        return IDC_PWD_CANCEL;
    }, 1);
    answerer.Ignore(L"Copying...");  // the progress dialog ends by itself
    static CMainFrame* s_pFrame;
    s_pFrame = Frame();
    UINT_PTR timer = ::SetTimer(nullptr, 0, 300, [](HWND, UINT, UINT_PTR id, DWORD) {
        ::KillTimer(nullptr, id);
        s_pFrame->SendMessage(WM_COMMAND, ID_CHANGE_PASSWORD);
    });
    ASSERT_NE(timer, 0u);

    int nResult = 0;
    RunWithTimeout(30000, "modal batch", [&] { nResult = Frame()->StartBatch(pBatch, TRUE); });
    EXPECT_TRUE(nestedClosed);
    EXPECT_FALSE(freedWhileNested);
    EXPECT_EQ(nResult, IDOK);
    // Freed as soon as Start had returned, and forgotten.
    EXPECT_TRUE(freed);
    EXPECT_TRUE(Frame()->m_arrBatches.empty());
}
}  // namespace
