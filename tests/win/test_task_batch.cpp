// The task batch on its worker thread with its progress dialog. The tasks'
// work is replaced by scripts (CFileTaskThread::s_pfnRunTask) that report
// through the batch's own progress callback, so the batch, the messages and
// the dialog are tested apart from the handlers.
#include "fileops/PathFunctions.h"
#include "fileops/ProgressDlg.h"
#include "fileops/TaskMessage.h"
#include "fileops/TaskThread.h"
#include "framework/Win.h"
#include "tests/support/TempDir.h"
#include "tests/support/win/DialogAnswerer.h"
#include "tests/support/win/Watchdog.h"
#include <gtest/gtest.h>
#include <atomic>
#include <functional>
#include <mutex>
#include <thread>
#include <vector>

namespace {

std::string U8(const CString& s) { return s.ToUtf8(); }

CWinApp theApp(L"KIV");

// What the main frame does with a finished batch, minus the deletion.
class CTestMainWnd : public CWnd {
public:
    std::vector<WPARAM> m_finished;
    HWND m_hWatchDlg = nullptr;        // a dialog that must be gone by then
    bool m_bDialogAliveAtDone = false;

    BOOL Make(int x, int y, int w, int h) {
        return CreateEx(0, AfxRegisterWndClass(0), L"main", WS_OVERLAPPEDWINDOW, x, y, w, h, nullptr, nullptr);
    }
    LRESULT OnTaskThreadDone(WPARAM wParam, LPARAM) {
        m_finished.push_back(wParam);
        if (m_hWatchDlg && ::IsWindow(m_hWatchDlg)) m_bDialogAliveAtDone = true;
        return 0;
    }
    DECLARE_MESSAGE_MAP()
};

BEGIN_MESSAGE_MAP(CTestMainWnd, CWnd)
    ON_MESSAGE(WM_TASKTHREAD_DONE, &CTestMainWnd::OnTaskThreadDone)
END_MESSAGE_MAP()

// Sets the application's main window for one test.
struct MainWindowScope {
    CTestMainWnd wnd;
    explicit MainWindowScope(int x = 100, int y = 100, int w = 400, int h = 300) {
        EXPECT_TRUE(wnd.Make(x, y, w, h));
        theApp.m_pMainWnd = &wnd;
    }
    ~MainWindowScope() { theApp.m_pMainWnd = nullptr; }
};

// The scripted work of the tasks: a result per task (TASK_OK after the
// list), an optional body run on the worker, and what each task saw.
struct Script {
    std::vector<int> results;
    std::function<void(CFileTask&, int)> body;
    std::mutex lock;
    std::vector<DWORD> flagsAtStart;
    std::vector<std::pair<int, DWORD>> done;  // per-task callback: result, flags after
};
Script* g_script = nullptr;

int RunScripted(CFileTask& task) {
    int i;
    {
        std::lock_guard<std::mutex> g(g_script->lock);
        i = (int)g_script->flagsAtStart.size();
        g_script->flagsAtStart.push_back(task.m_dwFlags);
    }
    if (g_script->body) g_script->body(task, i);
    return i < (int)g_script->results.size() ? g_script->results[i] : TASK_OK;
}

void OnTaskDone(int nResult, CFileTask* pTask) {
    std::lock_guard<std::mutex> g(g_script->lock);
    g_script->done.push_back({nResult, pTask->m_dwFlags});
}

// Installs a script for one test.
struct ScriptScope {
    Script script;
    ScriptScope() {
        g_script = &script;
        CFileTaskThread::s_pfnRunTask = &RunScripted;
    }
    ~ScriptScope() {
        CFileTaskThread::s_pfnRunTask = nullptr;
        g_script = nullptr;
    }
};

// What a handler reports, through the task's own callback.
void ReportBytes(CFileTask& t, ULONGLONG n) { t.m_pfnProgress(TPC_BYTES, &n, t.m_pContext); }
void ReportNames(CFileTask& t, const CString& src, const CString& dst) {
    SetProgressNames(src, dst);
    const CString* names[2] = {&src, &dst};
    t.m_pfnProgress(TPC_NAMES, names, t.m_pContext);
}

CFileTaskThread* BatchOf(CFileTask& t) { return static_cast<CFileTaskThread*>(t.m_pContext); }
HWND DialogOf(CFileTask& t) { return BatchOf(t)->m_pProgressDlg->GetSafeHwnd(); }

// Polls from the worker until pred holds.
bool WaitOn(const std::function<bool()>& pred, DWORD ms = 5000) {
    for (DWORD start = GetTickCount(); GetTickCount() - start < ms; Sleep(5))
        if (pred()) return true;
    return pred();
}

int BarPos(HWND hDlg) { return (int)SendDlgItemMessageW(hDlg, CProgressDlg::IDC_PROGRESS, PBM_GETPOS, 0, 0); }
CString WindowText(HWND h) {
    WCHAR buf[512] = {};
    GetWindowTextW(h, buf, 512);
    return buf;
}

}  // namespace

TEST(TaskBatchTest, ModalBatchShowsTitleTotalBarAndNames) {
    ScriptScope s;
    TempDir dir;
    CString docs = dir.File(_T("docs")), packed = dir.File(_T("packed"));
    CreateDirectoryW(docs, nullptr);
    CreateDirectoryW(docs + _T("\\sub"), nullptr);
    WriteAll(docs + _T("\\a.txt"), std::string(100, 'a'));
    WriteAll(docs + _T("\\sub\\b.txt"), std::string(100, 'b'));
    WriteAll(docs + _T("\\sub\\c.txt"), std::string(200, 'c'));
    WriteAll(docs + _T("\\d.bin"), std::string(600, 'd'));

    struct Seen {
        CString title, file, line;
        int bar = -1;
        bool visible = false;
    };
    std::vector<Seen> seen(3);
    ULONGLONG total = 0;
    s.script.body = [&](CFileTask& t, int i) {
        HWND hDlg = DialogOf(t);
        total = BatchOf(t)->m_pProgressDlg->m_nTotal;
        seen[i].title = WindowText(hDlg);
        CString dst = packed + _T("\\") + GetFileNamePart(t.m_strSrc) + _T(".kvf");
        ReportNames(t, t.m_strSrc, dst);
        WaitOn([&] { return ControlText(hDlg, CProgressDlg::IDC_FILENAME) == GetFileNamePart(t.m_strSrc); });
        seen[i].file = ControlText(hDlg, CProgressDlg::IDC_FILENAME);
        seen[i].line = ControlText(hDlg, CProgressDlg::IDC_FROMTO);
        int before = BarPos(hDlg);
        ReportBytes(t, t.m_nSize);
        WaitOn([&] { return BarPos(hDlg) != before; });
        seen[i].bar = BarPos(hDlg);
        seen[i].visible = IsWindowVisible(hDlg) != FALSE;
    };

    CFileTaskThread* batch = new CFileTaskThread;
    batch->m_pfnTaskDone = &OnTaskDone;
    ASSERT_TRUE(batch->AddTask(docs + _T("\\a.txt"), packed + _T("\\a.txt"), TASK_COMPRESS));
    ASSERT_TRUE(batch->AddTask(docs + _T("\\sub"), packed + _T("\\sub"), TASK_COPY));
    ASSERT_TRUE(batch->AddTask(docs + _T("\\d.bin"), packed + _T("\\d.bin"), TASK_DELETE));
    int result = 0;
    RunWithTimeout(30000, "modal batch", [&] { result = batch->Start(TRUE); });
    EXPECT_EQ(result, IDOK);
    EXPECT_TRUE(batch->WaitForWorker(5000));

    EXPECT_EQ(total, 1000u);
    const char* files[] = {"a.txt", "sub", "d.bin"};
    const int bars[] = {10, 40, 100};
    for (int i = 0; i < 3; ++i) {
        SCOPED_TRACE(i);
        EXPECT_EQ(U8(seen[i].title), "Compressing...");  // the first task's type
        EXPECT_EQ(U8(seen[i].file), files[i]);
        EXPECT_EQ(U8(seen[i].line), "From 'docs' To 'packed'");
        EXPECT_EQ(seen[i].bar, bars[i]);
        EXPECT_TRUE(seen[i].visible);
    }
    ASSERT_EQ(s.script.done.size(), 3u);
    for (auto& d : s.script.done) EXPECT_EQ(d.first, TASK_OK);
    EXPECT_FALSE(batch->AddTask(docs + _T("\\a.txt"), packed, TASK_COPY));
    EXPECT_EQ(batch->m_arrTasks.GetSize(), 3);
    delete batch;
}

// Names too long for their lines are shortened in their middles: each line
// fits its control on one line, keeps the start and the end (the extension)
// of what it names, and a short name next to a long one is kept whole.
TEST(TaskBatchTest, LongNamesAreShortenedInTheMiddleToFitTheirLines) {
    ScriptScope s;
    TempDir dir;
    WriteAll(dir.File(_T("a")), "a");
    const CString longFolder = CString(L'f', 90) + L"_end", longName = CString(L'n', 150) + L"_tail.txt";
    const CString src = L"E:\\" + longFolder + L"\\" + longName, dst = L"E:\\short\\x.kvf";
    CString file, line;
    bool fileFits = false, lineFits = false;
    s.script.body = [&](CFileTask& t, int) {
        HWND hDlg = DialogOf(t);
        ReportNames(t, src, dst);
        WaitOn([&] { return !ControlText(hDlg, CProgressDlg::IDC_FROMTO).IsEmpty(); });
        file = ControlText(hDlg, CProgressDlg::IDC_FILENAME);
        line = ControlText(hDlg, CProgressDlg::IDC_FROMTO);
        // Measured as the control draws it.
        auto fits = [&](int id, const CString& text) {
            HWND h = GetDlgItem(hDlg, id);
            RECT rc;
            GetClientRect(h, &rc);
            HDC dc = GetDC(h);
            HGDIOBJ old = SelectObject(dc, (HFONT)SendMessageW(h, WM_GETFONT, 0, 0));
            SIZE size = {};
            GetTextExtentPoint32W(dc, text, text.GetLength(), &size);
            SelectObject(dc, old);
            ReleaseDC(h, dc);
            return size.cx <= rc.right;
        };
        fileFits = fits(CProgressDlg::IDC_FILENAME, file);
        lineFits = fits(CProgressDlg::IDC_FROMTO, line);
    };
    CFileTaskThread batch;
    batch.AddTask(dir.File(_T("a")), CString(), TASK_COPY);
    RunWithTimeout(30000, "long names", [&] { EXPECT_EQ(batch.Start(TRUE), IDOK); });
    batch.WaitForWorker(5000);
    EXPECT_TRUE(fileFits) << U8(file);
    EXPECT_TRUE(lineFits) << U8(line);
    EXPECT_LT(file.GetLength(), longName.GetLength());
    EXPECT_EQ(U8(file.Left(5)), "nnnnn");
    EXPECT_EQ(U8(file.Right(9)), "_tail.txt");
    EXPECT_GE(file.Find(L"..."), 0);
    EXPECT_EQ(U8(line.Left(7)), "From 'f");
    EXPECT_EQ(U8(line.Right(16)), "_end' To 'short'");
    EXPECT_GE(line.Find(L"..."), 0);
}

TEST(TaskBatchTest, TitleComesFromTheFirstTask) {
    ScriptScope s;
    CString title;
    s.script.body = [&](CFileTask& t, int i) {
        if (i == 0) title = WindowText(DialogOf(t));
    };
    struct Row {
        std::vector<int> types;
        const char* title;
    } rows[] = {
        {{TASK_COPY}, "Copying..."},
        {{TASK_DELETE, TASK_COMPRESS, TASK_COMPRESS}, "Deleting..."},
        {{TASK_COMPRESS}, "Compressing..."},
        {{TASK_DECOMPRESS, TASK_COPY}, "Decompressing..."},
        {{0}, ""},
        {{7, TASK_COPY}, ""},
    };
    for (const Row& r : rows) {
        SCOPED_TRACE(r.title);
        s.script.flagsAtStart.clear();
        title = _T("unset");
        CFileTaskThread batch;
        for (int type : r.types) batch.AddTask(_T("C:\\nowhere\\x"), _T("C:\\nowhere\\y"), type);
        int result = 0;
        RunWithTimeout(20000, "title batch", [&] { result = batch.Start(TRUE); });
        EXPECT_EQ(result, IDOK);
        batch.WaitForWorker(5000);
        EXPECT_EQ(U8(title), r.title);
    }
}

TEST(TaskBatchTest, FlagsPassFromTaskToTask) {
    ScriptScope s;
    struct Row {
        const char* name;
        int tasks;
        DWORD cleared;  // what the first task clears, as Yes to All would
        std::vector<DWORD> expected;
    } rows[] = {
        {"one task", 1, 0, {0xB}},
        {"several tasks", 3, 0, {0x8B, 0x8B, 0x8B}},
        {"yes to all in the first", 3, TF_ASK_FILE | TF_ASK_READONLY, {0x8B, 0x88, 0x88}},
        {"folder question answered", 2, TF_ASK_FOLDER, {0x8B, 0x83}},
    };
    for (const Row& r : rows) {
        SCOPED_TRACE(r.name);
        s.script.flagsAtStart.clear();
        s.script.done.clear();
        s.script.body = [&](CFileTask& t, int i) {
            if (i == 0) t.m_dwFlags &= ~r.cleared;
        };
        CFileTaskThread batch;
        batch.m_pfnTaskDone = &OnTaskDone;
        for (int i = 0; i < r.tasks; ++i) batch.AddTask(_T("C:\\nowhere\\x"), CString(), TASK_COPY);
        RunWithTimeout(20000, "flag batch", [&] { EXPECT_EQ(batch.Start(TRUE), IDOK); });
        batch.WaitForWorker(5000);
        EXPECT_EQ(s.script.flagsAtStart, r.expected);
        ASSERT_EQ(s.script.done.size(), (size_t)r.tasks);
        EXPECT_EQ(s.script.done[0].second, r.expected[0] & ~r.cleared);
    }
}

TEST(TaskBatchTest, ErrorAndCancelStopTheBatchSkipDoesNot) {
    ScriptScope s;
    struct Row {
        std::vector<int> results;
        int ran;
        int modalResult;
    } rows[] = {
        {{TASK_OK, TASK_OK, TASK_OK}, 3, IDOK},
        {{TASK_OK, TASK_SKIPPED, TASK_OK}, 3, IDCANCEL},
        {{TASK_OK, TASK_ERROR, TASK_OK}, 2, IDCANCEL},
        {{TASK_OK, TASK_CANCELLED, TASK_OK}, 2, IDCANCEL},
        {{TASK_ERROR}, 1, IDCANCEL},
    };
    for (const Row& r : rows) {
        SCOPED_TRACE(testing::PrintToString(r.results));
        s.script.flagsAtStart.clear();
        s.script.done.clear();
        s.script.results = r.results;
        CFileTaskThread batch;
        batch.m_pfnTaskDone = &OnTaskDone;
        for (size_t i = 0; i < r.results.size(); ++i) batch.AddTask(_T("C:\\nowhere\\x"), CString(), TASK_COPY);
        RunWithTimeout(20000, "result batch", [&] { EXPECT_EQ(batch.Start(TRUE), r.modalResult); });
        batch.WaitForWorker(5000);
        // The callback sees every result that ran, the failing one included.
        ASSERT_EQ(s.script.done.size(), (size_t)r.ran);
        for (int i = 0; i < r.ran; ++i) EXPECT_EQ(s.script.done[i].first, r.results[i]);
    }
}

TEST(TaskBatchTest, ModelessBatchShowsItselfOnceTheBarMovesAndReportsTheEnd) {
    ScriptScope s;
    MainWindowScope main;
    TempDir dir;
    WriteAll(dir.File(_T("a")), std::string(400, 'a'));
    WriteAll(dir.File(_T("b")), std::string(400, 'b'));
    HWND hDlg = nullptr;
    bool hiddenBefore = false, shownAfter = false, hiddenWhileZero = false;
    s.script.body = [&](CFileTask& t, int i) {
        if (i != 0) return;
        hDlg = DialogOf(t);
        main.wnd.m_hWatchDlg = hDlg;
        hiddenBefore = !IsWindowVisible(hDlg);
        ReportBytes(t, 7);  // under 1 %: still hidden
        Sleep(200);
        hiddenWhileZero = !IsWindowVisible(hDlg) && BarPos(hDlg) == 0;
        ReportBytes(t, 393);
        shownAfter = WaitOn([&] { return IsWindowVisible(hDlg) != FALSE; });
    };
    CFileTaskThread* batch = new CFileTaskThread;
    batch->AddTask(dir.File(_T("a")), dir.File(_T("x")), TASK_COPY);
    batch->AddTask(dir.File(_T("b")), dir.File(_T("y")), TASK_COPY);
    RunWithTimeout(30000, "modeless batch", [&] {
        EXPECT_EQ(batch->Start(FALSE), 1);
        EXPECT_TRUE(PumpUntil([&] { return !main.wnd.m_finished.empty(); }, 20000));
    });
    ASSERT_EQ(main.wnd.m_finished.size(), 1u);
    EXPECT_EQ(main.wnd.m_finished[0], (WPARAM)batch);
    EXPECT_TRUE(hiddenBefore);
    EXPECT_TRUE(hiddenWhileZero);
    EXPECT_TRUE(shownAfter);
    // WM_TASK_DONE destroyed the dialog before the main window heard of the end.
    EXPECT_FALSE(main.wnd.m_bDialogAliveAtDone);
    EXPECT_FALSE(IsWindow(hDlg));
    delete batch;
}

// A failure before any byte moved: the hidden dialog comes up with its
// Cancel while the failure's box is open.
TEST(TaskBatchTest, ModelessBatchThatFailsEarlyShowsItsDialogWithCancel) {
    ScriptScope s;
    MainWindowScope main;
    TempDir dir;
    WriteAll(dir.File(_T("a")), std::string(400, 'a'));
    std::atomic<HWND> hDlg{nullptr};
    std::atomic<bool> hiddenBefore{false}, shownWithBox{false};
    DialogAnswerer answerer;
    answerer.Ignore(L"Deleting...");
    answerer.OnDialog(L"Failed here", nullptr, [&](HWND, const DialogInfo&) {
        HWND h = hDlg;
        shownWithBox = WaitOn([&] { return IsWindowVisible(h) != FALSE; }, 3000) &&
                       ControlVisible(h, IDCANCEL);
        return IDOK;
    });
    s.script.results = {TASK_ERROR};
    s.script.body = [&](CFileTask& t, int) {
        hDlg = DialogOf(t);
        hiddenBefore = !IsWindowVisible(hDlg);
        ShowTaskError(L"nothing could be written", L"Failed here");
    };
    CFileTaskThread* batch = new CFileTaskThread;
    batch->AddTask(dir.File(_T("a")), CString(), TASK_DELETE);
    RunWithTimeout(30000, "failing modeless batch", [&] {
        EXPECT_EQ(batch->Start(FALSE), 1);
        EXPECT_TRUE(PumpUntil([&] { return !main.wnd.m_finished.empty(); }, 20000));
    });
    EXPECT_TRUE(hiddenBefore);
    EXPECT_TRUE(shownWithBox);
    EXPECT_FALSE(IsWindow(hDlg));
    delete batch;
}

TEST(TaskBatchTest, EmptySourcesDivideByNothing) {
    ScriptScope s;
    TempDir dir;
    WriteAll(dir.File(_T("empty")), "");
    int bar = -1;
    bool visible = true;
    ULONGLONG total = 1;
    s.script.body = [&](CFileTask& t, int i) {
        if (i != 0) return;
        HWND hDlg = DialogOf(t);
        total = BatchOf(t)->m_pProgressDlg->m_nTotal;
        ReportBytes(t, 0);
        ReportBytes(t, 0);
        Sleep(200);
        bar = BarPos(hDlg);
        visible = IsWindowVisible(hDlg) != FALSE;
    };
    for (BOOL modal : {TRUE, FALSE}) {
        SCOPED_TRACE(modal);
        s.script.flagsAtStart.clear();
        MainWindowScope main;
        CFileTaskThread* batch = new CFileTaskThread;
        batch->AddTask(dir.File(_T("empty")), dir.File(_T("x")), TASK_DELETE);
        batch->AddTask(dir.File(_T("gone")), dir.File(_T("y")), TASK_DELETE);
        RunWithTimeout(20000, "empty batch", [&] {
            EXPECT_EQ(batch->Start(modal), modal ? IDOK : 1);
            EXPECT_TRUE(PumpUntil([&] { return !main.wnd.m_finished.empty(); }, 10000));
        });
        EXPECT_EQ(total, 0u);
        EXPECT_EQ(bar, 0);
        if (!modal) {
            EXPECT_FALSE(visible);  // a modeless dialog that never moved stays unseen
        }
        delete batch;
    }
}

TEST(TaskBatchTest, BatchesThatEndAtOnceNeverHang) {
    // Before the dialog's window exists nothing may be posted: a lost
    // WM_TASK_DONE would leave the modal loop waiting for ever.
    RunWithTimeout(60000, "quick batches", [&] {
        {
            ScriptScope s;
            for (int i = 0; i < 60; ++i) {
                CFileTaskThread batch;
                batch.AddTask(_T("C:\\nowhere\\x"), CString(), TASK_COPY);
                ASSERT_EQ(batch.Start(TRUE), IDOK) << i;
            }
        }
        // The real Execute: a missing source fails at once, saying so.
        DialogAnswerer answerer;
        answerer.Ignore(L"Deleting...");
        answerer.Answer(L"Error Deleting File or Folder", L"Cannot delete C:\\nowhere\\x :It cannot be found", IDOK);
        for (int i = 0; i < 30; ++i) {
            CFileTaskThread batch;
            batch.AddTask(_T("C:\\nowhere\\x"), CString(), TASK_DELETE);
            ASSERT_EQ(batch.Start(TRUE), IDCANCEL) << i;
        }
        MainWindowScope main;
        for (int i = 0; i < 30; ++i) {
            CFileTaskThread* batch = new CFileTaskThread;
            batch->AddTask(_T("C:\\nowhere\\x"), CString(), TASK_DELETE);
            ASSERT_EQ(batch->Start(FALSE), 1) << i;
            ASSERT_TRUE(PumpUntil([&] { return main.wnd.m_finished.size() == (size_t)i + 1; }, 10000)) << i;
            EXPECT_EQ(main.wnd.m_finished.back(), (WPARAM)batch);
            delete batch;
        }
        size_t nBoxes = 0;
        for (const DialogInfo& d : answerer.Seen())
            if (d.answer == IDOK) ++nBoxes;
        EXPECT_EQ(nBoxes, 60u);
    });
}

TEST(TaskBatchTest, CancelSetsTheFlagAndTheOwnerWaitsForTheWorker) {
    ScriptScope s;
    std::atomic<bool> finished{false};
    std::atomic<bool> sawCancel{false};
    s.script.body = [&](CFileTask& t, int) {
        ClickButton(DialogOf(t), IDCANCEL);
        sawCancel = WaitOn([&] { return BatchOf(t)->m_bCancel == 1; });
        // The handler finishes its piece after the dialog has gone.
        Sleep(400);
        finished = true;
    };
    s.script.results = {TASK_CANCELLED};
    for (bool viaDestructor : {false, true}) {
        SCOPED_TRACE(viaDestructor);
        finished = false;
        s.script.flagsAtStart.clear();
        s.script.done.clear();
        CFileTaskThread* batch = new CFileTaskThread;
        batch->m_pfnTaskDone = &OnTaskDone;
        batch->AddTask(_T("C:\\nowhere\\x"), CString(), TASK_COPY);
        batch->AddTask(_T("C:\\nowhere\\y"), CString(), TASK_COPY);
        RunWithTimeout(20000, "cancelled batch", [&] {
            EXPECT_EQ(batch->Start(TRUE), IDCANCEL);
            EXPECT_EQ(batch->m_bCancel, 1);
            if (viaDestructor) {
                delete batch;
            } else {
                EXPECT_TRUE(batch->WaitForWorker());
                EXPECT_TRUE(finished);
                delete batch;
            }
        });
        EXPECT_TRUE(finished);
        EXPECT_TRUE(sawCancel);
        ASSERT_EQ(s.script.done.size(), 1u);
        EXPECT_EQ(s.script.done[0].first, TASK_CANCELLED);
    }
}

TEST(TaskBatchTest, OnlyTheWorkerEndsTheDialogWithSuccess) {
    ScriptScope s;
    // What reaches the running dialog, whether it is still there a while
    // later, and what Start returns once the worker has given its result.
    struct Row {
        const char* what;
        UINT message;
        WPARAM wParam;
        int taskResult;
        bool stays;
        int start;
    } rows[] = {
        {"IDOK, then the task fails", WM_COMMAND, IDOK, TASK_ERROR, true, IDCANCEL},
        {"Enter, then the task fails", WM_KEYDOWN, VK_RETURN, TASK_ERROR, true, IDCANCEL},
        {"Enter, then the task succeeds", WM_KEYDOWN, VK_RETURN, TASK_OK, true, IDOK},
        // Posted by another program while the task still runs: the dialog
        // goes, but no success is taken from it.
        {"a stray WM_TASK_DONE(1)", WM_TASK_DONE, 1, TASK_OK, false, IDCANCEL},
    };
    for (const Row& r : rows) {
        SCOPED_TRACE(r.what);
        std::atomic<bool> stayed{false};
        s.script.flagsAtStart.clear();
        s.script.results = {r.taskResult};
        s.script.body = [&](CFileTask& t, int) {
            HWND hDlg = DialogOf(t);
            PostMessageW(hDlg, r.message, r.wParam, 0);
            if (r.message == WM_KEYDOWN) PostMessageW(hDlg, WM_KEYUP, r.wParam, 0xC0000001);
            Sleep(500);
            stayed = IsWindow(hDlg) && IsWindowVisible(hDlg);
        };
        CFileTaskThread batch;
        batch.AddTask(_T("C:\\nowhere\\x"), CString(), TASK_COPY);
        int result = 0;
        RunWithTimeout(20000, "batch with keys", [&] { result = batch.Start(TRUE); });
        EXPECT_TRUE(batch.WaitForWorker(5000));
        EXPECT_EQ(stayed, r.stays);
        EXPECT_EQ(result, r.start);
        EXPECT_EQ(batch.m_bCancel, 0);
    }
}

TEST(TaskBatchTest, DialogSitsBelowItsOwnerAndStaysOnTheDesktop) {
    ScriptScope s;
    RECT desk;
    GetWindowRect(GetDesktopWindow(), &desk);
    RECT seen = {};
    s.script.body = [&](CFileTask& t, int) { GetWindowRect(DialogOf(t), &seen); };
    struct Row {
        int x, y;
        bool flush;
    } rows[] = {{100, 120, false}, {(int)desk.right - 150, (int)desk.bottom - 60, true}, {-200, -300, false}};
    for (const Row& r : rows) {
        SCOPED_TRACE(r.x);
        MainWindowScope main(r.x, r.y, 300, 200);
        CFileTaskThread batch;
        batch.AddTask(_T("C:\\nowhere\\x"), CString(), TASK_COPY);
        RunWithTimeout(20000, "placed batch", [&] { EXPECT_EQ(batch.Start(TRUE), IDOK); });
        batch.WaitForWorker(5000);
        int w = seen.right - seen.left, h = seen.bottom - seen.top;
        EXPECT_GT(w, 100);
        if (r.flush) {
            EXPECT_EQ(seen.right, desk.right);
            EXPECT_EQ(seen.bottom, desk.bottom);
        } else {
            EXPECT_EQ(seen.left, std::max(0, r.x + 30));
            EXPECT_EQ(seen.top, std::max(0, r.y + 80));
        }
        EXPECT_GT(h, 50);
    }
}

TEST(ProgressDlgTest, WithoutACancelFlagCancelJustEnds) {
    RunWithTimeout(20000, "progress dialog", [&] {
        // Modal: Cancel ends with IDCANCEL, WM_TASK_DONE with its verdict.
        struct Row {
            UINT message;
            WPARAM wParam;
            INT_PTR result;
        } rows[] = {{WM_COMMAND, IDCANCEL, IDCANCEL}, {WM_TASK_DONE, 0, IDCANCEL}, {WM_TASK_DONE, 1, IDOK}};
        for (const Row& r : rows) {
            CProgressDlg dlg;
            dlg.m_nTotal = 0;
            HWND hDlg = nullptr;
            std::thread poster([&] {
                WaitOn([&] { return (hDlg = dlg.GetSafeHwnd()) != nullptr; });
                PostMessageW(hDlg, WM_TASK_PROGRESS, 0, 5);  // total 0: no division
                PostMessageW(hDlg, r.message, r.wParam, 0);
            });
            EXPECT_EQ(dlg.DoModal(), r.result);
            poster.join();
        }
        // Modeless: Cancel destroys the window and the object deletes itself.
        CProgressDlg* pDlg = new CProgressDlg;
        ASSERT_TRUE(pDlg->Create(CProgressDlg::IDD, nullptr));
        HWND hDlg = pDlg->GetSafeHwnd();
        PostMessageW(hDlg, WM_COMMAND, IDCANCEL, 0);
        EXPECT_TRUE(PumpUntil([&] { return !IsWindow(hDlg); }, 5000));
    });
}

TEST(TaskBatchTest, WhenTheDialogCannotBeMadeNothingRuns) {
    ScriptScope s;
    for (BOOL modal : {TRUE, FALSE}) {
        SCOPED_TRACE(modal);
        s.script.flagsAtStart.clear();
        MainWindowScope main;
        CFileTaskThread* batch = new CFileTaskThread;
        batch->AddTask(_T("C:\\nowhere\\x"), CString(), TASK_COPY);
        // A resource module without the dialog's template.
        AfxSetResourceHandle(GetModuleHandleW(L"kernel32.dll"));
        int result = -5;
        RunWithTimeout(20000, "batch without dialog", [&] {
            result = batch->Start(modal);
            AfxSetResourceHandle(nullptr);
            // The owner still hears of the end, so it frees the batch as usual.
            EXPECT_TRUE(PumpUntil([&] { return !main.wnd.m_finished.empty(); }, 10000));
            EXPECT_TRUE(batch->WaitForWorker(5000));
        });
        AfxSetResourceHandle(nullptr);
        EXPECT_EQ(result, 0);
        EXPECT_TRUE(s.script.flagsAtStart.empty());
        ASSERT_EQ(main.wnd.m_finished.size(), 1u);
        EXPECT_EQ(main.wnd.m_finished[0], (WPARAM)batch);
        delete batch;
    }
}

// Whatever a task or the per-task callback throws stays on the worker: the
// task fails with the handlers' last-resort message, the batch stops, and
// the dialog still hears of the end.
TEST(TaskBatchTest, ExceptionsNeverLeaveTheWorker) {
    ScriptScope s;
    DialogAnswerer answerer(4000);
    answerer.Ignore(_T("Copying..."));
    answerer.Answer(nullptr, nullptr, IDOK);
    struct Row {
        const char* what;
        std::function<void()> raise;
        bool fromCallback;
    } rows[] = {
        {"framework exception", [] { AfxThrowMemoryException(); }, false},
        {"standard exception", [] { throw std::bad_alloc(); }, false},
        {"from the per-task callback", [] { AfxThrowInvalidArgException(); }, true},
    };
    static std::function<void()> s_raise;
    static std::vector<int> s_results;
    for (const Row& r : rows) {
        SCOPED_TRACE(r.what);
        s.script.flagsAtStart.clear();
        s.script.results = {TASK_OK, TASK_OK};
        s_raise = r.raise;
        s_results.clear();
        s.script.body = [&](CFileTask&, int i) {
            if (!r.fromCallback && i == 0) s_raise();
        };
        answerer.ClearSeen();
        TaskDoneProc record = [](int nResult, CFileTask*) { s_results.push_back(nResult); };
        TaskDoneProc recordAndRaise = [](int nResult, CFileTask*) {
            s_results.push_back(nResult);
            if (s_results.size() == 1) s_raise();
        };
        CFileTaskThread batch;
        batch.m_pfnTaskDone = r.fromCallback ? recordAndRaise : record;
        batch.AddTask(_T("C:\\nowhere\\x"), CString(), TASK_COPY);
        batch.AddTask(_T("C:\\nowhere\\y"), CString(), TASK_COPY);
        int result = 0;
        RunWithTimeout(20000, "throwing batch", [&] { result = batch.Start(TRUE); });
        EXPECT_TRUE(batch.WaitForWorker(5000));
        std::vector<DialogInfo> boxes;
        for (const DialogInfo& d : answerer.Seen())
            if (d.caption != _T("Copying...")) boxes.push_back(d);
        if (r.fromCallback) {
            // The task's own result stands and the batch goes on.
            EXPECT_EQ(result, IDOK);
            EXPECT_EQ(s_results, (std::vector<int>{TASK_OK, TASK_OK}));
            EXPECT_TRUE(boxes.empty());
        } else {
            EXPECT_EQ(result, IDCANCEL);
            EXPECT_EQ(s_results, (std::vector<int>{TASK_ERROR}));
            ASSERT_EQ(boxes.size(), 1u);
            EXPECT_EQ(U8(boxes[0].caption), "Error Moving File or Folder");
            EXPECT_TRUE(boxes[0].HasText(_T("Cannot copy C:\\nowhere\\x"))) << U8(boxes[0].AllText());
        }
    }
    s_raise = nullptr;
}
