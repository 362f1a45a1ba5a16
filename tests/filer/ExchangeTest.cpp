// Every exchange of the filer with HMRC, one file per case in tests/data/exchanges (its README
// gives the format): a filing session against the sandbox is brought to a starting state, the
// sandbox is told how to answer, the agent's steps run, and what the sandbox received, what the
// agent was shown, the files and log left and the steps offered are compared with the file.
#include <httplib.h>

#include <fstream>
#include <map>
#include <thread>

#include "AtomicFile.h"
#include "FilingJournal.h"
#include "FilingSession.h"
#include "JournalSettling.h"
#include "Log.h"
#include "ResultsDialog.h"
#include "SandboxHome.h"
#include "Tokens.h"
#include "UiRecorder.h"

namespace calvenor::test {
namespace {

namespace fs = std::filesystem;
using Lines = std::vector<std::string>;
using Sections = std::map<std::string, Lines>;

const char* const kBeeps[] = {"none", "information", "exclamation", "question"};
const char* const kIcons[] = {"", " information", " warning", " critical", " question"};
// The sandbox's fault kinds, in their order, by the names its control endpoint gives them.
const char* const kFaults[] = {
    "respond",        "stall",    "drop-after-headers",  "drop-mid-body", "drop-without-answer",
    "oversized-body", "throttle", "drop-before-handling"};

std::vector<std::pair<std::string, Sections>> ReadExchangeFiles() {
    std::vector<std::pair<std::string, Sections>> files;
    for (const auto& entry : fs::directory_iterator(TestData("exchanges"))) {
        std::ifstream in(entry.path());
        std::string section;
        if (entry.path().extension() == ".exchange")
            files.emplace_back(entry.path().stem().string(), Sections());
        for (std::string line; !files.empty() && std::getline(in, line);) {
            if (line.starts_with('[') && line.ends_with(']'))
                files.back().second[section = line.substr(1, line.size() - 2)];
            else if (!line.empty() && !line.starts_with('#'))
                files.back().second[section].push_back(line);
        }
    }
    return files;
}

// "key: value" as key and value; a line without ": " is all key.
std::pair<std::string, std::string> Split(const std::string& line) {
    const auto colon = line.find(": ");
    return {line.substr(0, colon), colon == std::string::npos ? "" : line.substr(colon + 2)};
}

// `actual` against the file's lines, joined so a failure shows both; "..." in a line of the file
// stands for any text, so the line matches any that begins and ends as it does.
void ExpectLines(Lines actual, const Lines& expected, const std::string& section) {
    std::string got, wanted;
    for (std::size_t i = 0; i < actual.size(); ++i) {
        const std::string want = i < expected.size() ? expected[i] : "";
        const auto dots = want.find("...");
        if (dots != std::string::npos && actual[i].size() + 3 >= want.size() &&
            actual[i].starts_with(want.substr(0, dots)) &&
            actual[i].ends_with(want.substr(dots + 3)))
            actual[i] = want;
        got += actual[i] + "\n";
    }
    for (const std::string& line : expected)
        wanted += line + "\n";
    EXPECT_EQ(got, wanted) << "[" << section << "]";
}

// An HTTPS server whose certificate no one trusts.
struct UntrustedServer {
    UntrustedServer() : server(Pem().c_str(), Pem().c_str()) {
        port = server.bind_to_any_port("127.0.0.1");
        thread = std::thread([this] { server.listen_after_bind(); });
        while (!server.is_running())
            std::this_thread::yield();
    }
    ~UntrustedServer() { server.stop(), thread.join(); }
    static std::string Pem() { return TestData("exchanges/untrusted-server.pem").string(); }
    httplib::SSLServer server;
    int port = 0;
    std::thread thread;
};

class Exchange : public SandboxHomeTest,
                 public testing::WithParamInterface<std::pair<std::string, Sections>> {
protected:
    void SetUp() override {
        SandboxHomeTest::SetUp();
        CLog::ResetForTesting();
        fs::create_directories(m_odd / "rün dir");
        WriteFile(m_odd / "agent profile é.json", SandboxProfile());
        Restart();
    }
    void TearDown() override { SetBeforeRenameHookForTesting({}), CLog::ResetForTesting(); }

    CTransaction& T() { return m_session->Transaction(); }
    static std::string TokenFile() { return CTokens::FilePath(); }
    void Restart() {
        m_session.reset();  // one transport per process
        m_session = std::make_unique<CFilingSession>(LoadAgentProfile());
        T().GetTransport().SetLimits({2000, 2000, 256 * 1024, 1024 * 1024});  // see Arm
        m_url.clear(), m_code.clear(), m_periods.clear();
    }
    // Puts a step's outcome in the boxes and keeps its messages as the agent saw them.
    void Show(const CFilingSession::Result& result) {
        m_url = result.url.value_or(m_url);
        m_code = result.clearCode ? "" : m_code;
        m_periods = result.periods.value_or(m_periods);
        for (const UserMessage& m : result.messages)
            m_shown.push_back((m.title.empty() ? "Error" : m.title) + " | " +
                              kBeeps[static_cast<int>(m.beep)] + kIcons[static_cast<int>(m.icon)] +
                              " | " + m.text);
    }
    void Type(const std::string& code) { m_code = code, m_session->CodeEdited(); }

    // Enter VAT Return Figures with kFigures, Submit, the results window, the list once more.
    void File() {
        std::vector<UserMessage> refusal;
        const bool begun = m_session->BeginFiling(&refusal);
        Show({{}, false, {}, refusal});
        if (!begun)
            return m_periods.clear();
        SetBoxTexts(m_figures, kFigures);
        const CFilingSession::Submission submission = m_session->Submit(m_figures);
        if (submission.results) {
            CResultsDialog results;
            results.SetResults(*submission.results);
            results.show();  // writes the automatic copy
            results.close();
            m_shown.push_back("results: " + submission.results->title);
            for (const std::string& line : submission.results->receiptLines)
                m_shown.push_back("receipt:" + (line.empty() ? "" : " " + line));
        }
        Show(submission);
        Show(m_session->ListAfterFiling(m_company, m_companyText));
        m_periods.clear();  // the window's list is emptied whatever happened
    }

    // An entry for the chosen client's 18A1 as a lost submission left it: "unknown", "sending",
    // or "differs" (unknown, with a box 1 other than what was filed).
    void Journal(const std::string& state) {
        BoxTexts figures = kFigures;
        figures[0] = state == "differs" ? "99.00" : figures[0];
        std::vector<UserMessage> said;
        const auto entry = journal::BeforeSending(m_companyText.substr(0, 9), m_companyText, "18A1",
                                                  "2018-01-01", "2018-03-31", figures, said);
        ASSERT_TRUE(entry);
        if (state != "sending")
            journal::AfterSending(*entry, false, false, {}, said);
    }

    // One of the agent's steps (the README lists them), with its argument.
    void Step(const std::string& line) {
        const auto [step, arg] = Split(line);
        if (step == "restart")
            Restart();
        else if (step == "datafolder")  // blocked
            WriteFile(m_odd / "Dätä folder", "not a folder");
        else if (step == "writes")  // interrupted
            SetBeforeRenameHookForTesting([](const fs::path&) { return false; });
        else if (step == "credentials")
            T().SetClientCredentials(Split(arg).first, Split(arg).second);
        else if (step == "service")
            T().SetServiceBaseUrl(m_sandbox.BaseUrl() + arg);
        else if (step == "start")
            Show(m_session->StartAuthorisation());
        else if (step == "copy")
            m_session->BrowserLaunched(arg != "refused"), Type("");
        else if (step == "type")
            Type(arg);
        else if (step == "grant")
            Type(m_secrets.emplace_back(m_sandbox.GrantCode()));
        else if (step == "ok")
            Show(m_session->ExchangeCode(m_code));
        else if (step == "authorise")
            Step("start"), Step("copy"), Step("grant"), Step("ok");
        else if (step == "expire")
            m_sandbox.ExpireAccessTokens();
        else if (step == "open")
            m_sandbox.SetObligations(arg, {kOpen});
        else if (step == "company")
            m_company = 1, m_companyText = arg, m_periods.clear();
        else if (step == "obligations")
            Show(m_session->GetObligations(m_company, m_companyText));
        else if (step == "file")
            File();
        else if (step == "again")  // the same figures submitted once more for the same period
            Show(m_session->Submit(m_figures));
        else if (step == "journal" && arg == "blocked")
            WriteFile(m_odd / "Dätä folder" / "Journal", "not a folder");
        else if (step == "journal" && arg == "damaged")
            fs::create_directories(m_odd / "Dätä folder" / "Journal"),
                WriteFile(CFilingJournal::DefaultPath(), "{\"entries\":[{\"vrn\"");
        else if (step == "journal")  // the last submission for the chosen client's 18A1
            Journal(arg);
        else if (step == "forget")
            CFilingSession::DeleteTokenFile();
        else
            ADD_FAILURE() << "unknown step " << line;
        m_secrets.push_back(T().GetAccessToken()), m_secrets.push_back(T().GetRefreshToken());
    }

    // The fault the sandbox meets the action with at "path:" (a stall outlasts the lowered
    // time-outs, an oversized body the lowered cap), or the server that answers in its place.
    void Arm(const Lines& lines) {
        std::string path;
        sandbox::Fault fault;
        fault.delay = std::chrono::seconds(4);
        fault.bodyBytes = 1024 * 1024;
        for (const std::string& line : lines) {
            const auto [key, value] = Split(line);
            if (key == "server" && value == "untrusted")
                m_untrusted.emplace();
            if (key == "server")  // "refused": nothing listens there
                T().SetServiceBaseUrl(m_untrusted
                                          ? "https://127.0.0.1:" + std::to_string(m_untrusted->port)
                                          : "http://127.0.0.1:1");
            path = key == "path" ? value : path;
            if (key == "fault")
                fault.kind = static_cast<sandbox::Fault::Kind>(
                    std::find(std::begin(kFaults), std::end(kFaults), value) - kFaults);
            if (key == "status" || key == "times")
                (key == "status" ? fault.status : fault.times) = std::stoi(value);
            if (key == "header")
                fault.headers.push_back(Split(value));
            if (key == "body")
                fault.body = value;
        }
        if (!path.empty())
            m_sandbox.ArmFault(path, fault);
    }

    // A section of the file, each line with its escapes (\r \n \t) and placeholders replaced.
    Lines Section(const std::string& name) {
        const auto filed = m_sandbox.FiledReturns();
        const std::pair<std::string, std::string> values[] = {
            {"\\r", "\r"},
            {"\\n", "\n"},
            {"\\t", "\t"},
            {"<base>", m_sandbox.BaseUrl()},
            {"<data>", (m_odd / "Dätä folder").string()},
            {"<access>", T().GetAccessToken()},
            {"<tokenfile>", TokenFile()},
            {"<receipt-id>", filed.empty() ? "(none filed)" : filed.back().receiptId}};
        Lines lines = GetParam().second.contains(name) ? GetParam().second.at(name) : Lines();
        for (std::string& text : lines)
            for (const auto& [from, to] : values)
                for (auto at = text.find(from); at != std::string::npos; at = text.find(from, at))
                    text.replace(at, from.size(), to), at += to.size();
        return lines;
    }

    std::string m_url, m_code, m_companyText = "100000001";
    int m_company = 0;
    ReturnFigures m_figures;
    Lines m_periods, m_shown, m_secrets = {std::string(sandbox::kDemoClientSecret)};
    std::optional<UntrustedServer> m_untrusted;
    CUiRecorder m_recorder;  // nothing here may open a real box
    const fs::path m_odd = m_home.Root() / "Dössier mit Leerzeichen";
    ScopedEnv m_data{"CALVENOR_DATA_DIR", (m_odd / "Dätä folder").string()};
    ScopedEnv m_logFolder{"XDG_RUNTIME_DIR", (m_odd / "rün dir").string()};
    ScopedEnv m_profilePath{"CALVENOR_PROFILE", (m_odd / "agent profile é.json").string()};
    std::unique_ptr<CFilingSession> m_session;
};

TEST_P(Exchange, GivesWhatItsFileSays) {
    for (const std::string& line : Section("given"))
        Step(line);
    const std::string before = ReadFile(TokenFile());
    fs::remove(m_odd / "rün dir" / "Calvenor.log");
    m_sandbox.ClearReceived(), m_shown.clear();
    Arm(Section("answer"));
    for (const std::string& line : Section("action"))
        Step(line);

    // What the sandbox received, in order: "METHOD target", then what that request holds
    // ("Name: value", "!Name" for a header it must not have, "body: ..." for the whole body).
    const auto received = m_sandbox.Received();
    Lines requests;
    std::size_t count = 0;
    for (const std::string& line : Section("requests")) {
        const auto [name, value] = Split(line);
        const auto* request = count && count <= received.size() ? &received[count - 1] : nullptr;
        const auto header = request ? request->Header(name.substr(name[0] == '!')) : std::nullopt;
        if (line.starts_with("GET ") || line.starts_with("POST "))
            requests.push_back(++count > received.size()
                                   ? "(nothing)"
                                   : received[count - 1].method + " " + received[count - 1].target);
        else
            requests.push_back(name == "body" && request ? name + ": " + request->body
                               : header                  ? name + ": " + *header
                               : name[0] == '!'          ? name
                                                         : name + " (none)");
    }
    for (std::size_t i = count; GetParam().second.contains("requests") && i < received.size(); ++i)
        requests.push_back("also " + received[i].method + " " + received[i].target);
    ExpectLines(requests, Section("requests"), "requests");

    // What the agent saw: each message ("title | beep [icon] | text"), or the results window and
    // every line of its receipt.
    ExpectLines(m_shown, Section("shown"), "shown");

    // The token file ("tokens:" "gone", "empty": the empty set the store starts with, "kept" as
    // before, "new": the set in use, or its bytes) and the automatic copies ("copies:", none
    // unless said), the only other files there may be.
    const std::string now = fs::exists(TokenFile()) ? ReadFile(TokenFile()) : "";
    const std::string inUse = T().GetAccessToken() + "|" + T().GetRefreshToken() + "|" +
                              std::to_string(T().GetExpiresIn());
    // The journal ("journal:" the state of the chosen client's 18A1, or "none") and the figure
    // files of returns found not filed ("figures:"), apart from the copies.
    int copies = 0, figures = 0;
    std::error_code error;
    for (const auto& entry : fs::recursive_directory_iterator(m_odd / "Dätä folder", error)) {
        const bool journal = entry.path().parent_path().filename() == "Journal";
        const bool figure = entry.path().extension() == ".csv";
        figures += figure;
        copies += entry.is_regular_file() && entry.path() != TokenFile() && !journal && !figure;
    }
    const std::string states[] = {"sending", "filed", "refused", "unknown", "not-filed"};
    std::string problem;
    const auto entry = CFilingJournal().Find(m_companyText.substr(0, 9), "18A1", problem);
    Lines expected = Section("files"), files;
    if (std::none_of(expected.begin(), expected.end(), [](auto& l) { return l[0] == 'c'; }))
        expected.push_back("copies: 0");
    for (const std::string& line : expected)
        files.push_back(
            line[0] == 'c'   ? "copies: " + std::to_string(copies)
            : line[0] == 'f' ? "figures: " + std::to_string(figures)
            : line[0] == 'j'
                ? "journal: " + (entry
                                     ? states[static_cast<int>(entry->state)] +
                                           (entry->receiptId.empty() ? "" : " " + entry->receiptId)
                                     : "none")
            : !fs::exists(TokenFile()) ? "tokens: gone"
            : now == "||0"             ? "tokens: empty"
            : now == before            ? "tokens: kept"
            : now == inUse             ? "tokens: new"
                                       : "tokens: " + now);
    ExpectLines(files, expected, "files");

    // Entries the log must hold ("Class::Method : message"); and no secret, there or in any file
    // but the token file and the profile.
    const std::string logged = ReadFile(m_odd / "rün dir" / "Calvenor.log");
    for (const std::string& line : Section("log"))
        EXPECT_NE(logged.find(" : " + line + "\r\n"), std::string::npos) << line;
    for (const auto& entry : fs::recursive_directory_iterator(m_home.Root())) {
        const bool open = entry.is_regular_file() && entry.path() != TokenFile() &&
                          entry.path().filename() != "agent profile é.json";
        const std::string content = open ? ReadFile(entry.path()) : "";
        for (const std::string& secret : m_secrets)
            EXPECT_TRUE(secret.size() < 8 || content.find(secret) == std::string::npos)
                << secret << " in " << entry.path();
    }

    // The steps offered ("enabled:"), the URL box ("url:") and the period list ("periods:",
    // entries joined by " | "); "none" for nothing.
    const auto c = m_session->Possible({!m_url.empty(), !m_code.empty(), !m_periods.empty()});
    const std::pair<bool, const char*> offered[] = {
        {c.startAuthorisation, "start"},   {c.copy, "copy"},    {c.code, "code"}, {c.codeOk, "ok"},
        {c.getObligations, "obligations"}, {c.enterVat, "file"}};
    Lines controls;
    for (const std::string& line : Section("controls")) {
        const std::string key = Split(line).first;
        std::string text = key == "url" ? m_url : "";
        for (const auto& [on, name] : offered)
            text += key == "enabled" && on ? (text.empty() ? "" : " ") + std::string(name) : "";
        for (const std::string& period : key == "periods" ? m_periods : Lines())
            text += (text.empty() ? "" : " | ") + period;
        controls.push_back(key + ": " + (text.empty() ? "none" : text));
    }
    ExpectLines(controls, Section("controls"), "controls");
}

INSTANTIATE_TEST_SUITE_P(Files, Exchange, testing::ValuesIn(ReadExchangeFiles()),
                         [](const auto& info) { return info.param.first; });

}  // namespace
}  // namespace calvenor::test
