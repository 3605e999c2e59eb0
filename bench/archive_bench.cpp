// Benchmark of the archive engine against bare zlib with the same settings
// (raw deflate level 9, window bits -15, memory level 8; 512 KB input pieces
// and a 16 KB output buffer when writing, 16 KB input pieces and 512 KB of
// output when reading). Both sides compute the CRC-32 the format needs and
// write their output to a file. Prints the time ratios engine / zlib, the
// engine's own heap peak and the process's peak memory for each corpus size;
// run one size per process to compare the process peaks of two sizes.
//
// Usage: archive_bench [MIB...] [--repeats N]   (default 8 64; N pairs of runs, default 1)
#define PSAPI_VERSION 2
#include "archive/UnzipFile.h"
#include "archive/ZipException.h"
#include "archive/ZipFile.h"
#include "bench/Corpus.h"
#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <new>
#include <random>
#include <string>
#include <vector>
#include <zlib.h>
#ifdef _WIN32
#include <psapi.h>
#else
#include <sys/resource.h>
#include <unistd.h>
#endif

// ---- heap accounting: every operator new of the process, so the engine's
// own allocations (its buffers, zlib's state through ZipAlloc, list nodes)
// show up as the peak of one phase.
namespace {
std::atomic<long long> g_heapNow{0};
std::atomic<long long> g_heapPeak{0};
const size_t kHeader = 16;  // keeps the block's size, and its alignment

void* CountedAlloc(size_t n) {
    void* raw = malloc(n + kHeader);
    if (!raw) return nullptr;
    *static_cast<size_t*>(raw) = n;
    long long now = g_heapNow += (long long)n;
    long long peak = g_heapPeak.load();
    while (now > peak && !g_heapPeak.compare_exchange_weak(peak, now)) {}
    return static_cast<char*>(raw) + kHeader;
}
void CountedFree(void* p) {
    if (!p) return;
    char* raw = static_cast<char*>(p) - kHeader;
    g_heapNow -= (long long)*reinterpret_cast<size_t*>(raw);
    free(raw);
}
}  // namespace

void* operator new(size_t n) {
    void* p = CountedAlloc(n);
    if (!p) throw std::bad_alloc();
    return p;
}
void* operator new[](size_t n) { return operator new(n); }
void* operator new(size_t n, const std::nothrow_t&) noexcept { return CountedAlloc(n); }
void* operator new[](size_t n, const std::nothrow_t&) noexcept { return CountedAlloc(n); }
void operator delete(void* p) noexcept { CountedFree(p); }
void operator delete[](void* p) noexcept { CountedFree(p); }
void operator delete(void* p, size_t) noexcept { CountedFree(p); }
void operator delete[](void* p, size_t) noexcept { CountedFree(p); }
void operator delete(void* p, const std::nothrow_t&) noexcept { CountedFree(p); }
void operator delete[](void* p, const std::nothrow_t&) noexcept { CountedFree(p); }

namespace {
const UINT kPiece = 0x80000;  // the tasks' piece
const UINT kOutBuffer = 16384;
const UINT kInBuffer = 16384;

double ProcessPeakMiB() {
#ifdef _WIN32
    PROCESS_MEMORY_COUNTERS pmc = {};
    pmc.cb = sizeof pmc;
    if (!GetProcessMemoryInfo(GetCurrentProcess(), &pmc, sizeof pmc)) return -1;
    return pmc.PeakWorkingSetSize / 1048576.0;
#else
    struct rusage ru;
    getrusage(RUSAGE_SELF, &ru);
    return ru.ru_maxrss / 1024.0;  // kilobytes on Linux
#endif
}

CString TempFolder() {
#ifdef _WIN32
    wchar_t buf[MAX_PATH];
    DWORD n = GetTempPathW(MAX_PATH, buf);
    return CString(buf, (int)n);
#else
    const char* t = getenv("TMPDIR");
    std::string s = std::string(t && *t ? t : "/tmp") + "/";
    return CString::FromUtf8(s.data(), s.size());
#endif
}

// The corpus: 3 MiB of text, then 1 MiB of random bytes, and so on.
void MakeCorpus(const CString& path, ULONGLONG size) { WriteCorpusFile(path, size, 1, 4); }

void RemoveQuietly(const CString& path) {
    try {
        CFile::Remove(path);
    } catch (CException* e) {
        e->Delete();
    }
}

struct Phase {
    double seconds = 0;
    long long heapPeak = 0;  // bytes allocated at most during the phase, beyond what was there before
};

template <class F>
Phase Measure(F f) {
    long long base = g_heapNow.load();
    g_heapPeak = base;
    auto t0 = std::chrono::steady_clock::now();
    f();
    Phase p;
    p.seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count();
    p.heapPeak = g_heapPeak.load() - base;
    return p;
}

// The compress task's loop over the engine.
void EngineWrite(const CString& source, const CString& archive, BYTE* buf) {
    CFile src(source, CFile::modeRead | CFile::shareDenyWrite);
    CZipFile zip;
    memcpy(zip.m_passwordField, "bench123", 8);
    zip.Open(archive);
    EntryFileInfo info;
    info.SetFromFile(src);
    zip.BeginEntry(_T(""), info, 9, 8);
    for (UINT n; (n = src.Read(buf, kPiece)) > 0;) zip.WriteEntryData(n, buf);
    src.Close();
    zip.Close();
}

// The decompress task's loop over the engine.
DWORD EngineRead(const CString& archive, const CString& target, BYTE* buf) {
    CFile out(target, CFile::modeCreate | CFile::modeWrite);
    CUnzipFile unzip;
    unzip.Open(archive);
    UnzipEntryInfo info;
    unzip.GetEntryInfo(&info);
    unzip.OpenEntry();
    for (DWORD remaining = info.m_dwUncompressedSize; remaining;) {
        UINT n = unzip.ReadEntryData(remaining > kPiece ? kPiece : remaining, buf);
        if (!n) throw "short entry";
        out.Write(buf, n);
        remaining -= n;
    }
    unzip.Close();
    out.Close();
    return info.m_dwCrc;
}

// Bare zlib doing the same job: CRC, deflate into 16 KB, write.
DWORD ZlibWrite(const CString& source, const CString& target, BYTE* buf, bool withCrc = true) {
    CFile src(source, CFile::modeRead | CFile::shareDenyWrite);
    CFile out(target, CFile::modeCreate | CFile::modeWrite);
    BYTE outBuf[kOutBuffer];
    z_stream s = {};
    if (deflateInit2(&s, 9, Z_DEFLATED, -15, 8, Z_DEFAULT_STRATEGY) != Z_OK) throw "deflateInit2";
    uLong crc = 0;
    s.next_out = outBuf;
    s.avail_out = kOutBuffer;
    for (UINT n; (n = src.Read(buf, kPiece)) > 0;) {
        if (withCrc) crc = crc32(crc, buf, n);
        s.next_in = buf;
        s.avail_in = n;
        while (s.avail_in) {
            if (!s.avail_out) {
                out.Write(outBuf, kOutBuffer);
                s.next_out = outBuf;
                s.avail_out = kOutBuffer;
            }
            deflate(&s, Z_NO_FLUSH);
        }
    }
    int err;
    do {
        if (!s.avail_out) {
            out.Write(outBuf, kOutBuffer);
            s.next_out = outBuf;
            s.avail_out = kOutBuffer;
        }
        err = deflate(&s, Z_FINISH);
    } while (err == Z_OK);
    out.Write(outBuf, kOutBuffer - s.avail_out);
    deflateEnd(&s);
    src.Close();
    out.Close();
    return (DWORD)crc;
}

// Bare zlib reading the same compressed bytes (found through the engine's
// entry record beforehand): 16 KB pieces in, 512 KB out, CRC, write.
DWORD ZlibRead(const CString& archive, ULONGLONG dataPos, DWORD compressed, const CString& target, BYTE* buf,
               bool withCrc) {
    CFile in(archive, CFile::modeRead | CFile::shareDenyWrite);
    CFile out(target, CFile::modeCreate | CFile::modeWrite);
    in.Seek((LONGLONG)dataPos, CFile::begin);
    BYTE inBuf[kInBuffer];
    z_stream s = {};
    if (inflateInit2(&s, -15) != Z_OK) throw "inflateInit2";
    uLong crc = 0;
    DWORD left = compressed;
    int err = Z_OK;
    while (err != Z_STREAM_END) {
        s.next_out = buf;
        s.avail_out = kPiece;
        while (s.avail_out && err != Z_STREAM_END) {
            if (!s.avail_in && left) {
                UINT n = in.Read(inBuf, left < kInBuffer ? left : kInBuffer);
                left -= n;
                s.next_in = inBuf;
                s.avail_in = n;
            }
            BYTE* before = s.next_out;
            err = inflate(&s, Z_SYNC_FLUSH);
            if (withCrc) crc = crc32(crc, before, (uInt)(s.next_out - before));
            if (err != Z_OK && err != Z_STREAM_END) throw "inflate";
        }
        out.Write(buf, kPiece - s.avail_out);
    }
    inflateEnd(&s);
    in.Close();
    out.Close();
    return (DWORD)crc;
}

struct Result {
    Phase engineWrite, zlibWrite, engineRead, zlibRead, zlibReadNoCrc;
    DWORD compressed = 0;
};

// The fastest of the runs; heap peaks are the same in every run.
void Keep(Phase& best, const Phase& p) {
    if (best.seconds == 0 || p.seconds < best.seconds) best.seconds = p.seconds;
    best.heapPeak = std::max(best.heapPeak, p.heapPeak);
}

Result Run(ULONGLONG size, int repeats) {
    const CString dir = TempFolder();
    const CString source = dir + _T("kivbench-source.bin"), archive = dir + _T("kivbench-source.kvf"),
                  out = dir + _T("kivbench-out.bin");
    MakeCorpus(source, size);
    BYTE* buf = new BYTE[kPiece];
    Result r;
    DWORD crcZ = 0, crcE = 0;
    ULONGLONG dataPos = 0;
    // Every phase writes a file that does not exist yet, so no phase pays
    // for dropping another one's pages; engine and zlib take turns at going
    // first, since the first of two equal runs tends to be the slower.
    for (int i = 0; i < repeats * 2; ++i) {
        auto engineWrite = [&] {
            RemoveQuietly(archive);
            Keep(r.engineWrite, Measure([&] { EngineWrite(source, archive, buf); }));
        };
        auto zlibWrite = [&] {
            RemoveQuietly(out);
            Keep(r.zlibWrite, Measure([&] { crcZ = ZlibWrite(source, out, buf, true); }));
        };
        if (i % 2) {
            zlibWrite();
            engineWrite();
        } else {
            engineWrite();
            zlibWrite();
        }
        if (i == 0) {
            CUnzipFile u(archive);
            r.compressed = u.m_state.m_entryInfo.m_dwCompressedSize;
            u.OpenEntry();
            dataPos = u.GetReadOffset();
            u.Close();
        }
        auto engineRead = [&] {
            RemoveQuietly(out);
            Keep(r.engineRead, Measure([&] { crcE = EngineRead(archive, out, buf); }));
        };
        auto zlibRead = [&] {
            RemoveQuietly(out);
            Keep(r.zlibRead, Measure([&] { ZlibRead(archive, dataPos, r.compressed, out, buf, true); }));
        };
        if (i % 2) {
            zlibRead();
            engineRead();
        } else {
            engineRead();
            zlibRead();
        }
        RemoveQuietly(out);
        Keep(r.zlibReadNoCrc, Measure([&] { ZlibRead(archive, dataPos, r.compressed, out, buf, false); }));
    }
    if (crcE != crcZ) fprintf(stderr, "CRC differs: engine %08x, zlib %08x\n", (unsigned)crcE, (unsigned)crcZ);
    delete[] buf;
    for (const CString& p : {source, archive, out}) RemoveQuietly(p);
    return r;
}

void Print(ULONGLONG size, const Result& r) {
    printf("corpus %.0f MiB (3/4 text, 1/4 random), compressed to %.1f MiB\n", size / 1048576.0,
           r.compressed / 1048576.0);
    printf("  write: engine %.3f s, zlib %.3f s: ratio %.3f\n", r.engineWrite.seconds, r.zlibWrite.seconds,
           r.engineWrite.seconds / r.zlibWrite.seconds);
    printf("  read:  engine %.3f s, zlib %.3f s: ratio %.3f (zlib without its CRC %.3f s: %.3f)\n",
           r.engineRead.seconds, r.zlibRead.seconds, r.engineRead.seconds / r.zlibRead.seconds,
           r.zlibReadNoCrc.seconds, r.engineRead.seconds / r.zlibReadNoCrc.seconds);
    printf("  engine heap peak: write %.1f KiB, read %.1f KiB (beyond the caller's 512 KiB piece buffer)\n",
           r.engineWrite.heapPeak / 1024.0, r.engineRead.heapPeak / 1024.0);
    printf("  process peak memory so far: %.1f MiB\n", ProcessPeakMiB());
}
}  // namespace

int main(int argc, char** argv) {
    std::vector<ULONGLONG> sizes;
    int repeats = 1;
    for (int i = 1; i < argc; ++i) {
        if (!strcmp(argv[i], "--repeats") && i + 1 < argc)
            repeats = atoi(argv[++i]);
        else
            sizes.push_back(strtoull(argv[i], nullptr, 10));
    }
    if (sizes.empty()) sizes = {8, 64};
    for (ULONGLONG mib : sizes) {
        if (!mib || mib >= 4096 || repeats < 1) {
            fprintf(stderr, "usage: archive_bench [MIB...] [--repeats N]   (sizes below 4096)\n");
            return 2;
        }
    }
    try {
        for (ULONGLONG mib : sizes) Print(mib << 20, Run(mib << 20, repeats));
    } catch (CException* e) {
        e->Delete();
        fprintf(stderr, "archive_bench: an engine or file operation failed\n");
        return 1;
    } catch (const char* what) {
        fprintf(stderr, "archive_bench: %s failed\n", what);
        return 1;
    }
    return 0;
}
