#include "Object.h"

#include <mutex>
#include <vector>

namespace kvr {

namespace {

// Function-local statics so registration from other translation units'
// static initialisers finds them already constructed.
std::mutex& RegistryLock() {
    static std::mutex lock;
    return lock;
}
std::vector<const CRuntimeClass*>& Registry() {
    static std::vector<const CRuntimeClass*> classes;
    return classes;
}

}  // namespace

const CRuntimeClass CObject::classCObject = {"CObject", nullptr, nullptr};
static const CRuntimeClassRegistration kvrRegistrationCObject(&CObject::classCObject);

const CRuntimeClass* CObject::GetRuntimeClass() const { return &classCObject; }

bool CObject::IsKindOf(const CRuntimeClass* runtimeClass) const {
    return GetRuntimeClass()->IsDerivedFrom(runtimeClass);
}

bool CRuntimeClass::IsDerivedFrom(const CRuntimeClass* base) const {
    if (base == nullptr) return false;
    for (const CRuntimeClass* c = this; c != nullptr; c = c->m_pBaseClass)
        if (c == base) return true;
    return false;
}

CObject* CRuntimeClass::CreateObject() const {
    return m_pfnCreateObject ? m_pfnCreateObject() : nullptr;
}

const CRuntimeClass* CRuntimeClass::FromName(std::string_view name) {
    std::lock_guard guard(RegistryLock());
    for (const CRuntimeClass* c : Registry())
        if (name == c->m_lpszClassName) return c;
    return nullptr;
}

CObject* CRuntimeClass::CreateObject(std::string_view name) {
    const CRuntimeClass* c = FromName(name);
    return c ? c->CreateObject() : nullptr;
}

CRuntimeClassRegistration::CRuntimeClassRegistration(const CRuntimeClass* runtimeClass) {
    std::lock_guard guard(RegistryLock());
    Registry().push_back(runtimeClass);
}

}  // namespace kvr
