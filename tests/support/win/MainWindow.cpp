#include "MainWindow.h"
#include "Watchdog.h"
#include "app/KIVApp.h"
#include "app/KIVDoc.h"
#include "app/MainFrame.h"
#include "app/ResourceIds.h"
#include "password/KivPwd.h"
#include "views/DriveView.h"
#include <gtest/gtest.h>

void OpenMainWindow(CKIVApp& app, const CString& strDrivePath, const std::function<BOOL()>& mainRun) {
    ::CreateDirectoryW(L"E:\\KIV", nullptr);
    ::SetFileAttributesW(L"E:\\KIV\\KIV.pwd", FILE_ATTRIBUTE_NORMAL);
    ::DeleteFileW(L"E:\\KIV\\KIV.pwd");
    CKivPwd store;
    ASSERT_TRUE(store.CreatePwdFile(L"E:\\KIV\\KIV.pwd", L"abc123"));

    INITCOMMONCONTROLSEX icc = {sizeof icc, 0xFF};
    ::InitCommonControlsEx(&icc);
    ::OleInitialize(nullptr);
    app.m_strDrivePath = strDrivePath;
    app.AddDocTemplate(new CSingleDocTemplate(IDR_MAINFRAME, RUNTIME_CLASS(CKIVDoc), RUNTIME_CLASS(CMainFrame),
                                              RUNTIME_CLASS(CDriveView)));
    BOOL ok = FALSE;
    RunWithTimeout(30000, "main run", [&] { ok = mainRun(); });
    ASSERT_TRUE(ok);
    ASSERT_TRUE(app.m_pMainWnd != nullptr);
}

CTreeCtrl& MainTree() {
    auto* pFrame = static_cast<CMainFrame*>(AfxGetApp()->m_pMainWnd);
    return static_cast<CDriveView*>(pFrame->m_wndSplitter.GetPane(0, 0))->GetTreeCtrl();
}

HTREEITEM TreeChildNamed(HTREEITEM parent, LPCWSTR name) {
    CTreeCtrl& tree = MainTree();
    for (HTREEITEM c = tree.GetChildItem(parent); c; c = tree.GetNextSiblingItem(c))
        if (tree.GetItemText(c) == name) return c;
    return nullptr;
}

std::vector<CString> TreeChildTexts(HTREEITEM parent) {
    CTreeCtrl& tree = MainTree();
    std::vector<CString> r;
    for (HTREEITEM c = tree.GetChildItem(parent); c; c = tree.GetNextSiblingItem(c)) r.push_back(tree.GetItemText(c));
    return r;
}
