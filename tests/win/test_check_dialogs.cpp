// The replace confirmations: their texts, their two layouts and their
// answers; and the file tasks' resources in the three languages.
#include "fileops/CheckDlgs.h"
#include "framework/Win.h"
#include "tests/support/TempDir.h"
#include "tests/support/win/DialogAnswerer.h"
#include "tests/support/win/Watchdog.h"
#include <gtest/gtest.h>
#include <oleauto.h>

namespace {

std::string U8(const CString& s) { return s.ToUtf8(); }

LONGLONG UnixTime(int y, int mo, int d, int h, int mi, int s) {
    SYSTEMTIME st = {(WORD)y, (WORD)mo, 0, (WORD)d, (WORD)h, (WORD)mi, (WORD)s, 0};
    FILETIME ft;
    SystemTimeToFileTime(&st, &ft);
    ULONGLONG t = ((ULONGLONG)ft.dwHighDateTime << 32) | ft.dwLowDateTime;
    return (LONGLONG)((t - 116444736000000000ull) / 10000000ull);
}

// The local time of a Unix time in the user's format, worked out through
// the system's own conversions.
CString LocalDateText(LONGLONG t) {
    ULONGLONG ticks = (ULONGLONG)t * 10000000ull + 116444736000000000ull;
    FILETIME utc = {(DWORD)ticks, (DWORD)(ticks >> 32)}, local;
    FileTimeToLocalFileTime(&utc, &local);
    SYSTEMTIME st;
    FileTimeToSystemTime(&local, &st);
    st.wMilliseconds = 0;
    double date = 0;
    SystemTimeToVariantTime(&st, &date);
    BSTR b = nullptr;
    VarBstrFromDate(date, LOCALE_USER_DEFAULT, 0, &b);
    CString s(b ? b : L"");
    SysFreeString(b);
    return s;
}

CFileCheckInfo Info(LPCTSTR name, BYTE attr, LONGLONG mtime) {
    CFileCheckInfo i;
    i.m_strName = name;
    i.m_bAttribute = attr;
    i.m_mtime = mtime;
    return i;
}

// Runs a dialog modally on this thread while the answerer reads it and
// gives the answer; returns the modal result.
template <class Dlg>
INT_PTR RunAnswered(Dlg& dlg, LPCTSTR caption, DialogInfo* seen, int button, bool escape = false) {
    DialogAnswerer answerer(2000);
    answerer.OnDialog(caption, nullptr, [&](HWND hDlg, const DialogInfo& info) {
        if (seen) *seen = info;
        if (escape) {
            // As the keyboard would: through the dialog manager, at a control.
            PostMessageW(GetDlgItem(hDlg, IDOK), WM_KEYDOWN, VK_ESCAPE, 0);
            return 0;
        }
        return button;
    }, 1);
    INT_PTR result = -100;
    RunWithTimeout(20000, "replace dialog", [&] { result = dlg.DoModal(); });
    return result;
}

}  // namespace

TEST(FileCheckInfoTest, ReadsNameSizeAttributeAndTime) {
    TempDir dir;
    CString path = dir.File(_T("report.txt"));
    WriteAll(path, std::string(1234, 'r'));
    LONGLONG t = UnixTime(2004, 3, 5, 6, 7, 8);
    ULONGLONG ticks = (ULONGLONG)t * 10000000ull + 116444736000000000ull;
    FILETIME ft = {(DWORD)ticks, (DWORD)(ticks >> 32)};
    HANDLE h = CreateFileW(path, FILE_WRITE_ATTRIBUTES, 0, nullptr, OPEN_EXISTING, 0, nullptr);
    SetFileTime(h, nullptr, nullptr, &ft);
    CloseHandle(h);
    SetFileAttributesW(path, FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_ARCHIVE);

    CFileCheckInfo info;
    ASSERT_TRUE(GetFileCheckInfo(path, info));
    EXPECT_EQ(U8(info.m_strName), "report.txt");
    EXPECT_EQ(info.m_nSize, 1234u);
    EXPECT_EQ(info.m_bAttribute, (BYTE)(FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_ARCHIVE));
    EXPECT_EQ(info.m_mtime, t);
    SetFileAttributesW(path, FILE_ATTRIBUTE_NORMAL);

    CFileCheckInfo untouched = Info(_T("keep"), 5, 77);
    EXPECT_FALSE(GetFileCheckInfo(dir.File(_T("missing.txt")), untouched));
    EXPECT_EQ(U8(untouched.m_strName), "keep");
    EXPECT_EQ(untouched.m_bAttribute, 5);
    EXPECT_EQ(untouched.m_mtime, 77);
}

TEST(FilesCheckDlgTest, NamesTheExistingFileAndBothTimes) {
    LONGLONG older = UnixTime(2003, 1, 2, 10, 20, 30), newer = UnixTime(2009, 11, 12, 13, 14, 15);
    struct Row {
        CFileCheckInfo existing, incoming;
        bool setInfos;
        const char* line;
    } rows[] = {
        {Info(_T("a.txt"), 0x20, older), Info(_T("a.txt"), 0, newer), true,
         "This folder already contains a file named 'a.txt'"},
        {Info(_T("a.txt"), 0x21, older), Info(_T("a.txt"), 0, newer), true,
         "This folder already contains a read-only file named 'a.txt'"},
        // Unreadable status: the initial records, time 0.
        {CFileCheckInfo(), CFileCheckInfo(), false, "This folder already contains a file named ''"},
    };
    for (const Row& r : rows) {
        SCOPED_TRACE(r.line);
        CFilesCheckDlg dlg(TRUE);
        if (r.setInfos) {
            dlg.SetExistingFile(r.existing);
            dlg.SetNewFile(r.incoming);
        }
        DialogInfo seen;
        EXPECT_EQ(RunAnswered(dlg, _T("Confirm File Replace"), &seen, IDOK), IDOK);
        ASSERT_NE(seen.Control(1002), nullptr);
        EXPECT_EQ(U8(seen.Control(1002)->text), r.line);
        EXPECT_EQ(U8(seen.Control(1003)->text), U8(_T("modified: ") + LocalDateText(r.existing.m_mtime)));
        EXPECT_EQ(U8(seen.Control(1004)->text), U8(_T("modified: ") + LocalDateText(r.incoming.m_mtime)));
        EXPECT_TRUE(seen.HasText(_T("Would you like to replace the existing file")));
        EXPECT_TRUE(seen.HasText(_T("with this one?")));
    }
}

TEST(FilesCheckDlgTest, SingleLayoutShowsYesAndNoWhereNoAndCancelWere) {
    DialogInfo multi, single;
    {
        CFilesCheckDlg dlg(FALSE);
        EXPECT_EQ(RunAnswered(dlg, _T("Confirm File Replace"), &multi, IDOK), IDOK);
    }
    {
        CFilesCheckDlg dlg(TRUE);
        EXPECT_EQ(RunAnswered(dlg, _T("Confirm File Replace"), &single, IDOK), IDOK);
    }
    EXPECT_EQ(multi.Buttons(), (std::vector<int>{IDOK, IDYESTOALL, IDNO, IDCANCEL}));
    EXPECT_EQ(single.Buttons(), (std::vector<int>{IDOK, IDNO}));
    auto same = [](const RECT& a, const RECT& b) {
        return a.left == b.left && a.top == b.top && a.right == b.right && a.bottom == b.bottom;
    };
    // Multiple: the template's order from left to right.
    EXPECT_LT(multi.Control(IDOK)->rect.left, multi.Control(IDYESTOALL)->rect.left);
    EXPECT_LT(multi.Control(IDYESTOALL)->rect.left, multi.Control(IDNO)->rect.left);
    EXPECT_LT(multi.Control(IDNO)->rect.left, multi.Control(IDCANCEL)->rect.left);
    EXPECT_TRUE(same(single.Control(IDOK)->rect, multi.Control(IDNO)->rect));
    EXPECT_TRUE(same(single.Control(IDNO)->rect, multi.Control(IDCANCEL)->rect));
}

TEST(CheckDlgTest, EachAnswerEndsWithItsResult) {
    struct Row {
        int kind;  // 0 file single, 1 file multiple, 2 folder
        int button;
        bool escape;
        INT_PTR result;
    } rows[] = {
        {0, IDOK, false, 1}, {0, IDNO, false, 7}, {0, 0, true, 2},
        {1, IDOK, false, 1}, {1, IDYESTOALL, false, 3}, {1, IDNO, false, 7}, {1, IDCANCEL, false, 2}, {1, 0, true, 2},
        {2, IDOK, false, 1}, {2, IDYESTOALL, false, 3}, {2, IDNO, false, 7}, {2, IDCANCEL, false, 2}, {2, 0, true, 2},
    };
    for (const Row& r : rows) {
        SCOPED_TRACE(testing::Message() << "kind " << r.kind << " button " << r.button << " esc " << r.escape);
        if (r.kind == 2) {
            CDirCheckDlg dlg;
            dlg.m_strFolder = _T("E:\\a\\b");
            EXPECT_EQ(RunAnswered(dlg, _T("Confirm Folder Replace"), nullptr, r.button, r.escape), r.result);
        } else {
            CFilesCheckDlg dlg(r.kind == 0);
            EXPECT_EQ(RunAnswered(dlg, _T("Confirm File Replace"), nullptr, r.button, r.escape), r.result);
        }
    }
}

TEST(DirCheckDlgTest, NamesOnlyTheLastComponentAndShowsEveryButton) {
    struct Row {
        LPCTSTR folder;
        const char* line;
    } rows[] = {
        {_T("E:\\a\\b"), "This folder already contains a folder named 'b' "},
        {_T("E:\\docs"), "This folder already contains a folder named 'docs' "},
    };
    for (const Row& r : rows) {
        SCOPED_TRACE(r.line);
        CDirCheckDlg dlg;
        dlg.m_strFolder = r.folder;
        DialogInfo seen;
        HWND hSeen = nullptr;
        DialogAnswerer answerer(2000);
        answerer.OnDialog(_T("Confirm Folder Replace"), nullptr, [&](HWND hDlg, const DialogInfo& info) {
            seen = info;
            hSeen = hDlg;
            // A click on the folder's line changes nothing.
            PostMessageW(hDlg, WM_COMMAND, MAKEWPARAM(1006, STN_CLICKED), (LPARAM)GetDlgItem(hDlg, 1006));
            Sleep(200);
            return IsWindow(hDlg) ? IDNO : 0;
        }, 1);
        INT_PTR result = 0;
        RunWithTimeout(20000, "folder dialog", [&] { result = dlg.DoModal(); });
        EXPECT_EQ(result, IDNO);
        ASSERT_NE(seen.Control(1006), nullptr);
        EXPECT_EQ(U8(seen.Control(1006)->text), r.line);
        EXPECT_EQ(seen.Buttons(), (std::vector<int>{IDOK, IDYESTOALL, IDNO, IDCANCEL}));
        EXPECT_TRUE(seen.HasText(_T("Do you still want to move or copy the folder?")));
    }
}

TEST(CheckDlgTest, CentredOnTheDesktop) {
    RECT desk;
    GetWindowRect(GetDesktopWindow(), &desk);
    RECT rc = {};
    CFilesCheckDlg dlg(FALSE);
    DialogAnswerer answerer(2000);
    answerer.OnDialog(_T("Confirm File Replace"), nullptr, [&](HWND hDlg, const DialogInfo&) {
        GetWindowRect(hDlg, &rc);
        return IDCANCEL;
    }, 1);
    RunWithTimeout(20000, "centred dialog", [&] { EXPECT_EQ(dlg.DoModal(), IDCANCEL); });
    int w = rc.right - rc.left, h = rc.bottom - rc.top;
    EXPECT_GT(w, 0);
    EXPECT_EQ(rc.left, (desk.right - desk.left - w) / 2);
    EXPECT_EQ(rc.top, (desk.bottom - desk.top - h) / 2);
}

namespace {

// String nID of one language, straight from the string table.
bool LoadLangString(UINT nID, WORD lang, CString& out) {
    HRSRC hRes = FindResourceExW(nullptr, (LPCWSTR)RT_STRING, MAKEINTRESOURCEW(nID / 16 + 1), lang);
    if (!hRes) return false;
    const WCHAR* p = (const WCHAR*)LockResource(LoadResource(nullptr, hRes));
    for (UINT i = 0; i < nID % 16; ++i) p += 1 + *p;
    if (*p == 0) return false;
    out = CString(p + 1, *p);
    return true;
}

}  // namespace

TEST(TaskResourcesTest, EveryTextInThreeLanguages) {
    struct Row {
        UINT id;
        const char* english;
    } rows[] = {
        {103, "file named '"}, {104, "read-only file named '"}, {105, "'"}, {106, "'"},
        {107, "This folder already contains a "}, {108, "folder named '"}, {110, "' "}, {112, "modified: "},
        {114, "Error Creating File or Folder"}, {115, "Error Deleting File or Folder"},
        {117, "Error Compressing File or Folder"}, {118, "Error Decompressing File or Folder"},
        {121, "Error Moving File or Folder"}, {125, "The disk in the destination drive is full or removed."},
        {126, "Cannot setting "}, {127, "Error Setting File of Folder"},
        {129, " :It is being used by another person or program. Close any programs that might be using the file "
              "and try again."},
        {135, "Unkonwn file format."}, {136, "Password file damaged, Please create new password."},
        {137, "Copying..."}, {138, "Deleting..."}, {139, "Compressing..."}, {140, "Decompressing..."},
        {175, "From"}, {176, "To"}, {179, "Invalid password."},
        {190, " :The file is 4 GB or larger; a KVF archive cannot hold it."},
        {192, " :The path is too long; a full path must be shorter than 260 characters."},
        {1001, "Cannot copy "}, {1002, "Cannot delete "}, {1003, "Cannot compress "}, {1004, "Cannot decompress "},
    };
    const WORD english = MAKELANGID(LANG_ENGLISH, SUBLANG_ENGLISH_US);
    const WORD chinese[] = {MAKELANGID(LANG_CHINESE, SUBLANG_CHINESE_TRADITIONAL),
                            MAKELANGID(LANG_CHINESE, SUBLANG_CHINESE_SIMPLIFIED)};
    for (const Row& r : rows) {
        SCOPED_TRACE(r.id);
        CString en, zh[2];
        ASSERT_TRUE(LoadLangString(r.id, english, en));
        EXPECT_EQ(U8(en), r.english);
        for (int i = 0; i < 2; ++i) {
            ASSERT_TRUE(LoadLangString(r.id, chinese[i], zh[i]));
            // Beyond the quotes and blanks, a Chinese text is not English.
            if (en.GetLength() > 2) {
                EXPECT_NE(U8(zh[i]), U8(en));
            }
        }
    }
    for (WORD lang : {english, chinese[0], chinese[1]}) {
        for (UINT dlg : {130u, 131u, 132u}) {
            EXPECT_NE(FindResourceExW(nullptr, (LPCWSTR)RT_DIALOG, MAKEINTRESOURCEW(dlg), lang), nullptr)
                << dlg << " " << lang;
        }
    }
    HRSRC avi = FindResourceW(nullptr, MAKEINTRESOURCEW(159), L"AVI");
    ASSERT_NE(avi, nullptr);
    EXPECT_LT(SizeofResource(nullptr, avi), 200u * 1024);
}
