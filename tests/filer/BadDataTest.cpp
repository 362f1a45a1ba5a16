#include "FigureFile.h"
#include "FilingWindows.h"
#include "SandboxWindowTest.h"

// Large profiles, company names with markup characters and letters beyond ASCII, and every file
// in folders whose names have spaces and such letters.
namespace calvenor::test {
namespace {

namespace fs = std::filesystem;
using calvenor::sandbox::Obligation;

const std::string kOddName = "Zoë & Søn <Ltd> \"Quoted\" 'Ünïcode'";
const std::string kOddListText = "100000001 : " + kOddName;

std::string ProfileWith(const std::string& baseUrl, const std::string& clients) {
    return R"({"client_id":"calvenor-demo-client","client_secret":"calvenor-demo-secret",
        "service_base_url":")" +
           baseUrl + R"(","clients":[)" + clients + "]}";
}

TEST_F(SandboxWindowTest, TenThousandClientsLoadAndTheLastCanBeChosen) {
    std::string clients;
    for (int i = 0; i < 10000; ++i) {
        clients += (i ? "," : "") + std::string(R"({"company_name":"Client )") + std::to_string(i) +
                   R"( Ltd","vrn":")" + std::to_string(200000000 + i) + "\"}";
    }
    Open(ProfileWith(m_sandbox.BaseUrl(), clients));
    ASSERT_EQ(Combo("companyCombo")->count(), 10001);
    EXPECT_EQ(Combo("companyCombo")->itemText(10000), "200009999 : Client 9999 Ltd");
    EXPECT_TRUE(m_recorder.Messages().empty());

    AuthoriseByCode();
    ChooseCompany(10000);
    m_sandbox.ClearReceived();
    Button("getObligationsButton")->click();
    ASSERT_FALSE(m_sandbox.Received().empty());
    EXPECT_EQ(m_sandbox.Received().back().Path(), "/organisations/vat/200009999/obligations");
}

TEST_F(SandboxWindowTest, OddNamesAndOddPathsThroughAWholeFiling) {
    const fs::path odd = m_home.Root() / "Dössier mit Leerzeichen";
    const fs::path profile = odd / "agent profile é.json";
    const fs::path data = odd / "Dätä folder";
    const fs::path figures = odd / "Fïgures & more" / (DefaultFigureFileName(kOddListText));
    const fs::path receipt = odd / "Reçus" / "Submission Receipt ü.txt";
    const fs::path logFolder = odd / "rün dir";  // the system makes it; the filer writes in it
    for (const fs::path& file : {profile, figures, receipt, logFolder / "Calvenor.log"})
        fs::create_directories(file.parent_path());
    ScopedEnv profileEnv("CALVENOR_PROFILE", profile.string());
    ScopedEnv dataEnv("CALVENOR_DATA_DIR", data.string());
    ScopedEnv logEnv("XDG_RUNTIME_DIR", logFolder.string());

    // The approvals program saves the figure file the filer imports.
    ReturnFigures approved;
    SetBoxTexts(approved, {"100.00", "0.00", "100.00", "20.00", "80.00", "500", "100", "0", "0"});
    CVatConfirm confirm(CaptureProgram::Approvals);
    confirm.SetCompanyText(kOddListText);
    confirm.SetFigures(approved);
    EXPECT_EQ(confirm.DefaultFileName(), figures.filename().string());
    const std::string signOff = confirm.BuildSignOffHtml();
    EXPECT_NE(signOff.find("Zoë &amp; Søn &lt;Ltd&gt;"), std::string::npos) << signOff;
    m_recorder.QueueSaveFileName(QString::fromStdString(figures.string()));
    confirm.findChild<QAbstractButton*>("saveButton")->click();
    EXPECT_EQ(ReadFile(figures), FigureFileText(GetBoxTexts(approved)));

    m_sandbox.SetObligations(
        "100000001", {Obligation{{2018, 1, 1}, {2018, 3, 31}, {2018, 5, 7}, false, "18A1", {}}});
    WriteFile(profile, ProfileWith(m_sandbox.BaseUrl(),
                                   R"({"company_name":")" +
                                       std::string("Zoë & Søn <Ltd> \\\"Quoted\\\" 'Ünïcode'") +
                                       R"(","vrn":"100000001"})"));
    m_window.reset();
    m_window = std::make_unique<CCalvenorDlg>(LoadAgentProfile());
    ASSERT_EQ(Combo("companyCombo")->itemText(1), QString::fromStdString(kOddListText));

    AuthoriseByCode();
    EXPECT_TRUE(fs::exists(data / "TokDir" / "tokens.tok"));
    ChooseCompany(1);
    Button("getObligationsButton")->click();

    // Import the figure file in the entry window, submit, save the receipt.
    std::string entryTitle, printed;
    WhenModalShown([&](QWidget* modal) {
        entryTitle = modal->windowTitle().toStdString();
        qobject_cast<CVatEntry*>(modal)->ImportFile(figures.string());
        modal->findChild<QAbstractButton*>("continueButton")->click();
        AnswerFilingWindows(2, [&](CResultsDialog& results) {
            printed = results.BuildPrintDocument();
            m_recorder.QueueSaveFileName(QString::fromStdString(receipt.string()));
            results.findChild<QAbstractButton*>("saveButton")->click();
        });
    });
    Button("enterVatButton")->click();

    ASSERT_EQ(m_sandbox.FiledReturns().size(), 1u);
    EXPECT_NE(m_sandbox.FiledReturns()[0].requestBody.find(R"("netVatDue":"80.00")"),
              std::string::npos);
    EXPECT_NE(entryTitle.find(kOddListText), std::string::npos) << entryTitle;
    EXPECT_NE(printed.find("Zoë &amp; Søn &lt;Ltd&gt;"), std::string::npos) << printed;
    EXPECT_EQ(printed.find("<Ltd>"), std::string::npos);
    EXPECT_NE(ReadFile(receipt).find(kOddListText), std::string::npos);
    std::vector<fs::path> copies;
    for (const auto& entry : fs::directory_iterator(data / "AutoSave"))
        copies.push_back(entry.path());
    ASSERT_EQ(copies.size(), 1u);
    EXPECT_NE(ReadFile(copies[0]).find(kOddListText), std::string::npos);
    EXPECT_NE(ReadFile(logFolder / "Calvenor.log").find("Logging Initialised."), std::string::npos);
    EXPECT_TRUE(m_recorder.Messages().empty() ||
                m_recorder.Messages().back().text == "No Open Periods Found for this company");
}

}  // namespace
}  // namespace calvenor::test
