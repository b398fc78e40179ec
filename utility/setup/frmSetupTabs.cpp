#include "utility/setup/frmSetupTabs.h"

#include "library/link/IMotion.h"
#include "library/link/NumberText.h"
#include "utility/setup/AxisOptionRow.h"
#include "utility/shell/FormPlaces.h"
#include "utility/shell/ProgramState.h"

#include <QCheckBox>
#include <QFrame>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QPushButton>
#include <QRadioButton>
#include <QTabWidget>
#include <QVBoxLayout>

#include <algorithm>

namespace {

// The values this window reads and writes, numbered for the read marks.
enum Field { ZZ, ZF, ZH, ZS, ZA, ZB, ZE, QM, SR, SL, QS, FR };

enum class Kind { Word, Integer, Double, Single };

struct ConfigValue {
    Field field;
    const char* mnemonic;
    Kind kind;
    SetupForm::CacheValue value;
};

// The configuration of one axis in the order the controller is asked and set; the system word
// comes first and carries no axis number.
const ConfigValue kConfig[] = {
    {ZZ, "ZZ", Kind::Word, SETUP_CACHE_VALUE(SystemConfiguration)},
    {ZF, "ZF", Kind::Word, SETUP_CACHE_VALUE(FollowingErrorConfig)},
    {ZH, "ZH", Kind::Word, SETUP_CACHE_VALUE(HardLimitConfig)},
    {ZS, "ZS", Kind::Word, SETUP_CACHE_VALUE(SoftLimitConfig)},
    {ZA, "ZA", Kind::Word, SETUP_CACHE_VALUE(AmpIOConfig)},
    {ZB, "ZB", Kind::Word, SETUP_CACHE_VALUE(FeedbackConfig)},
    {ZE, "ZE", Kind::Word, SETUP_CACHE_VALUE(EStopConfig)},
    {QM, "QM", Kind::Integer, SETUP_CACHE_VALUE(MotorType)},
    {SR, "SR", Kind::Double, SETUP_CACHE_VALUE(PosTravelLimit)},
    {SL, "SL", Kind::Double, SETUP_CACHE_VALUE(NegTravelLimit)},
    {QS, "QS", Kind::Integer, SETUP_CACHE_VALUE(Microstep)},
    {FR, "FR", Kind::Single, SETUP_CACHE_VALUE(Stepsize)},
};

// The fault sources, in the index order of every page's check boxes.
struct Source {
    const char* caption;
    Field field;
};
const Source kSources[frmSetupTabs::Sources] = {
    {"Following Error", ZF}, {"Amplifier Fault", ZA}, {"Emergency Stop", ZE},
    {"Feedback Fault", ZB},  {"Hardware Limit", ZH},  {"Software Limit", ZS},
};

const ConfigValue& configOf(Field field)
{
    return *std::find_if(std::begin(kConfig), std::end(kConfig),
                         [field](const ConfigValue& c) { return c.field == field; });
}

// The fault pages, in tab order, and the bit a ticked box sets.
struct Page {
    const char* caption;
    const char* faultsFrame;
    const char* checkBoxes;
    const char* axisFrame;
    const char* axisOptions;
    int bit;
};
const Page kPages[frmSetupTabs::Pages] = {
    {"Abort Motion", "FrameAbortEvents", "chkAbortEvents", "frameAbortAxis", "optAbortAxis", 2},
    {"Disable Motor", "frameDisMotorEvents", "chkDisMotorEvents", "frameDisAxis", "optDisMotor", 1},
    {"Enable Checking", "frameEnableCheckingEvents", "chkEnableChecking", "frameEnableChecking", "optEnableChecking",
     0},
};
enum { AbortPage, DisMotorPage, EnablePage };

// After an axis is chosen on a page, the two other pages follow in this order.
const int kOtherPages[frmSetupTabs::Pages][2] = {{DisMotorPage, EnablePage}, {AbortPage, EnablePage},
                                                 {DisMotorPage, AbortPage}};

constexpr int kInterlockBit = 0x1;
constexpr int kCriticalBit = 0x100;

QString valueText(Kind kind, double value)
{
    switch (kind) {
    case Kind::Word: return NumberText::hexWord(qint32(value));
    case Kind::Integer: return NumberText::integerText(qint64(value));
    case Kind::Double: return NumberText::doubleText(value);
    case Kind::Single: return NumberText::singleText(float(value));
    }
    return QString();
}

QRadioButton* makeOption(QWidget* parent, const QString& name, const QString& caption)
{
    auto* option = new QRadioButton(caption, parent);
    option->setObjectName(name);
    return option;
}

} // namespace

frmSetupTabs::frmSetupTabs()
    : SetupForm(QStringLiteral("frmSetupTabs"), QStringLiteral("Setup Faults"))
{
    std::vector<CacheValue> values;
    for (const ConfigValue& c : kConfig)
        values.push_back(c.value);
    setSnapshotValues(std::move(values));

    m_tabStrip = new QTabWidget(this);
    m_tabStrip->setObjectName(QStringLiteral("TabStrip1"));
    // Every tab in view: the window is as wide as its four captions.
    m_tabStrip->setUsesScrollButtons(false);
    for (int p = 0; p < Pages; ++p) {
        const Page& page = kPages[p];
        auto* container = new QFrame();
        container->setObjectName(QStringLiteral("fraTabContainer_%1").arg(p));
        auto* faults = new QGroupBox(QStringLiteral("Faults"), container);
        faults->setObjectName(QLatin1String(page.faultsFrame));
        auto* faultsLayout = new QVBoxLayout(faults);
        for (int k = 0; k < Sources; ++k) {
            auto* box = new QCheckBox(QLatin1String(kSources[k].caption), faults);
            box->setObjectName(QStringLiteral("%1_%2").arg(QLatin1String(page.checkBoxes)).arg(k));
            connect(box, &QCheckBox::clicked, this, [this, p, k] { chkEvents_Click(p, k); });
            faultsLayout->addWidget(box);
            m_checks[p][k] = box;
        }
        auto* axes = new QGroupBox(QStringLiteral("Select Axis"), container);
        axes->setObjectName(QLatin1String(page.axisFrame));
        auto* row = new AxisOptionRow(axes, QLatin1String(page.axisOptions), Options,
                                      [](int i) { return QString::number(i + 1); });
        row->setHandler([this, p](int index) { optAxis_Click(p, index); });
        auto* axesLayout = new QGridLayout(axes);
        for (int i = 0; i < Options; ++i)
            axesLayout->addWidget(row->option(i), i % 3, i / 3);
        m_rows[p] = row;

        auto* layout = new QHBoxLayout(container);
        layout->addWidget(faults, 3);
        layout->addWidget(axes, 2);
        m_tabStrip->addTab(container, QLatin1String(page.caption));
    }

    auto* system = new QFrame();
    system->setObjectName(QStringLiteral("fraTabContainer_3"));
    framInterlock = new QGroupBox(QStringLiteral("100 Pin Interlock Error Checking"), system);
    framInterlock->setObjectName(QStringLiteral("framInterlock"));
    optInterlock[1] = makeOption(framInterlock, QStringLiteral("optInterlock_1"), QStringLiteral("Enable"));
    optInterlock[0] = makeOption(framInterlock, QStringLiteral("optInterlock_0"), QStringLiteral("Disable"));
    framCritical = new QGroupBox(QStringLiteral("KVL System Critical Settings"), system);
    framCritical->setObjectName(QStringLiteral("framCritical"));
    optCritical[1] = makeOption(framCritical, QStringLiteral("optCritical_1"), QStringLiteral("Protect"));
    optCritical[0] = makeOption(framCritical, QStringLiteral("optCritical_0"), QStringLiteral("Unprotect"));
    for (QGroupBox* frame : {framInterlock, framCritical}) {
        auto* l = new QVBoxLayout(frame);
        const auto& pair = frame == framInterlock ? optInterlock : optCritical;
        l->addWidget(pair[1]);
        l->addWidget(pair[0]);
    }
    for (int i = 0; i < 2; ++i) {
        // Option 1 ("Enable", "Protect") sets the bit, option 0 clears it.
        connect(optInterlock[i], &QRadioButton::clicked, this, [this, i] { setSystemBit(kInterlockBit, i == 1); });
        connect(optCritical[i], &QRadioButton::clicked, this, [this, i] { setSystemBit(kCriticalBit, i == 1); });
    }
    auto* systemLayout = new QVBoxLayout(system);
    systemLayout->addWidget(framInterlock);
    systemLayout->addWidget(framCritical);
    systemLayout->addStretch(1);
    m_tabStrip->addTab(system, QStringLiteral("System"));

    btnApplyConfig = addButton(QStringLiteral("btnApplyConfig"), QStringLiteral("&Apply"), [this] { btnApplyConfig_Click(); });
    btnTabsOK = addButton(QStringLiteral("btnTabsOK"), QStringLiteral("&OK"), [this] { btnTabsOK_Click(); });
    cmdCancel = addButton(QStringLiteral("cmdCancel"), QStringLiteral("&Cancel"), [this] { cmdCancel_Click(); });
    setCancelButton(cmdCancel);

    auto* buttons = new QHBoxLayout;
    buttons->addStretch(1);
    buttons->addWidget(btnApplyConfig);
    buttons->addWidget(btnTabsOK);
    buttons->addWidget(cmdCancel);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(m_tabStrip);
    layout->addLayout(buttons);
}

int frmSetupTabs::configAxes()
{
    return std::clamp<int>(KvlXGlobal::gMaxAxes, 0, ReadMarks::Axes);
}

void frmSetupTabs::Form_Load()
{
    bindLink();
    // The window orders its pages' answers to AxisChange itself.
    for (AxisOptionRow* row : m_rows)
        row->follow(guiState(), false);
    Exchange exchange(*this, false);
    m_openingAxis = guiState() ? guiState()->CurrentAxis() : 1;
    KvlXGlobal::RestoreFormPosition(this);
    m_tabStrip->setCurrentIndex(0);

    IMotion* m = motion();
    const int axes = configAxes();
    for (short a = 1; a <= axes && m; ++a) {
        // Only a motor type read as 0 takes the axis out: a probe that failed concludes nothing.
        QString reply;
        const int status = KVLComm1().SendReadAscii(QString::number(a) + QStringLiteral("QM?\r"), reply);
        if (!pump())
            return;
        double type = 0;
        // In demo mode the empty reply reads 0, as every value there does.
        const bool answered =
            ReadMarks::replyValue(status, reply, ReadMarks::Reply::MarkedHex, NumberText::Target::I16, type)
            || !tracksReads();
        if (answered && type == 0) {
            for (AxisOptionRow* row : m_rows)
                row->setAxisEnabled(a, false);
        }
    }
    for (short a = 1; a <= axes; ++a) {
        if (!readConfigs(a))
            return;
    }
    takeSnapshot();
    ShowSystemConfig();
    m_rows[AbortPage]->selectAxis(m_openingAxis);
    // An opening axis without an option shows no axis: nothing to tick until one is chosen.
    for (int page = 0; page < Pages; ++page) {
        if (m_rows[page]->shownAxis() == 0)
            showPage(page);
    }

    const int maxAxes = guiState() ? guiState()->MaxAxes() : 0;
    for (int i = Options - 1; i >= maxAxes && i >= 0; --i) {
        for (AxisOptionRow* row : m_rows)
            row->setAxisEnabled(i + 1, false);
    }
    framInterlock->setEnabled(KvlXGlobal::gModel == QLatin1String("KVL7100"));
}

bool frmSetupTabs::readConfigs(short axis)
{
    IMotion* m = motion();
    if (!m)
        return true;
    const QString axisText = NumberText::integerText(axis);
    for (const ConfigValue& c : kConfig) {
        // The controller-wide word is asked without an axis and kept with axis 1.
        const bool system = c.field == ZZ;
        const short recordAxis = system ? 1 : axis;
        const QString line = (system ? QString() : axisText) + QLatin1String(c.mnemonic) + QLatin1Char('?');
        const NumberText::Target target = c.kind == Kind::Word || c.kind == Kind::Integer ? NumberText::Target::I32
                                          : c.kind == Kind::Single                    ? NumberText::Target::Single
                                                                                      : NumberText::Target::Double;
        const Read read = readValue(recordAxis, c.field, line, ReadMarks::Reply::MarkedHex, target,
                                    [&](double value) { c.value.set(*m, recordAxis, value); });
        if (read == Read::Gone)
            return false;
    }
    return true;
}

bool frmSetupTabs::writeConfigs()
{
    IMotion* m = motion();
    if (!m)
        return true;
    for (short axis = 1; axis <= configAxes(); ++axis) {
        const QString axisText = NumberText::integerText(axis);
        for (const ConfigValue& c : kConfig) {
            const bool system = c.field == ZZ;
            const short recordAxis = system ? 1 : axis;
            const QString line = (system ? QString() : axisText) + QLatin1String(c.mnemonic) +
                                 valueText(c.kind, c.value.get(*m, recordAxis));
            if (!writeValue(recordAxis, c.field, QLatin1String(c.mnemonic), line, system))
                return false;
        }
    }
    return true;
}

// ---------------------------------------------------------------------------------------------
// Axis selection and the fault pages

void frmSetupTabs::mobjguistate_AxisChange(short NewAxis, short)
{
    for (int page : {AbortPage, EnablePage, DisMotorPage})
        m_rows[page]->selectAxis(NewAxis);
}

void frmSetupTabs::optAxis_Click(int page, int Index)
{
    // The row has made Index + 1 the current axis; the other pages follow it.
    const int axis = Index + 1;
    for (int other : kOtherPages[page])
        m_rows[other]->selectAxis(axis);
    showPage(page);
}

void frmSetupTabs::showPage(int page)
{
    const int axis = m_rows[page]->shownAxis();
    IMotion* m = motion();
    for (int k = 0; k < Sources; ++k) {
        QCheckBox* box = m_checks[page][k];
        const ConfigValue& c = configOf(kSources[k].field);
        if (axis == 0 || !m) {
            box->setChecked(false);
            box->setEnabled(false);
            continue;
        }
        const int word = int(c.value.get(*m, short(axis)));
        // A word never read shows no tick and cannot take one bit: writing it would put guesses
        // into the others.
        const bool known = isKnown(short(axis), c.field);
        showTick(box, known, (word & (1 << kPages[page].bit)) != 0);
        box->setEnabled(known);
    }
}

void frmSetupTabs::chkEvents_Click(int page, int source)
{
    QCheckBox* box = m_checks[page][source];
    const int axis = m_rows[page]->shownAxis();
    IMotion* m = motion();
    const ConfigValue& c = configOf(kSources[source].field);
    if (axis == 0 || !m || !isKnown(short(axis), c.field)) {
        showPage(page);
        return;
    }
    const int bit = 1 << kPages[page].bit;
    int word = int(c.value.get(*m, short(axis)));
    word = box->isChecked() ? (word | bit) : (word & ~bit);
    c.value.set(*m, short(axis), word);
}

// ---------------------------------------------------------------------------------------------
// The system page

void frmSetupTabs::ShowSystemConfig()
{
    IMotion* m = motion();
    if (!m || !isKnown(1, ZZ)) {
        // A word never read picks neither option.
        showNoChoice(optInterlock[0]);
        showNoChoice(optCritical[0]);
    } else {
        const int word = m->SystemConfiguration(1);
        optInterlock[(word & kInterlockBit) ? 1 : 0]->setChecked(true);
        optCritical[(word & kCriticalBit) ? 1 : 0]->setChecked(true);
    }
    enableSystemOptions();
}

void frmSetupTabs::enableSystemOptions()
{
    const bool known = isKnown(1, ZZ);
    for (int i = 0; i < 2; ++i) {
        optInterlock[i]->setEnabled(known);
        optCritical[i]->setEnabled(known);
    }
}

void frmSetupTabs::setSystemBit(int bit, bool on)
{
    IMotion* m = motion();
    if (!m || !isKnown(1, ZZ))
        return;
    const int word = m->SystemConfiguration(1);
    m->setSystemConfiguration(1, on ? (word | bit) : (word & ~bit));
}

// ---------------------------------------------------------------------------------------------
// Buttons

void frmSetupTabs::btnApplyConfig_Click()
{
    bool stayed = false;
    {
        Exchange exchange(*this, true);
        if (!exchange)
            return;
        stayed = writeConfigs();
    }
    if (stayed)
        reportUnwritten();
}

void frmSetupTabs::btnTabsOK_Click()
{
    {
        Exchange exchange(*this, true, false);
        if (!exchange)
            return;
        if (!writeConfigs())
            return;
    }
    reportUnwritten();
    unloadSelf();
}

void frmSetupTabs::cmdCancel_Click()
{
    restoreSnapshot();
    unloadSelf();
}
