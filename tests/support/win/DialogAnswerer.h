// Answers the dialogs and message boxes of this process from a background
// thread, so that GUI tests never wait for a person. Every visible top-level
// "#32770" window of the process (on any thread) but tool windows is read, recorded, and
// answered by the first matching rule; a dialog that no rule matches is
// recorded and cancelled after a grace period.
#pragma once
#include "framework/Afx.h"
#include <functional>
#include <mutex>
#include <thread>
#include <vector>

struct DialogControl {
    int id = 0;
    CString cls;   // window class, e.g. "Static", "Button", "Edit"
    CString text;
    bool visible = false;
    RECT rect = {};  // in the dialog's client coordinates
};

struct DialogInfo {
    HWND hwnd = nullptr;
    DWORD threadId = 0;  // the thread that runs the dialog
    CString caption;
    std::vector<DialogControl> controls;  // every child, in z-order
    int answer = 0;         // the button id posted (0: none)
    bool unmatched = false; // no rule matched; cancelled after the grace period

    // Visible static texts, in order.
    std::vector<CString> Texts() const;
    // All visible static texts joined by "\n".
    CString AllText() const;
    bool HasText(LPCTSTR part) const;
    // Ids of the visible buttons.
    std::vector<int> Buttons() const;
    bool ButtonVisible(int id) const;
    const DialogControl* Control(int id) const;
};

class DialogAnswerer {
public:
    // Runs the callback on the answerer thread; returns the button id to
    // post (0 posts nothing). It may read or fill the dialog's controls first.
    typedef std::function<int(HWND hDlg, const DialogInfo& info)> Handler;

    explicit DialogAnswerer(DWORD graceMs = 3000);
    ~DialogAnswerer();  // stops the thread; dialogs still open stay open

    // caption empty: any caption; textPart empty: any text. times < 0: no limit.
    void Answer(LPCTSTR caption, LPCTSTR textPart, int buttonId, int times = -1);
    void OnDialog(LPCTSTR caption, LPCTSTR textPart, Handler handler, int times = -1);
    // Records matching dialogs but leaves them alone (the test drives them).
    void Ignore(LPCTSTR caption, LPCTSTR textPart = nullptr);
    void ClearRules();

    // Everything seen so far, in the order the dialogs appeared.
    std::vector<DialogInfo> Seen() const;
    size_t SeenCount() const;
    // Waits until at least n dialogs have been seen; false on timeout.
    bool WaitSeen(size_t n, DWORD timeoutMs) const;
    void ClearSeen();

private:
    struct Rule {
        CString caption, textPart;
        int button = 0;
        Handler handler;
        int times = -1;
        bool ignore = false;
    };
    struct Tracked {
        HWND hwnd;
        DWORD firstSeen;
        DWORD lastAnswered;  // 0: not yet
        size_t seenIndex;
        bool recorded;
    };
    void AddRule(LPCTSTR caption, LPCTSTR textPart, int buttonId, Handler handler, int times, bool ignore);
    void Loop();
    void Visit(HWND h, DWORD now);
    static bool Matches(const Rule& r, const DialogInfo& info);

    DWORD m_graceMs;
    mutable std::mutex m_lock;
    std::vector<Rule> m_rules;
    std::vector<DialogInfo> m_seen;
    std::vector<Tracked> m_tracked;
    volatile bool m_stop = false;
    std::thread m_thread;
};

// The answerer and WaitForWindow also look at the windows of this process
// (a program the test started); 0 again for this process only.
void WatchProcess(DWORD pid);

// Reads the dialog at once (the answerer uses this too).
DialogInfo ReadDialog(HWND hDlg);
// The first visible top-level window of this process with this caption
// (class "#32770" unless cls is given); NULL after the timeout.
HWND WaitForWindow(LPCTSTR caption, DWORD timeoutMs, LPCTSTR cls = L"#32770");
// Control helpers that work across threads.
CString ControlText(HWND hDlg, int id);
bool ControlVisible(HWND hDlg, int id);
RECT ControlRect(HWND hDlg, int id);  // in the dialog's client coordinates
// Posts the button's WM_COMMAND (BN_CLICKED) to the dialog.
void ClickButton(HWND hDlg, int id);
