// Helpers shared by the archive engine's tests: writing and reading archives
// the way the compress and decompress tasks do, catching the engine's
// exceptions as values, and editing an archive's bytes independently of the
// engine (only its keystream table is shared).
#pragma once
#include "archive/ScrambleKeystream.h"
#include "archive/UnzipFile.h"
#include "archive/ZipException.h"
#include "archive/ZipFile.h"
#include "tests/support/TempDir.h"
#include <functional>
#include <string>

const UINT kTaskChunk = 0x80000;  // the tasks' piece size

// What an engine call threw: nothing (cause 0), a CZipException (its cause
// and file name), or another framework exception (cause -1, kind named).
struct Thrown {
    int cause = 0;
    CString fileName;
    bool zipFile = false;
    std::string kind;  // "", "zip", "file", "memory", "other"
};
Thrown Catch(const std::function<void()>& f);

// Compresses a source file as the compress task does: the password in the
// check field, the entry described from the open source, level 9, 512 KB pieces.
void CompressFile(const CString& source, const CString& archive, const std::string& password);
// Writes bytes straight into an archive with the given entry description.
void WriteArchive(const CString& archive, const std::string& data, const std::string& password,
                  const EntryFileInfo& info);

struct ReadResult {
    std::string data;
    UnzipEntryInfo info;
    std::string password;   // the check field up to its first zero
    DWORD finalReadOffset = 0;
};
// Reads the entry back in 512 KB pieces; a read that produces nothing before
// the recorded size is reached fails the test instead of looping.
ReadResult ReadArchive(const CString& archive);

// An archive's bytes as a string, with the positions of its records found
// the way the writer lays them out (one entry, nothing before or after).
struct ArchiveBytes {
    std::string b;
    size_t CentralPos() const;  // central prefix: the end record's directory offset
    size_t EndPos() const { return b.size() - 39; }
    BYTE& At(size_t i) { return reinterpret_cast<BYTE&>(b[i]); }
    DWORD Get(size_t i, int n) const;
    void Put(size_t i, int n, DWORD v);
    // XORs n bytes at pos with the keystream from key and step (scrambles or
    // unscrambles).
    void Keystream(size_t pos, size_t n, BYTE key, BYTE step);
    // Unscrambles a record whose prefix starts at prefixPos, lets edit change
    // the plain bytes, and scrambles it again.
    void EditRecord(size_t prefixPos, size_t recordPos, size_t len, const std::function<void(ArchiveBytes&)>& edit);
    // The three scrambled records of a one-entry archive.
    void EditLocalHeader(const std::function<void(ArchiveBytes&)>& edit);   // header at 33
    void EditCentralHeader(const std::function<void(ArchiveBytes&)>& edit); // header at CentralPos()+33
    void EditEndRecord(const std::function<void(ArchiveBytes&)>& edit);     // record at EndPos()+17
};

std::string RawDeflate(const std::string& data);  // level 9, -15, 8, default strategy
DWORD Crc32(const std::string& data);
