#pragma once

#include <QTest>

#include "FilerTestSupport.h"
#include "SandboxServer.h"
#include "StubHmrc.h"

namespace calvenor::test {

using calvenor::sandbox::SandboxServer;

inline bool LogHas(const std::filesystem::path& log, const std::string& message) {
    return ReadFile(log).find(message + "\r\n") != std::string::npos;
}

// The main window against the in-process sandbox.
class SandboxWindowTest : public FilerWindowTest {
protected:
    void SetUp() override {
        FilerWindowTest::SetUp();
        ASSERT_TRUE(m_sandbox.Start(0)) << m_sandbox.LastError();
        Open(ProfileFor(m_sandbox.BaseUrl()));
    }

    // Start Authorisation, Copy, the granted code, OK.
    void AuthoriseByCode() {
        Button("startAuthorisationButton")->click();
        Button("copyButton")->click();
        Edit("codeEdit")->setText(QString::fromStdString(m_sandbox.GrantCode()));
        Button("codeOkButton")->click();
        ASSERT_TRUE(Button("getObligationsButton")->isEnabled());
    }

    void ChooseCompany(int index) {
        QComboBox* companies = Combo("companyCombo");
        companies->setCurrentIndex(index);
        emit companies->activated(index);
    }

    QStringList Periods() {
        QStringList texts;
        for (int i = 0; i < Combo("periodCombo")->count(); ++i) {
            texts << Combo("periodCombo")->itemText(i);
        }
        return texts;
    }

    SandboxServer m_sandbox;
};

}  // namespace calvenor::test
