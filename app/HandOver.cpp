#include "HandOver.h"
#include <algorithm>
#include <vector>

namespace {
// The pointers held on this thread, innermost send last; sends nest when a
// receiver sends on.
std::vector<const void*>& Held() {
    thread_local std::vector<const void*> held;
    return held;
}
}  // namespace

CHandOver::CHandOver(const void* p) : m_p(p) { Held().push_back(p); }

CHandOver::~CHandOver() {
    std::vector<const void*>& held = Held();
    auto it = std::find(held.rbegin(), held.rend(), m_p);
    if (it != held.rend()) held.erase(std::next(it).base());
}

BOOL CHandOver::IsHeld(const void* p) {
    if (!p) return FALSE;
    const std::vector<const void*>& held = Held();
    return std::find(held.begin(), held.end(), p) != held.end();
}
