#pragma once

#include <curl/curl.h>

#include <string>

// The libcurl functions the transport calls, found in the library at run time. libcurl and the
// many libraries it needs are loaded on the first HMRC call, not when the filer starts: linking
// them made every start-up resolve all their symbols.
struct CurlApi {
    decltype(&curl_global_init) globalInit = nullptr;
    decltype(&curl_global_cleanup) globalCleanup = nullptr;
    decltype(&curl_easy_init) easyInit = nullptr;
    decltype(&curl_easy_cleanup) easyCleanup = nullptr;
    CURLcode (*easySetopt)(CURL*, CURLoption, ...) = nullptr;
    decltype(&curl_easy_perform) easyPerform = nullptr;
    decltype(&curl_slist_append) slistAppend = nullptr;
    decltype(&curl_slist_free_all) slistFreeAll = nullptr;
};

// The process's libcurl, loaded the first time it is asked for (safe from any thread; a load
// that failed is not tried again). Null when the library or one of its functions could not be
// found; `reason` then says why and what to do.
const CurlApi* LoadedCurlApi(std::string& reason);

// Makes later loads try only the library `name` (one that does not exist shows the failure path)
// without caching the outcome; an empty name restores the normal library.
void SetCurlLibraryForTesting(const std::string& name);
