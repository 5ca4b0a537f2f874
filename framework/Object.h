#pragma once
// The root of the framework's class tree. Classes that declare themselves
// dynamic carry a run-time class record naming them and their base, so code
// can test an object's kind and create objects from a class name.
#include <string_view>

namespace kvr {

class CObject;

struct CRuntimeClass {
    const char* m_lpszClassName;
    CObject* (*m_pfnCreateObject)();  // null for classes that cannot be created by name
    const CRuntimeClass* m_pBaseClass;

    bool IsDerivedFrom(const CRuntimeClass* base) const;
    CObject* CreateObject() const;

    // Looks a registered class up by its name; null if there is none.
    static const CRuntimeClass* FromName(std::string_view name);
    static CObject* CreateObject(std::string_view name);
};

// Adds a run-time class to the process-wide registry during static
// initialisation; each dynamic class owns one.
class CRuntimeClassRegistration {
public:
    explicit CRuntimeClassRegistration(const CRuntimeClass* runtimeClass);
};

class CObject {
public:
    virtual ~CObject() = default;
    virtual const CRuntimeClass* GetRuntimeClass() const;
    bool IsKindOf(const CRuntimeClass* runtimeClass) const;

    static const CRuntimeClass classCObject;
};

#define KVR_RUNTIME_CLASS(ClassName) (&ClassName::class##ClassName)

#define KVR_DECLARE_DYNAMIC(ClassName)                              \
public:                                                             \
    static const ::kvr::CRuntimeClass class##ClassName;             \
    const ::kvr::CRuntimeClass* GetRuntimeClass() const override;

#define KVR_DECLARE_DYNCREATE(ClassName) \
    KVR_DECLARE_DYNAMIC(ClassName)       \
    static ::kvr::CObject* CreateObject();

#define KVR_IMPLEMENT_RUNTIMECLASS_(ClassName, BaseClassName, pfnNew)                         \
    const ::kvr::CRuntimeClass ClassName::class##ClassName = {#ClassName, pfnNew,             \
                                                              KVR_RUNTIME_CLASS(BaseClassName)}; \
    const ::kvr::CRuntimeClass* ClassName::GetRuntimeClass() const {                          \
        return KVR_RUNTIME_CLASS(ClassName);                                                  \
    }                                                                                         \
    static const ::kvr::CRuntimeClassRegistration kvrRegistration##ClassName(                 \
        KVR_RUNTIME_CLASS(ClassName));

#define KVR_IMPLEMENT_DYNAMIC(ClassName, BaseClassName) \
    KVR_IMPLEMENT_RUNTIMECLASS_(ClassName, BaseClassName, nullptr)

#define KVR_IMPLEMENT_DYNCREATE(ClassName, BaseClassName)                          \
    ::kvr::CObject* ClassName::CreateObject() { return new ClassName; }            \
    KVR_IMPLEMENT_RUNTIMECLASS_(ClassName, BaseClassName, &ClassName::CreateObject)

}  // namespace kvr
