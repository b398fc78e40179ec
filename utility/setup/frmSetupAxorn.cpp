#include "utility/setup/frmSetupAxorn.h"

#include "library/link/CGuiState.h"
#include "library/link/IMotion.h"
#include "library/link/NumberText.h"
#include "library/panels/TabOrder.h"
#include "utility/setup/AxisOptionRow.h"
#include "utility/setup/NumberBox.h"
#include "utility/shell/ProgramState.h"

#include <QButtonGroup>
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

enum Field { QM, QI, QV, QT, QG };

// The settings in the order they are read and written; MotorType first.
struct Setting {
    Field field;
    const char* mnemonic;
    const char* name;
    SetupForm::CacheValue value;
};
const Setting kSettings[] = {
    {QM, "QM", "motor type", SETUP_CACHE_VALUE(MotorType)},
    {QI, "QI", "motor current", SETUP_CACHE_VALUE(MaxMotorCurrent)},
    {QV, "QV", "motor voltage", SETUP_CACHE_VALUE(AverageMotorVoltage)},
    {QT, "QT", "tachometer constant", SETUP_CACHE_VALUE(TachGain)},
    {QG, "QG", "gear constant", SETUP_CACHE_VALUE(GearConstant)},
};

// The four edited settings: frame, caption, box and unit label.
struct SettingBox {
    Field field;
    const char* frame;
    const char* caption;
    const char* box;
    const char* label;
    const char* unit;
};
const SettingBox kBoxes[] = {
    {QI, "frameMotCur", "Motor Current", "txtMotCur", "lblMotCur", "Amps"},
    {QV, "framMotorVolts", "Motor Voltage", "txtVolts", "Label3", "Volts"},
    {QT, "framTachGain", "Tachometer Constant", "txtTachGain", "Label1", "V/Krpm"},
    {QG, "framGearFactor", "Gear Constant", "txtGearFactor", "Label2", "rev/unit"},
};

// The option that shows a motor type: DC Servo for 1, Stepper for 2 and 3, None for the rest.
int motorTypeOption(qint32 type)
{
    if (type == 1)
        return 0;
    if (type == 2 || type == 3)
        return 1;
    return 2;
}

QString valueText(Field field, double value)
{
    return field == QM ? NumberText::integerText(qint64(value)) : NumberText::singleText(float(value));
}

} // namespace

frmSetupAxorn::frmSetupAxorn()
    : SetupForm(QStringLiteral("frmSetupAxorn"), QStringLiteral("Setup Motor Driver"))
{
    std::vector<CacheValue> snapshot;
    for (const Setting& s : kSettings)
        snapshot.push_back(s.value);
    setSnapshotValues(std::move(snapshot));

    auto* axes = new QGroupBox(QStringLiteral("Select Axis"), this);
    axes->setObjectName(QStringLiteral("frameSetAxornAxis"));
    optSetAxornAxis = new AxisOptionRow(axes, QStringLiteral("optSetAxornAxis"), Options,
                                        [](int i) { return QString::number(i + 1); });
    optSetAxornAxis->setHandler([this](int index) { optSetAxornAxis_Click(index); });
    auto* axesLayout = new QGridLayout(axes);
    for (int i = 0; i < Options; ++i)
        axesLayout->addWidget(optSetAxornAxis->option(i), i % 3, i / 3);

    auto* settings = new QGridLayout;
    int cell = 0;
    for (const SettingBox& b : kBoxes) {
        auto* frame = new QGroupBox(QLatin1String(b.caption), this);
        frame->setObjectName(QLatin1String(b.frame));
        auto* edit = new QLineEdit(frame);
        edit->setObjectName(QLatin1String(b.box));
        auto* unit = new QLabel(QLatin1String(b.unit), frame);
        unit->setObjectName(QLatin1String(b.label));
        auto* l = new QHBoxLayout(frame);
        l->addWidget(edit);
        l->addWidget(unit);
        m_boxes[b.field] = makeBox(frame, QLatin1String(b.box), b.field);
        settings->addWidget(frame, cell / 2, cell % 2);
        ++cell;
    }
    txtMotCur = m_boxes[QI]->edit();
    txtVolts = m_boxes[QV]->edit();
    txtTachGain = m_boxes[QT]->edit();
    txtGearFactor = m_boxes[QG]->edit();

    // The motor type is shown, never chosen here: the options are disabled as designed.
    auto* motorType = new QGroupBox(QStringLiteral("Motor Type"), this);
    motorType->setObjectName(QStringLiteral("frameMotType"));
    auto* typeGroup = new QButtonGroup(motorType);
    auto* typeLayout = new QVBoxLayout(motorType);
    const char* typeCaptions[] = {"DC Servo", "Stepper", "None"};
    for (int i = 0; i < 3; ++i) {
        optMotType[i] = new QRadioButton(QLatin1String(typeCaptions[i]), motorType);
        optMotType[i]->setObjectName(QStringLiteral("optMotType_%1").arg(i));
        optMotType[i]->setEnabled(false);
        typeGroup->addButton(optMotType[i], i);
        typeLayout->addWidget(optMotType[i]);
    }

    btnAxornOK = addButton(QStringLiteral("btnAxornOK"), QStringLiteral("&OK"), [this] { btnAxornOK_Click(); });
    btnAxornApply = addButton(QStringLiteral("btnAxornApply"), QStringLiteral("&Apply"), [this] { btnAxornApply_Click(); });
    btnAxornCancel =
        addButton(QStringLiteral("btnAxornCancel"), QStringLiteral("&Cancel"), [this] { btnAxornCancel_Click(); });
    setCancelButton(btnAxornCancel);
    btnUpdateAxorn = addButton(QStringLiteral("btnUpdateAxorn"), QStringLiteral("Update Motor Driver"),
                               [this] { btnUpdateAxorn_Click(); });

    auto* left = new QVBoxLayout;
    left->addWidget(axes);
    left->addWidget(motorType);
    auto* top = new QHBoxLayout;
    top->addLayout(left);
    top->addLayout(settings);
    auto* buttons = new QHBoxLayout;
    buttons->addWidget(btnUpdateAxorn);
    buttons->addStretch(1);
    buttons->addWidget(btnAxornOK);
    buttons->addWidget(btnAxornApply);
    buttons->addWidget(btnAxornCancel);
    TabOrder::chain({btnUpdateAxorn, btnAxornOK, btnAxornApply, btnAxornCancel});
    auto* layout = new QVBoxLayout(this);
    layout->addLayout(top);
    layout->addLayout(buttons);
}

NumberBox* frmSetupAxorn::makeBox(QWidget* parent, const QString& name, int field)
{
    auto* box = new NumberBox(parent->findChild<QLineEdit*>(name), NumberBox::Kind::Single);
    box->setCommitHandler([this, field](double value) {
        IMotion* m = motion();
        if (!m)
            return;
        kSettings[field].value.set(*m, m_axis, value);
        markEdited(m_axis, field);
    });
    addNumberBox(box);
    return box;
}

int frmSetupAxorn::axesShown() const
{
    return std::clamp<int>(KvlXGlobal::gMaxAxes, 0, Options);
}

void frmSetupAxorn::Form_Load()
{
    bindLink();
    const bool axorn = KvlXGlobal::gModel == QLatin1String("KVL7100");
    setWindowTitle(axorn ? QStringLiteral("Setup Axorn") : QStringLiteral("Setup Motor Driver"));
    btnUpdateAxorn->setText(axorn ? QStringLiteral("Update Axorn") : QStringLiteral("Update Motor Driver"));
    optSetAxornAxis->follow(guiState());
    m_axis = guiState() ? guiState()->CurrentAxis() : 1;

    ReadDriverSettings();
    if (!isLoaded())
        return;
    IMotion* m = motion();
    // Only a type read as 0 takes an axis out: one that was not read concludes nothing.
    for (short a = 1; a <= Options; ++a)
        optSetAxornAxis->setAxisEnabled(a, m && a <= axesShown() && (m->MotorType(a) != 0 || !isKnown(a, QM)));

    optSetAxornAxis->selectAxisOrFirstEnabled(m_axis);
    takeSnapshot();
}

void frmSetupAxorn::ReadDriverSettings()
{
    IMotion* m = motion();
    if (!m)
        return;
    Exchange busy(*this, false);
    for (short a = 1; a <= axesShown(); ++a) {
        for (const Setting& s : kSettings) {
            const Read read = readValue(
                a, s.field, NumberText::blankSignedInteger(a) + QLatin1String(s.mnemonic) + QLatin1Char('?'),
                ReadMarks::Reply::Decimal, s.field == QM ? NumberText::Target::I32 : NumberText::Target::Single,
                [&](double v) { s.value.set(*m, a, v); });
            if (read == Read::Gone)
                return;
        }
    }
}

void frmSetupAxorn::optSetAxornAxis_Click(int Index)
{
    m_axis = short(Index + 1);
    DoMotorCurrent(m_axis);
    DoMotorVoltage(m_axis);
}

void frmSetupAxorn::DoMotorCurrent(short Axis)
{
    IMotion* m = motion();
    if (!m)
        return;
    auto showValue = [&](Field field) {
        if (isKnown(Axis, field))
            m_boxes[field]->show(kSettings[field].value.get(*m, Axis));
        else
            m_boxes[field]->clear();
    };
    showValue(QI);
    // Showing the type selects its option only: the cached type stays as read (3 stays 3).
    // A type never read shows no option.
    if (isKnown(Axis, QM))
        optMotType[motorTypeOption(m->MotorType(Axis))]->setChecked(true);
    else
        showNoChoice(optMotType[0]);
    showValue(QG);
    showValue(QT);
}

void frmSetupAxorn::DoMotorVoltage(short Axis)
{
    IMotion* m = motion();
    if (!m)
        return;
    if (isKnown(Axis, QV))
        m_boxes[QV]->show(m->AverageMotorVoltage(Axis));
    else
        m_boxes[QV]->clear();
}

void frmSetupAxorn::mobjguistate_AxisChange(short, short)
{
    // A value typed for the axis shown so far goes to that axis before the row follows.
    commitBoxes();
}

void frmSetupAxorn::WriteDriverSettings()
{
    IMotion* m = motion();
    if (!m)
        return;
    for (short a = 1; a <= axesShown(); ++a) {
        for (const Setting& s : kSettings) {
            const QString line = NumberText::blankSignedInteger(a) + QLatin1String(s.mnemonic)
                + valueText(s.field, s.value.get(*m, a));
            writeValue(a, s.field, QLatin1String(s.name), line, false, false);
        }
    }
    reportUnwritten();
}

void frmSetupAxorn::btnAxornApply_Click()
{
    WriteDriverSettings();
}

void frmSetupAxorn::btnAxornOK_Click()
{
    WriteDriverSettings();
    unloadSelf();
}

void frmSetupAxorn::btnAxornCancel_Click()
{
    restoreSnapshot();
    unloadSelf();
}

void frmSetupAxorn::btnUpdateAxorn_Click()
{
    IMotion* m = motion();
    if (!m || KVLComm1().isNull())
        return;
    Exchange busy(*this, false);
    if (!busy)
        return;
    for (short a = 1; a <= axesShown(); ++a) {
        if (isKnown(a, QM) && m->MotorType(a) != 0)
            KVLComm1().SendAscii(NumberText::blankSignedInteger(a) + QStringLiteral("MF\r"));
    }
    if (!pump())
        return;
    // The amplifier update goes to the axis shown, or to the current axis when it is one of ours.
    short target = short(optSetAxornAxis->shownAxis());
    if (target == 0 && m_axis >= 1 && m_axis <= axesShown())
        target = m_axis;
    if (target != 0)
        KVLComm1().SendAscii(NumberText::blankSignedInteger(target) + QStringLiteral("QD\r"));
}
