#include "CardReader.h"

namespace {

CString Variable(LPCWSTR pszName) {
    WCHAR value[MAX_PATH];
    DWORD n = ::GetEnvironmentVariableW(pszName, value, MAX_PATH);
    return n == 0 || n >= MAX_PATH ? CString() : CString(value);
}

}  // namespace

CString CardReaderRoot() {
    CString drive = Variable(L"KIV_CARD_DRIVE");
    return drive.IsEmpty() || Variable(L"KIV_CARD_SLOT").IsEmpty() ? CString() : drive + L"\\";
}

CCardTakenOut::CCardTakenOut() : m_bOut(FALSE) {
    CString slot = Variable(L"KIV_CARD_SLOT");
    if (slot.IsEmpty()) return;
    m_strCard = slot + L"\\card";
    m_strOut = slot + L"\\card-out";
    m_bOut = ::MoveFileW(m_strCard, m_strOut);
}

CCardTakenOut::~CCardTakenOut() {
    if (m_bOut) ::MoveFileW(m_strOut, m_strCard);
}
