#include "ArchiveFormat.h"
#include <cstring>

const BYTE ArchiveRecordPrefix::magic[10] = {'B', 'R', 'I', 'V', 'O', 'N', ' ', 'K', 'I', 'V'};

UINT ArchiveRecordPrefix::Build(BYTE* out, DWORD signature, BYTE key, BYTE step, const BYTE* check, bool bEnd,
                                WORD recordLength) {
    memcpy(out, magic, magicSize);
    out[signatureOffset] = (BYTE)(signature >> 16);
    out[signatureOffset + 1] = (BYTE)(signature >> 24);
    out[keyOffset] = key;
    out[stepOffset] = step;
    out[constantOffset] = constantByte;
    UINT n = checkOffset;
    if (!bEnd) {
        if (check)
            memcpy(out + n, check, checkSize);
        else
            memset(out + n, 0, checkSize);
        n += checkSize;
    }
    out[n] = (BYTE)recordLength;
    out[n + 1] = (BYTE)(recordLength >> 8);
    return n + 2;
}

void ArchiveRecordPrefix::EndPattern(BYTE out[12]) {
    memcpy(out, magic, magicSize);
    out[10] = 0x05;
    out[11] = 0x06;
}
