// A throwaway folder for one test, removed with everything in it.
#pragma once
#include "framework/Afx.h"
#include <string>

class TempDir {
public:
    // base empty: the system's temporary folder.
    explicit TempDir(const CString& base = CString());
    ~TempDir();
    const CString& Path() const { return m_path; }
    // Path() + separator + name.
    CString File(const CString& name) const;

private:
    CString m_path;
};

// Whole-file helpers for fixtures.
std::string ReadAll(const CString& path);
void WriteAll(const CString& path, const std::string& bytes);
// Deterministic fixtures: compressible text and incompressible bytes.
std::string MakeText(size_t n, unsigned seed = 1);
std::string MakeRandom(size_t n, unsigned seed = 1);
