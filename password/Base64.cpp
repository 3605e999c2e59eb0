#include "Base64.h"
#include <cstring>

namespace {
const char kAlphabet[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
const char kPad = '=';
const UINT kStep = 4096;
}

BYTE CBase64::s_decodeTable[256];
std::atomic<BOOL> CBase64::s_bTableBuilt{FALSE};

CBase64::CBase64()
    : m_pBinary(nullptr), m_pText(nullptr), m_nBinaryCap(0), m_nTextCap(0), m_nBinaryLen(0), m_nTextLen(0) {}

CBase64::~CBase64() {
    delete[] m_pBinary;
    delete[] m_pText;
}

void CBase64::BuildDecodeTable() {
    // Built aside and stored entry by entry, only where the shared table
    // differs: a thread that builds while another already decodes never
    // changes an entry under it, not even for a moment.
    BYTE table[256];
    memset(table, 0xFE, sizeof table);
    for (int v = 0; v < 64; ++v) {
        BYTE c = (BYTE)kAlphabet[v];
        table[c] = (BYTE)v;
        table[c | 0x80] = (BYTE)v;
    }
    table[(BYTE)kPad] = 0xFF;
    table[(BYTE)kPad | 0x80] = 0xFF;
    for (int i = 0; i < 256; ++i)
        if (s_decodeTable[i] != table[i]) s_decodeTable[i] = table[i];
    s_bTableBuilt.store(TRUE, std::memory_order_release);
}

void CBase64::Reserve(BYTE*& pBuf, UINT& nCap, UINT& nLen, UINT n) {
    if (nCap < n) {
        delete[] pBuf;
        pBuf = nullptr;
        nCap = 0;
        UINT cap = (n / kStep + 1) * kStep;  // the smallest step above n
        pBuf = new BYTE[cap];
        nCap = cap;
    }
    if (pBuf) memset(pBuf, 0, nCap);
    nLen = 0;
}

void CBase64::ReserveText(UINT n) { Reserve(m_pText, m_nTextCap, m_nTextLen, n); }

void CBase64::ReserveBinary(UINT n) { Reserve(m_pBinary, m_nBinaryCap, m_nBinaryLen, n); }

void CBase64::CopyInput(const BYTE* pData, UINT nLen) {
    ReserveBinary(nLen);
    if (nLen) memcpy(m_pBinary, pData, nLen);
    m_nBinaryLen = nLen;
}

BOOL CBase64::IsSkipped(char ch) {
    BYTE b = (BYTE)ch;
    return (b >= 7 && b <= 13) || b == ' ';
}

void CBase64::StripWhitespace(const char* pText, UINT nLen) {
    ReserveText(nLen);
    for (UINT i = 0; i < nLen; ++i)
        if (!IsSkipped(pText[i])) m_pText[m_nTextLen++] = (BYTE)pText[i];
}

void CBase64::SplitTriple(const BYTE* pIn, BYTE* pOut) {
    pOut[0] = (BYTE)(pIn[0] >> 2);
    pOut[1] = (BYTE)(((pIn[0] << 4) & 0x3F) | (pIn[1] >> 4));
    pOut[2] = (BYTE)(((pIn[1] << 2) & 0x3F) | (pIn[2] >> 6));
    pOut[3] = (BYTE)(pIn[2] & 0x3F);
}

void CBase64::JoinQuad(const BYTE* pIn, BYTE* pOut) {
    // Values 0xFE and 0xFF (outside the alphabet, "=") are not masked first:
    // their low bits make them read as 62 and 63.
    pOut[0] = (BYTE)((pIn[0] << 2) | ((pIn[1] >> 4) & 3));
    pOut[1] = (BYTE)((pIn[1] << 4) | ((pIn[2] >> 2) & 0xF));
    pOut[2] = (BYTE)((pIn[2] << 6) | (pIn[3] & 0x3F));
}

void CBase64::EncodeGroup(const BYTE* pGroup, int nCount, char* pOut) {
    BYTE v[4];
    SplitTriple(pGroup, v);
    for (int i = 0; i < 4; ++i) pOut[i] = kAlphabet[v[i]];
    if (nCount == 1) pOut[2] = kPad;
    if (nCount <= 2) pOut[3] = kPad;
}

void CBase64::DecodeGroup(const BYTE* pValues, BYTE* pOut) { JoinQuad(pValues, pOut); }

void CBase64::Encode(const BYTE* pData, UINT nLen) {
    CopyInput(pData, nLen);
    ReserveText(2 * nLen);
    UINT i = 0;
    for (; i + 3 <= m_nBinaryLen; i += 3) {
        EncodeGroup(m_pBinary + i, 3, (char*)m_pText + m_nTextLen);
        m_nTextLen += 4;
    }
    UINT rest = m_nBinaryLen - i;
    if (rest) {
        BYTE group[3] = {0, 0, 0};
        memcpy(group, m_pBinary + i, rest);
        EncodeGroup(group, (int)rest, (char*)m_pText + m_nTextLen);
        m_nTextLen += 4;
    }
}

void CBase64::EncodeString(const char* psz) {
    if (psz) Encode((const BYTE*)psz, (UINT)strlen(psz));
}

void CBase64::Decode(const char* pText, UINT nLen) {
    if (!s_bTableBuilt.load(std::memory_order_acquire)) BuildDecodeTable();
    StripWhitespace(pText, nLen);
    ReserveBinary(nLen);
    UINT i = 0;
    BYTE v[4];
    for (; i + 4 <= m_nTextLen; i += 4) {
        for (int k = 0; k < 4; ++k) v[k] = s_decodeTable[m_pText[i + k]];
        if (v[2] == 0xFF) v[2] = 0;
        if (v[3] == 0xFF) v[3] = 0;
        DecodeGroup(v, m_pBinary + m_nBinaryLen);
        m_nBinaryLen += 3;
    }
    UINT rest = m_nTextLen - i;
    if (rest) {
        for (UINT k = 0; k < 4; ++k) {
            v[k] = k < rest ? s_decodeTable[m_pText[i + k]] : 0;
            if (v[k] == 0xFF) v[k] = 0;
        }
        DecodeGroup(v, m_pBinary + m_nBinaryLen);
        m_nBinaryLen += rest;
    }
}

void CBase64::DecodeString(const char* psz) {
    if (psz) Decode(psz, (UINT)strlen(psz));
}

UINT CBase64::GetDecodedLength() const { return m_nBinaryLen; }

const BYTE* CBase64::GetBinary() const { return m_pBinary; }

const char* CBase64::GetText() const { return (const char*)m_pText; }
