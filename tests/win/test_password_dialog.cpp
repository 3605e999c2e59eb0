// The password dialog in its three modes, driven from a second thread: the
// dialog runs modally on the test thread, a driver fills its boxes and
// confirms, and the answerer records and closes every message box.
#include "app/KIVApp.h"
#include "password/PwdDlg.h"
#include "tests/support/TempDir.h"
#include "tests/support/win/DialogAnswerer.h"
#include "tests/support/win/Watchdog.h"
#include "tests/support/win/FullDrive.h"
#include "tests/support/win/WriteProtectedDrive.h"
#include <gtest/gtest.h>
#include <algorithm>
#include <atomic>
#include <mutex>
#include <thread>
#include <vector>

CKIVApp theApp;

namespace {

const WCHAR kPwdFile[] = L"e:\\KIV\\KIV.pwd";
const DWORD kWait = 10000;

std::string U8(const CString& s) { return s.ToUtf8(); }

enum Icon { NO_ICON, EXCLAMATION, ERROR_ICON };

struct Box {
    CString caption, text;
    Icon icon;
};

Icon IconOf(HWND hBox) {
    for (HWND h = GetWindow(hBox, GW_CHILD); h; h = GetWindow(h, GW_HWNDNEXT)) {
        if ((GetWindowLongW(h, GWL_STYLE) & SS_TYPEMASK) != SS_ICON) continue;
        HICON hIcon = (HICON)SendMessageW(h, STM_GETICON, 0, 0);
        if (hIcon == LoadIconW(nullptr, IDI_EXCLAMATION)) return EXCLAMATION;
        if (hIcon == LoadIconW(nullptr, IDI_HAND)) return ERROR_ICON;
    }
    return NO_ICON;
}

// One confirmation: the texts put into the boxes (old, new, retype; null
// leaves a box alone), how it is confirmed, and the message box it raises
// (caption null: none).
struct Step {
    const WCHAR* texts[3];
    const WCHAR* caption;
    const WCHAR* text;
    Icon icon;
    bool ends;       // the dialog closes after this step
    bool byEnter;    // Enter in the first box instead of the OK button
};

const int kBoxIds[3] = {IDC_PWD_EDIT_OLD, IDC_PWD_EDIT_NEW, IDC_PWD_EDIT_RETYPE};

class PwdDialogTest : public ::testing::Test {
protected:
    void SetUp() override {
        theApp.m_strDrivePath = _T("E:");
        theApp.m_strPwdFile = kPwdFile;
        CreateDirectoryW(L"E:\\KIV", nullptr);
        RemovePwdFile();
        m_answerer.Ignore(_T("Login"));
        m_answerer.Ignore(_T("Create Password"));
        m_answerer.Ignore(_T("Change Password"));
        m_answerer.OnDialog(nullptr, nullptr, [this](HWND h, const DialogInfo& info) {
            std::lock_guard<std::mutex> g(m_lock);
            m_boxes.push_back({info.caption, info.AllText(), IconOf(h)});
            return IDOK;
        });
    }
    void TearDown() override {
        RemovePwdFile();
        RemoveDirectoryW(L"E:\\KIV");  // only when empty
    }

    static void RemovePwdFile() {
        SetFileAttributesW(kPwdFile, FILE_ATTRIBUTE_NORMAL);
        DeleteFileW(kPwdFile);
    }

    size_t BoxCount() {
        std::lock_guard<std::mutex> g(m_lock);
        return m_boxes.size();
    }

    // Runs the dialog in the mode while the driver plays the steps; returns
    // DoModal's result. A dialog still open after the last step is
    // cancelled, so the test always ends.
    INT_PTR Run(CPwdDlg& dlg, int mode, const std::vector<Step>& steps, const WCHAR* caption,
                const std::function<void(HWND)>& onOpen = nullptr) {
        dlg.m_nMode = mode;
        std::thread driver([&] {
            HWND hDlg = WaitForWindow(caption, kWait);
            if (!hDlg) {
                ADD_FAILURE() << "no dialog " << U8(caption);
                return;
            }
            if (onOpen) onOpen(hDlg);
            for (size_t i = 0; i < steps.size(); ++i) {
                const Step& s = steps[i];
                SCOPED_TRACE(i);
                size_t before = BoxCount();
                for (int k = 0; k < 3; ++k)
                    if (s.texts[k]) SendMessageW(GetDlgItem(hDlg, kBoxIds[k]), WM_SETTEXT, 0, (LPARAM)s.texts[k]);
                if (s.byEnter) {
                    HWND hEdit = GetDlgItem(hDlg, mode == PWD_MODE_CREATE ? IDC_PWD_EDIT_NEW : IDC_PWD_EDIT_OLD);
                    PostMessageW(hEdit, WM_KEYDOWN, VK_RETURN, 0x001C0001);
                    PostMessageW(hEdit, WM_KEYUP, VK_RETURN, 0xC01C0001);
                } else {
                    ClickButton(hDlg, IDC_PWD_OK);
                }
                if (s.caption) {
                    bool got = PumpUntil([&] { return BoxCount() > before; }, kWait);
                    EXPECT_TRUE(got) << "no message " << U8(s.text);
                    if (got) {
                        std::lock_guard<std::mutex> g(m_lock);
                        const Box& b = m_boxes.back();
                        EXPECT_EQ(U8(b.caption), U8(s.caption));
                        EXPECT_EQ(U8(b.text), U8(s.text));
                        EXPECT_EQ(b.icon, s.icon) << U8(s.text);
                    }
                }
                if (s.ends) {
                    EXPECT_TRUE(PumpUntil([&] { return !IsWindow(hDlg); }, kWait)) << "dialog still open";
                    break;
                }
                // The boxes are emptied once the message is closed.
                bool cleared = PumpUntil([&] {
                    for (int id : kBoxIds)
                        if (GetDlgItem(hDlg, id) && !ControlText(hDlg, id).IsEmpty()) return false;
                    return IsWindowEnabled(hDlg) != FALSE;
                }, kWait);
                EXPECT_TRUE(cleared) << "boxes not reset";
                EXPECT_EQ(BoxCount(), before + (s.caption ? 1 : 0));
            }
            if (IsWindow(hDlg)) ClickButton(hDlg, IDC_PWD_CANCEL);
        });
        INT_PTR result = -1;
        RunWithTimeout(60000, "password dialog", [&] { result = dlg.DoModal(); });
        driver.join();
        return result;
    }

    DialogAnswerer m_answerer{3000};
    std::mutex m_lock;
    std::vector<Box> m_boxes;
};

void WriteFile(const std::string& bytes) {
    WriteAll(kPwdFile, bytes);
}

// Expected rectangles of the visible controls, in creation order.
struct Layout {
    int id;
    const WCHAR* text;
    RECT rc;
};

void CheckLayout(HWND hDlg, const WCHAR* caption, const std::vector<Layout>& expected) {
    DialogInfo info = ReadDialog(hDlg);
    EXPECT_EQ(U8(info.caption), U8(caption));
    std::vector<const DialogControl*> shown;
    for (const DialogControl& c : info.controls)
        if (c.visible) shown.push_back(&c);
    ASSERT_EQ(shown.size(), expected.size());
    // Tab order: the hidden template buttons come first, then the controls
    // in creation order (z-order from the top).
    for (size_t i = 0; i < expected.size(); ++i) {
        SCOPED_TRACE(i);
        EXPECT_EQ(shown[i]->id, expected[i].id);
        if (expected[i].text) {
            EXPECT_EQ(U8(shown[i]->text), U8(expected[i].text));
        }
        EXPECT_EQ(shown[i]->rect.left, expected[i].rc.left);
        EXPECT_EQ(shown[i]->rect.top, expected[i].rc.top);
        EXPECT_EQ(shown[i]->rect.right, expected[i].rc.right);
        EXPECT_EQ(shown[i]->rect.bottom, expected[i].rc.bottom);
    }
    EXPECT_FALSE(GetWindowLongW(hDlg, GWL_STYLE) & WS_SYSMENU);
    for (int id : kBoxIds) {
        HWND h = GetDlgItem(hDlg, id);
        if (!h) continue;
        EXPECT_EQ(SendMessageW(h, EM_GETLIMITTEXT, 0, 0), 12);
        EXPECT_TRUE(GetWindowLongW(h, GWL_STYLE) & ES_PASSWORD);
    }
}

const WCHAR kTooLong[] = L"\x5BC6\x78BC\x9577\x5EA6\x6700\x591A" L"12" L"\x4F4D\x3002";
const WCHAR kTooLongChange[] = L"\x5BC6\x78BC\x9577\x5EA6\x6700\x591A" L"12" L"\x4F4D";
const WCHAR kWarning[] = L"\x8B66\x544A";
const WCHAR kCreateFailed[] = L"\x65B0\x589E\x5BC6\x78BC\x932F\x8AA4\xFF0C\x8ACB\x91CD\x65B0\x8F38\x5165\x3002";
const WCHAR kError[] = L"\x932F\x8AA4";
const WCHAR kBlank[] = L"Password cannot be left blank.";
const WCHAR kShort[] = L"The length of password is at least 6 characters.";
const WCHAR kInvalid[] = L"Invalid password, try again.";
const WCHAR kMismatch[] = L"The password you typed do not match. Please retype the password.";

}  // namespace

TEST_F(PwdDialogTest, PreparesThePathAtTheDriveRoot) {
    CPwdDlg dlg;
    theApp.m_strDrivePath = _T("E:\\tools");
    RemoveDirectoryW(L"E:\\KIV");
    ASSERT_TRUE(dlg.PreparePasswordPath());
    EXPECT_EQ(U8(dlg.m_strPwdPath), "e:\\KIV\\KIV.pwd");
    EXPECT_TRUE(GetFileAttributesW(L"E:\\KIV") & FILE_ATTRIBUTE_DIRECTORY);
    theApp.m_strDrivePath.Empty();
    CPwdDlg none;
    EXPECT_FALSE(none.PreparePasswordPath());
    EXPECT_TRUE(none.m_strPwdPath.IsEmpty());
    theApp.m_strDrivePath = _T("E:");
    EXPECT_EQ(U8(GetAppPwdFilePath()), U8(CString(kPwdFile)));
}

TEST_F(PwdDialogTest, LoginAcceptsOnlyTheNewestPassword) {
    WriteFile("b2xkcHcx\nbmV3cHcy\n");  // oldpw1, then newpw2
    CPwdDlg dlg;
    ASSERT_TRUE(dlg.PreparePasswordPath());
    const WCHAR* P = L"Password";
    std::vector<Step> steps = {
        {{L""}, P, kBlank, EXCLAMATION},
        {{L"abcde"}, P, kShort, EXCLAMATION},
        {{L"abcdefghijklm"}, kWarning, kTooLong, EXCLAMATION},  // set past the box's limit
        {{L"abc-12"}, P, kInvalid, ERROR_ICON},                // pasted, past the key filter
        {{L"oldpw1"}, P, kInvalid, ERROR_ICON},                // set earlier, not the newest
        {{L"NEWPW2"}, P, kInvalid, ERROR_ICON},
        {{L"newpw2"}, nullptr, nullptr, NO_ICON, true, true},  // Enter confirms
    };
    INT_PTR r = Run(dlg, PWD_MODE_LOGIN, steps, L"Login", [](HWND h) {
        CheckLayout(h, L"Login", {{IDC_PWD_LABEL, L"Password: ", {40, 40, 90, 60}},
                                  {IDC_PWD_EDIT_OLD, nullptr, {97, 40, 217, 60}},
                                  {IDC_PWD_OK, L"OK", {48, 79, 112, 103}},
                                  {IDC_PWD_CANCEL, L"Cancel", {132, 79, 196, 103}}});
    });
    EXPECT_EQ(r, IDCANCEL);
    EXPECT_TRUE(dlg.m_bSucceeded);
    EXPECT_EQ(ReadAll(kPwdFile), "b2xkcHcx\nbmV3cHcy\n");
}

TEST_F(PwdDialogTest, LoginWithATextEditorsFileTakesItsLastPassword) {
    // Saved by a text editor: CR LF line ends and an empty last line.
    const char* files[] = {"b2xkcHcx\r\nbmV3cHcy\r\n\r\n", "b2xkcHcx\nbmV3cHcy\n\r\n"};
    for (const char* bytes : files) {
        SCOPED_TRACE(bytes);
        WriteFile(bytes);
        CPwdDlg dlg;
        ASSERT_TRUE(dlg.PreparePasswordPath());
        std::vector<Step> steps = {
            {{L"oldpw1"}, L"Password", kInvalid, ERROR_ICON},
            {{L"newpw2"}, nullptr, nullptr, NO_ICON, true},
        };
        Run(dlg, PWD_MODE_LOGIN, steps, L"Login");
        EXPECT_TRUE(dlg.m_bSucceeded);
        EXPECT_EQ(ReadAll(kPwdFile), bytes);
        RemovePwdFile();
    }
}

TEST_F(PwdDialogTest, LoginWithAnUnreadableFileEnds) {
    WriteFile("\r\nAA==\n\n");  // lines that hold no password
    CPwdDlg dlg;
    ASSERT_TRUE(dlg.PreparePasswordPath());
    std::vector<Step> steps = {
        {{L"newpw2"}, L"Password", L"Load password fail, please re-create a new password!", ERROR_ICON, true},
    };
    EXPECT_EQ(Run(dlg, PWD_MODE_LOGIN, steps, L"Login"), IDCANCEL);
    EXPECT_FALSE(dlg.m_bSucceeded);
}

TEST_F(PwdDialogTest, CreateChecksBothBoxesAndWritesTheFile) {
    CPwdDlg dlg;
    ASSERT_TRUE(dlg.PreparePasswordPath());
    const WCHAR* P = L"Password";
    std::vector<Step> steps = {
        {{nullptr, L"", L""}, P, kBlank, EXCLAMATION},
        {{nullptr, L"abcdef", L""}, P, kBlank, EXCLAMATION},
        {{nullptr, L"abcde", L"abcdef"}, P, kShort, EXCLAMATION},
        {{nullptr, L"abcdef", L"abcdefghijklmn"}, kWarning, kTooLong, EXCLAMATION},
        {{nullptr, L"abc de", L"abc de"}, P, kInvalid, ERROR_ICON},
        {{nullptr, L"abcdef", L"abcdeF"}, P, kMismatch, ERROR_ICON},
        {{nullptr, L"Abcdef123456", L"Abcdef123456"}, nullptr, nullptr, NO_ICON, true},  // 12 characters
    };
    INT_PTR r = Run(dlg, PWD_MODE_CREATE, steps, L"Create Password", [](HWND h) {
        CheckLayout(h, L"Create Password", {{IDC_PWD_LABEL, L"New password: ", {25, 20, 115, 40}},
                                            {IDC_PWD_EDIT_NEW, nullptr, {122, 20, 242, 40}},
                                            {IDC_PWD_LABEL, L"Retype password: ", {25, 47, 115, 67}},
                                            {IDC_PWD_EDIT_RETYPE, nullptr, {122, 47, 242, 67}},
                                            {IDC_PWD_OK, L"OK", {48, 86, 112, 110}},
                                            {IDC_PWD_CANCEL, L"Cancel", {132, 86, 196, 110}}});
    });
    EXPECT_EQ(r, IDCANCEL);
    EXPECT_TRUE(dlg.m_bSucceeded);
    EXPECT_EQ(ReadAll(kPwdFile), "QWJjZGVmMTIzNDU2\n");
    EXPECT_TRUE(GetFileAttributesW(kPwdFile) & FILE_ATTRIBUTE_HIDDEN);
}

TEST_F(PwdDialogTest, CreateOverAnExistingFileIsRefused) {
    WriteFile("b2xkcHcx\n");
    CPwdDlg dlg;
    ASSERT_TRUE(dlg.PreparePasswordPath());
    std::vector<Step> steps = {
        {{nullptr, L"abc123", L"abc123"}, kError, kCreateFailed, ERROR_ICON},
    };
    EXPECT_EQ(Run(dlg, PWD_MODE_CREATE, steps, L"Create Password"), IDCANCEL);  // then Cancel
    EXPECT_FALSE(dlg.m_bSucceeded);
    EXPECT_EQ(ReadAll(kPwdFile), "b2xkcHcx\n");
}

TEST_F(PwdDialogTest, ChangeNeedsTheCurrentPassword) {
    WriteFile("b2xkcHcx\nbmV3cHcy\n");
    CPwdDlg dlg;  // the change mode reads the application's password file
    const WCHAR* P = L"Password";
    std::vector<Step> steps = {
        {{L"", L"brand3", L"brand3"}, P, kBlank, EXCLAMATION},
        {{L"newpw2", L"brand", L"brand3"}, P, kShort, EXCLAMATION},
        {{L"newpw2", L"brand3brand3b", L"brand3"}, kWarning, kTooLongChange, EXCLAMATION},
        {{L"newpw2", L"brand3", L"brand4"}, P, kMismatch, ERROR_ICON},
        {{L"newpw2", L"brand!", L"brand!"}, P, kInvalid, ERROR_ICON},
        {{L"oldpw1", L"brand3", L"brand3"}, P, kInvalid, ERROR_ICON},
        {{L"newpw2", L"brand3", L"brand3"}, nullptr, nullptr, NO_ICON, true},
    };
    INT_PTR r = Run(dlg, PWD_MODE_CHANGE, steps, L"Change Password", [](HWND h) {
        CheckLayout(h, L"Change Password", {{IDC_PWD_LABEL, L"Old password: ", {25, 10, 115, 30}},
                                            {IDC_PWD_EDIT_OLD, nullptr, {122, 10, 242, 30}},
                                            {IDC_PWD_LABEL, L"New password: ", {25, 37, 115, 57}},
                                            {IDC_PWD_EDIT_NEW, nullptr, {122, 37, 242, 57}},
                                            {IDC_PWD_LABEL, L"Retype password: ", {25, 64, 115, 84}},
                                            {IDC_PWD_EDIT_RETYPE, nullptr, {122, 64, 242, 84}},
                                            {IDC_PWD_OK, L"OK", {48, 98, 112, 122}},
                                            {IDC_PWD_CANCEL, L"Cancel", {132, 98, 196, 122}}});
    });
    EXPECT_EQ(r, IDCANCEL);
    EXPECT_TRUE(dlg.m_bSucceeded);
    CKivPwd store;
    ASSERT_TRUE(store.LoadPwdFile(kPwdFile));
    EXPECT_EQ(U8(store.GetCurrentPwd()), "brand3");
}

TEST_F(PwdDialogTest, ChangeWithADamagedFileEndsAndWritesNothing) {
    WriteFile("\n");
    CString damaged;
    damaged.LoadString(IDS_PWD_FILE_DAMAGED);
    EXPECT_EQ(U8(damaged), "Password file damaged, Please create new password.");
    CPwdDlg dlg;
    std::vector<Step> steps = {
        {{L"newpw2", L"brand3", L"brand3"}, L"Password", damaged, ERROR_ICON, true},
    };
    EXPECT_EQ(Run(dlg, PWD_MODE_CHANGE, steps, L"Change Password"), IDCANCEL);
    EXPECT_FALSE(dlg.m_bSucceeded);
    EXPECT_EQ(ReadAll(kPwdFile), "\n");
}

TEST_F(PwdDialogTest, KeyFilterAndEscape) {
    WriteFile("bmV3cHcy\n");
    CPwdDlg dlg;
    ASSERT_TRUE(dlg.PreparePasswordPath());
    std::atomic<bool> checked{false};
    std::thread driver([&] {
        HWND hDlg = WaitForWindow(L"Login", kWait);
        if (!hDlg) return;
        HWND hEdit = GetDlgItem(hDlg, IDC_PWD_EDIT_OLD);
        // Keys that would type a character if they got through, then a letter.
        for (WPARAM vk : {(WPARAM)VK_SPACE, (WPARAM)VK_OEM_MINUS, (WPARAM)VK_OEM_COMMA, (WPARAM)VK_OEM_PERIOD,
                          (WPARAM)VK_ESCAPE, (WPARAM)VK_ADD, (WPARAM)'A', (WPARAM)'7', (WPARAM)'5'}) {
            UINT scan = MapVirtualKeyW((UINT)vk, MAPVK_VK_TO_VSC);
            PostMessageW(hEdit, WM_KEYDOWN, vk, 1 | (scan << 16));
            PostMessageW(hEdit, WM_KEYUP, vk, 1 | (scan << 16) | 0xC0000000);
        }
        bool typed = PumpUntil([&] { return ControlText(hDlg, IDC_PWD_EDIT_OLD).GetLength() >= 3; }, kWait);
        EXPECT_TRUE(typed);
        PumpFor(300);
        EXPECT_EQ(U8(ControlText(hDlg, IDC_PWD_EDIT_OLD)), "a75");
        // Esc on a button sends command 2, which does nothing.
        HWND hOK = GetDlgItem(hDlg, IDC_PWD_OK);
        PostMessageW(hOK, WM_KEYDOWN, VK_ESCAPE, 0x00010001);
        PostMessageW(hOK, WM_KEYUP, VK_ESCAPE, 0xC0010001);
        PumpFor(500);
        EXPECT_TRUE(IsWindow(hDlg));
        EXPECT_TRUE(IsWindowVisible(hDlg));
        checked = true;
        ClickButton(hDlg, IDC_PWD_CANCEL);
    });
    dlg.m_nMode = PWD_MODE_LOGIN;
    INT_PTR r = -1;
    RunWithTimeout(60000, "password dialog", [&] { r = dlg.DoModal(); });
    driver.join();
    EXPECT_TRUE(checked);
    EXPECT_EQ(r, IDCANCEL);
    EXPECT_FALSE(dlg.m_bSucceeded);
    EXPECT_EQ(BoxCount(), 0u);
}

TEST(PwdEditTest, PassesOnlyLettersDigitsAndEditingKeys) {
    std::vector<WPARAM> passing = {VK_BACK, VK_TAB, VK_RETURN, VK_SHIFT, VK_CONTROL, VK_CAPITAL, VK_END,
                                   VK_HOME, VK_LEFT, VK_UP, VK_RIGHT, VK_DOWN, VK_INSERT, VK_DELETE};
    for (WPARAM vk = '0'; vk <= '9'; ++vk) passing.push_back(vk);
    for (WPARAM vk = 'A'; vk <= 'Z'; ++vk) passing.push_back(vk);
    for (WPARAM vk = VK_NUMPAD0; vk <= VK_NUMPAD9; ++vk) passing.push_back(vk);
    CPwdEdit edit;
    for (WPARAM vk = 0; vk < 256; ++vk) {
        bool passes = std::find(passing.begin(), passing.end(), vk) != passing.end();
        MSG msg = {nullptr, WM_KEYDOWN, vk, 0};
        EXPECT_EQ(edit.PreTranslateMessage(&msg) == FALSE, passes) << "key " << vk;
    }
    // Only key downs are looked at.
    MSG chr = {nullptr, WM_CHAR, '-', 0};
    EXPECT_FALSE(edit.PreTranslateMessage(&chr));
    MSG up = {nullptr, WM_KEYUP, VK_SPACE, 0};
    EXPECT_FALSE(edit.PreTranslateMessage(&up));
}


TEST_F(PwdDialogTest, CreateOnAFullDriveIsRefusedAndTheDialogStays) {
    const CString root = FullDriveRoot();
    if (root.IsEmpty()) GTEST_SKIP() << "no full drive";
    const CString pwdFile = root + _T("KIV\\KIV.pwd");
    theApp.m_strDrivePath = root.Left(2);
    CPwdDlg dlg;
    ASSERT_TRUE(dlg.PreparePasswordPath());
    {
        CDriveFiller full(root + _T("filler"));
        // The file can be made but its line cannot be written: the store
        // throws, and the dialog reports a failed creation instead of ending
        // the program.
        std::vector<Step> steps = {
            {{nullptr, L"abc123", L"abc123"}, kError, kCreateFailed, ERROR_ICON},
        };
        EXPECT_EQ(Run(dlg, PWD_MODE_CREATE, steps, L"Create Password"), IDCANCEL);  // then Cancel
        EXPECT_FALSE(dlg.m_bSucceeded);
        EXPECT_EQ(GetFileAttributesW(pwdFile), INVALID_FILE_ATTRIBUTES);
    }
    RemoveDirectoryW(root + _T("KIV"));
}

TEST_F(PwdDialogTest, ChangeOnAFullDriveIsAFailedAdditionAndTheOldPasswordStays) {
    const CString root = FullDriveRoot();
    if (root.IsEmpty()) GTEST_SKIP() << "no full drive";
    const CString folder = root + _T("KIV"), pwdFile = folder + _T("\\KIV.pwd");
    struct Cleanup {
        CString file, folder;
        ~Cleanup() {
            SetFileAttributesW(file, FILE_ATTRIBUTE_NORMAL);
            DeleteFileW(file);
            RemoveDirectoryW(folder);
        }
    } cleanup{pwdFile, folder};
    theApp.m_strDrivePath = root.Left(2);
    theApp.m_strPwdFile = pwdFile;
    ASSERT_TRUE(CreateDirectoryW(folder, nullptr));
    // Sized so that only the first bytes of the new line fit.
    const std::string history = PwdHistoryShortOfUnit(AllocationUnit(root));
    WriteAll(pwdFile, history);
    SetFileAttributesW(pwdFile, FILE_ATTRIBUTE_HIDDEN);

    CDriveFiller full(root + _T("filler"));
    CPwdDlg change;
    std::vector<Step> steps = {
        {{L"current99", L"brand3", L"brand3"}, kError, kCreateFailed, ERROR_ICON},
    };
    EXPECT_EQ(Run(change, PWD_MODE_CHANGE, steps, L"Change Password"), IDCANCEL);  // then Cancel
    EXPECT_FALSE(change.m_bSucceeded);
    EXPECT_TRUE(ReadAll(pwdFile) == history) << ReadAll(pwdFile).size() << " bytes";

    CPwdDlg login;
    ASSERT_TRUE(login.PreparePasswordPath());
    Run(login, PWD_MODE_LOGIN, {{{L"current99"}, nullptr, nullptr, NO_ICON, true}}, L"Login");
    EXPECT_TRUE(login.m_bSucceeded);
}

TEST_F(PwdDialogTest, APasswordFileAnotherProgramHoldsIsInUseAndTheDialogStays) {
    const std::string history = "b2xkcHcx\nbmV3cHcy\n";
    WriteFile(history);
    const WCHAR kInUse[] = L"The password file e:\\KIV\\KIV.pwd is in use by another program. Please try again later.";
    struct Row {
        int mode;
        const WCHAR* caption;
        UINT share;  // the other program's sharing
    } rows[] = {
        {PWD_MODE_LOGIN, L"Login", CFile::shareExclusive},
        {PWD_MODE_CHANGE, L"Change Password", CFile::shareExclusive},
        {PWD_MODE_CHANGE, L"Change Password", CFile::shareDenyWrite},  // read, but not written
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(U8(row.caption) + (row.share == CFile::shareDenyWrite ? " reader" : ""));
        CPwdDlg dlg;
        ASSERT_TRUE(dlg.PreparePasswordPath());
        CFile holder;
        ASSERT_TRUE(holder.Open(kPwdFile, CFile::modeRead | row.share));
        Step held = {{L"newpw2", L"brand3", L"brand3"}, L"Password", kInUse, ERROR_ICON};
        if (row.mode == PWD_MODE_LOGIN) held.texts[1] = held.texts[2] = nullptr;
        EXPECT_EQ(Run(dlg, row.mode, {held}, row.caption), IDCANCEL);  // stays open: then Cancel
        EXPECT_FALSE(dlg.m_bSucceeded);
        holder.Close();
        EXPECT_EQ(ReadAll(kPwdFile), history);
    }
}

TEST_F(PwdDialogTest, WhatStandsInThePasswordFilesWayIsSaidNotALostPassword) {
    const WCHAR kFolderThere[] = L"A folder stands where the password file e:\\KIV\\KIV.pwd belongs, so the password "
                                 L"file can be neither read nor made. Rename or move that folder and try again.";
    const WCHAR kFileThere[] = L"A file stands where the password file's folder e:\\KIV belongs, so the password "
                               L"file can be neither read nor made. Rename or move that file and try again.";
    const struct {
        const char* what;
        bool fileForFolder;  // a file named KIV instead of the folder; else a folder named KIV.pwd
        int mode;
        const WCHAR* caption;
    } rows[] = {
        {"a folder, at the login", false, PWD_MODE_LOGIN, L"Login"},
        {"a folder, on a change", false, PWD_MODE_CHANGE, L"Change Password"},
        // With no file to be found the drive's start asks for a first password.
        {"a file, for the first password", true, PWD_MODE_CREATE, L"Create Password"},
        {"a file, on a change", true, PWD_MODE_CHANGE, L"Change Password"},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.what);
        const WCHAR* blocker = row.fileForFolder ? L"e:\\KIV" : kPwdFile;
        if (row.fileForFolder) {
            ASSERT_TRUE(RemoveDirectoryW(L"e:\\KIV"));
            WriteAll(blocker, "notes");
        } else {
            ASSERT_TRUE(CreateDirectoryW(kPwdFile, nullptr));
        }
        CPwdDlg dlg;
        ASSERT_TRUE(dlg.PreparePasswordPath());
        Step step = {{L"oldpw1", L"brand3", L"brand3"}, L"Password", row.fileForFolder ? kFileThere : kFolderThere,
                     ERROR_ICON, true};
        if (row.mode == PWD_MODE_LOGIN) step.texts[1] = step.texts[2] = nullptr;
        if (row.mode == PWD_MODE_CREATE) step.texts[0] = nullptr;
        EXPECT_EQ(Run(dlg, row.mode, {step}, row.caption), IDCANCEL);
        EXPECT_FALSE(dlg.m_bSucceeded);
        // Left as it was.
        if (row.fileForFolder) {
            EXPECT_EQ(ReadAll(blocker), "notes");
            ASSERT_TRUE(DeleteFileW(blocker));
            ASSERT_TRUE(CreateDirectoryW(L"e:\\KIV", nullptr));
        } else {
            EXPECT_TRUE(GetFileAttributesW(kPwdFile) & FILE_ATTRIBUTE_DIRECTORY);
            ASSERT_TRUE(RemoveDirectoryW(kPwdFile));
        }
    }
}

TEST_F(PwdDialogTest, OnAWriteProtectedDriveCreateAndChangeSaySoOnceAndEnd) {
    const CString root = WriteProtectedRoot();
    if (root.IsEmpty()) GTEST_SKIP() << "no write-protected drive";
    const CString fillFolder = WriteProtectedFillPath(root + _T("KIV"));
    const CString fillFile = fillFolder + _T("\\KIV.pwd");
    struct Cleanup {
        CString file, folder;
        ~Cleanup() {
            SetFileAttributesW(file, FILE_ATTRIBUTE_NORMAL);
            DeleteFileW(file);
            RemoveDirectoryW(folder);
        }
    } cleanup{fillFile, fillFolder};
    ASSERT_TRUE(CreateDirectoryW(fillFolder, nullptr) || GetLastError() == ERROR_ALREADY_EXISTS);
    theApp.m_strDrivePath = root.Left(2);
    CString text;
    text.Format(L"The drive %s is write-protected. Remove the write protection and try again.",
                (LPCWSTR)root.Left(2));

    // The folder is there but not the file: the first password cannot be written.
    CPwdDlg create;
    ASSERT_TRUE(create.PreparePasswordPath());
    theApp.m_strPwdFile = create.m_strPwdPath;
    EXPECT_EQ(Run(create, PWD_MODE_CREATE, {{{nullptr, L"abc123", L"abc123"}, L"Password", text, ERROR_ICON, true}},
                  L"Create Password"),
              IDCANCEL);
    EXPECT_FALSE(create.m_bSucceeded);
    EXPECT_EQ(GetFileAttributesW(fillFile), INVALID_FILE_ATTRIBUTES);

    // A file written before the drive was locked: the new password cannot be added.
    WriteAll(fillFile, "b2xkcHcx\n");
    CPwdDlg change;
    EXPECT_EQ(Run(change, PWD_MODE_CHANGE, {{{L"oldpw1", L"brand3", L"brand3"}, L"Password", text, ERROR_ICON, true}},
                  L"Change Password"),
              IDCANCEL);
    EXPECT_FALSE(change.m_bSucceeded);
    EXPECT_EQ(ReadAll(fillFile), "b2xkcHcx\n");
    EXPECT_EQ(BoxCount(), 2u);
}
