// The benchmarks' corpus files, written piece by piece so that no copy of
// them stays in memory. Text is pseudo-words of a skewed vocabulary, so that
// it compresses about as well as prose; random bytes do not compress.
#pragma once
#include "framework/Afx.h"
#include <algorithm>
#include <cstdint>
#include <random>
#include <string>
#include <vector>

// nRandomEvery: every n-th MiB is random bytes, the others text (0: text
// only, 1: random only).
inline void WriteCorpusFile(const CString& path, ULONGLONG size, unsigned seed, unsigned nRandomEvery) {
    const ULONGLONG kMiB = 1u << 20;
    std::mt19937 rng(seed);
    std::vector<std::string> words(4096);
    for (std::string& w : words) {
        w.resize(2 + rng() % 8);
        for (char& c : w) c = (char)('a' + rng() % 26);
    }
    CFile f(path, CFile::modeCreate | CFile::modeWrite);
    std::string piece;
    for (ULONGLONG done = 0; done < size;) {
        const bool random = nRandomEvery && (done / kMiB) % nRandomEvery == nRandomEvery - 1;
        piece.clear();
        while (piece.size() < kMiB) {
            if (random) {
                uint32_t v = rng();
                piece.append(reinterpret_cast<const char*>(&v), 4);
            } else {
                uint32_t a = rng() % 4096, b = rng() % 4096;
                piece += words[a * b / 4096];
                piece += rng() % 12 ? " " : rng() % 2 ? ".\r\n" : ", ";
            }
        }
        UINT n = (UINT)std::min<ULONGLONG>(kMiB, size - done);
        f.Write(piece.data(), n);
        done += n;
    }
    f.Close();
}
