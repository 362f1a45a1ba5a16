#include <openssl/evp.h>
#include <openssl/x509.h>

#include <httplib.h>

#include "FilerWindowTest.h"

// Every HMRC operation meets every fault through the main window: each fails through its own
// path with its own message, nothing hangs past the lowered time-out, the window offers the right
// next step, and the stored files are as they should be.
namespace calvenor::test {
namespace {

using Kind = Fault::Kind;

enum class Op { Authorise, Exchange, Refresh, Obligations, Submit };
enum class Server { Sandbox, Refused, Untrusted };  // who answers the operation
enum class Tokens { None, Kept, Gone };             // the token set after the failure

const CurlLimits kLowered{2000, 1500, 256 * 1024, 1024 * 1024};

Fault Make(Kind kind, int status = 500, std::string body = {}, int times = 1,
           std::vector<std::pair<std::string, std::string>> headers = {}) {
    Fault fault;
    fault.kind = kind;
    fault.status = status;
    fault.body = std::move(body);
    fault.headers = std::move(headers);
    fault.delay = std::chrono::milliseconds(4000);  // well past the lowered total time-out
    fault.bodyBytes = 1024 * 1024;                  // past the lowered body cap
    fault.times = times;
    return fault;
}
const Fault k500 = Make(Kind::Respond, 500,
                        R"({"code":"INTERNAL_SERVER_ERROR","message":"Internal server error"})");
const Fault k503 = Make(Kind::Respond, 503, "<html><body>Service Unavailable</body></html>", 1,
                        {{"Content-Type", "text/html"}});
const Fault k429 = Make(Kind::Throttle);
// Every attempt: libcurl resends a GET whose reused connection died before any answer.
const Fault kDrop = Make(Kind::DropWithoutAnswer, 500, {}, 10);
const Fault kStall = Make(Kind::Stall);
const Fault kNone{};  // nothing armed: another server answers
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
const char* const kNoObligationsTitle = "Failed to retrieve Obligations";
const char* const kUnknown = "An Unknown Error Occurred";
const char* const kComms = "COMMUNICATIONS ERROR";
const char* const kCertificate = "SSL Certificate Error";
const std::string kMayHaveFiledNote =
    "\n\nHMRC may have received this return before the connection failed. Use Get Obligations "
    "before filing again: a period that is no longer listed has been filed.";
const std::string kMayHaveFiled = kUnknown + kMayHaveFiledNote;
const std::string kThrottled =
    "code : MESSAGE_THROTTLED_OUT\rmessage : The request for the API is throttled as you have "
    "exceeded your quota.";
const char* const kFailedResults = "VAT Submission Results : An ERROR Occurred";
const char* const kFiled = "VAT Submission Results : Success";
const char* const kIncomplete =
    "HMRC's answer arrived incomplete: the Receipt Id above is the proof that this return was "
    "filed.\n";
const std::string kInvalidCredentials =
    R"({"code":"INVALID_CREDENTIALS","message":"Invalid Authentication information provided"})";

struct Cell {
    const char* name;
    Op op;
    Fault fault;
    std::string title;  // the message's shown title, or the results window's caption
    std::string shown;  // the message's text, or an excerpt of the receipt shown
    Tokens tokens;
    std::size_t copies = 0;  // automatic copies of a receipt
    Server server = Server::Sandbox;
    std::vector<std::string> logged = {};  // "Class::Method : message", or the handler's message
};

constexpr auto kKept = Tokens::Kept, kGone = Tokens::Gone, kNoTokens = Tokens::None;
constexpr auto kRefused = Server::Refused, kUntrusted = Server::Untrusted;

// clang-format off
const Cell kCells[] = {
    {"Authorise500", Op::Authorise, Make(Kind::Respond, 500, R"({"code":"INTERNAL_SERVER_ERROR","message":"Internal server error",
        "errors":[{"code":"X","message":"y","path":"/z"}]})"), "Error",
     "Internal Server Error\rcode : INTERNAL_SERVER_ERROR\rmessage : Internal server error\r\tcode : X\r\tmessage : y\r\tpath : /z", kNoTokens},
    {"Authorise503Html", Op::Authorise, k503, kComms, "Service Unavailable", kNoTokens},
    {"Authorise429", Op::Authorise, k429, "Error", "Too Many Requests\r" + kThrottled, kNoTokens},
    {"AuthoriseSeeOther", Op::Authorise, Make(Kind::Respond, 303, "{}", 1, {{"Location", "http://127.0.0.1:1/x"}}),
     "Error", kUnknown, kNoTokens},
    {"AuthoriseDropped", Op::Authorise, kDrop, kComms, kUnknown, kNoTokens},
    {"AuthoriseStalled", Op::Authorise, kStall, kComms, kUnknown, kNoTokens},
    {"AuthoriseMalformed", Op::Authorise, Malformed(400), kComms, "Unauthorized", kNoTokens},
    {"AuthoriseOversized", Op::Authorise, Oversized(200), kComms, kUnknown, kNoTokens},
    {"AuthoriseRefused", Op::Authorise, kNone, kComms, "Unable to Connect to server", kNoTokens, 0, kRefused},
    {"AuthoriseUntrusted", Op::Authorise, kNone, kComms, kCertificate, kNoTokens, 0, kUntrusted},

    {"Exchange500", Op::Exchange, k500, "Error",
     "HTTP code = 500\r\ncode : INTERNAL_SERVER_ERROR\r\nmessage : Internal server error\r\n", kNoTokens},
    {"Exchange400", Op::Exchange, Make(Kind::Respond, 400, R"({"error":"invalid_grant","error_description":"code is invalid"})"),
     "Error", "HTTP code = 400\r\nerror : invalid_grant\r\nerror_description : code is invalid\r\n", kNoTokens},
    // Only 200 carries tokens.
    {"Exchange201", Op::Exchange, Make(Kind::Respond, 201, R"({"access_token":"a","refresh_token":"r","expires_in":14400})"),
     "Error", "HTTP code = 201\r\n", kNoTokens},
    {"Exchange503Html", Op::Exchange, k503, "Error", "HTTP code = 503\r\n", kNoTokens},
    {"Exchange429", Op::Exchange, k429, "Error",
     "HTTP code = 429\r\ncode : MESSAGE_THROTTLED_OUT\r\nmessage : The request for the API is "
     "throttled as you have exceeded your quota.\r\n", kNoTokens},
    // No answer: the communication text, as for every other call.
    {"ExchangeDropped", Op::Exchange, kDrop, "Error", kUnknown, kNoTokens},
    {"ExchangeStalled", Op::Exchange, kStall, "Error", kUnknown, kNoTokens},
    {"ExchangeMalformed", Op::Exchange, Malformed(200), "Error", "HTTP code = 200\r\n", kNoTokens},
    {"ExchangeOversized", Op::Exchange, Oversized(200), "Error", kUnknown, kNoTokens},
    {"ExchangeUntrusted", Op::Exchange, kNone, "Error", kCertificate, kNoTokens, 0, kUntrusted},

    // Only a refusal of the token itself deletes the token file.
    {"Refresh400", Op::Refresh, Make(Kind::Respond, 400, R"({"error":"invalid_grant","error_description":"refresh_token is invalid"})"),
     "Error", kRejected, kGone, 0, Server::Sandbox,
     {"Error. LastHttpCode = 400", "Error. ResponseCode = invalid_grant", "Error. Message = refresh_token is invalid"}},
    {"Refresh401", Op::Refresh, Make(Kind::Respond, 401, "{}"), "Error", kRejected, kGone, 0, Server::Sandbox,
     {"Error. LastHttpCode = 401"}},
    {"Refresh500", Op::Refresh, k500, "Error", kServerError, kKept, 0, Server::Sandbox, {"Error. LastHttpCode = 500"}},
    {"Refresh503Html", Op::Refresh, k503, "Error", kServerError, kKept},
    {"Refresh429", Op::Refresh, k429, "Error", kServerError, kKept},
    {"RefreshDropped", Op::Refresh, kDrop, "Error", kUnknown, kKept},
    {"RefreshStalled", Op::Refresh, kStall, "Error", kUnknown, kKept},
    {"RefreshMalformed", Op::Refresh, Malformed(200), "Error", kRejected, kGone},
    {"RefreshOversized", Op::Refresh, Oversized(200), "Error", kUnknown, kKept},
    {"RefreshRefused", Op::Refresh, kNone, "Error", "Unable to Connect to server", kKept, 0, kRefused,
     {"Error. LastHttpCode = 0"}},
    {"RefreshUntrusted", Op::Refresh, kNone, "Error", kCertificate, kKept, 0, kUntrusted},

    // A failed retrieval returns to the start; only HMRC's word that the token is bad deletes the
    // token file.
    {"Obligations401", Op::Obligations, Make(Kind::Respond, 401, "{}"), kNoObligationsTitle, kNoObligations, kGone},
    {"ObligationsInvalidCredentials", Op::Obligations, Make(Kind::Respond, 400, kInvalidCredentials),
     kNoObligationsTitle, kNoObligations, kGone},
    {"ObligationsInvalidToken", Op::Obligations, Make(Kind::Respond, 400, R"({"error":"invalid_token"})"),
     kNoObligationsTitle, kNoObligations, kGone},
    {"Obligations500", Op::Obligations, k500, kNoObligationsTitle, kNoObligations, kKept},
    {"Obligations503Html", Op::Obligations, k503, kNoObligationsTitle, kNoObligations, kKept, 0, Server::Sandbox,
     {"Token file kept: HMRC answered 503 without rejecting the token"}},
    {"Obligations429", Op::Obligations, k429, kNoObligationsTitle, kNoObligations, kKept},
    {"ObligationsDropped", Op::Obligations, kDrop, kNoObligationsTitle, kNoObligations, kKept, 0, Server::Sandbox,
     {"Token file kept: no answer from HMRC (communication error 11)"}},
    {"ObligationsStalled", Op::Obligations, kStall, kNoObligationsTitle, kNoObligations, kKept},
    {"ObligationsMalformed", Op::Obligations, Malformed(200), kNoObligationsTitle, kNoObligations, kKept},
    {"ObligationsOversized", Op::Obligations, Oversized(200), kNoObligationsTitle, kNoObligations, kKept},
    {"ObligationsUntrusted", Op::Obligations, kNone, kNoObligationsTitle, kNoObligations, kKept, 0, kUntrusted},

    // An answered submission opens the results window, whose automatic copy is the only record.
    {"Submit500", Op::Submit, k500, kFailedResults,
     "An Unknown Error Occurred\n\ncode : INTERNAL_SERVER_ERROR\nmessage : Internal server error\n", kKept, 1},
    {"Submit400", Op::Submit, Make(Kind::Respond, 400, R"({"code":"PERIOD_KEY_INVALID","message":"Invalid period key"})"),
     kFailedResults, "Bad Request\n\ncode : PERIOD_KEY_INVALID\nmessage : Invalid period key\n", kKept, 1},
    {"Submit503Html", Op::Submit, k503, kFailedResults, "Submisssion FAILED\n", kKept, 1},
    {"Submit429", Op::Submit, k429, kFailedResults, "An Unknown Error Occurred\n\ncode : MESSAGE_THROTTLED_OUT\n", kKept, 1},
    {"SubmitDropped", Op::Submit, kDrop, "Error", kMayHaveFiled, kKept},
    {"SubmitStalled", Op::Submit, kStall, "Error", kMayHaveFiled, kKept},
    // A 201 is a filed return, whatever follows it: the receipt shows what arrived.
    {"SubmitMalformed", Op::Submit, Malformed(201), kFiled, kIncomplete, kKept, 1},
    {"SubmitOversized", Op::Submit, Oversized(201), kFiled, kIncomplete, kKept, 1},
    {"SubmitCutAfterHeaders", Op::Submit, Make(Kind::DropAfterHeaders), kFiled, kIncomplete, kKept, 1},
    {"SubmitCutMidBody", Op::Submit, Make(Kind::DropMidBody), kFiled, kIncomplete, kKept, 1, Server::Sandbox,
     {"CTransaction::SubmitReturn : HMRC's answer was incomplete; the Receipt-ID is the proof of filing"}},
    {"SubmitUntrusted", Op::Submit, kNone, "Error", kCertificate + kMayHaveFiledNote, kKept, 0, kUntrusted},
};
// clang-format on

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

class FaultMatrix : public FilerWindowTest, public testing::WithParamInterface<Cell> {
protected:
    // Brings the window to the moment before the operation.
    void Prepare(Op op) {
        switch (op) {
            case Op::Authorise:
                break;
            case Op::Exchange:
                Button("startAuthorisationButton")->click();
                Button("copyButton")->click();
                m_code = QString::fromStdString(m_sandbox.GrantCode());
                Edit("codeEdit")->setText(m_code);
                break;
            case Op::Refresh:
                AuthoriseByCode();
                Open();  // the next run finds the token file
                break;
            case Op::Obligations:
                AuthoriseByCode();
                ChooseCompany("100000001");
                break;
            case Op::Submit:
                ReadyToFile();
                break;
        }
    }

    void Run(Op op, bool results) {
        switch (op) {
            case Op::Authorise:
            case Op::Refresh:
                return Button("startAuthorisationButton")->click();
            case Op::Exchange:
                return Button("codeOkButton")->click();
            case Op::Obligations:
                return Button("getObligationsButton")->click();
            case Op::Submit:
                std::vector<ModalStep> steps = {kType, kSubmit};
                if (results)
                    steps.push_back(AtResults([this](CResultsDialog& window) {
                        m_resultsTitle = window.windowTitle().toStdString();
                        m_receipt = window.ReceiptBox()->toPlainText().toStdString();
                    }));
                AnswerModals(std::move(steps));
                return Button("enterVatButton")->click();
        }
    }

    // What the window offers after the failure; which controls are enabled is the state
    // table's business.
    void ExpectNextStep(const Cell& cell) {
        switch (cell.op) {
            case Op::Authorise:
                EXPECT_TRUE(Edit("urlEdit")->text().isEmpty());
                EXPECT_TRUE(m_recorder.ClipboardText().isEmpty());
                break;
            case Op::Exchange:  // the code stays for another try once it is changed
                EXPECT_EQ(Edit("codeEdit")->text(), m_code);
                break;
            case Op::Refresh:
                if (cell.tokens == Tokens::Gone)
                    ExpectBackAtStart(false);
                break;
            case Op::Obligations:
                EXPECT_TRUE(Edit("codeEdit")->text().isEmpty());
                return ExpectBackAtStart(cell.tokens == Tokens::Kept);
            case Op::Submit:  // never sent again on its own (a stalled one arrives late)
                int posted = 0;
                for (const auto& request : m_sandbox.Received())
                    posted += request.method == "POST" && request.Path().ends_with("/returns");
                EXPECT_LE(posted, 1);
                break;
        }
    }

    // The files in the data folder besides the token file: automatic copies, and never a receipt
    // file or a temporary file left by an interrupted write.
    std::vector<std::string> DataFiles() const {
        std::vector<std::string> files;
        std::error_code error;
        for (const auto& entry : fs::recursive_directory_iterator(m_home.DataFolder(), error))
            if (entry.is_regular_file() && entry.path() != TokenFile())
                files.push_back(fs::relative(entry.path(), m_home.DataFolder()).string());
        return files;
    }

    QString m_code;
    std::string m_resultsTitle, m_receipt;
};

TEST_P(FaultMatrix, FailsThroughItsOwnPathAndKeepsTheFiles) {
    const Cell& cell = GetParam();
    Prepare(cell.op);
    const bool hadTokens = fs::exists(TokenFile());
    const std::string tokensBefore = hadTokens ? ReadFile(TokenFile()) : std::string();
    m_recorder.ClearRecords();
    m_sandbox.ClearReceived();
    m_window->Session().Transaction().GetTransport().SetLimits(kLowered);
    std::optional<CSelfSignedServer> untrusted;
    if (cell.server == Server::Untrusted)
        untrusted.emplace();
    if (cell.server == Server::Sandbox) {
        const char* paths[] = {"/oauth/authorize", "/oauth/token", "/oauth/token",
                               "/organisations/vat/100000001/obligations",
                               "/organisations/vat/100000001/returns"};
        m_sandbox.ArmFault(paths[static_cast<int>(cell.op)], cell.fault);
    } else {
        m_window->Session().Transaction().SetServiceBaseUrl(untrusted ? untrusted->BaseUrl()
                                                            : "http://127.0.0.1:1");
    }

    const bool results = cell.title.starts_with("VAT Submission Results");
    Run(cell.op, results);
    if (results) {
        EXPECT_EQ(m_resultsTitle, cell.title);
        EXPECT_NE(m_receipt.find(cell.shown), std::string::npos) << m_receipt;
        // A return the sandbox filed shows its receipt reference, however the answer ended.
        for (const auto& filed : m_sandbox.FiledReturns())
            EXPECT_NE(m_receipt.find("Receipt Id : " + filed.receiptId), std::string::npos);
    } else {
        const bool retrieval = cell.op == Op::Obligations;
        ExpectMessage(0, cell.title, cell.shown,
                      retrieval ? BeepKind::Information : BeepKind::Exclamation);
        if (retrieval) {
            EXPECT_EQ(m_recorder.Messages()[0].icon, MessageIcon::Warning);
        }
    }
    const char* const handlers[] = {"", "", "OnBnClickedButtonStartAuth", "ReturnToStart", ""};
    for (std::string line : cell.logged) {
        if (line.find("::") == std::string::npos)
            line =
                "CCalvenorDlg::" + std::string(handlers[static_cast<int>(cell.op)]) + " : " + line;
        EXPECT_TRUE(LogHas(m_home.LogPath(), line)) << line;
    }
    if (cell.server == Server::Untrusted) {
        EXPECT_EQ(untrusted->Requests(), 0);
        EXPECT_EQ(m_window->Session().Transaction().GetCommErrorCode(), 10);
    }

    const bool stored = fs::exists(TokenFile());
    switch (cell.tokens) {
        case Tokens::None:  // no file, or the empty set the token store starts with
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
    const std::vector<std::string> files = DataFiles();
    EXPECT_EQ(files.size(), cell.copies) << testing::PrintToString(files);
    for (const std::string& file : files)
        EXPECT_TRUE(file.starts_with("AutoSave/")) << file;
    m_sandbox.ClearFaults();
    ExpectNextStep(cell);
}

INSTANTIATE_TEST_SUITE_P(Cells, FaultMatrix, testing::ValuesIn(kCells),
                         [](const auto& info) { return std::string(info.param.name); });

}  // namespace
}  // namespace calvenor::test
