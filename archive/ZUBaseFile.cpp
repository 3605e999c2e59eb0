#include "ZUBaseFile.h"
#include "ZipException.h"
#include <new>

// zlib calls this from inside deflate/inflate: a memory exception unwinds
// through zlib and abandons its stream, whose blocks recorded so far are
// then freed with the owner.
voidpf ZipAlloc(voidpf opaque, uInt items, uInt size) {
    // Both factors are 32-bit, so the product fits size_t on 64-bit targets;
    // a 32-bit target refuses what would wrap.
    unsigned long long n = (unsigned long long)items * size;
    if (n > (size_t)-1) AfxThrowMemoryException();
    BYTE* block = new (std::nothrow) BYTE[n ? (size_t)n : 1];
    if (!block) AfxThrowMemoryException();
    if (opaque) {
        try {
            static_cast<CPtrList*>(opaque)->AddTail(block);
        } catch (CException*) {
            delete[] block;
            throw;
        }
    }
    return block;
}

void ZipFree(voidpf opaque, voidpf block) {
    if (opaque) {
        CPtrList* list = static_cast<CPtrList*>(opaque);
        POSITION pos = list->Find(block);
        if (pos) list->RemoveAt(pos);
    }
    delete[] static_cast<BYTE*>(block);
}

CZUBaseFile::CZUBaseFile() : m_bTrackAllocs(true), m_allocList(10), m_pArchive(nullptr), m_bZipFile(true) {}

CZUBaseFile::~CZUBaseFile() {
    while (!m_allocList.IsEmpty()) delete[] static_cast<BYTE*>(m_allocList.RemoveHead());
}

void CZUBaseFile::ThrowError(int code) const {
    CString name;
    if (m_pArchive && m_pArchive->IsOpen()) name = m_pArchive->GetFilePath();
    ThrowZipException(name, code, m_bZipFile);
}

void CZUBaseFile::PrepareStream(z_stream& stream) {
    stream.zalloc = ZipAlloc;
    stream.zfree = ZipFree;
    stream.opaque = m_bTrackAllocs ? &m_allocList : nullptr;
}
