#include "CaptureTexts.h"

QString BoxLabel(int number, bool filerEntryWindow) {
    switch (number) {
        case 1:
            return QStringLiteral("1. VAT due in this period on sales and other outputs");
        case 2:
            return QStringLiteral(
                "2. VAT due in the period on acquisitions of goods made in Northern Ireland from "
                "EU Member States");
        case 3:
            return filerEntryWindow ? QStringLiteral("3.Total VAT due (the sum of boxes 1 and 2.)")
                                    : QStringLiteral("3.Total VAT due (the sum of boxes 1 and 2)");
        case 4:
            return QStringLiteral(
                "4. VAT reclaimed in the period on purchases and other inputs (including "
                "acquisitions in Northern Ireland from EU member states)");
        case 5:
            return QStringLiteral(
                "5. Net VAT to be paid to Customs or reclaimed by you\n(Difference between boxes "
                "3 and 4)");
        case 6:
            return QStringLiteral(
                "6. Total value of sales and all other outputs excluding any VAT.\nInclude your "
                "box 8 figure");
        case 7:
            return QStringLiteral(
                "7. Total value of purchases and all other inputs excluding any VAT.\nInclude "
                "your box 9 figure");
        case 8:
            return QStringLiteral(
                "8. Total value of dispatches of goods and related costs (excluding VAT) from "
                "Northern Ireland to EU Member States");
        case 9:
            return QStringLiteral(
                "9. Total value of acquisitions of goods and related costs (excluding VAT) made "
                "in Northern Ireland from EU Member States");
        default:
            return {};
    }
}
