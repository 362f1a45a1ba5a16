#include "VatConfirm.h"

#include <QCheckBox>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QShowEvent>
#include <QVBoxLayout>

#include "FigureFile.h"
#include "FileFilters.h"
#include "PrintDocuments.h"
#include "UiServices.h"

CVatConfirm::CVatConfirm(CaptureProgram program, QWidget* parent)
    : CFigureWindow(program,
                    {QStringLiteral("Confim VAT for Submission"),
                     QStringLiteral("Confirm VAT details for the period: ")},
                    {QStringLiteral("Confirm VAT Values For Approval"),
                     QStringLiteral("Confirm VAT details for :")},
                    parent) {
    setObjectName(QStringLiteral("vatConfirmDialog"));

    auto* grid = new QGridLayout;
    for (int i = 0; i < 9; ++i)
        AddBoxRow(*grid, i, i + 1, BoxLabel(i + 1))->setReadOnly(true);
    grid->setColumnStretch(0, 1);
    m_plainPalette = Box(1)->palette();

    auto* layout = new QVBoxLayout(this);
    layout->addWidget(TitleLabel());
    layout->addLayout(grid);
    auto* buttons = new QHBoxLayout;
    if (IsFiler()) {
        auto* declaration = new QLabel(QStringLiteral(
            "DECLARATION: When you submit this VAT information you are making a legal "
            "declaration that the information is true and complete. A false declaration can "
            "result in prosecution."));
        declaration->setObjectName(QStringLiteral("declarationLabel"));
        declaration->setWordWrap(true);
        m_declaration = new QCheckBox;
        m_declaration->setObjectName(QStringLiteral("declarationCheckBox"));
        m_declaration->setAccessibleName(QStringLiteral("Declaration"));
        auto* declarationRow = new QHBoxLayout;
        declarationRow->addWidget(declaration, 1);
        declarationRow->addWidget(m_declaration);
        layout->addLayout(declarationRow);

        auto* back = NamedButton(QStringLiteral("Back"), QStringLiteral("backButton"));
        m_submit = NamedButton(QStringLiteral("Submit"), QStringLiteral("submitButton"));
        buttons->addWidget(back);
        buttons->addStretch(1);
        buttons->addWidget(m_submit);
        connect(m_declaration, &QCheckBox::toggled, m_submit, &QPushButton::setEnabled);
        connect(back, &QPushButton::clicked, this, &CVatConfirm::OnBack);
        connect(m_submit, &QPushButton::clicked, this, &CVatConfirm::OnSubmit);
        m_firstAction = m_declaration;
    } else {
        auto* back = NamedButton(QStringLiteral("Back"), QStringLiteral("backButton"));
        auto* save = NamedButton(QStringLiteral("Save"), QStringLiteral("saveButton"));
        auto* print = NamedButton(QStringLiteral("Print"), QStringLiteral("printButton"));
        auto* done = NamedButton(QStringLiteral("Done"), QStringLiteral("doneButton"));
        buttons->addWidget(back);
        buttons->addStretch(1);
        buttons->addWidget(save);
        buttons->addWidget(print);
        buttons->addWidget(done);
        m_firstAction = done;
        connect(back, &QPushButton::clicked, this, &CVatConfirm::OnBack);
        connect(save, &QPushButton::clicked, this, &CVatConfirm::OnSave);
        connect(print, &QPushButton::clicked, this, &CVatConfirm::OnPrint);
        connect(done, &QPushButton::clicked, this, &CVatConfirm::OnDone);
    }
    layout->addLayout(buttons);
    EnterPressesFocusedButton(this);
}

CVatConfirm::~CVatConfirm() = default;

void CVatConfirm::SetFigures(const ReturnFigures& figures) {
    m_figures = GetBoxTexts(figures);
    m_box3Recalculated = figures.box3Recalculated;
    m_box5Recalculated = figures.box5Recalculated;
}

void CVatConfirm::showEvent(QShowEvent* event) {
    if (!event->spontaneous()) {
        // Every showing starts afresh: nothing is inherited from an earlier one.
        m_submitClicked = false;
        m_warningShown = false;
        ShowHeading();
        if (IsFiler()) {
            m_declaration->setChecked(false);
            m_submit->setEnabled(false);
        }
        for (std::size_t i = 0; i < Boxes().size(); ++i)
            Boxes()[i]->setText(ToQt(m_figures[i]));
        ApplyHighlight(2, m_box3Recalculated);
        ApplyHighlight(4, m_box5Recalculated);
        m_firstAction->setFocus();
        // Once the window is on screen, not before: the warning belongs in front of it.
        QMetaObject::invokeMethod(this, &CVatConfirm::ShowRecalculationWarningOnce,
                                  Qt::QueuedConnection);
    }
    QDialog::showEvent(event);
}

void CVatConfirm::moveEvent(QMoveEvent* event) {
    QDialog::moveEvent(event);
    ShowRecalculationWarningOnce();
}

void CVatConfirm::resizeEvent(QResizeEvent* event) {
    QDialog::resizeEvent(event);
    ShowRecalculationWarningOnce();
}

void CVatConfirm::ShowRecalculationWarningOnce() {
    if (!isVisible() || m_warningShown || !(m_box3Recalculated || m_box5Recalculated))
        return;
    m_warningShown = true;
    UiServices().Message(
        QStringLiteral("Warning"),
        QStringLiteral("Please check your imported data.\n\nThe highlighted values have been "
                       "re-calculated based on the other data imported.\n\nIf unsure please "
                       "click the Back button and check your data"),
        MessageIcon::Warning, BeepKind::Exclamation);
}

void CVatConfirm::ApplyHighlight(int index, bool highlighted) {
    QLineEdit* box = Box(index + 1);
    if (!highlighted) {
        box->setPalette(m_plainPalette);
        return;
    }
    QPalette palette = m_plainPalette;
    palette.setColor(QPalette::Text, QColor(255, 0, 0));
    palette.setColor(QPalette::Base, QColor(242, 242, 242));
    box->setPalette(palette);
}

void CVatConfirm::keyPressEvent(QKeyEvent* event) {
    if (event->key() == Qt::Key_Return || event->key() == Qt::Key_Enter) {
        // No button has the focus: the window's OK, result 1, which is never a submission.
        event->accept();
        done(kDialogOk);
        return;
    }
    QDialog::keyPressEvent(event);
}

void CVatConfirm::OnSubmit() {
    m_submitClicked = true;
    m_warningShown = false;
    done(kDialogOk);
}

void CVatConfirm::OnBack() {
    m_warningShown = false;
    done(kDialogBack);
}

void CVatConfirm::OnDone() {
    m_warningShown = false;
    done(kDialogOk);
}

void CVatConfirm::reject() {
    done(kDialogBack);
}

std::string CVatConfirm::DefaultFileName() const {
    return DefaultFigureFileName(CompanyText());
}

std::string CVatConfirm::BuildSignOffHtml() const {
    return ::BuildSignOffHtml(CompanyText(), m_figures);
}

void CVatConfirm::OnSave() {
    FileDialogRequest request;
    request.initialName = ToQt(DefaultFileName());
    request.filters = QtNameFilters(QStringLiteral("VAT Data (*.csv)|*.csv|All Files (*.*)|*.*||"));
    request.defaultSuffix = QStringLiteral("csv");
    request.promptOverwrite = true;
    const std::optional<QString> chosen = UiServices().SaveFileName(request);
    if (!chosen || chosen->isEmpty())
        return;
    if (!WriteFigureFile(FromQt(*chosen), m_figures)) {
        UiServices().Message(QStringLiteral("Error opening File"),
                             QStringLiteral("Unable to open file ") + *chosen, MessageIcon::None,
                             BeepKind::Exclamation);
    }
}

void CVatConfirm::OnPrint() {
    if (!m_printHandler) {
        UiServices().Message(QString(), QStringLiteral("Printing Error - check for printers"),
                             MessageIcon::None, BeepKind::Information);
        return;
    }
    m_printHandler(this, BuildSignOffHtml());
}
