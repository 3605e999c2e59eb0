// CBase64: bytes to Base64 text and back (standard alphabet, "=" padding).
// The password store keeps every password as the Base64 text of its UTF-8
// bytes. The decoder skips blanks and control characters and rejects
// nothing: a character outside the alphabet still decodes to some bits, so
// an edited password file yields passwords that simply never match.
#pragma once
#include "framework/Afx.h"
#include <atomic>

class CBase64 {
public:
    CBase64();
    virtual ~CBase64();

    // Encodes a NUL-terminated byte string; a null string does nothing.
    virtual void EncodeString(const char* psz);
    // The text is GetText(), m_nTextLen characters followed by at least one
    // zero byte; an empty input leaves no text buffer at all.
    virtual void Encode(const BYTE* pData, UINT nLen);
    // Decodes a NUL-terminated string; a null string does nothing.
    virtual void DecodeString(const char* psz);
    // The bytes are GetBinary(), GetDecodedLength() of them followed by at
    // least one zero byte, so decoded text reads as a NUL-terminated string.
    // A padded group adds zero bytes for its "=" places to the length.
    virtual void Decode(const char* pText, UINT nLen);
    virtual UINT GetDecodedLength() const;
    virtual const BYTE* GetBinary() const;
    virtual const char* GetText() const;

    // Both keep their buffer when it holds n bytes already, else reallocate
    // in whole 4096-byte steps (always more than n); the buffer is zeroed and
    // its length set to 0 in every case.
    virtual void ReserveText(UINT n);
    virtual void ReserveBinary(UINT n);
    // Copies the characters that IsSkipped lets through into the text buffer.
    virtual void StripWhitespace(const char* pText, UINT nLen);
    virtual void CopyInput(const BYTE* pData, UINT nLen);
    // Writes 4 characters for a group of nCount (1 to 3) bytes, the missing
    // places as "=".
    virtual void EncodeGroup(const BYTE* pGroup, int nCount, char* pOut);
    // Writes the 3 bytes of 4 table values.
    virtual void DecodeGroup(const BYTE* pValues, BYTE* pOut);
    virtual void SplitTriple(const BYTE* pIn, BYTE* pOut);
    virtual void JoinQuad(const BYTE* pIn, BYTE* pOut);
    // Bell to carriage return (7 to 13) and the blank.
    virtual BOOL IsSkipped(char ch);

protected:
    // Every byte reads as 0xFE, an alphabet character (also with its top bit
    // set) as its value, "=" (also 0xBD) as 0xFF. Built by the first decode
    // of the process; a second, simultaneous build changes no entry that is
    // already right and sets the flag last, so no lock is needed.
    static void BuildDecodeTable();
    static BYTE s_decodeTable[256];
    static std::atomic<BOOL> s_bTableBuilt;

    BYTE* m_pBinary;
    BYTE* m_pText;
    UINT m_nBinaryCap;
    UINT m_nTextCap;
    UINT m_nBinaryLen;
    UINT m_nTextLen;

private:
    static void Reserve(BYTE*& pBuf, UINT& nCap, UINT& nLen, UINT n);
    CBase64(const CBase64&) = delete;
    CBase64& operator=(const CBase64&) = delete;
};
