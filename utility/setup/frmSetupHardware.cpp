#include "utility/setup/frmSetupHardware.h"

#include "library/link/CGuiState.h"
#include "library/link/IMotion.h"
#include "library/link/NumberText.h"
#include "library/panels/BitOnOff.h"
#include "library/panels/TabOrder.h"
#include "platform/ui/MsgBox.h"
#include "utility/setup/AxisOptionRow.h"
#include "utility/setup/NumberBox.h"
#include "utility/shell/FormPlaces.h"
#include "utility/shell/ProgramState.h"
#include "utility/shell/TextHelpers.h"

#include <QButtonGroup>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QTabWidget>
#include <QVBoxLayout>

#include <algorithm>

namespace {

// Values read when the window opens, numbered for the read marks. The controller-wide ones are
// kept under axis 1.
enum Field { ZB, QM, ZH, ZS, SR, SL, SN, ZA, DO, AM, BO, SB };

// The option pairs of configuration bits, in the order the amplifier axis shows them first.
struct BitOption {
    const char* name;
    const char* frame;
    const char* caption;
    Field word;
    quint32 bit;
    const char* first;
    const char* second;
    bool firstSets; // option (0) sets the bit (else option (1) does)
};
enum {
    StepOutput, OutputPolarity, DirectOutputPolarity, AmpInput, AmpEnableOutput, ServoDacOutput,
    PosTravelLimit, HardLimitCheck, SoftLimitCheck, Polarity, Feedback
};
const BitOption kBitOptions[frmSetupHardware::BitOptions] = {
    {"optStepOutput", "frameStepOutput", "Step Output Format", ZA, 0x40, "+Step / -Step", "Step / Direction", true},
    {"optOutputPolarity1", "frameOutputPolarity", "Step Output Polarity", ZA, 0x80, "Active High", "Active Low", true},
    {"optDirectOutputPolarity1", "frameDirectOutputPolarity", "Direction Output Polarity", ZA, 0x100,
     "High For Minus Move", "Low For Minus Move", true},
    {"optAmpInput1", "frameAmpInput", "Amplifier Fault Input", ZA, 0x20, "Active High", "Active Low", true},
    {"optAmpEnableOutput", "frameAmpEnableOutput", "Amplifier Enable Output", ZA, 0x400, "Active High", "Active Low",
     true},
    {"optServoDacOutput1", "frameServoDacOutput", "Servo DAC Output", ZA, 0x200, "Inverted", "Non Inverted", true},
    {"optPosTravelLimit", "framePosTravelLimit", "Hardware Travel Limit", ZH, 0x40, "Active Low", "Active High", true},
    {"optHardLimitCheck", "frameHardLimitCheck", "Hardware Limit Check", ZH, 0x1, "Enabled", "Disabled", true},
    {"optSoftLimitCheck", "frameSoftLimitCheck", "Software Limit Check", ZS, 0x1, "Enabled", "Disabled", true},
    {"optPolarity", "framePolarity", "Encoder Feedback Polarity", ZB, 0x20, "Do Not  Invert Polarity",
     "Invert Polarity", false},
    {"optFeedback", "frameFeedback", "Encoder Feedback For Steppers", ZB, 0x100, "Disable Feedback",
     "Enable Feedback", false},
};

// The analog mode codes: range (0 Unipolar, 1 Bipolar) and gain option (0 "1.25V" .. 3 "10.0V").
struct AnalogMode {
    int range;
    int gain;
};
const AnalogMode kAnalogModes[8] = {{1, 3}, {1, 2}, {0, 3}, {0, 2}, {1, 1}, {1, 0}, {0, 1}, {0, 0}};

const char* const kPortNames[frmSetupHardware::Ports] = {"A", "B", "C"};

// The names the unwritten-values report gives the words.
QString wordName(Field field)
{
    switch (field) {
    case ZA: return QStringLiteral("amplifier word");
    case ZB: return QStringLiteral("feedback word");
    case ZH: return QStringLiteral("hardware limit word");
    case ZS: return QStringLiteral("software limit word");
    default: return QString();
    }
}

QString hexForm(qint32 word)
{
    return QString::number(quint32(word), 16).toUpper();
}

qint32 wordOf(IMotion& m, Field field, short axis)
{
    switch (field) {
    case ZA: return m.AmpIOConfig(axis);
    case ZB: return m.FeedbackConfig(axis);
    case ZH: return m.HardLimitConfig(axis);
    case ZS: return m.SoftLimitConfig(axis);
    default: return 0;
    }
}

void setWordOf(IMotion& m, Field field, short axis, qint32 word)
{
    switch (field) {
    case ZA: m.setAmpIOConfig(axis, word); break;
    case ZB: m.setFeedbackConfig(axis, word); break;
    case ZH: m.setHardLimitConfig(axis, word); break;
    case ZS: m.setSoftLimitConfig(axis, word); break;
    default: break;
    }
}

QGroupBox* makeFrame(QWidget* parent, const QString& name, const QString& caption)
{
    auto* f = new QGroupBox(caption, parent);
    f->setObjectName(name);
    return f;
}

QRadioButton* option(QWidget* parent, const QString& name, const QString& caption)
{
    auto* o = new QRadioButton(caption, parent);
    o->setObjectName(name);
    return o;
}

QLabel* label(QWidget* parent, const QString& name, const QString& caption)
{
    auto* l = new QLabel(caption, parent);
    l->setObjectName(name);
    return l;
}

} // namespace

frmSetupHardware::frmSetupHardware()
    : SetupForm(QStringLiteral("frmSetupHardware"), QStringLiteral("Setup Hardware"))
{
    setSnapshotValues({SETUP_CACHE_VALUE(FeedbackConfig), SETUP_CACHE_VALUE(MotorType),
                       SETUP_CACHE_VALUE(HardLimitConfig), SETUP_CACHE_VALUE(SoftLimitConfig),
                       SETUP_CACHE_VALUE(PosTravelLimit), SETUP_CACHE_VALUE(NegTravelLimit),
                       SETUP_CACHE_VALUE(AmpIOConfig), SETUP_CACHE_VALUE(DacOffset),
                       SETUP_CACHE_VALUE(AnalogInputMode)});

    tabSetupAmpIO = new QTabWidget(this);
    tabSetupAmpIO->setObjectName(QStringLiteral("tabSetupAmpIO"));
    // Every tab in view: the window is as wide as its six captions.
    tabSetupAmpIO->setUsesScrollButtons(false);
    std::array<QWidget*, 6> pages{};
    for (int i = 0; i < 6; ++i) {
        pages[i] = new QWidget;
        pages[i]->setObjectName(QStringLiteral("frameTabContainer_%1").arg(i));
    }

    // The option pairs, each in its frame on its page.
    std::array<QGroupBox*, BitOptions> bitFrames{};
    for (int k = 0; k < BitOptions; ++k) {
        const BitOption& b = kBitOptions[k];
        auto* f = new QGroupBox(QLatin1String(b.caption));
        f->setObjectName(QLatin1String(b.frame));
        auto* group = new QButtonGroup(f);
        auto* l = new QVBoxLayout(f);
        const char* captions[2] = {b.first, b.second};
        for (int i = 0; i < 2; ++i) {
            m_bitOptions[k][i] = option(f, QStringLiteral("%1_%2").arg(QLatin1String(b.name)).arg(i), QLatin1String(captions[i]));
            group->addButton(m_bitOptions[k][i], i);
            l->addWidget(m_bitOptions[k][i]);
            connect(m_bitOptions[k][i], &QRadioButton::clicked, this, [this, k, i] { optBit_Click(k, i); });
        }
        bitFrames[k] = f;
    }

    // Tab 1: amplifier I/O.
    auto* motorType = makeFrame(pages[0], QStringLiteral("frameAmpMotType"), QStringLiteral("Motor Type"));
    auto* motorGroup = new QButtonGroup(motorType);
    auto* motorLayout = new QVBoxLayout(motorType);
    const char* motorCaptions[3] = {"DC Servo", "Stepper", "None"};
    for (int i = 0; i < 3; ++i) {
        optAmpMotType[i] = option(motorType, QStringLiteral("optAmpMotType_%1").arg(i), QLatin1String(motorCaptions[i]));
        motorGroup->addButton(optAmpMotType[i], i);
        motorLayout->addWidget(optAmpMotType[i]);
        connect(optAmpMotType[i], &QRadioButton::clicked, this, [this, i] { optAmpMotType_Click(i); });
    }
    frameStepSetup = makeFrame(pages[0], QStringLiteral("frameStepSetup"), QString());
    auto* stepLayout = new QVBoxLayout(frameStepSetup);
    for (int k : {DirectOutputPolarity, OutputPolarity, StepOutput}) {
        bitFrames[k]->setParent(frameStepSetup);
        stepLayout->addWidget(bitFrames[k]);
    }
    m_stepperFrames = {bitFrames[StepOutput], bitFrames[OutputPolarity], bitFrames[DirectOutputPolarity]};
    auto* ampAxes = makeFrame(pages[0], QStringLiteral("frameAmpSelectAxis"), QStringLiteral("Select Axis"));
    optAmpSelectAxis1 = new AxisOptionRow(ampAxes, QStringLiteral("optAmpSelectAxis1"), AxisOptions,
                                          [](int i) { return QString::number(i + 1); });
    auto* ampAxesLayout = new QGridLayout(ampAxes);
    for (int i = 0; i < AxisOptions; ++i)
        ampAxesLayout->addWidget(optAmpSelectAxis1->option(i), i % 3, i / 3);
    auto* ampLeft = new QVBoxLayout;
    ampLeft->addWidget(motorType);
    ampLeft->addWidget(bitFrames[ServoDacOutput]);
    ampLeft->addWidget(ampAxes);
    auto* ampRight = new QVBoxLayout;
    ampRight->addWidget(bitFrames[AmpEnableOutput]);
    ampRight->addWidget(bitFrames[AmpInput]);
    ampRight->addStretch(1);
    for (int k : {ServoDacOutput, AmpEnableOutput, AmpInput})
        bitFrames[k]->setParent(pages[0]);
    auto* ampLayout = new QHBoxLayout(pages[0]);
    ampLayout->addLayout(ampLeft);
    ampLayout->addWidget(frameStepSetup);
    ampLayout->addLayout(ampRight);

    // Tab 2: travel limits.
    auto* limitAxes = makeFrame(pages[1], QStringLiteral("frameLimitAxis"), QStringLiteral("Select Axis"));
    optLimitAxis = new AxisOptionRow(limitAxes, QStringLiteral("optLimitAxis"), AxisOptions,
                                     [](int i) { return QString::number(i + 1); });
    auto* limitAxesLayout = new QGridLayout(limitAxes);
    for (int i = 0; i < AxisOptions; ++i)
        limitAxesLayout->addWidget(optLimitAxis->option(i), i % 3, i / 3);
    auto* softLimits = makeFrame(pages[1], QStringLiteral("frameSoftLimitUnits"), QStringLiteral("Travel Software Limit"));
    auto* softLayout = new QGridLayout(softLimits);
    const char* signs[2] = {"(+)", "(-)"};
    const char* tips[2] = {"Enter Positive Software Travel Limit", "Enter Negative Software Travel Limit"};
    for (int i = 0; i < 2; ++i) {
        txtSoftLimitUnits[i] = new QLineEdit(softLimits);
        txtSoftLimitUnits[i]->setObjectName(QStringLiteral("txtSoftLimitUnits_%1").arg(i));
        txtSoftLimitUnits[i]->setToolTip(QLatin1String(tips[i]));
        lblLimitUnits[i] = label(softLimits, QStringLiteral("lblLimitUnits_%1").arg(i), QStringLiteral("units"));
        lblLimitUnits[i]->setMinimumWidth(lblLimitUnits[i]->fontMetrics().horizontalAdvance(QStringLiteral("counts")) + 8);
        softLayout->addWidget(label(softLimits, QStringLiteral("lblSoftLimitSign_%1").arg(i), QLatin1String(signs[i])), i, 0);
        softLayout->addWidget(txtSoftLimitUnits[i], i, 1);
        softLayout->addWidget(lblLimitUnits[i], i, 2);
        m_limitBoxes[i] = new NumberBox(txtSoftLimitUnits[i], NumberBox::Kind::Double);
        m_limitBoxes[i]->setCommitHandler([this, i](double value) {
            IMotion* m = motion();
            if (!m)
                return;
            if (i == 0)
                m->setPosTravelLimit(m_axis, value);
            else
                m->setNegTravelLimit(m_axis, value);
            markEdited(m_axis, i == 0 ? SR : SL);
        });
        addNumberBox(m_limitBoxes[i]);
    }
    for (int k : {PosTravelLimit, HardLimitCheck, SoftLimitCheck})
        bitFrames[k]->setParent(pages[1]);
    auto* limitGrid = new QGridLayout(pages[1]);
    limitGrid->addWidget(bitFrames[PosTravelLimit], 0, 0);
    limitGrid->addWidget(bitFrames[HardLimitCheck], 0, 1);
    limitGrid->addWidget(limitAxes, 0, 2, 2, 1);
    limitGrid->addWidget(bitFrames[SoftLimitCheck], 1, 0);
    limitGrid->addWidget(softLimits, 1, 1);
    // Frames moved onto a page join Tab's round at its end: Tab goes by where they stand.
    TabOrder::chain({motorType, bitFrames[ServoDacOutput], ampAxes, frameStepSetup, bitFrames[AmpEnableOutput],
                     bitFrames[AmpInput]});
    TabOrder::chain({bitFrames[PosTravelLimit], bitFrames[HardLimitCheck], bitFrames[SoftLimitCheck], softLimits,
                     limitAxes});

    // Tab 3: digital ports.
    auto* portsLayout = new QGridLayout(pages[2]);
    for (int p = 0; p < Ports; ++p) {
        const QString port = QLatin1String(kPortNames[p]);
        auto* direction = makeFrame(pages[2], QStringLiteral("framePort%1Direction").arg(port),
                                QStringLiteral("Define Port %1 Direction").arg(port));
        auto* directionGroup = new QButtonGroup(direction);
        auto* directionLayout = new QVBoxLayout(direction);
        const char* directions[2] = {"Input", "Output"};
        for (int i = 0; i < 2; ++i) {
            m_portDirection[p][i] = option(direction, QStringLiteral("optPort%1Direction_%2").arg(port).arg(i),
                                           QLatin1String(directions[i]));
            directionGroup->addButton(m_portDirection[p][i], i);
            directionLayout->addWidget(m_portDirection[p][i]);
            connect(m_portDirection[p][i], &QRadioButton::clicked, this, [this, p, i] { optPortDirectionChosen(p, i); });
        }
        auto* bits = makeFrame(pages[2], QStringLiteral("framePort%1Bits").arg(port), QStringLiteral("Port %1 Bit Settings").arg(port));
        auto* inner = new QWidget(bits);
        inner->setObjectName(QStringLiteral("framePort%1BitsInner").arg(port));
        auto* bitsGrid = new QGridLayout(inner);
        for (int k = 0; k < PortBits; ++k) {
            const int column = PortBits - 1 - k; // bit 7 leftmost
            bitsGrid->addWidget(label(inner, QStringLiteral("lblPort%1Bit_%2").arg(port).arg(k), QString::number(k)),
                                0, column, Qt::AlignHCenter);
            auto* indicator = new BitOnOff(inner);
            indicator->setObjectName(QStringLiteral("Port%1Bits_%2").arg(port).arg(k));
            indicator->setFixedSize(17, 17);
            bitsGrid->addWidget(indicator, 1, column, Qt::AlignHCenter);
            connect(indicator, &BitOnOff::Click, this, [this, p, k] { portBit_Click(p, k); });
            m_portBits[p][k] = indicator;
        }
        auto* bitsLayout = new QVBoxLayout(bits);
        bitsLayout->addWidget(inner);
        m_portDirectionFrames[p] = direction;
        m_portBitFrames[p] = bits;
        m_portBitInner[p] = inner;
        portsLayout->addWidget(direction, p, 0);
        portsLayout->addWidget(bits, p, 1);
    }

    // Tab 4: analog inputs.
    m_analogPage = pages[3];
    auto* range = makeFrame(pages[3], QStringLiteral("frameSelectRange"), QStringLiteral("Select ADC Range"));
    auto* rangeGroup = new QButtonGroup(range);
    auto* rangeLayout = new QVBoxLayout(range);
    const char* ranges[2] = {"Unipolar", "Bipolar"};
    for (int i = 0; i < 2; ++i) {
        optSelectRange[i] = option(range, QStringLiteral("optSelectRange_%1").arg(i), QLatin1String(ranges[i]));
        rangeGroup->addButton(optSelectRange[i], i);
        rangeLayout->addWidget(optSelectRange[i]);
        connect(optSelectRange[i], &QRadioButton::clicked, this, [this, i] { analogModeChosen(optSelectRange[i]); });
    }
    auto* gain = makeFrame(pages[3], QStringLiteral("frameADCGain"), QStringLiteral("Select ADC Gain"));
    auto* gainGroup = new QButtonGroup(gain);
    auto* gainLayout = new QVBoxLayout(gain);
    const char* gains[4] = {"1.25V", "2.50V", "5.00V", "10.0V"};
    for (int i = 0; i < 4; ++i) {
        optADCGain[i] = option(gain, QStringLiteral("optADCGain_%1").arg(i), QLatin1String(gains[i]));
        gainGroup->addButton(optADCGain[i], i);
        gainLayout->addWidget(optADCGain[i]);
        connect(optADCGain[i], &QRadioButton::clicked, this, [this, i] { analogModeChosen(optADCGain[i]); });
    }
    auto* status = makeFrame(pages[3], QStringLiteral("frameADCStatus"), QStringLiteral("ADC Status"));
    auto* statusGrid = new QGridLayout(status);
    statusGrid->addWidget(label(status, QStringLiteral("lblChannel"), QStringLiteral("Channel")), 0, 0);
    statusGrid->addWidget(label(status, QStringLiteral("lblVolts"), QStringLiteral("Volts")), 0, 1);
    for (int i = 0; i < AnalogChannels; ++i) {
        statusGrid->addWidget(label(status, QStringLiteral("lblADCChannel_%1").arg(i), QString::number(i + 1)), i + 1, 0);
        txtADCStatus[i] = new QLineEdit(status);
        txtADCStatus[i]->setObjectName(QStringLiteral("txtADCStatus_%1").arg(i));
        txtADCStatus[i]->setReadOnly(true);
        statusGrid->addWidget(txtADCStatus[i], i + 1, 1);
    }
    statusGrid->setRowStretch(AnalogChannels + 1, 1);
    auto* analogLeft = new QVBoxLayout;
    analogLeft->addWidget(range);
    analogLeft->addWidget(gain);
    analogLeft->addStretch(1);
    auto* analogLayout = new QHBoxLayout(pages[3]);
    analogLayout->addLayout(analogLeft);
    analogLayout->addWidget(status);

    // Tab 5: DAC offsets.
    auto* offsets = makeFrame(pages[4], QStringLiteral("frameDACOffset"), QStringLiteral("Set DAC Offset Compensation"));
    auto* offsetsGrid = new QGridLayout(offsets);
    offsetsGrid->addWidget(label(offsets, QStringLiteral("lblDACAxis"), QStringLiteral("Axis")), 0, 0);
    offsetsGrid->addWidget(label(offsets, QStringLiteral("lblDACOffset"), QStringLiteral("Offset")), 0, 1);
    offsetsGrid->addWidget(label(offsets, QStringLiteral("lblDACVolt"), QStringLiteral("(Volt)")), 0, 2);
    for (int i = 0; i < AxisOptions; ++i) {
        offsetsGrid->addWidget(label(offsets, QStringLiteral("lblDACAxis_%1").arg(i), QString::number(i + 1)), i + 1, 0);
        txtDACOffset[i] = new QLineEdit(offsets);
        txtDACOffset[i]->setObjectName(QStringLiteral("txtDACOffset_%1").arg(i));
        offsetsGrid->addWidget(txtDACOffset[i], i + 1, 1);
        m_dacBoxes[i] = new NumberBox(txtDACOffset[i], NumberBox::Kind::Single);
        const short axis = short(i + 1);
        m_dacBoxes[i]->setCommitHandler([this, axis](double value) {
            if (IMotion* m = motion()) {
                m->setDacOffset(axis, float(value));
                markEdited(axis, DO);
            }
        });
        addNumberBox(m_dacBoxes[i]);
    }
    offsetsGrid->setRowStretch(AxisOptions + 1, 1);
    auto* offsetsLayout = new QHBoxLayout(pages[4]);
    offsetsLayout->addWidget(offsets);
    offsetsLayout->addStretch(1);

    // Tab 6: feedback.
    auto* feedbackAxes = makeFrame(pages[5], QStringLiteral("frameAxFeedback"), QStringLiteral("Select Axis"));
    optAxFeedback = new AxisOptionRow(feedbackAxes, QStringLiteral("optAxFeedback"), FeedbackOptions,
                                      [](int i) { return QString::number(i + 1); });
    auto* feedbackAxesLayout = new QGridLayout(feedbackAxes);
    for (int i = 0; i < FeedbackOptions; ++i)
        feedbackAxesLayout->addWidget(optAxFeedback->option(i), i % 4, i / 4);
    for (int k : {Feedback, Polarity})
        bitFrames[k]->setParent(pages[5]);
    auto* feedbackLayout = new QHBoxLayout(pages[5]);
    feedbackLayout->addWidget(feedbackAxes);
    feedbackLayout->addWidget(bitFrames[Feedback]);
    feedbackLayout->addWidget(bitFrames[Polarity]);

    const char* tabCaptions[6] = {"Amplifier I/O", "Travel Limit", "Digital I/O", "Analog I/O", "Servo DAC Offset",
                                  "Feedback"};
    for (int i = 0; i < 6; ++i)
        tabSetupAmpIO->addTab(pages[i], QLatin1String(tabCaptions[i]));

    optAmpSelectAxis1->setHandler([this](int i) { optAmpSelectAxis1_Click(i); });
    optLimitAxis->setHandler([this](int i) { optLimitAxis_Click(i); });
    optAxFeedback->setHandler([this](int i) { optAxFeedback_Click(i); });

    btnHardwareApply =
        addButton(QStringLiteral("btnHardwareApply"), QStringLiteral("&Apply"), [this] { btnHardwareApply_Click(); });
    btnHardwareCancel =
        addButton(QStringLiteral("btnHardwareCancel"), QStringLiteral("&Cancel"), [this] { btnHardwareCancel_Click(); });
    setCancelButton(btnHardwareCancel);
    btnHardwareOK = addButton(QStringLiteral("btnHardwareOK"), QStringLiteral("&OK"), [this] { btnHardwareOK_Click(); });
    auto* buttons = new QHBoxLayout;
    buttons->addStretch(1);
    buttons->addWidget(btnHardwareApply);
    buttons->addWidget(btnHardwareCancel);
    buttons->addWidget(btnHardwareOK);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(tabSetupAmpIO);
    layout->addLayout(buttons);
}

int frmSetupHardware::axesShown() const
{
    return std::clamp<int>(KvlXGlobal::gMaxAxes, 0, AxisOptions);
}

int frmSetupHardware::feedbackAxesShown() const
{
    return std::clamp<int>(KvlXGlobal::gMaxFeedbackAxes, 0, FeedbackOptions);
}

void frmSetupHardware::Form_Load()
{
    bindLink();
    CGuiState* gui = guiState();
    optAmpSelectAxis1->follow(gui, false);
    optLimitAxis->follow(gui, false);
    optAxFeedback->follow(gui, false);
    optAxFeedback->setSetsCurrentAxis(false);
    // Axes 7 and 8 have no amplifier or limit option: the window starts on the first axis then.
    const short current = gui ? gui->CurrentAxis() : 1;
    m_axis = current >= 1 && current <= AxisOptions ? current : 1;
    m_feedbackAxis = m_axis;

    if (KVLComm1().isNull() || KVLComm1().BusType() == 0) {
        takeSnapshot();
        return;
    }
    KvlXGlobal::RestoreFormPosition(this);
    for (int a = 1; a <= FeedbackOptions; ++a)
        optAxFeedback->setAxisEnabled(a, gui && a <= gui->MaxFeedbackAxes());
    if (gui && gui->MaxAxes() < AxisOptions) {
        for (int a = std::max<int>(gui->MaxAxes() + 1, 1); a <= AxisOptions; ++a) {
            optAmpSelectAxis1->setAxisEnabled(a, false);
            optLimitAxis->setAxisEnabled(a, false);
        }
    }
    tabSetupAmpIO->setCurrentIndex(0);

    {
        Exchange busy(*this, false);
        ReadHardwareSettings();
        if (!isLoaded())
            return;
        if (gui && gui->MaxAnalogChannels() >= 1)
            DoAnalogInput();
        else
            disableAnalog();
        DoDacIO();
        DoDigitalIO();
        if (!isLoaded())
            return;
    }
    DoAmpio(m_axis - 1);
    optAmpSelectAxis1->selectAxis(m_axis);
    optLimitAxis->selectAxis(m_axis);
    optAxFeedback->selectAxis(m_axis);
    DoTravelLimit(m_axis - 1);
    DoFeedBack();

    const QString& model = KvlXGlobal::gModel;
    frameStepSetup->setEnabled(model != QLatin1String("KVL410") && model != QLatin1String("KVL400")
                               && model != QLatin1String("KVL200"));
    takeSnapshot();
}

void frmSetupHardware::ReadHardwareSettings()
{
    IMotion* m = motion();
    if (!m)
        return;
    const int feedbackAxes = std::clamp<int>(KvlXGlobal::gMaxFeedbackAxes, 0, ReadMarks::Axes);
    for (short a = 1; a <= feedbackAxes; ++a) {
        const QString axis = NumberText::blankSignedInteger(a);
        auto ask = [&](Field field, const char* mnemonic, ReadMarks::Reply form, NumberText::Target target,
                       auto store) {
            return readValue(a, field, axis + QLatin1String(mnemonic) + QLatin1Char('?'), form, target, store) !=
                   Read::Gone;
        };
        using T = NumberText::Target;
        if (!ask(ZB, "ZB", ReadMarks::Reply::Hex, T::I32, [&](double v) { m->setFeedbackConfig(a, qint32(v)); }))
            return;
        if (a > KvlXGlobal::gMaxAxes)
            continue;
        if (!ask(QM, "QM", ReadMarks::Reply::Decimal, T::I32, [&](double v) { m->setMotorType(a, qint32(v)); })
            || !ask(ZH, "ZH", ReadMarks::Reply::Decimal, T::I32, [&](double v) { m->setHardLimitConfig(a, qint32(v)); })
            || !ask(ZS, "ZS", ReadMarks::Reply::Decimal, T::I32, [&](double v) { m->setSoftLimitConfig(a, qint32(v)); })
            || !ask(SR, "SR", ReadMarks::Reply::Decimal, T::Double, [&](double v) { m->setPosTravelLimit(a, v); })
            || !ask(SL, "SL", ReadMarks::Reply::Decimal, T::Double, [&](double v) { m->setNegTravelLimit(a, v); })
            || !ask(SN, "SN", ReadMarks::Reply::Decimal, T::I16, [&](double v) { m->setDisplacementUnits(a, short(v)); })
            || !ask(ZA, "ZA", ReadMarks::Reply::Hex, T::I32, [&](double v) { m->setAmpIOConfig(a, qint32(v)); }))
            return;
    }
}

void frmSetupHardware::disableAnalog()
{
    for (QWidget* w : m_analogPage->findChildren<QWidget*>())
        w->setEnabled(false);
}

void frmSetupHardware::DoAnalogInput()
{
    CGuiState* gui = guiState();
    IMotion* m = motion();
    if (!gui || !m || gui->MaxAnalogChannels() < 1 || KVLComm1().BusType() == 0)
        return;
    const Read read = readValue(1, AM, QStringLiteral(" 0AM?"), ReadMarks::Reply::Decimal, NumberText::Target::I16,
                                [&](double v) { m->setAnalogInputMode(1, short(v)); });
    if (read == Read::Gone)
        return;
    if (read == Read::Answered)
        showAnalogMode();
    QString reply;
    const int status = KVLComm1().SendReadAscii(QStringLiteral(" 0RA?\r"), reply);
    if (!pump())
        return;
    // Readings that did not come leave the boxes as they were.
    const QString readings = reply.trimmed();
    if (status != 0 || readings.isEmpty() || readings.contains(QLatin1String("No data"))
        || readings.contains(QLatin1String("No Message")))
        return;
    // One field a channel; the last display takes the rest of the reply.
    const QStringList fields = reply.trimmed().split(QLatin1Char(','));
    const int channels = std::min<int>(gui->MaxAnalogChannels(), AnalogChannels);
    for (int i = 0; i < channels; ++i) {
        QString text;
        if (i < fields.size())
            text = i == channels - 1 ? fields.mid(i).join(QLatin1Char(',')) : fields.at(i);
        txtADCStatus[i]->setText(text);
    }
}

void frmSetupHardware::showAnalogMode()
{
    IMotion* m = motion();
    if (!m)
        return;
    const int code = m->AnalogInputMode(1);
    if (code >= 0 && code < 8) {
        optSelectRange[kAnalogModes[code].range]->setChecked(true);
        optADCGain[kAnalogModes[code].gain]->setChecked(true);
    }
}

void frmSetupHardware::analogModeChosen(QRadioButton* chosen)
{
    if (isKnown(1, AM)) {
        markEdited(1, AM);
        return;
    }
    // The mode is one code for range and gain: the half not chosen must be the controller's.
    IMotion* m = motion();
    Exchange busy(*this, false);
    Read read = Read::Unanswered;
    if (m && busy) {
        read = readValue(1, AM, QStringLiteral(" 0AM?"), ReadMarks::Reply::Decimal, NumberText::Target::I16,
                         [&](double v) { m->setAnalogInputMode(1, short(v)); });
    }
    if (read == Read::Gone)
        return;
    const int code = m ? m->AnalogInputMode(1) : -1;
    if (read == Read::Answered && code >= 0 && code < 8) {
        showAnalogMode();
        chosen->setChecked(true);
        markEdited(1, AM);
        return;
    }
    showNoChoice(optSelectRange[0]);
    showNoChoice(optADCGain[0]);
    if (busy)
        reportNotChanged(QStringLiteral("The analog input mode"));
}

void frmSetupHardware::DoDacIO()
{
    IMotion* m = motion();
    if (!m)
        return;
    for (short a = 1; a <= axesShown(); ++a) {
        const Read read = readValue(a, DO, NumberText::blankSignedInteger(a) + QStringLiteral("DO?"),
                                    ReadMarks::Reply::Decimal, NumberText::Target::Single,
                                    [&](double v) { m->setDacOffset(a, float(v)); });
        if (read == Read::Gone)
            return;
        if (isKnown(a, DO))
            m_dacBoxes[a - 1]->show(m->DacOffset(a));
        else
            m_dacBoxes[a - 1]->clear();
    }
}

void frmSetupHardware::DoDigitalIO()
{
    if (KVLComm1().isNull())
        return;
    QString direction;
    QString state;
    const int directionStatus = KVLComm1().SendReadAscii(QStringLiteral("BO?\r"), direction);
    const int stateStatus = KVLComm1().SendReadAscii(QStringLiteral("SB?\r"), state);
    double ignored = 0;
    // A word that did not come leaves its controls as they were (none chosen when nothing was
    // read yet): its digits are not the controller's.
    const bool directionRead =
        ReadMarks::replyValue(directionStatus, direction, ReadMarks::Reply::Hex, NumberText::Target::I32, ignored)
        || !tracksReads();
    const bool stateRead =
        ReadMarks::replyValue(stateStatus, state, ReadMarks::Reply::Hex, NumberText::Target::I32, ignored)
        || !tracksReads();
    if (directionRead)
        marks().markRead(1, BO);
    if (stateRead)
        marks().markRead(1, SB);
    // Digits the reply lacks read as 0.
    const QString directionBits = KvlXGlobal::HexToBinary(direction.trimmed());
    const QString stateBits = KvlXGlobal::HexToBinary(state.trimmed());
    for (int p = 0; p < Ports; ++p) {
        if (directionRead)
            m_directionShown[p] = KvlXGlobal::GetBinaryBit(directionBits, short(p)) == 1 ? 1 : 0;
        showPortDirection(p);
        SetDigitalIOControls(p, stateBits, stateRead);
    }
}

void frmSetupHardware::showPortDirection(int Port)
{
    if (m_directionShown[Port] < 0)
        showNoChoice(m_portDirection[Port][0]);
    else
        m_portDirection[Port][m_directionShown[Port]]->setChecked(true);
    optPortDirection_Click(Port);
}

bool frmSetupHardware::readPortsAgain()
{
    if (isKnown(1, BO) && isKnown(1, SB))
        return true;
    Exchange busy(*this, false);
    if (!busy)
        return false;
    DoDigitalIO();
    if (!isLoaded())
        return false;
    if (isKnown(1, BO) && isKnown(1, SB))
        return true;
    reportNotChanged(QStringLiteral("The digital port setting"));
    return false;
}

void frmSetupHardware::optPortDirectionChosen(int Port, int Index)
{
    // Apply writes every port's direction and bits in one word each: all must be the controller's.
    if (!readPortsAgain()) {
        if (isLoaded())
            showPortDirection(Port);
        return;
    }
    m_directionShown[Port] = Index;
    showPortDirection(Port);
    markEdited(1, BO);
    markEdited(1, SB);
}

void frmSetupHardware::portBit_Click(int Port, int Bit)
{
    const bool chosen = m_portBits[Port][Bit]->Value();
    if (!readPortsAgain()) {
        if (isLoaded())
            m_portBits[Port][Bit]->setValue(!chosen);
        return;
    }
    m_portBits[Port][Bit]->setValue(chosen);
    markEdited(1, SB);
}

void frmSetupHardware::SetDigitalIOControls(int Port, const QString& Bits, bool haveBits)
{
    CGuiState* gui = guiState();
    const int channels = gui ? gui->MaxDigitalChannels() : 0;
    const int firstChannelOf[Ports] = {0, 8, 16};
    for (int p = 0; p < Ports; ++p) {
        if (channels > firstChannelOf[p])
            continue;
        m_portDirectionFrames[p]->setEnabled(false);
        m_portBitFrames[p]->setEnabled(false);
        m_portBitInner[p]->setEnabled(false);
        for (QRadioButton* o : m_portDirection[p])
            o->setEnabled(false);
        for (BitOnOff* bit : m_portBits[p]) {
            showLamp(bit, true, false);
            bit->setEnabled(false);
        }
    }
    if (Port < 0 || Port >= Ports)
        return;
    for (int k = 0; k < PortBits; ++k)
        m_portBits[Port][k]->setEnabled(8 * Port + k < channels);
    if (!haveBits) {
        // Bits never read are neither on nor off; ones read before stay as they were.
        if (!isKnown(1, SB)) {
            for (BitOnOff* bit : m_portBits[Port])
                showLamp(bit, false, false);
        }
        return;
    }
    const QString& model = KvlXGlobal::gModel;
    const bool shown = Port != 2 || model == QLatin1String("KVL8100") || model == QLatin1String("KVL7100");
    for (int k = 0; k < PortBits; ++k)
        showLamp(m_portBits[Port][k], true, shown && KvlXGlobal::GetBinaryBit(Bits, short(8 * Port + k)) == 1);
}

short frmSetupHardware::CheckBits(int Port) const
{
    if (Port < 0 || Port >= Ports)
        return 0;
    short value = 0;
    for (int k = 0; k < PortBits; ++k) {
        if (m_portBits[Port][k]->Value())
            value = short(value + (1 << k));
    }
    return value;
}

void frmSetupHardware::optPortDirection_Click(int Port)
{
    m_portBitFrames[Port]->setEnabled(m_portDirection[Port][1]->isChecked());
}

void frmSetupHardware::EnableStepperControls()
{
    for (QGroupBox* f : m_stepperFrames)
        f->setEnabled(true);
}

void frmSetupHardware::DisableStepperControls()
{
    for (QGroupBox* f : m_stepperFrames)
        f->setEnabled(false);
}

void frmSetupHardware::DoAmpio(int Index)
{
    IMotion* m = motion();
    if (!m || Index < 0 || Index >= AxisOptions)
        return;
    const short a = short(Index + 1);
    // Showing the type selects its option only: a type 3 shown as "Stepper" stays 3.
    const qint32 type = m->MotorType(a);
    if (!isKnown(a, QM)) {
        showNoChoice(optAmpMotType[0]);
    } else if (type == 1) {
        optAmpMotType[0]->setChecked(true);
        DisableStepperControls();
    } else {
        optAmpMotType[type == 2 || type == 3 ? 1 : 2]->setChecked(true);
        EnableStepperControls();
    }
    for (int k : {StepOutput, OutputPolarity, DirectOutputPolarity, AmpInput, AmpEnableOutput, ServoDacOutput})
        showBitOption(k, a);
}

void frmSetupHardware::DoTravelLimit(int Index)
{
    IMotion* m = motion();
    if (!m || Index < 0 || Index >= AxisOptions)
        return;
    const short a = short(Index + 1);
    for (int k : {HardLimitCheck, PosTravelLimit, SoftLimitCheck})
        showBitOption(k, a);
    const Field limits[2] = {SR, SL};
    for (int i = 0; i < 2; ++i) {
        if (isKnown(a, limits[i]))
            m_limitBoxes[i]->showText(NumberText::displayText(i == 0 ? m->PosTravelLimit(a) : m->NegTravelLimit(a), 4));
        else
            m_limitBoxes[i]->clear();
    }
    const int units = m->DisplacementUnits(a);
    const QString name = isKnown(a, SN) && units >= 0 && units < KvlXGlobal::UnitNameCount ? KvlXGlobal::gUnitNames[units]
                                                                                          : QString();
    for (QLabel* l : lblLimitUnits)
        l->setText(name);
}

void frmSetupHardware::DoFeedBack()
{
    IMotion* m = motion();
    if (!m)
        return;
    for (int k : {Polarity, Feedback})
        showBitOption(k, m_feedbackAxis);
}

void frmSetupHardware::showBitOption(int option, short axis)
{
    IMotion* m = motion();
    if (!m)
        return;
    const BitOption& b = kBitOptions[option];
    if (!isKnown(axis, b.word)) {
        showNoChoice(m_bitOptions[option][0]);
        return;
    }
    const bool set = (quint32(wordOf(*m, b.word, axis)) & b.bit) != 0;
    m_bitOptions[option][set == b.firstSets ? 0 : 1]->setChecked(true);
}

void frmSetupHardware::showWord(int field, short axis)
{
    for (int k = 0; k < BitOptions; ++k) {
        if (kBitOptions[k].word == field)
            showBitOption(k, axis);
    }
}

void frmSetupHardware::optBit_Click(int option, int index)
{
    IMotion* m = motion();
    if (!m)
        return;
    const BitOption& b = kBitOptions[option];
    const short a = b.word == ZB ? m_feedbackAxis : m_axis;
    if (!isKnown(a, b.word)) {
        // One bit of a word never read: the others would go back as guesses. Ask for it again.
        Exchange busy(*this, false);
        Read read = Read::Unanswered;
        if (busy) {
            const bool hex = b.word == ZA || b.word == ZB;
            const char* mnemonic = b.word == ZA ? "ZA" : b.word == ZB ? "ZB" : b.word == ZH ? "ZH" : "ZS";
            read = readValue(a, b.word, NumberText::blankSignedInteger(a) + QLatin1String(mnemonic) + QLatin1Char('?'),
                             hex ? ReadMarks::Reply::Hex : ReadMarks::Reply::Decimal, NumberText::Target::I32,
                             [&](double v) { setWordOf(*m, b.word, a, qint32(v)); });
        }
        if (read == Read::Gone)
            return;
        if (read != Read::Answered) {
            showNoChoice(m_bitOptions[option][0]);
            if (busy)
                reportNotChanged(QStringLiteral("Axis %1's %2").arg(a).arg(wordName(b.word)));
            return;
        }
    }
    const bool set = (index == 0) == b.firstSets;
    const quint32 word = quint32(wordOf(*m, b.word, a));
    setWordOf(*m, b.word, a, qint32(set ? word | b.bit : word & ~b.bit));
    markEdited(a, b.word);
    // The other options of the word now show what was read.
    showWord(b.word, a);
}

void frmSetupHardware::optAmpMotType_Click(int Index)
{
    IMotion* m = motion();
    if (!m)
        return;
    const qint32 types[3] = {1, 2, 0};
    m->setMotorType(m_axis, types[Index]);
    markEdited(m_axis, QM);
    if (Index == 0)
        DisableStepperControls();
    else
        EnableStepperControls();
}

void frmSetupHardware::optAmpSelectAxis1_Click(int i)
{
    commitBoxes();
    m_axis = short(i + 1);
    optLimitAxis->selectAxis(m_axis);
    DoAmpio(i);
}

void frmSetupHardware::optLimitAxis_Click(int i)
{
    commitBoxes();
    m_axis = short(i + 1);
    optAmpSelectAxis1->selectAxis(m_axis);
    DoTravelLimit(i);
}

void frmSetupHardware::optAxFeedback_Click(int i)
{
    m_feedbackAxis = short(i + 1);
    if (i < AxisOptions) {
        m_axis = m_feedbackAxis;
        if (CGuiState* gui = guiState())
            gui->setCurrentAxis(m_axis);
    }
    DoFeedBack();
}

void frmSetupHardware::mobjguistate_AxisChange(short NewAxis, short)
{
    commitBoxes();
    optAmpSelectAxis1->selectAxis(NewAxis);
    optLimitAxis->selectAxis(NewAxis);
    optAxFeedback->selectAxis(NewAxis);
}

void frmSetupHardware::ApplyHardwareSettings()
{
    IMotion* m = motion();
    if (!m)
        return;
    Exchange busy(*this, false);
    if (!busy)
        return;
    // 1-3: the ports.
    int mask = 0;
    QString portTexts[Ports];
    for (int p = 0; p < Ports; ++p) {
        if (m_portDirection[p][1]->isChecked()) {
            portTexts[p] = QStringLiteral("%1").arg(CheckBits(p), 2, 16, QLatin1Char('0')).toUpper();
            mask |= 1 << p;
        } else {
            portTexts[p] = QStringLiteral("00");
        }
    }
    writeValue(1, BO, QStringLiteral("port directions"), QStringLiteral("BO 0") + QString::number(mask), true, false);
    if (mask != 0)
        writeValue(1, SB, QStringLiteral("port bits"), QStringLiteral("SB 0") + portTexts[2] + portTexts[1] + portTexts[0],
                   true, false);

    auto dacPass = [&] {
        for (short a = 1; a <= axesShown(); ++a)
            writeValue(a, DO, QStringLiteral("DAC offset"),
                       NumberText::blankSignedInteger(a) + QStringLiteral("DO") + NumberText::singleText(m->DacOffset(a)),
                       false, false);
    };
    dacPass();
    DoDigitalIO();

    CGuiState* gui = guiState();
    if (gui && gui->MaxAnalogChannels() > 0) {
        const int range = optSelectRange[1]->isChecked() ? 1 : 0;
        int gainIndex = 0;
        for (int i = 0; i < 4; ++i) {
            if (optADCGain[i]->isChecked())
                gainIndex = i;
        }
        int code = 0;
        for (int c = 0; c < 8; ++c) {
            if (kAnalogModes[c].range == range && kAnalogModes[c].gain == gainIndex)
                code = c;
        }
        m->setAnalogInputMode(1, short(code));
        writeValue(1, AM, QStringLiteral("analog input mode"), QStringLiteral("AM") + NumberText::blankSignedInteger(code),
                   true, false);
    } else {
        disableAnalog();
    }
    dacPass();

    const int feedbackAxes = std::clamp<int>(KvlXGlobal::gMaxFeedbackAxes, 0, ReadMarks::Axes);
    for (short a = 1; a <= feedbackAxes; ++a)
        writeValue(a, ZB, wordName(ZB),
                   NumberText::blankSignedInteger(a) + QStringLiteral("ZB") + hexForm(m->FeedbackConfig(a)), false, false);
    for (short a = 1; a <= axesShown(); ++a) {
        const QString axis = NumberText::blankSignedInteger(a);
        writeValue(a, ZH, wordName(ZH),
                   axis + QStringLiteral("ZH") + NumberText::blankSignedInteger(m->HardLimitConfig(a)), false, false);
        writeValue(a, ZS, wordName(ZS),
                   axis + QStringLiteral("ZS") + NumberText::blankSignedInteger(m->SoftLimitConfig(a)), false, false);
        writeValue(a, SR, QStringLiteral("positive travel limit"),
                   axis + QStringLiteral("SR") + NumberText::blankSignedDouble(m->PosTravelLimit(a)), false, false);
        writeValue(a, SL, QStringLiteral("negative travel limit"),
                   axis + QStringLiteral("SL") + NumberText::blankSignedDouble(m->NegTravelLimit(a)), false, false);
        writeValue(a, ZA, wordName(ZA),
                   axis + QStringLiteral("ZA") + hexForm(m->AmpIOConfig(a)), false, false);
        writeValue(a, QM, QStringLiteral("motor type"), axis + QStringLiteral("QM") + hexForm(m->MotorType(a)), false,
                   false);
    }
    reportUnwritten();
}

void frmSetupHardware::btnHardwareApply_Click()
{
    ApplyHardwareSettings();
}

void frmSetupHardware::btnHardwareCancel_Click()
{
    restoreSnapshot();
    unloadSelf();
}

void frmSetupHardware::btnHardwareOK_Click()
{
    ApplyHardwareSettings();
    unloadSelf();
}
