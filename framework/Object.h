// CObject and the runtime-class records that let catchers test an
// exception's class with IsKindOf.
#pragma once
#include "Types.h"

class CObject;

struct CRuntimeClass {
    const char* m_lpszClassName;
    CRuntimeClass* m_pBaseClass;
    CObject* (*m_pfnCreateObject)();

    BOOL IsDerivedFrom(const CRuntimeClass* pBase) const;
    CObject* CreateObject() const { return m_pfnCreateObject ? m_pfnCreateObject() : nullptr; }
};

class CObject {
public:
    static CRuntimeClass classCObject;
    virtual CRuntimeClass* GetRuntimeClass() const;
    virtual ~CObject() {}
    BOOL IsKindOf(const CRuntimeClass* pClass) const;

protected:
    CObject() {}

private:
    CObject(const CObject&) = delete;
    CObject& operator=(const CObject&) = delete;
};

#define RUNTIME_CLASS(class_name) (&class_name::class##class_name)

#define DECLARE_DYNAMIC(class_name)                 \
public:                                             \
    static CRuntimeClass class##class_name;         \
    CRuntimeClass* GetRuntimeClass() const override;

#define DECLARE_DYNCREATE(class_name) \
    DECLARE_DYNAMIC(class_name)       \
    static CObject* CreateObject();

#define IMPLEMENT_RUNTIMECLASS_(class_name, base_class_name, pfnNew)                              \
    CRuntimeClass class_name::class##class_name = {#class_name, RUNTIME_CLASS(base_class_name),  \
                                                   pfnNew};                                       \
    CRuntimeClass* class_name::GetRuntimeClass() const { return RUNTIME_CLASS(class_name); }

#define IMPLEMENT_DYNAMIC(class_name, base_class_name) \
    IMPLEMENT_RUNTIMECLASS_(class_name, base_class_name, nullptr)

#define IMPLEMENT_DYNCREATE(class_name, base_class_name)                 \
    CObject* class_name::CreateObject() { return new class_name; }      \
    IMPLEMENT_RUNTIMECLASS_(class_name, base_class_name, class_name::CreateObject)
