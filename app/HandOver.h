// A pointer that one window of the program gives another in a message sent
// on this thread. It is valid only while the message is handled, and any
// other program can post the same message with any value: the sender holds
// the pointer for the time of its send, and the receiver takes only a
// pointer that is held.
#pragma once
#include "framework/Afx.h"

class CHandOver {
public:
    explicit CHandOver(const void* p);  // held on this thread until destroyed
    ~CHandOver();
    CHandOver(const CHandOver&) = delete;
    CHandOver& operator=(const CHandOver&) = delete;

    // TRUE while a sender on this thread holds p (never for null).
    static BOOL IsHeld(const void* p);

private:
    const void* m_p;
};
