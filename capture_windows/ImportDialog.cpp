#include "ImportDialog.h"

#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QVBoxLayout>

#include "CaptureTexts.h"
#include "FileFilters.h"
#include "UiServices.h"

CImportDialog::CImportDialog(QWidget* parent) : QDialog(parent) {
    setObjectName(QStringLiteral("importDialog"));
    setWindowTitle(QStringLiteral("File Import"));

    auto* instruction =
        new QLabel(QStringLiteral("Browse for the .CSV file containing your VAT Return data."));
    instruction->setObjectName(QStringLiteral("instructionLabel"));

    m_pathEdit = new QLineEdit;
    m_pathEdit->setObjectName(QStringLiteral("filePathEdit"));
    m_pathEdit->setAccessibleName(QStringLiteral("File"));
    m_pathEdit->setReadOnly(true);
    m_pathEdit->setMinimumWidth(360);

    auto* browse = new QPushButton(QStringLiteral("Browse"));
    browse->setObjectName(QStringLiteral("browseButton"));
    auto* ok = new QPushButton(QStringLiteral("OK"));
    ok->setObjectName(QStringLiteral("okButton"));
    ok->setDefault(true);
    auto* cancel = new QPushButton(QStringLiteral("Cancel"));
    cancel->setObjectName(QStringLiteral("cancelButton"));
    browse->setFocus();  // the first thing to do here is to choose a file

    auto* pathRow = new QHBoxLayout;
    pathRow->addWidget(m_pathEdit, 1);
    pathRow->addWidget(browse);
    auto* buttons = new QHBoxLayout;
    buttons->addStretch(1);
    buttons->addWidget(ok);
    buttons->addWidget(cancel);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(instruction);
    layout->addLayout(pathRow);
    layout->addLayout(buttons);

    connect(browse, &QPushButton::clicked, this, &CImportDialog::OnBrowse);
    connect(ok, &QPushButton::clicked, this, &CImportDialog::accept);
    connect(cancel, &QPushButton::clicked, this, &CImportDialog::reject);
    EnterPressesFocusedButton(this);
}

CImportDialog::~CImportDialog() = default;

void CImportDialog::OnBrowse() {
    FileDialogRequest request;
    request.initialName = QStringLiteral("*.csv");
    request.filters =
        QtNameFilters(QStringLiteral("csv Files (*.csv)|*.csv|All Files (*.*)|*.*||"));
    request.defaultSuffix = QStringLiteral("csv");
    request.promptOverwrite = false;
    const std::optional<QString> chosen = UiServices().OpenFileName(request);
    if (!chosen || chosen->isEmpty())
        return;
    m_pathEdit->setText(*chosen);
    m_filePath = FromQt(*chosen);
}

void CImportDialog::accept() {
    if (m_filePath.empty()) {
        UiServices().Message(QString(), QStringLiteral("Please select a file!"), MessageIcon::None,
                             BeepKind::Exclamation);
        return;
    }
    done(kDialogOk);
}

void CImportDialog::reject() {
    done(kDialogBack);
}
