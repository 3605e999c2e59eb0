// Drag and drop of the file list: the data a drag out offers and the drop
// source that fills the drag folder at the drop, the data source's life, and
// the list as a drop target, driven through the OLE interfaces (no desktop
// shell acts as a source or target under Wine).
#include "app/KIVApp.h"
#include "fileops/PathFunctions.h"
#include "tests/win/HandlerTestSupport.h"
#include "views/DragDrop.h"
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
}  // namespace

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
        std::vector<CString> paths;
    } cases[] = {
        {{L"T\\a.txt.kvf", L"T\\b.doc", L"T\\c.KVF"}, true, {L"T\\a.txt", L"T\\c", L"T\\b.doc"}},
        {{L"T\\a.txt", L"T\\a.txt.kvf"}, false, {}},
        {{L"T\\A.txt", L"T\\a.txt.kvf"}, true, {L"T\\a.txt", L"T\\A.txt"}},
        {{L"T\\folder"}, true, {L"T\\folder"}},
    };
    for (const Case& c : cases) {
        std::vector<CString> paths;
        CString clash;
        EXPECT_EQ(ListDropPaths(c.targets, paths, clash) != FALSE, c.ok) << U8(c.targets[0]);
        if (c.ok) EXPECT_EQ(paths, c.paths);
        else EXPECT_TRUE(clash == L"T\\a.txt");
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
