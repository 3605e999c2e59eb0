// The copy and delete handlers: the progress routine, a copy onto itself,
// the replace question and a replacement that fails, folder copies, a
// folder or file in the way, and deletions that meet a file held open, a
// cancel or a link off the drive.
#include "tests/win/HandlerTestSupport.h"

using namespace ht;

namespace {

LARGE_INTEGER Big(LONGLONG n) {
    LARGE_INTEGER v;
    v.QuadPart = n;
    return v;
}

DWORD CallRoutine(CopyProgressData& data, LONGLONG nTransferred, DWORD dwReason) {
    return CopyProgressRoutine(Big(1000000), Big(nTransferred), Big(1000000), Big(nTransferred), 1, dwReason,
                               nullptr, nullptr, &data);
}

}  // namespace

TEST(CopyProgressRoutineTest, ReportsIncrementsPausesAndCancels) {
    CFileTaskThread batch;
    CopyProgressData data = {&Recorder::Callback, &batch, 0};
    Recorder::Reset();
    ResetTaskPauseTotals();

    EXPECT_EQ(CallRoutine(data, 0, CALLBACK_STREAM_SWITCH), (DWORD)PROGRESS_CONTINUE);
    EXPECT_EQ(CallRoutine(data, 65536, CALLBACK_CHUNK_FINISHED), (DWORD)PROGRESS_CONTINUE);
    EXPECT_EQ(CallRoutine(data, 100000, CALLBACK_CHUNK_FINISHED), (DWORD)PROGRESS_CONTINUE);
    EXPECT_EQ(Recorder::Bytes(), (std::vector<ULONGLONG>{65536, 34464}));
    ULONGLONG nPauses = 0;
    double dSeconds = 0;
    GetTaskPauseTotals(nPauses, dSeconds);
    EXPECT_EQ(nPauses, 2u);
    EXPECT_GE(dSeconds, 0.19);

    batch.m_bCancel = 1;
    EXPECT_EQ(CallRoutine(data, 200000, CALLBACK_CHUNK_FINISHED), (DWORD)PROGRESS_CANCEL);
    EXPECT_EQ(Recorder::Bytes().size(), 2u);

    // Without a callback the routine still paces and counts.
    CFileTaskThread quiet;
    CopyProgressData silent = {nullptr, &quiet, 0};
    EXPECT_EQ(CallRoutine(silent, 4096, CALLBACK_CHUNK_FINISHED), (DWORD)PROGRESS_CONTINUE);
    EXPECT_EQ(silent.nLast, 4096u);
}

// The pause after a file's last piece flushes the file meanwhile; a
// handler skips its own flush before the move only on a TRUE, so a flush
// that did not write the file must never say it did.
TEST(TaskPauseTest, AFlushDuringThePauseSaysWhetherItWroteTheFile) {
    TempDir dir(L"E:\\");
    CString path = dir.File(L"flushed.bin");
    PutFile(path, "some bytes");
    HANDLE hWrite = CreateFileW(path, GENERIC_WRITE, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr);
    HANDLE hRead = CreateFileW(path, GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING, 0,
                               nullptr);
    ASSERT_NE(hWrite, INVALID_HANDLE_VALUE);
    ASSERT_NE(hRead, INVALID_HANDLE_VALUE);
    DWORD nWritten = 0;
    ASSERT_TRUE(WriteFile(hWrite, "more", 4, &nWritten, nullptr));
    struct {
        const char* what;
        HANDLE h;
        BOOL bExpected;
    } cases[] = {
        {"written file", hWrite, TRUE},
        {"read-only handle", hRead, FALSE},
        {"no handle", nullptr, FALSE},
        {"invalid handle", INVALID_HANDLE_VALUE, FALSE},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        ResetTaskPauseTotals();
        EXPECT_EQ(TaskPauseFlushing(20, c.h), c.bExpected);
        ULONGLONG nPauses = 0;
        double dSeconds = 0;
        GetTaskPauseTotals(nPauses, dSeconds);
        EXPECT_EQ(nPauses, 1u);
    }
    CloseHandle(hRead);
    CloseHandle(hWrite);
}

// A file with a named stream (a downloaded file's zone mark, say): the
// system counts the named stream's bytes in its running total too, but the
// task measured only the file's data, so only those may reach the bar.
TEST(CopyProgressRoutineTest, OnlyTheDataStreamCounts) {
    CFileTaskThread batch;
    CopyProgressData data = {&Recorder::Callback, &batch, 0};
    Recorder::Reset();
    const LONGLONG nData = 100000, nMark = 26;
    auto Chunk = [&](DWORD dwStream, LONGLONG nTotal, LONGLONG nStreamSize, LONGLONG nStreamDone) {
        return CopyProgressRoutine(Big(nData + nMark), Big(nTotal), Big(nStreamSize), Big(nStreamDone), dwStream,
                                   CALLBACK_CHUNK_FINISHED, nullptr, nullptr, &data);
    };
    EXPECT_EQ(Chunk(1, 65536, nData, 65536), (DWORD)PROGRESS_CONTINUE);
    EXPECT_EQ(Chunk(1, nData, nData, nData), (DWORD)PROGRESS_CONTINUE);
    EXPECT_EQ(Chunk(2, nData + nMark, nMark, nMark), (DWORD)PROGRESS_CONTINUE);
    EXPECT_EQ(Recorder::Total(), (ULONGLONG)nData);
    EXPECT_EQ(data.nLast, (ULONGLONG)nData);
    // The cancel flag is still read in every stream.
    batch.m_bCancel = 1;
    EXPECT_EQ(Chunk(2, nData + nMark, nMark, nMark), (DWORD)PROGRESS_CANCEL);
}

TEST(CopyFileTest, OntoItselfKeepsTheFile) {
    RunWithTimeout(60000, "copy onto itself", [] {
        Answers a;
        a.Finish();
        TempDir dir(L"E:\\");
        CString path = dir.File(L"Same File.txt");
        PutFile(path, "precious bytes");
        CString upper = path;
        upper.MakeUpper();
        for (const CString& target : {path, upper}) {
            DirectTask t(TASK_COPY, TF_DEFAULT);
            EXPECT_EQ(t.task.DoCopyFile(path, target), TASK_OK);
            EXPECT_EQ(Recorder::Total(), 14u);
            EXPECT_EQ(FactsOf(path).bytes, "precious bytes");
        }
        EXPECT_EQ(CountTemps(dir.Path()), 0);
        EXPECT_TRUE(a.Boxes().empty());
    });
}

TEST(CopyFileTest, ReplaceQuestionByFlagsAndAnswer) {
    struct Row {
        DWORD flags;
        bool readOnlyTarget;
        int answer;  // 0: no question expected
        int result;
        bool replaced;
    };
    const Row rows[] = {
        {TF_DEFAULT, false, IDOK, TASK_OK, true},
        {TF_DEFAULT, false, IDNO, TASK_SKIPPED, false},
        {TF_DEFAULT, false, IDCANCEL, TASK_CANCELLED, false},
        {TF_DEFAULT, true, IDYESTOALL, TASK_OK, true},
        {TF_ASK_READONLY, false, 0, TASK_OK, true},
        {TF_ASK_READONLY, true, IDNO, TASK_SKIPPED, false},
        {0, true, 0, TASK_OK, true},
    };
    RunWithTimeout(120000, "copy replace questions", [&] {
        for (const Row& row : rows) {
            SCOPED_TRACE(testing::Message() << "flags " << row.flags << " read-only " << row.readOnlyTarget
                                            << " answer " << row.answer);
            Answers a;
            if (row.answer) a.answerer.Answer(kFileReplace, nullptr, row.answer);
            a.Finish();
            TempDir dir(L"E:\\");
            PutFile(dir.File(L"new.txt"), "the new text");
            PutFile(dir.File(L"old.txt"), "old", row.readOnlyTarget ? FILE_ATTRIBUTE_READONLY : 0);
            DirectTask t(TASK_COPY, row.flags);
            EXPECT_EQ(t.task.DoCopyFile(dir.File(L"new.txt"), dir.File(L"old.txt")), row.result);
            EXPECT_EQ(FactsOf(dir.File(L"old.txt")).bytes, row.replaced ? "the new text" : "old");
            EXPECT_EQ(a.Boxes().size(), row.answer ? 1u : 0u);
            if (row.answer == IDYESTOALL) {
                EXPECT_EQ(t.task.m_dwFlags, (DWORD)TF_ASK_FOLDER);
            }
            // The bar advances by the file either way, but not after Cancel.
            EXPECT_EQ(Recorder::Total(), row.result == TASK_CANCELLED ? 0u : 12u);
            EXPECT_EQ(Recorder::Cancels(), row.result == TASK_CANCELLED ? 1 : 0);
            EXPECT_EQ(CountTemps(dir.Path()), 0);
            SetFileAttributesW(dir.File(L"old.txt"), FILE_ATTRIBUTE_NORMAL);
        }
    });
}

// A copy (also an archive that compress or decompress copies as it is) is
// written to a target that fits in 259 characters and refused, naming the
// cause, for a longer one. The fixture uses the long form.
TEST(CopyFileTest, ATargetPastTheLimitIsRefusedNamingTheCause) {
    RunWithTimeout(60000, "copy near the limit", [] {
        TempDir dir(L"E:\\");
        CString source = dir.File(L"s.txt.kvf");
        PutFile(source, "archive bytes");
        CString folder = dir.File(CString(L'c', 200));
        MakeDir(folder);
        for (int nLength : {259, 260}) {
            SCOPED_TRACE(nLength);
            Answers a;
            a.Finish();
            CString target = folder + L"\\" + CString(L't', nLength - folder.GetLength() - 1);
            DirectTask t(TASK_COPY, TF_DEFAULT);
            int nResult = t.task.DoCopyFile(source, target);
            std::vector<DialogInfo> boxes = a.Boxes();
            if (nLength == 259) {
                EXPECT_EQ(nResult, TASK_OK);
                EXPECT_EQ(ReadAll(AfxLongPathForm(target)), "archive bytes");
                EXPECT_TRUE(boxes.empty());
            } else {
                EXPECT_EQ(nResult, TASK_ERROR);
                EXPECT_FALSE(Exists(AfxLongPathForm(target)));
                ASSERT_EQ(boxes.size(), 1u);
                EXPECT_EQ(U8(boxes[0].AllText()),
                          U8(L"Cannot copy " + target +
                             L" :The path is too long; a full path must be shorter than 260 characters."));
            }
        }
        EXPECT_EQ(CountTemps(dir.Path()), 0);
    });
}

TEST(CopyFileTest, FailedReplacementKeepsTheOldTarget) {
    RunWithTimeout(60000, "failed copy", [] {
        Answers a;
        a.Finish();
        TempDir dir(L"E:\\");
        CString src = dir.File(L"locked.txt"), dst = dir.File(L"target.txt");
        PutFile(src, "new");
        PutFile(dst, "old target", FILE_ATTRIBUTE_READONLY);
        HANDLE hLock = CreateFileW(src, GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0, nullptr);
        ASSERT_NE(hLock, INVALID_HANDLE_VALUE);
        DirectTask t(TASK_COPY, 0);
        EXPECT_EQ(t.task.DoCopyFile(src, dst), TASK_ERROR);
        CloseHandle(hLock);

        Facts f = FactsOf(dst);
        EXPECT_EQ(f.bytes, "old target");
        EXPECT_EQ(f.attrs, (DWORD)FILE_ATTRIBUTE_READONLY);
        EXPECT_EQ(CountTemps(dir.Path()), 0);
        std::vector<DialogInfo> boxes = a.Boxes();
        ASSERT_EQ(boxes.size(), 1u);
        EXPECT_EQ(U8(boxes[0].caption), "Error Moving File or Folder");
        EXPECT_TRUE(boxes[0].HasText(L"Cannot copy ")) << U8(boxes[0].AllText());
        EXPECT_TRUE(boxes[0].HasText(L"It is being used by another person")) << U8(boxes[0].AllText());
        SetFileAttributesW(dst, FILE_ATTRIBUTE_NORMAL);
    });
}

TEST(CopyDirTest, CopiesATreeAndSkipsAMergeAnsweredNo) {
    RunWithTimeout(60000, "folder copy", [] {
        Answers a;
        a.answerer.Answer(kFolderReplace, nullptr, IDNO, 1);
        a.Finish();
        TempDir dir(L"E:\\");
        CString src = dir.File(L"src");
        MakeDir(src);
        MakeDir(src + L"\\sub");
        PutFile(src + L"\\a.txt", "alpha");
        PutFile(src + L"\\sub\\b b.txt", std::string(3000, 'b'), FILE_ATTRIBUTE_HIDDEN);
        PutFile(src + L"\\sub\\\u4e2d\u6587.txt", "", FILE_ATTRIBUTE_READONLY);

        // A copy into its own subfolder copies what was there before.
        DirectTask t(TASK_COPY, TF_DEFAULT | TF_MULTIPLE);
        CString inside = src + L"\\sub\\copy";
        t.task.m_strSrc = src;
        t.task.m_strDst = inside;
        EXPECT_EQ(t.task.DoCopyDir(src, inside), TASK_OK);
        std::vector<CString> before, after;
        ListTree(src, L"", before);
        ListTree(inside, L"", after);
        EXPECT_EQ(after.size(), 4u);  // a.txt, sub, sub\b b.txt, sub\中文.txt
        for (LPCTSTR rel : {L"\\a.txt", L"\\sub\\b b.txt", L"\\sub\\\u4e2d\u6587.txt"}) {
            Facts f0 = FactsOf(src + rel), f1 = FactsOf(inside + rel);
            EXPECT_TRUE(f1.found) << U8(CString(rel));
            EXPECT_EQ(f1.bytes, f0.bytes);
            EXPECT_EQ(f1.attrs, f0.attrs);
            EXPECT_EQ(f1.mtime, f0.mtime);
        }
        EXPECT_EQ(Recorder::Total(), 3005u);

        // The target exists now: No skips it all, reporting the whole tree.
        DirectTask again(TASK_COPY, TF_DEFAULT | TF_MULTIPLE);
        CString copy2 = dir.File(L"src2");
        MakeDir(copy2);
        EXPECT_EQ(again.task.DoCopyDir(inside, copy2), TASK_SKIPPED);
        EXPECT_EQ(Recorder::Total(), 3005u);
        std::vector<CString> none;
        ListTree(copy2, L"", none);
        EXPECT_TRUE(none.empty());
        SetFileAttributesW(src + L"\\sub\\\u4e2d\u6587.txt", FILE_ATTRIBUTE_NORMAL);
        SetFileAttributesW(inside + L"\\sub\\\u4e2d\u6587.txt", FILE_ATTRIBUTE_NORMAL);
    });
}

TEST(DeleteTest, FolderWithAFileHeldOpenFails) {
    RunWithTimeout(60000, "delete held open", [] {
        Answers a;
        a.Finish();
        TempDir dir(L"E:\\");
        CString root = dir.File(L"doomed");
        MakeDir(root);
        MakeDir(root + L"\\sub");
        PutFile(root + L"\\ro.txt", "r", FILE_ATTRIBUTE_READONLY);
        PutFile(root + L"\\hidden.txt", "hh", FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM);
        PutFile(root + L"\\sub\\b.txt", "bbb");
        PutFile(root + L"\\held.txt", "held");
        HANDLE hHeld = CreateFileW(root + L"\\held.txt", GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0, nullptr);
        ASSERT_NE(hHeld, INVALID_HANDLE_VALUE);

        DirectTask t(TASK_DELETE, TF_DEFAULT);
        EXPECT_EQ(t.task.DoDeleteDir(root, CString()), TASK_ERROR);
        std::vector<CString> left;
        ListTree(root, L"", left);
        ASSERT_EQ(left.size(), 1u);
        EXPECT_EQ(U8(left[0]), "\\held.txt");
        EXPECT_EQ(Recorder::Total(), 6u);

        std::vector<DialogInfo> boxes = a.Boxes();
        ASSERT_EQ(boxes.size(), 2u);
        for (const DialogInfo& box : boxes) {
            EXPECT_EQ(U8(box.caption), "Error Deleting File or Folder");
            EXPECT_TRUE(box.HasText(L"It is being used by another person")) << U8(box.AllText());
        }
        EXPECT_TRUE(boxes[0].HasText(root + L"\\held.txt")) << U8(boxes[0].AllText());
        EXPECT_TRUE(boxes[1].HasText(L"Cannot delete " + root + L" :")) << U8(boxes[1].AllText());

        CloseHandle(hHeld);
        DirectTask again(TASK_DELETE, TF_DEFAULT);
        EXPECT_EQ(again.task.DoDeleteDir(root, CString()), TASK_OK);
        EXPECT_FALSE(Exists(root));
    });
}

TEST(DeleteTest, CancelStopsAtTheNextFile) {
    RunWithTimeout(60000, "delete cancel", [] {
        Answers a;
        a.Finish();
        TempDir dir(L"E:\\");
        CString root = dir.File(L"kept");
        MakeDir(root);
        PutFile(root + L"\\a.txt", "a");
        PutFile(root + L"\\b.txt", "b");
        DirectTask t(TASK_DELETE, TF_DEFAULT);
        t.batch.m_bCancel = 1;
        EXPECT_EQ(t.task.DoDeleteDir(root, CString()), TASK_CANCELLED);
        EXPECT_EQ(t.task.DoDeleteFile(root + L"\\a.txt", CString()), TASK_CANCELLED);
        EXPECT_TRUE(Exists(root + L"\\a.txt"));
        EXPECT_TRUE(Exists(root + L"\\b.txt"));
        EXPECT_TRUE(a.Boxes().empty());
    });
}

TEST(CopyDirTest, LeavesLinksOutAndFailsOnWhatItCannotReadOrMake) {
    RunWithTimeout(120000, "copy walk", [] {
        CheckWalkOverLinksAndFailures(TASK_COPY, "Error Moving File or Folder", L"Cannot copy ");
    });
}

TEST(DeleteTest, ALinkGoesItselfAndNothingItPointsTo) {
    RunWithTimeout(120000, "delete links", [] {
        Answers a;
        a.Finish();
        struct Row {
            const char* what;
            bool targetHoldsAFile;  // an empty target is what a folder removal takes away
            bool linkIsTheSource;
        };
        const Row rows[] = {
            {"link inside, target with a file", true, false},
            {"link inside, empty target", false, false},
            {"link as the source", true, true},
            {"link as the source, empty target", false, true},
        };
        for (const Row& row : rows) {
            SCOPED_TRACE(row.what);
            a.answerer.ClearSeen();
            TempDir outside;  // off the drive
            if (row.targetHoldsAFile) PutFile(outside.File(L"keep.txt"), "kept");
            TempDir dir(L"E:\\");
            CString victim = dir.File(L"victim");
            MakeDir(victim);
            PutFile(victim + L"\\own.txt", "own");
            CString linkPath = row.linkIsTheSource ? dir.File(L"link") : victim + L"\\link";
            FolderLink link(outside.Path(), linkPath);
            ASSERT_TRUE(link.Made());
            CString src = row.linkIsTheSource ? linkPath : victim;

            CFileTaskThread batch;
            CFileTask task(src, CString(), TASK_DELETE, &Recorder::Callback, &batch);
            EXPECT_EQ(task.m_nSize, row.linkIsTheSource ? 0u : 3u);
            int nResult = task.Execute();

            EXPECT_TRUE(Exists(outside.Path()));
            if (row.targetHoldsAFile) {
                ASSERT_TRUE(Exists(outside.File(L"keep.txt")));
                EXPECT_EQ(ReadAll(outside.File(L"keep.txt")), "kept");
            }
            if (!row.linkIsTheSource) {
                EXPECT_FALSE(Exists(victim + L"\\own.txt"));
            }
            if (Exists(linkPath)) {
                // Wine opens only what a link points to, never the link
                // itself: the link cannot go, and says so.
                EXPECT_EQ(nResult, TASK_ERROR);
                std::vector<DialogInfo> boxes = a.Boxes();
                ASSERT_GE(boxes.size(), 1u);
                EXPECT_EQ(U8(boxes[0].caption), "Error Deleting File or Folder");
                EXPECT_TRUE(boxes[0].HasText(L"Cannot delete " + linkPath + L" :")) << U8(boxes[0].AllText());
            } else {
                EXPECT_EQ(nResult, TASK_OK);
                EXPECT_FALSE(Exists(src));
            }
        }
    });
}

// A copy whose target is a folder (or a folder copy whose target is a
// file) used to ask about replacing it and then fail oddly. Nothing is
// asked: one box says what is in the way and names it, the batch stops,
// and nothing changes.
TEST(CopyFileTest, AFolderOrFileInTheWayIsSaidNotAskedAbout) {
    RunWithTimeout(60000, "copy in the way", [] {
        TempDir dir(L"E:\\");
        PutFile(dir.File(L"c.txt"), "c");
        MakeDir(dir.File(L"out"));
        MakeDir(dir.File(L"out\\c.txt"));
        PutFile(dir.File(L"out\\c.txt\\inner.txt"), "inner");
        MakeDir(dir.File(L"tree"));
        PutFile(dir.File(L"tree\\t.txt"), "t");
        PutFile(dir.File(L"out\\tree"), "a file named tree");
        PutFile(dir.File(L"later.txt"), "later");
        struct Row {
            const char* what;
            CString src, dst, text;
        } rows[] = {
            {"file onto a folder", dir.File(L"c.txt"), dir.File(L"out\\c.txt"),
             L"Cannot copy " + dir.File(L"out\\c.txt") + L" :A folder of that name is in the way"},
            {"folder onto a file", dir.File(L"tree"), dir.File(L"out\\tree"),
             L"Cannot copy " + dir.File(L"out\\tree") + L" :A file of that name is in the way"},
        };
        std::vector<CString> before;
        ListTree(dir.Path(), L"", before);
        for (const Row& row : rows) {
            SCOPED_TRACE(row.what);
            Answers a;
            a.answerer.Answer(kFileReplace, nullptr, IDOK);
            a.answerer.Answer(kFolderReplace, nullptr, IDOK);
            a.Finish();
            BatchRun run = RunBatch({{row.src, row.dst, TASK_COPY}, {dir.File(L"later.txt"), dir.File(L"out\\later.txt"), TASK_COPY}});
            EXPECT_EQ(run.results, std::vector<int>{TASK_ERROR});
            EXPECT_EQ(run.nStart, IDCANCEL);
            std::vector<DialogInfo> boxes = a.Boxes();
            EXPECT_EQ(boxes.size(), 1u);
            if (boxes.size() != 1) continue;
            EXPECT_EQ(U8(boxes[0].caption), U8(CopyCaption()));
            EXPECT_TRUE(boxes[0].HasText(row.text)) << U8(boxes[0].AllText());
            std::vector<CString> after;
            ListTree(dir.Path(), L"", after);
            EXPECT_TRUE(after == before);
        }
        EXPECT_EQ(ReadAll(dir.File(L"out\\c.txt\\inner.txt")), "inner");
        EXPECT_EQ(ReadAll(dir.File(L"out\\tree")), "a file named tree");
    });
}
