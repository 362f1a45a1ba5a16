#include "VatEntry.h"

#include <QGridLayout>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QShowEvent>
#include <QVBoxLayout>

#include "CsvParser.h"
#include "FigureRules.h"
#include "ImportDialog.h"
#include "UiServices.h"

namespace {

bool IsComputedBox(int index) {
    return index == 2 || index == 4;
}
bool IsWholePoundsBox(int index) {
    return index >= 5;
}

}  // namespace

CVatEntry::CVatEntry(CaptureProgram program, QWidget* parent)
    : CFigureWindow(program,
                    {QStringLiteral("Enter VAT Details"),
                     QStringLiteral("Enter VAT details for the period:")},
                    {QStringLiteral("Enter VAT Details For Approval"),
                     QStringLiteral("Enter VAT details for :")},
                    parent) {
    setObjectName(QStringLiteral("vatEntryDialog"));
    auto* hint = new QLabel(QStringLiteral("(Boxes 3 and 5 calculate automatically on Continue)"));
    hint->setObjectName(QStringLiteral("hintLabel"));
    hint->setEnabled(false);  // greyed
    auto* import = new QPushButton(QStringLiteral("Import"));
    import->setObjectName(QStringLiteral("importButton"));

    auto* grid = new QGridLayout;
    int row = 0;
    for (int i = 0; i < 9; ++i) {
        QLineEdit* box = AddBoxRow(*grid, row++, i + 1, BoxLabel(i + 1, IsFiler()));
        box->setEnabled(!IsComputedBox(i));
        if (IsFiler() && IsWholePoundsBox(i)) {
            auto* whole = new QLabel(QStringLiteral("Whole Pounds only"));
            whole->setObjectName(QStringLiteral("wholePounds%1Label").arg(i + 1));
            grid->addWidget(whole, row, 1);
            ++row;
        }
        if (!IsComputedBox(i)) {
            connect(box, &QLineEdit::textChanged, this, [this, i] { OnBoxChanged(i); });
        }
    }
    grid->setColumnStretch(0, 1);

    auto* leave = new QPushButton(IsFiler() ? QStringLiteral("Cancel") : QStringLiteral("Back"));
    leave->setObjectName(IsFiler() ? QStringLiteral("cancelButton") : QStringLiteral("backButton"));
    auto* next = new QPushButton(QStringLiteral("Continue"));
    next->setObjectName(QStringLiteral("continueButton"));

    auto* top = new QHBoxLayout;
    auto* titles = new QVBoxLayout;
    titles->addWidget(TitleLabel());
    titles->addWidget(hint);
    top->addLayout(titles, 1);
    top->addWidget(import, 0, Qt::AlignTop);
    auto* buttons = new QHBoxLayout;
    buttons->addWidget(leave);
    buttons->addStretch(1);
    buttons->addWidget(next);
    auto* layout = new QVBoxLayout(this);
    layout->addLayout(top);
    layout->addLayout(grid);
    layout->addLayout(buttons);

    connect(import, &QPushButton::clicked, this, &CVatEntry::OnImport);
    connect(leave, &QPushButton::clicked, this, &CVatEntry::reject);
    connect(next, &QPushButton::clicked, this, &CVatEntry::OnContinue);
    EnterPressesFocusedButton(this);
}

CVatEntry::~CVatEntry() = default;

void CVatEntry::Clear() {
    for (std::string& text : m_stored)
        text.clear();
    m_importedBox3.clear();
    m_importedBox5.clear();
}

void CVatEntry::showEvent(QShowEvent* event) {
    if (!event->spontaneous()) {
        ShowHeading();
        for (std::size_t i = 0; i < Boxes().size(); ++i)
            Boxes()[i]->setText(ToQt(m_stored[i]));
        Box(1)->setFocus();
    }
    QDialog::showEvent(event);
}

void CVatEntry::keyPressEvent(QKeyEvent* event) {
    if (event->key() == Qt::Key_Return || event->key() == Qt::Key_Enter) {
        // Not on a button: Enter moves on to the next box, as Tab does.
        focusNextChild();
        event->accept();
        return;
    }
    QDialog::keyPressEvent(event);
}

void CVatEntry::OnBoxChanged(int index) {
    QLineEdit* box = Box(index + 1);
    if (!IsValidFigureText(FromQt(box->text())))
        ShowInvalidFigure(index);
}

void CVatEntry::ShowInvalidFigure(int index) {
    UiServices().Message(QString(),
                         QStringLiteral("Only numeric characters, single decimal point (.) or "
                                        "initial negative symbol (-) allowed.\r\rNo commas, spaces "
                                        "or other characters accepted."),
                         MessageIcon::None, BeepKind::Exclamation);
    Box(index + 1)->clear();
}

void CVatEntry::NormaliseAll() {
    for (std::size_t i = 0; i < Boxes().size(); ++i) {
        std::string text = FromQt(Boxes()[i]->text());
        if (PadToTwoDecimals(text))
            Boxes()[i]->setText(ToQt(text));
        if (IsWholePoundsBox(static_cast<int>(i)))
            TruncateToWholePounds(text);
        m_stored[i] = text;
    }
}

void CVatEntry::OnContinue() {
    NormaliseAll();
    // Refused here, naming the box, rather than wrapped round or sent for HMRC to reject.
    const FigureComputation check = ComputeFigures(m_stored, m_importedBox3, m_importedBox5, true);
    if (check.boxOutOfRange != 0) {
        UiServices().Message(QString(), ToQt(FigureRangeMessage(check.boxOutOfRange)),
                             MessageIcon::None, BeepKind::Exclamation);
        Box(check.boxOutOfRange)->setFocus();
        return;
    }
    m_continued = true;
    done(kDialogOk);
}

void CVatEntry::reject() {
    done(kDialogBack);
}

void CVatEntry::GetFigures(ReturnFigures& figures) const {
    const FigureComputation result =
        ComputeFigures(m_stored, m_importedBox3, m_importedBox5, m_continued);
    if (result.boxOutOfRange != 0) {
        // Continue never lets this happen; never hand out figures that were not checked.
        SetBoxTexts(figures, m_stored);
        figures.box3Recalculated = false;
        figures.box5Recalculated = false;
        figures.entered = false;
        return;
    }
    SetBoxTexts(figures, GetBoxTexts(result.figures));
    figures.box3Recalculated = result.figures.box3Recalculated;
    figures.box5Recalculated = result.figures.box5Recalculated;
    figures.entered = result.figures.entered;
}

void CVatEntry::OnImport() {
    CImportDialog dialog(this);
    if (dialog.exec() != kDialogOk)
        return;
    ImportFile(dialog.FilePath());
}

void CVatEntry::ImportFile(const std::string& path) {
    CCsvParser parser(path);
    if (!parser.Parse()) {
        UiServices().Message(QString(), ToQt(parser.GetError()), MessageIcon::None,
                             BeepKind::Exclamation);
        return;
    }
    const std::vector<std::string>& values = parser.GetValues();
    // A box would silently cut a longer text, which could change the figure it reads as.
    for (std::size_t i = 0; i < Boxes().size(); ++i) {
        if (values[i].size() > static_cast<std::size_t>(Boxes()[i]->maxLength())) {
            UiServices().Message(
                QString(),
                QStringLiteral("Unable to import file %1\r\rThe value for box %2 is too long "
                               "to be a figure.")
                    .arg(ToQt(path), QString::number(i + 1)),
                MessageIcon::None, BeepKind::Exclamation);
            return;
        }
    }
    for (std::size_t i = 0; i < Boxes().size(); ++i) {
        Boxes()[i]->setText(ToQt(values[i]));
        if (i == 2)
            m_importedBox3 = values[i];
        if (i == 4)
            m_importedBox5 = values[i];
    }
    NormaliseAll();
    if (!m_importedBox3.empty())
        m_importedBox3 = FromQt(Box(3)->text());
    if (!m_importedBox5.empty())
        m_importedBox5 = FromQt(Box(5)->text());
}
