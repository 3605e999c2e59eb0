// The compress and decompress handlers: a tree through two batches and
// back, the replace questions, the refusals that must leave nothing behind,
// cancel, a full drive, the password history, work in place, the folder
// walks over links and over folders that cannot be read or made, two
// entries of a folder with one target, and a folder or file in the way.
#include "app/KIVApp.h"
#include "archive/UnzipFile.h"
#include "fileops/HandlerSupport.h"
#include "fileops/PathFunctions.h"
#include "tests/support/win/FullDrive.h"
#include "tests/win/HandlerTestSupport.h"
#include <algorithm>
#include <atomic>
#include <cstdlib>
#include <functional>
#include <map>
#include <memory>
#include <thread>

using namespace ht;

namespace {

// The application object: its drive folder tells the handlers where the
// password file is (e:\KIV\KIV.pwd).
struct DriveApp : CKIVApp {
    DriveApp() { m_strDrivePath = L"E:"; }
} theApp;

const size_t kBig = 3 * 1024 * 1024 + 12345;  // seven pieces

std::string ArchiveOf(const std::string& data, const char* pwd, const CString& scratch) {
    WriteArchive(scratch, data, pwd);
    std::string bytes = ReadAll(scratch);
    DeleteFileW(scratch);
    return bytes;
}

CString CheckFieldOf(const CString& archive) {
    CUnzipFile unzip(archive);
    unzip.OpenEntry();
    return CString((const char*)unzip.m_passwordField);
}

// Answers the replace questions in turn from a list; later ones get Yes.
void AnswerInTurn(Answers& a, const std::vector<int>& answers) {
    auto next = std::make_shared<size_t>(0);
    a.answerer.OnDialog(kFileReplace, nullptr, [answers, next](HWND, const DialogInfo&) {
        return *next < answers.size() ? answers[(*next)++] : IDOK;
    });
}

// Raises the batch's cancel flag at the first piece the task reports.
int CancelAtFirstPiece(int nCode, void* pData, void* pContext) {
    if (nCode == TPC_BYTES) ((CFileTaskThread*)pContext)->m_bCancel = 1;
    return CFileTaskThread::FileTaskProgressCallback(nCode, pData, pContext);
}

// The steps that take a written file to the drive, as the handlers report
// them: "flushed <file>" and "move <file> <flags>".
std::vector<std::string> g_driveSteps;
bool g_failFlush = false;
BOOL RecordDriveWrite(LPCWSTR pszStep, const CString& strPath, DWORD dwFlags) {
    g_driveSteps.push_back(U8(CString(pszStep)) + " " + U8(strPath) +
                           (dwFlags ? " " + std::to_string(dwFlags) : std::string()));
    if (g_failFlush && CString(pszStep) == L"flushed") {
        SetLastError(ERROR_WRITE_FAULT);
        return FALSE;
    }
    return TRUE;
}

// String nID of one language, straight from the string table; empty when
// it is missing.
CString LangString(UINT nID, WORD lang) {
    HRSRC hRes = FindResourceExW(nullptr, (LPCWSTR)RT_STRING, MAKEINTRESOURCEW(nID / 16 + 1), lang);
    if (!hRes) return CString();
    const WCHAR* p = (const WCHAR*)LockResource(LoadResource(nullptr, hRes));
    for (UINT i = 0; i < nID % 16; ++i) p += 1 + *p;
    return CString(p + 1, *p);
}

// A file's bytes; "(folder)" for a folder.
std::string BytesOrFolder(const CString& path) {
    DWORD dwAttrs = GetFileAttributesW(path);
    if (dwAttrs != INVALID_FILE_ATTRIBUTES && (dwAttrs & FILE_ATTRIBUTE_DIRECTORY)) return "(folder)";
    return ReadAll(path);
}

}  // namespace

TEST(CompressHandlersTest, TreeRoundTripsThroughTwoBatches) {
    RunWithTimeout(180000, "round trip", [] {
        DrivePassword pwd({L"first1pw"});
        Answers a;
        a.Finish();
        TempDir dir(L"E:\\");
        CString src = dir.File(L"src"), packed = dir.File(L"packed"), restored = dir.File(L"restored");
        MakeDir(src);
        MakeDir(src + L"\\sub");
        MakeDir(src + L"\\sub\\deeper");
        MakeDir(src + L"\\empty dir");
        std::map<CString, std::string> files = {
            {L"\\plain.txt", MakeText(5000, 1)},
            {L"\\empty.bin", ""},
            {L"\\big file.bin", MakeRandom(1300000, 2)},
            {L"\\\u53ea\u8bfb.txt", "read-only text"},
            {L"\\sub\\hidden file.dat", MakeText(70000, 3)},
            {L"\\sub\\deeper\\\u4e2d\u6587 \u540d\u5b57.txt", MakeText(600000, 4)},
            {L"\\sub\\deeper\\system.sys", "sys"},
        };
        std::map<CString, DWORD> attrs = {
            {L"\\\u53ea\u8bfb.txt", FILE_ATTRIBUTE_READONLY},
            {L"\\sub\\hidden file.dat", FILE_ATTRIBUTE_HIDDEN},
            {L"\\sub\\deeper\\system.sys", FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM},
        };
        int nDay = 1;
        for (const auto& f : files) PutFile(src + f.first, f.second, attrs[f.first], nDay++);
        // An archive among the sources is copied as it is.
        std::string inner = ArchiveOf("inner content", "first1pw", dir.File(L"scratch"));
        PutFile(src + L"\\inner.txt.kvf", inner);
        PutFile(dir.File(L"loose file.txt"), "loose");

        BatchRun pack = RunBatch({{src, packed, TASK_COMPRESS},
                                  {dir.File(L"loose file.txt"), packed + L"\\loose file.txt", TASK_COMPRESS}});
        EXPECT_EQ(pack.nStart, IDOK);
        EXPECT_EQ(pack.results, (std::vector<int>{TASK_OK, TASK_OK}));
        EXPECT_EQ(pack.nDone, pack.nTotal);
        for (const auto& f : files) EXPECT_TRUE(Exists(packed + f.first + L".kvf")) << U8(f.first);
        EXPECT_EQ(ReadAll(packed + L"\\inner.txt.kvf"), inner);
        EXPECT_FALSE(Exists(packed + L"\\inner.txt.kvf.kvf"));
        EXPECT_TRUE(Exists(packed + L"\\empty dir"));
        EXPECT_EQ(U8(CheckFieldOf(packed + L"\\plain.txt.kvf")), "first1pw");

        BatchRun unpack = RunBatch({{packed, restored, TASK_DECOMPRESS}});
        EXPECT_EQ(unpack.nStart, IDOK);
        EXPECT_EQ(unpack.results, (std::vector<int>{TASK_OK}));
        EXPECT_EQ(unpack.nDone, unpack.nTotal);
        for (const auto& f : files) {
            SCOPED_TRACE(U8(f.first));
            Facts before = FactsOf(src + f.first), after = FactsOf(restored + f.first);
            ASSERT_TRUE(after.found);
            EXPECT_TRUE(after.bytes == before.bytes);
            EXPECT_EQ(after.mtime, before.mtime);
            EXPECT_EQ(after.attrs, before.attrs);
        }
        EXPECT_EQ(FactsOf(restored + L"\\inner.txt").bytes, "inner content");
        EXPECT_EQ(FactsOf(restored + L"\\loose file.txt").bytes, "loose");
        EXPECT_TRUE(Exists(restored + L"\\empty dir"));
        EXPECT_EQ(CountTemps(dir.Path()), 0);
        EXPECT_TRUE(a.Boxes().empty()) << U8(a.Boxes()[0].AllText());
    });
}

TEST(CompressHandlersTest, ReplaceQuestionsAnsweredEachWay) {
    struct Row {
        std::vector<int> answers;
        bool readOnlyLast;
        size_t questions;
        std::vector<int> results;
        std::vector<bool> replaced;
    };
    const Row rows[] = {
        {{IDNO, IDOK, IDOK}, false, 3, {TASK_SKIPPED, TASK_OK, TASK_OK}, {false, true, true}},
        {{IDOK, IDCANCEL}, false, 2, {TASK_OK, TASK_CANCELLED}, {true, false, false}},
        {{IDYESTOALL}, false, 1, {TASK_OK, TASK_OK, TASK_OK}, {true, true, true}},
        // Yes to All on a plain target still asks about a read-only one.
        {{IDYESTOALL, IDOK}, true, 2, {TASK_OK, TASK_OK, TASK_OK}, {true, true, true}},
    };
    RunWithTimeout(300000, "replace questions", [&] {
        DrivePassword pwd({L"answer12"});
        for (int type : {TASK_COMPRESS, TASK_DECOMPRESS}) {
            for (const Row& row : rows) {
                SCOPED_TRACE(testing::Message() << "type " << type << " answers " << row.answers.size()
                                                << " read-only " << row.readOnlyLast);
                Answers a;
                AnswerInTurn(a, row.answers);
                a.Finish();
                TempDir dir(L"E:\\");
                MakeDir(dir.File(L"out"));
                std::vector<TaskSpec> specs;
                std::vector<CString> targets;
                for (LPCTSTR name : {L"a.txt", L"b.txt", L"c.txt"}) {
                    CString source = dir.File(name), target = dir.File(L"out\\") + name;
                    std::string data = "new " + U8(CString(name));
                    if (type == TASK_COMPRESS) {
                        PutFile(source, data);
                        specs.push_back({source, target, type});
                        targets.push_back(target + L".kvf");
                    } else {
                        WriteArchive(source + L".kvf", data, "answer12");
                        specs.push_back({source + L".kvf", target + L".kvf", type});
                        targets.push_back(target);
                    }
                }
                for (size_t i = 0; i < targets.size(); ++i)
                    PutFile(targets[i], "OLD", i == 2 && row.readOnlyLast ? FILE_ATTRIBUTE_READONLY : 0);

                BatchRun run = RunBatch(specs);
                EXPECT_EQ(run.results, row.results);
                bool allOk = run.results == std::vector<int>{TASK_OK, TASK_OK, TASK_OK};
                EXPECT_EQ(run.nStart, allOk ? IDOK : IDCANCEL);
                EXPECT_EQ(a.Boxes().size(), row.questions);
                for (size_t i = 0; i < targets.size(); ++i) {
                    std::string now = ReadAll(targets[i]);
                    bool isNew = now != "OLD";
                    EXPECT_EQ(isNew, row.replaced[i]) << i;
                    if (isNew && type == TASK_DECOMPRESS) {
                        EXPECT_EQ(now, "new " + U8(GetFileNamePart(targets[i])));
                    }
                    if (isNew && type == TASK_COMPRESS) {
                        EXPECT_EQ(now.substr(0, 10), "BRIVON KIV");
                    }
                    SetFileAttributesW(targets[i], FILE_ATTRIBUTE_NORMAL);
                }
                EXPECT_EQ(CountTemps(dir.Path()), 0);
            }
        }
    });
}

TEST(CompressHandlersTest, RefusedArchivesLeaveNothingBehind) {
    struct Row {
        const char* what;
        std::function<std::string(const CString& scratch)> make;
        bool noPasswordFile;
        LPCTSTR text;
        const char* pwdFile = nullptr;  // the password file's bytes, when not the usual one
    };
    std::string data = MakeText(300000, 9);
    const Row rows[] = {
        {"wrong password", [&](const CString& s) { return ArchiveOf(data, "stranger9", s); }, false,
         L"Invalid password."},
        {"not an archive", [&](const CString&) { return data; }, false, L"Unkonwn file format."},
        {"flipped data byte",
         [&](const CString& s) {
             std::string b = ArchiveOf(data, "refuse12", s);
             b[65 + (b.size() - 65 - 100) / 2] ^= 0x5A;
             return b;
         },
         false, L"Unkonwn file format."},
        {"truncated", [&](const CString& s) { std::string b = ArchiveOf(data, "refuse12", s);
             return b.substr(0, b.size() / 2);
         }, false,
         L"Unkonwn file format."},
        // Missing is not damaged: the drive is not the program's.
        {"no password file", [&](const CString& s) { return ArchiveOf(data, "refuse12", s); }, true,
         L"The Brivon Velto drive E: is not there."},
        {"a password file that holds no password", [&](const CString& s) { return ArchiveOf(data, "refuse12", s); },
         true, L"Password file damaged, Please create new password.", "\n"},
        // A password file saved by a text editor, with lines that decode to
        // nothing, and an archive whose check field is all zeros.
        {"empty check field", [&](const CString& s) { return ArchiveOf(data, "", s); }, true,
         L"Invalid password.", "cmVmdXNlMTI=\r\nAA==\r\n\r\n"},
    };
    RunWithTimeout(300000, "refusals", [&] {
        for (const Row& row : rows) {
            for (bool existing : {false, true}) {
                SCOPED_TRACE(testing::Message() << row.what << (existing ? ", existing target" : ""));
                DrivePassword pwd(row.noPasswordFile ? std::vector<CString>{} : std::vector<CString>{L"refuse12"});
                if (row.pwdFile) WriteAll(DrivePassword::Path(), row.pwdFile);
                Answers a;
                a.Finish();
                TempDir dir(L"E:\\");
                CString archive = dir.File(L"doc.txt.kvf"), target = dir.File(L"out\\doc.txt");
                MakeDir(dir.File(L"out"));
                PutFile(archive, row.make(dir.File(L"scratch")));
                if (existing) PutFile(target, "KEEP", FILE_ATTRIBUTE_READONLY);

                DirectTask t(TASK_DECOMPRESS, TF_DEFAULT);
                EXPECT_EQ(t.task.DoDecompressFile(archive, target + L".kvf"), TASK_ERROR);
                std::vector<DialogInfo> boxes = a.Boxes();
                ASSERT_FALSE(boxes.empty());
                const DialogInfo& box = boxes.back();
                EXPECT_EQ(U8(box.caption), "Error Decompressing File or Folder");
                EXPECT_TRUE(box.HasText(row.text)) << U8(box.AllText());
                Facts f = FactsOf(target);
                EXPECT_EQ(f.found, existing);
                if (existing) {
                    EXPECT_EQ(f.bytes, "KEEP");
                    EXPECT_EQ(f.attrs, (DWORD)FILE_ATTRIBUTE_READONLY);
                    SetFileAttributesW(target, FILE_ATTRIBUTE_NORMAL);
                }
                EXPECT_EQ(CountTemps(dir.Path()), 0);
                EXPECT_TRUE(Exists(archive));
            }
        }
    });
}

TEST(CompressHandlersTest, CompressRefusals) {
    struct Row {
        const char* what;
        std::vector<CString> passwords;  // empty: no password file
        bool emptyLine;
        ULONGLONG sparseLength;  // 0: a small source
        LPCTSTR text;
    };
    const Row rows[] = {
        {"no password file", {}, false, 0, L"The Brivon Velto drive E: is not there."},
        {"empty current password", {}, true, 0, L"Password file damaged, Please create new password."},
        {"4 GiB source", {L"huge1234"}, false, 0x100000000ull, L"4 GB"},
    };
    RunWithTimeout(120000, "compress refusals", [&] {
        for (const Row& row : rows) {
            SCOPED_TRACE(row.what);
            DrivePassword pwd(row.passwords);
            if (row.emptyLine) WriteAll(DrivePassword::Path(), "\n");
            Answers a;
            a.Finish();
            TempDir dir(L"E:\\");
            CString source = dir.File(L"src.bin");
            PutFile(source, "small");
            if (row.sparseLength) {
                HANDLE h = CreateFileW(source, GENERIC_WRITE, 0, nullptr, OPEN_EXISTING, 0, nullptr);
                ASSERT_NE(h, INVALID_HANDLE_VALUE);
                LARGE_INTEGER at;
                at.QuadPart = (LONGLONG)row.sparseLength;
                ASSERT_TRUE(SetFilePointerEx(h, at, nullptr, FILE_BEGIN) && SetEndOfFile(h));
                CloseHandle(h);
            }
            DirectTask t(TASK_COMPRESS, TF_DEFAULT);
            EXPECT_EQ(t.task.DoCompressFile(source, source), TASK_ERROR);
            std::vector<DialogInfo> boxes = a.Boxes();
            ASSERT_EQ(boxes.size(), 1u);
            EXPECT_EQ(U8(boxes[0].caption), "Error Compressing File or Folder");
            EXPECT_TRUE(boxes[0].HasText(row.text)) << U8(boxes[0].AllText());
            EXPECT_FALSE(Exists(source + L".kvf"));
            EXPECT_EQ(CountTemps(dir.Path()), 0);
            EXPECT_TRUE(t.task.m_strPassword.IsEmpty());
            DeleteFileW(source);
        }
    });
}

TEST(CompressHandlersTest, OnlyAPasswordTheCheckFieldCarriesWholeIsWritten) {
    struct Row {
        const char* what;
        std::vector<CString> passwords;  // oldest first
        bool randomTail;                 // 400 random bytes after them
        bool accepted;
    };
    const Row rows[] = {
        {"6 characters", {L"oldpass1", L"abc123"}, false, true},
        {"12 characters", {L"Abcdef123456"}, false, true},
        {"16 characters fill the field", {L"abcdefgh12345678"}, false, true},
        {"20 characters", {L"oldpass1", L"abcdefghij0123456789"}, false, false},
        {"starts with U+0080", {L"oldpass1", L"\x0080" L"abcdef"}, false, false},
        {"400 random bytes", {L"oldpass1"}, true, false},
    };
    const std::string data = MakeText(20000, 11);
    RunWithTimeout(120000, "check field", [&] {
        for (const Row& row : rows) {
            SCOPED_TRACE(row.what);
            DrivePassword pwd(row.randomTail ? std::vector<CString>{} : row.passwords);
            if (row.randomTail) {
                // Bytes that still load, with some non-empty current password.
                for (unsigned seed = 1;; ++seed) {
                    ASSERT_LT(seed, 100u);
                    WriteAll(DrivePassword::Path(), "b2xkcHcx\n" + MakeRandom(400, seed));
                    CKivPwd store;
                    if (store.LoadPwdFile(DrivePassword::Path()) && !store.GetCurrentPwd().IsEmpty() &&
                        store.GetCurrentPwd() != L"oldpw1")
                        break;
                }
            }
            Answers a;
            a.Finish();
            TempDir dir(L"E:\\");
            CString source = dir.File(L"doc.txt");
            PutFile(source, data);
            DirectTask t(TASK_COMPRESS, TF_DEFAULT);
            int nResult = t.task.DoCompressFile(source, source);
            std::vector<DialogInfo> boxes = a.Boxes();
            if (row.accepted) {
                EXPECT_EQ(nResult, TASK_OK);
                DirectTask back(TASK_DECOMPRESS, TF_DEFAULT);
                EXPECT_EQ(back.task.DoDecompressFile(source + L".kvf", dir.File(L"back.txt.kvf")), TASK_OK);
                EXPECT_TRUE(ReadAll(dir.File(L"back.txt")) == data);
                boxes = a.Boxes();
                EXPECT_TRUE(boxes.empty()) << U8(boxes[0].AllText());
            } else {
                EXPECT_EQ(nResult, TASK_ERROR);
                ASSERT_EQ(boxes.size(), 1u);
                EXPECT_EQ(U8(boxes[0].caption), "Error Compressing File or Folder");
                EXPECT_TRUE(boxes[0].HasText(L"Password file damaged, Please create new password."))
                    << U8(boxes[0].AllText());
                EXPECT_FALSE(Exists(source + L".kvf"));
            }
            EXPECT_EQ(CountTemps(dir.Path()), 0);
        }
    });
}

TEST(CompressHandlersTest, CancelInALargeFileStopsTheBatch) {
    RunWithTimeout(120000, "cancel", [] {
        DrivePassword pwd({L"cancel12"});
        for (int type : {TASK_COMPRESS, TASK_DECOMPRESS}) {
            SCOPED_TRACE(type);
            Answers a;
            a.Finish();
            TempDir dir(L"E:\\");
            CString big = dir.File(L"big.bin"), small = dir.File(L"small.bin");
            std::string bigData = MakeRandom(kBig, 5);
            CString bigOut, smallOut;
            if (type == TASK_COMPRESS) {
                PutFile(big, bigData);
                PutFile(small, "small");
                bigOut = big + L".kvf";
                smallOut = small + L".kvf";
            } else {
                WriteArchive(big + L".kvf", bigData, "cancel12");
                WriteArchive(small + L".kvf", "small", "cancel12");
                bigOut = big;
                smallOut = small;
                big += L".kvf";
                small += L".kvf";
            }
            std::string bigBefore = ReadAll(big);
            BatchRun run = RunBatch({{big, big, type}, {small, small, type}}, [](CFileTaskThread& b) {
                b.m_arrTasks[0].m_pfnProgress = &CancelAtFirstPiece;
            });
            EXPECT_EQ(run.nStart, IDCANCEL);
            EXPECT_EQ(run.results, (std::vector<int>{TASK_CANCELLED}));
            EXPECT_FALSE(Exists(bigOut));
            EXPECT_FALSE(Exists(smallOut));
            EXPECT_TRUE(ReadAll(big) == bigBefore);
            EXPECT_EQ(CountTemps(dir.Path()), 0);
            EXPECT_TRUE(a.Boxes().empty());
        }
    });
}

TEST(CompressHandlersTest, FullDriveKeepsTheExistingTarget) {
    const CString full = FullDriveRoot();
    if (full.IsEmpty()) GTEST_SKIP() << "KIV_FULL_DRIVE is not set";
    RunWithTimeout(180000, "full drive", [&] {
        DrivePassword pwd({L"fulldisk1"});
        TempDir dir(L"E:\\");
        std::string bigData = MakeRandom(kBig, 6);
        struct Case {
            int type;
            CString source, target, output;
            LPCTSTR caption, text;
        };
        CString bigArchive = dir.File(L"big.bin.kvf");
        WriteArchive(bigArchive, bigData, "fulldisk1");
        PutFile(dir.File(L"big.bin"), bigData);
        const Case cases[] = {
            {TASK_COMPRESS, dir.File(L"big.bin"), full + L"big.bin", full + L"big.bin.kvf",
             L"Error Compressing File or Folder", L"Cannot compress "},
            {TASK_DECOMPRESS, bigArchive, full + L"big.bin.kvf", full + L"big.bin",
             L"Error Decompressing File or Folder", L"Cannot decompress "},
        };
        for (const Case& c : cases) {
            SCOPED_TRACE(c.type);
            Answers a;
            a.Finish();
            std::string old = ArchiveOf("old small archive", "fulldisk1", dir.File(L"scratch"));
            PutFile(c.output, old);
            std::string sourceBefore = ReadAll(c.source);
            DirectTask t(c.type, 0);
            EXPECT_EQ(c.type == TASK_COMPRESS ? t.task.DoCompressFile(c.source, c.target)
                                              : t.task.DoDecompressFile(c.source, c.target),
                      TASK_ERROR);
            std::vector<DialogInfo> boxes = a.Boxes();
            ASSERT_EQ(boxes.size(), 1u);
            EXPECT_EQ(U8(boxes[0].caption), U8(CString(c.caption)));
            EXPECT_TRUE(boxes[0].HasText(CString(c.text) + c.output)) << U8(boxes[0].AllText());
            EXPECT_TRUE(boxes[0].HasText(L"The disk in the destination drive is full")) << U8(boxes[0].AllText());
            EXPECT_TRUE(ReadAll(c.output) == old);
            EXPECT_TRUE(ReadAll(c.source) == sourceBefore);
            EXPECT_EQ(CountTemps(full.Left(2)), 0);
            DeleteFileW(c.output);
        }
    });
}

// Wine keeps no write cache of its own to lose, so what is checked is the
// order: every written file is flushed, then moved in written through, and
// a flush that fails leaves the target as it was.
TEST(CompressHandlersTest, WhatIsWrittenIsFlushedToTheDriveBeforeItTakesItsPlace) {
    RunWithTimeout(120000, "write through", [] {
        DrivePassword pwd({L"flush123"});
        TempDir dir(L"E:\\");
        // Read-only, so the restored file and the copy are read-only too.
        PutFile(dir.File(L"a.txt"), "alpha", FILE_ATTRIBUTE_READONLY);
        MakeDir(dir.File(L"out"));
        struct Case {
            const char* what;
            int type;
            CString src, dst, written;
        } cases[] = {
            {"new archive", TASK_COMPRESS, dir.File(L"a.txt"), dir.File(L"a.txt"), dir.File(L"a.txt.kvf")},
            {"archive over the old one", TASK_COMPRESS, dir.File(L"a.txt"), dir.File(L"a.txt"), dir.File(L"a.txt.kvf")},
            {"new restored file", TASK_DECOMPRESS, dir.File(L"a.txt.kvf"), dir.File(L"out\\a.txt.kvf"),
             dir.File(L"out\\a.txt")},
            {"restored over the old one", TASK_DECOMPRESS, dir.File(L"a.txt.kvf"), dir.File(L"out\\a.txt.kvf"),
             dir.File(L"out\\a.txt")},
            {"new copy", TASK_COPY, dir.File(L"a.txt"), dir.File(L"b.txt"), dir.File(L"b.txt")},
            {"copy over the old one", TASK_COPY, dir.File(L"a.txt"), dir.File(L"b.txt"), dir.File(L"b.txt")},
        };
        SetDriveWriteProbe(&RecordDriveWrite);
        for (bool fail : {false, true}) {
            for (const Case& c : cases) {
                SCOPED_TRACE(std::string(c.what) + (fail ? ", flush failing" : ""));
                Answers a;
                a.Finish();
                g_driveSteps.clear();
                g_failFlush = fail;
                std::string before = Exists(c.written) ? ReadAll(c.written) : std::string();
                DirectTask t(c.type, 0);
                int nResult = c.type == TASK_COMPRESS     ? t.task.DoCompressFile(c.src, c.dst)
                              : c.type == TASK_DECOMPRESS ? t.task.DoDecompressFile(c.src, c.dst)
                                                          : t.task.DoCopyFile(c.src, c.dst);
                g_failFlush = false;
                EXPECT_EQ(CountTemps(dir.Path()), 0);
                if (fail) {
                    EXPECT_EQ(nResult, TASK_ERROR);
                    ASSERT_EQ(g_driveSteps.size(), 1u);
                    EXPECT_EQ(g_driveSteps[0].rfind("flushed ", 0), 0u);
                    EXPECT_TRUE(Exists(c.written) && ReadAll(c.written) == before);
                    std::vector<DialogInfo> boxes = a.Boxes();
                    ASSERT_EQ(boxes.size(), 1u);
                    EXPECT_TRUE(boxes[0].HasText(c.written)) << U8(boxes[0].AllText());
                    continue;
                }
                EXPECT_EQ(nResult, TASK_OK);
                EXPECT_TRUE(a.Boxes().empty());
                ASSERT_EQ(g_driveSteps.size(), 2u);
                const std::string temp = g_driveSteps[0].substr(8);
                DWORD flags = c.type != TASK_COPY || before.size() ? MOVEFILE_REPLACE_EXISTING : 0;
                EXPECT_EQ(g_driveSteps[0], "flushed " + temp);
                EXPECT_EQ(g_driveSteps[1], "move " + temp + " " + std::to_string(flags | MOVEFILE_WRITE_THROUGH));
                EXPECT_TRUE(Exists(c.written));
            }
        }
        SetDriveWriteProbe(nullptr);
        EXPECT_EQ(ReadAll(dir.File(L"out\\a.txt")), "alpha");
        EXPECT_EQ(ReadAll(dir.File(L"b.txt")), "alpha");
        EXPECT_TRUE(GetFileAttributesW(dir.File(L"out\\a.txt")) & FILE_ATTRIBUTE_READONLY);
        for (LPCWSTR f : {L"a.txt", L"out\\a.txt", L"b.txt"}) SetFileAttributesW(dir.File(f), FILE_ATTRIBUTE_NORMAL);
    });
}

// Near the 260-character limit, as the shell's runs meet it (the target
// beside its source): every target whose full path fits in 259 characters
// is written, with or without one already there (whose question names it
// and its time), although the file written aside first has a longer name;
// a longer target is refused before anything is asked, naming the cause.
// The fixture writes through the long form, as the handlers need not.
TEST(CompressHandlersTest, TargetsNearTheLengthLimit) {
    RunWithTimeout(300000, "length limit", [] {
        DrivePassword pwd({L"limit123"});
        const std::string data = MakeText(3000, 5);
        for (int type : {TASK_COMPRESS, TASK_DECOMPRESS}) {
            const CString name = type == TASK_COMPRESS ? L"f.txt.kvf" : L"f.txt";
            const CString verb = type == TASK_COMPRESS ? L"Cannot compress " : L"Cannot decompress ";
            for (int nLength : {254, 256, 259, 260, 261, 300}) {
                for (bool existing : {false, true}) {
                    SCOPED_TRACE(testing::Message() << "type " << type << " target " << nLength << " existing "
                                                    << existing);
                    Answers a;
                    a.answerer.OnDialog(kFileReplace, nullptr, [](HWND, const DialogInfo&) { return IDOK; });
                    a.Finish();
                    TempDir dir(L"E:\\");
                    CString folder = dir.Path();
                    while (folder.GetLength() < nLength - name.GetLength() - 1) {
                        int n = nLength - name.GetLength() - 1 - folder.GetLength() - 1;
                        folder += L"\\" + CString(L'd', n > 200 ? 200 : n);
                        MakeDir(AfxLongPathForm(folder));
                    }
                    const CString target = folder + L"\\" + name;
                    ASSERT_EQ(target.GetLength(), nLength);
                    const CString source = type == TASK_COMPRESS ? folder + L"\\f.txt" : target + L".kvf";
                    if (type == TASK_COMPRESS)
                        PutFile(AfxLongPathForm(source), data);
                    else
                        WriteArchive(AfxLongPathForm(source), data, "limit123");
                    if (existing) PutFile(AfxLongPathForm(target), "OLD");

                    DirectTask t(type, TF_DEFAULT);
                    int nResult = type == TASK_COMPRESS ? t.task.DoCompressFile(source, folder + L"\\f.txt")
                                                        : t.task.DoDecompressFile(source, source);
                    std::vector<DialogInfo> boxes = a.Boxes();
                    std::string now = Exists(AfxLongPathForm(target)) ? ReadAll(AfxLongPathForm(target)) : "";
                    if (nLength <= 259) {
                        EXPECT_EQ(nResult, TASK_OK);
                        if (type == TASK_COMPRESS) {
                            EXPECT_EQ(now.substr(0, 10), "BRIVON KIV");
                        } else {
                            EXPECT_TRUE(now == data);
                        }
                        ASSERT_EQ(boxes.size(), existing ? 1u : 0u);
                        if (existing) {
                            EXPECT_EQ(U8(boxes[0].caption), U8(kFileReplace));
                            EXPECT_TRUE(boxes[0].HasText(L"file named '" + name + L"'")) << U8(boxes[0].AllText());
                            EXPECT_TRUE(boxes[0].HasText(L"2021")) << U8(boxes[0].AllText());
                            EXPECT_FALSE(boxes[0].HasText(L"1970")) << U8(boxes[0].AllText());
                        }
                    } else {
                        EXPECT_EQ(nResult, TASK_ERROR);
                        EXPECT_EQ(now, existing ? "OLD" : "");
                        EXPECT_EQ(Exists(AfxLongPathForm(target)), existing);
                        ASSERT_EQ(boxes.size(), 1u);
                        EXPECT_EQ(U8(boxes[0].caption), type == TASK_COMPRESS ? "Error Compressing File or Folder"
                                                                              : "Error Decompressing File or Folder");
                        EXPECT_EQ(U8(boxes[0].AllText()),
                                  U8(verb + target +
                                     L" :The path is too long; a full path must be shorter than 260 characters."));
                    }
                    EXPECT_EQ(CountTemps(dir.Path()), 0);
                }
            }
        }
    });
}

// The file written aside lies in its target's folder and, for every target
// that fits, has a form that Windows takes without long-path support.
TEST(CompressHandlersTest, TheAsideFileOfATargetThatFitsIsUsable) {
    for (int nLength = 240; nLength <= 259; ++nLength) {
        SCOPED_TRACE(nLength);
        CString folder = L"E:\\" + CString(L'a', 200) + L"\\" + CString(L'b', nLength - 210);
        CString target = folder + L"\\x.txt";
        ASSERT_EQ(target.GetLength(), nLength);
        CString aside = MakeTempSibling(target);
        EXPECT_TRUE(aside.GetLength() < MAX_PATH || aside.Left(4) == L"\\\\?\\") << U8(aside);
        CString plain = aside.Left(4) == L"\\\\?\\" ? aside.Mid(4) : aside;
        EXPECT_EQ(U8(GetFolderPart(plain)), U8(folder));
        EXPECT_TRUE(GetFileNamePart(plain).Left(4) == L"~kiv") << U8(plain);
    }
}

TEST(CompressHandlersTest, ArchivesOfAnOlderPasswordStillOpen) {
    RunWithTimeout(120000, "older password", [] {
        DrivePassword pwd({L"oldpass1"});
        Answers a;
        a.Finish();
        TempDir dir(L"E:\\");
        PutFile(dir.File(L"a.txt"), "written under the old password");
        PutFile(dir.File(L"b.txt"), "written under the new password");
        EXPECT_EQ(RunBatch({{dir.File(L"a.txt"), dir.File(L"a.txt"), TASK_COMPRESS}}).results[0], TASK_OK);
        DrivePassword::Change(L"oldpass1", L"newpass2");
        EXPECT_EQ(RunBatch({{dir.File(L"b.txt"), dir.File(L"b.txt"), TASK_COMPRESS}}).results[0], TASK_OK);
        EXPECT_EQ(U8(CheckFieldOf(dir.File(L"a.txt.kvf"))), "oldpass1");
        EXPECT_EQ(U8(CheckFieldOf(dir.File(L"b.txt.kvf"))), "newpass2");

        MakeDir(dir.File(L"out"));
        BatchRun run = RunBatch({{dir.File(L"a.txt.kvf"), dir.File(L"out\\a.txt"), TASK_DECOMPRESS},
                                 {dir.File(L"b.txt.kvf"), dir.File(L"out\\b.txt"), TASK_DECOMPRESS}});
        EXPECT_EQ(run.results, (std::vector<int>{TASK_OK, TASK_OK}));
        EXPECT_EQ(ReadAll(dir.File(L"out\\a.txt")), "written under the old password");
        EXPECT_EQ(ReadAll(dir.File(L"out\\b.txt")), "written under the new password");
        EXPECT_TRUE(a.Boxes().empty());
    });
}

TEST(CompressHandlersTest, APasswordFileAnotherProgramHoldsIsInUseNotDamaged) {
    RunWithTimeout(120000, "password file held", [] {
        DrivePassword pwd({L"held1234"});
        const std::string history = ReadAll(DrivePassword::Path());
        TempDir dir(L"E:\\");
        PutFile(dir.File(L"a.txt.kvf"), ArchiveOf("the held one", "held1234", dir.File(L"scratch")));
        MakeDir(dir.File(L"out"));
        PutFile(dir.File(L"b.txt"), "to compress");
        const TaskSpec task = {dir.File(L"a.txt.kvf"), dir.File(L"out\\a.txt"), TASK_DECOMPRESS};
        const TaskSpec packing = {dir.File(L"b.txt"), dir.File(L"b.txt"), TASK_COMPRESS};
        for (const TaskSpec& held : {task, packing}) {
            // Held with no sharing for longer than the wait.
            Answers a;
            a.Finish();
            CFile holder;
            ASSERT_TRUE(holder.Open(DrivePassword::Path(), CFile::modeRead | CFile::shareExclusive));
            EXPECT_EQ(RunBatch({held}).results, std::vector<int>{TASK_ERROR});
            std::vector<DialogInfo> boxes = a.Boxes();
            ASSERT_EQ(boxes.size(), 1u);
            EXPECT_TRUE(boxes[0].HasText(L"The password file e:\\KIV\\KIV.pwd is in use by another program."))
                << U8(boxes[0].AllText());
            EXPECT_FALSE(boxes[0].HasText(L"damaged"));
        }
        EXPECT_FALSE(Exists(dir.File(L"b.txt.kvf")));
        EXPECT_EQ(ReadAll(dir.File(L"b.txt")), "to compress");
        EXPECT_EQ(CountTemps(dir.Path()), 0);
        EXPECT_FALSE(Exists(dir.File(L"out\\a.txt")));
        EXPECT_TRUE(Exists(dir.File(L"a.txt.kvf")));
        EXPECT_EQ(CountTemps(dir.File(L"out")), 0);
        EXPECT_TRUE(ReadAll(DrivePassword::Path()) == history);

        // Let go within the wait: the archive is read as usual.
        Answers a;
        a.Finish();
        std::atomic<bool> held{false};
        std::thread other([&] {
            CFile holder;
            if (holder.Open(DrivePassword::Path(), CFile::modeRead | CFile::shareExclusive)) {
                held = true;
                Sleep(CKivPwd::kShareWaitMs / 3);
            }
            held = true;
        });
        while (!held) Sleep(5);
        EXPECT_EQ(RunBatch({task}).results, std::vector<int>{TASK_OK});
        other.join();
        EXPECT_EQ(ReadAll(dir.File(L"out\\a.txt")), "the held one");
        EXPECT_TRUE(a.Boxes().empty());
    });
}

TEST(CompressHandlersTest, WhatStandsInThePasswordFilesPlaceIsSaidNotADamagedFileOrAMissingDrive) {
    RunWithTimeout(120000, "password path blocked", [] {
        TempDir dir(L"E:\\");
        PutFile(dir.File(L"a.txt.kvf"), ArchiveOf("kept", "folder12", dir.File(L"scratch")));
        PutFile(dir.File(L"b.txt"), "to compress");
        DrivePassword none({});
        const TaskSpec tasks[] = {{dir.File(L"a.txt.kvf"), dir.File(L"a.txt"), TASK_DECOMPRESS},
                                  {dir.File(L"b.txt"), dir.File(L"b.txt"), TASK_COMPRESS}};
        const struct {
            const char* what;
            bool fileForFolder;  // a file named KIV instead of the folder; else a folder named KIV.pwd
            const wchar_t* text;
        } rows[] = {
            {"a folder named KIV.pwd", false, L"A folder stands where the password file e:\\KIV\\KIV.pwd belongs"},
            {"a file named KIV", true, L"A file stands where the password file's folder e:\\KIV belongs"},
        };
        for (const auto& row : rows) {
            SCOPED_TRACE(row.what);
            if (row.fileForFolder) {
                ASSERT_TRUE(RemoveDirectoryW(L"e:\\KIV"));
                PutFile(L"e:\\KIV", "notes");
            } else {
                ASSERT_TRUE(CreateDirectoryW(DrivePassword::Path(), nullptr));
            }
            for (const TaskSpec& task : tasks) {
                Answers a;
                a.Finish();
                EXPECT_EQ(RunBatch({task}).results, std::vector<int>{TASK_ERROR});
                std::vector<DialogInfo> boxes = a.Boxes();
                ASSERT_EQ(boxes.size(), 1u);
                EXPECT_TRUE(boxes[0].HasText(row.text)) << U8(boxes[0].AllText());
            }
            EXPECT_FALSE(Exists(dir.File(L"a.txt")));
            EXPECT_FALSE(Exists(dir.File(L"b.txt.kvf")));
            EXPECT_EQ(ReadAll(dir.File(L"b.txt")), "to compress");
            EXPECT_EQ(CountTemps(dir.Path()), 0);
            // Left as it was.
            if (row.fileForFolder) {
                EXPECT_EQ(ReadAll(L"e:\\KIV"), "notes");
                ASSERT_TRUE(DeleteFileW(L"e:\\KIV"));
                ASSERT_TRUE(CreateDirectoryW(L"e:\\KIV", nullptr));
            } else {
                EXPECT_TRUE(GetFileAttributesW(DrivePassword::Path()) & FILE_ATTRIBUTE_DIRECTORY);
                ASSERT_TRUE(RemoveDirectoryW(DrivePassword::Path()));
            }
        }
    });
}

TEST(CompressHandlersTest, InPlaceWorksOnTheListingTakenFirst) {
    RunWithTimeout(120000, "in place", [] {
        DrivePassword pwd({L"inplace1"});
        Answers a;
        a.Finish();  // Yes to every question: the folder itself is its target
        TempDir dir(L"E:\\");
        CString folder = dir.File(L"work");
        MakeDir(folder);
        MakeDir(folder + L"\\sub");
        PutFile(folder + L"\\a.txt", "alpha");
        PutFile(folder + L"\\sub\\c.txt", "gamma");
        std::string b = ArchiveOf("beta", "inplace1", dir.File(L"scratch"));
        PutFile(folder + L"\\b.txt.kvf", b);

        BatchRun pack = RunBatch({{folder, folder, TASK_COMPRESS}});
        EXPECT_EQ(pack.results, (std::vector<int>{TASK_OK}));
        std::vector<CString> names;
        ListTree(folder, L"", names);
        std::sort(names.begin(), names.end());
        std::vector<std::string> got;
        for (const CString& n : names) got.push_back(U8(n));
        EXPECT_EQ(got, (std::vector<std::string>{"\\a.txt", "\\a.txt.kvf", "\\b.txt.kvf", "\\sub", "\\sub\\c.txt",
                                                 "\\sub\\c.txt.kvf"}));
        EXPECT_TRUE(ReadAll(folder + L"\\b.txt.kvf") == b);

        // An archive of an archive is opened once: its content stays an archive.
        CString nested = dir.File(L"nested");
        MakeDir(nested);
        PutFile(nested + L"\\y.kvf.kvf", ArchiveOf(b, "inplace1", dir.File(L"scratch")));
        DeleteFileW(folder + L"\\a.txt");
        // A file beside its own archive would be restored onto: the walk
        // refuses the pair in place as elsewhere, before writing either.
        CString pair = dir.File(L"pair");
        MakeDir(pair);
        PutFile(pair + L"\\c.txt", "plain c");
        PutFile(pair + L"\\c.txt.kvf", ArchiveOf("archived c", "inplace1", dir.File(L"scratch")));
        a.answerer.ClearSeen();
        EXPECT_EQ(RunBatch({{pair, pair, TASK_DECOMPRESS}}).results, std::vector<int>{TASK_ERROR});
        std::vector<DialogInfo> boxes = a.Boxes();
        ASSERT_EQ(boxes.size(), 1u);
        EXPECT_TRUE(boxes[0].HasText(L"would both be written to " + pair + L"\\c.txt.")) << U8(boxes[0].AllText());
        EXPECT_EQ(ReadAll(pair + L"\\c.txt"), "plain c");
        // So the plain one goes here, as a.txt did.
        DeleteFileW(folder + L"\\sub\\c.txt");
        BatchRun unpack = RunBatch({{folder, folder, TASK_DECOMPRESS}, {nested, nested, TASK_DECOMPRESS}});
        EXPECT_EQ(unpack.results, (std::vector<int>{TASK_OK, TASK_OK}));
        EXPECT_EQ(ReadAll(folder + L"\\a.txt"), "alpha");
        EXPECT_EQ(ReadAll(folder + L"\\b.txt"), "beta");
        EXPECT_EQ(ReadAll(folder + L"\\sub\\c.txt"), "gamma");
        EXPECT_TRUE(ReadAll(nested + L"\\y.kvf") == b);
        EXPECT_FALSE(Exists(nested + L"\\y"));
        EXPECT_EQ(CountTemps(dir.Path()), 0);
    });
}

TEST(CompressHandlersTest, ArchiveWhoseLastRecordsDoNotFitIsRemoved) {
    const CString full = FullDriveRoot();
    if (full.IsEmpty()) GTEST_SKIP() << "KIV_FULL_DRIVE is not set";
    RunWithTimeout(180000, "close fails", [&] {
        DrivePassword pwd({L"closing1"});
        Answers a;
        a.Finish();
        TempDir dir(L"E:\\");
        CString source = dir.File(L"src.bin");

        // Random bytes whose archive ends well inside a 16 KB output buffer:
        // every full buffer reaches the drive while the data is written, and
        // only the archive's last bytes and records are left for the close.
        std::string data;
        ULONGLONG nArchive = 0, nFlushed = 0;
        for (size_t n = 1200000; n < 1400000; n += 3001) {
            data = MakeRandom(n, 8);
            std::string archive = ArchiveOf(data, "closing1", dir.File(L"probe"));
            nArchive = archive.size();
            ULONGLONG nData = nArchive - 185;  // prefixes, headers and records around the data
            nFlushed = 65 + nData / 16384 * 16384;
            if (nArchive - nFlushed > 10000) break;
        }
        ULONGLONG nRoom = (nArchive - 1) / 4096 * 4096;
        ASSERT_GE(nRoom, nFlushed);
        PutFile(source, data);

        // Fill the drive up to that room.
        ULARGE_INTEGER freeBytes;
        ASSERT_TRUE(GetDiskFreeSpaceExW(full, &freeBytes, nullptr, nullptr));
        ASSERT_GT(freeBytes.QuadPart, nRoom);
        PutFile(full + L"filler", std::string((size_t)(freeBytes.QuadPart - nRoom), 'f'));
        ASSERT_TRUE(GetDiskFreeSpaceExW(full, &freeBytes, nullptr, nullptr));
        if (freeBytes.QuadPart != nRoom) {
            DeleteFileW(full + L"filler");
            GTEST_SKIP() << "the drive does not count its free space by the byte";
        }

        // The engine itself: the data goes in, the close fails.
        {
            CZipFile zip;
            memset(zip.m_passwordField, 0, sizeof zip.m_passwordField);
            zip.Open(full + L"probe.kvf");
            EntryFileInfo info;
            zip.BeginEntry(L"", info, 9, 8);
            zip.WriteEntryData((UINT)data.size(), data.data());
            bool bThrown = false;
            try {
                zip.Close();
            } catch (CException* e) {
                e->Delete();
                bThrown = true;
            }
            ASSERT_TRUE(bThrown);
            DeleteFileW(full + L"probe.kvf");
        }

        DirectTask t(TASK_COMPRESS, 0);
        EXPECT_EQ(t.task.DoCompressFile(source, full + L"src.bin"), TASK_ERROR);
        std::vector<DialogInfo> boxes = a.Boxes();
        ASSERT_EQ(boxes.size(), 1u);
        EXPECT_EQ(U8(boxes[0].caption), "Error Compressing File or Folder");
        EXPECT_TRUE(boxes[0].HasText(L"Cannot compress " + full + L"src.bin.kvf")) << U8(boxes[0].AllText());
        EXPECT_FALSE(Exists(full + L"src.bin.kvf"));
        EXPECT_EQ(CountTemps(full.Left(2)), 0);
        DeleteFileW(full + L"filler");
    });
}

TEST(CompressHandlersTest, WalksLeaveLinksOutAndFailOnWhatTheyCannotReadOrMake) {
    RunWithTimeout(120000, "walks", [] {
        DrivePassword pwd({L"walklink1"});
        {
            SCOPED_TRACE("compress");
            CheckWalkOverLinksAndFailures(TASK_COMPRESS, "Error Compressing File or Folder", L"Cannot compress ");
        }
        {
            SCOPED_TRACE("decompress");
            CheckWalkOverLinksAndFailures(TASK_DECOMPRESS, "Error Decompressing File or Folder", L"Cannot decompress ");
        }
    });
}

// Failures that used to end a task without a word: a source another program
// holds with no sharing, an archive held so (with and without the replace
// question), an archive gone, a target folder gone. Each says why in one
// box naming the file; an archive that cannot be opened is not called an
// unknown format; nothing is written and nothing is lost.
TEST(CompressHandlersTest, FailuresThatSaidNothingNameTheirCause) {
    RunWithTimeout(120000, "silent failures", [] {
        DrivePassword pwd({L"silent12"});
        TempDir dir(L"E:\\");
        const CString busy = dir.File(L"busy.txt"), archive = dir.File(L"held.txt.kvf");
        PutFile(busy, "busy");
        WriteArchive(archive, "held", "silent12");
        PutFile(dir.File(L"kept.txt"), "KEEP");
        struct Row {
            const char* what;
            int type;
            CString src, dst;
            CString text;
        } rows[] = {
            {"busy source", TASK_COMPRESS, busy, busy, L"Cannot compress " + busy + L" :It is being used"},
            {"busy archive", TASK_DECOMPRESS, archive, dir.File(L"out.txt.kvf"),
             L"Cannot decompress " + archive + L" :It is being used"},
            {"busy archive, target there", TASK_DECOMPRESS, archive, dir.File(L"kept.txt.kvf"),
             L"Cannot decompress " + archive + L" :It is being used"},
            {"archive gone", TASK_DECOMPRESS, dir.File(L"gone.txt.kvf"), dir.File(L"gone.txt.kvf"),
             L"Cannot decompress " + dir.File(L"gone.txt.kvf") + L" :It cannot be found"},
            {"target folder gone", TASK_DECOMPRESS, dir.File(L"free.txt.kvf"), dir.File(L"missing\\free.txt.kvf"),
             L"Cannot decompress " + dir.File(L"missing\\free.txt") + L" :It cannot be found"},
        };
        WriteArchive(dir.File(L"free.txt.kvf"), "free", "silent12");
        // Held as another program holds a file: no sharing at all.
        HANDLE hBusy = CreateFileW(busy, GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0, nullptr);
        HANDLE hHeld = CreateFileW(archive, GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0, nullptr);
        ASSERT_NE(hBusy, INVALID_HANDLE_VALUE);
        ASSERT_NE(hHeld, INVALID_HANDLE_VALUE);
        std::vector<CString> before;
        ListTree(dir.Path(), L"", before);
        for (const Row& row : rows) {
            SCOPED_TRACE(row.what);
            Answers a;
            a.Finish();
            DirectTask t(row.type, TF_DEFAULT);
            int nResult = row.type == TASK_COMPRESS ? t.task.DoCompressFile(row.src, row.dst)
                                                    : t.task.DoDecompressFile(row.src, row.dst);
            EXPECT_EQ(nResult, TASK_ERROR);
            std::vector<DialogInfo> boxes = a.Boxes();
            ASSERT_EQ(boxes.size(), 1u);
            EXPECT_EQ(U8(boxes[0].caption), row.type == TASK_COMPRESS ? "Error Compressing File or Folder"
                                                                      : "Error Decompressing File or Folder");
            EXPECT_TRUE(boxes[0].HasText(row.text)) << U8(boxes[0].AllText());
            std::vector<CString> after;
            ListTree(dir.Path(), L"", after);
            EXPECT_TRUE(after == before);
        }
        EXPECT_EQ(ReadAll(dir.File(L"kept.txt")), "KEEP");

        // In a batch the first failure is the batch's one message, and the
        // batch says it did not succeed.
        Answers a;
        a.Finish();
        BatchRun run = RunBatch({{busy, busy, TASK_COMPRESS}, {dir.File(L"kept.txt"), dir.File(L"kept.txt"), TASK_COMPRESS}});
        EXPECT_EQ(run.nStart, IDCANCEL);
        EXPECT_EQ(run.results, std::vector<int>{TASK_ERROR});
        std::vector<DialogInfo> boxes = a.Boxes();
        ASSERT_EQ(boxes.size(), 1u);
        EXPECT_TRUE(boxes[0].HasText(L"Cannot compress " + busy + L" :It is being used")) << U8(boxes[0].AllText());
        EXPECT_FALSE(Exists(dir.File(L"kept.txt.kvf")));
        CloseHandle(hBusy);
        CloseHandle(hHeld);
        EXPECT_EQ(ReadAll(busy), "busy");
        EXPECT_TRUE(Exists(archive));
    });
}

// Two entries of one folder that a walk would write to one name: the plain
// a and the archive a.kvf both restore to a, a.txt and a.txt.kvf both
// compress to a.txt.kvf, letter case aside, a folder and an archive alike.
// The second used to replace what the task had just written from the first
// (asked about as if it were the user's file, or silently after Yes to
// All). Whatever the answers would have been, nothing is asked: the walk
// fails before anything of that folder is written, with one box naming
// both entries and their target, and the sources stay byte for byte.
TEST(CompressHandlersTest, TwoEntriesOfAFolderNeverWriteOneName) {
    RunWithTimeout(180000, "one name", [] {
        DrivePassword pwd({L"clash123"});
        struct Entry {
            LPCTSTR name;
            const char* archived;  // an archive of this text; null: plain "<name> only copy"
            bool folder = false;
        };
        struct Row {
            const char* what;
            int type;
            std::vector<Entry> entries;
            LPCTSTR sub;                // the entries lie in this sub-folder of the source ("" the source)
            LPCTSTR first, second;      // the two names the box gives (either order)
            LPCTSTR target;             // the target it gives, below the task's target folder
        };
        const Row rows[] = {
            {"plain a and a.kvf", TASK_DECOMPRESS, {{L"a", nullptr}, {L"a.kvf", "ARCHIVED other text"}}, L"", L"a",
             L"a.kvf", L"a"},
            {"letter case", TASK_DECOMPRESS, {{L"A.TXT", nullptr}, {L"a.txt.KVF", "ARCHIVED"}}, L"", L"A.TXT",
             L"a.txt.KVF", L"A.TXT"},
            {"a folder and an archive", TASK_DECOMPRESS, {{L"a", nullptr, true}, {L"a.kvf", "ARCHIVED"}}, L"", L"a",
             L"a.kvf", L"a"},
            {"deeper down", TASK_DECOMPRESS, {{L"b", nullptr}, {L"b.kvf", "ARCHIVED"}}, L"sub", L"b", L"b.kvf",
             L"b"},
            {"a.txt and a.txt.kvf", TASK_COMPRESS, {{L"a.txt", nullptr}, {L"a.txt.kvf", "ARCHIVED"}}, L"", L"a.txt",
             L"a.txt.kvf", L"a.txt.kvf"},
        };
        // Yes, and Yes to All, to a replace question; and no question at all,
        // after a Yes to All in the task before (0).
        const int answers[] = {IDOK, IDYESTOALL, 0};
        for (const Row& row : rows) {
            for (int answer : answers) {
                SCOPED_TRACE(testing::Message() << row.what << ", answer " << answer);
                Answers a;
                a.answerer.Answer(kFileReplace, nullptr, answer ? answer : IDYESTOALL);
                a.answerer.Answer(kFolderReplace, nullptr, IDOK);
                a.Finish();
                TempDir dir(L"E:\\");
                const CString src = dir.File(row.type == TASK_DECOMPRESS ? L"D.kvf" : L"F");
                const CString dst = dir.File(row.type == TASK_DECOMPRESS ? L"D" : L"G");
                MakeDir(src);
                // A plain file beside the pair, so that the walk has more to do.
                PutFile(src + L"\\other.dat", "other");
                CString folder = *row.sub ? src + L"\\" + row.sub : src;
                if (*row.sub) MakeDir(folder);
                for (const Entry& e : row.entries) {
                    if (e.folder) {
                        MakeDir(folder + L"\\" + e.name);
                        PutFile(folder + L"\\" + e.name + L"\\inside.txt", "inside");
                    } else if (e.archived) {
                        WriteArchive(folder + L"\\" + e.name, e.archived, "clash123");
                    } else {
                        PutFile(folder + L"\\" + e.name, U8(CString(e.name)) + " only copy");
                    }
                }
                std::vector<CString> before;
                ListTree(src, L"", before);
                std::vector<std::string> bytesBefore;
                for (const CString& p : before) bytesBefore.push_back(BytesOrFolder(src + p));

                std::vector<TaskSpec> specs;
                if (answer == 0) {
                    // A task whose target is there, answered Yes to All.
                    CString pre = dir.File(L"pre.txt");
                    if (row.type == TASK_DECOMPRESS) {
                        WriteArchive(pre + L".kvf", "pre", "clash123");
                        PutFile(pre, "old");
                        specs.push_back({pre + L".kvf", pre, row.type});
                    } else {
                        PutFile(pre, "pre");
                        PutFile(pre + L".kvf", "old");
                        specs.push_back({pre, pre, row.type});
                    }
                }
                specs.push_back({src, dst, row.type});
                BatchRun run = RunBatch(specs);
                EXPECT_EQ(run.results, answer == 0 ? (std::vector<int>{TASK_OK, TASK_ERROR}) : std::vector<int>{TASK_ERROR});
                EXPECT_EQ(run.nStart, IDCANCEL);
                std::vector<DialogInfo> boxes = a.Boxes();
                if (answer == 0) {
                    ASSERT_FALSE(boxes.empty());
                    EXPECT_TRUE(boxes[0].caption == kFileReplace);
                    boxes.erase(boxes.begin());
                }
                EXPECT_EQ(boxes.size(), 1u);
                if (boxes.size() != 1) continue;
                const DialogInfo& box = boxes[0];
                EXPECT_EQ(U8(box.caption), row.type == TASK_COMPRESS ? "Error Compressing File or Folder"
                                                                     : "Error Decompressing File or Folder");
                CString text = box.AllText();
                CString verb = row.type == TASK_COMPRESS ? L"Cannot compress " : L"Cannot decompress ";
                CString p1 = folder + L"\\" + row.first, p2 = folder + L"\\" + row.second;
                CString target = (*row.sub ? dst + L"\\" + row.sub : dst) + L"\\" + row.target;
                EXPECT_TRUE(text.Find(verb + p1 + L" :It and " + p2) == 0 || text.Find(verb + p2 + L" :It and " + p1) == 0)
                    << U8(text);
                // Either entry's spelling of the one name.
                CString upper = text, upperTarget = L"would both be written to " + target + L".";
                upper.MakeUpper();
                upperTarget.MakeUpper();
                EXPECT_TRUE(upper.Find(upperTarget) > 0) << U8(text);
                EXPECT_TRUE(box.HasText(L"the source folder is kept")) << U8(text);

                // The sources as they were, and nothing of the pair written.
                std::vector<CString> after;
                ListTree(src, L"", after);
                EXPECT_TRUE(after == before);
                for (size_t i = 0; i < before.size() && after == before; ++i)
                    EXPECT_EQ(BytesOrFolder(src + after[i]), bytesBefore[i]) << U8(after[i]);
                if (*row.sub) {
                    EXPECT_FALSE(Exists(dst + L"\\" + row.sub));
                } else {
                    EXPECT_FALSE(Exists(dst));
                }
                EXPECT_EQ(CountTemps(dir.Path()), 0);
            }
        }
    });
}

// A target that is a folder where an archive or a restored file is to go,
// or a file where a target folder is to be made, used to be asked about as
// a file to replace (or a folder to merge into) and then failed on as "in
// use". Now nothing is asked: the one box says what is in the way and
// names it, the task fails, the batch stops, and nothing changes.
TEST(CompressHandlersTest, AFolderOrFileInTheWayIsSaidNotAskedAbout) {
    RunWithTimeout(120000, "in the way", [] {
        DrivePassword pwd({L"inway123"});
        TempDir dir(L"E:\\");
        // Beside the file sources, folders of their targets' names; beside
        // the folder sources, files of theirs.
        PutFile(dir.File(L"w.txt"), "w");
        MakeDir(dir.File(L"w.txt.kvf"));
        PutFile(dir.File(L"w.txt.kvf\\inner.txt"), "in w");
        WriteArchive(dir.File(L"q.txt.kvf"), "q", "inway123");
        MakeDir(dir.File(L"q.txt"));
        PutFile(dir.File(L"q.txt\\inner.txt"), "in q");
        MakeDir(dir.File(L"N"));
        PutFile(dir.File(L"N\\a.txt"), "a");
        PutFile(dir.File(L"N2"), "a file named N2");
        MakeDir(dir.File(L"M.kvf"));
        WriteArchive(dir.File(L"M.kvf\\b.kvf"), "b", "inway123");
        PutFile(dir.File(L"M"), "a file named M");
        PutFile(dir.File(L"later.txt"), "later");
        struct Row {
            const char* what;
            int type;
            CString src, dst;
            CString text;
        } rows[] = {
            {"compress beside a folder", TASK_COMPRESS, dir.File(L"w.txt"), dir.File(L"w.txt"),
             L"Cannot compress " + dir.File(L"w.txt.kvf") + L" :A folder of that name is in the way"},
            {"decompress beside a folder", TASK_DECOMPRESS, dir.File(L"q.txt.kvf"), dir.File(L"q.txt.kvf"),
             L"Cannot decompress " + dir.File(L"q.txt") + L" :A folder of that name is in the way"},
            {"folder compressed onto a file", TASK_COMPRESS, dir.File(L"N"), dir.File(L"N2"),
             L"Cannot compress " + dir.File(L"N2") + L" :A file of that name is in the way"},
            {"folder decompressed onto a file", TASK_DECOMPRESS, dir.File(L"M.kvf"), dir.File(L"M"),
             L"Cannot decompress " + dir.File(L"M") + L" :A file of that name is in the way"},
        };
        std::vector<CString> before;
        ListTree(dir.Path(), L"", before);
        std::vector<std::string> bytesBefore;
        for (const CString& p : before) bytesBefore.push_back(BytesOrFolder(dir.Path() + p));
        for (const Row& row : rows) {
            SCOPED_TRACE(row.what);
            Answers a;
            a.answerer.Answer(kFileReplace, nullptr, IDOK);
            a.answerer.Answer(kFolderReplace, nullptr, IDOK);
            a.Finish();
            BatchRun run = RunBatch({{row.src, row.dst, row.type}, {dir.File(L"later.txt"), dir.File(L"later.txt"), TASK_COMPRESS}});
            EXPECT_EQ(run.results, std::vector<int>{TASK_ERROR});
            EXPECT_EQ(run.nStart, IDCANCEL);
            std::vector<DialogInfo> boxes = a.Boxes();
            EXPECT_EQ(boxes.size(), 1u);
            if (boxes.size() != 1) continue;
            EXPECT_EQ(U8(boxes[0].caption), row.type == TASK_COMPRESS ? "Error Compressing File or Folder"
                                                                      : "Error Decompressing File or Folder");
            EXPECT_TRUE(boxes[0].HasText(row.text)) << U8(boxes[0].AllText());
            std::vector<CString> after;
            ListTree(dir.Path(), L"", after);
            EXPECT_TRUE(after == before);
            for (size_t i = 0; i < before.size() && after == before; ++i)
                EXPECT_EQ(BytesOrFolder(dir.Path() + after[i]), bytesBefore[i]) << U8(after[i]);
        }
    });
}

// A folder walk records what it took along, in the order it finished it:
// each file once its output is in place, each folder after what it held.
// That record alone is what removing the source may take.
TEST(CompressHandlersTest, AFolderWalkRecordsWhatItFinished) {
    RunWithTimeout(60000, "record", [] {
        DrivePassword pwd({L"record12"});
        Answers a;
        a.Finish();
        TempDir dir(L"E:\\");
        CString src = dir.File(L"R.kvf");
        MakeDir(src);
        MakeDir(src + L"\\sub");
        WriteArchive(src + L"\\a.kvf", "a", "record12");
        PutFile(src + L"\\plain.txt", "plain", FILE_ATTRIBUTE_READONLY);
        WriteArchive(src + L"\\sub\\b.kvf", "b", "record12");
        CFileTaskThread batch;
        CFileTask task(src, dir.File(L"R"), TASK_DECOMPRESS, &Recorder::Callback, &batch);
        task.m_finished.push_back(CFileTask::Finished{L"left from before", FALSE, {}, 0});
        EXPECT_EQ(task.Execute(), TASK_OK);
        std::vector<std::string> got;
        for (const CFileTask::Finished& f : task.m_finished) {
            got.push_back((f.bFolder ? "folder " : "file ") + U8(f.strPath.Mid(src.GetLength())));
            if (!f.bFolder) {
                EXPECT_EQ(f.nLength, FoundLength(f.strPath)) << U8(f.strPath);
            }
        }
        // The listing's order within a folder is the system's.
        ASSERT_EQ(got.size(), 5u);
        EXPECT_EQ(got.back(), "folder ");
        auto at = [&](const std::string& s) { return std::find(got.begin(), got.end(), s) - got.begin(); };
        EXPECT_LT(at("file \\sub\\b.kvf"), at("folder \\sub"));
        EXPECT_LT(at("folder \\sub"), 4);
        EXPECT_LT(at("file \\a.kvf"), 4);
        EXPECT_LT(at("file \\plain.txt"), 4);
        SetFileAttributesW(src + L"\\plain.txt", FILE_ATTRIBUTE_NORMAL);
        SetFileAttributesW(dir.File(L"R\\plain.txt"), FILE_ATTRIBUTE_NORMAL);

        // In place nothing is taken anywhere: no file is recorded.
        CFileTask inPlace(dir.File(L"R"), dir.File(L"R"), TASK_COPY, &Recorder::Callback, &batch);
        EXPECT_EQ(inPlace.Execute(), TASK_OK);
        for (const CFileTask::Finished& f : inPlace.m_finished) EXPECT_TRUE(f.bFolder) << U8(f.strPath);
    });
}

// The texts of those failures in the three languages; the clash's text
// takes two paths, and a translation that asked for another would read
// past its arguments.
TEST(CompressHandlersTest, TheInTheWayAndClashTextsInThreeLanguages) {
    const WORD langs[] = {MAKELANGID(LANG_CHINESE, SUBLANG_CHINESE_TRADITIONAL), MAKELANGID(LANG_ENGLISH, SUBLANG_ENGLISH_US),
                          MAKELANGID(LANG_CHINESE, SUBLANG_CHINESE_SIMPLIFIED)};
    for (UINT id : {194u, 195u, 196u}) {
        for (WORD lang : langs) {
            SCOPED_TRACE(testing::Message() << id << " " << lang);
            CString text = LangString(id, lang);
            ASSERT_FALSE(text.IsEmpty());
            EXPECT_EQ(text.Left(2), CString(L" :"));
            int nArgs = 0;
            for (int i = text.Find(L'%'); i >= 0; i = text.Find(L'%', i + 1)) {
                EXPECT_EQ(text.Mid(i, 2), CString(L"%s"));
                ++nArgs;
            }
            EXPECT_EQ(nArgs, id == 194 ? 2 : 0);
        }
    }
}
