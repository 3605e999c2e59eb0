// The window framework's behaviour that the program relies on: message-map
// routing, modal loops on any thread, modeless lifetime, key filtering in
// PreTranslateMessage, data exchange, worker threads, file status at every
// length, file listing, message boxes and date formatting.
#include "framework/Win.h"
#include "tests/support/TempDir.h"
#include "tests/support/win/DialogAnswerer.h"
#include "tests/support/win/Watchdog.h"
#include <gtest/gtest.h>
#include <set>
#include <thread>
#include <vector>

namespace {

const DWORD kTestTimeoutMs = 30000;
const UINT WM_FX_PING = WM_APP + 1;
const UINT WM_FX_WORKER_DONE = WM_APP + 5;
const int IDC_FX_EDIT = 1001;
const int IDC_FX_TEXT = 1002;
const int ID_FX_ALL = 3;

// ---- a dialog template in memory -------------------------------------------

class DlgTemplate {
public:
    DlgTemplate(LPCWSTR caption, short cx, short cy) {
        Dword(DS_SETFONT | DS_MODALFRAME | WS_POPUP | WS_CAPTION | WS_SYSMENU);
        Dword(0);
        m_w.push_back(0);  // item count, patched by Add
        Short(0), Short(0), Short(cx), Short(cy);
        m_w.push_back(0);  // no menu
        m_w.push_back(0);  // the dialog class
        Text(caption);
        m_w.push_back(8);
        Text(L"MS Shell Dlg");
    }
    // cls: 0x80 button, 0x81 edit, 0x82 static.
    void Add(WORD id, WORD cls, LPCWSTR text, DWORD style, short x, short y, short cx, short cy) {
        if (m_w.size() % 2) m_w.push_back(0);
        Dword(style | WS_CHILD | WS_VISIBLE);
        Dword(0);
        Short(x), Short(y), Short(cx), Short(cy);
        m_w.push_back(id);
        m_w.push_back(0xFFFF);
        m_w.push_back(cls);
        Text(text);
        m_w.push_back(0);
        ++m_w[4];
    }
    LPCDLGTEMPLATE Get() const { return reinterpret_cast<LPCDLGTEMPLATE>(m_w.data()); }

private:
    void Dword(DWORD v) { m_w.push_back(LOWORD(v)), m_w.push_back(HIWORD(v)); }
    void Short(short v) { m_w.push_back((WORD)v); }
    void Text(LPCWSTR s) {
        for (; *s; ++s) m_w.push_back(*s);
        m_w.push_back(0);
    }
    std::vector<WORD> m_w;
};

// ---- the test dialog ---------------------------------------------------------

// OK (default), Cancel, a third button that ends with 3, an edit box and a text.
class CTestDlg : public CDialog {
public:
    explicit CTestDlg(LPCWSTR caption, CWnd* pParent = nullptr) : m_tmpl(caption, 200, 80) {
        m_tmpl.Add(IDOK, 0x80, L"OK", BS_DEFPUSHBUTTON | WS_TABSTOP, 10, 60, 50, 14);
        m_tmpl.Add(IDCANCEL, 0x80, L"Cancel", BS_PUSHBUTTON | WS_TABSTOP, 70, 60, 50, 14);
        m_tmpl.Add(ID_FX_ALL, 0x80, L"All", BS_PUSHBUTTON | WS_TABSTOP, 130, 60, 50, 14);
        m_tmpl.Add(IDC_FX_EDIT, 0x81, L"", ES_AUTOHSCROLL | WS_BORDER | WS_TABSTOP, 10, 30, 120, 14);
        m_tmpl.Add(IDC_FX_TEXT, 0x82, L"Static text of the test", SS_LEFT, 10, 10, 180, 10);
        InitModalIndirect(m_tmpl.Get(), pParent);
    }

    BOOL OnInitDialog() override {
        CDialog::OnInitDialog();
        ++m_nInit;
        HWND hEdit = ::GetDlgItem(m_hWnd, IDC_FX_EDIT);
        m_bEditBound = m_pEditCtl->m_hWnd == hEdit && CWnd::FromHandlePermanent(hEdit) == m_pEditCtl;
        if (m_nEndInInit) EndDialog(m_nEndInInit);
        if (m_bQuitInInit) ::PostQuitMessage(7);
        return TRUE;
    }
    void OnOK() override {
        ++m_nOK;
        CDialog::OnOK();
    }
    void OnCancel() override {
        ++m_nCancel;
        CDialog::OnCancel();
    }
    void DoDataExchange(CDataExchange* pDX) override {
        CDialog::DoDataExchange(pDX);
        DDX_Control(pDX, IDC_FX_EDIT, *m_pEditCtl);
    }
    afx_msg void OnAll() { EndDialog(ID_FX_ALL); }

    DlgTemplate m_tmpl;
    CEdit m_edit;
    CWnd* m_pEditCtl = &m_edit;
    int m_nInit = 0, m_nOK = 0, m_nCancel = 0;
    BOOL m_bEditBound = FALSE;
    int m_nEndInInit = 0;
    bool m_bQuitInInit = false;

    DECLARE_MESSAGE_MAP()
};

BEGIN_MESSAGE_MAP(CTestDlg, CDialog)
    ON_BN_CLICKED(ID_FX_ALL, &CTestDlg::OnAll)
END_MESSAGE_MAP()

// A hidden top-level window, standing in for the main frame.
class CTestFrame : public CWnd {
public:
    BOOL CreateHidden() {
        return CreateEx(0, nullptr, L"FxTest Frame", WS_OVERLAPPEDWINDOW, 100, 100, 400, 300, nullptr,
                        nullptr);
    }
};

}  // namespace

// ---- message maps -----------------------------------------------------------

namespace {
class CRouteBase : public CWnd {
public:
    virtual void OnSave() { m_log.push_back(L"base save"); }
    virtual LRESULT OnPing(WPARAM w, LPARAM l) { return (LRESULT)(w + l); }
    afx_msg void OnDestroy() {
        m_log.push_back(L"destroy");
        CWnd::OnDestroy();
    }
    void PostNcDestroy() override { m_log.push_back(L"post nc destroy"); }
    std::vector<CString> m_log;
    DECLARE_MESSAGE_MAP()
};

BEGIN_MESSAGE_MAP(CRouteBase, CWnd)
    ON_COMMAND(200, &CRouteBase::OnSave)
    ON_MESSAGE(WM_FX_PING, &CRouteBase::OnPing)
    ON_WM_DESTROY()
END_MESSAGE_MAP()

class CRouteDerived : public CRouteBase {
public:
    void OnSave() override { m_log.push_back(L"derived save"); }
    LRESULT OnPing(WPARAM w, LPARAM l) override { return (LRESULT)(w * l); }
    afx_msg void OnOpen() { m_log.push_back(L"derived open"); }
    afx_msg void OnOverridden() { m_log.push_back(L"derived 201"); }
    DECLARE_MESSAGE_MAP()
};

// 201 is in both maps: the derived entry wins.
BEGIN_MESSAGE_MAP(CRouteDerived, CRouteBase)
    ON_COMMAND(201, &CRouteDerived::OnOverridden)
    ON_COMMAND(202, &CRouteDerived::OnOpen)
END_MESSAGE_MAP()
}  // namespace

TEST(FrameworkMessageMap, EntriesReachDerivedOverridesAndBaseMaps) {
    Watchdog wd(kTestTimeoutMs, "message map test");
    CRouteDerived w;
    ASSERT_TRUE(w.CreateEx(0, nullptr, L"route", WS_OVERLAPPED, 0, 0, 100, 100, nullptr, nullptr));
    EXPECT_EQ(CWnd::FromHandlePermanent(w.m_hWnd), &w);
    EXPECT_EQ(CWnd::FromHandle(w.m_hWnd), &w);

    w.SendMessage(WM_COMMAND, MAKEWPARAM(200, 0), 0);  // menu item: base entry, derived override
    w.SendMessage(WM_COMMAND, MAKEWPARAM(202, 1), 0);  // accelerator
    w.SendMessage(WM_COMMAND, MAKEWPARAM(201, 0), 0);
    w.SendMessage(WM_COMMAND, MAKEWPARAM(999, 0), 0);  // unmapped: nothing
    EXPECT_EQ(w.SendMessage(WM_FX_PING, 6, 7), 42);
    EXPECT_EQ(w.SendMessage(WM_FX_PING + 1, 6, 7), 0);  // default window procedure

    // A control's notification reaches its parent's map only with its own code.
    CButton b;
    ASSERT_TRUE(b.Create(L"b", BS_PUSHBUTTON, RECT{0, 0, 20, 20}, &w, 200));
    w.SendMessage(WM_COMMAND, MAKEWPARAM(200, BN_DOUBLECLICKED), (LPARAM)b.m_hWnd);

    std::vector<CString> expected = {L"derived save", L"derived open", L"derived 201"};
    EXPECT_EQ(w.m_log, expected);

    HWND h = w.m_hWnd;
    w.m_log.clear();
    EXPECT_TRUE(w.DestroyWindow());
    expected = {L"destroy", L"post nc destroy"};
    EXPECT_EQ(w.m_log, expected);
    EXPECT_EQ(w.m_hWnd, nullptr);
    EXPECT_EQ(CWnd::FromHandlePermanent(h), nullptr);
    EXPECT_EQ(b.m_hWnd, nullptr);  // children go with their parent

    // Windows of no object get a temporary one; a null object has no handle.
    HWND hDesk = ::GetDesktopWindow();
    CWnd* pDesk = CWnd::FromHandle(hDesk);
    ASSERT_NE(pDesk, nullptr);
    EXPECT_EQ(pDesk->m_hWnd, hDesk);
    EXPECT_EQ(CWnd::FromHandlePermanent(hDesk), nullptr);
    CWnd* pNone = nullptr;
    EXPECT_EQ(pNone->GetSafeHwnd(), nullptr);
    AfxDeleteTempMaps();
}

namespace {
class CThrowingWnd : public CWnd {
public:
    afx_msg LRESULT OnPing(WPARAM, LPARAM) { AfxThrowFileException(CFileException::diskFull); }
    DECLARE_MESSAGE_MAP()
};
BEGIN_MESSAGE_MAP(CThrowingWnd, CWnd)
    ON_MESSAGE(WM_FX_PING, &CThrowingWnd::OnPing)
END_MESSAGE_MAP()
}  // namespace

TEST(FrameworkMessageMap, AnExceptionEndsItsMessageNotTheProgram) {
    Watchdog wd(kTestTimeoutMs, "throwing handler test");
    CThrowingWnd w;
    ASSERT_TRUE(w.CreateEx(0, nullptr, L"throws", WS_OVERLAPPED, 0, 0, 100, 100, nullptr, nullptr));
    EXPECT_EQ(w.SendMessage(WM_FX_PING, 1, 2), 0);
    ASSERT_TRUE(w.PostMessage(WM_FX_PING, 1, 2));
    PumpFor(100);
    EXPECT_TRUE(w.DestroyWindow());
}

TEST(FrameworkControls, FontsProgressAndAnimation) {
    Watchdog wd(kTestTimeoutMs, "controls test");
    CTestFrame f;
    ASSERT_TRUE(f.CreateHidden());
    CFont font;
    ASSERT_TRUE(font.CreatePointFont(90, L"MS Shell Dlg"));
    CEdit e;
    ASSERT_TRUE(e.Create(WS_BORDER, RECT{0, 0, 100, 20}, &f, 10));
    e.SetFont(&font);
    ASSERT_NE(e.GetFont(), nullptr);
    EXPECT_EQ(e.GetFont()->m_hObject, font.m_hObject);
    e.LimitText(12);
    EXPECT_EQ(e.GetLimitText(), 12u);

    CProgressCtrl p;
    ASSERT_TRUE(p.Create(WS_BORDER, RECT{0, 30, 100, 40}, &f, 11));
    p.SetRange(0, 100);
    EXPECT_EQ(p.SetPos(40), 0);
    EXPECT_EQ(p.SetPos(55), 40);
    EXPECT_EQ(p.GetPos(), 55);
    int lo = -1, hi = -1;
    p.GetRange(lo, hi);
    EXPECT_EQ(lo, 0);
    EXPECT_EQ(hi, 100);

    CAnimateCtrl a;
    ASSERT_TRUE(a.Create(ACS_TRANSPARENT, RECT{0, 50, 60, 90}, &f, 12));
    EXPECT_FALSE(a.Open(54321u));  // no such AVI resource
    f.DestroyWindow();
    EXPECT_EQ(e.m_hWnd, nullptr);
    EXPECT_EQ(p.m_hWnd, nullptr);
}

// ---- modal dialogs ------------------------------------------------------------

TEST(FrameworkDialog, ModalResultsOwnerAndDataExchange) {
    Watchdog wd(kTestTimeoutMs, "modal dialog test");
    CTestFrame owner;
    ASSERT_TRUE(owner.CreateHidden());

    // How the dialog is answered, and whether its owner was disabled before.
    struct Row {
        const char* name;
        int button;        // posted command (0: WM_CLOSE, the close box)
        bool ownerDisabled;
        INT_PTR result;
        int nOK, nCancel;
    };
    const Row rows[] = {
        {"Yes", IDOK, false, IDOK, 1, 0},
        {"Cancel", IDCANCEL, false, IDCANCEL, 0, 1},
        {"mapped third button", ID_FX_ALL, false, ID_FX_ALL, 0, 0},
        {"close box", 0, false, IDCANCEL, 0, 1},
        {"owner disabled by another dialog", IDOK, true, IDOK, 1, 0},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        owner.EnableWindow(!row.ownerDisabled);
        DialogAnswerer ans;
        bool ownerEnabledInside = true;
        HWND ownerInside = nullptr;
        CString textInside;
        ans.OnDialog(L"FxTest Modal", nullptr, [&](HWND h, const DialogInfo& info) {
            ownerEnabledInside = ::IsWindowEnabled(owner.m_hWnd) != FALSE;
            ownerInside = ::GetWindow(h, GW_OWNER);
            textInside = info.AllText();
            if (!row.button) ::PostMessageW(h, WM_CLOSE, 0, 0);
            return row.button;
        });
        CTestDlg dlg(L"FxTest Modal", &owner);
        INT_PTR r = dlg.DoModal();
        EXPECT_EQ(r, row.result);
        EXPECT_EQ(dlg.m_nInit, 1);
        EXPECT_TRUE(dlg.m_bEditBound);
        EXPECT_EQ(dlg.m_nOK, row.nOK);
        EXPECT_EQ(dlg.m_nCancel, row.nCancel);
        EXPECT_FALSE(ownerEnabledInside);
        EXPECT_EQ(ownerInside, owner.m_hWnd);
        EXPECT_EQ(textInside, L"Static text of the test");
        EXPECT_EQ(::IsWindowEnabled(owner.m_hWnd) != FALSE, !row.ownerDisabled);
        // The window and its bound control are gone with the loop.
        EXPECT_EQ(dlg.m_hWnd, nullptr);
        EXPECT_EQ(dlg.m_edit.m_hWnd, nullptr);
        ASSERT_EQ(ans.SeenCount(), 1u);
        EXPECT_FALSE(ans.Seen()[0].unmatched);
    }
    owner.EnableWindow(TRUE);
    owner.DestroyWindow();
}

TEST(FrameworkDialog, EndedInInitIsNeverShownAndQuitIsPassedOn) {
    Watchdog wd(kTestTimeoutMs, "dialog init test");
    DialogAnswerer ans(500);
    {
        CTestDlg dlg(L"FxTest Init");
        dlg.m_nEndInInit = 7;
        EXPECT_EQ(dlg.DoModal(), 7);
    }
    {
        // WM_QUIT ends the modal loop and stays queued for the outer loop.
        CTestDlg dlg(L"FxTest Quit");
        dlg.m_bQuitInInit = true;
        EXPECT_EQ(dlg.DoModal(), -1);
        MSG m;
        ASSERT_TRUE(::PeekMessageW(&m, nullptr, WM_QUIT, WM_QUIT, PM_REMOVE));
        EXPECT_EQ(m.wParam, 7u);
    }
    EXPECT_EQ(ans.SeenCount(), 0u);
}

namespace {
// The shape of a progress dialog: modal on the interface thread while a
// worker runs its own modal dialog and reports back by a posted message.
class COuterDlg : public CTestDlg {
public:
    COuterDlg() : CTestDlg(L"FxTest Outer") {}
    BOOL OnInitDialog() override {
        CTestDlg::OnInitDialog();
        m_pWorker = AfxBeginThread(WorkerProc, this);
        return TRUE;
    }
    static UINT WorkerProc(LPVOID p) {
        COuterDlg* outer = static_cast<COuterDlg*>(p);
        outer->m_workerThreadId = ::GetCurrentThreadId();
        CTestDlg inner(L"FxTest Inner");
        INT_PTR r = inner.DoModal();
        ::PostMessageW(outer->m_hWnd, WM_FX_WORKER_DONE, (WPARAM)r, 0);
        return 0;
    }
    virtual LRESULT OnWorkerDone(WPARAM wParam, LPARAM) {
        m_innerResult = (INT_PTR)wParam;
        EndDialog(IDOK);
        return 0;
    }
    CWinThread* m_pWorker = nullptr;
    volatile DWORD m_workerThreadId = 0;
    INT_PTR m_innerResult = 0;
    DECLARE_MESSAGE_MAP()
};

BEGIN_MESSAGE_MAP(COuterDlg, CTestDlg)
    ON_MESSAGE(WM_FX_WORKER_DONE, &COuterDlg::OnWorkerDone)
END_MESSAGE_MAP()
}  // namespace

TEST(FrameworkDialog, ModalOnWorkerWhileInterfaceThreadRunsItsOwn) {
    Watchdog wd(kTestTimeoutMs, "worker modal test");
    DialogAnswerer ans;
    ans.Ignore(L"FxTest Outer");
    ans.Answer(L"FxTest Inner", L"Static text", ID_FX_ALL);
    COuterDlg outer;
    EXPECT_EQ(outer.DoModal(), IDOK);
    EXPECT_EQ(outer.m_innerResult, ID_FX_ALL);
    // The outer dialog may end before the answerer's next look; the inner one was answered.
    const DialogInfo* inner = nullptr;
    std::vector<DialogInfo> seen = ans.Seen();
    for (const DialogInfo& d : seen) {
        if (d.caption == L"FxTest Inner") inner = &d;
        if (d.caption == L"FxTest Outer") {
            EXPECT_EQ(d.threadId, ::GetCurrentThreadId());
        }
    }
    ASSERT_NE(inner, nullptr);
    EXPECT_EQ(inner->threadId, outer.m_workerThreadId);
    EXPECT_NE(inner->threadId, ::GetCurrentThreadId());
    EXPECT_EQ(inner->answer, ID_FX_ALL);
}

namespace {
struct WorkerDialog {
    volatile LONG done = 0;
    INT_PTR result = 0;
};

UINT RunDialogOnWorker(LPVOID p) {
    WorkerDialog* w = static_cast<WorkerDialog*>(p);
    CTestDlg dlg(L"FxTest Worker Owned");
    w->result = dlg.DoModal();
    ::InterlockedExchange(&w->done, 1);
    return 0;
}
}  // namespace

TEST(FrameworkDialog, WorkerDialogIsOwnedByTheMainWindowOfAnotherThread) {
    Watchdog wd(kTestTimeoutMs, "worker owner test");
    CWinApp app(L"FxOwner");
    CTestFrame frame;
    ASSERT_TRUE(frame.CreateHidden());
    app.m_pMainWnd = &frame;
    DialogAnswerer ans;
    HWND ownerInside = nullptr;
    bool frameEnabledInside = true;
    ans.OnDialog(L"FxTest Worker Owned", nullptr, [&](HWND h, const DialogInfo&) {
        ownerInside = ::GetWindow(h, GW_OWNER);
        frameEnabledInside = ::IsWindowEnabled(frame.m_hWnd) != FALSE;
        return ID_FX_ALL;
    });
    WorkerDialog w;
    ASSERT_NE(AfxBeginThread(RunDialogOnWorker, &w), nullptr);
    EXPECT_TRUE(PumpUntil([&] { return w.done != 0; }, 10000));
    EXPECT_EQ(w.result, ID_FX_ALL);
    EXPECT_EQ(ownerInside, frame.m_hWnd);
    EXPECT_FALSE(frameEnabledInside);
    EXPECT_TRUE(frame.IsWindowEnabled());
    app.m_pMainWnd = nullptr;
    frame.DestroyWindow();
}

// ---- modeless dialogs -----------------------------------------------------------

namespace {
class CModelessDlg : public CTestDlg {
public:
    explicit CModelessDlg(bool* pDeleted) : CTestDlg(L"FxTest Modeless"), m_pDeleted(pDeleted) {}
    void OnCancel() override {
        ++m_nCancel;
        DestroyWindow();
    }
    void PostNcDestroy() override {
        CTestDlg::PostNcDestroy();
        *m_pDeleted = true;
        delete this;
    }
    bool* m_pDeleted;
};
}  // namespace

TEST(FrameworkDialog, ModelessLivesUntilDestroyedThenDeletesItself) {
    Watchdog wd(kTestTimeoutMs, "modeless dialog test");
    DialogAnswerer ans;
    ans.Ignore(L"FxTest Modeless");
    {
        // EndDialog only hides; DestroyWindow ends it and the object deletes itself.
        bool deleted = false;
        CModelessDlg* p = new CModelessDlg(&deleted);
        ASSERT_TRUE(p->CreateIndirect(p->m_tmpl.Get()));
        HWND h = p->m_hWnd;
        EXPECT_EQ(p->m_nInit, 1);
        EXPECT_TRUE(p->m_bEditBound);
        EXPECT_FALSE(::IsWindowVisible(h));  // the template is not WS_VISIBLE
        p->ShowWindow(SW_SHOW);
        p->EndDialog(IDOK);
        EXPECT_TRUE(::IsWindow(h));
        EXPECT_FALSE(::IsWindowVisible(h));
        EXPECT_FALSE(deleted);
        EXPECT_TRUE(p->DestroyWindow());
        EXPECT_TRUE(deleted);
        EXPECT_FALSE(::IsWindow(h));
        EXPECT_EQ(CWnd::FromHandlePermanent(h), nullptr);
    }
    {
        // Cancel arriving through the thread's message loop.
        bool deleted = false;
        CModelessDlg* p = new CModelessDlg(&deleted);
        ASSERT_TRUE(p->CreateIndirect(p->m_tmpl.Get()));
        HWND h = p->m_hWnd;
        p->ShowWindow(SW_SHOW);
        ClickButton(h, IDCANCEL);
        EXPECT_TRUE(PumpUntil([&] { return deleted; }, 5000));
        EXPECT_FALSE(::IsWindow(h));
    }
}

// ---- key filtering --------------------------------------------------------------

namespace {
// Swallows Esc, as the password box does with every key it refuses.
class CFilterEdit : public CEdit {
public:
    BOOL PreTranslateMessage(MSG* pMsg) override {
        if (pMsg->message == WM_KEYDOWN) {
            m_keys.push_back((int)pMsg->wParam);
            if (pMsg->wParam == VK_ESCAPE) return TRUE;
        }
        return CEdit::PreTranslateMessage(pMsg);
    }
    std::vector<int> m_keys;
};
}  // namespace

TEST(FrameworkDialog, ControlSeesKeysBeforeTheDialog) {
    Watchdog wd(kTestTimeoutMs, "key filter test");
    // Esc then Enter typed into the edit box: with the filter, Esc is
    // swallowed and Enter presses OK; without it, Esc cancels the dialog.
    for (bool filter : {true, false}) {
        SCOPED_TRACE(filter ? "filtered" : "plain");
        DialogAnswerer ans;
        ans.OnDialog(L"FxTest Keys", nullptr, [](HWND h, const DialogInfo&) {
            HWND e = ::GetDlgItem(h, IDC_FX_EDIT);
            ::PostMessageW(e, WM_KEYDOWN, VK_ESCAPE, 0x00010001);
            ::PostMessageW(e, WM_KEYDOWN, VK_RETURN, 0x001C0001);
            return 0;
        }, 1);
        CTestDlg dlg(L"FxTest Keys");
        CFilterEdit edit;
        if (filter) dlg.m_pEditCtl = &edit;
        EXPECT_EQ(dlg.DoModal(), filter ? IDOK : IDCANCEL);
        if (filter) {
            EXPECT_EQ(edit.m_keys, (std::vector<int>{VK_ESCAPE, VK_RETURN}));
            EXPECT_EQ(dlg.m_nCancel, 0);
            EXPECT_EQ(dlg.m_nOK, 1);
        }
    }
}

// ---- threads ------------------------------------------------------------------

namespace {
struct ThreadProbe {
    volatile LONG ran = 0;
    CWnd* seenMain = nullptr;
    CWinThread* seenThread = nullptr;
    DWORD threadId = 0;
    CWnd* setMain = nullptr;     // the worker makes this its main window, then starts another
    CWnd* nestedMain = nullptr;  // what that one saw
};

UINT NestedProc(LPVOID p) {
    static_cast<ThreadProbe*>(p)->nestedMain = AfxGetMainWnd();
    return 0;
}

UINT ProbeProc(LPVOID p) {
    ThreadProbe* probe = static_cast<ThreadProbe*>(p);
    probe->seenMain = AfxGetMainWnd();
    probe->seenThread = AfxGetThread();
    probe->threadId = ::GetCurrentThreadId();
    if (probe->setMain) {
        AfxGetThread()->m_pMainWnd = probe->setMain;
        CWinThread* t = AfxBeginThread(NestedProc, probe, THREAD_PRIORITY_NORMAL, 0, CREATE_SUSPENDED);
        HANDLE h = nullptr;
        ::DuplicateHandle(::GetCurrentProcess(), t->m_hThread, ::GetCurrentProcess(), &h, 0, FALSE,
                          DUPLICATE_SAME_ACCESS);
        t->ResumeThread();
        ::WaitForSingleObject(h, 5000);
        ::CloseHandle(h);
    }
    ::InterlockedExchange(&probe->ran, 1);
    return 0;
}
}  // namespace

TEST(FrameworkThread, SuspendedWorkerInheritsMainWindowAndDeletesItself) {
    Watchdog wd(kTestTimeoutMs, "thread test");
    EXPECT_EQ(AfxGetApp(), nullptr);
    EXPECT_EQ(AfxGetMainWnd(), nullptr);
    {
        CWinApp app(L"FxThreads");
        CWnd mainWnd, otherWnd;
        app.m_pMainWnd = &mainWnd;
        EXPECT_EQ(AfxGetApp(), &app);
        EXPECT_EQ(AfxGetThread(), &app);
        EXPECT_EQ(AfxGetMainWnd(), &mainWnd);

        ThreadProbe probe;
        probe.setMain = &otherWnd;
        CWinThread* t = AfxBeginThread(ProbeProc, &probe, THREAD_PRIORITY_BELOW_NORMAL, 0,
                                       CREATE_SUSPENDED);
        ASSERT_NE(t, nullptr);
        EXPECT_TRUE(t->m_bAutoDelete);
        EXPECT_EQ(t->m_pMainWnd, &mainWnd);
        EXPECT_EQ(t->GetThreadPriority(), THREAD_PRIORITY_BELOW_NORMAL);
        ::Sleep(50);
        EXPECT_EQ(probe.ran, 0);  // still suspended
        HANDLE hOrig = t->m_hThread, hWait = nullptr;
        ASSERT_TRUE(::DuplicateHandle(::GetCurrentProcess(), hOrig, ::GetCurrentProcess(), &hWait, 0,
                                      FALSE, DUPLICATE_SAME_ACCESS));
        EXPECT_EQ(t->ResumeThread(), 1u);
        ASSERT_EQ(::WaitForSingleObject(hWait, 5000), WAIT_OBJECT_0);
        ::CloseHandle(hWait);
        EXPECT_EQ(probe.ran, 1);
        EXPECT_EQ(probe.seenMain, &mainWnd);
        EXPECT_EQ(probe.seenThread, t);
        EXPECT_EQ(probe.nestedMain, &otherWnd);  // the starter's main window at that moment
        // The object deleted itself and closed its handle.
        DWORD flags = 0;
        EXPECT_FALSE(::GetHandleInformation(hOrig, &flags));

        // A thread the framework did not start sees the application's main window.
        CWnd* seen = nullptr;
        std::thread([&] { seen = AfxGetMainWnd(); }).join();
        EXPECT_EQ(seen, &mainWnd);

        // Without auto-delete the object outlives its thread.
        ThreadProbe keep;
        CWinThread* k = AfxBeginThread(ProbeProc, &keep, THREAD_PRIORITY_NORMAL, 0, CREATE_SUSPENDED);
        ASSERT_NE(k, nullptr);
        k->m_bAutoDelete = FALSE;
        k->ResumeThread();
        ASSERT_EQ(::WaitForSingleObject(k->m_hThread, 5000), WAIT_OBJECT_0);
        EXPECT_EQ(k->m_nThreadID, keep.threadId);
        delete k;
        app.m_pMainWnd = nullptr;
    }
    EXPECT_EQ(AfxGetApp(), nullptr);
    EXPECT_EQ(AfxGetMainWnd(), nullptr);
}

// ---- file status at every length ----------------------------------------------

TEST(FrameworkFile, LongPathFormOnlyPastMaxPath) {
    const CString e = L"E:\\";
    struct Row {
        CString path, form;
    } rows[] = {
        {e + CString(L'a', 256), e + CString(L'a', 256)},              // 259: as it is
        {e + CString(L'a', 257), L"\\\\?\\" + e + CString(L'a', 257)},  // 260
        {L"\\\\srv\\share\\" + CString(L'b', 250), L"\\\\?\\UNC\\srv\\share\\" + CString(L'b', 250)},
        {L"\\\\?\\" + e + CString(L'c', 300), L"\\\\?\\" + e + CString(L'c', 300)},
        {e + L"x\\..\\" + CString(L'd', 20), e + CString(L'd', 20)},  // made full
    };
    for (const Row& r : rows) EXPECT_EQ(AfxLongPathForm(r.path).ToUtf8(), r.form.ToUtf8());
}

// The status of a file is read, written and the file removed by its plain
// path at any length the system holds (the fixture itself uses the long form).
TEST(FrameworkFile, StatusReadAndWrittenPastMaxPath) {
    TempDir dir(L"E:\\");
    for (int nLength : {200, 259, 260, 300}) {
        SCOPED_TRACE(nLength);
        // Folders of at most 200 characters each, the last one filling up.
        CString folder;
        folder.Format(L"%ls\\%d", dir.Path().GetString(), nLength);
        ASSERT_TRUE(::CreateDirectoryW(folder, nullptr));
        while (folder.GetLength() < nLength - 7) {
            int n = nLength - 7 - folder.GetLength() - 1;
            folder += L"\\" + CString(L'f', n > 200 ? 200 : n);
            ASSERT_TRUE(::CreateDirectoryW(AfxLongPathForm(folder), nullptr));
        }
        CString path = folder + L"\\st.txt";
        ASSERT_EQ(path.GetLength(), nLength);
        HANDLE h = ::CreateFileW(AfxLongPathForm(path), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
        ASSERT_NE(h, INVALID_HANDLE_VALUE);
        DWORD put = 0;
        ::WriteFile(h, "status", 6, &put, nullptr);
        ::CloseHandle(h);
        ASSERT_TRUE(::SetFileAttributesW(AfxLongPathForm(path), FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_ARCHIVE));

        CFileStatus st;
        ASSERT_TRUE(CFile::GetStatus(path, st));
        EXPECT_EQ(st.m_size, 6u);
        EXPECT_EQ(st.m_attribute, (BYTE)(FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_ARCHIVE));
        EXPECT_NE(st.m_mtime.GetTime(), 0);
        // The full name holds only a path that fits it, never a cut one.
        EXPECT_EQ(CString(st.m_szFullName).ToUtf8(), nLength < MAX_PATH ? path.ToUtf8() : "");

        st.m_mtime = CTime(2010, 3, 4, 5, 6, 8);
        st.m_attribute = FILE_ATTRIBUTE_READONLY;
        CFile::SetStatus(path, st);
        CFileStatus back;
        ASSERT_TRUE(CFile::GetStatus(path, back));
        EXPECT_EQ(back.m_mtime.GetTime(), st.m_mtime.GetTime());
        EXPECT_EQ(back.m_attribute & 0x07, FILE_ATTRIBUTE_READONLY);
        ::SetFileAttributesW(AfxLongPathForm(path), FILE_ATTRIBUTE_NORMAL);
        CFile::Remove(path);
        EXPECT_EQ(::GetFileAttributesW(AfxLongPathForm(path)), INVALID_FILE_ATTRIBUTES);
        EXPECT_FALSE(CFile::GetStatus(path, back));
    }
}

// ---- file listing ---------------------------------------------------------------

TEST(FrameworkFileFind, LookAheadListsEveryEntryAndEndsOnTheLast) {
    TempDir dir;
    WriteAll(dir.File(L"a.txt"), "abc");
    WriteAll(dir.File(L"b.txt"), "");
    ASSERT_TRUE(::SetFileAttributesW(dir.File(L"b.txt"), FILE_ATTRIBUTE_READONLY));
    ASSERT_TRUE(::CreateDirectoryW(dir.File(L"sub"), nullptr));

    CFileFind ff;
    std::set<CString> names, dots, dirs;
    int calls = 0, trueCalls = 0;
    BOOL more = ff.FindFile(dir.File(L"*.*"));
    ASSERT_TRUE(more);
    while (more) {
        more = ff.FindNextFile();
        ++calls;
        if (more) ++trueCalls;
        CString name = ff.GetFileName();
        names.insert(name);
        if (ff.IsDots()) dots.insert(name);
        if (ff.IsDirectory()) dirs.insert(name);
        EXPECT_EQ(ff.GetFilePath(), dir.File(name));
        if (name == L"a.txt") {
            EXPECT_EQ(ff.GetLength(), 3u);
            EXPECT_FALSE(ff.IsReadOnly());
            CTime t;
            EXPECT_TRUE(ff.GetLastWriteTime(t));
            EXPECT_LT(std::abs((long long)(t.GetTime() - CTime::GetCurrentTime().GetTime())), 300);
        }
        if (name == L"b.txt") {
            EXPECT_TRUE(ff.IsReadOnly());
        }
    }
    EXPECT_EQ(names, (std::set<CString>{L".", L"..", L"a.txt", L"b.txt", L"sub"}));
    EXPECT_EQ(dots, (std::set<CString>{L".", L".."}));
    EXPECT_EQ(dirs, (std::set<CString>{L".", L"..", L"sub"}));
    EXPECT_EQ(trueCalls, calls - 1);  // FALSE only for the last entry, which is still handed out
    EXPECT_EQ(ff.GetRoot(), dir.Path());
    EXPECT_FALSE(ff.FindNextFile());  // past the end it stays FALSE
    ff.Close();

    // A path without wildcards finds that entry itself.
    ASSERT_TRUE(ff.FindFile(dir.File(L"sub")));
    EXPECT_FALSE(ff.FindNextFile());
    EXPECT_EQ(ff.GetFileName(), L"sub");
    EXPECT_TRUE(ff.IsDirectory());
    EXPECT_FALSE(ff.IsDots());
    EXPECT_EQ(ff.GetFilePath(), dir.File(L"sub"));

    EXPECT_FALSE(ff.FindFile(dir.File(L"missing*")));

    // At a drive root the path has a single separator.
    ASSERT_TRUE(ff.FindFile(L"C:\\*"));
    ff.FindNextFile();
    EXPECT_EQ(ff.GetRoot(), L"C:\\");
    EXPECT_EQ(ff.GetFilePath(), L"C:\\" + ff.GetFileName());
    ::SetFileAttributesW(dir.File(L"b.txt"), FILE_ATTRIBUTE_NORMAL);
}

// ---- message boxes ---------------------------------------------------------------

namespace {
// The icon a message box shows (its SS_ICON static).
HICON BoxIcon(HWND hBox) {
    for (HWND c = ::GetWindow(hBox, GW_CHILD); c; c = ::GetWindow(c, GW_HWNDNEXT))
        if ((::GetWindowLongPtrW(c, GWL_STYLE) & SS_TYPEMASK) == SS_ICON)
            return (HICON)::SendMessageW(c, STM_GETICON, 0, 0);
    return nullptr;
}

struct BoxSeen {
    HICON icon = nullptr;
    HWND owner = nullptr;
};

UINT BoxOnWorker(LPVOID p) {
    *static_cast<int*>(p) = AfxMessageBox(L"Box from a worker", MB_YESNO);
    return 0;
}
}  // namespace

TEST(FrameworkMessageBox, CaptionIconAndOwner) {
    Watchdog wd(kTestTimeoutMs, "message box test");
    EXPECT_STREQ(AfxGetAppName(), L"KIV");  // string 57344 without an application object

    struct Row {
        const char* name;
        UINT type;
        LPCWSTR icon;  // expected system icon
        int answer;
    };
    const Row rows[] = {
        {"no icon named", MB_OKCANCEL, IDI_EXCLAMATION, IDCANCEL},
        {"error icon", MB_ICONERROR | MB_OK, IDI_HAND, IDOK},
        {"information icon", MB_ICONINFORMATION | MB_YESNO, IDI_ASTERISK, IDYES},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        DialogAnswerer ans;
        BoxSeen seen;
        ans.OnDialog(L"KIV", L"Text of the box", [&](HWND h, const DialogInfo&) {
            seen.icon = BoxIcon(h);
            return row.answer;
        });
        EXPECT_EQ(AfxMessageBox(L"Text of the box", row.type), row.answer);
        EXPECT_EQ(seen.icon, ::LoadIconW(nullptr, row.icon));
        ASSERT_EQ(ans.SeenCount(), 1u);
        EXPECT_EQ(ans.Seen()[0].caption, L"KIV");
    }

    // The string overload shows the string's text.
    {
        DialogAnswerer ans;
        ans.Answer(L"KIV", L"KIV", IDOK);
        EXPECT_EQ(AfxMessageBox(57344u), IDOK);
    }

    // With an application: its title, owned by its main window, also from a worker.
    CWinApp app(L"FxApp");
    CTestFrame frame;
    ASSERT_TRUE(frame.CreateHidden());
    app.m_pMainWnd = &frame;
    {
        DialogAnswerer ans;
        HWND owner = nullptr;
        ans.OnDialog(L"FxApp", L"Box on the main thread", [&](HWND h, const DialogInfo&) {
            owner = ::GetWindow(h, GW_OWNER);
            return IDOK;
        });
        EXPECT_EQ(AfxMessageBox(L"Box on the main thread"), IDOK);
        EXPECT_EQ(owner, frame.m_hWnd);
    }
    {
        DialogAnswerer ans;
        HWND owner = nullptr;
        DWORD boxThread = 0;
        ans.OnDialog(L"FxApp", L"Box from a worker", [&](HWND h, const DialogInfo& info) {
            owner = ::GetWindow(h, GW_OWNER);
            boxThread = info.threadId;
            return IDNO;
        });
        int result = 0;
        CWinThread* t = AfxBeginThread(BoxOnWorker, &result);
        ASSERT_NE(t, nullptr);
        DWORD tid = t->m_nThreadID;
        EXPECT_TRUE(PumpUntil([&] { return result != 0; }, 10000));
        EXPECT_EQ(result, IDNO);
        EXPECT_EQ(owner, frame.m_hWnd);
        EXPECT_EQ(boxThread, tid);
    }
    app.m_pMainWnd = nullptr;
    frame.DestroyWindow();
}

TEST(FrameworkDialogAnswerer, UnmatchedDialogIsRecordedAndCancelled) {
    Watchdog wd(kTestTimeoutMs, "answerer test");
    DialogAnswerer ans(300);
    CTestDlg dlg(L"FxTest Nobody");
    EXPECT_EQ(dlg.DoModal(), IDCANCEL);
    std::vector<DialogInfo> seen = ans.Seen();
    ASSERT_EQ(seen.size(), 1u);
    EXPECT_TRUE(seen[0].unmatched);
    EXPECT_EQ(seen[0].caption, L"FxTest Nobody");
    EXPECT_TRUE(seen[0].ButtonVisible(IDOK));
    EXPECT_TRUE(seen[0].ButtonVisible(ID_FX_ALL));
    EXPECT_EQ(seen[0].Texts(), (std::vector<CString>{L"Static text of the test"}));
}

// ---- dates ----------------------------------------------------------------------

TEST(FrameworkOleDateTime, FormatsInTheUserLocale) {
    COleDateTime t(2021, 3, 4, 5, 6, 7);
    EXPECT_EQ(t.GetStatus(), COleDateTime::valid);
    CString s = t.Format(0, LANG_USER_DEFAULT);
    EXPECT_GE(s.Find(L"2021"), 0) << s.ToUtf8();
    EXPECT_GE(s.Find(L"06:07"), 0) << s.ToUtf8();
    COleDateTime bad(2021, 13, 4, 5, 6, 7);
    EXPECT_EQ(bad.GetStatus(), COleDateTime::invalid);
    EXPECT_TRUE(bad.Format().IsEmpty());
}
