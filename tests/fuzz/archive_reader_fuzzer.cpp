// Fuzz target for the archive reader: any file must end in a finished read
// or in one of the engine's own exceptions, within bounded time and memory.
// Anything else (another exception, a sanitizer report, a read that stalls
// with bytes still owed) is a crash.
#include "archive/UnzipFile.h"
#include "archive/ZipException.h"
#include <cstdio>
#include <cstdlib>
#include <string>
#include <unistd.h>

namespace {
const UINT kPiece = 0x80000;                   // the decompress task's piece
const DWORD kMaxOutput = 64u * 1024 * 1024;    // a claimed size is no reason to run out of memory

CString TempPath() {
    const char* t = getenv("TMPDIR");
    std::string p = std::string(t && *t ? t : "/tmp") + "/kiv-fuzz-" + std::to_string(getpid()) + ".kvf";
    return CString::FromUtf8(p.data(), p.size());
}

void ReadArchive(const CString& path) {
    static BYTE buffer[kPiece];
    CUnzipFile unzip;
    unzip.Open(path);
    UnzipEntryInfo info;
    unzip.GetEntryInfo(&info);
    unzip.OpenEntry();
    DWORD remaining = info.m_dwUncompressedSize < kMaxOutput ? info.m_dwUncompressedSize : kMaxOutput;
    DWORD last = unzip.GetReadOffset();
    while (remaining) {
        UINT piece = remaining > kPiece ? kPiece : remaining;
        UINT n = unzip.ReadEntryData(piece, buffer);
        if (n == 0 || n > piece) abort();  // a stalled or overlong read
        DWORD offset = unzip.GetReadOffset();
        if (offset < last) abort();
        last = offset;
        remaining -= n;
    }
    unzip.GetEntryInfo(nullptr);
    unzip.Close();
}
}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    static const CString path = TempPath();
    {
        CFile f(path, CFile::modeCreate | CFile::modeWrite);
        if (size) f.Write(data, (UINT)size);
        f.Close();
    }
    try {
        ReadArchive(path);
    } catch (CZipException* e) {
        e->Delete();
    } catch (CFileException* e) {
        e->Delete();
    } catch (CMemoryException* e) {
        e->Delete();
    }
    return 0;
}
