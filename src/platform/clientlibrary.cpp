#include "platform/clientlibrary.h"

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

}  // namespace clientlibrary
