#pragma once

#include "library/panels/PanelBase.h"

#include <QVector>
#include <array>

class QCheckBox;
class QGroupBox;
class QLabel;
class QLineEdit;
class QPushButton;

// Moves the ticked axes back and forth between position 1 and position 2, dwelling at each end,
// until stopped, and counts every move. Its engine acts on every second tick: motors on once,
// then move to position 1, wait for every axis, dwell, move to position 2, wait, dwell, and again.
// Its form identifier is 1; while a cycle runs the jog (4) and home (2) panels are locked.
//
// Safety: the engine moves to the targets as last cleaned (on Enter, on leaving a box, at start),
// never to text still being typed. A stop, once asked, is never followed by another move from the
// engine, also when it comes while the engine lets events run. A cycle ends, freeing the other
// panels and raising CyclingEvent(false), when it is stopped, when a command fails (-2) and when
// a tick finds the link gone (no bus, or closed): it never resumes by itself. The dwell is timed
// on the program's monotonic clock.
class KVLCycle : public PanelBase {
    Q_OBJECT
public:
    explicit KVLCycle(QWidget* parent = nullptr);
    ~KVLCycle() override;

    // With a bus chosen, running or not: "ST" to each ticked axis, the lock this panel holds
    // released, CyclingEvent(false). With no bus chosen it sends nothing and only ends a cycle
    // that ran.
    void StopCycle();

    // The typed targets, carried from a panel that goes to the next one made (library-wide).
    static std::array<QString, MaxPanelAxes> gSavedTarg1;
    static std::array<QString, MaxPanelAxes> gSavedTarg2;

    const platform::DispatchTable* dispatchTable(const QString& interfaceName = QString()) const override;
    QVector<QPair<int, QString>> eventTable() const override;

signals:
    // True when a cycle starts; false when it ends or a start is refused.
    void CyclingEvent(bool& Moving);

protected:
    void setUp() override;
    void onTimer() override;
    bool eventFilter(QObject* watched, QEvent* e) override;

private:
    enum class Outcome { Finished, Waiting, Abandoned, Gone };

    void buildControls();
    void InitializeAxes();
    void btnGo_Click();
    void cmdReset_Click();
    void startCycle();
    void stopRunningCycle();
    void endCycle();
    void refuse(const QString& prompt, int style, const QString& title);
    void raiseCyclingEvent(bool moving);
    void showPicture(bool stop);
    Outcome runState();
    Outcome sendToTickedAxes(const QString& mnemonic, int target);
    Outcome pollMotionDone();
    // The checks after one axis's exchange in an engine step: Finished when the step goes on.
    static Outcome afterExchange(const QPointer<KVLCycle>& self, int status, quint64 stops);
    void commitTarget(int target, int index);
    void commitDwell(bool leaving);

    QGroupBox* frameCycle = nullptr;
    QVector<QCheckBox*> chkAxis;
    QVector<QLineEdit*> txtTarg1;
    QVector<QLineEdit*> txtTarg2;
    QVector<QLabel*> lblUnits;
    QLineEdit* txtDwell = nullptr;
    QPushButton* btnGo = nullptr;
    QLabel* lblCount = nullptr;
    QPushButton* cmdReset = nullptr;

    bool m_Cycling = false;
    bool m_CycleActive = false;
    short m_CycleState = 0;
    qint32 m_MoveCount = 0;
    // Tick of the program's clock (ms) after which the dwell is over.
    qint64 m_DwellEnd = 0;
    TickCounter m_ticks{2};

    // Targets and dwell as last cleaned: what the engine uses.
    std::array<std::array<double, MaxPanelAxes>, 2> m_targets{};
    double m_dwellSeconds = 1.0;

    // Counts stops; an engine step that sees it change sends nothing more.
    quint64 m_stops = 0;
    bool m_engineRunning = false;
    bool m_stopping = false;
};
