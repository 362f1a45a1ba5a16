#include <QCheckBox>
#include <QPlainTextEdit>

#include "ModalTestHelper.h"
#include "ResultsDialog.h"
#include "SandboxWindowTest.h"
#include "VatConfirm.h"
#include "VatEntry.h"

namespace calvenor::test {
namespace {

using calvenor::sandbox::Obligation;
using Step = std::function<void(QWidget*)>;

const BoxTexts kFigures = {"100.00", "0.00", "100.00", "20.50", "79.50", "500", "100", "0", "0"};
const std::string kBody =
    R"({"periodKey":"18A1","vatDueSales":"100.00","vatDueAcquisitions":"0.00",)"
    R"("totalVatDue":"100.00","vatReclaimedCurrPeriod":"20.50","netVatDue":"79.50",)"
    R"("totalValueSalesExVAT":"500","totalValuePurchasesExVAT":"100",)"
    R"("totalValueGoodsSuppliedExVAT":"0","totalAcquisitionsExVAT":"0","finalised":true})";
const Obligation kOpen{{2018, 1, 1}, {2018, 3, 31}, {2018, 5, 7}, false, "18A1", std::nullopt};
const Obligation kNextOpen{{2018, 4, 1}, {2018, 6, 30}, {2018, 8, 7}, false, "18A2", std::nullopt};

template <typename Window>
BoxTexts Shown(QWidget* modal) {
    BoxTexts texts;
    for (int i = 0; i < 9; ++i) {
        texts[static_cast<std::size_t>(i)] =
            qobject_cast<Window*>(modal)->Box(i + 1)->text().toStdString();
    }
    return texts;
}

void Click(QWidget* modal, const char* name) {
    auto* button = modal->findChild<QAbstractButton*>(QString::fromLatin1(name));
    ASSERT_NE(button, nullptr) << name;
    button->click();
}

// The user's part, one step per window the flow opens.
const Step kType = [](QWidget* modal) {
    for (int i = 0; i < 9; ++i) {
        qobject_cast<CVatEntry*>(modal)->Box(i + 1)->setText(
            QString::fromStdString(kFigures[static_cast<std::size_t>(i)]));
    }
    Click(modal, "continueButton");
};
const Step kContinue = [](QWidget* modal) { Click(modal, "continueButton"); };
const Step kCancel = [](QWidget* modal) { Click(modal, "cancelButton"); };
const Step kBack = [](QWidget* modal) { Click(modal, "backButton"); };
const Step kEnter = [](QWidget* modal) { QTest::keyClick(modal, Qt::Key_Return); };
const Step kOk = [](QWidget* modal) { Click(modal, "okButton"); };
const Step kSubmit = [](QWidget* modal) {
    Click(modal, "declarationCheckBox");
    Click(modal, "submitButton");
};

class FilingFlowTest : public SandboxWindowTest {
protected:
    // Authorised, the client chosen and its periods listed.
    void ReadyToFile(std::vector<Obligation> obligations = {kOpen}) {
        m_sandbox.SetObligations("100000001", std::move(obligations));
        AuthoriseByCode();
        ChooseCompany(1);
        Button("getObligationsButton")->click();
        ASSERT_TRUE(Button("enterVatButton")->isEnabled());
        m_sandbox.ClearReceived();
    }

    // Presses Enter VAT Return Figures and answers each window the flow opens with the next
    // step, noting what every window showed.
    void File(std::vector<Step> steps) {
        m_steps = std::move(steps);
        m_next = 0;
        NextStep();
        Button("enterVatButton")->click();
        EXPECT_EQ(m_next, m_steps.size()) << "the flow opened fewer windows than expected";
        EXPECT_EQ(Combo("periodCombo")->count(), 0);
        EXPECT_FALSE(Button("enterVatButton")->isEnabled());
    }

    void NextStep() {
        if (m_next == m_steps.size())
            return;
        WhenModalShown([this](QWidget* modal) {
            m_captions << modal->windowTitle();
            if (qobject_cast<CVatEntry*>(modal))
                m_entryShown.push_back(Shown<CVatEntry>(modal));
            if (qobject_cast<CVatConfirm*>(modal))
                m_confirmShown.push_back(Shown<CVatConfirm>(modal));
            if (auto* results = qobject_cast<CResultsDialog*>(modal))
                m_receipt = results->ReceiptBox()->toPlainText().toStdString();
            m_steps[m_next++](modal);
            NextStep();
        });
    }

    int ReturnsPosted() const {
        int count = 0;
        for (const auto& request : m_sandbox.Received())
            count += request.method == "POST" && request.Path().ends_with("/returns") ? 1 : 0;
        return count;
    }

    std::size_t AutomaticCopies() const {
        const auto folder = m_home.DataFolder() / "AutoSave";
        if (!std::filesystem::exists(folder))
            return 0;
        return static_cast<std::size_t>(std::distance(std::filesystem::directory_iterator(folder),
                                                      std::filesystem::directory_iterator()));
    }

    std::vector<Step> m_steps;
    std::size_t m_next = 0;
    QStringList m_captions;
    std::vector<BoxTexts> m_entryShown, m_confirmShown;
    std::string m_receipt;
};

struct CloseRow {
    const char* name;
    Step close;
};

class AcceptedReturn : public FilingFlowTest, public testing::WithParamInterface<CloseRow> {};

TEST_P(AcceptedReturn, ShowsTheReceiptKeepsOneCopyAndLeavesNothingToFile) {
    ReadyToFile();
    File({kType, kSubmit, GetParam().close});

    ASSERT_EQ(m_sandbox.FiledReturns().size(), 1u);
    const auto filed = m_sandbox.FiledReturns()[0];
    EXPECT_EQ(filed.requestBody, kBody);
    EXPECT_EQ(m_captions.last(), "VAT Submission Results : Success");
    EXPECT_TRUE(m_receipt.starts_with("Submisssion Successful\n")) << m_receipt;
    EXPECT_NE(m_receipt.find(filed.receiptId), std::string::npos) << m_receipt;
    EXPECT_NE(m_receipt.find(filed.formBundleNumber), std::string::npos) << m_receipt;
    EXPECT_EQ(AutomaticCopies(), 1u);
    // The obligations are asked for twice after the submission; the filed one was the last.
    EXPECT_EQ(m_sandbox.Received().size(), 3u);
    ASSERT_EQ(m_recorder.Messages().size(), 1u);
    EXPECT_EQ(m_recorder.Messages()[0].text, "No Open Periods Found for this company");
}

INSTANTIATE_TEST_SUITE_P(
    ClosedBy, AcceptedReturn,
    testing::Values(CloseRow{"Ok", kOk},
                    CloseRow{"Escape",
                             [](QWidget* modal) { QTest::keyClick(modal, Qt::Key_Escape); }},
                    CloseRow{"CloseBox", [](QWidget* modal) { modal->close(); }}),
    [](const auto& info) { return std::string(info.param.name); });

TEST_F(FilingFlowTest, RefusedReturnShowsHmrcsDecodedError) {
    ReadyToFile({kOpen, kNextOpen});
    // HMRC no longer knows the chosen period's key by the time the return arrives.
    m_sandbox.SetObligations("100000001", {kNextOpen});
    File({kType, kSubmit, kOk});
    EXPECT_TRUE(m_sandbox.FiledReturns().empty());
    EXPECT_EQ(m_captions.last(), "VAT Submission Results : An ERROR Occurred");
    EXPECT_NE(m_receipt.find("Bad Request\n\ncode : PERIOD_KEY_INVALID\nmessage : Invalid period "
                             "key\n"),
              std::string::npos)
        << m_receipt;
    EXPECT_TRUE(m_recorder.Messages().empty());
}

// HMRC files the return, then the connection dies before its answer arrives.
TEST_F(FilingFlowTest, DroppedSubmissionIsSentOnceAndExplained) {
    ReadyToFile();
    calvenor::sandbox::Fault drop;
    drop.kind = calvenor::sandbox::Fault::Kind::DropWithoutAnswer;
    m_sandbox.ArmFault("/organisations/vat/100000001/returns", drop);
    File({kType, kSubmit});

    EXPECT_EQ(ReturnsPosted(), 1);
    EXPECT_EQ(m_sandbox.FiledReturns().size(), 1u);
    EXPECT_EQ(m_captions.size(), 2) << "no results window";
    EXPECT_EQ(AutomaticCopies(), 0u);
    ASSERT_EQ(m_recorder.Messages().size(), 2u);
    EXPECT_EQ(m_recorder.Messages()[0].text,
              "An Unknown Error Occurred\n\nHMRC may have received this return before the "
              "connection failed. Use Get Obligations before filing again: a period that is no "
              "longer listed has been filed.");
    EXPECT_EQ(m_recorder.Messages()[0].ShownTitle(), "Error");
    EXPECT_EQ(m_recorder.Messages()[0].beep, BeepKind::Exclamation);
    // The repeated retrieval shows the period has gone.
    EXPECT_EQ(m_recorder.Messages()[1].text, "No Open Periods Found for this company");
}

struct UnfiledRow {
    const char* name;
    std::vector<Step> steps;
};

class NothingFiled : public FilingFlowTest, public testing::WithParamInterface<UnfiledRow> {};

// Back and Enter in the confirmation return to the entry window with the figures as they were.
TEST_P(NothingFiled, WhenTheFlowEndsWithoutSubmit) {
    ReadyToFile();
    File(GetParam().steps);
    EXPECT_EQ(ReturnsPosted(), 0);
    EXPECT_TRUE(m_recorder.Messages().empty());
    for (std::size_t i = 1; i < m_entryShown.size(); ++i)
        EXPECT_EQ(m_entryShown[i], kFigures) << "entry showing " << i;
    for (const BoxTexts& shown : m_confirmShown)
        EXPECT_EQ(shown, kFigures);
    EXPECT_EQ(m_captions.first(),
              "Enter VAT Details  For VAT Number: 100000001 : Ashcombe Joinery Ltd");
}

INSTANTIATE_TEST_SUITE_P(
    Flow, NothingFiled,
    testing::Values(UnfiledRow{"CancelAtOnce", {kCancel}},
                    UnfiledRow{"BackContinueBackCancel", {kType, kBack, kContinue, kBack, kCancel}},
                    UnfiledRow{"EnterInTheConfirmation", {kType, kEnter, kCancel}}),
    [](const auto& info) { return std::string(info.param.name); });

}  // namespace
}  // namespace calvenor::test
