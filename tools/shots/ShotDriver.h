#pragma once

#include <QGenericPlugin>
#include <QHash>
#include <QObject>
#include <QString>
#include <QTimer>
#include <functional>
#include <vector>

class QWidget;

// One step of a tour: wait until `ready`, then `act` (which returns false to run the same step
// again, for steps that retry). An optional step that never becomes ready is skipped.
struct ShotStep {
    QString name;
    std::function<bool()> ready;
    std::function<bool()> act;
    bool optional = false;
};

// Walks one program's windows from inside it, saving each window as a PNG and its keyboard
// order as text. Chosen by CALVENOR_SHOT_TOUR ("filer" or "approvals"); writes into
// CALVENOR_SHOT_DIR. Every action is queued to the event loop, so a window that opens modally
// never blocks the walk.
class CShotDriver : public QObject {
    Q_OBJECT

public:
    explicit CShotDriver(QObject* parent = nullptr);

private:
    enum class When { Shown, Enabled };

    void Tick();
    void BuildFilerTour();
    void BuildApprovalsTour();
    // The visible window titled `title` (the main window's title in full, others by their start).
    QWidget* Window(const QString& title) const;
    void Add(QString name, std::function<bool()> ready, std::function<bool()> act,
             bool optional = false);
    // Once the window titled `title` is shown, or its `button` enabled: saves the window as `shot`
    // (unless empty), then presses `button`.
    void AddPress(const QString& title, const QString& button, const QString& shot, When when,
                  bool optional = false);
    // The main window, then its About window (F1).
    void AddOpening(const QString& aboutTitle);
    // Types the figures into the entry window, then a shot and Continue.
    void AddFigures(const QString& entryTitle);
    // Back at the main window once `closedTitle` has gone: Exit, and Yes to the question.
    void AddClosing(const QString& closedTitle, const QString& exitTitle);
    void Shot(QWidget* window, const QString& name);
    bool HandleStrayMessage();
    [[noreturn]] void Fail(const QString& why);

    std::vector<ShotStep> m_steps;
    std::size_t m_next = 0;
    int m_waited = 0;
    int m_settle = 0;
    int m_messages = 0;
    int m_clientIndex = 1;
    QString m_dir;
    QString m_prefix;  // file names start with the program's name
    QString m_mainTitle;
    QHash<QWidget*, QString> m_firstFocus;
    QTimer m_timer;
};

class CShotPlugin : public QGenericPlugin {
    Q_OBJECT
    Q_PLUGIN_METADATA(IID QGenericPluginFactoryInterface_iid FILE "calvenor_shots.json")

public:
    QObject* create(const QString& key, const QString& parameters) override;
};
