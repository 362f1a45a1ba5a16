#include <gtest/gtest.h>
#include <QComboBox>

#include "CompanyList.h"

namespace {

TEST(CompanyList, ThePromptThenEachClientAsTheProfileOrdersThem) {
    QComboBox companies;
    const std::vector<ClientRecord> clients = {{"Zeta", "555555555"},
                                               {"A & <b>B</b>", "123456789"}};
    FillCompanyList(companies, clients);
    FillCompanyList(companies, clients);  // filled afresh, not added to
    QStringList rows;
    for (int i = 0; i < companies.count(); ++i)
        rows << companies.itemText(i);
    EXPECT_EQ(rows,
              QStringList({"Select a Company...", "555555555 : Zeta", "123456789 : A & <b>B</b>"}));
    EXPECT_EQ(companies.currentIndex(), 0);
}

}  // namespace
