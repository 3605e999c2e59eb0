// The explorer window's resources as the program reads them: menus 128, 136
// and 137, toolbar 128 with its bitmap, accelerators 128, the about box and
// the texts, in Traditional Chinese, English and Simplified Chinese.
#include "app/ResourceIds.h"
#include <gtest/gtest.h>
#include <windows.h>
#include <algorithm>
#include <set>
#include <string>
#include <vector>

namespace {

const WORD kEnglish = MAKELANGID(LANG_ENGLISH, SUBLANG_ENGLISH_US);
const WORD kTraditional = MAKELANGID(LANG_CHINESE, SUBLANG_CHINESE_TRADITIONAL);
const WORD kSimplified = MAKELANGID(LANG_CHINESE, SUBLANG_CHINESE_SIMPLIFIED);
const WORD kLanguages[] = {kTraditional, kEnglish, kSimplified};

// The data of one resource in exactly one language, or null.
const void* LangResource(LPCWSTR type, UINT id, WORD lang) {
    HRSRC hRes = FindResourceExW(nullptr, type, MAKEINTRESOURCEW(id), lang);
    return hRes ? LockResource(LoadResource(nullptr, hRes)) : nullptr;
}

// String id of one language, straight from its string table block.
bool LoadLangString(UINT id, WORD lang, std::wstring& out) {
    const WCHAR* p = (const WCHAR*)LangResource(RT_STRING, id / 16 + 1, lang);
    if (!p) return false;
    for (UINT i = 0; i < id % 16; ++i) p += 1 + *p;
    if (*p == 0) return false;
    out.assign(p + 1, *p);
    return true;
}

// A menu as lines: "[Popup", "id=Text", "-" for a separator, "]"; a grayed
// or disabled item gets a "~" after its id.
void Flatten(HMENU menu, std::vector<std::wstring>& lines) {
    for (int i = 0; i < GetMenuItemCount(menu); ++i) {
        WCHAR text[256] = {};
        GetMenuStringW(menu, i, text, 256, MF_BYPOSITION);
        UINT state = GetMenuState(menu, i, MF_BYPOSITION);
        if (HMENU sub = GetSubMenu(menu, i)) {
            lines.push_back(L"[" + std::wstring(text));
            Flatten(sub, lines);
            lines.push_back(L"]");
        } else if (state & MF_SEPARATOR) {
            lines.push_back(L"-");
        } else {
            std::wstring grayed = (state & (MF_GRAYED | MF_DISABLED)) ? L"~" : L"";
            lines.push_back(std::to_wstring(GetMenuItemID(menu, i)) + grayed + L"=" + text);
        }
    }
}

// What must be the same in every language: the layout, the ids and the
// mnemonic letter.
std::wstring Shape(const std::wstring& line) {
    if (line[0] == L'[') return L"[";
    size_t eq = line.find(L'=');
    if (eq == std::wstring::npos) return line;
    size_t amp = line.find(L'&', eq);
    return line.substr(0, eq + 1) + (amp == std::wstring::npos ? L"" : line.substr(amp, 2));
}

UINT IdOf(const std::wstring& line) { return (UINT)wcstoul(line.c_str(), nullptr, 10); }

const WORD* ToolbarWords(DWORD* count) {
    HRSRC hRes = FindResourceW(nullptr, MAKEINTRESOURCEW(IDR_MAINFRAME), RT_TOOLBAR);
    if (!hRes) return nullptr;
    *count = SizeofResource(nullptr, hRes) / sizeof(WORD);
    return (const WORD*)LockResource(LoadResource(nullptr, hRes));
}

INT_PTR CALLBACK QuietDialogProc(HWND, UINT, WPARAM, LPARAM) { return FALSE; }

std::wstring WindowText(HWND hWnd) {
    WCHAR text[256] = {};
    GetWindowTextW(hWnd, text, 256);
    return text;
}

}  // namespace

TEST(ExplorerResourcesTest, MenusInEveryLanguage) {
    struct MenuRow {
        UINT id;
        std::vector<std::wstring> english;
    } menus[] = {
        {IDR_MAINFRAME,
         {L"[Functions", L"32775=Hide KIV Window (&H)", L"32789=Change Password (&P)", L"32786=Exit (&X)", L"]",
          L"[View", L"59392=Toolbar(&T)", L"59393=Status bar(&S)", L"]",
          L"[Help", L"57664=About KIV(&A)...", L"]"}},
        {IDR_SYSTEMTRAY,
         {L"[SystemTray", L"32775=Show/Hide KIV", L"32783=Set Default Path", L"32789=Change Password",
          L"57664=About KIV", L"-", L"32786=Exit", L"]"}},
        {IDR_LIST_CONTEXT,
         {L"[ListMenu", L"32792=Compress", L"32793=Decompress", L"32779=Delete", L"32778=Rename", L"32780=Refresh",
          L"32777=New Folder", L"]"}},
    };
    // Compress and Decompress are the only commands without a prompt.
    const std::set<UINT> noPrompt = {ID_COMPRESS, ID_DECOMPRESS};
    for (const MenuRow& m : menus) {
        for (WORD lang : kLanguages) {
            SCOPED_TRACE(testing::Message() << "menu " << m.id << " language " << lang);
            const void* tmpl = LangResource(RT_MENU, m.id, lang);
            ASSERT_NE(tmpl, nullptr);
            HMENU menu = LoadMenuIndirectW(tmpl);
            ASSERT_NE(menu, nullptr);
            std::vector<std::wstring> lines;
            Flatten(menu, lines);
            DestroyMenu(menu);
            ASSERT_EQ(lines.size(), m.english.size());
            for (size_t i = 0; i < lines.size(); ++i) {
                if (lang == kEnglish) {
                    EXPECT_EQ(lines[i], m.english[i]);
                } else {
                    EXPECT_EQ(Shape(lines[i]), Shape(m.english[i]));
                    if (lines[i] != L"-" && lines[i] != L"]") {
                        EXPECT_GT(lines[i].size(), Shape(lines[i]).size()) << "no text: " << i;
                    }
                }
                UINT id = IdOf(lines[i]);
                std::wstring prompt;
                if (id != 0 && !noPrompt.count(id)) {
                    EXPECT_TRUE(LoadLangString(id, lang, prompt)) << "no prompt for " << id;
                }
            }
        }
    }
    // The program loads the menus by id in the user's language.
    HMENU tray = LoadMenuW(GetModuleHandleW(nullptr), MAKEINTRESOURCEW(IDR_SYSTEMTRAY));
    ASSERT_NE(tray, nullptr);
    HMENU first = GetSubMenu(tray, 0);
    ASSERT_NE(first, nullptr);
    EXPECT_EQ(GetMenuItemID(first, 0), (UINT)ID_SHOW_HIDE);
    EXPECT_EQ(GetMenuItemID(first, 5), (UINT)ID_APP_EXIT_KIV);
    DestroyMenu(tray);
}

TEST(ExplorerResourcesTest, ToolbarAndItsBitmap) {
    DWORD count = 0;
    const WORD* words = ToolbarWords(&count);
    ASSERT_NE(words, nullptr);
    const std::vector<WORD> expected = {1,     16,    15,    8,    ID_VIEW_LARGEICON, ID_VIEW_SMALLICON,
                                        ID_VIEW_LIST, ID_VIEW_DETAILS, ID_APP_ABOUT, 0, ID_BACK_TO_PARENT,
                                        ID_REFRESH};
    ASSERT_EQ(std::vector<WORD>(words, words + count), expected);
    const int images = (int)std::count_if(words + 4, words + count, [](WORD id) { return id != 0; });

    // Every button has a tooltip after the prompt in every language.
    for (WORD lang : kLanguages) {
        for (DWORD i = 4; i < count; ++i) {
            if (words[i] == 0) continue;
            std::wstring prompt;
            ASSERT_TRUE(LoadLangString(words[i], lang, prompt)) << words[i] << " " << lang;
            size_t nl = prompt.find(L'\n');
            ASSERT_NE(nl, std::wstring::npos) << words[i] << " " << lang;
            EXPECT_LT(nl + 1, prompt.size()) << words[i] << " " << lang;
        }
    }

    // A palette bitmap, so the toolbar's colour mapping can turn its grey
    // background into the button face.
    HRSRC hRes = FindResourceW(nullptr, MAKEINTRESOURCEW(IDR_MAINFRAME), RT_BITMAP);
    ASSERT_NE(hRes, nullptr);
    const BITMAPINFOHEADER* info = (const BITMAPINFOHEADER*)LockResource(LoadResource(nullptr, hRes));
    EXPECT_EQ(info->biWidth, 16 * images);
    EXPECT_EQ(info->biHeight, 15);
    EXPECT_LE(info->biBitCount, 8);

    HBITMAP bmp = LoadBitmapW(GetModuleHandleW(nullptr), MAKEINTRESOURCEW(IDR_MAINFRAME));
    ASSERT_NE(bmp, nullptr);
    BITMAP bm = {};
    GetObjectW(bmp, sizeof(bm), &bm);
    ASSERT_EQ(bm.bmWidth, 16 * images);
    ASSERT_EQ(bm.bmHeight, 15);
    BITMAPINFO bi = {};
    bi.bmiHeader = {sizeof(BITMAPINFOHEADER), bm.bmWidth, -15, 1, 32, BI_RGB};
    std::vector<DWORD> pixels(bm.bmWidth * 15);
    HDC dc = GetDC(nullptr);
    ASSERT_EQ(GetDIBits(dc, bmp, 0, 15, pixels.data(), &bi, DIB_RGB_COLORS), 15);
    ReleaseDC(nullptr, dc);
    DeleteObject(bmp);
    const DWORD grey = 0xC0C0C0;
    std::set<std::vector<DWORD>> distinct;
    for (int n = 0; n < images; ++n) {
        std::vector<DWORD> image;
        for (int y = 0; y < 15; ++y)
            for (int x = 0; x < 16; ++x) image.push_back(pixels[y * bm.bmWidth + n * 16 + x] & 0xFFFFFF);
        EXPECT_EQ(image[0], grey) << "image " << n;
        EXPECT_GE(std::count_if(image.begin(), image.end(), [&](DWORD c) { return c != grey; }), 20)
            << "image " << n;
        distinct.insert(image);
    }
    EXPECT_EQ((int)distinct.size(), images);
}

TEST(ExplorerResourcesTest, Accelerators) {
    HACCEL table = LoadAcceleratorsW(GetModuleHandleW(nullptr), MAKEINTRESOURCEW(IDR_MAINFRAME));
    ASSERT_NE(table, nullptr);
    ACCEL keys[8] = {};
    int n = CopyAcceleratorTableW(table, keys, 8);
    DestroyAcceleratorTable(table);
    struct Row {
        WORD key;
        BYTE modifiers;
        WORD cmd;
    } expected[] = {
        {VK_F5, 0, ID_REFRESH},
        {VK_F2, 0, ID_RENAME},
        {VK_F6, 0, ID_NEXT_PANE},
        {VK_F6, FSHIFT, ID_PREV_PANE},
    };
    ASSERT_EQ(n, 4);
    for (int i = 0; i < n; ++i) {
        SCOPED_TRACE(i);
        EXPECT_TRUE(keys[i].fVirt & FVIRTKEY);
        EXPECT_EQ(keys[i].fVirt & (FSHIFT | FCONTROL | FALT), expected[i].modifiers);
        EXPECT_EQ(keys[i].key, expected[i].key);
        EXPECT_EQ(keys[i].cmd, expected[i].cmd);
    }
}

TEST(ExplorerResourcesTest, AboutBoxInEveryLanguage) {
    struct Row {
        WORD lang;
        const wchar_t* caption;
        const wchar_t* ok;
    } rows[] = {
        {kTraditional, L"關於 KIV", L"確定"},
        {kEnglish, L"About KIV", L"OK"},
        {kSimplified, L"关于 KIV", L"确定"},
    };
    for (const Row& r : rows) {
        SCOPED_TRACE(r.lang);
        const void* tmpl = LangResource(RT_DIALOG, IDD_ABOUTBOX, r.lang);
        ASSERT_NE(tmpl, nullptr);
        HWND dlg = CreateDialogIndirectParamW(GetModuleHandleW(nullptr), (LPCDLGTEMPLATEW)tmpl, nullptr,
                                              QuietDialogProc, 0);
        ASSERT_NE(dlg, nullptr);
        EXPECT_EQ(WindowText(dlg), r.caption);
        HWND ok = GetDlgItem(dlg, IDOK);
        ASSERT_NE(ok, nullptr);
        EXPECT_EQ(WindowText(ok), r.ok);
        EXPECT_TRUE(GetWindowLongW(ok, GWL_STYLE) & BS_DEFPUSHBUTTON);
        // The program's icon, and the product name among the texts.
        bool icon = false, product = false;
        for (HWND child = GetWindow(dlg, GW_CHILD); child; child = GetWindow(child, GW_HWNDNEXT)) {
            if ((GetWindowLongW(child, GWL_STYLE) & SS_TYPEMASK) == SS_ICON)
                icon = icon || SendMessageW(child, STM_GETICON, 0, 0) != 0;
            else if (child != ok)
                product = product || WindowText(child).find(L"KIV") != std::wstring::npos;
        }
        EXPECT_TRUE(icon);
        EXPECT_TRUE(product);
        DestroyWindow(dlg);
    }
}

TEST(ExplorerResourcesTest, TextsInEveryLanguage) {
    // Chinese texts given where a test or a person depends on them; the others
    // must exist, differ from the English and keep its tooltip part.
    struct Row {
        UINT id;
        const wchar_t* english;
        const wchar_t* traditional;
        const wchar_t* simplified;
    } rows[] = {
        {IDR_MAINFRAME, L"KIV\nKIV\n\nBrivon Zip File (*.kvf)\n.kvf\nKVFile\nKVF Document",
         L"KIV\nKIV\n\nBrivon Zip File (*.kvf)\n.kvf\nKVFile\nKVF Document",
         L"KIV\nKIV\n\nBrivon Zip File (*.kvf)\n.kvf\nKVFile\nKVF Document"},
        {ID_BACK_TO_PARENT, L"Back to parent directory\nUp"},
        {IDS_FILE_TYPE, L"File", L"檔案", L"文件"},
        {IDS_COL_NAME, L"Name", L"名稱", L"名称"},
        {IDS_COL_SIZE, L"Size", L"大小", L"大小"},
        {IDS_COL_TYPE, L"Type", L"類型", L"类型"},
        {IDS_COL_MODIFIED, L"Date Modified", L"修改日期", L"修改日期"},
        {IDS_DEFAULT_DIRECTORY, L"Default Directory"},
        {IDS_ALREADY_RUNNING, L"Program has beed executed!"},
        {ID_SHOW_HIDE, L"Shows or hides the KIV window"},
        {ID_NEW_FOLDER, L"Create an empty folder"},
        {ID_RENAME, L"Rename selected item"},
        {ID_DELETE, L"Delete selected items"},
        {ID_REFRESH, L"Refresh KIV content\nRefresh"},
        {ID_TOGGLE_ANIMATION, L"Enable/Disable animation"},
        {ID_SET_DEFAULT_PATH, L"Set Default Path"},
        {ID_APP_EXIT_KIV, L"Close KIV"},
        {ID_CHANGE_PASSWORD, L"Change Password"},
        {AFX_IDS_IDLEMESSAGE, L"Ready", L"就緒", L"就绪"},
        {ID_APP_ABOUT, L"Display program information, version number and copyright\nAbout"},
        {IDS_FREE_SPACE, L"Disk Free Space", L"磁碟可用空間", L"磁盘可用空间"},
        {ID_VIEW_TOOLBAR, L"Show or hide the toolbar\nToggle ToolBar"},
        {ID_VIEW_STATUS_BAR, L"Show or hide the status bar\nToggle Status Bar"},
        {ID_VIEW_SMALLICON, L"Displays information about each item in the window using a tile\nTiles"},
        {ID_VIEW_LARGEICON, L"Displays items by using large icons\nIcons"},
        {ID_VIEW_LIST, L"Displays itemsin a list\nList"},
        {ID_VIEW_DETAILS, L"Displays information about each item in the window\nDetail"},
        {ID_VIEW_LINEUP, L"align grid"},
        {ID_VIEW_BYNAME, L"Sorting icons by name"},
    };
    for (const Row& r : rows) {
        SCOPED_TRACE(r.id);
        std::wstring en, tw, cn;
        ASSERT_TRUE(LoadLangString(r.id, kEnglish, en));
        ASSERT_TRUE(LoadLangString(r.id, kTraditional, tw));
        ASSERT_TRUE(LoadLangString(r.id, kSimplified, cn));
        EXPECT_EQ(en, r.english);
        for (const auto& [zh, expected] : {std::pair{tw, r.traditional}, std::pair{cn, r.simplified}}) {
            if (expected) {
                EXPECT_EQ(zh, expected);
            } else {
                EXPECT_NE(zh, en);
                EXPECT_EQ(std::count(zh.begin(), zh.end(), L'\n'), std::count(en.begin(), en.end(), L'\n'));
            }
        }
    }
}
