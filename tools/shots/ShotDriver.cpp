#include "ShotDriver.h"

#include <unistd.h>

#include <QAbstractButton>
#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QDir>
#include <QFile>
#include <QKeyEvent>
#include <QLineEdit>
#include <QMessageBox>
#include <QPixmap>
#include <QWidget>
#include <algorithm>
#include <cstdio>

namespace {

constexpr int kTickMs = 100;
constexpr int kStepTimeoutTicks = 200;  // 20 s: HMRC calls go to the local sandbox
constexpr int kSettleTicks = 4;         // lets a window that just opened lay out and paint

QString Plain(const QString& text) {
    return QString(text).remove(QLatin1Char('&')).trimmed();
}

// The visible top-level window whose title starts with `prefix` (or equals it when `exact`).
QWidget* WindowTitled(const QString& prefix, bool exact = false) {
    for (QWidget* w : QApplication::topLevelWidgets()) {
        if (!w->isVisible())
            continue;
        const QString title = Plain(w->windowTitle());
        if (exact ? title == prefix : title.startsWith(prefix))
            return w;
    }
    return nullptr;
}

QAbstractButton* ButtonIn(QWidget* window, const QString& text) {
    if (window == nullptr)
        return nullptr;
    for (auto* b : window->findChildren<QAbstractButton*>()) {
        if (b->isVisible() && Plain(b->text()) == text)
            return b;
    }
    return nullptr;
}

template <typename T>
T* NamedIn(QWidget* window, const QString& accessibleName) {
    if (window == nullptr)
        return nullptr;
    for (auto* w : window->findChildren<T*>()) {
        if (w->isVisible() && w->accessibleName() == accessibleName)
            return w;
    }
    return nullptr;
}

bool Enabled(QWidget* w) {
    return w != nullptr && w->isEnabled();
}

// Queued, so a click that opens a modal window returns to the tour's timer at once.
void Click(QAbstractButton* button) {
    QMetaObject::invokeMethod(button, &QAbstractButton::click, Qt::QueuedConnection);
}

// Typed key by key, as a user would, so the programs see their usual edit notifications.
void TypeInto(QWidget* edit, const QString& text) {
    edit->setFocus(Qt::OtherFocusReason);
    if (auto* line = qobject_cast<QLineEdit*>(edit))
        line->selectAll();
    for (const QChar c : text) {
        QKeyEvent press(QEvent::KeyPress, 0, Qt::NoModifier, QString(c));
        QKeyEvent release(QEvent::KeyRelease, 0, Qt::NoModifier, QString(c));
        QCoreApplication::sendEvent(edit, &press);
        QCoreApplication::sendEvent(edit, &release);
    }
}

void PressKey(QWidget* target, Qt::Key key) {
    QCoreApplication::postEvent(target, new QKeyEvent(QEvent::KeyPress, key, Qt::NoModifier));
    QCoreApplication::postEvent(target, new QKeyEvent(QEvent::KeyRelease, key, Qt::NoModifier));
}

// True while no window but `main` is modal over the program.
bool OnlyMainOpen(QWidget* main) {
    QWidget* modal = QApplication::activeModalWidget();
    return main != nullptr && (modal == nullptr || modal == main);
}

QMessageBox* VisibleMessageBox() {
    if (auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget()))
        return box;
    for (QWidget* w : QApplication::topLevelWidgets()) {
        if (auto* box = qobject_cast<QMessageBox*>(w); box && box->isVisible())
            return box;
    }
    return nullptr;
}

void Answer(QMessageBox* box, const QString& preferred) {
    if (auto* b = ButtonIn(box, preferred)) {
        Click(b);
    } else if (auto* ok = ButtonIn(box, QStringLiteral("OK"))) {
        Click(ok);
    } else {
        QMetaObject::invokeMethod(box, "accept", Qt::QueuedConnection);
    }
}

QString Describe(const QWidget* w) {
    QString what;
    if (auto* b = qobject_cast<const QAbstractButton*>(w); b && !b->text().isEmpty()) {
        what = QStringLiteral("\"%1\"").arg(Plain(b->text()));
    } else if (!w->accessibleName().isEmpty()) {
        what = QStringLiteral("[%1]").arg(w->accessibleName());
    } else {
        what = QStringLiteral("(%1)").arg(w->objectName());
    }
    return QStringLiteral("%1 %2").arg(QString::fromLatin1(w->metaObject()->className()), what);
}

// The window's controls in Tab order, and in reading order (rows top to bottom, then left to
// right), so a reader can see where the two part.
QString FocusReport(QWidget* window, const QString& focusOnOpening) {
    QList<QWidget*> chain;
    QWidget* w = window->nextInFocusChain();
    for (int guard = 0; w != nullptr && w != window && guard < 1000; ++guard) {
        if (w->window() == window && w->isVisible() && (w->focusPolicy() & Qt::TabFocus) &&
            !chain.contains(w)) {
            chain.append(w);
        }
        w = w->nextInFocusChain();
    }
    auto centre = [window](QWidget* c) { return c->mapTo(window, c->rect().center()); };
    QList<QWidget*> visual = chain;
    std::stable_sort(visual.begin(), visual.end(),
                     [&](QWidget* a, QWidget* b) { return centre(a).y() < centre(b).y(); });
    // Rows: a control whose centre is within 12 pixels of the row's first joins that row.
    QList<int> rowOf;
    int row = -1;
    int rowTop = 0;
    for (QWidget* c : visual) {
        if (row < 0 || centre(c).y() > rowTop + 12) {
            ++row;
            rowTop = centre(c).y();
        }
        rowOf.append(row);
    }
    QList<int> order(visual.size());
    for (int i = 0; i < order.size(); ++i)
        order[i] = i;
    std::stable_sort(order.begin(), order.end(), [&](int a, int b) {
        if (rowOf[a] != rowOf[b])
            return rowOf[a] < rowOf[b];
        return centre(visual[a]).x() < centre(visual[b]).x();
    });
    QList<QWidget*> reading;
    for (int i : order)
        reading.append(visual[i]);

    QString out;
    out += QStringLiteral("window: %1\n").arg(Plain(window->windowTitle()));
    out += QStringLiteral("focus on opening: %1\n").arg(focusOnOpening);
    out += QStringLiteral("tab order:\n");
    for (QWidget* c : chain) {
        out += QStringLiteral("  %1%2\n")
                   .arg(Describe(c), c->isEnabled() ? QString() : QStringLiteral(" (off)"));
    }
    out += QStringLiteral("reading order:\n");
    for (QWidget* c : reading)
        out += QStringLiteral("  %1\n").arg(Describe(c));
    out += QStringLiteral("tab order follows reading order: %1\n")
               .arg(chain == reading ? QStringLiteral("yes") : QStringLiteral("NO"));
    return out;
}

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

}  // namespace

CShotDriver::CShotDriver(QObject* parent) : QObject(parent) {
    m_dir = Env("CALVENOR_SHOT_DIR", QDir::currentPath());
    QDir().mkpath(m_dir);
    const QString tour = Env("CALVENOR_SHOT_TOUR");
    if (tour == QLatin1String("filer")) {
        m_prefix = QStringLiteral("calvenor");
        BuildFilerTour();
    } else if (tour == QLatin1String("approvals")) {
        m_prefix = QStringLiteral("pellwick");
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

void CShotDriver::BuildFilerTour() {
    const QString code = Env("CALVENOR_SHOT_CODE");
    auto main = [] { return WindowTitled(QStringLiteral("Calvenor"), true); };
    auto button = [main](const QString& text) { return ButtonIn(main(), text); };
    auto add = [this](QString name, std::function<bool()> ready, std::function<bool()> act,
                      bool optional = false) {
        m_steps.push_back({std::move(name), std::move(ready), std::move(act), optional});
    };

    add(
        QStringLiteral("main window"), [main] { return main() != nullptr; },
        [this, main] {
            Shot(main(), QStringLiteral("calvenor-main"));
            PressKey(main(), Qt::Key_F1);
            return true;
        });
    add(
        QStringLiteral("About window"),
        [] { return WindowTitled(QStringLiteral("About Calvenor")) != nullptr; },
        [this] {
            QWidget* about = WindowTitled(QStringLiteral("About Calvenor"));
            Shot(about, QStringLiteral("calvenor-about"));
            if (auto* ok = ButtonIn(about, QStringLiteral("OK")))
                Click(ok);
            return true;
        },
        true);
    add(
        QStringLiteral("Start Authorisation"),
        [button] { return Enabled(button(QStringLiteral("Start Authorisation"))); },
        [button] {
            Click(button(QStringLiteral("Start Authorisation")));
            return true;
        });
    add(
        QStringLiteral("authorisation address shown"),
        [main] {
            auto* url = NamedIn<QLineEdit>(main(), QStringLiteral("HMRC URL"));
            return url != nullptr && !url->text().isEmpty();
        },
        [this, main, code] {
            auto* box = NamedIn<QLineEdit>(main(), QStringLiteral("HMRC Code"));
            if (box == nullptr)
                Fail(QStringLiteral("no HMRC Code box"));
            TypeInto(box, code);
            Shot(main(), QStringLiteral("calvenor-authorisation"));
            return true;
        });
    add(
        QStringLiteral("code accepted"), [button] { return Enabled(button(QStringLiteral("OK"))); },
        [button] {
            Click(button(QStringLiteral("OK")));
            return true;
        });
    // Tries the clients in turn until one has open periods; a client without any gives the
    // "no open periods" message, which is kept as a shot of its own.
    add(
        QStringLiteral("choose a client"),
        [button] {
            return Enabled(button(QStringLiteral("Get Obligations for Selected Company")));
        },
        [this, main, button] {
            auto* list = NamedIn<QComboBox>(main(), QStringLiteral("Select Company/VAT Number"));
            if (list == nullptr || m_clientIndex >= list->count()) {
                Fail(QStringLiteral("no client with open periods"));
            }
            list->setCurrentIndex(m_clientIndex++);
            Click(button(QStringLiteral("Get Obligations for Selected Company")));
            return true;
        });
    add(
        QStringLiteral("open periods listed"),
        [button] {
            return Enabled(button(QStringLiteral("Enter VAT Return Figures"))) ||
                   VisibleMessageBox() != nullptr;
        },
        [this, main] {
            if (QMessageBox* box = VisibleMessageBox()) {
                Shot(box, QStringLiteral("calvenor-no-open-periods"));
                Answer(box, QStringLiteral("OK"));
                m_next -= 1;  // back to choosing the next client
                return false;
            }
            Shot(main(), QStringLiteral("calvenor-periods"));
            Click(ButtonIn(main(), QStringLiteral("Enter VAT Return Figures")));
            return true;
        });
    auto entry = [] { return WindowTitled(QStringLiteral("Enter VAT Details")); };
    add(
        QStringLiteral("entry window"), [entry] { return entry() != nullptr; },
        [this, entry] {
            Shot(entry(), QStringLiteral("calvenor-entry-empty"));
            for (const auto& [box, value] : kFigures) {
                if (auto* edit = NamedIn<QLineEdit>(entry(), box))
                    TypeInto(edit, value);
            }
            if (auto* import = ButtonIn(entry(), QStringLiteral("Import")))
                Click(import);
            return true;
        });
    add(
        QStringLiteral("import window"),
        [] { return WindowTitled(QStringLiteral("File Import")) != nullptr; },
        [this] {
            QWidget* import = WindowTitled(QStringLiteral("File Import"));
            Shot(import, QStringLiteral("calvenor-import"));
            Click(ButtonIn(import, QStringLiteral("Cancel")));
            return true;
        },
        true);
    add(
        QStringLiteral("figures typed"),
        [entry] { return entry() != nullptr && !WindowTitled(QStringLiteral("File Import")); },
        [this, entry] {
            Shot(entry(), QStringLiteral("calvenor-entry"));
            Click(ButtonIn(entry(), QStringLiteral("Continue")));
            return true;
        });
    auto confirm = [] { return WindowTitled(QStringLiteral("Confim VAT for Submission")); };
    add(
        QStringLiteral("confirmation window"), [confirm] { return confirm() != nullptr; },
        [this, confirm] {
            Shot(confirm(), QStringLiteral("calvenor-confirm"));
            if (auto* declaration = confirm()->findChild<QCheckBox*>()) {
                QMetaObject::invokeMethod(declaration, &QAbstractButton::click,
                                          Qt::QueuedConnection);
            }
            return true;
        });
    add(
        QStringLiteral("declaration made"),
        [confirm] { return Enabled(ButtonIn(confirm(), QStringLiteral("Submit"))); },
        [this, confirm] {
            Shot(confirm(), QStringLiteral("calvenor-confirm-declared"));
            Click(ButtonIn(confirm(), QStringLiteral("Submit")));
            return true;
        });
    auto results = [] { return WindowTitled(QStringLiteral("VAT Submission Results")); };
    add(
        QStringLiteral("results window"), [results] { return results() != nullptr; },
        [this, results] {
            Shot(results(), QStringLiteral("calvenor-results"));
            Click(ButtonIn(results(), QStringLiteral("OK")));
            return true;
        });
    // Two of the sandbox's demo clients show the messages an agent meets most: one has nothing
    // left to file, the other has not authorised the agent.
    auto askFor = [main, button](const QString& vrn) {
        auto* list = NamedIn<QComboBox>(main(), QStringLiteral("Select Company/VAT Number"));
        const int index = list ? list->findText(vrn, Qt::MatchStartsWith) : -1;
        if (index > 0) {
            list->setCurrentIndex(index);
            Click(button(QStringLiteral("Get Obligations for Selected Company")));
        }
        return true;
    };
    auto messageShot = [this](const QString& name) {
        return [this, name] {
            QMessageBox* box = VisibleMessageBox();
            Shot(box, name);
            Answer(box, QStringLiteral("OK"));
            return true;
        };
    };
    auto mainReady = [main, results, button] {
        return results() == nullptr && OnlyMainOpen(main()) &&
               Enabled(button(QStringLiteral("Get Obligations for Selected Company")));
    };
    add(QStringLiteral("client with nothing to file"), mainReady,
        [askFor] { return askFor(QStringLiteral("100000004")); });
    add(
        QStringLiteral("no open periods message"), [] { return VisibleMessageBox() != nullptr; },
        messageShot(QStringLiteral("calvenor-no-open-periods")), true);
    add(QStringLiteral("client that has not authorised the agent"), mainReady,
        [askFor] { return askFor(QStringLiteral("100000005")); });
    add(
        QStringLiteral("not authorised message"), [] { return VisibleMessageBox() != nullptr; },
        messageShot(QStringLiteral("calvenor-not-authorised")), true);
    add(
        QStringLiteral("back at the main window"),
        [main, results] { return results() == nullptr && OnlyMainOpen(main()); },
        [button] {
            Click(button(QStringLiteral("Exit")));
            return true;
        });
    add(
        QStringLiteral("exit confirmation"),
        [] { return WindowTitled(QStringLiteral("Exit Calvenor")) != nullptr; },
        [this] {
            QWidget* exit = WindowTitled(QStringLiteral("Exit Calvenor"));
            Shot(exit, QStringLiteral("calvenor-exit"));
            Click(ButtonIn(exit, QStringLiteral("Yes")));
            return true;
        });
}

void CShotDriver::BuildApprovalsTour() {
    auto main = [] { return WindowTitled(QStringLiteral("Pellwick App"), true); };
    auto add = [this](QString name, std::function<bool()> ready, std::function<bool()> act,
                      bool optional = false) {
        m_steps.push_back({std::move(name), std::move(ready), std::move(act), optional});
    };
    add(
        QStringLiteral("main window"), [main] { return main() != nullptr; },
        [this, main] {
            Shot(main(), QStringLiteral("pellwick-main"));
            PressKey(main(), Qt::Key_F1);
            return true;
        });
    add(
        QStringLiteral("About window"),
        [] { return WindowTitled(QStringLiteral("About Pellwick")) != nullptr; },
        [this] {
            QWidget* about = WindowTitled(QStringLiteral("About Pellwick"));
            Shot(about, QStringLiteral("pellwick-about"));
            if (auto* ok = ButtonIn(about, QStringLiteral("OK")))
                Click(ok);
            return true;
        },
        true);
    add(
        QStringLiteral("choose a client"),
        [main] {
            return OnlyMainOpen(main()) &&
                   NamedIn<QComboBox>(main(), QStringLiteral("Select Company/VAT Number"));
        },
        [this, main] {
            auto* list = NamedIn<QComboBox>(main(), QStringLiteral("Select Company/VAT Number"));
            if (list->count() < 2)
                Fail(QStringLiteral("the profile lists no client"));
            list->setCurrentIndex(1);
            return true;
        });
    add(
        QStringLiteral("client chosen"),
        [main] { return Enabled(ButtonIn(main(), QStringLiteral("OK"))); },
        [this, main] {
            Shot(main(), QStringLiteral("pellwick-main-client"));
            Click(ButtonIn(main(), QStringLiteral("OK")));
            return true;
        });
    auto entry = [] { return WindowTitled(QStringLiteral("Enter VAT Details For Approval")); };
    add(
        QStringLiteral("entry window"), [entry] { return entry() != nullptr; },
        [this, entry] {
            for (const auto& [box, value] : kFigures) {
                if (auto* edit = NamedIn<QLineEdit>(entry(), box))
                    TypeInto(edit, value);
            }
            Shot(entry(), QStringLiteral("pellwick-entry"));
            Click(ButtonIn(entry(), QStringLiteral("Continue")));
            return true;
        });
    auto confirm = [] { return WindowTitled(QStringLiteral("Confirm VAT Values For Approval")); };
    add(
        QStringLiteral("confirmation window"), [confirm] { return confirm() != nullptr; },
        [this, confirm] {
            Shot(confirm(), QStringLiteral("pellwick-confirm"));
            Click(ButtonIn(confirm(), QStringLiteral("Done")));
            return true;
        });
    add(
        QStringLiteral("back at the main window"),
        [main, confirm] { return confirm() == nullptr && OnlyMainOpen(main()); },
        [main] {
            Click(ButtonIn(main(), QStringLiteral("Exit")));
            return true;
        });
    add(
        QStringLiteral("exit question"),
        [] {
            QMessageBox* box = VisibleMessageBox();
            return box != nullptr &&
                   Plain(box->windowTitle()) == QLatin1String("Exit Pellwick App");
        },
        [this] {
            QMessageBox* box = VisibleMessageBox();
            Shot(box, QStringLiteral("pellwick-exit"));
            Answer(box, QStringLiteral("Yes"));
            return true;
        });
}

QObject* CShotPlugin::create(const QString& key, const QString&) {
    if (key.compare(QLatin1String("calvenorshots"), Qt::CaseInsensitive) != 0)
        return nullptr;
    // The application keeps and deletes what a generic plugin creates.
    return new CShotDriver();
}
