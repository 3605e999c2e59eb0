// Drag and drop of the file list: the data a drag out offers and the drop
// source that fills the drag folder at the drop, the data source's life, and
// the list as a drop target, driven through the OLE interfaces (no desktop
// shell acts as a source or target under Wine).
#include "app/KIVApp.h"
#include "fileops/PathFunctions.h"
#include "tests/win/HandlerTestSupport.h"
#include "views/DragDrop.h"
#include "views/DroppedFiles.h"
#include <algorithm>
#include <shellapi.h>
#include <shlobj.h>

using namespace ht;

namespace {
struct DriveApp : CKIVApp {
    DriveApp() { m_strDrivePath = L"E:"; }
} theApp;

// The paths of a dropped-file block.
std::vector<CString> PathsOf(const std::vector<BYTE>& block) {
    std::vector<CString> r;
    const DROPFILES* df = (const DROPFILES*)block.data();
    const WCHAR* p = (const WCHAR*)(block.data() + df->pFiles);
    while (*p) {
        r.push_back(p);
        p += wcslen(p) + 1;
    }
    return r;
}

// A dropped-file block as another program may make it: the header (when
// the block has room for it), then the list's bytes at offset 20, in a
// global block of exactly nSize bytes (0: header and list) whose every
// other byte is not zero, so that nothing ends by chance.
HGLOBAL ForgedBlock(DWORD pFiles, BOOL fWide, const std::vector<BYTE>& list, SIZE_T nSize = 0) {
    if (!nSize) nSize = sizeof(DROPFILES) + list.size();
    HGLOBAL h = GlobalAlloc(GMEM_MOVEABLE, nSize);
    BYTE* p = (BYTE*)GlobalLock(h);
    SIZE_T nReal = GlobalSize(h);
    memset(p, 'A', nReal);
    if (nReal >= sizeof(DROPFILES)) {
        DROPFILES* df = (DROPFILES*)p;
        memset(df, 0, sizeof *df);
        df->pFiles = pFiles;
        df->fWide = fWide;
        memcpy(p + sizeof(DROPFILES), list.data(), std::min(list.size(), nReal - sizeof(DROPFILES)));
    }
    GlobalUnlock(h);
    return h;
}

// The bytes of a path list: each path with its zero, then (when ended) the
// empty name that ends the list.
std::vector<BYTE> ListBytes(const std::vector<std::wstring>& paths, bool wide, bool ended = true) {
    std::vector<BYTE> r;
    auto unit = [&](wchar_t c) {
        r.push_back((BYTE)(c & 0xFF));
        if (wide) r.push_back((BYTE)(c >> 8));
    };
    for (const std::wstring& p : paths) {
        for (wchar_t c : p) unit(c);
        unit(0);
    }
    if (ended) unit(0);
    return r;
}
}  // namespace

TEST(DroppedFilesTest, OnlyASoundBlockIsRead) {
    const DWORD kAt = sizeof(DROPFILES);
    std::vector<BYTE> unended = ListBytes({L"C:\\a.txt"}, true, false);
    unended.resize(unended.size() - 2);  // not even the path's own zero
    std::vector<BYTE> halfUnit = ListBytes({L"C:\\a"}, true);
    halfUnit.pop_back();
    struct Case {
        const char* what;
        HGLOBAL h;
        bool sound;
        std::vector<CString> paths;
    } cases[] = {
        {"two wide paths", ForgedBlock(kAt, TRUE, ListBytes({L"C:\\a.txt", L"D:\\b c\\d.doc"}, true)), true,
         {L"C:\\a.txt", L"D:\\b c\\d.doc"}},
        {"a narrow path", ForgedBlock(kAt, FALSE, ListBytes({L"C:\\n.txt"}, false)), true, {L"C:\\n.txt"}},
        {"no paths", ForgedBlock(kAt, TRUE, ListBytes({}, true)), true, {}},
        {"the block the list builds", nullptr, true, {L"C:\\x\\a.txt", L"C:\\x\\b"}},
        {"list offset past the block", ForgedBlock(0x7FFFFFF0, TRUE, ListBytes({L"C:\\a.txt"}, true)), false, {}},
        {"list offset inside the header", ForgedBlock(4, TRUE, ListBytes({L"C:\\a.txt"}, true)), false, {}},
        {"last path without its zero", ForgedBlock(kAt, TRUE, unended), false, {}},
        {"narrow path without its zero", ForgedBlock(kAt, FALSE, {'C', ':', '\\', 'x'}), false, {}},
        {"list not ended", ForgedBlock(kAt, TRUE, ListBytes({L"C:\\a.txt"}, true, false)), false, {}},
        {"a half unit at the end", ForgedBlock(kAt, TRUE, halfUnit), false, {}},
        {"smaller than its header", ForgedBlock(kAt, TRUE, {}, 8), false, {}},
    };
    std::vector<BYTE> built = BuildDropFilesBlock({L"C:\\x\\a.txt", L"C:\\x\\b"});
    cases[3].h = GlobalAlloc(GMEM_MOVEABLE, built.size());
    memcpy(GlobalLock(cases[3].h), built.data(), built.size());
    GlobalUnlock(cases[3].h);
    for (const Case& c : cases) {
        std::vector<CString> paths = {L"left over"};
        EXPECT_EQ(ReadDroppedFiles(c.h, paths) != FALSE, c.sound) << c.what;
        EXPECT_EQ(paths, c.paths) << c.what;
        GlobalFree(c.h);
    }
    std::vector<CString> none;
    EXPECT_FALSE(ReadDroppedFiles(nullptr, none));
}

TEST(DragOutTest, DropFilesBlockHoldsThePathsInWholeBlocksOf32Bytes) {
    // Three paths of 40, 50 and 60 characters: S = 306, a block of 352 bytes.
    std::vector<CString> paths;
    for (int n : {40, 50, 60}) {
        CString p = L"C:\\t\\";
        while (p.GetLength() < n) p += L"p";
        paths.push_back(p);
    }
    std::vector<BYTE> block = BuildDropFilesBlock(paths);
    ASSERT_EQ(block.size(), 352u);
    const DROPFILES* df = (const DROPFILES*)block.data();
    EXPECT_EQ(df->pFiles, 20u);
    EXPECT_EQ(df->pt.x, 0);
    EXPECT_EQ(df->fNC, FALSE);
    EXPECT_EQ(df->fWide, TRUE);
    EXPECT_EQ(PathsOf(block), paths);
    EXPECT_EQ(block.size() % 32, 0u);
    EXPECT_EQ(BuildDropFilesBlock({}).size(), 32u);

    // The system reads the same paths back from it.
    HGLOBAL h = GlobalAlloc(GMEM_MOVEABLE | GMEM_ZEROINIT, block.size());
    memcpy(GlobalLock(h), block.data(), block.size());
    GlobalUnlock(h);
    ASSERT_EQ(DragQueryFileW((HDROP)h, 0xFFFFFFFF, nullptr, 0), 3u);
    WCHAR buf[MAX_PATH];
    DragQueryFileW((HDROP)h, 2, buf, MAX_PATH);
    EXPECT_TRUE(paths[2] == buf);
    GlobalFree(h);
}

TEST(DragOutTest, ArchivesOfferTheirDecompressedNameAndClashWithTheirSource) {
    struct Case {
        std::vector<CString> targets;
        bool ok;
        std::vector<CString> paths;  // or, when refused, the clashing name
    } cases[] = {
        {{L"T\\a.txt.kvf", L"T\\b.doc", L"T\\c.KVF"}, true, {L"T\\a.txt", L"T\\c", L"T\\b.doc"}},
        {{L"T\\a.txt", L"T\\a.txt.kvf"}, false, {L"T\\a.txt"}},
        // The file system ignores case, so these would be one file too.
        {{L"T\\A.txt", L"T\\a.txt.kvf"}, false, {L"T\\A.txt"}},
        {{L"T\\\u00C9t\u00E9.TXT", L"T\\\u00E9t\u00C9.txt.kvf"}, false, {L"T\\\u00C9t\u00E9.TXT"}},
        {{L"T\\a.txt", L"T\\a.txt2.kvf"}, true, {L"T\\a.txt2", L"T\\a.txt"}},
        {{L"T\\folder"}, true, {L"T\\folder"}},
    };
    for (const Case& c : cases) {
        std::vector<CString> paths;
        CString clash;
        EXPECT_EQ(ListDropPaths(c.targets, paths, clash) != FALSE, c.ok) << U8(c.targets[0]);
        if (c.ok) EXPECT_EQ(paths, c.paths);
        else EXPECT_TRUE(clash == c.paths[0]) << U8(clash);
    }
    // The folder of one drag: KIV$ and the local time's six digits.
    time_t t = 1700000000;
    struct tm local;
    localtime_s(&local, &t);
    CString want;
    want.Format(L"\\KIV\\KIV$%02d%02d%02d\\", local.tm_hour, local.tm_min, local.tm_sec);
    EXPECT_TRUE(MakeDragFolderName(t) == want) << U8(MakeDragFolderName(t));
}

TEST(DragOutTest, TheDropSourceFillsTheDragFolderOnlyWhenTheDropIsTaken) {
    Watchdog dog(120000, "drop source");
    DrivePassword pwd({L"abc123"});
    TempDir drive(L"E:\\");
    TempDir drag;
    PutFile(drive.File(L"a.txt"), "archived text", 0, 7);
    PutFile(drive.File(L"b.doc"), "plain file", 0, 8);
    Facts original = FactsOf(drive.File(L"a.txt"));
    {
        Answers answers;
        answers.Finish();
        ASSERT_EQ(RunBatch({{drive.File(L"a.txt"), drive.File(L"a.txt"), TASK_COMPRESS}}).nStart, IDOK);
    }
    DeleteFileW(drive.File(L"a.txt"));

    struct Step {
        BOOL escape;
        DWORD keys;
        DWORD lastEffect;
        HRESULT answer;
        bool files;
    } steps[] = {
        {TRUE, MK_LBUTTON, DROPEFFECT_COPY, DRAGDROP_S_CANCEL, false},
        {FALSE, MK_LBUTTON, DROPEFFECT_COPY, S_OK, false},
        {FALSE, 0, DROPEFFECT_NONE, DRAGDROP_S_DROP, false},  // released where nothing is taken
        {FALSE, 0, DROPEFFECT_COPY, DRAGDROP_S_DROP, true},
    };
    for (const Step& s : steps) {
        CKivDropSource source;
        source.AddSourceMap(drive.File(L"a.txt.kvf"), drag.File(L"a.txt.kvf"));
        source.AddSourceMap(drive.File(L"b.doc"), drag.File(L"b.doc"));
        source.GiveFeedback(s.lastEffect);
        Answers answers;
        answers.Finish();
        HRESULT hr = E_FAIL;
        RunWithTimeout(60000, "query continue", [&] { hr = source.QueryContinueDrag(s.escape, s.keys); });
        EXPECT_EQ(hr, s.answer);
        EXPECT_EQ(Exists(drag.File(L"a.txt")), s.files);
        if (s.files) {
            Facts f = FactsOf(drag.File(L"a.txt"));
            EXPECT_EQ(f.bytes, original.bytes);
            EXPECT_EQ(f.mtime, original.mtime);
            EXPECT_EQ(ReadAll(drag.File(L"b.doc")), "plain file");
        }
        // Nothing on the drive changes.
        EXPECT_TRUE(Exists(drive.File(L"a.txt.kvf")));
        EXPECT_TRUE(Exists(drive.File(L"b.doc")));
        PumpFor(100);  // the batch's end message
    }
}

TEST(DragOutTest, TheDataOutlivesTheDragForWhoeverKeepsIt) {
    COleDataSourceEx* pData = new COleDataSourceEx;
    std::vector<BYTE> block = BuildDropFilesBlock({L"C:\\x\\a.txt"});
    HGLOBAL h = GlobalAlloc(0x2042, block.size());
    memcpy(GlobalLock(h), block.data(), block.size());
    GlobalUnlock(h);
    pData->CacheGlobalData(CF_HDROP, h);
    pData->CacheGlobalData(g_cfDragTag, GlobalAlloc(0x2042, 4));

    // A target keeps the data object, then the drag's own reference goes.
    IDataObject* kept = nullptr;
    ASSERT_EQ(pData->QueryInterface(IID_IDataObject, (void**)&kept), S_OK);
    pData->InternalRelease();

    COleDataObject data;
    data.Attach(kept, TRUE);
    EXPECT_TRUE(data.IsDataAvailable(CF_HDROP));
    EXPECT_TRUE(data.IsDataAvailable(g_cfDragTag));
    HGLOBAL got = data.GetGlobalData(CF_HDROP);
    ASSERT_TRUE(got);
    WCHAR buf[MAX_PATH];
    DragQueryFileW((HDROP)got, 0, buf, MAX_PATH);
    EXPECT_STREQ(buf, L"C:\\x\\a.txt");
    GlobalFree(got);

    // Data of any format set on it is kept (the shell's drag image).
    CLIPFORMAT cf = (CLIPFORMAT)RegisterClipboardFormatW(L"DragImageBits");
    FORMATETC fe = {cf, nullptr, DVASPECT_CONTENT, -1, TYMED_HGLOBAL};
    STGMEDIUM m = {};
    m.tymed = TYMED_HGLOBAL;
    m.hGlobal = GlobalAlloc(GMEM_MOVEABLE, 8);
    EXPECT_EQ(kept->SetData(&fe, &m, TRUE), S_OK);
    EXPECT_TRUE(data.IsDataAvailable(cf));
    IEnumFORMATETC* pEnum = nullptr;
    ASSERT_EQ(kept->EnumFormatEtc(DATADIR_GET, &pEnum), S_OK);
    FORMATETC all[8];
    ULONG n = 0;
    pEnum->Next(8, all, &n);
    pEnum->Release();
    EXPECT_EQ(n, 3u);
}

// ---- the list in the main window ----------------------------------------------------

#include "app/KIVDoc.h"
#include "app/MainFrame.h"
#include "app/ResourceIds.h"
#include "views/DriveView.h"
#include "views/FileView.h"
#include <atomic>
#include <thread>

namespace {
class FrameApp {
public:
    static CMainFrame* Frame() { return static_cast<CMainFrame*>(theApp.m_pMainWnd); }
    static CFileView* List() { return static_cast<CFileView*>(Frame()->m_wndSplitter.GetPane(0, 1)); }
};

// Data of a drop from another program: CF_HDROP for the paths, and the
// list's own tag when asked.
class DropData : public COleDataSource {
public:
    DropData(const std::vector<CString>& paths, bool tagged) {
        std::vector<BYTE> block = BuildDropFilesBlock(paths);
        HGLOBAL h = GlobalAlloc(GMEM_MOVEABLE | GMEM_ZEROINIT, block.size());
        memcpy(GlobalLock(h), block.data(), block.size());
        GlobalUnlock(h);
        CacheGlobalData(CF_HDROP, h);
        if (tagged) CacheGlobalData(g_cfDragTag, GlobalAlloc(GMEM_MOVEABLE | GMEM_ZEROINIT, 4));
    }
    // A block made by hand (another program's).
    explicit DropData(HGLOBAL hBlock) { CacheGlobalData(CF_HDROP, hBlock); }
};

// Drives the list's registered drop target as a drag source would; a
// source that honoured "move" would then delete its originals.
DWORD DropOnList(IDataObject* pData, DWORD keys) {
    IDropTarget* target = FrameApp::List()->m_pDropTarget;
    RECT rc;
    GetWindowRect(FrameApp::List()->m_hWnd, &rc);
    POINTL pt = {rc.left + 20, rc.top + 20};
    DWORD offered = DROPEFFECT_COPY | DROPEFFECT_MOVE | DROPEFFECT_LINK;
    DWORD effect = offered;
    target->DragEnter(pData, keys, pt, &effect);
    effect = offered;
    target->DragOver(keys, pt, &effect);
    if (effect == DROPEFFECT_NONE) {
        target->DragLeave();
        return effect;
    }
    effect = offered;
    target->Drop(pData, keys, pt, &effect);
    return effect;
}

// A place outside the program that takes dropped files and keeps the data
// object to read it after the drag loop has ended.
class KeepingTarget : public IDropTarget {
public:
    IDataObject* kept = nullptr;
    bool dropped = false;
    STDMETHODIMP QueryInterface(REFIID riid, void** ppv) override {
        if (riid == IID_IUnknown || riid == IID_IDropTarget) {
            *ppv = this;
            return S_OK;
        }
        *ppv = nullptr;
        return E_NOINTERFACE;
    }
    STDMETHODIMP_(ULONG) AddRef() override { return 1; }
    STDMETHODIMP_(ULONG) Release() override { return 1; }
    STDMETHODIMP DragEnter(IDataObject*, DWORD, POINTL, DWORD* e) override {
        *e &= DROPEFFECT_COPY;
        return S_OK;
    }
    STDMETHODIMP DragOver(DWORD, POINTL, DWORD* e) override {
        *e &= DROPEFFECT_COPY;
        return S_OK;
    }
    STDMETHODIMP DragLeave() override { return S_OK; }
    STDMETHODIMP Drop(IDataObject* p, DWORD, POINTL, DWORD* e) override {
        kept = p;
        kept->AddRef();
        dropped = true;
        *e &= DROPEFFECT_COPY;
        return S_OK;
    }
};

class ListDragDropTest : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        CreateDirectoryW(L"E:\\dd", nullptr);
        INITCOMMONCONTROLSEX icc = {sizeof icc, 0xFF};
        InitCommonControlsEx(&icc);
        OleInitialize(nullptr);
        theApp.AddDocTemplate(new CSingleDocTemplate(IDR_MAINFRAME, RUNTIME_CLASS(CKIVDoc), RUNTIME_CLASS(CMainFrame),
                                                     RUNTIME_CLASS(CDriveView)));
        CCommandLineInfo ci;
        ASSERT_TRUE(theApp.ProcessShellCommand(ci));
        FrameApp::Frame()->ShowWindow(SW_SHOW);
    }
    static void TearDownTestSuite() {
        if (theApp.m_pMainWnd) FrameApp::Frame()->SendMessage(WM_CLOSE, 1, 1);
        MSG m;
        PeekMessageW(&m, nullptr, WM_QUIT, WM_QUIT, PM_REMOVE);
    }
    void Show(const CString& folder) {
        CString path = folder;
        FrameApp::List()->GetDocument()->UpdateAllViews(nullptr, 1 /* show folder */, &path);
    }
    // Waits until the frame has no batch left.
    bool BatchesDone() {
        return PumpUntil([] { return FrameApp::Frame()->m_arrBatches.empty(); }, 60000);
    }
};
}  // namespace

TEST_F(ListDragDropTest, DroppedFilesAreCompressedIntoTheShownFolderAndStay) {
    Watchdog dog(120000, "drop on the list");
    DrivePassword pwd({L"abc123"});
    TempDir outside;  // not on the drive
    PutFile(outside.File(L"a.txt"), "first");
    CreateDirectoryW(outside.File(L"dir"), nullptr);
    PutFile(outside.File(L"dir\\b.txt"), "second");
    Answers answers;
    answers.Finish();
    // No keys, Shift (a move) and Ctrl+Shift (a link): always a copy.
    for (DWORD keys : {0ul, (DWORD)MK_SHIFT, (DWORD)(MK_SHIFT | MK_CONTROL)}) {
        TempDir shown(L"E:\\dd");
        Show(shown.Path());
        DropData* pData = new DropData({outside.File(L"a.txt"), outside.File(L"dir")}, false);
        DWORD effect = DropOnList(pData, keys);
        pData->InternalRelease();
        EXPECT_EQ(effect, (DWORD)DROPEFFECT_COPY) << keys;
        // A source that deletes on "move" would leave nothing here.
        if (effect & DROPEFFECT_MOVE) DeleteFileW(outside.File(L"a.txt"));
        ASSERT_TRUE(BatchesDone());
        EXPECT_TRUE(Exists(shown.File(L"a.txt.kvf")));
        EXPECT_TRUE(Exists(shown.File(L"dir\\b.txt.kvf")));
        EXPECT_EQ(ReadAll(outside.File(L"a.txt")), "first");
        EXPECT_EQ(ReadAll(outside.File(L"dir\\b.txt")), "second");
    }
    for (const DialogInfo& d : answers.Boxes()) ADD_FAILURE() << U8(d.caption) << ": " << U8(d.AllText());
}

TEST_F(ListDragDropTest, DropsThatAreRefused) {
    Watchdog dog(60000, "refused drops");
    TempDir shown(L"E:\\dd");
    PutFile(shown.File(L"here.txt"), "here");
    Show(shown.Path());
    std::vector<CString> before;
    ListTree(shown.Path(), L"", before);

    // The list's own drag, by its tag: no drop at all.
    DropData* pTagged = new DropData({shown.File(L"here.txt")}, true);
    EXPECT_EQ(DropOnList(pTagged, 0), (DWORD)DROPEFFECT_NONE);
    pTagged->InternalRelease();

    // A file of the shown folder dropped onto it: "Cannot move", nothing written.
    Answers answers;
    answers.Finish();
    DropData* pSame = new DropData({shown.File(L"here.txt")}, false);
    EXPECT_EQ(DropOnList(pSame, 0), (DWORD)DROPEFFECT_NONE);
    pSame->InternalRelease();
    ASSERT_EQ(answers.Boxes().size(), 1u);
    EXPECT_TRUE(answers.Boxes()[0].HasText(L"Cannot move here.txt: The source and destination file names are the same."))
        << U8(answers.Boxes()[0].AllText());
    EXPECT_TRUE(answers.Boxes()[0].caption == L"Error Moving File or Folder");

    // No folder shown yet: the drive is named as gone.
    CString saved = FrameApp::List()->m_strFolder;
    FrameApp::List()->m_strFolder.Empty();
    DropData* pAny = new DropData({shown.File(L"here.txt")}, false);
    DropOnList(pAny, 0);
    pAny->InternalRelease();
    FrameApp::List()->m_strFolder = saved;
    ASSERT_EQ(answers.Boxes().size(), 2u);
    EXPECT_TRUE(answers.Boxes()[1].HasText(L"The disk in the destination drive is full or removed."));

    std::vector<CString> after;
    ListTree(shown.Path(), L"", after);
    EXPECT_EQ(after, before);
}

TEST_F(ListDragDropTest, ForgedBlocksAreRefusedWhole) {
    Watchdog dog(120000, "forged drops");
    DrivePassword pwd({L"abc123"});
    TempDir outside;
    PutFile(outside.File(L"a.txt"), "dropped");
    TempDir shown(L"E:\\dd");
    Show(shown.Path());
    Answers answers;
    answers.Finish();
    const DWORD kAt = sizeof(DROPFILES);
    // A good path first, so that a reader that stops at the fault would
    // still compress something.
    std::vector<BYTE> unended = ListBytes({std::wstring(outside.File(L"a.txt"))}, true, false);
    unended.resize(unended.size() - 2);
    struct Case {
        const char* what;
        HGLOBAL h;
    } forged[] = {
        {"list offset past the block", ForgedBlock(0x7FFFFFF0, TRUE, ListBytes({L"C:\\a.txt"}, true))},
        {"last path without its zero", ForgedBlock(kAt, TRUE, unended)},
        {"smaller than its header", ForgedBlock(kAt, TRUE, {}, 12)},
    };
    for (const Case& c : forged) {
        DropData* pData = new DropData(c.h);
        EXPECT_EQ(DropOnList(pData, 0), (DWORD)DROPEFFECT_NONE) << c.what;
        pData->InternalRelease();
        EXPECT_TRUE(FrameApp::Frame()->m_arrBatches.empty()) << c.what;
    }
    PumpFor(300);
    std::vector<CString> made;
    ListTree(shown.Path(), L"", made);
    EXPECT_TRUE(made.empty());
    EXPECT_TRUE(answers.Boxes().empty());

    // The same list still takes a sound block.
    DropData* pGood = new DropData(ForgedBlock(kAt, TRUE, ListBytes({std::wstring(outside.File(L"a.txt"))}, true)));
    EXPECT_EQ(DropOnList(pGood, 0), (DWORD)DROPEFFECT_COPY);
    pGood->InternalRelease();
    ASSERT_TRUE(BatchesDone());
    EXPECT_TRUE(Exists(shown.File(L"a.txt.kvf")));
    EXPECT_EQ(ReadAll(outside.File(L"a.txt")), "dropped");
    for (const DialogInfo& d : answers.Boxes()) ADD_FAILURE() << U8(d.caption) << ": " << U8(d.AllText());
}

TEST_F(ListDragDropTest, ADragOutOffersDecompressedCopiesInItsDragFolder) {
    Watchdog dog(120000, "drag out");
    DrivePassword pwd({L"abc123"});
    TempDir shown(L"E:\\dd");
    PutFile(shown.File(L"doc.txt"), "the document", 0, 11);
    PutFile(shown.File(L"plain.bin"), "plain bytes", 0, 12);
    Facts original = FactsOf(shown.File(L"doc.txt"));
    {
        // With a main window its batches are the frame's to delete.
        Answers answers;
        answers.Finish();
        CFileTaskThread* pBatch = new CFileTaskThread;
        pBatch->AddTask(shown.File(L"doc.txt"), shown.File(L"doc.txt"), TASK_COMPRESS);
        ASSERT_EQ(FrameApp::Frame()->StartBatch(pBatch, TRUE), IDOK);
        ASSERT_TRUE(BatchesDone());
    }
    DeleteFileW(shown.File(L"doc.txt"));
    Show(shown.Path());
    CListCtrl& list = FrameApp::List()->GetListCtrl();
    for (int i = 0; i < list.GetItemCount(); ++i) list.SetItemState(i, LVIS_SELECTED, LVIS_SELECTED);

    // The offered paths: under %TEMP%\KIV\KIV$hhmmss\, the archive by the
    // name it will have.
    CKivDropSource source;
    std::vector<BYTE> block;
    ASSERT_GT(FrameApp::List()->BuildDropFiles(source, block), 0);
    std::vector<CString> paths = PathsOf(block);
    ASSERT_EQ(paths.size(), 2u);
    CString folder = GetFolderPart(paths[0]);
    EXPECT_TRUE(folder.Find(GetTempDir()) == 0) << U8(folder);
    EXPECT_TRUE(GetFileNamePart(folder).Left(4) == L"KIV$" && GetFileNamePart(folder).GetLength() == 10);
    EXPECT_TRUE(paths[0] == folder + L"\\doc.txt");
    EXPECT_TRUE(paths[1] == folder + L"\\plain.bin");

    // The drop, taken by a place that keeps the data: the files are there
    // when it reads them, and the data outlives the drag.
    KeepingTarget keeper;
    COleDataSourceEx* pData = new COleDataSourceEx;
    HGLOBAL h = GlobalAlloc(GMEM_MOVEABLE | GMEM_ZEROINIT, block.size());
    memcpy(GlobalLock(h), block.data(), block.size());
    GlobalUnlock(h);
    pData->CacheGlobalData(CF_HDROP, h);
    pData->CacheGlobalData(g_cfDragTag, GlobalAlloc(GMEM_MOVEABLE | GMEM_ZEROINIT, 4));
    source.GiveFeedback(DROPEFFECT_COPY);
    Answers answers;
    answers.Finish();
    HRESULT hr = source.QueryContinueDrag(FALSE, 0);
    EXPECT_EQ(hr, DRAGDROP_S_DROP);
    DWORD effect = DROPEFFECT_COPY;
    POINTL pt = {0, 0};
    keeper.Drop(pData, 0, pt, &effect);
    pData->InternalRelease();  // the end of the drag's own reference
    ASSERT_TRUE(BatchesDone());
    COleDataObject kept;
    kept.Attach(keeper.kept, TRUE);
    HGLOBAL got = kept.GetGlobalData(CF_HDROP);
    ASSERT_TRUE(got);
    ASSERT_EQ(DragQueryFileW((HDROP)got, 0xFFFFFFFF, nullptr, 0), 2u);
    GlobalFree(got);
    Facts f = FactsOf(paths[0]);
    EXPECT_EQ(f.bytes, original.bytes);
    EXPECT_EQ(f.mtime, original.mtime);
    EXPECT_EQ(ReadAll(paths[1]), "plain bytes");
    EXPECT_TRUE(Exists(shown.File(L"doc.txt.kvf")));  // nothing leaves the drive

    // A file dragged with its own archive is refused with its message.
    PutFile(shown.File(L"doc.txt"), "again");
    Show(shown.Path());
    for (int i = 0; i < list.GetItemCount(); ++i) list.SetItemState(i, LVIS_SELECTED, LVIS_SELECTED);
    CKivDropSource clash;
    std::vector<BYTE> none;
    // The answerer of this test answers the box too.
    answers.answerer.ClearSeen();
    EXPECT_EQ(FrameApp::List()->BuildDropFiles(clash, none), -1);
    ASSERT_EQ(answers.Boxes().size(), 1u);
    EXPECT_TRUE(answers.Boxes()[0].HasText(L"Source and KVF file are not allowed to drag at the same time"));
    EXPECT_TRUE(answers.Boxes()[0].caption == L"KIV");

    // The drag folder stays after the drag (a target may still copy from it).
    EXPECT_TRUE(Exists(folder));
}
