#pragma once

#include <cstdlib>
#include <string>

// Points the suite's config, data and profile paths into the build tree before any test runs.
// Tests that need their own folders set them again (IsolatedHome); this only guards the rest.
inline void UseTestHome() {
    const std::string home = CALVENOR_TEST_HOME;
    ::setenv("XDG_CONFIG_HOME", (home + "/config").c_str(), 1);
    ::setenv("XDG_DATA_HOME", (home + "/share").c_str(), 1);
    ::setenv("CALVENOR_DATA_DIR", (home + "/data").c_str(), 1);
    ::setenv("CALVENOR_PROFILE", (home + "/profile.json").c_str(), 1);
}
