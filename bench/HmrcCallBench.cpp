// HMRC call overhead: CTransaction's obligations and submission calls against the in-process
// sandbox, side by side with a bare libcurl easy handle sending the same request (URL, header
// lines and body copied from what the sandbox received). Also the TCP connections one filing
// opens.
#include <benchmark/benchmark.h>
#include <curl/curl.h>

#include <memory>

#include "BenchSupport.h"
#include "ReturnData.h"
#include "SandboxServer.h"
#include "Transaction.h"

namespace {

using calvenor::sandbox::SandboxServer;

// One authorised filer and its sandbox, for the whole run of a benchmark.
struct Filing {
    calvenor::bench::IsolatedRun run;
    SandboxServer sandbox;
    std::unique_ptr<CTransaction> transaction;
    bool ready = false;

    Filing() {
        if (!sandbox.Start())
            return;
        SetScreensReader([] { return std::vector<ScreenFacts>{{1920, 1080, 96, 24}}; });
        transaction = std::make_unique<CTransaction>(calvenor::bench::ProfileText(10));
        transaction->SetWindowSizeReader([] { return WindowSize{1024, 768}; });
        transaction->SetClientCredentials(std::string(calvenor::sandbox::kDemoClientId),
                                          std::string(calvenor::sandbox::kDemoClientSecret));
        transaction->SetServiceBaseUrl(sandbox.BaseUrl());
        transaction->SetVrn(std::string(calvenor::sandbox::kQuarterlyClient.vrn));
        transaction->SetAuthorisationCode(sandbox.GrantCode());
        int status = 0;
        ready = transaction->ExchangeCodeForToken(status) && status == 200 &&
                transaction->RetrieveObligations() && !transaction->GetObligations().empty();
    }
    ~Filing() { SetScreensReader({}); }

    std::string ReturnBody() const {
        ReturnFigures figures{
            "100.00", "0.00", "100.00", "40.00", "60.00",
            "500",    "200",  "0",      "0",     transaction->GetObligations().front().periodKey};
        CReturnData body;
        body.BuildJson(figures);
        return body.GetJson();
    }
};

std::size_t Discard(char*, std::size_t size, std::size_t count, void* sink) {
    static_cast<std::string*>(sink)->append(size * count, '\0');
    return size * count;
}

// The request the sandbox received last, replayed through a bare easy handle.
class BareRequest {
public:
    BareRequest(const SandboxServer& sandbox, bool freshConnection) {
        const auto request = sandbox.Received().back();
        m_url = sandbox.BaseUrl() + request.target;
        m_body = request.body;
        for (const auto& line : request.headerLines) {
            const std::string name = line.substr(0, line.find(':'));
            if (name != "Host" && name != "Content-Length") {
                m_headers = curl_slist_append(m_headers, line.c_str());
            }
        }
        m_post = request.method == "POST";
        m_fresh = freshConnection;
        m_curl = curl_easy_init();
    }
    ~BareRequest() {
        curl_slist_free_all(m_headers);
        curl_easy_cleanup(m_curl);
    }
    long Perform() {
        std::string sink;
        curl_easy_setopt(m_curl, CURLOPT_URL, m_url.c_str());
        curl_easy_setopt(m_curl, CURLOPT_HTTPHEADER, m_headers);
        curl_easy_setopt(m_curl, CURLOPT_WRITEFUNCTION, &Discard);
        curl_easy_setopt(m_curl, CURLOPT_WRITEDATA, &sink);
        if (m_post) {
            curl_easy_setopt(m_curl, CURLOPT_POSTFIELDS, m_body.c_str());
            curl_easy_setopt(m_curl, CURLOPT_POSTFIELDSIZE, static_cast<long>(m_body.size()));
        }
        curl_easy_setopt(m_curl, CURLOPT_FRESH_CONNECT, m_fresh ? 1L : 0L);
        long status = 0;
        if (curl_easy_perform(m_curl) == CURLE_OK) {
            curl_easy_getinfo(m_curl, CURLINFO_RESPONSE_CODE, &status);
        }
        return status;
    }

private:
    CURL* m_curl = nullptr;
    curl_slist* m_headers = nullptr;
    std::string m_url;
    std::string m_body;
    bool m_post = false;
    bool m_fresh = false;
};

// On a fresh authorised filing, `prepare` makes the call to measure (a callable returning
// whether it worked), which then runs once per iteration.
template <typename Prepare>
void Measure(benchmark::State& state, const char* failure, Prepare prepare) {
    Filing filing;
    if (!filing.ready) {
        state.SkipWithError("the sandbox filing could not start");
        return;
    }
    auto call = prepare(filing);
    for (auto _ : state) {
        if (!call()) {
            state.SkipWithError(failure);
            break;
        }
    }
}

void ObligationsThroughTransaction(benchmark::State& state) {
    Measure(state, "obligations failed", [](Filing& filing) {
        return [&filing] { return filing.transaction->RetrieveObligations(); };
    });
}
BENCHMARK(ObligationsThroughTransaction)->Unit(benchmark::kMicrosecond);

void ObligationsBareCurl(benchmark::State& state) {
    Measure(state, "obligations failed", [](Filing& filing) {
        return [request = std::make_shared<BareRequest>(filing.sandbox, false)] {
            return request->Perform() == 200;
        };
    });
}
BENCHMARK(ObligationsBareCurl)->Unit(benchmark::kMicrosecond);

// After the first, each submission of the same period is answered as a duplicate: the same
// request and a full answer, which is what is measured.
void SubmissionThroughTransaction(benchmark::State& state) {
    Measure(state, "submission failed", [](Filing& filing) {
        filing.transaction->SetReturnBody(filing.ReturnBody());
        return [&filing] {
            int status = 0;
            return filing.transaction->SubmitReturn(status);
        };
    });
}
BENCHMARK(SubmissionThroughTransaction)->Unit(benchmark::kMicrosecond);

void SubmissionBareCurl(benchmark::State& state) {
    Measure(state, "submission failed", [](Filing& filing) {
        filing.transaction->SetReturnBody(filing.ReturnBody());
        int status = 0;
        filing.transaction->SubmitReturn(status);
        return [request = std::make_shared<BareRequest>(filing.sandbox, true)] {
            return request->Perform() != 0;
        };
    });
}
BENCHMARK(SubmissionBareCurl)->Unit(benchmark::kMicrosecond);

// Authorise, obligations, submit: the TCP connections the sandbox accepted.
void FilingConnections(benchmark::State& state) {
    int connections = 0;
    for (auto _ : state) {
        Filing filing;
        if (!filing.ready) {
            state.SkipWithError("the sandbox filing could not start");
            return;
        }
        filing.transaction->SetReturnBody(filing.ReturnBody());
        int status = 0;
        filing.transaction->SubmitReturn(status);
        connections = filing.sandbox.ConnectionCount();
    }
    state.SetLabel("connections=" + std::to_string(connections));
}
BENCHMARK(FilingConnections)->Iterations(3)->Unit(benchmark::kMillisecond);

}  // namespace
