#include "CompanyList.h"

#include <QComboBox>
#include <QStringList>
#include <QStringListModel>

void FillCompanyList(QComboBox& companies, const std::vector<ClientRecord>& clients) {
    // The rows are built apart from the box and handed over in one model reset. Adding them one
    // by one gives each row its own item object, allocations and insertion signals, and with
    // thousands of clients that work grows faster than the list itself.
    QStringList rows;
    rows.reserve(static_cast<qsizetype>(clients.size()) + 1);
    rows.append(QStringLiteral("Select a Company..."));
    for (const ClientRecord& client : clients) {
        rows.append(QString::fromStdString(AgentProfile::CompanyListText(client)));
    }
    auto* model = qobject_cast<QStringListModel*>(companies.model());
    if (model == nullptr) {
        model = new QStringListModel(&companies);
        companies.setModel(model);
    }
    model->setStringList(rows);
    companies.setCurrentIndex(0);
}
