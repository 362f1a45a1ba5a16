#include "ShotDriver.h"

#include <unistd.h>

#include <QAbstractButton>
#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QDir>
#include <QFile>
#include <QLineEdit>
#include <QMessageBox>
#include <QPixmap>
#include <cstdio>

#include "ShotWidgets.h"

namespace {

constexpr int kTickMs = 100;
constexpr int kStepTimeoutTicks = 200;  // 20 s: HMRC calls go to the local sandbox
constexpr int kSettleTicks = 4;         // lets a window that just opened lay out and paint

QString Env(const char* name, const QString& fallback = {}) {
    const QString value = qEnvironmentVariable(name);
    return value.isEmpty() ? fallback : value;
}

// The figures typed in both programs: VAT owed, so every receipt field shows.
const std::vector<std::pair<QString, QString>> kFigures = {
    {QStringLiteral("Box 1"), QStringLiteral("1250.40")},
    {QStringLiteral("Box 2"), QStringLiteral("0.00")},
    {QStringLiteral("Box 4"), QStringLiteral("310.15")},
    {QStringLiteral("Box 6"), QStringLiteral("6252")},
    {QStringLiteral("Box 7"), QStringLiteral("1550")},
    {QStringLiteral("Box 8"), QStringLiteral("0")},
    {QStringLiteral("Box 9"), QStringLiteral("0")},
};

QComboBox* CompanyList(QWidget* main) {
    return NamedIn<QComboBox>(main, QStringLiteral("Select Company/VAT Number"));
}

}  // namespace

CShotDriver::CShotDriver(QObject* parent) : QObject(parent) {
    m_dir = Env("CALVENOR_SHOT_DIR", QDir::currentPath());
    QDir().mkpath(m_dir);
    const QString tour = Env("CALVENOR_SHOT_TOUR");
    if (tour == QLatin1String("filer")) {
        m_prefix = QStringLiteral("calvenor");
        m_mainTitle = QStringLiteral("Calvenor");
        BuildFilerTour();
    } else if (tour == QLatin1String("approvals")) {
        m_prefix = QStringLiteral("pellwick");
        m_mainTitle = QStringLiteral("Pellwick App");
        BuildApprovalsTour();
    }
    connect(&m_timer, &QTimer::timeout, this, &CShotDriver::Tick);
    m_timer.start(kTickMs);
}

void CShotDriver::Shot(QWidget* window, const QString& name) {
    const QString path = m_dir + QLatin1Char('/') + name + QStringLiteral(".png");
    if (!window->grab().save(path))
        Fail(QStringLiteral("cannot write ") + path);
    QFile report(m_dir + QLatin1Char('/') + name + QStringLiteral(".focus.txt"));
    if (report.open(QIODevice::WriteOnly | QIODevice::Truncate)) {
        report.write(
            FocusReport(window, m_firstFocus.value(window, QStringLiteral("unknown"))).toUtf8());
    }
    std::fprintf(stderr, "shot: %s\n", qPrintable(path));
}

void CShotDriver::Fail(const QString& why) {
    QWidget* on = QApplication::activeModalWidget();
    if (on == nullptr)
        on = QApplication::activeWindow();
    if (on != nullptr)
        on->grab().save(m_dir + QStringLiteral("/failed.png"));
    std::fprintf(stderr, "screenshot tour stopped: %s\n", qPrintable(why));
    std::fflush(stderr);
    ::_exit(3);
}

// A message the tour did not ask for (an HMRC error, a warning) is kept as a shot and answered,
// so the walk goes on and the shot shows what happened.
bool CShotDriver::HandleStrayMessage() {
    QMessageBox* box = VisibleMessageBox();
    if (box == nullptr)
        return false;
    Shot(box, QStringLiteral("%1-message-%2").arg(m_prefix).arg(++m_messages));
    std::fprintf(stderr, "message: %s: %s\n", qPrintable(box->windowTitle()),
                 qPrintable(box->text()));
    Answer(box, QStringLiteral("OK"));
    return true;
}

void CShotDriver::Tick() {
    // Where the keyboard focus stands when each window first appears.
    for (QWidget* w : QApplication::topLevelWidgets()) {
        if (w->isVisible() && !m_firstFocus.contains(w)) {
            QWidget* focus = w->focusWidget();
            m_firstFocus.insert(w, focus ? Describe(focus) : QStringLiteral("none"));
        }
    }
    if (m_settle > 0) {
        --m_settle;
        return;
    }
    if (m_next >= m_steps.size()) {
        m_timer.stop();
        return;
    }
    ShotStep& step = m_steps[m_next];
    if (step.ready()) {
        if (step.act()) {
            ++m_next;
        }
        m_waited = 0;
        m_settle = kSettleTicks;
        return;
    }
    if (HandleStrayMessage()) {
        m_settle = kSettleTicks;
        return;
    }
    if (++m_waited > kStepTimeoutTicks / (step.optional ? 4 : 1)) {
        if (!step.optional)
            Fail(QStringLiteral("step \"%1\" never became ready").arg(step.name));
        std::fprintf(stderr, "skipped: %s\n", qPrintable(step.name));
        ++m_next;
        m_waited = 0;
    }
}

QWidget* CShotDriver::Window(const QString& title) const {
    return WindowTitled(title, title == m_mainTitle);
}

void CShotDriver::Add(QString name, std::function<bool()> ready, std::function<bool()> act,
                      bool optional) {
    m_steps.push_back({std::move(name), std::move(ready), std::move(act), optional});
}

void CShotDriver::AddPress(const QString& title, const QString& button, const QString& shot,
                           When when, bool optional) {
    Add(
        title + QStringLiteral(": ") + button,
        [this, title, button, when] {
            QWidget* window = Window(title);
            return when == When::Shown ? window != nullptr : Enabled(ButtonIn(window, button));
        },
        [this, title, button, shot] {
            QWidget* window = Window(title);
            if (!shot.isEmpty())
                Shot(window, shot);
            if (auto* pressed = ButtonIn(window, button))
                Click(pressed);
            return true;
        },
        optional);
}

void CShotDriver::AddOpening(const QString& aboutTitle) {
    Add(
        QStringLiteral("main window"), [this] { return Window(m_mainTitle) != nullptr; },
        [this] {
            Shot(Window(m_mainTitle), m_prefix + QStringLiteral("-main"));
            PressKey(Window(m_mainTitle), Qt::Key_F1);
            return true;
        });
    AddPress(aboutTitle, QStringLiteral("OK"), m_prefix + QStringLiteral("-about"), When::Shown,
             true);
}

void CShotDriver::AddFigures(const QString& entryTitle) {
    Add(
        QStringLiteral("figures typed"),
        [this, entryTitle] {
            return Window(entryTitle) != nullptr &&
                   Window(QStringLiteral("File Import")) == nullptr;
        },
        [this, entryTitle] {
            for (const auto& [box, value] : kFigures) {
                if (auto* edit = NamedIn<QLineEdit>(Window(entryTitle), box))
                    TypeInto(edit, value);
            }
            return true;
        });
    AddPress(entryTitle, QStringLiteral("Continue"), m_prefix + QStringLiteral("-entry"),
             When::Shown);
}

void CShotDriver::AddClosing(const QString& closedTitle, const QString& exitTitle) {
    Add(
        QStringLiteral("back at the main window"),
        [this, closedTitle] {
            return Window(closedTitle) == nullptr && OnlyMainOpen(Window(m_mainTitle));
        },
        [this] {
            Click(ButtonIn(Window(m_mainTitle), QStringLiteral("Exit")));
            return true;
        });
    AddPress(exitTitle, QStringLiteral("Yes"), m_prefix + QStringLiteral("-exit"), When::Shown);
}

void CShotDriver::BuildFilerTour() {
    const QString main = m_mainTitle;
    const QString getObligations = QStringLiteral("Get Obligations for Selected Company");
    AddOpening(QStringLiteral("About Calvenor"));
    AddPress(main, QStringLiteral("Start Authorisation"), {}, When::Enabled);
    Add(
        QStringLiteral("authorisation address shown"),
        [this] {
            auto* url = NamedIn<QLineEdit>(Window(m_mainTitle), QStringLiteral("HMRC URL"));
            return url != nullptr && !url->text().isEmpty();
        },
        [this] {
            auto* box = NamedIn<QLineEdit>(Window(m_mainTitle), QStringLiteral("HMRC Code"));
            if (box == nullptr)
                Fail(QStringLiteral("no HMRC Code box"));
            TypeInto(box, Env("CALVENOR_SHOT_CODE"));
            Shot(Window(m_mainTitle), QStringLiteral("calvenor-authorisation"));
            return true;
        });
    AddPress(main, QStringLiteral("OK"), {}, When::Enabled);
    // Tries the clients in turn until one has open periods; a client without any gives the
    // "no open periods" message, which is kept as a shot of its own.
    Add(
        QStringLiteral("choose a client"),
        [this, getObligations] { return Enabled(ButtonIn(Window(m_mainTitle), getObligations)); },
        [this, getObligations] {
            QComboBox* list = CompanyList(Window(m_mainTitle));
            if (list == nullptr || m_clientIndex >= list->count())
                Fail(QStringLiteral("no client with open periods"));
            list->setCurrentIndex(m_clientIndex++);
            Click(ButtonIn(Window(m_mainTitle), getObligations));
            return true;
        });
    const QString enterFigures = QStringLiteral("Enter VAT Return Figures");
    Add(
        QStringLiteral("open periods listed"),
        [this, enterFigures] {
            return Enabled(ButtonIn(Window(m_mainTitle), enterFigures)) ||
                   VisibleMessageBox() != nullptr;
        },
        [this, enterFigures] {
            if (QMessageBox* box = VisibleMessageBox()) {
                Shot(box, QStringLiteral("calvenor-no-open-periods"));
                Answer(box, QStringLiteral("OK"));
                m_next -= 1;  // back to choosing the next client
                return false;
            }
            Shot(Window(m_mainTitle), QStringLiteral("calvenor-periods"));
            Click(ButtonIn(Window(m_mainTitle), enterFigures));
            return true;
        });
    const QString entry = QStringLiteral("Enter VAT Details");
    AddPress(entry, QStringLiteral("Import"), QStringLiteral("calvenor-entry-empty"), When::Shown);
    AddPress(QStringLiteral("File Import"), QStringLiteral("Cancel"),
             QStringLiteral("calvenor-import"), When::Shown, true);
    AddFigures(entry);
    const QString confirm = QStringLiteral("Confim VAT for Submission");
    Add(
        QStringLiteral("confirmation window"), [this, confirm] { return Window(confirm); },
        [this, confirm] {
            Shot(Window(confirm), QStringLiteral("calvenor-confirm"));
            if (auto* declaration = Window(confirm)->findChild<QCheckBox*>())
                Click(declaration);
            return true;
        });
    AddPress(confirm, QStringLiteral("Submit"), QStringLiteral("calvenor-confirm-declared"),
             When::Enabled);
    const QString results = QStringLiteral("VAT Submission Results");
    AddPress(results, QStringLiteral("OK"), QStringLiteral("calvenor-results"), When::Shown);
    // The account of the client just filed for: the return is among those filed.
    const QString viewAccount = QStringLiteral("View Account");
    Add(
        QStringLiteral("account opened"),
        [this, results, viewAccount] {
            return Window(results) == nullptr && OnlyMainOpen(Window(m_mainTitle)) &&
                   Enabled(ButtonIn(Window(m_mainTitle), viewAccount));
        },
        [this, viewAccount] {
            Click(ButtonIn(Window(m_mainTitle), viewAccount));
            return true;
        });
    AddPress(QStringLiteral("Client Account"), QStringLiteral("Close"), QStringLiteral("account"),
             When::Shown);
    // Two of the sandbox's demo clients show the messages an agent meets most: one has nothing
    // left to file, the other has not authorised the agent.
    const std::pair<QString, QString> messages[] = {
        {QStringLiteral("100000004"), QStringLiteral("calvenor-no-open-periods")},
        {QStringLiteral("100000005"), QStringLiteral("calvenor-not-authorised")}};
    for (const auto& [vrn, shot] : messages) {
        Add(
            QStringLiteral("client ") + vrn,
            [this, results, getObligations] {
                return Window(results) == nullptr && OnlyMainOpen(Window(m_mainTitle)) &&
                       Enabled(ButtonIn(Window(m_mainTitle), getObligations));
            },
            [this, getObligations, vrn] {
                QComboBox* list = CompanyList(Window(m_mainTitle));
                const int index = list ? list->findText(vrn, Qt::MatchStartsWith) : -1;
                if (index > 0) {
                    list->setCurrentIndex(index);
                    Click(ButtonIn(Window(m_mainTitle), getObligations));
                }
                return true;
            });
        Add(
            shot, [] { return VisibleMessageBox() != nullptr; },
            [this, shot] {
                Shot(VisibleMessageBox(), shot);
                Answer(VisibleMessageBox(), QStringLiteral("OK"));
                return true;
            },
            true);
    }
    AddClosing(results, QStringLiteral("Exit Calvenor"));
}

void CShotDriver::BuildApprovalsTour() {
    AddOpening(QStringLiteral("About Pellwick"));
    Add(
        QStringLiteral("choose a client"),
        [this] { return OnlyMainOpen(Window(m_mainTitle)) && CompanyList(Window(m_mainTitle)); },
        [this] {
            QComboBox* list = CompanyList(Window(m_mainTitle));
            if (list->count() < 2)
                Fail(QStringLiteral("the profile lists no client"));
            list->setCurrentIndex(1);
            return true;
        });
    AddPress(m_mainTitle, QStringLiteral("OK"), QStringLiteral("pellwick-main-client"),
             When::Enabled);
    AddFigures(QStringLiteral("Enter VAT Details For Approval"));
    const QString confirm = QStringLiteral("Confirm VAT Values For Approval");
    AddPress(confirm, QStringLiteral("Done"), QStringLiteral("pellwick-confirm"), When::Shown);
    AddClosing(confirm, QStringLiteral("Exit Pellwick App"));
}

QObject* CShotPlugin::create(const QString& key, const QString&) {
    if (key.compare(QLatin1String("calvenorshots"), Qt::CaseInsensitive) != 0)
        return nullptr;
    // The application keeps and deletes what a generic plugin creates.
    return new CShotDriver();
}
