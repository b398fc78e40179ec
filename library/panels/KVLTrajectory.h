#pragma once

#include "library/link/ReadMarks.h"
#include "library/panels/PanelBase.h"

#include <QString>
#include <QVector>
#include <array>
#include <optional>

class IMotion;
class QCheckBox;
class QComboBox;
class QFrame;
class QGroupBox;
class QLabel;
class QLineEdit;
class QPushButton;
class QRadioButton;
class QTabWidget;

// Tunes the trajectory and servo-loop parameters of one axis at a time, working on the parameter
// cache of the bound control rather than sending a command per edit.
//
// Binding reads every axis's parameters into the cache and takes the snapshot that Cancel puts
// back. The boxes show and edit the cache of the chosen axis; OK and Apply write every axis back
// (axis after a blank, blank-signed values with a period, the feedback word in hexadecimal).
//
// What was never read is never written: a parameter whose query went unanswered (no reply, link
// closed, no number in the reply) keeps whatever the cache held and stays out of the writes unless
// the user edits it, so a failed read cannot put zeros into the controller. Nor is it shown: its
// box stays empty, the mode list shows no mode, the closed-loop tick neither state, and a motor
// type not read enables neither the servo's nor the stepper's groups. In demo mode nothing is
// read and nothing reaches a controller: the panel shows the cache as it stands. A write that fails
// keeps the panel open with the edits; while a write or the binding read runs, OK, Apply and
// Cancel are refused.
class KVLTrajectory : public PanelBase {
    Q_OBJECT
public:
    explicit KVLTrajectory(QWidget* parent = nullptr);
    ~KVLTrajectory() override;

    // Room for the tab strip's pages as fitted, and the button row below them.
    QSize minimumSizeHint() const override;

    // Places the unit and exponent labels of the trajectory page and writes into them the units of
    // axis Index (an axis the cache does not hold leaves the captions as they are).
    void DoTrajLabels(const short& Index);
    // The hexadecimal digits before the first upper-case "H" of Message; 0 when there is no "H" or
    // no digit. Up to four digits read as an unsigned 16-bit word, five to eight as a 32-bit value;
    // more digits fail with error 6 (overflow).
    qint32 Hex2Dec(const QString& Message) const;

    // The axis shown, 1 to 6; 0 while none is (the current axis was no panel axis).
    short shownAxis() const { return m_Axis; }
    // The program's help file, beside the executable; Help opens it when no host handles
    // HelpClicked.
    static QString helpFilePath();
    // True while the binding read or a write of OK or Apply runs.
    bool isExchanging() const { return m_exchanging; }

    const platform::DispatchTable* dispatchTable(const QString& interfaceName = QString()) const override;
    QVector<QPair<int, QString>> eventTable() const override;

    // The parameters in the order they are read; the writes follow it without the units.
    enum Field { SN, TJ, VU, AU, VA, AC, AG, JK, VB, KP, KI, KD, KS, VF, AF, DB, CL, ZB, FE, FieldCount };
    // The mark of the motor type the binding probed ("QM?"), beside the parameters' marks.
    static constexpr int MotorTypeMark = FieldCount;

signals:
    // The Help button, for a host that opens the help itself.
    void HelpClicked();

protected:
    void setUp() override;
    bool event(QEvent* e) override;
    void resizeEvent(QResizeEvent* e) override;
    // The pages are fitted one by one, and the tab strip then asks for the room they took.
    void fitTexts() override;
    // An empty box of a value not read: nothing is put into it on leaving.
    bool numberBoxUnread(const QLineEdit* box) const override;

private:
    enum class WriteEnd { Done, Failed, LinkBroken, Gone };

    // A number box and the field it edits.
    struct Box {
        QLineEdit* edit = nullptr;
        Field field = SN;
        // The text the panel last put in, to tell an edit from a visit.
        QString shown;
    };

    void buildControls();
    QLineEdit* addBox(QWidget* parent, const QString& name, Field field, const QRect& place);

    // Returns false when the panel is going away and must not be touched further.
    bool RefreshPanel();
    bool ReadTrajectoryParams();
    // 0, -2 after the failure path, 1 when the panel is going away.
    int InitializeAxes();
    WriteEnd WriteTrajectoryParams();
    // Lets events run after an exchange; false when the panel must stop its loop.
    bool pumpAfterExchange();

    void cmdButton_Click(int Index);
    void optPIDSelectAxis_Click(int Index);
    void optTrajSelectAxis_Click(int Index);
    void cboTrajMode_Click(int index);
    void chkCLStpEnable_Click(bool ticked);
    void TabStrip1_Click(int index);
    void box_LostFocus(QLineEdit* edit);

    void showServoPage();
    void showTrajectoryPage();
    void enableClosedLoopTick();
    void setBoxText(Field field, const QString& text);
    void closeHost();

    IMotion* motion() const;
    bool hasAxis() const { return isPanelAxis(m_Axis) && motion() != nullptr; }
    bool isKnown(int axis, Field field) const;
    // Whether the panel shows the cache's value of a mark: it was read or edited, or the link is
    // in demo mode, where nothing is read.
    bool shows(int axis, int mark) const;
    // The motor type the panel may act on: nothing when it was not read.
    std::optional<int> motorTypeOf(int axis) const;
    QString unitName(int axis) const;

    QTabWidget* TabStrip1 = nullptr;
    std::array<QFrame*, 3> fraTrajectory{};
    QGroupBox* framePIDAxis = nullptr;
    QGroupBox* framePIDServo = nullptr;
    QGroupBox* frameFollowingErr = nullptr;
    QGroupBox* frameCLStepper = nullptr;
    QGroupBox* famMaxTraject = nullptr;
    QGroupBox* frameTrajParams = nullptr;
    QGroupBox* framStartStop = nullptr;
    QGroupBox* frameTrajAxis = nullptr;
    QVector<QRadioButton*> optPIDSelectAxis;
    QVector<QRadioButton*> optTrajSelectAxis;
    QVector<QLineEdit*> txtPID;
    QVector<QLineEdit*> txtFeedForward;
    QVector<QLineEdit*> txtCLStpVars;
    QVector<QLineEdit*> txtTrajParams;
    QLineEdit* txtFollowingErr = nullptr;
    QLabel* lblFollowUnits = nullptr;
    QCheckBox* chkCLStpEnable = nullptr;
    QVector<QLabel*> lblUnits;
    QVector<QLabel*> lblPower;
    QComboBox* cboTrajMode = nullptr;
    QVector<QPushButton*> cmdButton;
    QVector<Box> m_boxes;

    short m_Axis = 0;
    short m_CurrentTab = 1;

    // Per panel axis: the parameters read from the controller at binding, and those the user
    // changed since. Only these are written.
    ReadMarks m_marks;
    // The closed-loop group as the motor type last left it.
    bool m_stepperGroupOn = true;

    bool m_exchanging = false;
    // Set when the panel was asked to go while one of its loops ran: the loop stops early.
    bool m_leaving = false;
};
