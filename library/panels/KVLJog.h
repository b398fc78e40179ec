#pragma once

#include "library/panels/PanelBase.h"

#include <QVector>

class JogButton;
class QGroupBox;
class QLabel;
class QLineEdit;
class QRadioButton;

// Moves axes by hand. One axis is chosen for the X pair of direction buttons and one for the Y
// pair; in Free Run mode an axis runs at the set speed while its button is held, in Indexed mode
// each click moves it by the set distance. Its own form identifier is 4; an indexed click locks
// the cycle (1) and home (2) panels while it is commanded.
//
// Safety: an axis moved while a button is held is stopped on release, and also when the panel is
// disabled, hidden, its window closed or the panel destroyed. A stop, once asked, cancels a start
// that is still running: no motion command follows it. Motion-done waits end when the axis is done,
// the link closes or is in demo mode, a stop is asked, or MotionDoneLimitMs has passed; a start
// whose wait did not end with "done" sends no motion. Axis 0 never reaches a command.
//
// A speed whose read went unanswered is shown empty and is never sent: a free-run jog reads it
// again first and, when that fails too, says so and moves nothing, until a speed is typed.
class KVLJog : public PanelBase {
    Q_OBJECT
public:
    explicit KVLJog(QWidget* parent = nullptr);
    ~KVLJog() override;

    // Longest motion-done wait, on the program's clock; and the pause between its polls.
    static constexpr int MotionDoneLimitMs = 30000;
    static constexpr int PollIntervalMs = 10;

    // The reply up to its first line end at the third character or later; the empty text when
    // there is none there.
    QString GTrim2(const QString& buffer) const;
    // Starts a continuous move once the axis is done: "VA" with the speed, "MO", then "MV+" (or
    // "MV-" for Direction -1). The direction command's status; -2 after a reported failure; 0 with
    // nothing sent when the link is not open; -1 with no motion sent when the axis is not 1 to 6,
    // the wait did not end with "done", or a stop was asked meanwhile.
    short MoveInfinite(short Axis, short Direction, double JogSpeed);
    // Stops the axis ("ST", repeated after the fifth poll) and waits for it with the jog buttons
    // disabled. 0; -2 after a reported failure; -1 with nothing sent for an axis not 1 to 6.
    short StopJog(short Axis);
    // Accepted for the host's sake; the panel keeps nothing.
    void setErrorControl(QObject* errorPanel);

    const platform::DispatchTable* dispatchTable(const QString& interfaceName = QString()) const override;

protected:
    void setUp() override;
    // A speed box whose read went unanswered, until a speed is typed.
    bool numberBoxUnread(const QLineEdit* box) const override;
    void stopHeldMotion() override;

private:
    enum class WaitEnd { Done, Failed, Abandoned, Gone };

    void InitializeAxes();
    void optJogAxis_Selected(int row, int index);
    void optMode_Click(int index);
    void btnJog_Click(int k);
    void btnJog_MouseDown(int k);
    void btnJog_MouseUp(int k);
    short MoveRelative(short Axis, float Distance);
    // "MO" to the axis, then events run once: 0 to go on to the move, -2 when the link broke, -1
    // when the panel went or a stop came meanwhile (stops: the count when the move began).
    short motorOn(short axis, quint64 stops);
    QString SendQuery(const QString& command, int* status = nullptr);
    WaitEnd waitForMotionDone(short axis, quint64 stopRequests);
    short axisOfButton(int k) const;
    // Button k's axis and the number in its row of boxes (X or Y); false when the axis has no
    // motor or the box holds no number.
    bool jogRequest(int k, const QVector<QLineEdit*>& boxes, short& axis, double& value);
    void buildControls();
    // The "VA?" reply into a speed box: its number, or empty and marked unread.
    void showSpeed(int row, int status, const QString& reply);
    // Before a free-run jog of button k: a speed left unread is asked again; false (with a message
    // when it is still unread) when there is no speed to send.
    bool readSpeedAgain(int k);

    QGroupBox* fraJogControl = nullptr;
    QGroupBox* frameJogArrow = nullptr;
    QVector<QRadioButton*> optMode;
    QVector<QRadioButton*> optJogAxisX;
    QVector<QRadioButton*> optJogAxisY;
    QVector<QLineEdit*> txtDistance;
    QVector<QLineEdit*> txtSpeed;
    QVector<QLabel*> lblUnits;
    QVector<JogButton*> btnJog;

    short m_XAxis = 0;
    short m_YAxis = 0;
    bool m_FreeRun = false;
    bool m_MouseBusy = false;
    MotorTable m_MotorPresent{};
    // The X and Y speeds whose read went unanswered and that the user has not typed since.
    std::array<bool, 2> m_speedUnread{};

    // The axis started by the press being held, 0 when none.
    short m_heldAxis = 0;
    // Counts stops asked; a start that sees it change sends nothing more.
    quint64 m_stopRequests = 0;
    bool m_destroying = false;
};
