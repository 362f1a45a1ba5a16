#pragma once

#include <QDialog>
#include <array>
#include <string>
#include <vector>

#include "ClientAccount.h"

class QLineEdit;

// One filed return as HMRC holds it, read-only: the period, the period key, the day HMRC
// processed it and the nine boxes, with Save (a text file through the save dialog) and Print
// (through the print dialog). Nothing is written unless the agent saves.
class CFiledReturnDlg : public QDialog {
    Q_OBJECT
public:
    CFiledReturnDlg(const FiledReturn& filed, const std::string& company,
                    QWidget* parent = nullptr);

    QLineEdit* Box(int number) const { return m_boxes.at(static_cast<std::size_t>(number - 1)); }
    // The lines printed and saved above the boxes: period key and processing date.
    std::vector<std::string> DetailLines() const;

    void OnBnClickedSave();
    void OnBnClickedPrint();

private:
    FiledReturn m_filed;
    std::string m_company;
    std::array<QLineEdit*, 9> m_boxes{};
};
