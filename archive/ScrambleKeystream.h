// The keystream that scrambles the header records. Writer and reader share
// the one table: an archive can only be read with the table that wrote it,
// so its bytes never change.
#pragma once
#include "framework/Types.h"
#include <cstddef>

struct ScrambleKeystream {
    static const BYTE table[256];

    // Scrambles (or unscrambles: the same XOR) one byte. The key advances by
    // the step before it is used, so a run's first byte uses table[key + step].
    static BYTE ApplyByte(BYTE b, BYTE& key, BYTE step) {
        key = (BYTE)(key + step);
        return (BYTE)(b ^ table[key]);
    }
    // The same over n bytes in place, continuing from key.
    static void Apply(BYTE* p, size_t n, BYTE& key, BYTE step);
};
