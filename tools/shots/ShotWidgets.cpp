#include "ShotWidgets.h"

#include <QAbstractButton>
#include <QApplication>
#include <QKeyEvent>
#include <QLineEdit>
#include <QMessageBox>
#include <QWidget>
#include <algorithm>

QString Plain(const QString& text) {
    return QString(text).remove(QLatin1Char('&')).trimmed();
}

QWidget* WindowTitled(const QString& prefix, bool exact) {
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

bool Enabled(QWidget* w) {
    return w != nullptr && w->isEnabled();
}

void Click(QAbstractButton* button) {
    QMetaObject::invokeMethod(button, &QAbstractButton::click, Qt::QueuedConnection);
}

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

void PressKey(QWidget* target, int key) {
    QCoreApplication::postEvent(target, new QKeyEvent(QEvent::KeyPress, key, Qt::NoModifier));
    QCoreApplication::postEvent(target, new QKeyEvent(QEvent::KeyRelease, key, Qt::NoModifier));
}

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
