#include "FilerWindowTest.h"

// Enter VAT Return Figures: the entry and confirmation windows until one submission or Cancel.
namespace calvenor::test {
namespace {

// The body HMRC receives for period 18A1 and the nine figure texts `b`.
std::string Body(const BoxTexts& b) {
    return R"({"periodKey":"18A1","vatDueSales":")" + b[0] + R"(","vatDueAcquisitions":")" + b[1] +
           R"(","totalVatDue":")" + b[2] + R"(","vatReclaimedCurrPeriod":")" + b[3] +
           R"(","netVatDue":")" + b[4] + R"(","totalValueSalesExVAT":")" + b[5] +
           R"(","totalValuePurchasesExVAT":")" + b[6] + R"(","totalValueGoodsSuppliedExVAT":")" +
           b[7] + R"(","totalAcquisitionsExVAT":")" + b[8] + R"(","finalised":true})";
}

template <typename Window>
BoxTexts Shown(QWidget* modal) {
    BoxTexts texts;
    for (int i = 0; i < 9; ++i)
        texts[static_cast<std::size_t>(i)] =
            qobject_cast<Window*>(modal)->Box(i + 1)->text().toStdString();
    return texts;
}

ModalStep Press(const char* button) {
    return [button](QWidget* modal) { Click(modal, button); };
}
ModalStep Key(Qt::Key key) {
    return [key](QWidget* modal) { QTest::keyClick(modal, key); };
}

class FilingFlowTest : public FilerWindowTest {
protected:
    // Presses Enter VAT Return Figures and answers each window the flow opens with the next
    // step, noting what every window showed.
    void File(std::vector<ModalStep> steps) {
        const std::size_t expected = steps.size();
        for (ModalStep& step : steps)
            step = [this, step](QWidget* modal) {
                m_captions << modal->windowTitle();
                if (qobject_cast<CVatEntry*>(modal))
                    m_entryShown.push_back(Shown<CVatEntry>(modal));
                if (qobject_cast<CVatConfirm*>(modal))
                    m_confirmShown.push_back(Shown<CVatConfirm>(modal));
                if (auto* results = qobject_cast<CResultsDialog*>(modal))
                    m_receipt = results->ReceiptBox()->toPlainText().toStdString();
                step(modal);
            };
        AnswerModals(std::move(steps));
        Button("enterVatButton")->click();
        EXPECT_EQ(static_cast<std::size_t>(m_captions.size()), expected)
            << "the flow opened another number of windows";
        EXPECT_EQ(Combo("periodCombo")->count(), 0);
        EXPECT_FALSE(Button("enterVatButton")->isEnabled());
    }

    std::size_t AutomaticCopies() const {
        std::error_code error;
        std::size_t count = 0;
        for (const auto& entry : fs::directory_iterator(m_home.DataFolder() / "AutoSave", error))
            count += entry.is_regular_file() ? 1 : 0;
        return count;
    }

    QStringList m_captions;
    std::vector<BoxTexts> m_entryShown, m_confirmShown;
    std::string m_receipt;
};

struct CloseRow {
    const char* name;
    ModalStep close;
};

class AcceptedReturn : public FilingFlowTest, public testing::WithParamInterface<CloseRow> {};

TEST_P(AcceptedReturn, ShowsTheReceiptKeepsOneCopyAndLeavesNothingToFile) {
    ReadyToFile();
    File({kType, kSubmit, GetParam().close});

    ASSERT_EQ(m_sandbox.FiledReturns().size(), 1u);
    const auto filed = m_sandbox.FiledReturns()[0];
    EXPECT_EQ(filed.requestBody, Body(kFigures));
    EXPECT_EQ(m_captions.last(), "VAT Submission Results : Success");
    EXPECT_TRUE(m_receipt.starts_with("Submisssion Successful\n")) << m_receipt;
    EXPECT_NE(m_receipt.find(filed.receiptId), std::string::npos) << m_receipt;
    EXPECT_NE(m_receipt.find(filed.formBundleNumber), std::string::npos) << m_receipt;
    EXPECT_TRUE(LogHas(m_home.LogPath(), "CTransaction::SubmitReturn : Return filed. Receipt-ID: " +
                                             filed.receiptId));
    EXPECT_EQ(AutomaticCopies(), 1u);
    // The obligations are asked for twice after the submission; the filed one was the last.
    EXPECT_EQ(m_sandbox.Received().size(), 3u);
    ASSERT_EQ(m_recorder.Messages().size(), 1u);
    EXPECT_EQ(m_recorder.Messages()[0].text, "No Open Periods Found for this company");
}

INSTANTIATE_TEST_SUITE_P(
    ClosedBy, AcceptedReturn,
    testing::Values(CloseRow{"Ok", Press("okButton")}, CloseRow{"Escape", Key(Qt::Key_Escape)},
                    CloseRow{"CloseBox", [](QWidget* modal) { modal->close(); }}),
    [](const auto& info) { return std::string(info.param.name); });

// Figures typed with no digit before the point are cut to two decimals like any other, so HMRC
// receives exactly what the confirmation showed.
TEST_F(FilingFlowTest, LeadingPointFiguresAreFiledAsConfirmed) {
    ReadyToFile();
    const BoxTexts typed = {".555", ".12345", "", "-.5", "", ".999", "-.", ".", "-.555"};
    File({[&](QWidget* modal) {
              for (int box = 1; box <= 9; ++box)
                  QTest::keyClicks(qobject_cast<CVatEntry*>(modal)->Box(box),
                                   QString::fromStdString(typed[box - 1U]));
              Click(modal, "continueButton");
          },
          kSubmit, Press("okButton")});
    const BoxTexts confirmed = {"0.55", "0.12", "0.67", "-0.50", "1.17", "0", "0", "0", "-0"};
    EXPECT_EQ(m_confirmShown, std::vector<BoxTexts>{confirmed});
    ASSERT_EQ(m_sandbox.FiledReturns().size(), 1u);
    EXPECT_EQ(m_sandbox.FiledReturns()[0].requestBody, Body(confirmed));
}

// HMRC files the return, then the connection dies before its answer arrives.
TEST_F(FilingFlowTest, DroppedSubmissionIsSentOnceAndExplained) {
    ReadyToFile();
    Fault drop;
    drop.kind = Fault::Kind::DropWithoutAnswer;
    m_sandbox.ArmFault("/organisations/vat/100000001/returns", drop);
    File({kType, kSubmit});

    EXPECT_EQ(m_sandbox.FiledReturns().size(), 1u);
    EXPECT_EQ(AutomaticCopies(), 0u);
    ExpectMessage(0, "Error",
                  "An Unknown Error Occurred\n\nHMRC may have received this return before the "
                  "connection failed. Use Get Obligations before filing again: a period that is "
                  "no longer listed has been filed.",
                  BeepKind::Exclamation);
    // The repeated retrieval shows the period has gone.
    ExpectMessage(1, "Error", "No Open Periods Found for this company", BeepKind::Information);
}

// Back and Enter in the confirmation return to the entry window with the figures as they were;
// Cancel there ends the flow with nothing sent.
TEST_F(FilingFlowTest, NothingIsFiledWhenTheFlowEndsWithCancel) {
    ReadyToFile();
    File({kType, Key(Qt::Key_Return), Press("continueButton"), Press("backButton"),
          Press("cancelButton")});
    EXPECT_TRUE(m_sandbox.Received().empty());
    EXPECT_TRUE(m_recorder.Messages().empty());
    ASSERT_EQ(m_entryShown.size(), 3u);
    EXPECT_EQ(m_entryShown[1], kFigures);
    EXPECT_EQ(m_entryShown[2], kFigures);
    EXPECT_EQ(m_confirmShown, std::vector<BoxTexts>(2, kFigures));
    EXPECT_EQ(m_captions.first(),
              "Enter VAT Details  For VAT Number: 100000001 : Ashcombe Joinery Ltd");
}

}  // namespace
}  // namespace calvenor::test
