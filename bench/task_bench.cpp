// Benchmark of the compress and decompress tasks against the archive engine
// alone. A corpus of files (text that compresses like prose, and random
// bytes) goes through a compress batch and then a decompress batch, modal,
// one task per file, as the file list starts them. The handlers pause on
// purpose (100 ms per piece and before the last progress report, 10 ms per
// task in the worker) to keep the interface and the drive responsive; the
// time spent outside those pauses is compared with the engine writing and
// reading the same files in the same 512 KB pieces (source read and target
// written through CFile on both sides). Aim: at most 1.05.
// Sleeping between pieces itself slows the work that follows (cold caches),
// so the engine is also run pausing the same way, with its pauses left out:
// the handlers' own cost is their time against that run. Each task is also
// compared with that engine run on the same file just before it, on the
// worker; the median of those ratios moves least with the machine's other
// work. What the engine wrote is flushed, untimed, so the handlers' own
// flush never writes it.
//
// Usage: task_bench [--files N] [--mib-per-file M] [--repeats R] [--dir PATH]
//   (default 16 files of 4 MiB, 2 repeats, E:\kivbench; the drive of PATH
//   holds the password file KIV\KIV.pwd for the run)
#include "app/KIVApp.h"
#include "archive/UnzipFile.h"
#include "archive/ZipException.h"
#include "archive/ZipFile.h"
#include "bench/Corpus.h"
#include "fileops/HandlerSupport.h"
#include "fileops/PathFunctions.h"
#include "fileops/TaskThread.h"
#include "framework/Win.h"
#include "password/KivPwd.h"
#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <random>
#include <shellapi.h>
#include <string>
#include <vector>

namespace {

struct BenchApp : CKIVApp {} theApp;

const UINT kPiece = TASK_CHUNK_SIZE;
const char* const kPassword = "bench123";

double Now() {
    static LARGE_INTEGER f = [] {
        LARGE_INTEGER v;
        QueryPerformanceFrequency(&v);
        return v;
    }();
    LARGE_INTEGER t;
    QueryPerformanceCounter(&t);
    return (double)t.QuadPart / (double)f.QuadPart;
}

// Ends a run that hangs (a box nobody answers) instead of waiting forever.
DWORD WINAPI Watchdog(LPVOID p) {
    Sleep((DWORD)(UINT_PTR)p);
    fprintf(stderr, "task_bench: no result after %lu s, giving up\n", (unsigned long)((UINT_PTR)p / 1000));
    fflush(stderr);
    TerminateProcess(GetCurrentProcess(), 3);
    return 0;
}

// File i: even ones text, odd ones random bytes.
void MakeFile(const CString& path, ULONGLONG size, unsigned seed) { WriteCorpusFile(path, size, seed, seed % 2); }

bool SameBytes(const CString& a, const CString& b) {
    CFile fa(a, CFile::modeRead | CFile::shareDenyNone), fb(b, CFile::modeRead | CFile::shareDenyNone);
    if (fa.GetLength() != fb.GetLength()) return false;
    std::unique_ptr<BYTE[]> ba(new BYTE[kPiece]), bb(new BYTE[kPiece]);
    for (;;) {
        UINT na = fa.Read(ba.get(), kPiece), nb = fb.Read(bb.get(), kPiece);
        if (na != nb || memcmp(ba.get(), bb.get(), na) != 0) return false;
        if (na == 0) return true;
    }
}

// The engine's time, its pauses left out; what it wrote is then written out
// to the drive, untimed, so that the drive's cache holds none of it when a
// handler flushes its own file (a journaling file system may write it all
// then, at the handler's cost).
double EngineEnd(double t0, double paused, const CString& strWritten) {
    double took = Now() - t0 - paused;
    FlushToDrive(strWritten);
    return took;
}

// The engine alone, as the handlers drive it; with nPauseMs it also pauses
// after every piece as the handlers do. Returns the time outside pauses.
double EngineWrite(const CString& src, const CString& archive, BYTE* buffer, DWORD nPauseMs) {
    double t0 = Now(), paused = 0;
    CFile source(src, CFile::modeRead | CFile::shareDenyWrite);
    CZipFile zip;
    memset(zip.m_passwordField, 0, sizeof zip.m_passwordField);
    strncpy((char*)zip.m_passwordField, kPassword, 16);
    zip.Open(archive);
    EntryFileInfo info;
    info.SetFromFile(source);
    zip.BeginEntry(L"", info, 9, 8);
    for (;;) {
        UINT n = source.Read(buffer, kPiece);
        if (n == 0) break;
        zip.WriteEntryData(n, buffer);
        if (nPauseMs) {
            double p0 = Now();
            Sleep(nPauseMs);
            paused += Now() - p0;
        }
    }
    source.Close();
    zip.Close();
    return EngineEnd(t0, paused, archive);
}

double EngineRead(const CString& archive, const CString& dst, BYTE* buffer, DWORD nPauseMs) {
    double t0 = Now(), paused = 0;
    CUnzipFile unzip(archive);
    UnzipEntryInfo info;
    unzip.GetEntryInfo(&info);
    unzip.OpenEntry();
    CFile target(dst, CFile::modeCreate | CFile::modeWrite);
    DWORD remaining = info.m_dwUncompressedSize;
    while (remaining) {
        UINT n = unzip.ReadEntryData(std::min<DWORD>(remaining, kPiece), buffer);
        if (n == 0) ThrowZipException(archive, ARC_BAD_ARCHIVE, false);
        target.Write(buffer, n);
        remaining -= n;
        if (nPauseMs) {
            double p0 = Now();
            Sleep(nPauseMs);
            paused += Now() - p0;
        }
    }
    unzip.Close();
    target.Close();
    return EngineEnd(t0, paused, dst);
}

// Time spent inside the tasks' handlers, to tell it from the batch's own
// (dialog, worker, messages, the worker's 10 ms per task).
double g_handlerSeconds = 0;

// Each task is preceded, on the worker and outside its own timing, by the
// engine pausing alike on the same file (into a folder of its own), so both
// meet the same caches and the same moment of a machine that does other
// work too; the median of the files' ratios is the figure least moved by
// that work.
struct PairedRun {
    int type = 0;
    CString strEngineDir;
    BYTE* pBuffer = nullptr;
    std::vector<double> handler, engine;  // per task, pauses left out
    double engineWall = 0;                // the engine runs' whole time, pauses included
    bool engineOk = true;
};
PairedRun* g_pPair = nullptr;

void RunPairedEngine(PairedRun& pair, const CFileTask& task) {
    double t0 = Now();
    CString strName = task.m_strSrc.Mid(task.m_strSrc.ReverseFind(L'\\') + 1);
    try {
        if (pair.type == TASK_COMPRESS) {
            pair.engine.push_back(
                EngineWrite(task.m_strSrc, pair.strEngineDir + L"\\" + strName + L".kvf", pair.pBuffer, 100));
        } else {
            CString strArchive = pair.strEngineDir + L"\\" + strName;
            pair.engine.push_back(EngineRead(strArchive, strArchive.Left(strArchive.GetLength() - 4), pair.pBuffer, 100));
        }
    } catch (CException* e) {
        e->Delete();
        pair.engineOk = false;
        pair.engine.push_back(0);
    }
    pair.engineWall += Now() - t0;
}

int TimedTask(CFileTask& task) {
    if (g_pPair) RunPairedEngine(*g_pPair, task);
    ULONGLONG nPauses = 0;
    double dPausedBefore = 0, dPausedAfter = 0;
    GetTaskPauseTotals(nPauses, dPausedBefore);
    double t0 = Now();
    int nResult = task.Execute();
    double dTook = Now() - t0;
    g_handlerSeconds += dTook;
    GetTaskPauseTotals(nPauses, dPausedAfter);
    if (g_pPair) g_pPair->handler.push_back(dTook - (dPausedAfter - dPausedBefore));
    return nResult;
}

double Median(std::vector<double> v) {
    if (v.empty()) return 0;
    std::sort(v.begin(), v.end());
    size_t n = v.size();
    return n % 2 ? v[n / 2] : (v[n / 2 - 1] + v[n / 2]) / 2;
}

struct BatchTime {
    double wall = 0;       // Start to the worker's end
    double handlers = 0;   // inside the handlers, their pauses included
    double measured = 0;   // what the handlers' pauses really took
    ULONGLONG count = 0;   // handler pauses
    bool ok = false;
};

BatchTime RunBatch(const std::vector<CString>& sources, const std::vector<CString>& targets, int type,
                   PairedRun& pair) {
    BatchTime t;
    pair.type = type;
    g_pPair = &pair;
    CFileTaskThread* pBatch = new CFileTaskThread;
    for (size_t i = 0; i < sources.size(); ++i) pBatch->AddTask(sources[i], targets[i], type);
    ResetTaskPauseTotals();
    g_handlerSeconds = 0;
    CFileTaskThread::s_pfnRunTask = &TimedTask;
    double t0 = Now();
    int nResult = pBatch->Start(TRUE);
    pBatch->WaitForWorker(INFINITE);
    g_pPair = nullptr;
    t.wall = Now() - t0 - pair.engineWall;
    t.handlers = g_handlerSeconds;
    delete pBatch;
    GetTaskPauseTotals(t.count, t.measured);
    t.ok = nResult == IDOK && pair.engineOk;
    return t;
}

// The best of the repeats of one direction.
struct Best {
    double engine = 1e30, paced = 1e30;  // the engine alone, and pausing like the handlers
    double outside = 1e30;               // batch wall minus the specified pauses
    double outsideMeasured = 1e30;       // ... minus the handlers' pauses as measured
    double inside = 1e30;                // inside the handlers, their measured pauses left out
    BatchTime last;
    std::vector<double> fileRatios;           // every file of every repeat: handler / pausing engine
    double pairedSum = 1e30;                  // the best repeat's sum of handler times over engine times
    void TakePairs(const PairedRun& pair) {
        double h = 0, e = 0;
        for (size_t i = 0; i < pair.handler.size() && i < pair.engine.size(); ++i) {
            h += pair.handler[i];
            e += pair.engine[i];
            if (pair.engine[i] > 0) fileRatios.push_back(pair.handler[i] / pair.engine[i]);
        }
        if (e > 0) pairedSum = std::min(pairedSum, h / e);
    }
    void Take(double dEngine, double dPaced, const BatchTime& t, size_t nTasks) {
        engine = std::min(engine, dEngine);
        paced = std::min(paced, dPaced);
        outside = std::min(outside, t.wall - t.count * 0.100 - nTasks * 0.010);
        outsideMeasured = std::min(outsideMeasured, t.wall - t.measured - nTasks * 0.010);
        inside = std::min(inside, t.handlers - t.measured);
        last = t;
    }
    void Print(const char* name, int nRepeats, size_t nTasks) const {
        printf("%s: engine alone %.3f s; engine pausing like the handlers, pauses left out, %.3f s\n", name, engine,
               paced);
        printf("%s batch: wall %.3f s, %llu handler pauses of 100 ms (measured %.3f s) + %u x 10 ms in the worker\n",
               name, last.wall, (unsigned long long)last.count, last.measured, (unsigned)nTasks);
        printf("%s outside the specified pauses (best of %d): %.3f s, RATIO TO THE ENGINE %.3f "
               "(measured pauses left out: %.3f s, %.3f)\n",
               name, nRepeats, outside, outside / engine, outsideMeasured, outsideMeasured / engine);
        printf("%s inside the handlers, measured pauses left out: %.3f s, %.3f to the engine, %.3f to the pausing "
               "engine\n",
               name, inside, inside / engine, inside / paced);
        printf("%s each task against the pausing engine on the same file just before it: MEDIAN OF %u FILES' "
               "RATIOS %.3f, best repeat's sum %.3f\n",
               name, (unsigned)fileRatios.size(), Median(fileRatios), pairedSum);
    }
};

}  // namespace

int main() {
    int argc = 0;
    wchar_t** argv = CommandLineToArgvW(GetCommandLineW(), &argc);
    int nFiles = 16, nMiB = 4, nRepeats = 2;
    CString strDir = L"E:\\kivbench";
    for (int i = 1; i + 1 < argc; i += 2) {
        CString arg = argv[i];
        if (arg == L"--files") nFiles = _wtoi(argv[i + 1]);
        else if (arg == L"--mib-per-file") nMiB = _wtoi(argv[i + 1]);
        else if (arg == L"--repeats") nRepeats = _wtoi(argv[i + 1]);
        else if (arg == L"--dir") strDir = argv[i + 1];
        else {
            fprintf(stderr, "usage: task_bench [--files N] [--mib-per-file M] [--repeats R] [--dir PATH]\n");
            return 2;
        }
    }
    if (nFiles < 1 || nMiB < 1 || nRepeats < 1) return 2;
    CreateThread(nullptr, 0, Watchdog, (LPVOID)(UINT_PTR)(1800 * 1000), 0, nullptr);

    // The drive of the work folder holds the run's password file; one that
    // is there already is kept aside and put back at the end.
    theApp.m_strDrivePath = strDir.Left(2);
    CString strPwdDir = strDir.Left(2) + L"\\KIV", strPwd = strPwdDir + L"\\KIV.pwd";
    CString strPwdKept = strPwd + L".bench-kept";
    CreateDirectoryW(strPwdDir, nullptr);
    // A kept file already there: a killed run's password file stands in
    // its place, and the kept one is the drive's own.
    if (GetFileAttributesW(strPwdKept) != INVALID_FILE_ATTRIBUTES) {
        SetFileAttributesW(strPwd, FILE_ATTRIBUTE_NORMAL);
        DeleteFileW(strPwd);
    }
    BOOL bKept = GetFileAttributesW(strPwd) != INVALID_FILE_ATTRIBUTES && MoveFileW(strPwd, strPwdKept);
    CKivPwd store;
    if (!store.CreatePwdFile(strPwd, CString(kPassword))) {
        fprintf(stderr, "task_bench: cannot write the password file\n");
        return 1;
    }

    DeleteFolderTree(strDir);
    CreateDirectoryW(strDir, nullptr);
    std::vector<CString> corpus;
    ULONGLONG nTotal = 0;
    for (int i = 0; i < nFiles; ++i) {
        CString name;
        name.Format(L"\\file%02d.%ls", i, i % 2 ? L"bin" : L"txt");
        corpus.push_back(strDir + name);
        MakeFile(corpus.back(), (ULONGLONG)nMiB << 20, (unsigned)i);
        nTotal += (ULONGLONG)nMiB << 20;
    }
    printf("corpus: %d files of %d MiB, %.1f MiB (half text, half random bytes)\n", nFiles, nMiB,
           nTotal / 1048576.0);

    std::unique_ptr<BYTE[]> buffer(new BYTE[kPiece]);
    Best compress, decompress;
    bool allOk = true;
    for (int r = 0; r < nRepeats && allOk; ++r) {
        CString engineDir = strDir + L"\\engine", packed = strDir + L"\\packed", restored = strDir + L"\\restored";
        CreateDirectoryW(engineDir, nullptr);
        CreateDirectoryW(packed, nullptr);
        CreateDirectoryW(restored, nullptr);
        double write = 0, read = 0, pacedWrite = 0, pacedRead = 0;
        try {
            for (DWORD nPause : {0u, 100u}) {
                double& w = nPause ? pacedWrite : write;
                double& rd = nPause ? pacedRead : read;
                for (const CString& f : corpus)
                    w += EngineWrite(f, engineDir + L"\\" + f.Mid(strDir.GetLength() + 1) + L".kvf", buffer.get(), nPause);
                for (const CString& f : corpus) {
                    CString name = f.Mid(strDir.GetLength() + 1);
                    rd += EngineRead(engineDir + L"\\" + name + L".kvf", engineDir + L"\\" + name, buffer.get(), nPause);
                }
            }
        } catch (CException* e) {
            e->Delete();
            fprintf(stderr, "task_bench: the engine failed\n");
            allOk = false;
            break;
        }

        std::vector<CString> packTargets, archives, restoreTargets;
        for (const CString& f : corpus) {
            CString name = f.Mid(strDir.GetLength() + 1);
            packTargets.push_back(packed + L"\\" + name);
            archives.push_back(packed + L"\\" + name + L".kvf");
            restoreTargets.push_back(restored + L"\\" + name + L".kvf");
        }
        CString paired = strDir + L"\\paired";
        CreateDirectoryW(paired, nullptr);
        PairedRun pairC, pairD;
        pairC.strEngineDir = pairD.strEngineDir = paired;
        pairC.pBuffer = pairD.pBuffer = buffer.get();
        BatchTime c = RunBatch(corpus, packTargets, TASK_COMPRESS, pairC);
        BatchTime d = RunBatch(archives, restoreTargets, TASK_DECOMPRESS, pairD);
        allOk = c.ok && d.ok;
        for (const CString& f : corpus)
            allOk = allOk && SameBytes(f, restored + L"\\" + f.Mid(strDir.GetLength() + 1));
        if (!allOk) {
            fprintf(stderr, "task_bench: a batch failed or restored different bytes\n");
            break;
        }
        compress.Take(write, pacedWrite, c, corpus.size());
        decompress.Take(read, pacedRead, d, corpus.size());
        compress.TakePairs(pairC);
        decompress.TakePairs(pairD);
        DeleteFolderTree(paired);
        DeleteFolderTree(engineDir);
        DeleteFolderTree(packed);
        DeleteFolderTree(restored);
    }
    if (allOk) {
        compress.Print("compress", nRepeats, corpus.size());
        decompress.Print("decompress", nRepeats, corpus.size());
    }

    DeleteFolderTree(strDir);
    SetFileAttributesW(strPwd, FILE_ATTRIBUTE_NORMAL);
    DeleteFileW(strPwd);
    if (bKept) MoveFileW(strPwdKept, strPwd);
    RemoveDirectoryW(strPwdDir);
    return allOk ? 0 : 1;
}
