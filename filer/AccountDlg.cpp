#include "AccountDlg.h"

#include <QDateEdit>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QPushButton>
#include <QTableWidget>
#include <QVBoxLayout>
#include <limits>

#include "CaptureTexts.h"
#include "FiledReturnDlg.h"
#include "HmrcDate.h"
#include "Money.h"
#include "UiServices.h"
#include "WaitCursor.h"

namespace {

// A cell shown as text and sorted by a key: amounts by their pence, dates by their HMRC form,
// so a sorted column orders by value, not by the letters shown.
class KeyedItem : public QTableWidgetItem {
public:
    KeyedItem(const QString& text, const QVariant& key) : QTableWidgetItem(text) {
        setData(Qt::UserRole, key);
        setFlags(flags() & ~Qt::ItemIsEditable);
    }
    bool operator<(const QTableWidgetItem& other) const override {
        const QVariant mine = data(Qt::UserRole), theirs = other.data(Qt::UserRole);
        if (mine.typeId() == QMetaType::LongLong && theirs.typeId() == QMetaType::LongLong)
            return mine.toLongLong() < theirs.toLongLong();
        return mine.toString() < theirs.toString();
    }
};

QTableWidgetItem* DateItem(const std::string& date) {
    std::string shown;
    if (!FormatHmrcDate(date, shown))
        shown = date;
    return new KeyedItem(ToQt(shown), ToQt(date));
}

QTableWidgetItem* AmountItem(std::optional<std::int64_t> pence) {
    auto* item = new KeyedItem(pence ? ToQt(PenceToText(*pence)) : QString(),
                               qlonglong(pence.value_or(std::numeric_limits<qlonglong>::min())));
    item->setTextAlignment(Qt::AlignRight | Qt::AlignVCenter);
    return item;
}

QTableWidgetItem* TextItem(const std::string& text) {
    return new KeyedItem(ToQt(text), ToQt(text));
}

QTableWidget* Table(const QString& name, const QStringList& headings, QWidget* parent) {
    auto* table = new QTableWidget(0, static_cast<int>(headings.size()), parent);
    table->setObjectName(name);
    table->setHorizontalHeaderLabels(headings);
    table->setSelectionBehavior(QAbstractItemView::SelectRows);
    table->setSelectionMode(QAbstractItemView::SingleSelection);
    table->setEditTriggers(QAbstractItemView::NoEditTriggers);
    table->verticalHeader()->hide();
    table->horizontalHeader()->setSectionResizeMode(QHeaderView::ResizeToContents);
    table->horizontalHeader()->setStretchLastSection(true);
    return table;
}

// Fills `table` row by row with sorting held off, so the rows land where they were put.
template <typename Rows, typename Cells>
void Fill(QTableWidget& table, const Rows& rows, Cells cells) {
    const bool sorting = table.isSortingEnabled();
    table.setSortingEnabled(false);
    table.setRowCount(static_cast<int>(rows.size()));
    int row = 0;
    for (const auto& entry : rows) {
        int column = 0;
        for (QTableWidgetItem* item : cells(entry))
            table.setItem(row, column++, item);
        ++row;
    }
    table.setSortingEnabled(sorting);
}

QLabel* StatusLine(const QString& name, QWidget* parent) {
    auto* label = new QLabel(parent);
    label->setObjectName(name);
    label->setTextFormat(Qt::PlainText);
    label->setWordWrap(true);
    label->setTextInteractionFlags(Qt::TextSelectableByMouse);
    return label;
}

QDate ToQDate(const std::string& iso) {
    return QDate::fromString(ToQt(iso), Qt::ISODate);
}

std::string FromQDate(const QDate& date) {
    return FromQt(date.toString(Qt::ISODate));
}

}  // namespace

CAccountDlg::CAccountDlg(CFilingSession& session, const std::string& companyText, QDate today,
                         QWidget* parent)
    : QDialog(parent),
      m_account(session, companyText),
      m_year(LastTwelveMonths(std::chrono::year_month_day{
          std::chrono::year{today.year()}, std::chrono::month{static_cast<unsigned>(today.month())},
          std::chrono::day{static_cast<unsigned>(today.day())}})) {
    BuildControls();
    // HMRC holds nothing after today.
    m_from->setMaximumDate(today);
    m_to->setMaximumDate(today);
    m_from->setDate(ToQDate(m_year.from));
    m_to->setDate(ToQDate(m_year.to));
    UpdateControls();
}

CAccountDlg::~CAccountDlg() = default;

void CAccountDlg::BuildControls() {
    setObjectName(QStringLiteral("accountDialog"));
    setWindowTitle(LiteralWindowTitle(ToQt("Client Account - " + m_account.Company())));

    m_filed = Table(QStringLiteral("filedTable"),
                    {QStringLiteral("Period"), QStringLiteral("Due"), QStringLiteral("Received"),
                     QStringLiteral("Period Key")},
                    this);
    m_viewReturn =
        NamedButton(QStringLiteral("View Return"), QStringLiteral("viewReturnButton"), this);
    auto* filedBox = new QGroupBox(QStringLiteral("Returns filed in the last 12 months"), this);
    auto* filedLayout = new QVBoxLayout(filedBox);
    filedLayout->addWidget(m_filed);
    m_filedStatus = StatusLine(QStringLiteral("filedStatusLabel"), this);
    filedLayout->addWidget(m_filedStatus);
    auto* viewRow = new QHBoxLayout;
    viewRow->addStretch();
    viewRow->addWidget(m_viewReturn);
    filedLayout->addLayout(viewRow);

    m_from = new QDateEdit(this);
    m_from->setObjectName(QStringLiteral("fromDate"));
    m_to = new QDateEdit(this);
    m_to->setObjectName(QStringLiteral("toDate"));
    for (QDateEdit* edit : {m_from, m_to}) {
        edit->setCalendarPopup(true);
        edit->setDisplayFormat(QStringLiteral("dd MMM yyyy"));
    }
    auto* refresh = NamedButton(QStringLiteral("Refresh"), QStringLiteral("refreshButton"), this);
    auto* rangeRow = new QHBoxLayout;
    rangeRow->addWidget(new QLabel(QStringLiteral("Liabilities and payments from"), this));
    rangeRow->addWidget(m_from);
    rangeRow->addWidget(new QLabel(QStringLiteral("to"), this));
    rangeRow->addWidget(m_to);
    rangeRow->addWidget(refresh);
    rangeRow->addWidget(new QLabel(QStringLiteral("(365 days at most)"), this));
    rangeRow->addStretch();
    m_rangeStatus = StatusLine(QStringLiteral("rangeStatusLabel"), this);

    m_liabilities =
        Table(QStringLiteral("liabilitiesTable"),
              {QStringLiteral("Type"), QStringLiteral("Period From"), QStringLiteral("Period To"),
               QStringLiteral("Due"), QStringLiteral("Original"), QStringLiteral("Outstanding")},
              this);
    m_liabilitiesTotal = new QLabel(this);
    m_liabilitiesTotal->setObjectName(QStringLiteral("liabilitiesTotalLabel"));
    m_payments = Table(QStringLiteral("paymentsTable"),
                       {QStringLiteral("Received"), QStringLiteral("Amount")}, this);
    m_paymentsTotal = new QLabel(this);
    m_paymentsTotal->setObjectName(QStringLiteral("paymentsTotalLabel"));
    // The latest first, as the filed returns are, until the agent sorts otherwise.
    m_liabilities->setSortingEnabled(true);
    m_liabilities->sortByColumn(3, Qt::DescendingOrder);
    m_payments->setSortingEnabled(true);
    m_payments->sortByColumn(0, Qt::DescendingOrder);

    auto* liabilitiesBox = new QGroupBox(QStringLiteral("Liabilities"), this);
    auto* liabilitiesLayout = new QVBoxLayout(liabilitiesBox);
    liabilitiesLayout->addWidget(m_liabilities);
    liabilitiesLayout->addWidget(m_liabilitiesTotal);
    auto* paymentsBox = new QGroupBox(QStringLiteral("Payments"), this);
    auto* paymentsLayout = new QVBoxLayout(paymentsBox);
    paymentsLayout->addWidget(m_payments);
    paymentsLayout->addWidget(m_paymentsTotal);
    auto* accounts = new QHBoxLayout;
    accounts->addWidget(liabilitiesBox, 3);
    accounts->addWidget(paymentsBox, 1);

    auto* close = NamedButton(QStringLiteral("Close"), QStringLiteral("closeButton"), this);
    auto* closeRow = new QHBoxLayout;
    closeRow->addStretch();
    closeRow->addWidget(close);

    auto* layout = new QVBoxLayout(this);
    layout->addWidget(filedBox, 2);
    layout->addLayout(rangeRow);
    layout->addWidget(m_rangeStatus);
    layout->addLayout(accounts, 3);
    layout->addLayout(closeRow);
    resize(900, 640);

    connect(m_filed, &QTableWidget::itemSelectionChanged, this, &CAccountDlg::UpdateControls);
    connect(m_filed, &QTableWidget::cellDoubleClicked, this, &CAccountDlg::OnBnClickedViewReturn);
    connect(m_viewReturn, &QPushButton::clicked, this, &CAccountDlg::OnBnClickedViewReturn);
    connect(refresh, &QPushButton::clicked, this, &CAccountDlg::OnBnClickedRefresh);
    connect(close, &QPushButton::clicked, this, &QDialog::accept);
    EnterPressesFocusedButton(this);
}

void CAccountDlg::UpdateControls() {
    m_viewReturn->setEnabled(m_filed->currentRow() >= 0 && !m_account.FiledPeriods().empty());
}

bool CAccountDlg::ShowError(QLabel& status) {
    if (!m_account.BackToStart()) {
        const QString shown = status.text();
        status.setText((shown.isEmpty() ? shown : shown + QLatin1Char('\n')) +
                       ToQt(m_account.Error()));
        return false;
    }
    UiServices().Message(QStringLiteral("Client Account"), ToQt(m_account.Error()),
                         MessageIcon::Warning, BeepKind::Exclamation);
    reject();
    return true;
}

void CAccountDlg::Load() {
    m_filedStatus->clear();
    const bool filed = WhileWaiting([this] { return m_account.LoadFiledPeriods(m_year); });
    ShowFiled();
    if (!filed && ShowError(*m_filedStatus))
        return;
    LoadRange();
}

void CAccountDlg::OnBnClickedRefresh() {
    LoadRange();
}

void CAccountDlg::LoadRange() {
    const DateRange range{FromQDate(m_from->date()), FromQDate(m_to->date())};
    m_rangeStatus->clear();
    const bool liabilities =
        WhileWaiting([this, &range] { return m_account.LoadLiabilities(range); });
    ShowLiabilities();
    if (!liabilities && ShowError(*m_rangeStatus))
        return;
    const bool payments = WhileWaiting([this, &range] { return m_account.LoadPayments(range); });
    ShowPayments();
    if (!payments)
        ShowError(*m_rangeStatus);
}

void CAccountDlg::ShowFiled() {
    Fill(*m_filed, m_account.FiledPeriods(), [](const CObligationData& period) {
        const DisplayPeriod shown = FormatHmrcPeriod(period.start, period.end);
        return std::vector<QTableWidgetItem*>{
            new KeyedItem(ToQt(shown.start + "  To  " + shown.end), ToQt(period.start)),
            DateItem(period.due), DateItem(period.received), TextItem(period.periodKey)};
    });
    if (m_filed->rowCount() > 0)
        m_filed->selectRow(0);
    UpdateControls();
}

void CAccountDlg::ShowLiabilities() {
    Fill(*m_liabilities, m_account.Liabilities(), [](const Liability& liability) {
        return std::vector<QTableWidgetItem*>{TextItem(liability.type),
                                              DateItem(liability.periodFrom),
                                              DateItem(liability.periodTo),
                                              DateItem(liability.due),
                                              AmountItem(liability.originalPence),
                                              AmountItem(liability.outstandingPence)};
    });
    m_liabilitiesTotal->setText(ToQt("Total original " + PenceToText(m_account.OriginalTotal()) +
                                     "    Total outstanding " +
                                     PenceToText(m_account.OutstandingTotal())));
}

void CAccountDlg::ShowPayments() {
    Fill(*m_payments, m_account.Payments(), [](const Payment& payment) {
        return std::vector<QTableWidgetItem*>{DateItem(payment.received),
                                              AmountItem(payment.amountPence)};
    });
    m_paymentsTotal->setText(ToQt("Total paid " + PenceToText(m_account.PaymentsTotal())));
}

void CAccountDlg::OnBnClickedViewReturn() {
    const int row = m_filed->currentRow();
    if (row < 0)
        return;
    const auto index = static_cast<std::size_t>(row);
    m_filedStatus->clear();
    if (!WhileWaiting([this, index] { return m_account.LoadReturn(index); })) {
        ShowError(*m_filedStatus);
        return;
    }
    CFiledReturnDlg view(m_account.Return(), m_account.Company(), this);
    view.exec();
}
