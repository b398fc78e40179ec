#include "utility/setup/frmErrComp.h"

#include "library/link/CGuiState.h"
#include "library/link/IMotion.h"
#include "library/link/NumberText.h"
#include "utility/setup/AxisOptionRow.h"
#include "utility/setup/NumberBox.h"
#include "utility/shell/ProgramState.h"

#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QVBoxLayout>

#include <algorithm>

namespace {

enum Field { QM, SN, BA, CO };

QString axisText(int axis)
{
    return NumberText::blankSignedInteger(axis);
}

} // namespace

frmErrComp::frmErrComp()
    : SetupForm(QStringLiteral("frmErrComp"), QStringLiteral("Error Compensation"))
{
    setSnapshotValues({SETUP_CACHE_VALUE(BacklashComp), SETUP_CACHE_VALUE(LinearComp)});

    auto* axes = new QGroupBox(QStringLiteral("Select Axis"), this);
    axes->setObjectName(QStringLiteral("frmSelectAxis"));
    optSelAxis = new AxisOptionRow(axes, QStringLiteral("optSelAxis"), Options,
                                   [](int i) { return QStringLiteral("Axis %1").arg(i + 1); });
    optSelAxis->setHandler([this](int index) { optSelAxis_Click(index); });
    auto* axesLayout = new QGridLayout(axes);
    for (int i = 0; i < Options; ++i)
        axesLayout->addWidget(optSelAxis->option(i), i % 3, i / 3);

    auto* backlash = new QGroupBox(QStringLiteral("Backlash Compensation"), this);
    backlash->setObjectName(QStringLiteral("frmBacklashComp"));
    txtBacklash = new QLineEdit(backlash);
    txtBacklash->setObjectName(QStringLiteral("txtBacklash"));
    lblBacklashUnits = new QLabel(QStringLiteral("counts"), backlash);
    lblBacklashUnits->setObjectName(QStringLiteral("lblBacklashUnits"));
    // Wide enough for the longest unit name.
    lblBacklashUnits->setMinimumWidth(lblBacklashUnits->fontMetrics().horizontalAdvance(QStringLiteral("counts")) + 8);
    auto* backlashLayout = new QHBoxLayout(backlash);
    backlashLayout->addWidget(txtBacklash);
    backlashLayout->addWidget(lblBacklashUnits);

    auto* linear = new QGroupBox(QStringLiteral("Linear Compensation"), this);
    linear->setObjectName(QStringLiteral("frmLinearComp"));
    txtLinear = new QLineEdit(linear);
    txtLinear->setObjectName(QStringLiteral("txtLinear"));
    auto* linearLayout = new QHBoxLayout(linear);
    linearLayout->addWidget(txtLinear);

    m_backlash = new NumberBox(txtBacklash, NumberBox::Kind::Single);
    m_backlash->setCommitHandler([this](double value) {
        if (IMotion* m = motion()) {
            m->setBacklashComp(m_axis, float(value));
            markEdited(m_axis, BA);
        }
    });
    m_linear = new NumberBox(txtLinear, NumberBox::Kind::Single);
    m_linear->setCommitHandler([this](double value) {
        if (IMotion* m = motion()) {
            m->setLinearComp(m_axis, float(value));
            markEdited(m_axis, CO);
        }
    });
    addNumberBox(m_backlash);
    addNumberBox(m_linear);

    cmdApply = addButton(QStringLiteral("cmdApply"), QStringLiteral("&Apply"), [this] { cmdApply_Click(); });
    cmdOK = addButton(QStringLiteral("cmdOK"), QStringLiteral("&OK"), [this] { cmdOK_Click(); });
    cmdCancel = addButton(QStringLiteral("cmdCancel"), QStringLiteral("&Cancel"), [this] { cmdCancel_Click(); });
    setCancelButton(cmdCancel);

    auto* values = new QVBoxLayout;
    values->addWidget(backlash);
    values->addWidget(linear);
    auto* top = new QHBoxLayout;
    top->addWidget(axes);
    top->addLayout(values);
    auto* buttons = new QHBoxLayout;
    buttons->addStretch(1);
    buttons->addWidget(cmdApply);
    buttons->addWidget(cmdOK);
    buttons->addWidget(cmdCancel);
    auto* layout = new QVBoxLayout(this);
    layout->addLayout(top);
    layout->addLayout(buttons);
}

int frmErrComp::axesShown() const
{
    return std::clamp<int>(KvlXGlobal::gMaxAxes, 0, Options);
}

void frmErrComp::Form_Load()
{
    bindLink();
    optSelAxis->follow(guiState());
    m_axis = guiState() ? guiState()->CurrentAxis() : 1;
    ReadCompensation();
    // The snapshot Cancel returns to holds what was just read.
    takeSnapshot();
}

void frmErrComp::ReadCompensation()
{
    IMotion* m = motion();
    optSelAxis->disableAll();
    if (m) {
        Exchange busy(*this, false);
        for (short a = 1; a <= axesShown(); ++a) {
            const QString axis = axisText(a);
            const Read motor = readValue(
                a, QM, axis + QStringLiteral("QM?"), ReadMarks::Reply::MarkedHex, NumberText::Target::I32,
                [&](double v) { m->setMotorType(a, qint32(v)); }, false);
            // Only a type read as none leaves the axis out: a probe that failed concludes nothing.
            if (motor == Read::Gone)
                return;
            if (motor == Read::Answered && m->MotorType(a) <= 0)
                continue;
            const Read reads[] = {
                readValue(a, SN, axis + QStringLiteral("SN?"), ReadMarks::Reply::Decimal, NumberText::Target::I16,
                          [&](double v) { m->setDisplacementUnits(a, short(v)); }),
                readValue(a, BA, axis + QStringLiteral("BA?"), ReadMarks::Reply::Decimal, NumberText::Target::Single,
                          [&](double v) { m->setBacklashComp(a, float(v)); }),
                readValue(a, CO, axis + QStringLiteral("CO?"), ReadMarks::Reply::Decimal, NumberText::Target::Single,
                          [&](double v) { m->setLinearComp(a, float(v)); }),
            };
            if (std::find(std::begin(reads), std::end(reads), Read::Gone) != std::end(reads))
                return;
            optSelAxis->setAxisEnabled(a, true);
        }
    }

    optSelAxis->selectAxisOrFirstEnabled(m_axis);
}

void frmErrComp::optSelAxis_Click(int Index)
{
    m_axis = short(Index + 1);
    IMotion* m = motion();
    if (!m)
        return;
    // A unit code without a name leaves the label empty; one never read shows no unit.
    const int units = m->DisplacementUnits(m_axis);
    const bool unitsKnown = isKnown(m_axis, SN) && units >= 0 && units < KvlXGlobal::UnitNameCount;
    lblBacklashUnits->setText(unitsKnown ? KvlXGlobal::gUnitNames[units] : QString());
    if (isKnown(m_axis, BA))
        m_backlash->show(m->BacklashComp(m_axis));
    else
        m_backlash->clear();
    if (isKnown(m_axis, CO))
        m_linear->show(m->LinearComp(m_axis));
    else
        m_linear->clear();
}

void frmErrComp::mobjguistate_AxisChange(short, short)
{
    // The option row follows the current axis itself, after this; a value typed for the axis
    // shown so far belongs to that axis, so it is committed first.
    commitBoxes();
}

void frmErrComp::WriteCompensation()
{
    IMotion* m = motion();
    if (!m)
        return;
    for (short a = 1; a <= axesShown(); ++a) {
        // An axis whose motor type could not be read is named in the report, not written.
        const bool unreadMotor = !isKnown(a, QM);
        if (!optSelAxis->isAxisEnabled(a) && !unreadMotor)
            continue;
        const QString axis = axisText(a);
        if (!writeValue(a, BA, QStringLiteral("backlash"),
                        axis + QStringLiteral("BA") + NumberText::blankSignedSingle(m->BacklashComp(a)), false,
                        false)
            || !writeValue(a, CO, QStringLiteral("linear compensation"),
                           axis + QStringLiteral("CO") + NumberText::blankSignedSingle(m->LinearComp(a)), false,
                           false))
            return;
    }
    reportUnwritten();
}

void frmErrComp::cmdApply_Click()
{
    WriteCompensation();
}

void frmErrComp::cmdOK_Click()
{
    WriteCompensation();
    unloadSelf();
}

void frmErrComp::cmdCancel_Click()
{
    restoreSnapshot();
    unloadSelf();
}
