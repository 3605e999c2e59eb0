// CMapPtrToPtr: a map from pointers to pointers, one value per key.
#pragma once
#include "../Afx.h"
#include <unordered_map>

class CMapPtrToPtr : public CObject {
public:
    // The block size only tunes the framework's allocation; it is accepted
    // for the framework's signature.
    explicit CMapPtrToPtr(INT_PTR nBlockSize = 10) { (void)nBlockSize; }

    // TRUE and the value when the key is there.
    BOOL Lookup(void* key, void*& rValue) const {
        auto it = m_map.find(key);
        if (it == m_map.end()) return FALSE;
        rValue = it->second;
        return TRUE;
    }
    void SetAt(void* key, void* newValue) { m_map[key] = newValue; }
    // TRUE when the key was there.
    BOOL RemoveKey(void* key) { return m_map.erase(key) != 0; }
    void RemoveAll() { m_map.clear(); }
    INT_PTR GetCount() const { return (INT_PTR)m_map.size(); }
    BOOL IsEmpty() const { return m_map.empty(); }

private:
    std::unordered_map<void*, void*> m_map;
};
