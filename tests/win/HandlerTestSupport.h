// Fixtures of the file-task handler tests: files with known times and
// attributes, a recording progress callback, batches run to their end, the
// drive's password file, and the answers to the tasks' dialogs.
#pragma once
#include "archive/ZipFile.h"
#include "fileops/CheckDlgs.h"
#include "fileops/FileTask.h"
#include "fileops/HandlerSupport.h"
#include "fileops/ProgressDlg.h"
#include "fileops/TaskThread.h"
#include "framework/Win.h"
#include "password/KivPwd.h"
#include "tests/support/TempDir.h"
#include "tests/support/win/DialogAnswerer.h"
#include "tests/support/win/FolderLink.h"
#include "tests/support/win/Watchdog.h"
#include <gtest/gtest.h>
#include <cstring>
#include <string>
#include <vector>

namespace ht {

inline std::string U8(const CString& s) { return s.ToUtf8(); }

const LPCTSTR kFileReplace = L"Confirm File Replace";
const LPCTSTR kFolderReplace = L"Confirm Folder Replace";

// An even second: DOS times keep two-second steps.
inline FILETIME SomeTime(int nDay) {
    SYSTEMTIME st = {};
    st.wYear = 2021;
    st.wMonth = 5;
    st.wDay = (WORD)nDay;
    st.wHour = 7;
    st.wMinute = 8;
    st.wSecond = 10;
    FILETIME local, ft;
    SystemTimeToFileTime(&st, &local);
    LocalFileTimeToFileTime(&local, &ft);
    return ft;
}

inline void PutFile(const CString& path, const std::string& bytes, DWORD attrs = 0, int nDay = 6) {
    WriteAll(path, bytes);
    HANDLE h = CreateFileW(path, FILE_WRITE_ATTRIBUTES, 0, nullptr, OPEN_EXISTING, 0, nullptr);
    ASSERT_NE(h, INVALID_HANDLE_VALUE) << U8(path);
    FILETIME ft = SomeTime(nDay);
    SetFileTime(h, nullptr, nullptr, &ft);
    CloseHandle(h);
    if (attrs) {
        ASSERT_TRUE(SetFileAttributesW(path, attrs)) << U8(path);
    }
}

inline void MakeDir(const CString& path) { ASSERT_TRUE(CreateDirectoryW(path, nullptr)) << U8(path); }
inline bool Exists(const CString& path) { return GetFileAttributesW(path) != INVALID_FILE_ATTRIBUTES; }

// What a round trip must bring back.
struct Facts {
    bool found = false;
    std::string bytes;
    ULONGLONG mtime = 0;  // seconds
    DWORD attrs = 0;      // read-only, hidden, system
};

inline Facts FactsOf(const CString& path) {
    Facts f;
    WIN32_FILE_ATTRIBUTE_DATA d;
    if (!GetFileAttributesExW(path, GetFileExInfoStandard, &d)) return f;
    f.found = true;
    f.bytes = ReadAll(path);
    f.mtime = ((((ULONGLONG)d.ftLastWriteTime.dwHighDateTime) << 32) | d.ftLastWriteTime.dwLowDateTime) / 10000000;
    f.attrs = d.dwFileAttributes & (FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM);
    return f;
}

// Names of everything in a folder tree, relative, sorted by the listing.
inline void ListTree(const CString& root, const CString& rel, std::vector<CString>& out) {
    WIN32_FIND_DATAW fd;
    HANDLE h = FindFirstFileW(root + rel + L"\\*", &fd);
    if (h == INVALID_HANDLE_VALUE) return;
    do {
        CString name(fd.cFileName);
        if (name == L"." || name == L"..") continue;
        out.push_back(rel + L"\\" + name);
        if (fd.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) ListTree(root, rel + L"\\" + name, out);
    } while (FindNextFileW(h, &fd));
    FindClose(h);
}

// No temporary replacement file was left anywhere in the tree.
inline int CountTemps(const CString& root) {
    std::vector<CString> all;
    ListTree(root, L"", all);
    int n = 0;
    for (const CString& p : all)
        if (p.Find(L"~kiv") >= 0) ++n;
    return n;
}

// Progress reports of tasks run outside a batch.
struct Recorder {
    static std::vector<ULONGLONG>& Bytes() { static std::vector<ULONGLONG> v; return v; }
    static int& Names() { static int n = 0; return n; }
    static int& Cancels() { static int n = 0; return n; }
    static void Reset() { Bytes().clear(); Names() = 0; Cancels() = 0; }
    static ULONGLONG Total() {
        ULONGLONG t = 0;
        for (ULONGLONG b : Bytes()) t += b;
        return t;
    }
    static int Callback(int nCode, void* pData, void* pContext) {
        if (nCode == TPC_BYTES) Bytes().push_back(*(ULONGLONG*)pData);
        if (nCode == TPC_NAMES) ++Names();
        if (nCode == TPC_CANCELLED) ++Cancels();
        return 0;
    }
};

// A task run directly on this thread; its context is an idle batch whose
// cancel flag the test may raise.
struct DirectTask {
    CFileTaskThread batch;
    CFileTask task;
    DirectTask(int nType, DWORD dwFlags)
        : task(CString(), CString(), nType, &Recorder::Callback, &batch) {
        task.m_dwFlags = dwFlags;
        Recorder::Reset();
    }
};

// A batch run to its end: the start result, every task's result, and the
// bytes the dialog counted against its total.
struct BatchRun {
    int nStart = 0;
    std::vector<int> results;
    ULONGLONG nDone = 0, nTotal = 0;
};

inline std::vector<int>& TaskResults() { static std::vector<int> v; return v; }
inline void RecordResult(int nResult, CFileTask*) { TaskResults().push_back(nResult); }

struct TaskSpec {
    CString src, dst;
    int type;
};

// prepare may adjust the queued tasks before the batch starts.
template <class Prepare>
BatchRun RunBatch(const std::vector<TaskSpec>& specs, Prepare prepare) {
    BatchRun run;
    TaskResults().clear();
    CFileTaskThread* pBatch = new CFileTaskThread;
    for (const TaskSpec& s : specs) pBatch->AddTask(s.src, s.dst, s.type);
    pBatch->m_pfnTaskDone = &RecordResult;
    prepare(*pBatch);
    run.nStart = pBatch->Start(TRUE);
    pBatch->WaitForWorker(60000);
    if (pBatch->m_pProgressDlg) {
        run.nDone = pBatch->m_pProgressDlg->m_nDone;
        run.nTotal = pBatch->m_pProgressDlg->m_nTotal;
    }
    delete pBatch;
    run.results = TaskResults();
    return run;
}

inline BatchRun RunBatch(const std::vector<TaskSpec>& specs) {
    return RunBatch(specs, [](CFileTaskThread&) {});
}

// Answers the tasks' boxes with OK and leaves the progress dialogs alone;
// tests add their own answers for the replace questions first.
struct Answers {
    DialogAnswerer answerer{4000};
    Answers() {}
    void Finish() {
        for (LPCTSTR c : {L"Copying...", L"Deleting...", L"Compressing...", L"Decompressing..."})
            answerer.Ignore(c);
        answerer.Answer(nullptr, nullptr, IDOK);
    }
    // The boxes and questions seen, progress dialogs left out.
    std::vector<DialogInfo> Boxes() const {
        std::vector<DialogInfo> r;
        for (const DialogInfo& d : answerer.Seen())
            if (d.caption.Find(L"...") < 0) r.push_back(d);
        return r;
    }
};

// Writes E:\KIV\KIV.pwd with these passwords, oldest first, and removes it
// when the test ends.
class DrivePassword {
public:
    static CString Path() { return L"e:\\KIV\\KIV.pwd"; }
    explicit DrivePassword(std::vector<CString> pwds) {
        Remove();
        CreateDirectoryW(L"e:\\KIV", nullptr);
        if (pwds.empty()) return;
        CKivPwd first;
        EXPECT_TRUE(first.CreatePwdFile(Path(), pwds[0]));
        for (size_t i = 1; i < pwds.size(); ++i) Change(pwds[i - 1], pwds[i]);
    }
    ~DrivePassword() {
        Remove();
        RemoveDirectoryW(L"e:\\KIV");  // only when nothing else is in it
    }
    static void Change(const CString& strOld, const CString& strNew) {
        CKivPwd store;
        ASSERT_TRUE(store.LoadPwdFile(Path()));
        ASSERT_TRUE(store.ChangePwd(strOld, strNew));
    }
    static void Remove() {
        SetFileAttributesW(Path(), FILE_ATTRIBUTE_NORMAL);
        DeleteFileW(Path());
    }
};

// An archive of data whose check field holds pwd, written by the engine.
inline void WriteArchive(const CString& path, const std::string& data, const char* pwd) {
    CZipFile zip;
    memset(zip.m_passwordField, 0, sizeof zip.m_passwordField);
    strncpy((char*)zip.m_passwordField, pwd, 16);
    zip.Open(path);
    EntryFileInfo info;
    zip.BeginEntry(L"", info, 9, 8);
    if (!data.empty()) zip.WriteEntryData((UINT)data.size(), data.data());
    zip.Close();
}

// A listing probe that fails every folder named "unlistable", as a folder
// the user may not read does.
inline BOOL RefuseUnlistable(const CString& strFolder) {
    if (strFolder.Right(11).CompareNoCase(L"\\unlistable") != 0) return TRUE;
    SetLastError(ERROR_ACCESS_DENIED);
    return FALSE;
}

// The folder walk of a copy, compress or decompress task (nType), with the
// caption of its messages and the start of their text ("Cannot copy "):
// a link to a folder off the drive, inside the source or as the source, is
// left out with a message naming it and the task counts as skipped, not
// done; nothing is written through the link and nothing is read from it. A
// sub-folder that cannot be listed and a target folder that cannot be
// made each fail the task with a message.
inline void CheckWalkOverLinksAndFailures(int nType, const char* caption, LPCTSTR verb) {
    Answers a;
    a.Finish();
    TempDir outside;  // the system's temporary folder, off the drive
    PutFile(outside.File(L"keep.txt"), "kept");
    TempDir dir(L"E:\\");
    CString src = dir.File(L"src");
    MakeDir(src);
    MakeDir(src + L"\\sub");
    PutFile(src + L"\\a.txt", "alpha");
    PutFile(src + L"\\sub\\b.txt", "bb");
    FolderLink inner(outside.Path(), src + L"\\link");
    FolderLink top(outside.Path(), dir.File(L"toplink"));
    ASSERT_TRUE(inner.Made() && top.Made());
    auto outsideUntouched = [&] {
        std::vector<CString> names;
        ListTree(outside.Path(), L"", names);
        EXPECT_EQ(names.size(), 1u);
        ASSERT_TRUE(Exists(outside.File(L"keep.txt")));
        EXPECT_EQ(ReadAll(outside.File(L"keep.txt")), "kept");
    };

    struct Row {
        const char* what;
        CString src, dst;
        int result;
        CString text;   // the one box's text starts so
        const char* boxCaption;
    };
    const CString inside = src + L"\\link", shallow = top.Path();
    const Row rows[] = {
        {"link inside", src, dir.File(L"out1"), TASK_SKIPPED, verb + inside + L" :It is a link", caption},
        {"link as source", shallow, dir.File(L"out2"), TASK_SKIPPED, verb + shallow + L" :It is a link", caption},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.what);
        a.answerer.ClearSeen();
        CFileTaskThread batch;
        CFileTask task(row.src, row.dst, nType, &Recorder::Callback, &batch);
        // What the link shows is not measured either.
        EXPECT_EQ(task.m_nSize, row.src == src ? 7u : 0u);
        EXPECT_EQ(task.Execute(), row.result);
        std::vector<DialogInfo> boxes = a.Boxes();
        ASSERT_EQ(boxes.size(), 1u);
        EXPECT_EQ(U8(boxes[0].caption), caption);
        EXPECT_TRUE(boxes[0].HasText(row.text)) << U8(boxes[0].AllText());
        EXPECT_FALSE(Exists(row.dst + L"\\link"));
        EXPECT_FALSE(Exists(row.dst + L"\\keep.txt"));
        EXPECT_FALSE(Exists(row.dst + L"\\keep.txt.kvf"));
        outsideUntouched();
    }
    // The rest of the tree was done around the link.
    EXPECT_TRUE(Exists(dir.File(L"out1\\sub")));
    EXPECT_FALSE(Exists(dir.File(L"out2")));

    // A sub-folder that cannot be read is not an empty one.
    MakeDir(src + L"\\unlistable");
    PutFile(src + L"\\unlistable\\c.txt", "c");
    SetListFolderProbe(&RefuseUnlistable);
    a.answerer.ClearSeen();
    {
        CFileTaskThread batch;
        CFileTask task(src, dir.File(L"out3"), nType, &Recorder::Callback, &batch);
        EXPECT_EQ(task.Execute(), TASK_ERROR);
    }
    SetListFolderProbe(nullptr);
    std::vector<DialogInfo> boxes = a.Boxes();
    ASSERT_GE(boxes.size(), 1u);
    const DialogInfo& unread = boxes.back();
    EXPECT_EQ(U8(unread.caption), caption);
    EXPECT_TRUE(unread.HasText(verb + src + L"\\unlistable :It is being used")) << U8(unread.AllText());

    // A target folder that cannot be made fails even with nothing to put in it.
    CString empty = dir.File(L"empty");
    MakeDir(empty);
    a.answerer.ClearSeen();
    {
        CFileTaskThread batch;
        CFileTask task(empty, dir.File(L"missing\\out4"), nType, &Recorder::Callback, &batch);
        EXPECT_EQ(task.Execute(), TASK_ERROR);
    }
    boxes = a.Boxes();
    ASSERT_EQ(boxes.size(), 1u);
    EXPECT_EQ(U8(boxes[0].caption), "Error Creating File or Folder");
    EXPECT_TRUE(boxes[0].HasText(verb + empty)) << U8(boxes[0].AllText());
    EXPECT_FALSE(Exists(dir.File(L"missing")));
    outsideUntouched();
}

}  // namespace ht
