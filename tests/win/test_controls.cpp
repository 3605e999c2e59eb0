// The tree, list and image-list wrappers on real controls.
#include "framework/Win.h"
#include <gtest/gtest.h>
#include <cstring>
#include <vector>

namespace {

std::string U8(const CString& s) { return s.ToUtf8(); }

class CHostWnd : public CWnd {
public:
    BOOL CreateHidden() {
        return CreateEx(0, AfxRegisterWndClass(0), L"Controls test", WS_OVERLAPPEDWINDOW, 0, 0, 500, 400, nullptr,
                        nullptr);
    }
};

CString Children(const CTreeCtrl& tree, HTREEITEM hParent) {
    CString s;
    for (HTREEITEM h = tree.GetChildItem(hParent); h; h = tree.GetNextSiblingItem(h)) s += tree.GetItemText(h) + L";";
    return s;
}

int CALLBACK ByDataDescending(LPARAM a, LPARAM b, LPARAM sign) { return (int)(sign * (b - a)); }

}  // namespace

TEST(ControlsTest, ImageListOwnsOnlyWhatItKeeps) {
    HICON hIcon = LoadIconW(nullptr, (LPCWSTR)IDI_APPLICATION);
    HIMAGELIST hKept = nullptr;
    {
        CImageList list;
        ASSERT_TRUE(list.Create(16, 16, ILC_COLOR32 | ILC_MASK, 4, 1));
        EXPECT_FALSE(list.Create(16, 16, ILC_COLOR32, 1, 1));  // one list per object
        EXPECT_EQ(list.Add(hIcon), 0);
        EXPECT_EQ(list.Add(hIcon), 1);
        EXPECT_EQ(list.GetImageCount(), 2);
        EXPECT_EQ(CImageList::FromHandle(list.m_hImageList), CImageList::FromHandle(list));
        EXPECT_EQ(CImageList::FromHandle(list)->GetSafeHandle(), list.GetSafeHandle());
        hKept = list.Detach();
        EXPECT_EQ(list.GetSafeHandle(), nullptr);
    }
    // The detached list outlived its object.
    EXPECT_EQ(ImageList_GetImageCount(hKept), 2);
    CImageList owner;
    ASSERT_TRUE(owner.Attach(hKept));
    EXPECT_TRUE(owner.DeleteImageList());
    EXPECT_EQ(owner.GetSafeHandle(), nullptr);
    EXPECT_EQ(CImageList::FromHandle(nullptr), nullptr);
}

TEST(ControlsTest, TreeKeepsSortedFoldersWithTheirData) {
    CHostWnd host;
    ASSERT_TRUE(host.CreateHidden());
    CTreeCtrl tree;
    ASSERT_TRUE(tree.Create(WS_CHILD | WS_VISIBLE | TVS_HASBUTTONS | TVS_HASLINES | TVS_LINESATROOT,
                            RECT{0, 0, 300, 300}, &host, 1));
    CImageList images;
    ASSERT_TRUE(images.Create(16, 16, ILC_COLOR32 | ILC_MASK, 4, 1));
    EXPECT_EQ(tree.SetImageList(&images, TVSIL_NORMAL), nullptr);
    EXPECT_EQ(tree.GetImageList(TVSIL_NORMAL)->GetSafeHandle(), images.GetSafeHandle());

    int data[4] = {};
    HTREEITEM hRoot = tree.InsertItem(TVIF_TEXT | TVIF_IMAGE | TVIF_SELECTEDIMAGE | TVIF_PARAM, L"E:\\", 7, 7, 0, 0,
                                      (LPARAM)&data[0], TVI_ROOT, TVI_SORT);
    ASSERT_NE(hRoot, nullptr);
    const wchar_t* names[] = {L"gamma", L"alpha", L"beta"};
    HTREEITEM hItems[3];
    for (int i = 0; i < 3; ++i) {
        hItems[i] = tree.InsertItem(TVIF_TEXT | TVIF_IMAGE | TVIF_SELECTEDIMAGE, names[i], 3, 4, 0, 0, 0, hRoot,
                                    TVI_SORT);
        ASSERT_NE(hItems[i], nullptr);
        EXPECT_TRUE(tree.SetItemData(hItems[i], (DWORD_PTR)&data[i + 1]));
    }
    EXPECT_EQ(U8(Children(tree, hRoot)), "alpha;beta;gamma;");
    EXPECT_EQ(tree.GetCount(), 4u);
    EXPECT_EQ(tree.GetRootItem(), hRoot);
    EXPECT_EQ(tree.GetParentItem(hItems[0]), hRoot);
    EXPECT_EQ(tree.GetItemData(hRoot), (DWORD_PTR)&data[0]);
    EXPECT_EQ(tree.GetItemData(hItems[2]), (DWORD_PTR)&data[3]);
    EXPECT_EQ(tree.GetNextItem(hRoot, TVGN_CHILD), hItems[1]);

    // An expand button before any child exists.
    EXPECT_FALSE(tree.ItemHasChildren(hItems[0]));
    TVITEMW item = {};
    item.hItem = hItems[0];
    item.mask = TVIF_CHILDREN;
    item.cChildren = 1;
    EXPECT_TRUE(tree.SetItem(&item));
    EXPECT_TRUE(tree.ItemHasChildren(hItems[0]));
    EXPECT_EQ(tree.GetChildItem(hItems[0]), nullptr);

    // A text longer than the first buffer comes back whole.
    CString longName(L'x', 700);
    EXPECT_TRUE(tree.SetItemText(hItems[1], longName));
    EXPECT_EQ(U8(tree.GetItemText(hItems[1])), U8(longName));

    EXPECT_TRUE(tree.Expand(hRoot, TVE_EXPAND));
    EXPECT_TRUE(tree.GetItemState(hRoot, TVIS_EXPANDED) & TVIS_EXPANDED);
    EXPECT_TRUE(tree.SelectItem(hItems[2]));
    EXPECT_EQ(tree.GetSelectedItem(), hItems[2]);
    EXPECT_TRUE(tree.SetItemState(hItems[2], 0, TVIS_SELECTED));
    EXPECT_EQ(tree.GetItemState(hItems[2], TVIS_SELECTED), 0u);
    EXPECT_EQ(tree.GetEditControl(), nullptr);

    // A point on the root's row hits the root.
    RECT rc = {};
    memcpy(&rc, &hRoot, sizeof(hRoot));  // the message's in-out convention
    ASSERT_TRUE(tree.SendMessage(TVM_GETITEMRECT, TRUE, (LPARAM)&rc));
    UINT flags = 0;
    EXPECT_EQ(tree.HitTest(POINT{(rc.left + rc.right) / 2, (rc.top + rc.bottom) / 2}, &flags), hRoot);
    EXPECT_TRUE(flags & TVHT_ONITEM);

    EXPECT_TRUE(tree.DeleteItem(hItems[0]));
    EXPECT_EQ(U8(Children(tree, hRoot)), U8(longName) + ";beta;");
    EXPECT_TRUE(tree.DeleteAllItems());
    EXPECT_EQ(tree.GetCount(), 0u);
    EXPECT_EQ(tree.GetRootItem(), nullptr);
    tree.SetImageList(nullptr, TVSIL_NORMAL);
    host.DestroyWindow();
}

TEST(ControlsTest, ListFillsSortsAndWalksTheSelection) {
    CHostWnd host;
    ASSERT_TRUE(host.CreateHidden());
    CListCtrl list;
    ASSERT_TRUE(list.Create(WS_CHILD | WS_VISIBLE | LVS_REPORT | LVS_SHOWSELALWAYS, RECT{0, 0, 400, 300}, &host, 2));
    EXPECT_EQ(list.InsertColumn(0, L"Name", LVCFMT_LEFT, 180, 0), 0);
    EXPECT_EQ(list.InsertColumn(1, L"Size", LVCFMT_RIGHT, 116, 1), 1);
    EXPECT_EQ(list.SendMessage(LVM_GETCOLUMNWIDTH, 1), 116);

    const wchar_t* names[] = {L"one", L"two", L"three"};
    for (int i = 0; i < 3; ++i) {
        int n = list.InsertItem(LVIF_TEXT | LVIF_PARAM | LVIF_IMAGE, i, names[i], 0, 0, 0, (LPARAM)(i + 1));
        ASSERT_EQ(n, i);
        EXPECT_TRUE(list.SetItemText(n, 1, CString(L'#', i + 1)));
    }
    EXPECT_EQ(list.GetItemCount(), 3);
    EXPECT_EQ(U8(list.GetItemText(1, 0)), "two");
    EXPECT_EQ(U8(list.GetItemText(2, 1)), "###");
    CString longText(L'y', 600);
    EXPECT_TRUE(list.SetItemText(0, 1, longText));
    EXPECT_EQ(U8(list.GetItemText(0, 1)), U8(longText));
    EXPECT_TRUE(list.SetItemData(1, 20));
    EXPECT_EQ(list.GetItemData(1), 20u);
    EXPECT_TRUE(list.SetItemData(1, 2));

    // The callback sees the items' data and the caller's value.
    EXPECT_TRUE(list.SortItems(ByDataDescending, 1));
    EXPECT_EQ(U8(list.GetItemText(0, 0)) + U8(list.GetItemText(1, 0)) + U8(list.GetItemText(2, 0)), "threetwoone");
    EXPECT_EQ(list.GetItemData(0), 3u);

    LVFINDINFOW find = {LVFI_STRING, L"TWO"};  // the control's search ignores case
    EXPECT_EQ(list.FindItem(&find), 1);
    find.psz = L"four";
    EXPECT_EQ(list.FindItem(&find), -1);

    EXPECT_EQ(list.GetSelectedCount(), 0u);
    EXPECT_EQ(list.GetFirstSelectedItemPosition(), nullptr);
    EXPECT_TRUE(list.SetItemState(0, LVIS_SELECTED, LVIS_SELECTED));
    EXPECT_TRUE(list.SetItemState(2, LVIS_SELECTED | LVIS_FOCUSED, LVIS_SELECTED | LVIS_FOCUSED));
    EXPECT_EQ(list.GetSelectedCount(), 2u);
    EXPECT_EQ(list.GetItemState(2, LVIS_FOCUSED | LVIS_SELECTED), (UINT)(LVIS_FOCUSED | LVIS_SELECTED));
    EXPECT_EQ(list.GetNextItem(-1, LVNI_FOCUSED), 2);
    std::vector<int> walked;
    for (POSITION pos = list.GetFirstSelectedItemPosition(); pos;) walked.push_back(list.GetNextSelectedItem(pos));
    EXPECT_EQ(walked, (std::vector<int>{0, 2}));
    EXPECT_TRUE(list.SetItemState(-1, 0, LVIS_SELECTED));
    EXPECT_EQ(list.GetSelectedCount(), 0u);

    RECT rc = {LVIR_BOUNDS};
    ASSERT_TRUE(list.SendMessage(LVM_GETITEMRECT, 1, (LPARAM)&rc));
    UINT flags = 0;
    EXPECT_EQ(list.HitTest(POINT{rc.left + 5, (rc.top + rc.bottom) / 2}, &flags), 1);
    EXPECT_TRUE(flags & LVHT_ONITEM);
    EXPECT_TRUE(list.EnsureVisible(2, FALSE));
    EXPECT_EQ(list.GetEditControl(), nullptr);

    EXPECT_TRUE(list.DeleteItem(0));
    EXPECT_EQ(U8(list.GetItemText(0, 0)), "two");
    EXPECT_TRUE(list.DeleteAllItems());
    EXPECT_EQ(list.GetItemCount(), 0);
    host.DestroyWindow();
}
