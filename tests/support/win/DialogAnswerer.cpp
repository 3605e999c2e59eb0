#include "DialogAnswerer.h"
#include <algorithm>
#include <atomic>
#include <vector>

namespace {
const DWORD kPollMs = 20;
// A dialog still up and enabled this long after its answer gets it again
// (a post that went nowhere, or a dialog that stayed open on purpose).
const DWORD kRepeatMs = 1000;

CString TextOf(HWND h) {
    DWORD_PTR len = 0;
    if (!::SendMessageTimeoutW(h, WM_GETTEXTLENGTH, 0, 0, SMTO_ABORTIFHUNG, 1000, &len)) return CString();
    std::vector<WCHAR> buf((size_t)len + 2, 0);
    DWORD_PTR got = 0;
    if (!::SendMessageTimeoutW(h, WM_GETTEXT, (WPARAM)(len + 1), (LPARAM)buf.data(), SMTO_ABORTIFHUNG,
                               1000, &got))
        return CString();
    return CString(buf.data(), (int)got);
}

CString ClassOf(HWND h) {
    WCHAR cls[128] = {0};
    ::GetClassNameW(h, cls, 128);
    return CString(cls);
}

std::atomic<DWORD> g_watchedPid{0};

struct EnumTop {
    std::vector<HWND> found;
    LPCTSTR cls;
};

BOOL CALLBACK CollectTop(HWND h, LPARAM lp) {
    EnumTop* e = reinterpret_cast<EnumTop*>(lp);
    DWORD pid = 0;
    ::GetWindowThreadProcessId(h, &pid);
    if ((pid != ::GetCurrentProcessId() && (!g_watchedPid || pid != g_watchedPid)) || !::IsWindowVisible(h))
        return TRUE;
    if (e->cls && ClassOf(h).CompareNoCase(e->cls) != 0) return TRUE;
    e->found.push_back(h);
    return TRUE;
}

std::vector<HWND> ProcessWindows(LPCTSTR cls) {
    EnumTop e;
    e.cls = cls;
    ::EnumWindows(CollectTop, (LPARAM)&e);
    return e.found;
}

BOOL CALLBACK CollectChild(HWND h, LPARAM lp) {
    reinterpret_cast<std::vector<HWND>*>(lp)->push_back(h);
    return TRUE;
}
}  // namespace

void WatchProcess(DWORD pid) { g_watchedPid = pid; }

// ---- DialogInfo -------------------------------------------------------------

std::vector<CString> DialogInfo::Texts() const {
    std::vector<CString> r;
    for (const DialogControl& c : controls)
        if (c.visible && !c.text.IsEmpty() && c.cls.CompareNoCase(L"Static") == 0) r.push_back(c.text);
    return r;
}

CString DialogInfo::AllText() const {
    CString r;
    for (const CString& t : Texts()) {
        if (!r.IsEmpty()) r += L"\n";
        r += t;
    }
    return r;
}

bool DialogInfo::HasText(LPCTSTR part) const { return AllText().Find(part) >= 0; }

std::vector<int> DialogInfo::Buttons() const {
    std::vector<int> r;
    for (const DialogControl& c : controls)
        if (c.visible && c.cls.CompareNoCase(L"Button") == 0) r.push_back(c.id);
    return r;
}

bool DialogInfo::ButtonVisible(int id) const {
    for (int b : Buttons())
        if (b == id) return true;
    return false;
}

const DialogControl* DialogInfo::Control(int id) const {
    for (const DialogControl& c : controls)
        if (c.id == id) return &c;
    return nullptr;
}

DialogInfo ReadDialog(HWND hDlg) {
    DialogInfo info;
    info.hwnd = hDlg;
    info.threadId = ::GetWindowThreadProcessId(hDlg, nullptr);
    info.caption = TextOf(hDlg);
    std::vector<HWND> children;
    ::EnumChildWindows(hDlg, CollectChild, (LPARAM)&children);
    for (HWND c : children) {
        DialogControl dc;
        dc.id = ::GetDlgCtrlID(c);
        dc.cls = ClassOf(c);
        dc.text = TextOf(c);
        dc.visible = ::IsWindowVisible(c) != FALSE;
        ::GetWindowRect(c, &dc.rect);
        ::MapWindowPoints(nullptr, hDlg, (LPPOINT)&dc.rect, 2);
        info.controls.push_back(dc);
    }
    return info;
}

HWND WaitForWindow(LPCTSTR caption, DWORD timeoutMs, LPCTSTR cls) {
    DWORD start = ::GetTickCount();
    for (;;) {
        for (HWND h : ProcessWindows(cls))
            if (TextOf(h) == caption) return h;
        if (::GetTickCount() - start >= timeoutMs) return nullptr;
        ::Sleep(kPollMs);
    }
}

CString ControlText(HWND hDlg, int id) {
    HWND h = ::GetDlgItem(hDlg, id);
    return h ? TextOf(h) : CString();
}

bool ControlVisible(HWND hDlg, int id) {
    HWND h = ::GetDlgItem(hDlg, id);
    return h && ::IsWindowVisible(h);
}

RECT ControlRect(HWND hDlg, int id) {
    RECT r = {};
    HWND h = ::GetDlgItem(hDlg, id);
    if (!h) return r;
    ::GetWindowRect(h, &r);
    ::MapWindowPoints(nullptr, hDlg, (LPPOINT)&r, 2);
    return r;
}

void ClickButton(HWND hDlg, int id) {
    ::PostMessageW(hDlg, WM_COMMAND, MAKEWPARAM(id, BN_CLICKED), (LPARAM)::GetDlgItem(hDlg, id));
}

// ---- DialogAnswerer ---------------------------------------------------------

DialogAnswerer::DialogAnswerer(DWORD graceMs) : m_graceMs(graceMs) {
    m_thread = std::thread([this] { Loop(); });
}

DialogAnswerer::~DialogAnswerer() {
    m_stop = true;
    if (m_thread.joinable()) m_thread.join();
}

void DialogAnswerer::AddRule(LPCTSTR caption, LPCTSTR textPart, int buttonId, Handler handler, int times,
                             bool ignore) {
    Rule r;
    r.caption = caption;
    r.textPart = textPart;
    r.button = buttonId;
    r.handler = std::move(handler);
    r.times = times;
    r.ignore = ignore;
    std::lock_guard<std::mutex> g(m_lock);
    m_rules.push_back(r);
}

void DialogAnswerer::Answer(LPCTSTR caption, LPCTSTR textPart, int buttonId, int times) {
    AddRule(caption, textPart, buttonId, Handler(), times, false);
}

void DialogAnswerer::OnDialog(LPCTSTR caption, LPCTSTR textPart, Handler handler, int times) {
    AddRule(caption, textPart, 0, std::move(handler), times, false);
}

void DialogAnswerer::Ignore(LPCTSTR caption, LPCTSTR textPart) { AddRule(caption, textPart, 0, Handler(), -1, true); }

void DialogAnswerer::ClearRules() {
    std::lock_guard<std::mutex> g(m_lock);
    m_rules.clear();
}

std::vector<DialogInfo> DialogAnswerer::Seen() const {
    std::lock_guard<std::mutex> g(m_lock);
    return m_seen;
}

size_t DialogAnswerer::SeenCount() const {
    std::lock_guard<std::mutex> g(m_lock);
    return m_seen.size();
}

bool DialogAnswerer::WaitSeen(size_t n, DWORD timeoutMs) const {
    DWORD start = ::GetTickCount();
    while (SeenCount() < n) {
        if (::GetTickCount() - start >= timeoutMs) return false;
        ::Sleep(kPollMs);
    }
    return true;
}

void DialogAnswerer::ClearSeen() {
    std::lock_guard<std::mutex> g(m_lock);
    m_seen.clear();
    for (Tracked& t : m_tracked) t.seenIndex = (size_t)-1;
}

bool DialogAnswerer::Matches(const Rule& r, const DialogInfo& info) {
    if (r.times == 0) return false;
    if (!r.caption.IsEmpty() && r.caption != info.caption) return false;
    if (!r.textPart.IsEmpty() && !info.HasText(r.textPart)) return false;
    return true;
}

void DialogAnswerer::Loop() {
    while (!m_stop) {
        std::vector<HWND> dialogs = ProcessWindows(L"#32770");
        // A tool window asks nothing (the floating drop window).
        dialogs.erase(std::remove_if(dialogs.begin(), dialogs.end(),
                                     [](HWND h) { return (::GetWindowLongPtrW(h, GWL_EXSTYLE) & WS_EX_TOOLWINDOW) != 0; }),
                      dialogs.end());
        DWORD now = ::GetTickCount();
        {
            std::lock_guard<std::mutex> g(m_lock);
            std::vector<Tracked> still;
            for (const Tracked& t : m_tracked)
                for (HWND h : dialogs)
                    if (h == t.hwnd) still.push_back(t);
            m_tracked.swap(still);
        }
        for (HWND h : dialogs) {
            if (m_stop) break;
            Visit(h, now);
        }
        ::Sleep(kPollMs);
    }
}

void DialogAnswerer::Visit(HWND h, DWORD now) {
    size_t ti;
    {
        std::lock_guard<std::mutex> g(m_lock);
        for (ti = 0; ti < m_tracked.size() && m_tracked[ti].hwnd != h; ++ti) {}
        if (ti == m_tracked.size()) m_tracked.push_back({h, now, 0, (size_t)-1, false});
        Tracked& t = m_tracked[ti];
        // Ignored for good, answered a moment ago, or busy under a box of its own.
        if (t.lastAnswered == (DWORD)-1) return;
        if (t.lastAnswered && (now - t.lastAnswered < kRepeatMs || !::IsWindowEnabled(h))) return;
    }

    DialogInfo info = ReadDialog(h);
    if (!::IsWindow(h)) return;

    Handler handler;
    int button = 0;
    bool matched = false, ignore = false;
    size_t seenIndex;
    {
        std::lock_guard<std::mutex> g(m_lock);
        Tracked& t = m_tracked[ti];
        if (!t.recorded) {
            t.recorded = true;
            t.seenIndex = m_seen.size();
            m_seen.push_back(info);
        }
        seenIndex = t.seenIndex;
        // A dialog under a box of its own waits until the box is gone.
        if (!::IsWindowEnabled(h)) return;
        for (Rule& r : m_rules) {
            if (!Matches(r, info)) continue;
            if (r.times > 0) --r.times;
            matched = true;
            ignore = r.ignore;
            handler = r.handler;
            button = r.button;
            break;
        }
        if (!matched && now - t.firstSeen < m_graceMs) return;
        t.lastAnswered = ignore ? (DWORD)-1 : (now ? now : 1);
        if (!matched && seenIndex < m_seen.size()) m_seen[seenIndex].unmatched = true;
    }
    if (ignore) return;

    if (!matched) {
        ClickButton(h, IDCANCEL);
        ::PostMessageW(h, WM_CLOSE, 0, 0);
        button = IDCANCEL;
    } else {
        if (handler) button = handler(h, info);
        if (button) ClickButton(h, button);
    }
    std::lock_guard<std::mutex> g(m_lock);
    if (seenIndex < m_seen.size()) m_seen[seenIndex].answer = button;
}
