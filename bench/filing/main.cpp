// A complete headless filing, for peak memory and client CPU time: the filer's own service object
// authorises against an in-process sandbox, fetches the obligations, submits a return, then the
// results window opens offscreen and writes the automatic copy. Prints the CPU time of the main
// thread (the client's work; the sandbox answers on its own threads) from the authorisation to
// the automatic copy. Exits 0 only when every step succeeded.
#include <time.h>

#include <QApplication>
#include <cstdio>
#include <filesystem>

#include "AgentProfile.h"
#include "ResultsDialog.h"
#include "ReturnData.h"
#include "SandboxServer.h"
#include "Transaction.h"

namespace {

double ThreadCpuMilliseconds() {
    timespec now{};
    ::clock_gettime(CLOCK_THREAD_CPUTIME_ID, &now);
    return static_cast<double>(now.tv_sec) * 1000.0 + static_cast<double>(now.tv_nsec) / 1.0e6;
}

}  // namespace

int main(int argc, char** argv) {
    QApplication app(argc, argv);
    calvenor::sandbox::SandboxServer sandbox;
    if (!sandbox.Start()) {
        std::fprintf(stderr, "the sandbox could not start\n");
        return 1;
    }
    const auto& client = calvenor::sandbox::kQuarterlyClient;

    const double started = ThreadCpuMilliseconds();
    CTransaction transaction("{\"clients\": []}");
    transaction.SetClientCredentials(std::string(calvenor::sandbox::kDemoClientId),
                                     std::string(calvenor::sandbox::kDemoClientSecret));
    transaction.SetServiceBaseUrl(sandbox.BaseUrl());
    transaction.SetVrn(std::string(client.vrn));
    transaction.SetAuthorisationCode(sandbox.GrantCode());
    int status = 0;
    if (!transaction.ExchangeCodeForToken(status) || status != 200 ||
        !transaction.RetrieveObligations() || transaction.GetObligations().empty()) {
        std::fprintf(stderr, "authorisation or obligations failed\n");
        return 1;
    }
    const CObligationData period = transaction.GetObligations().front();
    const ReturnFigures figures{"100.00", "0.00", "100.00", "40.00", "60.00",
                                "500",    "200",  "0",      "0",     period.periodKey};
    CReturnData body;
    body.BuildJson(figures);
    transaction.SetReturnBody(body.GetJson());
    if (!transaction.SubmitReturn(status) || (status != 200 && status != 201)) {
        std::fprintf(stderr, "the submission failed with %d\n", status);
        return 1;
    }

    CResultsDialog results;
    results.SetTitle("VAT Submission Results : Success");
    results.SetPeriod(period.start, period.end);
    results.SetPeriodKey(period.periodKey);
    results.SetReceiptLines(transaction.GetReceiptLines());
    results.SetCompany(std::string(client.vrn) + " : " + std::string(client.companyName));
    results.SetFigures(figures);
    results.show();
    QApplication::processEvents();
    const double finished = ThreadCpuMilliseconds();
    const bool copied =
        !results.AutoSavePath().empty() && std::filesystem::exists(results.AutoSavePath());
    results.done(QDialog::Accepted);
    if (!copied) {
        std::fprintf(stderr, "no automatic copy was written\n");
        return 1;
    }
    std::printf("client cpu ms %.3f\n", finished - started);
    return 0;
}
