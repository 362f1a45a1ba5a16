// What the sandbox answers to each request: one row per behaviour of HMRC's OAuth and VAT API,
// kept as data in tests/data/sandbox/contract.tsv.
#include <regex>
#include <sstream>

#include "SandboxFixture.h"

namespace calvenor::sandbox::test {
namespace {

const std::string kAuthorize =
    "response_type=code&client_id=calvenor-demo-client&scope=read:vat+write:vat&redirect_uri=urn:"
    "ietf:wg:oauth:2.0:oob";

// One line of tests/data/sandbox/contract.tsv (its head says what each column holds).
struct Row {
    std::string name, request, edits;
    int status = 0;
    std::string expect, headers, token;
    friend void PrintTo(const Row& row, std::ostream* os) { *os << row.name; }
};

std::vector<Row> Rows() {
    std::vector<Row> rows;
    for (const auto& c : ReadTable("contract.tsv", 7))
        rows.push_back({c[0], c[1], c[2], std::stoi(c[3]), c[4], c[5],
                        c[6].empty() ? "read:vat write:vat" : c[6]});
    return rows;
}

std::string Edited(const std::string& text, const std::string& edits) {
    std::string out = text, edit;
    for (std::istringstream in(edits); in >> edit;) {
        if (edit[0] == '-')
            out = std::regex_replace(out, std::regex("&?\\b" + edit.substr(1) + "=[^&]*"), "");
        else
            out += (out.empty() ? "" : "&") + edit.substr(1);
    }
    return out.starts_with('&') ? out.substr(1) : out;
}

std::string ReturnWith(const std::string& edits) {
    std::string body = ValidReturn();
    const std::regex edit(R"re("(\w+)":("[^"]*"|[^,]+))re");
    for (std::sregex_iterator it(edits.begin(), edits.end(), edit), end; it != end; ++it) {
        const std::regex old("(,?)\"" + (*it)[1].str() + R"re(":("[^"]*"|[^,}]+))re");
        body = std::regex_replace(body, old, (*it)[2] == "null" ? "" : "$1" + it->str());
    }
    return body;
}

class Contract : public SandboxFixture, public ::testing::WithParamInterface<Row> {};

TEST_P(Contract, AnswersAsHmrcDoes) {
    const Row& row = GetParam();
    const std::string request = row.request;
    std::string path = request.substr(request.find(' ') + 1);
    httplib::Headers headers;
    if (!row.headers.starts_with("none"))
        headers = Vat(Token(row.token));
    std::string line;
    for (std::istringstream in(row.headers); std::getline(in, line, '|');) {
        const std::string name = line.substr(0, line.find(':'));
        headers.erase(name);
        headers.emplace(name, line.substr(std::min(line.size(), name.size() + 2)));
    }
    m_server->AddApplication("second-app", "s3cr&t=x+y z", "Second");
    const auto answer = [&] {
        if (path == "/oauth/authorize")
            return m_client->Get((path + "?" + Edited(kAuthorize, row.edits)).c_str(), headers);
        if (request.starts_with("GET"))
            return m_client->Get(path.c_str(), headers);
        const bool form = path == "/oauth/token", edits = row.edits.empty() || row.edits[0] == '"';
        const std::string body = form    ? Edited(kCodeForm + m_server->GrantCode(), row.edits)
                                 : edits ? ReturnWith(row.edits)
                                         : row.edits;
        return m_client->Post(path.c_str(), headers, body,
                              form ? "application/x-www-form-urlencoded" : "application/json");
    }();
    ASSERT_TRUE(answer) << httplib::to_string(answer.error());
    EXPECT_EQ(answer->status, row.status) << answer->body;
    rapidjson::Document doc;
    doc.Parse(answer->body.c_str());
    std::string check;
    for (std::istringstream in(row.expect); std::getline(in, check, ';');) {
        const auto eq = check.find_first_of("=^");
        const std::string name = check.substr(0, eq), value = check.substr(eq + 1);
        std::string actual;
        if (name.starts_with('!'))
            actual = answer->has_header(name.c_str() + 1) ||
                             (doc.IsObject() && doc.HasMember(name.c_str() + 1))
                         ? "present"
                         : "absent";
        else if (name.starts_with("H:"))
            actual = answer->get_header_value(name.c_str() + 2).substr(0, value.size());
        else if (name == "keys")
            for (const auto& o : doc["obligations"].GetArray())
                actual += (actual.empty() ? "" : ",") + std::string(o["periodKey"].GetString());
        else if (name == "errors")
            actual = doc.HasMember("errors") ? doc["errors"][0]["code"].GetString() : "";
        else
            actual = name == "body" ? answer->body : Member(answer->body, name.c_str());
        EXPECT_EQ(actual, name.starts_with('!') ? "absent" : value) << check;
    }
    const bool filed = answer->status == 201;
    EXPECT_EQ(m_server->FiledReturns().size(), filed ? 1u : 0u);
}

INSTANTIATE_TEST_SUITE_P(Sandbox, Contract, ::testing::ValuesIn(Rows()),
                         [](const auto& info) { return info.param.name; });

}  // namespace
}  // namespace calvenor::sandbox::test
