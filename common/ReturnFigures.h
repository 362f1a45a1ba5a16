#pragma once

#include <array>
#include <string>

// The nine box figures of one VAT return as texts in their stored forms (boxes 1 to 5 in pounds
// and pence, boxes 6 to 9 in whole pounds), never as floating-point numbers. Shared by the
// capture windows, the return body sent to HMRC and the records kept of a filing, so it lives
// here where every library can reach it.
struct ReturnFigures {
    std::string box1, box2, box3, box4, box5, box6, box7, box8, box9;
    // The filer fills it just before submission; the approvals program leaves it empty.
    std::string periodKey;
    // The entry window was left with Continue.
    bool entered = false;
    // Boxes 3 and 5 were computed and differ from the values of the last file import.
    bool box3Recalculated = false;
    bool box5Recalculated = false;
};

using BoxTexts = std::array<std::string, 9>;

// HMRC's names of the nine boxes in a return's JSON, in box order: the body the filer sends, the
// return HMRC gives back, and the sandbox's reading of both.
inline constexpr std::array<const char*, 9> kHmrcBoxNames = {"vatDueSales",
                                                             "vatDueAcquisitions",
                                                             "totalVatDue",
                                                             "vatReclaimedCurrPeriod",
                                                             "netVatDue",
                                                             "totalValueSalesExVAT",
                                                             "totalValuePurchasesExVAT",
                                                             "totalValueGoodsSuppliedExVAT",
                                                             "totalAcquisitionsExVAT"};

inline BoxTexts GetBoxTexts(const ReturnFigures& f) {
    return {f.box1, f.box2, f.box3, f.box4, f.box5, f.box6, f.box7, f.box8, f.box9};
}

inline void SetBoxTexts(ReturnFigures& f, const BoxTexts& boxes) {
    f.box1 = boxes[0];
    f.box2 = boxes[1];
    f.box3 = boxes[2];
    f.box4 = boxes[3];
    f.box5 = boxes[4];
    f.box6 = boxes[5];
    f.box7 = boxes[6];
    f.box8 = boxes[7];
    f.box9 = boxes[8];
}
