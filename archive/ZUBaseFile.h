// The common base of the archive writer and reader: the archive file, the
// record of zlib's blocks, zlib's allocation callbacks and the one way the
// engine reports a failure.
#pragma once
#include "framework/Afx.h"
#include <zlib.h>

// zlib's allocation callback: items * size bytes, not zeroed. A non-null
// opaque is the owner's block list, which records the block. Failure throws
// CMemoryException.
voidpf ZipAlloc(voidpf opaque, uInt items, uInt size);
// zlib's release callback: drops the block from the owner's list (when
// opaque is set and the block is listed) and frees it.
void ZipFree(voidpf opaque, voidpf block);

class CZUBaseFile {
public:
    CZUBaseFile();
    // Frees every zlib block still recorded: the state of a stream that an
    // exception interrupted before it was ended.
    virtual ~CZUBaseFile();

    // Throws a CZipException for an archive or zlib code, naming the archive
    // when it is open (else an empty name). Callable in any state.
    [[noreturn]] void ThrowError(int code) const;

    bool m_bTrackAllocs;     // record zlib's blocks in m_allocList
    CPtrList m_allocList;    // zlib blocks allocated and not yet released
    CFile* m_pArchive;       // the archive file embedded in the derived object
    bool m_bZipFile;         // TRUE in the writer, FALSE in the reader

protected:
    // Hands zlib the callbacks above for a stream about to be initialised.
    void PrepareStream(z_stream& stream);

private:
    CZUBaseFile(const CZUBaseFile&) = delete;
    CZUBaseFile& operator=(const CZUBaseFile&) = delete;
};
