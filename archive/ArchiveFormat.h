// The bytes of a KVF archive: codes, signatures, record sizes and the
// record prefix that precedes every header record.
#pragma once
#include "framework/Types.h"

// Codes the engine raises besides zlib's own results (-6 to 2).
enum {
    ARC_BAD_PARAMETER = -102,
    ARC_BAD_ARCHIVE = -103,
    ARC_CRC_MISMATCH = -105,
};

// ZIP signatures of the records that follow the prefixes.
const DWORD ZIP_LOCAL_SIGNATURE = 0x04034b50;
const DWORD ZIP_CENTRAL_SIGNATURE = 0x02014b50;
const DWORD ZIP_END_SIGNATURE = 0x06054b50;

// Fixed record sizes (names follow the local and central headers).
const UINT ZIP_LOCAL_HEADER_SIZE = 30;
const UINT ZIP_CENTRAL_HEADER_SIZE = 46;
const UINT ZIP_END_RECORD_SIZE = 22;
const UINT ZIP_VERSION_NEEDED = 20;
const UINT ZIP_METHOD_STORED = 0;
const UINT ZIP_METHOD_DEFLATE = 8;
// General flag bit: CRC and sizes follow the data; the local header's copies
// are then not trusted.
const UINT ZIP_FLAG_DATA_DESCRIPTOR = 0x8;

// Sizes and offsets are 32-bit: no archive position may pass this.
const ULONGLONG ZIP_MAX_POSITION = 0xFFFFFFFFull;

// The record prefix, stored plain except the local check field:
//   0  magic "BRIVON KIV" (10)      10 signature pair (2)
//   12 key (1)   13 step (1)        14 constant byte 0x02 (1)
//   15 check field (16, local and central prefixes only)
//   31 (end prefix: 15) record length (2): scrambled bytes that follow.
struct ArchiveRecordPrefix {
    static const BYTE magic[10];
    enum : UINT {
        magicSize = 10,
        signatureOffset = 10,
        keyOffset = 12,
        stepOffset = 13,
        constantOffset = 14,
        checkOffset = 15,
        checkSize = 16,
        recordSize = 33,       // local and central prefixes
        endRecordSize = 17,    // end prefix: no check field
    };
    static const BYTE constantByte = 0x02;

    // Fills a prefix: magic, the last two bytes of the record's signature,
    // key, step, constant byte, the check field (zeros when check is null;
    // nothing for the end prefix) and the record length.
    static UINT Build(BYTE* out, DWORD signature, BYTE key, BYTE step, const BYTE* check, bool bEnd,
                      WORD recordLength);
    // The 12-byte pattern that starts the end prefix: magic + 0x05 0x06.
    static void EndPattern(BYTE out[12]);
};
