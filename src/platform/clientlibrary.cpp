#include "platform/clientlibrary.h"

#include <QVariant>

#include <dlfcn.h>

#include <map>
#include <mutex>
#include <string>
#include <utility>

namespace clientlibrary {

void* symbol(const char* library, const char* name)
{
    static std::mutex mutex;
    static std::map<std::pair<std::string, std::string>, void*> found;
    std::lock_guard lock(mutex);
    auto key = std::make_pair(std::string(library), std::string(name));
    if (auto it = found.find(key); it != found.end()) return it->second;
    // The handle is kept for the life of the process, as the drivers keep theirs.
    void* handle = dlopen(library, RTLD_NOW | RTLD_LOCAL);
    void* f = handle ? dlsym(handle, name) : nullptr;
    found.emplace(std::move(key), f);
    return f;
}

void* nativeHandle(const QVariant& handle, std::initializer_list<const char*> typeNames)
{
    if (!handle.isValid() || !handle.constData()) return nullptr;
    for (const char* name : typeNames)
        if (qstrcmp(handle.typeName(), name) == 0) return *static_cast<void* const*>(handle.constData());
    return nullptr;
}

}  // namespace clientlibrary
