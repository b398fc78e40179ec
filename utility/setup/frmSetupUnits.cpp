#include "utility/setup/frmSetupUnits.h"

#include "library/link/IMotion.h"
#include "library/link/NumberText.h"
#include "library/panels/TabOrder.h"
#include "platform/ui/MsgBox.h"
#include "utility/setup/AxisOptionRow.h"
#include "utility/setup/NumberBox.h"
#include "utility/shell/ControllerQuery.h"
#include "utility/shell/FormPlaces.h"
#include "utility/shell/ProgramState.h"

#include <QComboBox>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QLocale>
#include <QPushButton>
#include <QRadioButton>
#include <QVBoxLayout>

#include <algorithm>

namespace {

// The values this window reads and writes, numbered for the read marks.
enum Field { SN, SU, FR, QS, ZB, QM };

// The units list, in its order, and the codes its items stand for: code 8 has no item.
struct UnitItem {
    const char* item;
    int code;
};
const UnitItem kUnits[] = {
    {"ENCODER COUNTS", 0}, {"MOTOR STEP", 1},  {"MILLIMETER", 2},   {"MICROMETER", 3},
    {"INCHES", 4},         {"MILLI-INCHES", 5}, {"MICRO-INCHES", 6}, {"DEGREE", 7},
    {"RADIAN", 9},         {"MILLI-RADIAN", 10}, {"MICRO-RADIAN", 11},
};
constexpr int kUnitItems = int(std::size(kUnits));

constexpr int kEncoderFeedbackBit = 0x100;
constexpr int kMotorSteps = 1;
constexpr int kEncoderCounts = 0;

} // namespace

int frmSetupUnits::positionOfCode(int code)
{
    for (int i = 0; i < kUnitItems; ++i) {
        if (kUnits[i].code == code)
            return i;
    }
    return -1;
}

int frmSetupUnits::codeOfPosition(int position)
{
    return position >= 0 && position < kUnitItems ? kUnits[position].code : -1;
}

frmSetupUnits::frmSetupUnits()
    : SetupForm(QStringLiteral("frmSetupUnits"), QStringLiteral("Setup Resolution"))
{
    setSnapshotValues({SETUP_CACHE_VALUE(DisplacementUnits), SETUP_CACHE_VALUE(EncoderResolution),
                       SETUP_CACHE_VALUE(Stepsize), SETUP_CACHE_VALUE(Microstep), SETUP_CACHE_VALUE(FeedbackConfig),
                       SETUP_CACHE_VALUE(MotorType)});

    frameSelectAxis = new QGroupBox(QStringLiteral("Select Axis"), this);
    frameSelectAxis->setObjectName(QStringLiteral("frameSelectAxis"));
    m_row = new AxisOptionRow(frameSelectAxis, QStringLiteral("optUnitSelectAxis"), Options,
                              [](int i) { return QString::number(i + 1); });
    m_row->setHandler([this](int index) { optUnitSelectAxis_Click(index); });
    auto* axes = new QGridLayout(frameSelectAxis);
    for (int i = 0; i < Options; ++i)
        axes->addWidget(m_row->option(i), i % 4, i / 4);

    frameDefineResolution = new QGroupBox(QStringLiteral("Define Resolution"), this);
    frameDefineResolution->setObjectName(QStringLiteral("frameDefineResolution"));
    txtDefineResolution = new QLineEdit(frameDefineResolution);
    txtDefineResolution->setObjectName(QStringLiteral("txtDefineResolution"));
    txtDefineResolution->setToolTip(QStringLiteral("Stage Motion Per Encoder Count"));
    (new QVBoxLayout(frameDefineResolution))->addWidget(txtDefineResolution);

    Label1 = new QLabel(QStringLiteral("Select Units"), this);
    Label1->setObjectName(QStringLiteral("Label1"));
    cboSelectUnits = new QComboBox(this);
    cboSelectUnits->setObjectName(QStringLiteral("cboSelectUnits"));
    for (const UnitItem& u : kUnits)
        cboSelectUnits->addItem(QLatin1String(u.item));
    cboSelectUnits->setPlaceholderText(QStringLiteral("Select Units"));
    cboSelectUnits->setCurrentIndex(-1);
    connect(cboSelectUnits, qOverload<int>(&QComboBox::activated), this,
            [this](int position) { cboSelectUnits_Click(position); });

    framStepper = new QGroupBox(QStringLiteral("Stepper"), this);
    framStepper->setObjectName(QStringLiteral("framStepper"));
    lblFullStep = new QLabel(QStringLiteral("Full Step Resolution"), framStepper);
    lblFullStep->setObjectName(QStringLiteral("lblFullStep"));
    txtStepRes = new QLineEdit(framStepper);
    txtStepRes->setObjectName(QStringLiteral("txtStepRes"));
    txtStepRes->setToolTip(QStringLiteral("Enter Motor Full Step Resolution"));
    lblUnits = new QLabel(QStringLiteral("steps"), framStepper);
    lblUnits->setObjectName(QStringLiteral("lblUnits"));
    lblFactor = new QLabel(QStringLiteral("Micro-Step Factor"), framStepper);
    lblFactor->setObjectName(QStringLiteral("lblFactor"));
    txtMicroStep = new QLineEdit(framStepper);
    txtMicroStep->setObjectName(QStringLiteral("txtMicroStep"));
    txtMicroStep->setToolTip(QStringLiteral("Enter Motor Driver Micro-Step Factor"));
    lblFeedback = new QLabel(QStringLiteral("Use Feedback"), framStepper);
    lblFeedback->setObjectName(QStringLiteral("lblFeedback"));
    optFeedback[0] = new QRadioButton(QStringLiteral("Yes"), framStepper);
    optFeedback[0]->setObjectName(QStringLiteral("optFeedback_0"));
    optFeedback[1] = new QRadioButton(QStringLiteral("No"), framStepper);
    optFeedback[1]->setObjectName(QStringLiteral("optFeedback_1"));
    for (int i = 0; i < 2; ++i)
        connect(optFeedback[i], &QRadioButton::clicked, this, [this, i] { optFeedback_Click(i); });
    auto* stepper = new QGridLayout(framStepper);
    stepper->addWidget(lblFullStep, 0, 0);
    stepper->addWidget(txtStepRes, 0, 1);
    stepper->addWidget(lblUnits, 0, 2);
    stepper->addWidget(lblFactor, 1, 0);
    stepper->addWidget(txtMicroStep, 1, 1);
    stepper->addWidget(lblFeedback, 2, 0);
    auto* feedback = new QHBoxLayout;
    feedback->addWidget(optFeedback[0]);
    feedback->addWidget(optFeedback[1]);
    stepper->addLayout(feedback, 2, 1, 1, 2);

    m_resolution = new NumberBox(txtDefineResolution, NumberBox::Kind::Single);
    m_stepRes = new NumberBox(txtStepRes, NumberBox::Kind::Single);
    m_microStep = new NumberBox(txtMicroStep, NumberBox::Kind::Int32);
    for (NumberBox* box : {m_resolution, m_stepRes, m_microStep})
        addNumberBox(box);
    m_resolution->setCommitHandler([this](double value) {
        if (IMotion* m = motion(); m && m_axis != 0) {
            m->setEncoderResolution(m_axis, float(value));
            markEdited(m_axis, SU);
        }
    });
    m_stepRes->setCommitHandler([this](double value) {
        if (IMotion* m = motion(); m && m_axis != 0) {
            m->setStepsize(m_axis, float(value));
            markEdited(m_axis, FR);
        }
    });
    m_microStep->setCommitHandler([this](double value) {
        if (IMotion* m = motion(); m && m_axis != 0) {
            m->setMicrostep(m_axis, qint32(value));
            markEdited(m_axis, QS);
            ShowResolution();
        }
    });

    btnResOk = addButton(QStringLiteral("btnResOk"), QStringLiteral("&OK"), [this] { btnResOk_Click(); });
    btnResCancel = addButton(QStringLiteral("btnResCancel"), QStringLiteral("&Cancel"), [this] { btnResCancel_Click(); });
    setCancelButton(btnResCancel);
    btnResApply = addButton(QStringLiteral("btnResApply"), QStringLiteral("&Apply"), [this] { btnResApply_Click(); });
    // Never shown: its enabled state is the pending amplifier update.
    btnUpdateAxorn = addButton(QStringLiteral("btnUpdateAxorn"), QStringLiteral("&Update Axorn"), {});
    btnUpdateAxorn->setVisible(false);
    btnUpdateAxorn->setEnabled(false);

    auto* units = new QHBoxLayout;
    units->addWidget(Label1);
    units->addWidget(cboSelectUnits, 1);
    auto* right = new QVBoxLayout;
    right->addLayout(units);
    right->addWidget(frameDefineResolution);
    right->addWidget(framStepper);
    auto* top = new QHBoxLayout;
    top->addWidget(frameSelectAxis);
    top->addLayout(right, 1);
    TabOrder::chain({frameSelectAxis, cboSelectUnits, frameDefineResolution, framStepper});
    auto* buttons = new QHBoxLayout;
    buttons->addStretch(1);
    buttons->addWidget(btnResOk);
    buttons->addWidget(btnResCancel);
    buttons->addWidget(btnResApply);
    auto* layout = new QVBoxLayout(this);
    layout->addLayout(top);
    layout->addLayout(buttons);
}

// ---------------------------------------------------------------------------------------------
// Loading

void frmSetupUnits::Form_Load()
{
    Exchange exchange(*this, true);
    bindLink();
    m_row->follow(guiState(), false);
    KvlXGlobal::RestoreFormPosition(this);
    const short opening = guiState() ? guiState()->CurrentAxis() : 1;
    const int feedbackAxes = std::clamp<int>(KvlXGlobal::gMaxFeedbackAxes, 0, ReadMarks::Axes);
    const int motorAxes = std::clamp<int>(KvlXGlobal::gMaxAxes, 0, ReadMarks::Axes);

    for (short axis = 1; axis <= feedbackAxes; ++axis) {
        if (!readAxis(axis))
            return;
    }
    if (IMotion* m = motion()) {
        for (short axis = 1; axis <= motorAxes; ++axis)
            m_savedMicrostep[axis - 1] = m->Microstep(axis);
    }
    for (short axis = short(motorAxes + 1); axis <= feedbackAxes; ++axis) {
        if (!ReadUnitsFromController(axis) || !pump())
            return;
    }
    // Taken once everything is read, so Cancel returns the feedback-only axes to what they read.
    takeSnapshot();

    m_row->disableAll();
    m_row->enableUpTo(guiState() ? guiState()->MaxFeedbackAxes() : 0);
    if (!m_row->selectAxis(opening)) {
        // A current axis without an option: nothing to edit until an axis is chosen.
        for (QWidget* w : std::initializer_list<QWidget*>{framStepper, frameDefineResolution, cboSelectUnits, Label1})
            w->setEnabled(false);
    }
}

bool frmSetupUnits::readAxis(short axis)
{
    IMotion* m = motion();
    if (!m)
        return true;
    const QString a = NumberText::integerText(axis);
    using T = NumberText::Target;
    auto read = [&](int field, const char* mnemonic, ReadMarks::Reply form, T target, auto store,
                    bool pumpAfter = true) {
        return readValue(axis, field, a + QLatin1String(mnemonic), form, target, store, pumpAfter) != Read::Gone;
    };
    auto units = [&](double v) { m->setDisplacementUnits(axis, short(v)); };
    auto resolution = [&](double v) { m->setEncoderResolution(axis, float(v)); };
    using R = ReadMarks::Reply;
    // Units and encoder resolution of every axis with feedback.
    if (!read(SN, "SN?", R::Decimal, T::I16, units) || !read(SU, "SU?", R::Decimal, T::Single, resolution))
        return false;
    if (axis > KvlXGlobal::gMaxAxes)
        return true;
    // A motor axis: its motor type, and the stepper fields of one with a motor. The probe lets no
    // events run.
    if (!read(QM, "QM?", R::MarkedHex, T::I32, [&](double v) { m->setMotorType(axis, qint32(v)); }, false))
        return false;
    if (!isKnown(axis, QM) || m->MotorType(axis) == 0)
        return true;
    return read(SN, "SN?", R::Decimal, T::I16, units) && read(SU, "SU?", R::Decimal, T::Single, resolution) &&
           read(FR, "FR?", R::MarkedHex, T::Single, [&](double v) { m->setStepsize(axis, float(v)); }) &&
           read(QS, "QS?", R::MarkedHex, T::I32, [&](double v) { m->setMicrostep(axis, qint32(v)); }) &&
           read(ZB, "ZB?", R::MarkedHex, T::I32, [&](double v) { m->setFeedbackConfig(axis, qint32(v)); });
}

bool frmSetupUnits::ReadUnitsFromController(short axis)
{
    IMotion* m = motion();
    if (!m)
        return true;
    const QString a = NumberText::integerText(axis);
    using R = ReadMarks::Reply;
    // This one query carries the axis after a blank, as the controller has always been asked it.
    using T = NumberText::Target;
    return readValue(axis, SN, QLatin1Char(' ') + a + QStringLiteral("SN?"), R::MarkedHex, T::I16,
                     [&](double v) { m->setDisplacementUnits(axis, short(v)); }) != Read::Gone &&
           readValue(axis, SU, a + QStringLiteral("SU?"), R::MarkedHex, T::Single,
                     [&](double v) { m->setEncoderResolution(axis, float(v)); }) != Read::Gone &&
           readValue(axis, ZB, a + QStringLiteral("ZB?"), R::MarkedHex, T::I32,
                     [&](double v) { m->setFeedbackConfig(axis, qint32(v)); }) != Read::Gone;
}

// ---------------------------------------------------------------------------------------------
// Showing an axis

void frmSetupUnits::mobjguistate_AxisChange(short NewAxis, short)
{
    m_row->selectAxis(NewAxis);
}

frmSetupUnits::Role frmSetupUnits::roleOf(int axis)
{
    IMotion* m = motion();
    if (!m || axis < 1 || axis > ReadMarks::Axes)
        return Role::NoMotor;
    // Loading and Apply take the axes above the controller's motor axes as feedback-only; the
    // display does the same, so such an axis is never shown (or edited) as a motor axis.
    if (axis > KvlXGlobal::gMaxAxes)
        return Role::FeedbackOnly;
    // A probe that failed is no answer of "no motor".
    if (!isKnown(short(axis), QM))
        return Role::Unknown;
    const int type = m->MotorType(short(axis));
    if (type == 1)
        return Role::Servo;
    if (type >= 2)
        return Role::Stepper;
    return Role::NoMotor;
}

void frmSetupUnits::optUnitSelectAxis_Click(int Index)
{
    // What was typed goes to the axis it was typed for, before the boxes show another.
    commitBoxes();
    m_axis = short(Index + 1);
    IMotion* m = motion();
    if (!m)
        return;
    const Role role = roleOf(m_axis);
    const bool stepper = role == Role::Stepper;
    for (QWidget* w : std::initializer_list<QWidget*>{framStepper, lblFactor, lblFullStep, txtMicroStep, txtStepRes,
                                                      lblFeedback})
        w->setEnabled(stepper);
    optFeedback[0]->setEnabled(stepper && isKnown(m_axis, ZB));
    optFeedback[1]->setEnabled(stepper && isKnown(m_axis, ZB));
    lblUnits->setVisible(stepper);
    if (role == Role::Servo || role == Role::FeedbackOnly)
        frameDefineResolution->setEnabled(true);
    else if (role == Role::NoMotor || role == Role::Unknown)
        frameDefineResolution->setEnabled(false);
    // Without its motor type the axis's values are shown as read, and none can be edited: which of
    // them Apply sends depends on that type.
    const bool editable = role != Role::NoMotor && role != Role::Unknown;
    cboSelectUnits->setEnabled(editable);
    Label1->setEnabled(editable);

    // A value that was not read shows empty, never the cache's guess.
    showKnown(m_resolution, SU, m->EncoderResolution(m_axis));
    if (role == Role::FeedbackOnly) {
        m_stepRes->clear();
        m_microStep->clear();
    } else {
        showKnown(m_stepRes, FR, m->Stepsize(m_axis));
        showKnown(m_microStep, QS, m->Microstep(m_axis));
        const bool feedback = (m->FeedbackConfig(m_axis) & kEncoderFeedbackBit) != 0;
        if (isKnown(m_axis, ZB))
            optFeedback[feedback ? 0 : 1]->setChecked(true);
        else
            showNoChoice(optFeedback[0]);
    }
    if (role == Role::Unknown) {
        cboSelectUnits->setCurrentIndex(isKnown(m_axis, SN) ? positionOfCode(m->DisplacementUnits(m_axis)) : -1);
        showUnitName();
        return;
    }
    if (role == Role::NoMotor) {
        // Shown as encoder counts; the code stays as it is (Apply sends nothing for this axis).
        cboSelectUnits->setCurrentIndex(0);
        showUnitName();
        return;
    }
    // A code without an item, or one never read, leaves the list without a selection and the code
    // as it is.
    cboSelectUnits->setCurrentIndex(isKnown(m_axis, SN) ? positionOfCode(m->DisplacementUnits(m_axis)) : -1);
    showUnitName();
    ShowResolution();
}

void frmSetupUnits::showKnown(NumberBox* box, int field, double value)
{
    if (isKnown(m_axis, field))
        box->show(value);
    else
        box->clear();
}

void frmSetupUnits::showUnitName()
{
    IMotion* m = motion();
    const int code = m && m_axis != 0 && isKnown(m_axis, SN) ? m->DisplacementUnits(m_axis) : -1;
    lblUnits->setText(code >= 0 && code < KvlXGlobal::UnitNameCount ? KvlXGlobal::gUnitNames[code] : QString());
}

void frmSetupUnits::cboSelectUnits_Click(int position)
{
    IMotion* m = motion();
    const int code = codeOfPosition(position);
    if (!m || m_axis == 0 || code < 0)
        return;
    m->setDisplacementUnits(m_axis, short(code));
    markEdited(m_axis, SN);
    showUnitName();
    ShowResolution();
}

void frmSetupUnits::ShowResolution()
{
    IMotion* m = motion();
    if (!m || m_axis == 0 || roleOf(m_axis) != Role::Stepper)
        return;
    const short axis = m_axis;
    const int code = m->DisplacementUnits(axis);
    // In motor steps or encoder counts a resolution is one by definition; the values follow only
    // a units code that is the controller's or the user's, never one that was not read.
    const bool definite = isKnown(axis, SN);
    if (!definite)
        return;
    if (code == kMotorSteps) {
        txtMicroStep->setEnabled(true);
        lblFactor->setEnabled(true);
        lblFullStep->setEnabled(false);
        txtStepRes->setEnabled(false);
        frameDefineResolution->setEnabled(false);
        m->setStepsize(axis, 1.0f);
        m_stepRes->show(1.0);
        m->setEncoderResolution(axis, 1.0f);
        m_resolution->showText(QStringLiteral("1") + QLocale().decimalPoint());
        if (definite) {
            markEdited(axis, FR);
            markEdited(axis, SU);
        }
        return;
    }
    lblFullStep->setEnabled(true);
    txtStepRes->setEnabled(true);
    txtMicroStep->setEnabled(true);
    lblFactor->setEnabled(true);
    if (code == kEncoderCounts) {
        frameDefineResolution->setEnabled(false);
        m->setEncoderResolution(axis, 1.0f);
        if (definite)
            markEdited(axis, SU);
        m_resolution->show(1.0);
        showKnown(m_stepRes, FR, m->Stepsize(axis) / m->EncoderResolution(axis));
        return;
    }
    showKnown(m_stepRes, FR, m->Stepsize(axis));
    showKnown(m_resolution, SU, m->EncoderResolution(axis));
    frameDefineResolution->setEnabled((m->FeedbackConfig(axis) & kEncoderFeedbackBit) != 0);
}

void frmSetupUnits::optFeedback_Click(int Index)
{
    IMotion* m = motion();
    if (!m || m_axis == 0 || !isKnown(m_axis, ZB)) {
        return;
    }
    const int word = m->FeedbackConfig(m_axis);
    m->setFeedbackConfig(m_axis, Index == 0 ? (word | kEncoderFeedbackBit) : (word & ~kEncoderFeedbackBit));
}

// ---------------------------------------------------------------------------------------------
// Apply, OK, Cancel

void frmSetupUnits::btnResApply_Click()
{
    IMotion* m = motion();
    if (!m)
        return;
    {
        Exchange exchange(*this, false);
        if (!exchange)
            return;
        takeSnapshot();
        m_microstepMask = 0;
        const int motorAxes = std::clamp<int>(KvlXGlobal::gMaxAxes, 0, ReadMarks::Axes);
        const int feedbackAxes = std::clamp<int>(KvlXGlobal::gMaxFeedbackAxes, 0, ReadMarks::Axes);
        // One setting of an axis: the axis, the mnemonic and the value, as the cache's transfers send it.
        auto send = [&](short axis, int field, const char* mnemonic, const QString& value) {
            const QString name = QLatin1String(mnemonic);
            return writeValue(axis, field, name, NumberText::integerText(axis) + name + value);
        };
        auto units = [&](short axis) {
            return send(axis, SN, "SN", NumberText::integerText(m->DisplacementUnits(axis))) &&
                   send(axis, SU, "SU", NumberText::singleText(m->EncoderResolution(axis)));
        };
        for (short axis = 1; axis <= motorAxes; ++axis) {
            if (m->MotorType(axis) != 0) {
                const bool stayed = units(axis) && send(axis, FR, "FR", NumberText::singleText(m->Stepsize(axis))) &&
                                    send(axis, QS, "QS", NumberText::integerText(m->Microstep(axis))) &&
                                    send(axis, ZB, "ZB", NumberText::hexWord(m->FeedbackConfig(axis)));
                if (!stayed)
                    return;
                if (m->Microstep(axis) != m_savedMicrostep[axis - 1]) {
                    m_microstepMask |= 1u << (axis - 1);
                    btnUpdateAxorn->setEnabled(true);
                }
            }
            if (!pump())
                return;
        }
        for (short axis = short(motorAxes + 1); axis <= feedbackAxes; ++axis) {
            if (!units(axis))
                return;
        }
    }
    reportUnwritten();
    if (btnUpdateAxorn->isEnabled())
        btnUpdateAxorn_Click();
}

void frmSetupUnits::btnUpdateAxorn_Click()
{
    const int motorAxes = std::clamp<int>(KvlXGlobal::gMaxAxes, 0, ReadMarks::Axes);
    auto finish = [this] {
        for (QPushButton* b : {btnResApply, btnResOk, btnResCancel})
            b->setEnabled(true);
        btnUpdateAxorn->setEnabled(false);
    };
    if (!KvlXGlobal::gAmplifierPresent) {
        finish();
        return;
    }
    for (QPushButton* b : {btnResApply, btnResOk, btnResCancel})
        b->setEnabled(false);
    QString list = QStringLiteral(" ");
    int count = 0;
    for (int axis = 1; axis <= motorAxes; ++axis) {
        if (m_microstepMask & (1u << (axis - 1))) {
            list += QString::number(axis) + QStringLiteral(", ");
            ++count;
        }
    }
    if (count == 0) {
        finish();
        return;
    }
    list.chop(2);
    const QString prompt = QStringLiteral("For the changes in \"micro-step factor\" to take affect,\r\n"
                                          "the Axorn7100 has to be re-initialized.\r\n\r\n"
                                          "Do you want to re-initialize ") +
                           (count == 1 ? QStringLiteral("axis") : QStringLiteral("axes")) + list +
                           QStringLiteral(" now?");
    QPointer<frmSetupUnits> self(this);
    const int answer = platform::MsgBox(prompt, platform::vbYesNo | platform::vbQuestion, QStringLiteral("Moxtrel"));
    if (!self || !isLoaded())
        return;
    IMotion* m = motion();
    if (answer == platform::vbYes && m) {
        Exchange exchange(*this, false);
        for (short axis = 1; axis <= motorAxes; ++axis) {
            if (!(m_microstepMask & (1u << (axis - 1))))
                continue;
            m->UpdateAxorn(axis);
            if (!pump())
                return;
        }
        for (short axis = 1; axis <= motorAxes; ++axis) {
            if (m_microstepMask & (1u << (axis - 1)))
                m_savedMicrostep[axis - 1] = m->Microstep(axis);
        }
        takeSnapshot();
    }
    finish();
}

void frmSetupUnits::btnResOk_Click()
{
    takeSnapshot();
    QPointer<frmSetupUnits> self(this);
    btnResApply_Click();
    if (!self || !isLoaded())
        return;
    unloadSelf();
    KvlXGlobal::ReadErrorMessage();
}

void frmSetupUnits::btnResCancel_Click()
{
    restoreSnapshot();
    unloadSelf();
}
