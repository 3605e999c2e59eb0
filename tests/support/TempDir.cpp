#include "TempDir.h"
#include <atomic>
#include <cstdio>
#include <random>
#include <stdexcept>
#ifdef _WIN32
#include "fileops/PathFunctions.h"
#include <shellapi.h>
#else
#include <ftw.h>
#include <sys/stat.h>
#include <unistd.h>
#endif

namespace {
std::atomic<unsigned> g_counter{0};
#ifdef _WIN32
const WCHAR kSep = '\\';
bool HoldsLongPath(const CString& path) {
    if (path.GetLength() >= MAX_PATH - 12) return true;
    WIN32_FIND_DATAW fd;
    HANDLE h = FindFirstFileW(path + L"\\*", &fd);
    if (h == INVALID_HANDLE_VALUE) return false;
    bool found = false;
    do {
        CString name(fd.cFileName);
        if (name == L"." || name == L"..") continue;
        CString child = path + L"\\" + name;
        found = (fd.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) && !(fd.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT)
                    ? HoldsLongPath(child)
                    : child.GetLength() >= MAX_PATH - 12;
    } while (!found && FindNextFileW(h, &fd));
    FindClose(h);
    return found;
}
#else
const WCHAR kSep = '/';
int RemoveEntry(const char* path, const struct stat*, int, struct FTW*) { return ::remove(path); }
#endif
}  // namespace

TempDir::TempDir(const CString& base) {
    CString root = base;
    if (root.IsEmpty()) {
#ifdef _WIN32
        wchar_t buf[MAX_PATH];
        DWORD n = GetTempPathW(MAX_PATH, buf);
        root = CString(buf, (int)n);
#else
        const char* t = getenv("TMPDIR");
        root = CString(t && *t ? t : "/tmp");
#endif
    }
    if (!root.IsEmpty() && root[root.GetLength() - 1] != kSep) root += kSep;
    for (int attempt = 0; attempt < 1000; ++attempt) {
        char name[64];
#ifdef _WIN32
        unsigned pid = (unsigned)GetCurrentProcessId();
#else
        unsigned pid = (unsigned)getpid();
#endif
        snprintf(name, sizeof name, "kivtest-%u-%u", pid, g_counter++);
        CString candidate = root + CString(name);
#ifdef _WIN32
        if (CreateDirectoryW(candidate, nullptr)) { m_path = candidate; return; }
#else
        if (::mkdir(candidate.ToUtf8().c_str(), 0755) == 0) { m_path = candidate; return; }
#endif
    }
    throw std::runtime_error("cannot create a temporary folder");
}

TempDir::~TempDir() {
    if (m_path.IsEmpty()) return;
#ifdef _WIN32
    // Given a tree that holds a path of about MAX_PATH characters, Wine's
    // shell deletion removes the contents of the current folder (the tests'
    // build folder) instead: such a tree goes through the program's own
    // deletion, which removes it entry by entry.
    if (HoldsLongPath(m_path)) {
        DeleteFolderTree(m_path);
        return;
    }
    std::wstring from(m_path.GetString());
    from.push_back(0);
    from.push_back(0);
    SHFILEOPSTRUCTW op = {};
    op.wFunc = FO_DELETE;
    op.pFrom = from.c_str();
    op.fFlags = FOF_SILENT | FOF_NOCONFIRMATION | FOF_NOERRORUI;
    SHFileOperationW(&op);
#else
    nftw(m_path.ToUtf8().c_str(), RemoveEntry, 16, FTW_DEPTH | FTW_PHYS);
#endif
}

CString TempDir::File(const CString& name) const { return m_path + kSep + name; }

std::string ReadAll(const CString& path) {
    CFile f(path, CFile::modeRead | CFile::shareDenyNone);
    std::string out((size_t)f.GetLength(), '\0');
    if (!out.empty()) out.resize(f.Read(&out[0], (UINT)out.size()));
    return out;
}

void WriteAll(const CString& path, const std::string& bytes) {
    CFile f(path, CFile::modeCreate | CFile::modeWrite);
    size_t off = 0;
    while (off < bytes.size()) {
        UINT n = (UINT)std::min<size_t>(bytes.size() - off, 1u << 24);
        f.Write(bytes.data() + off, n);
        off += n;
    }
    f.Close();
}

std::string MakeText(size_t n, unsigned seed) {
    static const char* words[] = {"drive ", "archive ", "password ", "folder ", "the ", "of ", "KIV ",
                                  "compress ", "file\n", "list ", "tree ", "copy ", "12345 ", "\r\n"};
    std::mt19937 rng(seed);
    std::string s;
    s.reserve(n + 16);
    while (s.size() < n) s += words[rng() % (sizeof words / sizeof *words)];
    s.resize(n);
    return s;
}

std::string MakeRandom(size_t n, unsigned seed) {
    std::mt19937 rng(seed);
    std::string s(n, '\0');
    for (size_t i = 0; i < n; ++i) s[i] = (char)(rng() & 0xFF);
    return s;
}
