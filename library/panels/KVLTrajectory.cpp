#include "library/panels/KVLTrajectory.h"

#include "library/link/CGuiState.h"
#include "library/link/Global.h"
#include "library/link/IMotion.h"
#include "library/link/KVLComm.h"
#include "library/link/NumberText.h"
#include "library/link/ReadMarks.h"
#include "library/panels/TabOrder.h"
#include "platform/RuntimeError.h"
#include "platform/com/ClassRegistry.h"
#include "platform/ui/MsgBox.h"
#include "platform/ui/Shell.h"
#include "platform/ui/TextFit.h"

#include <QCheckBox>
#include <QComboBox>
#include <QCoreApplication>
#include <QDir>
#include <QEvent>
#include <QFrame>
#include <QGroupBox>
#include <QGuiApplication>
#include <QLabel>
#include <QLineEdit>
#include <QMetaMethod>
#include <QPushButton>
#include <QRadioButton>
#include <QResizeEvent>
#include <QTabWidget>

#include <algorithm>
#include <cmath>
#include <optional>

using platform::RuntimeError;

namespace {

const bool registered = platform::registerClass(QStringLiteral("KVL410ActiveX.KVLTrajectory"),
                                                [](QWidget* parent) -> QObject* { return new KVLTrajectory(parent); });

PanelBase::Options trajectoryOptions()
{
    PanelBase::Options options;
    options.handlesAxisChange = true;
    return options;
}

// How a parameter is kept in the cache and travels on the link.
enum class Kind {
    Single, // 32-bit float, blank-signed decimal
    Short,  // 16-bit integer, blank-signed decimal
    Word,   // 32-bit configuration word, hexadecimal both ways
};

struct Param {
    KVLTrajectory::Field field;
    const char* mnemonic;
    Kind kind;
    double (*get)(IMotion& m, short axis);
    void (*set)(IMotion& m, short axis, double value);
};

#define KVL_SINGLE(F, Name) \
    { KVLTrajectory::F, #F, Kind::Single, [](IMotion& m, short a) -> double { return m.Name(a); }, \
      [](IMotion& m, short a, double v) { m.set##Name(a, float(v)); } }
#define KVL_SHORT(F, Name) \
    { KVLTrajectory::F, #F, Kind::Short, [](IMotion& m, short a) -> double { return m.Name(a); }, \
      [](IMotion& m, short a, double v) { m.set##Name(a, short(v)); } }

// In the order of the reads; the writes take the same order without SN.
const Param kParams[KVLTrajectory::FieldCount] = {
    KVL_SHORT(SN, DisplacementUnits),
    KVL_SHORT(TJ, TrajectoryMode),
    KVL_SINGLE(VU, MaxVelocity),
    KVL_SINGLE(AU, MaxAccelDecel),
    KVL_SINGLE(VA, Velocity),
    KVL_SINGLE(AC, Acceleration),
    KVL_SINGLE(AG, Deceleration),
    KVL_SINGLE(JK, JerkRate),
    KVL_SINGLE(VB, StepMotorVelocity),
    KVL_SINGLE(KP, ProportionalGain),
    KVL_SINGLE(KI, IntegralGain),
    KVL_SINGLE(KD, DerivativeGain),
    KVL_SINGLE(KS, IntegralLimit),
    KVL_SINGLE(VF, VelocityGain),
    KVL_SINGLE(AF, AccelerationGain),
    KVL_SHORT(DB, PositionDeadband),
    KVL_SHORT(CL, ClosedLoopUpdateInterval),
    { KVLTrajectory::ZB, "ZB", Kind::Word, [](IMotion& m, short a) -> double { return m.FeedbackConfig(a); },
      [](IMotion& m, short a, double v) { m.setFeedbackConfig(a, qint32(v)); } },
    KVL_SINGLE(FE, MaxFollowError),
};

#undef KVL_SINGLE
#undef KVL_SHORT

const QStringList kTrajectoryModes{QStringLiteral("Trapezoid"), QStringLiteral("S-Curve"), QStringLiteral("Jog"),
                                   QStringLiteral("Slave to Trajectory"), QStringLiteral("Slave to Feedback")};

constexpr int kClosedLoopBit = 0x200;
constexpr int kButtonHeightTwips = 375;

const QString kWriteFailedPrompt = QStringLiteral(
    "The parameters could not all be written to the controller.\r\n"
    "Your changes are kept; press Apply or OK to write them again.");

// What the cache's field of a kind holds.
NumberText::Target targetOf(Kind kind)
{
    switch (kind) {
    case Kind::Single: return NumberText::Target::Single;
    case Kind::Short: return NumberText::Target::I16;
    case Kind::Word: return NumberText::Target::I32;
    }
    return NumberText::Target::Single;
}

QString commandValue(Kind kind, double value)
{
    switch (kind) {
    case Kind::Single: return NumberText::blankSignedSingle(float(value));
    case Kind::Short: return NumberText::blankSignedInteger(qint64(value));
    case Kind::Word: return NumberText::hexWord(qint32(value));
    }
    return QString();
}

int twipsToPixels(double twips)
{
    return qRound(twips / 15.0);
}

// The hourglass for the length of a scope.
class WaitCursor {
public:
    WaitCursor() { QGuiApplication::setOverrideCursor(Qt::WaitCursor); }
    ~WaitCursor() { QGuiApplication::restoreOverrideCursor(); }
    WaitCursor(const WaitCursor&) = delete;
    WaitCursor& operator=(const WaitCursor&) = delete;
};

platform::DispatchTable buildTable()
{
    using Args = QVariantList;
    platform::DispatchTable t(QStringLiteral("_KVLTrajectory"));
    t.put<KVLTrajectory>(QStringLiteral("CommControl"), 0x68030000, [](KVLTrajectory& p, Args& a) {
        p.setCommControl(PanelBase::commFromVariant(a.value(0)));
    });
    t.method<KVLTrajectory>(QStringLiteral("DoTrajLabels"), 0x60030003, [](KVLTrajectory& p, Args& a) {
        const short index = NumberText::argI16(a.value(0));
        p.DoTrajLabels(index);
    });
    t.method<KVLTrajectory>(QStringLiteral("Hex2Dec"), 0x60030010,
                            [](KVLTrajectory& p, Args& a) { return p.Hex2Dec(a.value(0).toString()); });
    return t;
}

} // namespace

KVLTrajectory::KVLTrajectory(QWidget* parent)
    : PanelBase(trajectoryOptions(), parent)
{
    Q_UNUSED(registered);
    for (int i = 0; i < FieldCount; ++i)
        Q_ASSERT(kParams[i].field == i);
    setObjectName(QStringLiteral("KVLTrajectory"));
    Global::InitUnitNames();
    buildControls();
}

KVLTrajectory::~KVLTrajectory() = default;

// ---------------------------------------------------------------------------------------------
// Controls

void KVLTrajectory::buildControls()
{
    resize(twips(0, 0, 7250, 4700).size());

    // Each page opens with the same axis selector.
    auto axisSelector = [this](QWidget* page, const QString& frameName, const QString& optionName,
                               QVector<QRadioButton*>& options) {
        QGroupBox* box = makeFrame(page, frameName, QStringLiteral("Select Axis"), twips(60, 60, 900, 2460));
        for (int i = 0; i < MaxPanelAxes; ++i) {
            auto* option = new QRadioButton(QString::number(i + 1), box);
            option->setObjectName(QStringLiteral("%1_%2").arg(optionName).arg(i));
            option->setGeometry(twips(240, 300 + 330 * i, 540, 255));
            options.append(option);
        }
        return box;
    };

    TabStrip1 = new QTabWidget(this);
    TabStrip1->setObjectName(QStringLiteral("TabStrip1"));
    for (int page = 1; page <= 2; ++page) {
        fraTrajectory[page] = new QFrame();
        fraTrajectory[page]->setObjectName(QStringLiteral("fraTrajectory_%1").arg(page));
    }
    // Tab 1 shows the trajectory page, tab 2 the servo page.
    TabStrip1->addTab(fraTrajectory[2], QStringLiteral("Trajectory Generation"));
    TabStrip1->addTab(fraTrajectory[1], QStringLiteral("Motion Control"));
    connect(TabStrip1, &QTabWidget::currentChanged, this, [this](int index) { TabStrip1_Click(index); });

    // Servo page.
    QFrame* servo = fraTrajectory[1];
    framePIDAxis = axisSelector(servo, QStringLiteral("framePIDAxis"), QStringLiteral("optPIDSelectAxis"),
                                optPIDSelectAxis);

    framePIDServo = makeFrame(servo, QStringLiteral("framePIDServo"), QStringLiteral("Set Servo Control Parameters"),
                              twips(1020, 60, 2880, 2460));
    const char* servoLabels[6][2] = {{"Label11", "Prop. Gain"},       {"Label12", "Integral Gain"},
                                     {"Label13", "Derivative Gain"},  {"Label14", "Integral Limit"},
                                     {"Label3", "Velocity FF"},       {"Label4", "Acceleration FF"}};
    for (int row = 0; row < 6; ++row) {
        makeLabel(framePIDServo, QLatin1String(servoLabels[row][0]), QLatin1String(servoLabels[row][1]),
                  twips(120, 330 + 360 * row, 1320, 255));
    }
    // Rows: gain, integral gain, derivative gain, limit; the box indexes are the original's.
    const Field pidFields[4] = {KP, KD, KI, KS};
    const int pidRows[4] = {0, 2, 1, 3};
    for (int i = 0; i < 4; ++i) {
        txtPID.append(addBox(framePIDServo, QStringLiteral("txtPID_%1").arg(i), pidFields[i],
                             twips(1500, 300 + 360 * pidRows[i], 1200, 285)));
    }
    // Tab goes down the column as the boxes stand, not in the order of their indexes.
    TabOrder::chain({txtPID.at(0), txtPID.at(2), txtPID.at(1), txtPID.at(3)});
    const Field feedForwardFields[2] = {VF, AF};
    for (int i = 0; i < 2; ++i) {
        txtFeedForward.append(addBox(framePIDServo, QStringLiteral("txtFeedForward_%1").arg(i), feedForwardFields[i],
                                     twips(1500, 300 + 360 * (4 + i), 1200, 285)));
    }

    frameFollowingErr = makeFrame(servo, QStringLiteral("frameFollowingErr"), QStringLiteral("Following Error"),
                                  twips(3960, 60, 3000, 780));
    txtFollowingErr = addBox(frameFollowingErr, QStringLiteral("txtFollowingErr"), FE, twips(120, 330, 1200, 285));
    lblFollowUnits = makeLabel(frameFollowingErr, QStringLiteral("lblFollowUnits"), QStringLiteral("Units"),
                               twips(1360, 360, 1500, 255));
    reserveUnitRoom(lblFollowUnits, QStringLiteral("%1"));

    frameCLStepper = makeFrame(servo, QStringLiteral("frameCLStepper"), QStringLiteral("Set Stepper Control Parameters"),
                               twips(3960, 900, 3000, 1620));
    chkCLStpEnable = new QCheckBox(QStringLiteral("Enable closed loop position regulation"), frameCLStepper);
    chkCLStpEnable->setObjectName(QStringLiteral("chkCLStpEnable"));
    chkCLStpEnable->setGeometry(twips(120, 270, 2820, 285));
    connect(chkCLStpEnable, &QCheckBox::clicked, this, [this](bool ticked) { chkCLStpEnable_Click(ticked); });
    makeLabel(frameCLStepper, QStringLiteral("lblCLStpDeadband"), QStringLiteral("Position Deadband"),
              twips(120, 750, 1380, 255));
    makeLabel(frameCLStepper, QStringLiteral("lblCLStpInterval"), QStringLiteral("Update Interval"),
              twips(120, 1110, 1380, 255));
    const Field stepperFields[2] = {DB, CL};
    for (int i = 0; i < 2; ++i) {
        txtCLStpVars.append(addBox(frameCLStepper, QStringLiteral("txtCLStpVars_%1").arg(i), stepperFields[i],
                                   twips(1560, 720 + 360 * i, 800, 285)));
    }
    makeLabel(frameCLStepper, QStringLiteral("lblDeadbandUnits"), QStringLiteral("counts"), twips(2400, 750, 560, 255));
    makeLabel(frameCLStepper, QStringLiteral("lblIntervalUnits"), QStringLiteral("ms"), twips(2400, 1110, 560, 255));

    // Trajectory page.
    QFrame* trajectory = fraTrajectory[2];
    frameTrajAxis = axisSelector(trajectory, QStringLiteral("frameTrajAxis"), QStringLiteral("optTrajSelectAxis"),
                                 optTrajSelectAxis);

    famMaxTraject = makeFrame(trajectory, QStringLiteral("famMaxTraject"), QStringLiteral("Max. Parameters"),
                              twips(1020, 60, 5940, 930));
    frameTrajParams = makeFrame(trajectory, QStringLiteral("frameTrajParams"), QStringLiteral("Define Parameters"),
                                twips(1020, 1050, 5940, 1980));
    framStartStop = makeFrame(trajectory, QStringLiteral("framStartStop"), QStringLiteral("Start Stop Speed"),
                              twips(1020, 3090, 5940, 630));

    // Box i: its frame, row, caption and field. The boxes stand in one column.
    struct TrajRow {
        QGroupBox* frame;
        int row;
        const char* caption;
        Field field;
    };
    const TrajRow rows[7] = {{famMaxTraject, 0, "Max. Speed", VU},   {frameTrajParams, 0, "Speed", VA},
                             {famMaxTraject, 1, "Max. Accel/Decel", AU}, {frameTrajParams, 1, "Acceleration", AC},
                             {frameTrajParams, 2, "Deceleration", AG},   {framStartStop, 0, nullptr, VB},
                             {frameTrajParams, 3, "Jerk", JK}};
    for (int i = 0; i < 7; ++i) {
        const TrajRow& r = rows[i];
        const int top = 270 + 330 * r.row;
        if (r.caption)
            makeLabel(r.frame, QStringLiteral("lblTrajParams_%1").arg(i), QLatin1String(r.caption),
                      twips(120, top + 30, 1560, 255));
        txtTrajParams.append(addBox(r.frame, QStringLiteral("txtTrajParams_%1").arg(i), r.field, twips(1800, top, 1200, 285)));
        QLabel* units = makeLabel(r.frame, QStringLiteral("lblUnits_%1").arg(i),
                                  i == 5 ? QStringLiteral("units/sec ") : QStringLiteral("units/sec"),
                                  twips(3040, top + 30, 1200, 255));
        reserveUnitRoom(units, QStringLiteral("%1/sec"));
        lblUnits.append(units);
    }
    // Exponent marks beside the units of boxes 2, 3, 4 ("2") and 6 ("3").
    const int powerBoxes[4] = {2, 3, 4, 6};
    for (int i = 0; i < 4; ++i) {
        QLineEdit* box = txtTrajParams.at(powerBoxes[i]);
        auto* mark = new QLabel(i == 3 ? QStringLiteral("3") : QStringLiteral("2"), box->parentWidget());
        mark->setObjectName(QStringLiteral("lblPower_%1").arg(i));
        QFont small = mark->font();
        small.setPointSizeF(small.pointSizeF() * 0.7);
        mark->setFont(small);
        mark->setGeometry(twips(4200, box->y() * 15 - 30, 150, 195));
        lblPower.append(mark);
    }

    makeLabel(frameTrajParams, QStringLiteral("Label8"), QStringLiteral("Trajectory Mode"),
              twips(120, 1620, 1560, 255));
    cboTrajMode = new QComboBox(frameTrajParams);
    cboTrajMode->setObjectName(QStringLiteral("cboTrajMode"));
    cboTrajMode->addItems(kTrajectoryModes);
    cboTrajMode->setPlaceholderText(QStringLiteral("Undefined"));
    cboTrajMode->setCurrentIndex(-1);
    cboTrajMode->setGeometry(twips(1800, 1575, 1800, 315));
    connect(cboTrajMode, qOverload<int>(&QComboBox::activated), this, [this](int index) { cboTrajMode_Click(index); });
    // The boxes were made in the order of their indexes, which go back and forth between frames.
    TabOrder::chain({famMaxTraject, frameTrajParams, framStartStop});

    const QStringList captions{QStringLiteral("&Help"), QStringLiteral("&OK"), QStringLiteral("&Cancel"),
                               QStringLiteral("&Apply")};
    for (int i = 0; i < captions.size(); ++i) {
        auto* button = new QPushButton(captions.at(i), this);
        button->setObjectName(QStringLiteral("cmdButton_%1").arg(i));
        button->setAutoDefault(false);
        connect(button, &QPushButton::clicked, this, [this, i] { cmdButton_Click(i); });
        cmdButton.append(button);
    }

    // The servo page's selector follows the current axis both ways; the trajectory page's follows
    // through it.
    followCurrentAxis(QList<QAbstractButton*>(optPIDSelectAxis.cbegin(), optPIDSelectAxis.cend()));
    for (int i = 0; i < MaxPanelAxes; ++i) {
        connect(optPIDSelectAxis.at(i), &QRadioButton::toggled, this, [this, i](bool on) {
            if (on)
                optPIDSelectAxis_Click(i);
        });
        connect(optTrajSelectAxis.at(i), &QRadioButton::toggled, this, [this, i](bool on) {
            if (on)
                optTrajSelectAxis_Click(i);
        });
    }

    m_CurrentTab = short(TabStrip1->currentIndex() + 1);
    DoTrajLabels(m_Axis);
    resizeEvent(nullptr);
}

QLineEdit* KVLTrajectory::addBox(QWidget* parent, const QString& name, Field field, const QRect& place)
{
    QLineEdit* edit = makeLineEdit(parent, name, QString(), place);
    m_boxes.append(Box{edit, field, QString()});
    addNumberBox(edit, [this](QLineEdit* e) { box_LostFocus(e); });
    return edit;
}

void KVLTrajectory::resizeEvent(QResizeEvent* e)
{
    if (e)
        PanelBase::resizeEvent(e);
    if (!TabStrip1)
        return;
    // Resized, the panel fills its host: top left, at the host's inner size, and lays itself out
    // in it. Built (no event), it lays itself out at its designed size.
    QSize inner = size();
    QWidget* host = parentWidget();
    if (e && host) {
        inner = host->contentsRect().size();
        if (pos() != QPoint(0, 0))
            move(0, 0);
        if (size() != inner)
            resize(inner);
    }
    const int buttonHeight = twipsToPixels(kButtonHeightTwips);
    const int tabHeight = std::max(0, inner.height() - buttonHeight - twipsToPixels(200));
    TabStrip1->setGeometry(0, 0, inner.width(), tabHeight);
    const int top = TabStrip1->y() + TabStrip1->height() + twipsToPixels(100);
    // The designed row, each button widened to its caption where the font needs it, the gaps kept.
    int left = twipsToPixels(1435 + 1050);
    const int gap = twipsToPixels(1050 - 855);
    for (QPushButton* button : cmdButton) {
        button->setGeometry(left, top, twipsToPixels(855), buttonHeight);
        button->resize(button->width() + platform::TextFit::shortfall(button).width(), buttonHeight);
        left += button->width() + gap;
    }
}

void KVLTrajectory::fitTexts()
{
    // A page is as large as its frames with the design's margin; what its texts add, it grows by.
    const int margin = twipsToPixels(120);
    withWidestUnits([this, margin] {
        for (QFrame* page : fraTrajectory) {
            if (!page)
                continue;
            QRect used;
            for (QWidget* child : page->findChildren<QWidget*>(QString(), Qt::FindDirectChildrenOnly))
                used |= child->geometry();
            page->resize(used.right() + 1 + margin, used.bottom() + 1 + margin);
            platform::TextFit::fit(page);
            page->setMinimumSize(page->size());
        }
    });
    // The buttons take their captions' widths first; then the panel grows as the root of any
    // other panel grows, so a host that shows it already follows.
    resizeEvent(nullptr);
    resize(size().expandedTo(minimumSizeHint()));
}

QSize KVLTrajectory::minimumSizeHint() const
{
    if (!TabStrip1)
        return PanelBase::minimumSizeHint();
    const QSize tabs = TabStrip1->minimumSizeHint();
    int buttons = twipsToPixels(1435 + 1050 * 4 + 855);
    if (!cmdButton.isEmpty())
        buttons = std::max(buttons, cmdButton.last()->geometry().right() + 1);
    return QSize(std::max(tabs.width(), buttons), tabs.height() + twipsToPixels(kButtonHeightTwips + 200));
}

// ---------------------------------------------------------------------------------------------
// Binding and reading

void KVLTrajectory::setUp()
{
    WaitCursor hourglass;
    RefreshPanel();
}

bool KVLTrajectory::event(QEvent* e)
{
    // A window closed under a running read or write: the loop ends at its next step and the
    // framework deletes the panel once it has.
    if (e->type() == QEvent::DeferredDelete && m_exchanging)
        m_leaving = true;
    return PanelBase::event(e);
}

bool KVLTrajectory::pumpAfterExchange()
{
    return pumpEvents() && !m_leaving;
}

bool KVLTrajectory::RefreshPanel()
{
    const short current = mobjGuiState ? mobjGuiState->CurrentAxis() : 0;
    m_Axis = isPanelAxis(current) ? current : 0;
    m_CurrentTab = short(TabStrip1->currentIndex() + 1);
    m_marks.clear();

    {
        QPointer<KVLTrajectory> self(this);
        BusyScope busy(*this);
        m_exchanging = true;
        const bool stayed = ReadTrajectoryParams();
        if (!self)
            return false;
        m_exchanging = false;
        if (!stayed || m_leaving)
            return false;
    }
    if (!motion())
        return true;

    // A motor type not read is no stepper's and no servo's: the stepper groups wait for one.
    const std::optional<int> type = isPanelAxis(m_Axis) ? motorTypeOf(m_Axis) : std::optional<int>(0);
    const bool stepperGroups = type && *type != 1;
    frameCLStepper->setEnabled(stepperGroups);
    framStartStop->setEnabled(stepperGroups);
    framePIDServo->setEnabled(true);
    m_stepperGroupOn = stepperGroups;
    for (QGroupBox* f : {frameFollowingErr, frameTrajParams, famMaxTraject, frameTrajAxis, framePIDAxis})
        f->setEnabled(true);

    if (isPanelAxis(m_Axis)) {
        const int index = m_Axis - 1;
        if (optTrajSelectAxis.at(index)->isEnabled())
            optTrajSelectAxis.at(index)->setChecked(true);
        optPIDSelectAxis.at(index)->setChecked(true);
        // Bound again on the axis already chosen: no selection ran, so show it here.
        showServoPage();
        showTrajectoryPage();
    } else {
        for (Box& b : m_boxes) {
            b.shown.clear();
            b.edit->clear();
        }
    }

    try {
        m_CommControl->StoreCurrentAxisState();
    } catch (const RuntimeError&) {
        // Only axes beyond the cache fail, after every axis it holds was taken.
    }
    return true;
}

int KVLTrajectory::InitializeAxes()
{
    if (!busChosen() || !isBound() || !linkOpen())
        return 0;
    const int count = probedAxisCount();
    for (int axis = 1; axis <= count; ++axis) {
        QString reply;
        const int status = sendQuery(query(axis, QStringLiteral("QM")), reply);
        if (!pumpAfterExchange())
            return 1;
        if (status == -2)
            return -2;
        double type = 0;
        const bool answered =
            ReadMarks::replyValue(status, reply, ReadMarks::Reply::Decimal, NumberText::Target::I32, type);
        if (answered && motion()) {
            motion()->setMotorType(short(axis), qint32(type));
            m_marks.markRead(axis, MotorTypeMark);
        }
        // An axis that did not answer may have a motor: its options are left as they were.
        if (!answered)
            continue;
        optPIDSelectAxis.at(axis - 1)->setEnabled(type != 0);
        optTrajSelectAxis.at(axis - 1)->setEnabled(type != 0);
    }
    for (int i = MaxPanelAxes - 1; i >= count; --i) {
        optPIDSelectAxis.at(i)->setEnabled(false);
        optTrajSelectAxis.at(i)->setEnabled(false);
    }
    return 0;
}

bool KVLTrajectory::ReadTrajectoryParams()
{
    if (!busChosen())
        return true;
    const int probe = InitializeAxes();
    if (probe == 1)
        return false;
    if (probe == -2)
        return true; // the link is gone: nothing more can be read
    const int count = probedAxisCount();
    for (int axis = 1; axis <= count; ++axis) {
        for (const Param& p : kParams) {
            // A fresh reply for each query, so an unanswered one never takes the one before.
            QString reply;
            const int status = sendQuery(query(axis, QLatin1String(p.mnemonic), AxisForm::Blank), reply);
            if (!pumpAfterExchange())
                return false;
            if (status == -2)
                return true;
            IMotion* m = motion();
            if (!m)
                return true;
            double value = 0;
            const ReadMarks::Reply form = p.kind == Kind::Word ? ReadMarks::Reply::Hex : ReadMarks::Reply::Decimal;
            if (ReadMarks::replyValue(status, reply, form, targetOf(p.kind), value)) {
                p.set(*m, short(axis), value);
                m_marks.markRead(axis, p.field);
            }
        }
    }
    return true;
}

// ---------------------------------------------------------------------------------------------
// Writing

KVLTrajectory::WriteEnd KVLTrajectory::WriteTrajectoryParams()
{
    if (!busChosen())
        return WriteEnd::Done;
    const int count = probedAxisCount();
    for (int axis = 1; axis <= count; ++axis) {
        for (const Param& p : kParams) {
            if (p.field == SN || !isKnown(axis, p.field))
                continue;
            IMotion* m = motion();
            if (!m)
                return WriteEnd::Failed;
            const QString line = command(axis, QLatin1String(p.mnemonic), commandValue(p.kind, p.get(*m, short(axis))),
                                         AxisForm::Blank);
            const int status = sendCommand(line);
            if (status == -2)
                return WriteEnd::LinkBroken;
            if (!pumpAfterExchange())
                return WriteEnd::Gone;
            if (status < 0)
                return WriteEnd::Failed;
        }
    }
    return WriteEnd::Done;
}

void KVLTrajectory::cmdButton_Click(int Index)
{
    switch (Index) {
    case 0:
        // A host that handles the event opens the help itself; without one the panel does, so
        // the help is opened once either way.
        if (isSignalConnected(QMetaMethod::fromSignal(&KVLTrajectory::HelpClicked)))
            emit HelpClicked();
        else
            platform::ShowDocument(helpFilePath());
        return;
    case 1:
    case 3: {
        if (m_exchanging)
            return;
        QPointer<KVLTrajectory> self(this);
        WriteEnd end;
        {
            BusyScope busy(*this);
            m_exchanging = true;
            for (int i = 1; i <= 3; ++i)
                cmdButton.at(i)->setEnabled(false);
            end = WriteTrajectoryParams();
            if (!self)
                return;
            m_exchanging = false;
            for (int i = 1; i <= 3; ++i)
                cmdButton.at(i)->setEnabled(true);
        }
        if (end == WriteEnd::Gone || m_leaving)
            return;
        if (end == WriteEnd::Failed) {
            platform::MsgBox(kWriteFailedPrompt, platform::vbExclamation);
            return;
        }
        // A broken link was reported by the failure path; the edits stay for another try.
        if (end == WriteEnd::LinkBroken)
            return;
        if (!pumpEvents() || !self || m_leaving)
            return;
        if (Index == 1)
            closeHost();
        return;
    }
    case 2: {
        if (m_exchanging)
            return;
        if (m_CommControl) {
            try {
                m_CommControl->RestoreOldAxisState();
            } catch (const RuntimeError&) {
                // Only axes beyond the cache fail, after every axis it holds was restored.
            }
        }
        m_marks.clearEdits();
        showServoPage();
        showTrajectoryPage();
        if (!pumpEvents())
            return;
        closeHost();
        return;
    }
    default: {
        RuntimeError error(1234, RuntimeError::standardDescription(1234), QStringLiteral("KVL410ActiveX"));
        if (m_CommControl)
            m_CommControl->HandleError(error);
        return;
    }
    }
}

void KVLTrajectory::closeHost()
{
    if (QWidget* host = parentWidget())
        host->close();
    else
        close();
}

// ---------------------------------------------------------------------------------------------
// Axis selection and display

void KVLTrajectory::optPIDSelectAxis_Click(int Index)
{
    // The current axis was written by the selector's own handler.
    m_Axis = short(Index + 1);
    optTrajSelectAxis.at(Index)->setChecked(true);
    showServoPage();
}

void KVLTrajectory::optTrajSelectAxis_Click(int Index)
{
    m_Axis = short(Index + 1);
    if (mobjGuiState)
        mobjGuiState->setCurrentAxis(m_Axis);
    optPIDSelectAxis.at(Index)->setChecked(true);
    showTrajectoryPage();
}

void KVLTrajectory::showServoPage()
{
    if (!hasAxis())
        return;
    IMotion& m = *motion();
    const short axis = m_Axis;
    // A value not read shows empty, never the cache's guess.
    for (Field f : {KP, KD, KI, KS, VF, AF})
        setBoxText(f, shows(axis, f) ? NumberText::localeSingle(float(kParams[f].get(m, axis))) : QString());
    for (Field f : {DB, CL})
        setBoxText(f, shows(axis, f) ? NumberText::integerText(qint64(kParams[f].get(m, axis))) : QString());
    setBoxText(FE, shows(axis, FE) ? NumberText::displayText(m.MaxFollowError(axis), 3) : QString());

    // A word not read is neither ticked nor clear.
    if (shows(axis, ZB)) {
        chkCLStpEnable->setTristate(false);
        chkCLStpEnable->setChecked((m.FeedbackConfig(axis) & kClosedLoopBit) != 0);
    } else {
        chkCLStpEnable->setCheckState(Qt::PartiallyChecked);
    }

    const std::optional<int> type = motorTypeOf(axis);
    if (!type) {
        m_stepperGroupOn = false;
        frameCLStepper->setEnabled(false);
    } else if (*type >= 0 && *type <= 3) {
        framePIDServo->setEnabled(true);
        for (QLineEdit* box : txtPID)
            box->setEnabled(true);
        for (QLineEdit* box : txtFeedForward)
            box->setEnabled(true);
        m_stepperGroupOn = *type >= 2;
        frameCLStepper->setEnabled(m_stepperGroupOn);
        for (QLineEdit* box : txtCLStpVars)
            box->setEnabled(m_stepperGroupOn);
    }
    enableClosedLoopTick();

    lblFollowUnits->move(twipsToPixels((txtFollowingErr->x() + txtFollowingErr->width()) * 15.0 + 40), lblFollowUnits->y());
    if (!shows(axis, SN)) {
        lblFollowUnits->setText(QStringLiteral("Units"));
        return;
    }
    const QString unit = unitName(axis);
    if (!unit.isNull())
        lblFollowUnits->setText(unit);
}

void KVLTrajectory::showTrajectoryPage()
{
    if (!hasAxis())
        return;
    IMotion& m = *motion();
    const short axis = m_Axis;
    const int mode = m.TrajectoryMode(axis);
    // Mode 0, modes beyond the list and a mode not read select no item.
    cboTrajMode->setCurrentIndex(shows(axis, TJ) && mode >= 1 && mode <= kTrajectoryModes.size() ? mode - 1 : -1);
    for (Field f : {VU, VA, AU, AC, AG, VB, JK})
        setBoxText(f, shows(axis, f) ? NumberText::displayText(kParams[f].get(m, axis), 4) : QString());

    const std::optional<int> type = motorTypeOf(axis);
    if (!type) {
        framStartStop->setEnabled(false);
    } else if (*type >= 0 && *type <= 3) {
        framStartStop->setEnabled(*type >= 2);
        txtTrajParams.at(5)->setEnabled(*type >= 2);
    }
    DoTrajLabels(m_Axis);
}

// The tick changes only a word that was read: set on a word never read, the controller's other
// bits would be overwritten by the write.
void KVLTrajectory::enableClosedLoopTick()
{
    chkCLStpEnable->setEnabled(m_stepperGroupOn && hasAxis() && isKnown(m_Axis, ZB));
}

void KVLTrajectory::setBoxText(Field field, const QString& text)
{
    for (Box& b : m_boxes) {
        if (b.field == field) {
            b.shown = text;
            b.edit->setText(text);
        }
    }
}

void KVLTrajectory::DoTrajLabels(const short& Index)
{
    QString unit;
    if (Index >= 1 && Index <= MotionParameterCache::CachedAxes) {
        // Units not read: the captions name no unit.
        unit = shows(Index, SN) ? unitName(Index) : QStringLiteral("units");
    }
    for (int i = 0; i < lblUnits.size() && i < txtTrajParams.size(); ++i) {
        QLabel* units = lblUnits.at(i);
        QLineEdit* box = txtTrajParams.at(i);
        units->move(twipsToPixels((box->x() + box->width()) * 15.0 + 40), units->y());
        if (!unit.isNull()) {
            units->setText(unit + QStringLiteral("/sec"));
            units->adjustSize();
        }
    }
    if (lblUnits.size() < 5 || lblPower.size() < 4)
        return;
    // The units labels stand in one column: the marks go by the right edge of the deceleration row's.
    const double edge = (lblUnits.at(4)->x() + lblUnits.at(4)->width()) * 15.0;
    for (int i = 0; i < 3; ++i)
        lblPower.at(i)->move(twipsToPixels(std::round(edge + 20)), lblPower.at(i)->y());
    lblPower.at(3)->move(twipsToPixels(std::round(edge - 10)), lblPower.at(3)->y());
}

qint32 KVLTrajectory::Hex2Dec(const QString& Message) const
{
    // A text that holds no word of the controller gives 0, as one without digits does.
    return static_cast<qint32>(NumberText::statusWord(Message).value_or(0));
}

// ---------------------------------------------------------------------------------------------
// Edits

void KVLTrajectory::cboTrajMode_Click(int index)
{
    if (!hasAxis() || index < 0)
        return;
    motion()->setTrajectoryMode(m_Axis, short(index + 1));
    m_marks.markEdited(m_Axis, TJ);
}

void KVLTrajectory::chkCLStpEnable_Click(bool ticked)
{
    if (!hasAxis() || !isKnown(m_Axis, ZB)) {
        chkCLStpEnable->setChecked(!ticked);
        return;
    }
    IMotion& m = *motion();
    int word = m.FeedbackConfig(m_Axis);
    word = ticked ? (word | kClosedLoopBit) : (word & ~kClosedLoopBit);
    m.setFeedbackConfig(m_Axis, word);
    m_marks.markEdited(m_Axis, ZB);
}

void KVLTrajectory::TabStrip1_Click(int index)
{
    m_CurrentTab = short(index + 1);
}

void KVLTrajectory::box_LostFocus(QLineEdit* edit)
{
    Box* box = nullptr;
    for (Box& b : m_boxes) {
        if (b.edit == edit)
            box = &b;
    }
    if (!box)
        return;
    // A box only visited keeps the value it shows, unrounded.
    QString shownCleaned = box->shown;
    Global::CleanNumericText(shownCleaned);
    if (edit->text() == shownCleaned || !hasAxis()) {
        edit->setText(box->shown);
        return;
    }
    bool ok = false;
    const double typed = NumberText::parseLocale(edit->text(), &ok);
    const Kind kind = kParams[box->field].kind;
    const std::optional<double> value = ok ? NumberText::fit(typed, targetOf(kind)) : std::nullopt;
    if (!value) {
        // A lone sign or separator, or a number the parameter cannot hold: the box goes back.
        edit->setText(box->shown);
        return;
    }
    kParams[box->field].set(*motion(), m_Axis, *value);
    m_marks.markEdited(m_Axis, box->field);
    box->shown = edit->text();
}

// ---------------------------------------------------------------------------------------------
// Helpers

IMotion* KVLTrajectory::motion() const
{
    return m_CommControl.data();
}

bool KVLTrajectory::isKnown(int axis, Field field) const
{
    if (!isPanelAxis(axis))
        return false;
    return m_marks.isKnown(axis, field);
}

bool KVLTrajectory::shows(int axis, int mark) const
{
    return !busChosen() || m_marks.isKnown(axis, mark);
}

std::optional<int> KVLTrajectory::motorTypeOf(int axis) const
{
    IMotion* m = motion();
    if (!m || !isPanelAxis(axis))
        return 0;
    if (!shows(axis, MotorTypeMark))
        return std::nullopt;
    return m->MotorType(short(axis));
}

bool KVLTrajectory::numberBoxUnread(const QLineEdit* box) const
{
    if (!hasAxis() || !box->text().isEmpty())
        return false;
    for (const Box& b : m_boxes) {
        if (b.edit == box)
            return !shows(m_Axis, b.field);
    }
    return false;
}

QString KVLTrajectory::unitName(int axis) const
{
    IMotion* m = motion();
    if (!m)
        return QString();
    const int code = m->DisplacementUnits(short(axis));
    // A code outside the table leaves the label as it is.
    if (code < 0 || code > 11)
        return QString();
    return Global::gUnitNames[code];
}

// ---------------------------------------------------------------------------------------------
// Late binding

const platform::DispatchTable* KVLTrajectory::dispatchTable(const QString& interfaceName) const
{
    static const platform::DispatchTable table = buildTable();
    if (!interfaceName.isEmpty() && interfaceName != table.interfaceName())
        return nullptr;
    return &table;
}

QString KVLTrajectory::helpFilePath()
{
    return QDir(QCoreApplication::applicationDirPath()).filePath(QStringLiteral("MOXTREL.HLP"));
}

QVector<QPair<int, QString>> KVLTrajectory::eventTable() const
{
    return {{1, QStringLiteral("HelpClicked")}};
}
