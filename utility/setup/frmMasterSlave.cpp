#include "utility/setup/frmMasterSlave.h"

#include "library/link/CGuiState.h"
#include "library/link/NumberText.h"
#include "library/panels/TabOrder.h"
#include "platform/ui/MsgBox.h"
#include "platform/ui/Shell.h"
#include "utility/setup/NumberBox.h"
#include "utility/shell/CommandDispatcher.h"

#include <QButtonGroup>
#include <QCheckBox>
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

enum Field { QM, SS, TJ, GR };

const char* const kModeCaptions[frmMasterSlave::Modes] = {
    "Trapezoid", "S-Curve", "Jog", "Master's Trajectory", "Master's Feedback", "Velocity",
};

// Modes from this one on follow a master.
constexpr short FirstSlaveMode = 4;

void notice(const QString& text)
{
    platform::MsgBox(text, platform::vbOKOnly, QStringLiteral("Moxtrel"));
}

QString axisCaption(int i)
{
    return QStringLiteral("Axis %1").arg(i + 1);
}

} // namespace

frmMasterSlave::frmMasterSlave()
    : SetupForm(QStringLiteral("frmMasterSlave"), QStringLiteral("Master-Slaving"))
{
    auto* masters = new QGroupBox(QStringLiteral("Select Master Axis"), this);
    masters->setObjectName(QStringLiteral("frmMstrAxis"));
    auto* slaves = new QGroupBox(QStringLiteral("Select Slave Axis"), this);
    slaves->setObjectName(QStringLiteral("frmSlveAxis"));
    auto* modes = new QGroupBox(QStringLiteral("Select Slave Mode and Gear Ratio"), this);
    modes->setObjectName(QStringLiteral("frmSlvMode"));

    m_masterGroup = new QButtonGroup(masters);
    m_slaveAxisGroup = new QButtonGroup(modes);
    m_modeGroup = new QButtonGroup(modes);
    auto* mastersLayout = new QVBoxLayout(masters);
    auto* slavesLayout = new QVBoxLayout(slaves);
    auto* slaveAxesLayout = new QVBoxLayout;
    auto* modesLayout = new QVBoxLayout;
    for (int i = 0; i < Axes; ++i) {
        optMstrAxis[i] = new QRadioButton(axisCaption(i), masters);
        optMstrAxis[i]->setObjectName(QStringLiteral("optMstrAxis_%1").arg(i));
        m_masterGroup->addButton(optMstrAxis[i], i);
        mastersLayout->addWidget(optMstrAxis[i]);
        connect(optMstrAxis[i], &QRadioButton::clicked, this, [this, i] {
            if (m_master != i)
                optMstrAxis_Click(i);
        });

        chkSlveAxis[i] = new QCheckBox(axisCaption(i), slaves);
        chkSlveAxis[i]->setObjectName(QStringLiteral("chkSlveAxis_%1").arg(i));
        slavesLayout->addWidget(chkSlveAxis[i]);
        connect(chkSlveAxis[i], &QCheckBox::clicked, this, [this, i](bool ticked) {
            if (ticked)
                chkSlveAxis_Click(i);
        });

        optSlvAxis[i] = new QRadioButton(axisCaption(i), modes);
        optSlvAxis[i]->setObjectName(QStringLiteral("optSlvAxis_%1").arg(i));
        m_slaveAxisGroup->addButton(optSlvAxis[i], i);
        slaveAxesLayout->addWidget(optSlvAxis[i]);
        connect(optSlvAxis[i], &QRadioButton::clicked, this, [this, i] {
            if (m_slaveAxis != i)
                optSlvAxis_Click(i);
        });
    }
    for (int i = 0; i < Modes; ++i) {
        optSlveMode[i] = new QRadioButton(QLatin1String(kModeCaptions[i]), modes);
        optSlveMode[i]->setObjectName(QStringLiteral("optSlveMode_%1").arg(i));
        m_modeGroup->addButton(optSlveMode[i], i);
        modesLayout->addWidget(optSlveMode[i]);
        connect(optSlveMode[i], &QRadioButton::clicked, this, [this, i] { optSlveMode_Click(i); });
    }
    txtGearRatio = new QLineEdit(modes);
    txtGearRatio->setObjectName(QStringLiteral("txtGearRatio"));
    m_ratio = new NumberBox(txtGearRatio, NumberBox::Kind::Double);
    m_ratio->setCommitHandler([this](double value) {
        if (m_slaveAxis < 0)
            return;
        m_working[m_slaveAxis].ratio = NumberText::doubleText(value);
        markEdited(short(m_slaveAxis + 1), GR);
    });
    addNumberBox(m_ratio);
    auto* label = new QLabel(QStringLiteral("Specify Slave Axis Trajectory Mode and Gear Ratio"), modes);
    label->setObjectName(QStringLiteral("Label1"));
    label->setWordWrap(true);
    auto* ratioRow = new QHBoxLayout;
    ratioRow->addWidget(new QLabel(QStringLiteral("Gear Ratio"), modes));
    ratioRow->addWidget(txtGearRatio);
    modesLayout->addLayout(ratioRow);
    auto* modesColumns = new QHBoxLayout;
    modesColumns->addLayout(slaveAxesLayout);
    modesColumns->addLayout(modesLayout);
    auto* modesFrame = new QVBoxLayout(modes);
    modesFrame->addWidget(label);
    modesFrame->addLayout(modesColumns);

    struct ButtonRow {
        QPushButton** button;
        const char* name;
        const char* caption;
        const char* tip;
        void (frmMasterSlave::*handler)();
    };
    const ButtonRow buttonRows[] = {
        {&cmdAssign, "cmdAssign", "&Apply", "Click here to apply master-slave assignments.",
         &frmMasterSlave::cmdAssign_Click},
        {&cmdUnassign, "cmdUnassign", "&Cancel", "Click here to get back to settings at window open.",
         &frmMasterSlave::cmdUnassign_Click},
        {&cmdReset, "cmdReset", "&Reset", "Click here to remove all master-slave assignments.",
         &frmMasterSlave::cmdReset_Click},
        {&cmdHelp, "cmdHelp", "&Help", "Click here to apply master-slave assignments.",
         &frmMasterSlave::cmdHelp_Click},
    };
    auto* buttons = new QHBoxLayout;
    buttons->addStretch(1);
    for (const ButtonRow& row : buttonRows) {
        const auto handler = row.handler;
        QPushButton* button =
            addButton(QLatin1String(row.name), QLatin1String(row.caption), [this, handler] { (this->*handler)(); });
        button->setToolTip(QLatin1String(row.tip));
        buttons->addWidget(button);
        *row.button = button;
    }
    setCancelButton(cmdUnassign);

    auto* top = new QHBoxLayout;
    top->addWidget(masters);
    top->addWidget(slaves);
    top->addWidget(modes);
    // The controls were made axis by axis across the frames: Tab goes down each frame in turn.
    TabOrder::chain({masters, slaves, modes});
    auto* layout = new QVBoxLayout(this);
    layout->addLayout(top);
    layout->addLayout(buttons);
}

int frmMasterSlave::axesShown() const
{
    return guiState() ? std::clamp<int>(guiState()->MaxAxes(), 0, Axes) : 0;
}

void frmMasterSlave::selectNone(QButtonGroup* group)
{
    group->setExclusive(false);
    for (QAbstractButton* button : group->buttons())
        button->setChecked(false);
    group->setExclusive(true);
}

void frmMasterSlave::Form_Load()
{
    bindLink();
    notice(QStringLiteral("Please turn motors OFF before making any master-slave assignment."));
    if (!isLoaded())
        return;
    for (int i = 0; i < Axes; ++i) {
        optMstrAxis[i]->setEnabled(false);
        chkSlveAxis[i]->setEnabled(false);
        optSlvAxis[i]->setEnabled(false);
    }

    {
        Exchange busy(*this, false);
        for (short a = 1; a <= axesShown(); ++a) {
            if (!hasMotor(a))
                continue;
            Record& r = m_loaded[a - 1];
            const QString axis = QString::number(a);
            const Read reads[] = {
                readValue(a, SS, axis + QStringLiteral("SS?"), ReadMarks::Reply::Decimal, NumberText::Target::I16,
                          [&](double v) { r.master = short(v); }),
                readValue(a, TJ, axis + QStringLiteral("TJ?"), ReadMarks::Reply::Decimal, NumberText::Target::I16,
                          [&](double v) { r.mode = short(v); }),
                readValue(a, GR, axis + QStringLiteral("GR?"), ReadMarks::Reply::Decimal, NumberText::Target::Double,
                          [&](double v) { r.ratio = NumberText::doubleText(v); }),
            };
            if (std::find(std::begin(reads), std::end(reads), Read::Gone) != std::end(reads))
                return;
            m_working[a - 1] = r;
            optMstrAxis[a - 1]->setEnabled(true);
            chkSlveAxis[a - 1]->setEnabled(true);
            optSlvAxis[a - 1]->setEnabled(true);
        }
    }

    for (int i = 0; i < axesShown(); ++i) {
        if (optMstrAxis[i]->isEnabled()) {
            optMstrAxis[i]->setChecked(true);
            optMstrAxis_Click(i);
            break;
        }
    }
    for (int i = 0; i < axesShown(); ++i) {
        if (optSlvAxis[i]->isEnabled()) {
            optSlvAxis[i]->setChecked(true);
            optSlvAxis_Click(i);
            break;
        }
    }
}

void frmMasterSlave::Form_Unload(int&) {}

bool frmMasterSlave::hasMotor(short axis)
{
    double type = 0;
    const Read read = readValue(axis, QM, QString::number(axis) + QStringLiteral("QM?"),
                                ReadMarks::Reply::MarkedHex, NumberText::Target::I32, [&](double v) { type = v; },
                                false);
    // A probe that failed concludes nothing: the axis is not taken as having no motor.
    return read != Read::Answered || type != 0;
}

bool frmMasterSlave::masterKnown(int i)
{
    // An axis with no motor has no record to read: it is no slave.
    return !optMstrAxis[i]->isEnabled() || isKnown(short(i + 1), SS);
}

bool frmMasterSlave::masterRead(short axis)
{
    if (isKnown(axis, SS))
        return true;
    short master = 0;
    const Read read = readValue(axis, SS, QString::number(axis) + QStringLiteral("SS?"), ReadMarks::Reply::Decimal,
                                NumberText::Target::I16, [&](double v) { master = short(v); });
    if (read != Read::Answered)
        return false;
    m_loaded[axis - 1].master = master;
    m_working[axis - 1].master = master;
    return true;
}

void frmMasterSlave::optMstrAxis_Click(int i)
{
    m_master = i;
    const short M = short(i + 1);
    for (int j = 0; j < axesShown(); ++j) {
        QCheckBox* box = chkSlveAxis[j];
        const bool known = masterKnown(j);
        if (j == i) {
            box->setEnabled(false);
            showTick(box, known, m_working[i].master == M);
            continue;
        }
        box->setEnabled(hasMotor(short(j + 1)));
        const bool ticked = known && m_working[j].master == M;
        showTick(box, known, ticked);
        // A slave of this master shows ticked and greyed, as its tick left it.
        if (ticked)
            box->setEnabled(false);
    }
}

void frmMasterSlave::chkSlveAxis_Click(int s)
{
    if (m_master < 0 || s >= axesShown())
        return;
    const int m = m_master;
    const short M = short(m + 1);
    const short S = short(s + 1);
    QCheckBox* box = chkSlveAxis[s];
    // Whose slave an axis is decides what the tick may do: a master never read is asked again,
    // never taken as free.
    for (const short axis : {M, S}) {
        if (!masterRead(axis)) {
            if (!isLoaded())
                return;
            notice(QStringLiteral("The master of axis-%1 could not be read from the controller, so nothing was changed.")
                       .arg(axis));
            showTick(box, masterKnown(s), masterKnown(s) && m_working[s].master == M);
            return;
        }
    }
    // Both masters are read: the box is a plain tick again.
    box->setTristate(false);
    const short mastersMaster = m_working[m].master;
    if (mastersMaster != M && mastersMaster != 0) {
        notice(QStringLiteral("The selected master axis is a slave of axis-%1.\r\n"
                              "Cannot slave an axis to another slave axis.")
                   .arg(mastersMaster));
        box->setChecked(false);
        return;
    }
    if (s != m) {
        for (int j = 0; j < axesShown(); ++j) {
            if (j != s && m_working[j].master == S) {
                notice(QStringLiteral("Axis-%1 is a master of axis-%2.").arg(S).arg(j + 1));
                box->setChecked(false);
                return;
            }
        }
    }
    const short current = m_working[s].master;
    if (current == S || current == M || current == 0) {
        if (current != M)
            markEdited(S, SS);
        m_working[s].master = M;
        box->setEnabled(false);
        return;
    }
    notice(QStringLiteral("Axis-%1 is a slave of axis-%2.").arg(S).arg(current));
    box->setChecked(false);
}

void frmMasterSlave::optSlvAxis_Click(int k)
{
    commitBoxes();
    m_slaveAxis = k;
    const Record& r = m_working[k];
    if (isKnown(short(k + 1), GR))
        m_ratio->show(NumberText::parseReply(r.ratio));
    else
        m_ratio->clear();
    // Showing the mode selects its button only; a mode the buttons lack (an unread 0) shows none.
    if (r.mode >= 1 && r.mode <= Modes)
        optSlveMode[r.mode - 1]->setChecked(true);
    else
        selectNone(m_modeGroup);
}

void frmMasterSlave::optSlveMode_Click(int i)
{
    if (m_slaveAxis < 0)
        return;
    Record& r = m_working[m_slaveAxis];
    const short mode = short(i + 1);
    if (r.master == m_slaveAxis + 1 && mode >= FirstSlaveMode) {
        notice(QStringLiteral("Invalid trajectory mode for a master axis."));
        if (r.mode >= 1 && r.mode <= Modes)
            optSlveMode[r.mode - 1]->setChecked(true);
        else
            selectNone(m_modeGroup);
        return;
    }
    if (r.mode != mode)
        markEdited(short(m_slaveAxis + 1), TJ);
    r.mode = mode;
}

void frmMasterSlave::sendTable()
{
    for (short a = 1; a <= axesShown(); ++a) {
        if (!optMstrAxis[a - 1]->isEnabled())
            continue;
        const Record& r = m_working[a - 1];
        const QString axis = QString::number(a);
        const QString master = axis + QStringLiteral("SS") + QString::number(r.master);
        const QString mode = axis + QStringLiteral("TJ") + QString::number(r.mode);
        const QString masterName = QStringLiteral("master axis");
        const QString modeName = QStringLiteral("trajectory mode");
        // A mode that follows a master needs the master first; the others are set before it.
        if (r.mode >= FirstSlaveMode) {
            writeValue(a, SS, masterName, master, false, false);
            writeValue(a, TJ, modeName, mode, false, false);
        } else {
            writeValue(a, TJ, modeName, mode, false, false);
            writeValue(a, SS, masterName, master, false, false);
        }
        writeValue(a, GR, QStringLiteral("gear ratio"), axis + QStringLiteral("GR") + r.ratio, false, false);
    }
    reportUnwritten();
}

void frmMasterSlave::cmdAssign_Click()
{
    sendTable();
}

void frmMasterSlave::cmdUnassign_Click()
{
    for (int a = 0; a < axesShown(); ++a)
        m_working[a] = m_loaded[a];
    // What goes back is what was read: values that were not read are not sent, edited or not.
    marks().clearEdits();
    if (m_master >= 0)
        optMstrAxis_Click(m_master);
    if (m_slaveAxis >= 0)
        optSlvAxis_Click(m_slaveAxis);
    sendTable();
    unloadSelf();
}

void frmMasterSlave::cmdReset_Click()
{
    for (short a = 1; a <= axesShown(); ++a) {
        m_working[a - 1] = Record{a, 1, QStringLiteral("1.000000")};
        if (optMstrAxis[a - 1]->isEnabled()) {
            markEdited(a, SS);
            markEdited(a, TJ);
            markEdited(a, GR);
        }
    }
    for (int i = 0; i < axesShown(); ++i) {
        if (optMstrAxis[i]->isEnabled()) {
            optMstrAxis[i]->setChecked(true);
            optMstrAxis_Click(i);
        }
    }
    for (int i = 0; i < axesShown(); ++i) {
        if (optSlvAxis[i]->isEnabled()) {
            optSlvAxis[i]->setChecked(true);
            optSlvAxis_Click(i);
        }
    }
}

void frmMasterSlave::cmdHelp_Click()
{
    platform::ShowDocument(CommandDispatcher::helpFilePath());
}
