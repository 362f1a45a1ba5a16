#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "SandboxTypes.h"

// HMRC's sandbox answers to the Gov-Test-Scenario header. The obligation scenarios describe
// fixed periods in 2017 and 2018, as HMRC's do; they replace the client's own data.
namespace calvenor::sandbox {

struct ScenarioAnswer {
    int status = 200;
    std::string code;  // error code when status is not 200
    std::string message;
    std::vector<Obligation> obligations;
};

// What a scenario of the account endpoints answers: an error, or the client's account replaced
// by fixed entries in 2017 and 2018 (still filtered by the dates asked for).
struct AccountScenarioAnswer {
    int status = 200;
    std::string code;
    std::string message;
    std::vector<Liability> liabilities;
    std::vector<Payment> payments;
};

// nullopt: not a scenario of that endpoint (the request is answered as usual).
std::optional<ScenarioAnswer> ObligationsScenario(std::string_view name);
std::optional<ScenarioAnswer> SubmitReturnScenario(std::string_view name);
std::optional<ScenarioAnswer> ViewReturnScenario(std::string_view name);
std::optional<AccountScenarioAnswer> LiabilitiesScenario(std::string_view name);
std::optional<AccountScenarioAnswer> PaymentsScenario(std::string_view name);

}  // namespace calvenor::sandbox
