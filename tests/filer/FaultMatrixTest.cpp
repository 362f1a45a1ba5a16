#include <openssl/evp.h>
#include <openssl/x509.h>

#include <QPlainTextEdit>

#include "FilingWindows.h"
#include "SandboxWindowTest.h"

// Every HMRC operation meets every fault through the main window: each fails through its own
// path, nothing hangs past the lowered time-out, and the stored files are as they should be.
namespace calvenor::test {
namespace {

namespace fs = std::filesystem;
using calvenor::sandbox::Fault;
using calvenor::sandbox::Obligation;
using Kind = Fault::Kind;

enum class Op { Authorise, Exchange, Refresh, Obligations, Submit };

const CurlLimits kLowered{2000, 1500, 256 * 1024, 1024 * 1024};
const Obligation kOpen{{2018, 1, 1}, {2018, 3, 31}, {2018, 5, 7}, false, "18A1", std::nullopt};

Fault Make(Kind kind, int status = 500, std::string body = {}) {
    Fault fault;
    fault.kind = kind;
    fault.status = status;
    fault.body = std::move(body);
    fault.delay = std::chrono::milliseconds(4000);  // well past the lowered total time-out
    fault.bodyBytes = 1024 * 1024;                  // past the lowered body cap
    return fault;
}
const Fault k500 = Make(Kind::Respond, 500,
                        R"({"code":"INTERNAL_SERVER_ERROR","message":"Internal server error"})");
const Fault k503 = [] {
    Fault fault = Make(Kind::Respond, 503, "<html><body>Service Unavailable</body></html>");
    fault.headers = {{"Content-Type", "text/html"}};
    return fault;
}();
const Fault k429 = Make(Kind::Throttle);
// Every attempt: libcurl resends a GET whose reused connection died before any answer.
const Fault kDrop = [] {
    Fault fault = Make(Kind::DropWithoutAnswer);
    fault.times = 10;
    return fault;
}();
const Fault kStall = Make(Kind::Stall);
Fault Malformed(int status) {
    return Make(Kind::Respond, status, R"({"obligations":[{"a")");
}
Fault Oversized(int status) {
    return Make(Kind::OversizedBody, status);
}

const char* const kServerError = "HMRC's server has reported an error.\nPlease try again later.";
const char* const kRejected =
    "There was an error with the stored authentication token,\nor the stored authority has "
    "expired.\nPlease re-authenticate.";
const char* const kNoObligations = "Error - Failed to retrieve Obligations";
const std::string kMayHaveFiledNote =
    "\n\nHMRC may have received this return before the connection failed. Use Get Obligations "
    "before filing again: a period that is no longer listed has been filed.";
const std::string kMayHaveFiled = "An Unknown Error Occurred" + kMayHaveFiledNote;
const char* const kThrottled =
    "code : MESSAGE_THROTTLED_OUT\rmessage : The request for the API is throttled as you have "
    "exceeded your quota.";
const char* const kFailedResults = "VAT Submission Results : An ERROR Occurred";

enum class Tokens {
    None,  // no token set stored (no file, or the empty set the token store starts with)
    Kept,  // the token file as it was before the operation
    Gone,  // deleted
};
constexpr Tokens kNone = Tokens::None, kKept = Tokens::Kept, kGone = Tokens::Gone;

struct Cell {
    const char* name;
    Op op;
    Fault fault;
    std::string title;  // the message's shown title, or the results window's caption
    std::string shown;  // the message's text, or an excerpt of the receipt shown
    Tokens tokens;
    std::size_t copies;
    friend void PrintTo(const Cell& cell, std::ostream* os) { *os << cell.name; }
};

// clang-format off
const Cell kCells[] = {
    {"Authorise500", Op::Authorise, k500, "Error",
     "Internal Server Error\rcode : INTERNAL_SERVER_ERROR\rmessage : Internal server error", kNone, 0},
    {"Authorise503Html", Op::Authorise, k503, "COMMUNICATIONS ERROR", "Service Unavailable", kNone, 0},
    {"Authorise429", Op::Authorise, k429, "Error", std::string("Too Many Requests\r") + kThrottled, kNone, 0},
    {"AuthoriseDropped", Op::Authorise, kDrop, "COMMUNICATIONS ERROR", "An Unknown Error Occurred", kNone, 0},
    {"AuthoriseStalled", Op::Authorise, kStall, "COMMUNICATIONS ERROR", "An Unknown Error Occurred", kNone, 0},
    {"AuthoriseMalformed", Op::Authorise, Malformed(400), "COMMUNICATIONS ERROR", "Unauthorized", kNone, 0},
    {"AuthoriseOversized", Op::Authorise, Oversized(200), "COMMUNICATIONS ERROR", "An Unknown Error Occurred", kNone, 0},

    {"Exchange500", Op::Exchange, k500, "Error",
     "HTTP code = 500\r\ncode : INTERNAL_SERVER_ERROR\r\nmessage : Internal server error\r\n", kNone, 0},
    {"Exchange503Html", Op::Exchange, k503, "Error", "HTTP code = 503\r\n", kNone, 0},
    {"Exchange429", Op::Exchange, k429, "Error",
     "HTTP code = 429\r\ncode : MESSAGE_THROTTLED_OUT\r\nmessage : The request for the API is "
     "throttled as you have exceeded your quota.\r\n", kNone, 0},
    {"ExchangeDropped", Op::Exchange, kDrop, "Error", "HTTP code = 0\r\n", kNone, 0},
    {"ExchangeStalled", Op::Exchange, kStall, "Error", "HTTP code = 0\r\n", kNone, 0},
    {"ExchangeMalformed", Op::Exchange, Malformed(200), "Error", "HTTP code = 200\r\n", kNone, 0},
    {"ExchangeOversized", Op::Exchange, Oversized(200), "Error", "HTTP code = 0\r\n", kNone, 0},

    {"Refresh500", Op::Refresh, k500, "Error", kServerError, kKept, 0},
    {"Refresh503Html", Op::Refresh, k503, "Error", kServerError, kKept, 0},
    {"Refresh429", Op::Refresh, k429, "Error", kServerError, kKept, 0},
    {"RefreshDropped", Op::Refresh, kDrop, "Error", "An Unknown Error Occurred", kKept, 0},
    {"RefreshStalled", Op::Refresh, kStall, "Error", "An Unknown Error Occurred", kKept, 0},
    {"RefreshMalformed", Op::Refresh, Malformed(200), "Error", kRejected, kGone, 0},
    {"RefreshOversized", Op::Refresh, Oversized(200), "Error", "An Unknown Error Occurred", kKept, 0},

    // A failed retrieval is taken as a lost authorisation: the token file goes.
    {"Obligations500", Op::Obligations, k500, "Failed to retrieve Obligations", kNoObligations, kGone, 0},
    {"Obligations503Html", Op::Obligations, k503, "Failed to retrieve Obligations", kNoObligations, kGone, 0},
    {"Obligations429", Op::Obligations, k429, "Failed to retrieve Obligations", kNoObligations, kGone, 0},
    {"ObligationsDropped", Op::Obligations, kDrop, "Failed to retrieve Obligations", kNoObligations, kGone, 0},
    {"ObligationsStalled", Op::Obligations, kStall, "Failed to retrieve Obligations", kNoObligations, kGone, 0},
    {"ObligationsMalformed", Op::Obligations, Malformed(200), "Failed to retrieve Obligations", kNoObligations, kGone, 0},
    {"ObligationsOversized", Op::Obligations, Oversized(200), "Failed to retrieve Obligations", kNoObligations, kGone, 0},

    // An answered submission opens the results window, whose automatic copy is the only record.
    {"Submit500", Op::Submit, k500, kFailedResults,
     "An Unknown Error Occurred\n\ncode : INTERNAL_SERVER_ERROR\nmessage : Internal server error\n", kKept, 1},
    {"Submit503Html", Op::Submit, k503, kFailedResults, "Submisssion FAILED\n", kKept, 1},
    {"Submit429", Op::Submit, k429, kFailedResults, "An Unknown Error Occurred\n\ncode : MESSAGE_THROTTLED_OUT\n", kKept, 1},
    {"SubmitDropped", Op::Submit, kDrop, "Error", kMayHaveFiled, kKept, 0},
    {"SubmitStalled", Op::Submit, kStall, "Error", kMayHaveFiled, kKept, 0},
    {"SubmitMalformed", Op::Submit, Malformed(201), "VAT Submission Results : Success", "Submisssion Successful\n", kKept, 1},
    {"SubmitOversized", Op::Submit, Oversized(201), "Error", kMayHaveFiled, kKept, 0},
};
// clang-format on

// The main window brought to one HMRC operation and made to run it.
class OperationTest : public SandboxWindowTest {
protected:
    // Brings the window to the moment before the operation.
    void Prepare(Op op) {
        switch (op) {
            case Op::Authorise:
                break;
            case Op::Exchange:
                Button("startAuthorisationButton")->click();
                Button("copyButton")->click();
                Edit("codeEdit")->setText(QString::fromStdString(m_sandbox.GrantCode()));
                break;
            case Op::Refresh:
                AuthoriseByCode();
                Open(ProfileFor(m_sandbox.BaseUrl()));  // the next run finds the token file
                break;
            case Op::Obligations:
                AuthoriseByCode();
                ChooseCompany(1);
                break;
            case Op::Submit:
                m_sandbox.SetObligations("100000001", {kOpen});
                AuthoriseByCode();
                ChooseCompany(1);
                Button("getObligationsButton")->click();
                ASSERT_TRUE(Button("enterVatButton")->isEnabled());
                break;
        }
    }

    void Run(Op op, bool resultsExpected) {
        switch (op) {
            case Op::Authorise:
            case Op::Refresh:
                return Button("startAuthorisationButton")->click();
            case Op::Exchange:
                return Button("codeOkButton")->click();
            case Op::Obligations:
                return Button("getObligationsButton")->click();
            case Op::Submit:
                AnswerFilingWindows(resultsExpected ? 3 : 2, [this](CResultsDialog& results) {
                    m_resultsTitle = results.windowTitle().toStdString();
                    m_receipt = results.ReceiptBox()->toPlainText().toStdString();
                });
                return Button("enterVatButton")->click();
        }
    }

    // Runs the operation; `title` and `shown` are what its failure shows: a message, or the
    // results window's caption and an excerpt of its receipt.
    void RunAndExpect(Op op, const std::string& title, const std::string& shown) {
        const bool results = title.starts_with("VAT Submission Results");
        Run(op, results);
        if (results) {
            EXPECT_EQ(m_resultsTitle, title);
            EXPECT_NE(m_receipt.find(shown), std::string::npos) << m_receipt;
        } else {
            ASSERT_FALSE(m_recorder.Messages().empty());
            EXPECT_EQ(m_recorder.Messages()[0].ShownTitle().toStdString(), title);
            EXPECT_EQ(m_recorder.Messages()[0].text.toStdString(), shown);
        }
    }

    std::size_t AutomaticCopies() const {
        const fs::path folder = m_home.DataFolder() / "AutoSave";
        std::size_t count = 0;
        for (const auto& entry :
             fs::directory_iterator(folder, fs::directory_options::none, m_error))
            count += entry.is_regular_file() ? 1 : 0;
        return count;
    }

    // Files in the data folder other than the token file and the automatic copies: a receipt
    // file or a temporary file left by an interrupted write.
    std::vector<std::string> StrayFiles() const {
        std::vector<std::string> stray;
        for (const auto& entry : fs::recursive_directory_iterator(m_home.DataFolder(), m_error)) {
            const fs::path relative = fs::relative(entry.path(), m_home.DataFolder());
            if (entry.is_regular_file() && relative != fs::path("TokDir/tokens.tok") &&
                relative.parent_path() != fs::path("AutoSave"))
                stray.push_back(relative.string());
        }
        return stray;
    }

    std::string m_resultsTitle, m_receipt;
    mutable std::error_code m_error;
};

class FaultMatrix : public OperationTest, public testing::WithParamInterface<Cell> {};

TEST_P(FaultMatrix, FailsThroughItsOwnPathAndKeepsTheFiles) {
    const Cell& cell = GetParam();
    Prepare(cell.op);
    const bool hadTokens = fs::exists(TokenFile());
    const std::string tokensBefore = hadTokens ? ReadFile(TokenFile()) : std::string();
    m_recorder.ClearRecords();
    m_window->Transaction().GetTransport().SetLimits(kLowered);
    const std::string vat = "/organisations/vat/100000001/";
    const char* paths[] = {"/oauth/authorize", "/oauth/token", "/oauth/token", "obligations",
                           "returns"};
    std::string path = paths[static_cast<int>(cell.op)];
    m_sandbox.ArmFault(path.starts_with("/") ? path : vat + path, cell.fault);

    RunAndExpect(cell.op, cell.title, cell.shown);
    const bool stored = fs::exists(TokenFile());
    switch (cell.tokens) {
        case Tokens::None:
            EXPECT_TRUE(!stored || ReadFile(TokenFile()) == "||0") << ReadFile(TokenFile());
            break;
        case Tokens::Kept:
            ASSERT_TRUE(hadTokens && stored);
            EXPECT_EQ(ReadFile(TokenFile()), tokensBefore);
            break;
        case Tokens::Gone:
            EXPECT_FALSE(stored);
            break;
    }
    EXPECT_EQ(AutomaticCopies(), cell.copies);
    EXPECT_EQ(StrayFiles(), std::vector<std::string>());
}

INSTANTIATE_TEST_SUITE_P(Cells, FaultMatrix, testing::ValuesIn(kCells),
                         [](const auto& info) { return std::string(info.param.name); });

// ---- TLS: a server whose certificate no one vouches for ----

// An HTTPS server on 127.0.0.1 with a self-signed certificate made at start; it counts every
// request that gets past the handshake.
class CSelfSignedServer {
public:
    CSelfSignedServer() : m_key(EVP_EC_gen("P-256"), EVP_PKEY_free), m_cert(X509_new(), X509_free) {
        X509_set_version(m_cert.get(), 2);
        ASN1_INTEGER_set(X509_get_serialNumber(m_cert.get()), 1);
        X509_gmtime_adj(X509_getm_notBefore(m_cert.get()), 0);
        X509_gmtime_adj(X509_getm_notAfter(m_cert.get()), 3600);
        X509_set_pubkey(m_cert.get(), m_key.get());
        X509_NAME* name = X509_get_subject_name(m_cert.get());
        X509_NAME_add_entry_by_txt(name, "CN", MBSTRING_ASC,
                                   reinterpret_cast<const unsigned char*>("127.0.0.1"), -1, -1, 0);
        X509_set_issuer_name(m_cert.get(), name);
        X509_sign(m_cert.get(), m_key.get(), EVP_sha256());
        m_server = std::make_unique<httplib::SSLServer>(m_cert.get(), m_key.get());
        m_server->set_keep_alive_max_count(1);
        m_server->set_pre_routing_handler([this](const httplib::Request&, httplib::Response&) {
            ++m_requests;
            return httplib::Server::HandlerResponse::Unhandled;
        });
        m_port = m_server->bind_to_any_port("127.0.0.1");
        m_thread = std::thread([this] { m_server->listen_after_bind(); });
        for (int i = 0; i < 5000 && !m_server->is_running(); ++i)
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    ~CSelfSignedServer() {
        m_server->stop();
        m_thread.join();
    }
    std::string BaseUrl() const { return "https://127.0.0.1:" + std::to_string(m_port); }
    int Requests() const { return m_requests.load(); }

private:
    std::unique_ptr<EVP_PKEY, decltype(&EVP_PKEY_free)> m_key;
    std::unique_ptr<X509, decltype(&X509_free)> m_cert;
    std::unique_ptr<httplib::SSLServer> m_server;
    int m_port = 0;
    std::thread m_thread;
    std::atomic<int> m_requests{0};
};

struct TlsCell {
    const char* name;
    Op op;
    std::string title;
    std::string shown;
    friend void PrintTo(const TlsCell& cell, std::ostream* os) { *os << cell.name; }
};

const char* const kCertificate = "SSL Certificate Error";

// clang-format off
const TlsCell kTlsCells[] = {
    // The journey's box shows the status text, which has none for a communication code.
    {"Authorise", Op::Authorise, "COMMUNICATIONS ERROR", "An Unknown Error Occurred"},
    {"Exchange", Op::Exchange, "Error", "HTTP code = 0\r\n"},  // this message shows no code
    {"Refresh", Op::Refresh, "Error", kCertificate},
    {"Obligations", Op::Obligations, "Failed to retrieve Obligations", kNoObligations},
    {"Submit", Op::Submit, "Error", kCertificate + kMayHaveFiledNote},
};
// clang-format on

class UntrustedCertificate : public OperationTest, public testing::WithParamInterface<TlsCell> {};

TEST_P(UntrustedCertificate, FailsThroughItsOwnPathBeforeAnyRequest) {
    CSelfSignedServer server;
    const TlsCell& cell = GetParam();
    Prepare(cell.op);
    m_recorder.ClearRecords();
    m_window->Transaction().SetServiceBaseUrl(server.BaseUrl());
    RunAndExpect(cell.op, cell.title, cell.shown);
    EXPECT_EQ(server.Requests(), 0);
    EXPECT_EQ(m_window->Transaction().GetCommErrorCode(), 10);
}

INSTANTIATE_TEST_SUITE_P(Operations, UntrustedCertificate, testing::ValuesIn(kTlsCells),
                         [](const auto& info) { return std::string(info.param.name); });

}  // namespace
}  // namespace calvenor::test
