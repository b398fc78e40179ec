#include "utility/setup/frmInterpolation.h"

#include "library/link/IMotion.h"
#include "library/link/NumberText.h"
#include "platform/ui/MsgBox.h"
#include "utility/shell/ControllerQuery.h"
#include "utility/shell/FormPlaces.h"
#include "utility/shell/ProgramState.h"

#include <QApplication>
#include <QFormLayout>
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

enum Field { TJ, VA, AC, AG, JK, VU, AU };

// An axis's own trajectory parameters in the order they are read; the first five are sent back
// when a group is dissolved.
struct AxisParam {
    Field field;
    const char* mnemonic;
    const char* name;
    SetupForm::CacheValue value;
};
const AxisParam kAxisParams[] = {
    {TJ, "TJ", "trajectory mode", SETUP_CACHE_VALUE(TrajectoryMode)},
    {VA, "VA", "velocity", SETUP_CACHE_VALUE(Velocity)},
    {AC, "AC", "acceleration", SETUP_CACHE_VALUE(Acceleration)},
    {AG, "AG", "deceleration", SETUP_CACHE_VALUE(Deceleration)},
    {JK, "JK", "jerk", SETUP_CACHE_VALUE(JerkRate)},
    {VU, "VU", "maximum velocity", SETUP_CACHE_VALUE(MaxVelocity)},
    {AU, "AU", "maximum acceleration", SETUP_CACHE_VALUE(MaxAccelDecel)},
};
constexpr int ResentParams = 5;

const char* const kGroupParamMnemonics[frmInterpolation::Params] = {"HV", "HA", "HD", "HJ"};
const char* const kGroupParamLabels[frmInterpolation::Params] = {"Group Velocity", "Group Acceleration",
                                                                 "Group Deceleration", "Group Jerk"};
const char* const kMemberLabels[frmInterpolation::Members] = {"X-axis", "Y-axis", "Z-axis"};
const char* const kCentreLabels[3] = {"X-axis Center Position", "Y-axis Center Position", "Sweep Angle (deg)"};
const char* const kTargetLabels[3] = {"X-axis Target Position", "Y-axis Target Position", "Z-axis Target Position"};

void notice(const QString& text)
{
    platform::MsgBox(text, platform::vbOKOnly | platform::vbExclamation, QStringLiteral("Moxtrel"));
}

// The leading run of a reply made of blanks, punctuation and digits (codes 32 to 57).
QString leadingNumericText(const QString& reply)
{
    int n = 0;
    while (n < reply.size() && reply.at(n).unicode() >= 32 && reply.at(n).unicode() <= 57)
        ++n;
    return reply.left(n);
}

// A box of the window with its label, named as designed.
QLineEdit* labelledBox(QWidget* parent, QFormLayout* layout, const QString& box, const QString& label,
                       const QString& caption)
{
    auto* edit = new QLineEdit(parent);
    edit->setObjectName(box);
    auto* text = new QLabel(caption, parent);
    text->setObjectName(label);
    layout->addRow(text, edit);
    return edit;
}

} // namespace

frmInterpolation::frmInterpolation()
    : SetupForm(QStringLiteral("frmInterpolation"), QStringLiteral("Linear/Circular Interpolation"))
{
    std::vector<CacheValue> snapshot;
    for (const AxisParam& p : kAxisParams)
        snapshot.push_back(p.value);
    setSnapshotValues(std::move(snapshot));

    TabStrip1 = new QTabWidget(this);
    TabStrip1->setObjectName(QStringLiteral("TabStrip1"));
    TabStrip1->setUsesScrollButtons(false);

    // Tab 1: groups and their parameters.
    auto* generation = new QWidget;
    generation->setObjectName(QStringLiteral("fraTrajectoryGeneration"));
    auto* groups = new QGroupBox(QStringLiteral("Select Group"), generation);
    groups->setObjectName(QStringLiteral("frameGroupNum"));
    auto* groupsLayout = new QVBoxLayout(groups);
    for (int i = 0; i < Groups; ++i) {
        optGroupNum[i] = new QRadioButton(QStringLiteral("Group %1").arg(i + 1), groups);
        optGroupNum[i]->setObjectName(QStringLiteral("optGroupNum_%1").arg(i));
        groupsLayout->addWidget(optGroupNum[i]);
        connect(optGroupNum[i], &QRadioButton::toggled, this, [this, i](bool on) {
            if (on)
                optGroupNum_Click(i);
        });
    }
    groupsLayout->addStretch(1);

    const QString assignTip = QStringLiteral("Assign axes to the selected group.");
    auto* members = new QGroupBox(QStringLiteral("Select Group Axes"), generation);
    members->setObjectName(QStringLiteral("frameGroupAxes"));
    members->setToolTip(assignTip);
    auto* membersForm = new QFormLayout;
    for (int i = 0; i < Members; ++i)
        txtGroupAxes[i] = labelledBox(members, membersForm, QStringLiteral("txtGroupAxes_%1").arg(i),
                                      QStringLiteral("lblGroupAxes_%1").arg(i), QLatin1String(kMemberLabels[i]));
    for (QLineEdit* box : txtGroupAxes)
        connect(box, &QLineEdit::textEdited, this, [this] { m_membersUnread = false; });
    txtGroupAxes[0]->setText(QStringLiteral("1"));
    txtGroupAxes[1]->setText(QStringLiteral("2"));
    cmdGroupAxes =
        addButton(QStringLiteral("cmdGroupAxes"), QStringLiteral("Assign"), [this] { cmdGroupAxes_Click(); }, members);
    cmdGroupAxes->setToolTip(assignTip);
    cmdUngroupAxes = addButton(QStringLiteral("cmdUngroupAxes"), QStringLiteral("Unassign"),
                               [this] { cmdUngroupAxes_Click(); }, members);
    cmdUngroupAxes->setToolTip(QStringLiteral("Unassign axes from the selected group."));
    auto* memberButtons = new QHBoxLayout;
    memberButtons->addWidget(cmdGroupAxes);
    memberButtons->addWidget(cmdUngroupAxes);
    auto* membersLayout = new QVBoxLayout(members);
    membersLayout->addLayout(membersForm);
    membersLayout->addLayout(memberButtons);

    auto* params = new QGroupBox(QStringLiteral("Set Group Parameters"), generation);
    params->setObjectName(QStringLiteral("frameGroupParam"));
    auto* paramsForm = new QFormLayout;
    for (int i = 0; i < Params; ++i)
        txtGroupParam[i] = labelledBox(params, paramsForm, QStringLiteral("txtGroupParam_%1").arg(i),
                                       QStringLiteral("lblGroupParam_%1").arg(i), QLatin1String(kGroupParamLabels[i]));
    cmdParamApply =
        addButton(QStringLiteral("cmdParamApply"), QStringLiteral("Apply"), [this] { cmdParamApply_Click(); }, params);
    auto* lblUnits = new QLabel(params);
    lblUnits->setObjectName(QStringLiteral("lblUnits"));
    auto* paramsLayout = new QVBoxLayout(params);
    paramsLayout->addLayout(paramsForm);
    auto* paramButtons = new QHBoxLayout;
    paramButtons->addWidget(lblUnits, 1);
    paramButtons->addWidget(cmdParamApply);
    paramsLayout->addLayout(paramButtons);

    auto* generationLayout = new QHBoxLayout(generation);
    generationLayout->addWidget(groups);
    generationLayout->addWidget(members);
    generationLayout->addWidget(params);
    TabStrip1->addTab(generation, QStringLiteral("Trajectory Generation"));

    // Tab 2: the moves.
    auto* motion = new QWidget;
    motion->setObjectName(QStringLiteral("fraCoordinatedMotion"));
    auto* circular = new QGroupBox(QStringLiteral("Circular Interpolation"), motion);
    circular->setObjectName(QStringLiteral("frameCircularInterp"));
    auto* circularForm = new QFormLayout;
    for (int i = 0; i < 3; ++i)
        txtCntrPos[i] = labelledBox(circular, circularForm, QStringLiteral("txtCntrPos_%1").arg(i),
                                    QStringLiteral("lblCntrPos_%1").arg(i), QLatin1String(kCentreLabels[i]));
    cmdCircularInterp = addButton(QStringLiteral("cmdCircularInterp"), QStringLiteral("Move"),
                                  [this] { cmdCircularInterp_Click(); }, circular);
    auto* circularLayout = new QVBoxLayout(circular);
    circularLayout->addLayout(circularForm);
    circularLayout->addWidget(cmdCircularInterp, 0, Qt::AlignRight);

    auto* linear = new QGroupBox(QStringLiteral("Linear Interpolation"), motion);
    linear->setObjectName(QStringLiteral("frameLinearInterp"));
    auto* linearForm = new QFormLayout;
    for (int i = 0; i < 3; ++i)
        txtTargPos[i] = labelledBox(linear, linearForm, QStringLiteral("txtTargPos_%1").arg(i),
                                    QStringLiteral("lblTargPos_%1").arg(i), QLatin1String(kTargetLabels[i]));
    cmdLinearInterp =
        addButton(QStringLiteral("cmdLinearInterp"), QStringLiteral("Move"), [this] { cmdLinearInterp_Click(); }, linear);
    auto* linearLayout = new QVBoxLayout(linear);
    linearLayout->addLayout(linearForm);
    linearLayout->addWidget(cmdLinearInterp, 0, Qt::AlignRight);

    auto* motionLayout = new QHBoxLayout(motion);
    motionLayout->addWidget(circular);
    motionLayout->addWidget(linear);
    TabStrip1->addTab(motion, QStringLiteral("Coordinated Motion"));

    // A click on Help runs nothing.
    cmdHelp = addButton(QStringLiteral("cmdHelp"), QStringLiteral("&Help"), {});

    auto* layout = new QVBoxLayout(this);
    layout->addWidget(TabStrip1);
    auto* bottom = new QHBoxLayout;
    bottom->addStretch(1);
    bottom->addWidget(cmdHelp);
    layout->addLayout(bottom);
}

int frmInterpolation::axesRead() const
{
    return std::clamp<int>(KvlXGlobal::gMaxAxes, 0, ReadMarks::Axes);
}

void frmInterpolation::Form_Load()
{
    // A group has two or three members; the window has buttons for three groups.
    m_groupCount = std::clamp(KvlXGlobal::gMaxAxes / 2, 0, Groups);
    for (int i = 0; i < Groups; ++i)
        optGroupNum[i]->setEnabled(i < m_groupCount);
    bindLink();
    KvlXGlobal::RestoreFormPosition(this);
    {
        Exchange busy(*this, true);
        for (short a = 1; a <= axesRead(); ++a) {
            ReadAxisTrajectories(a);
            if (!isLoaded())
                return;
        }
        takeSnapshot();
    }
    optGroupNum[0]->setChecked(true);
}

void frmInterpolation::ReadAxisTrajectories(short Axis)
{
    IMotion* m = motion();
    if (!m)
        return;
    for (const AxisParam& p : kAxisParams) {
        const Read read = readValue(Axis, p.field, QString::number(Axis) + QLatin1String(p.mnemonic) + QLatin1Char('?'),
                                    ReadMarks::Reply::Decimal,
                                    p.field == TJ ? NumberText::Target::I16 : NumberText::Target::Single,
                                    [&](double v) { p.value.set(*m, Axis, v); });
        if (read == Read::Gone)
            return;
    }
}

void frmInterpolation::clearGroupBoxes()
{
    for (QLineEdit* box : txtGroupAxes)
        box->clear();
    for (QLineEdit* box : txtGroupParam) {
        box->clear();
        box->setToolTip(QString());
    }
}

void frmInterpolation::optGroupNum_Click(int Index)
{
    // Shown again, a group whose values do not come keeps what its boxes showed; another group's
    // values are never shown as its own.
    const bool sameGroup = Index == m_shownGroup;
    m_group = Index;
    if (KVLComm1().isNull())
        return;
    QString reply(255, QLatin1Char(' '));
    const int status = KVLComm1().SendReadAscii(group() + QStringLiteral("HN?\r"), reply);
    if (!pump())
        return;
    if (!sameGroup)
        m_shownGroup = Index;
    if (status != 0 || reply.trimmed().isEmpty()) {
        // Not answered: nothing is known of the members, and no error was left to take.
        m_membersUnread = true;
        if (!sameGroup)
            clearGroupBoxes();
        return;
    }
    m_membersUnread = false;
    const QString memberText = leadingNumericText(reply);
    if (memberText.isEmpty() || memberText.startsWith(QStringLiteral("   "))) {
        clearGroupBoxes();
        // The query left an error in the controller's buffer: take it.
        QString dropped;
        KVLComm1().SendReadAscii(QStringLiteral("TB?\r"), dropped);
        return;
    }
    // "1, 2, 3": one member a box; members beyond the boxes have nowhere to go.
    const QStringList listed = memberText.split(QLatin1Char(','));
    for (int i = 0; i < Members; ++i)
        txtGroupAxes[i]->setText(i < listed.size() ? listed.at(i).trimmed() : QString());
    for (int i = 0; i < Params; ++i) {
        bool sent = true;
        const QString text =
            KvlXGlobal::QueryController(group() + QLatin1String(kGroupParamMnemonics[i]) + QLatin1Char('?'), &sent);
        double value = 0;
        if (sent && ReadMarks::replyValue(0, text, ReadMarks::Reply::Decimal, NumberText::Target::Single, value))
            txtGroupParam[i]->setText(NumberText::localeSingle(float(value)));
        else if (!sameGroup)
            txtGroupParam[i]->clear();
    }
}

void frmInterpolation::cmdGroupAxes_Click()
{
    // Members never read and not typed are no choice: "gHX" would dissolve the controller's group.
    if (m_membersUnread) {
        {
            Exchange busy(*this, false);
            if (!busy)
                return;
            optGroupNum_Click(m_group);
            if (!isLoaded())
                return;
        }
        if (m_membersUnread) {
            notice(QStringLiteral("The axes of group %1 could not be read from the controller: nothing was sent.")
                       .arg(group()));
            return;
        }
    }
    // Every member must name an axis the controller has; nothing is sent otherwise.
    QStringList members;
    for (int i = 0; i < Members; ++i) {
        const QString text = txtGroupAxes[i]->text().trimmed();
        if (text.isEmpty())
            continue;
        bool ok = false;
        const int axis = text.toInt(&ok);
        if (!ok || axis < 1 || axis > KvlXGlobal::gMaxAxes || axis > ReadMarks::Axes) {
            notice(QStringLiteral("%1 \"%2\" is not an axis of this controller: enter an axis number from 1 to %3.")
                       .arg(QLatin1String(kMemberLabels[i]), txtGroupAxes[i]->text())
                       .arg(std::min<int>(KvlXGlobal::gMaxAxes, ReadMarks::Axes)));
            return;
        }
        members << QString::number(axis);
    }
    if (members.isEmpty()) {
        notice(QStringLiteral("Enter the axes of group %1: nothing was sent.").arg(group()));
        return;
    }
    if (KVLComm1().isNull())
        return;
    Exchange busy(*this, false);
    KVLComm1().SendAscii(group() + QStringLiteral("HX\r"));
    KVLComm1().SendAscii(group() + QStringLiteral("HN") + members.join(QLatin1Char(',')) + QLatin1Char('\r'));

    IMotion* m = motion();
    float smallest[3] = {10000000.0f, 10000000.0f, 10000000.0f};
    // A suggestion holds for the group only when every member's limit was read.
    bool everyRead[3] = {true, true, true};
    const char* const limits[3] = {"VU", "AU", "JK"};
    for (const QString& member : std::as_const(members)) {
        const short axis = member.toShort();
        for (int k = 0; k < 3; ++k) {
            QString reply;
            const int status = KVLComm1().SendReadAscii(member + QLatin1String(limits[k]) + QStringLiteral("?\r"), reply);
            if (!pump())
                return;
            double value = 0;
            // An unanswered limit suggests nothing and leaves the cache alone.
            if (!ReadMarks::replyValue(status, reply, ReadMarks::Reply::Decimal, NumberText::Target::Single, value)) {
                everyRead[k] = false;
                continue;
            }
            const float limit = float(value);
            if (m) {
                if (k == 0)
                    m->setMaxVelocity(axis, limit);
                else if (k == 1)
                    m->setMaxAccelDecel(axis, limit);
                else
                    m->setJerkRate(axis, limit);
            }
            smallest[k] = std::min(smallest[k], limit);
        }
    }
    auto suggest = [&](int box, const char* what, int k, float divisor) {
        txtGroupParam[box]->setToolTip(everyRead[k] ? QStringLiteral("Suggested %1 = ").arg(QLatin1String(what))
                                                          + NumberText::localeSingle(smallest[k] / divisor)
                                                    : QString());
    };
    suggest(0, "velocity", 0, 2);
    suggest(1, "acceleration", 1, 2);
    suggest(2, "deceleration", 1, 2);
    suggest(3, "jerk", 2, 1);
}

void frmInterpolation::ungroup(int g, bool report)
{
    IMotion* m = motion();
    if (KVLComm1().isNull() || !m)
        return;
    restoreSnapshot();
    KVLComm1().SendAscii(QString::number(g + 1) + QStringLiteral("HX\r"));
    if (!pump())
        return;
    clearGroupBoxes();
    for (short a = 1; a <= axesRead(); ++a) {
        for (int k = 0; k < ResentParams; ++k) {
            const AxisParam& p = kAxisParams[k];
            const double value = p.value.get(*m, a);
            const QString text = p.field == TJ ? NumberText::integerText(qint64(value))
                                               : NumberText::singleText(float(value));
            writeValue(a, p.field, QLatin1String(p.name), QString::number(a) + QLatin1String(p.mnemonic) + text,
                       false, false);
        }
    }
    if (report)
        reportUnwritten();
}

void frmInterpolation::cmdUngroupAxes_Click()
{
    Exchange busy(*this, false);
    ungroup(m_group, true);
}

bool frmInterpolation::typedNumbers(const QList<QLineEdit*>& boxes, const QStringList& names, QStringList& numbers)
{
    numbers.clear();
    for (int i = 0; i < boxes.size(); ++i) {
        QLineEdit* box = boxes.at(i);
        if (box->text().trimmed().isEmpty()) {
            numbers << QStringLiteral("0");
            continue;
        }
        bool ok = false;
        const double value = NumberText::parseLocale(box->text().trimmed(), &ok);
        if (!ok) {
            notice(QStringLiteral("%1: \"%2\" is not a number.").arg(names.at(i), box->text()));
            box->setFocus();
            return false;
        }
        numbers << NumberText::doubleText(value);
    }
    // Only now, with every box a number, do the empty ones show the 0 they stand for.
    for (QLineEdit* box : boxes) {
        if (box->text().trimmed().isEmpty())
            box->setText(QStringLiteral("0"));
    }
    return true;
}

void frmInterpolation::cmdParamApply_Click()
{
    QList<QLineEdit*> typed;
    QStringList names;
    QList<int> indexes;
    for (int i = 0; i < Params; ++i) {
        if (!txtGroupParam[i]->text().trimmed().isEmpty()) {
            typed << txtGroupParam[i];
            names << QLatin1String(kGroupParamLabels[i]);
            indexes << i;
        }
    }
    QStringList numbers;
    if (!typedNumbers(typed, names, numbers) || KVLComm1().isNull())
        return;
    Exchange busy(*this, false);
    for (int k = 0; k < indexes.size(); ++k) {
        KVLComm1().SendAscii(group() + QLatin1String(kGroupParamMnemonics[indexes.at(k)]) + numbers.at(k) + QLatin1Char('\r'));
        if (!pump())
            return;
    }
}

void frmInterpolation::cmdLinearInterp_Click()
{
    if (KVLComm1().isNull())
        return;
    Exchange busy(*this, false);
    QString reply;
    const int status = KVLComm1().SendReadAscii(group() + QStringLiteral("HZ\r"), reply);
    if (!pump())
        return;
    const int cr = reply.indexOf(QLatin1Char('\r'));
    double counted = 0;
    if (cr < 0
        || !ReadMarks::replyValue(status, reply.left(cr + 1), ReadMarks::Reply::Decimal, NumberText::Target::I32, counted)) {
        notice(QStringLiteral("The number of axes of group %1 could not be read from the controller: nothing was moved.")
                   .arg(group()));
        return;
    }
    if (counted < 1) {
        notice(QStringLiteral("Group %1 has no axes: nothing was moved.").arg(group()));
        return;
    }
    if (counted > Members) {
        notice(QStringLiteral("Group %1 has more axes than this window can move: nothing was moved.").arg(group()));
        return;
    }
    const int count = int(counted);
    QList<QLineEdit*> boxes;
    QStringList names;
    for (int i = 0; i < count; ++i) {
        boxes << txtTargPos[i];
        names << QLatin1String(kTargetLabels[i]);
    }
    QStringList targets;
    if (!typedNumbers(boxes, names, targets))
        return;
    KVLComm1().SendAscii(group() + QStringLiteral("HO\r"));
    KVLComm1().SendAscii(group() + QStringLiteral("HL") + targets.join(QLatin1Char(',')) + QLatin1Char('\r'));
}

void frmInterpolation::cmdCircularInterp_Click()
{
    QStringList names;
    for (const char* label : kCentreLabels)
        names << QLatin1String(label);
    QStringList list;
    if (!typedNumbers({txtCntrPos[0], txtCntrPos[1], txtCntrPos[2]}, names, list) || KVLComm1().isNull())
        return;
    KVLComm1().SendAscii(group() + QStringLiteral("HO\r"));
    KVLComm1().SendAscii(group() + QStringLiteral("HC") + list.join(QLatin1Char(',')) + QLatin1Char('\r'));
}

void frmInterpolation::Form_Unload(int& Cancel)
{
    const int answer = platform::MsgBox(QStringLiteral("All group assignments will be deleted when the Interpolation\r\n"
                                                       "window is closed.  Do you want to close this window?"),
                                        platform::vbYesNo | platform::vbQuestion, QStringLiteral("Moxtrel"));
    // Told to end (logout, Ctrl+C, kill), the program answers the box for nobody: the groups must
    // not outlive it on the controller, so the window closes as a confirmed close does.
    if (answer == platform::vbNo && !platform::msgBoxesDismissed()) {
        Cancel = 1;
        return;
    }
    {
        Exchange busy(*this, false);
        for (int g = 0; g < m_groupCount; ++g)
            ungroup(g, false);
        reportUnwritten();
    }
    SetupForm::Form_Unload(Cancel);
}
