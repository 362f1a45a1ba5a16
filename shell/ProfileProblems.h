#pragma once

#include <string>

#include "AgentProfile.h"

// What both programs tell the user at start-up about the agent profile they loaded: the loader's
// error (it names the profile's path and the reason) followed by `consequence`, or its warning
// (clients left out). Exclamation beep, title "Agent Profile". Nothing when the profile loaded
// cleanly.
void ShowProfileProblems(const ProfileLoadResult& profile, const std::string& consequence);
