// Writes the reader fuzzer's seed corpus: archives from the writer, of the
// shapes the system produces and a few it does not.
// Usage: archive_make_seeds FOLDER
#include "archive/ZipFile.h"
#include <cstdio>
#include <cstring>
#include <random>
#include <vector>
#include <string>

namespace {
std::string Text(size_t n) {
    static const char* words[] = {"drive ", "archive ", "KIV ", "password\n", "folder ", "12345 "};
    std::mt19937 rng(5);
    std::string s;
    while (s.size() < n) s += words[rng() % 6];
    s.resize(n);
    return s;
}

std::string Random(size_t n) {
    std::mt19937 rng(9);
    std::string s(n, '\0');
    for (char& c : s) c = (char)(rng() & 0xFF);
    return s;
}

struct Entry {
    const char* name;
    std::string data;
    int level;
};

void Write(const std::string& folder, const char* file, const std::vector<Entry>& entries) {
    std::string path = folder + "/" + file;
    CZipFile zip;
    memcpy(zip.m_passwordField, "seed12", 6);
    zip.Open(CString::FromUtf8(path.data(), path.size()));
    for (const Entry& e : entries) {
        EntryFileInfo info;
        info.m_time = CTime(2022, 3, 4, 5, 6, 8);
        info.m_dwExternalAttr = 0x20;
        CString name = CString::FromUtf8(e.name, strlen(e.name));
        zip.BeginEntry(name, info, e.level, 8);
        if (!e.data.empty()) zip.WriteEntryData((UINT)e.data.size(), e.data.data());
    }
    zip.Close();
}
}  // namespace

int main(int argc, char** argv) {
    if (argc != 2) {
        fprintf(stderr, "usage: %s FOLDER\n", argv[0]);
        return 2;
    }
    const std::string folder = argv[1];
    try {
        Write(folder, "empty-entry.kvf", {{"", "", 9}});
        Write(folder, "one-byte.kvf", {{"", "x", 9}});
        Write(folder, "text.kvf", {{"", Text(3000), 9}});
        Write(folder, "long-text.kvf", {{"", Text(200000), 9}});
        Write(folder, "random.kvf", {{"", Random(5000), 9}});
        Write(folder, "level1-named.kvf", {{"notes.txt", Text(20000), 1}});
        Write(folder, "two-entries.kvf", {{"a", Text(100), 9}, {"b", Random(100), 2}});
        Write(folder, "no-entry.kvf", {});
    } catch (CException* e) {
        e->Delete();
        fprintf(stderr, "cannot write the seeds in %s\n", folder.c_str());
        return 1;
    }
    return 0;
}
