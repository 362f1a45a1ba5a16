#pragma once

#include <array>
#include <string>

#include <QDialog>
#include <QString>

#include "CaptureTexts.h"

class QGridLayout;
class QLabel;
class QLineEdit;

// What the entry and the confirmation window share: the program they serve, the client and
// period they are opened for, and the heading that shows them. The filer's window names the
// period in its title line and the client's VAT number in its caption; the approvals program's
// names the client in its title line. Both show the client's text as it is, never as markup.
class CFigureWindow : public QDialog {
    Q_OBJECT

public:
    CaptureProgram Program() const { return m_program; }

    // Filer: the period's dates as HMRC gives them (YYYY-MM-DD), and the client's list text
    // ("123456789 : ACME Ltd") shown in the caption.
    void SetPeriod(const std::string& periodStart, const std::string& periodEnd);
    void SetVrn(const std::string& vrn);
    // Approvals: the client's list text shown in the title line.
    void SetCompanyText(const std::string& companyText);

    QLineEdit* Box(int number) const { return m_boxes.at(static_cast<std::size_t>(number - 1)); }

protected:
    // A window's caption and title line before the client or the period is added.
    struct Heading {
        QString caption;
        QString title;
    };
    CFigureWindow(CaptureProgram program, const Heading& filer, const Heading& approvals,
                  QWidget* parent);

    bool IsFiler() const { return m_program == CaptureProgram::Filer; }
    QLabel* TitleLabel() const { return m_title; }
    const std::string& CompanyText() const { return m_companyText; }
    // Box `number`'s label (`label`, wrapped) and its text box on row `row` of `grid`.
    QLineEdit* AddBoxRow(QGridLayout& grid, int row, int number, const QString& label);
    const std::array<QLineEdit*, 9>& Boxes() const { return m_boxes; }
    // Puts the period or the client into the title line and the caption; call on each showing.
    void ShowHeading();

private:
    CaptureProgram m_program;
    QLabel* m_title = nullptr;
    std::array<QLineEdit*, 9> m_boxes{};
    Heading m_base;
    std::string m_periodStart, m_periodEnd, m_vrn, m_companyText;
};
