#include "CurlLibrary.h"

#include <dlfcn.h>

#include <mutex>

#ifndef CALVENOR_CURL_SONAME
#define CALVENOR_CURL_SONAME "libcurl.so.4"
#endif

namespace {

std::mutex g_testingMutex;
std::string g_testingLibrary;

template <typename Pointer>
bool Find(void* library, const char* name, Pointer& pointer, std::string& reason) {
    dlerror();
    void* symbol = dlsym(library, name);
    if (symbol == nullptr) {
        const char* error = dlerror();
        reason = std::string("libcurl has no ") + name + (error != nullptr ? ": " : "") +
                 (error != nullptr ? error : "");
        return false;
    }
    pointer = reinterpret_cast<Pointer>(symbol);
    return true;
}

// Loads the first library of `names` that opens. RTLD_LOCAL keeps libcurl's own dependencies
// out of the process's global symbol scope; RTLD_NOW finds a broken installation here rather
// than in the middle of a transfer. The library stays loaded for the life of the process.
bool Load(std::initializer_list<std::string> names, CurlApi& api, std::string& reason) {
    void* library = nullptr;
    for (const std::string& name : names) {
        if (name.empty())
            continue;
        library = dlopen(name.c_str(), RTLD_NOW | RTLD_LOCAL);
        if (library != nullptr)
            break;
        const char* error = dlerror();
        if (reason.empty())
            reason = error != nullptr ? error : name + " could not be opened";
    }
    if (library == nullptr)
        return false;
    reason.clear();
    return Find(library, "curl_global_init", api.globalInit, reason) &&
           Find(library, "curl_global_cleanup", api.globalCleanup, reason) &&
           Find(library, "curl_easy_init", api.easyInit, reason) &&
           Find(library, "curl_easy_cleanup", api.easyCleanup, reason) &&
           Find(library, "curl_easy_setopt", api.easySetopt, reason) &&
           Find(library, "curl_easy_perform", api.easyPerform, reason) &&
           Find(library, "curl_slist_append", api.slistAppend, reason) &&
           Find(library, "curl_slist_free_all", api.slistFreeAll, reason);
}

std::string Explained(const std::string& reason) {
    return "libcurl could not be loaded: " + reason +
           ". Install the libcurl4 package, then start Calvenor again.";
}

}  // namespace

const CurlApi* LoadedCurlApi(std::string& reason) {
    std::string testingLibrary;
    {
        const std::lock_guard lock(g_testingMutex);
        testingLibrary = g_testingLibrary;
    }
    if (!testingLibrary.empty()) {
        // Kept for the life of the process like the normal library; only tests come here.
        static CurlApi testingApi;
        std::string why;
        if (Load({testingLibrary}, testingApi, why))
            return &testingApi;
        reason = Explained(why);
        return nullptr;
    }

    struct Loaded {
        CurlApi api;
        bool ok = false;
        std::string reason;
    };
    static const Loaded loaded = [] {
        Loaded result;
        result.ok =
            Load({CALVENOR_CURL_SONAME, "libcurl.so.4", "libcurl.so"}, result.api, result.reason);
        if (!result.ok)
            result.reason = Explained(result.reason);
        return result;
    }();
    if (loaded.ok)
        return &loaded.api;
    reason = loaded.reason;
    return nullptr;
}

void SetCurlLibraryForTesting(const std::string& name) {
    const std::lock_guard lock(g_testingMutex);
    g_testingLibrary = name;
}
