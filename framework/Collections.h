// The framework's lists and array: CPtrList, CStringList and CArray.
#pragma once
#include "Exception.h"
#include "String.h"
#include <new>
#include <vector>

struct __POSITION {};
typedef __POSITION* POSITION;

// A doubly linked list; a POSITION is the address of a node. nBlockSize is
// kept for the framework's signature only: nodes are allocated one by one.
template <class TYPE, class ARG_TYPE>
class CListT {
    struct Node {
        Node* pNext;
        Node* pPrev;
        TYPE data;
    };

public:
    explicit CListT(int nBlockSize = 10) : m_nBlockSize(nBlockSize) {}
    ~CListT() { RemoveAll(); }
    CListT(const CListT&) = delete;
    CListT& operator=(const CListT&) = delete;

    int GetCount() const { return m_nCount; }
    int GetSize() const { return m_nCount; }
    BOOL IsEmpty() const { return m_nCount == 0; }

    TYPE& GetHead() { return Check(m_pHead)->data; }
    const TYPE& GetHead() const { return Check(m_pHead)->data; }
    TYPE& GetTail() { return Check(m_pTail)->data; }
    const TYPE& GetTail() const { return Check(m_pTail)->data; }

    POSITION AddHead(ARG_TYPE v) {
        Node* n = NewNode(v);
        n->pNext = m_pHead;
        if (m_pHead) m_pHead->pPrev = n; else m_pTail = n;
        m_pHead = n;
        return Pos(n);
    }
    POSITION AddTail(ARG_TYPE v) {
        Node* n = NewNode(v);
        n->pPrev = m_pTail;
        if (m_pTail) m_pTail->pNext = n; else m_pHead = n;
        m_pTail = n;
        return Pos(n);
    }
    TYPE RemoveHead() { TYPE v = GetHead(); RemoveAt(Pos(m_pHead)); return v; }
    TYPE RemoveTail() { TYPE v = GetTail(); RemoveAt(Pos(m_pTail)); return v; }
    void RemoveAt(POSITION pos) {
        Node* n = Check(Nd(pos));
        if (n->pPrev) n->pPrev->pNext = n->pNext; else m_pHead = n->pNext;
        if (n->pNext) n->pNext->pPrev = n->pPrev; else m_pTail = n->pPrev;
        delete n;
        --m_nCount;
    }
    void RemoveAll() {
        while (m_pHead) {
            Node* n = m_pHead;
            m_pHead = n->pNext;
            delete n;
        }
        m_pTail = nullptr;
        m_nCount = 0;
    }

    POSITION GetHeadPosition() const { return Pos(m_pHead); }
    POSITION GetTailPosition() const { return Pos(m_pTail); }
    TYPE& GetNext(POSITION& pos) { Node* n = Check(Nd(pos)); pos = Pos(n->pNext); return n->data; }
    const TYPE& GetNext(POSITION& pos) const { Node* n = Check(Nd(pos)); pos = Pos(n->pNext); return n->data; }
    TYPE& GetPrev(POSITION& pos) { Node* n = Check(Nd(pos)); pos = Pos(n->pPrev); return n->data; }
    TYPE& GetAt(POSITION pos) { return Check(Nd(pos))->data; }
    const TYPE& GetAt(POSITION pos) const { return Check(Nd(pos))->data; }
    void SetAt(POSITION pos, ARG_TYPE v) { Check(Nd(pos))->data = v; }

    POSITION Find(ARG_TYPE v, POSITION startAfter = nullptr) const {
        Node* n = startAfter ? Nd(startAfter)->pNext : m_pHead;
        for (; n; n = n->pNext)
            if (n->data == v) return Pos(n);
        return nullptr;
    }
    POSITION FindIndex(int nIndex) const {
        if (nIndex < 0 || nIndex >= m_nCount) return nullptr;
        Node* n = m_pHead;
        while (nIndex-- > 0) n = n->pNext;
        return Pos(n);
    }

private:
    static POSITION Pos(Node* n) { return reinterpret_cast<POSITION>(n); }
    static Node* Nd(POSITION p) { return reinterpret_cast<Node*>(p); }
    static Node* Check(Node* n) {
        if (!n) AfxThrowInvalidArgException();
        return n;
    }
    Node* NewNode(ARG_TYPE v) {
        Node* n = new (std::nothrow) Node{nullptr, nullptr, v};
        if (!n) AfxThrowMemoryException();
        ++m_nCount;
        return n;
    }

    Node* m_pHead = nullptr;
    Node* m_pTail = nullptr;
    int m_nCount = 0;
    int m_nBlockSize;
};

class CPtrList : public CListT<void*, void*> {
public:
    explicit CPtrList(int nBlockSize = 10) : CListT<void*, void*>(nBlockSize) {}
};

class CStringList : public CListT<CString, const CString&> {
public:
    explicit CStringList(int nBlockSize = 10) : CListT<CString, const CString&>(nBlockSize) {}
};

// A growable array; element access outside the bounds throws the
// invalid-argument exception, as the framework's bounds check does.
template <class TYPE, class ARG_TYPE = const TYPE&>
class CArray {
public:
    CArray() {}
    int GetSize() const { return (int)m_v.size(); }
    int GetCount() const { return (int)m_v.size(); }
    INT_PTR GetUpperBound() const { return (INT_PTR)m_v.size() - 1; }
    BOOL IsEmpty() const { return m_v.empty(); }
    void SetSize(int nNewSize, int = -1) { m_v.resize(nNewSize > 0 ? (size_t)nNewSize : 0); }
    void RemoveAll() { m_v.clear(); }
    int Add(ARG_TYPE v) { m_v.push_back(v); return (int)m_v.size() - 1; }
    TYPE& ElementAt(int i) { return m_v[Check(i)]; }
    TYPE& GetAt(int i) { return m_v[Check(i)]; }
    const TYPE& GetAt(int i) const { return m_v[Check(i)]; }
    void SetAt(int i, ARG_TYPE v) { m_v[Check(i)] = v; }
    TYPE& operator[](int i) { return ElementAt(i); }
    const TYPE& operator[](int i) const { return GetAt(i); }
    void RemoveAt(int i, int nCount = 1) {
        Check(i);
        if (nCount < 0 || (size_t)i + (size_t)nCount > m_v.size()) AfxThrowInvalidArgException();
        m_v.erase(m_v.begin() + i, m_v.begin() + i + nCount);
    }
    void InsertAt(int i, ARG_TYPE v) {
        if (i < 0 || (size_t)i > m_v.size()) AfxThrowInvalidArgException();
        m_v.insert(m_v.begin() + i, v);
    }
    TYPE* GetData() { return m_v.empty() ? nullptr : m_v.data(); }

private:
    size_t Check(int i) const {
        if (i < 0 || (size_t)i >= m_v.size()) AfxThrowInvalidArgException();
        return (size_t)i;
    }
    std::vector<TYPE> m_v;
};
