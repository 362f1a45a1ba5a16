#include "ReturnData.h"

#include <gtest/gtest.h>

TEST(ReturnData, FiguresBecomeStringMembersInHmrcOrder) {
    ReturnFigures figures;
    figures.periodKey = "18A1";
    figures.box1 = "1234.50";
    figures.box2 = "0.00";
    figures.box3 = "1234.50";
    figures.box4 = "100.00";
    figures.box5 = "1134.50";
    figures.box6 = "6172";
    figures.box7 = "500";
    figures.box8 = "0";
    figures.box9 = "-0";
    CReturnData data;
    data.BuildJson(figures);
    EXPECT_EQ(
        data.GetJson(),
        R"({"periodKey":"18A1","vatDueSales":"1234.50","vatDueAcquisitions":"0.00","totalVatDue":"1234.50",)"
        R"("vatReclaimedCurrPeriod":"100.00","netVatDue":"1134.50","totalValueSalesExVAT":"6172",)"
        R"("totalValuePurchasesExVAT":"500","totalValueGoodsSuppliedExVAT":"0","totalAcquisitionsExVAT":"-0",)"
        R"("finalised":true})");
}

TEST(ReturnData, TextsAreJsonEscapedButSlashesAreNot) {
    ReturnFigures figures;
    figures.periodKey = "#0\"1\\/\n\x01";
    CReturnData data;
    data.BuildJson(figures);
    EXPECT_EQ(data.GetJson().substr(0, 40), R"({"periodKey":"#0\"1\\/\n\u0001","vatDueS)");
}
