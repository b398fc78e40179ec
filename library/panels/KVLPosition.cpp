#include "library/panels/KVLPosition.h"

#include "library/link/CGuiState.h"
#include "library/link/Global.h"
#include "library/link/KVLComm.h"
#include "library/link/LinkTransport.h"
#include "library/link/NumberText.h"
#include "platform/com/ClassRegistry.h"

#include <QCheckBox>
#include <QGroupBox>
#include <QLabel>
#include <QPushButton>

#include <algorithm>
#include <cmath>

namespace {

const bool registered = platform::registerClass(QStringLiteral("KVL410ActiveX.KVLPosition"),
                                                [](QWidget* parent) -> QObject* { return new KVLPosition(parent); });

PanelBase::Options positionOptions()
{
    PanelBase::Options options;
    options.handlesTimer = true;
    options.displayOnly = true;
    return options;
}

platform::DispatchTable buildTable()
{
    platform::DispatchTable t(QStringLiteral("_KVLPosition"));
    t.put<KVLPosition>(QStringLiteral("CommControl"), 0x68030000, [](KVLPosition& p, QVariantList& a) {
        p.setCommControl(PanelBase::commFromVariant(a.value(0)));
    });
    return t;
}

// Places inside a row frame and in the check-box strip, in twips.
constexpr int RowLeft = 120;
constexpr int RowWidth = 5295;
constexpr int RowHeight = 855;

} // namespace

KVLPosition::KVLPosition(QWidget* parent)
    : PanelBase(positionOptions(), parent)
{
    Q_UNUSED(registered);
    setObjectName(QStringLiteral("KVLPosition"));
    Global::InitUnitNames();
    buildControls();
}

void KVLPosition::buildControls()
{
    resize(twips(0, 0, PanelWidth, EmptyHeight).size());

    Label2 = makeLabel(this, QStringLiteral("Label2"), QStringLiteral("Select Channel"), twips(120, 150, 1335, 255));
    for (int i = 0; i < MaxRows; ++i) {
        const int left = 1500 + 495 * i;
        auto* box = new QCheckBox(this);
        box->setObjectName(QStringLiteral("chkSelectAxis_%1").arg(i));
        box->setGeometry(twips(left, 120, 255, 285));
        // Ticked from code or by the user, the rows are laid out again.
        connect(box, &QCheckBox::toggled, this, [this] { chkSelectAxis_Click(); });
        chkSelectAxis.append(box);
        QLabel* number = makeLabel(this, QStringLiteral("Label1_%1").arg(i), QString::number(i + 1),
                                   twips(left + 255, 150, 195, 255));
        Label1.append(number);
    }

    for (int i = 0; i < MaxRows; ++i) {
        QGroupBox* frame = makeFrame(this, QStringLiteral("framAxisPos_%1").arg(i),
                                     QStringLiteral("Channel %1").arg(i + 1),
                                     twips(RowLeft, HiddenRowsTop + RowPitch * i, RowWidth, RowHeight));
        frame->hide();
        framAxisPos.append(frame);

        QLabel* position = makeLabel(frame, QStringLiteral("numAxisPos_%1").arg(i), QStringLiteral("DEMOMODE"),
                                     twips(120, 300, 2415, 375));
        position->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
        position->setFrameShape(QFrame::Panel);
        position->setFrameShadow(QFrame::Sunken);
        QFont font = position->font();
        font.setBold(true);
        font.setPointSizeF(font.pointSizeF() * 1.3);
        position->setFont(font);
        numAxisPos.append(position);

        QLabel* units = makeLabel(frame, QStringLiteral("lblPos_%1").arg(i), QStringLiteral("units"),
                                  twips(2655, 360, 1215, 255));
        reserveUnitRoom(units, QStringLiteral("%1"));
        lblPos.append(units);

        auto* zero = new QPushButton(QStringLiteral("Zero"), frame);
        zero->setObjectName(QStringLiteral("btnAxisZero_%1").arg(i));
        zero->setGeometry(twips(4035, 270, 1095, 435));
        connect(zero, &QPushButton::clicked, this, [this, i] { btnAxisZero_Click(i); });
        btnAxisZero.append(zero);
    }
}

int KVLPosition::feedbackAxes() const
{
    return mobjGuiState ? std::clamp(int(mobjGuiState->MaxFeedbackAxes()), 0, int(MaxRows)) : 0;
}

int KVLPosition::motorAxes() const
{
    return mobjGuiState ? std::clamp(int(mobjGuiState->MaxAxes()), 0, int(MaxRows)) : 0;
}

int KVLPosition::rowCount() const
{
    return busChosen() ? feedbackAxes() : 6;
}

// ---------------------------------------------------------------------------------------------
// Binding and set-up

void KVLPosition::setUp()
{
    QPointer<KVLPosition> self(this);
    InitializeAxes();
    if (!self)
        return;
    if (m_Initialized)
        onTimer();
    emit Resize();
    if (!self)
        return;
    chkSelectAxis_Click();
    if (!self)
        return;
    // Demo mode shows zeros as designed; with a bus, a row keeps the position it read and shows
    // none where nothing was read.
    const bool demo = !busChosen();
    const int rows = feedbackAxes();
    for (int i = 0; i < rows; ++i) {
        if (demo)
            numAxisPos.at(i)->setText(QStringLiteral("0.000"));
        else if (!m_positionShown[i])
            numAxisPos.at(i)->setText(QString());
    }
    if (!pumpEvents())
        return;
    m_Initialized = true;
}

void KVLPosition::InitializeAxes()
{
    if (!isBound())
        return;
    if (!busChosen()) {
        chkSelectAxis_Click();
        return;
    }
    if (!linkOpen())
        return;

    const int rows = feedbackAxes();
    // A unit or position not read leaves the row as it was.
    for (int axis = 1; axis <= rows; ++axis) {
        double code = -1;
        const Read unit = readValue(query(axis, QStringLiteral("SN")), NumberText::Target::I16, code);
        if (unit == Read::Failed)
            return;
        if (unit == Read::Read && code >= 0 && code < Global::UnitNameSlots)
            lblPos.at(axis - 1)->setText(Global::gUnitNames[int(code)]);
        double position = 0;
        const Read read = readValue(command(axis, QStringLiteral("TP")), NumberText::Target::Double, position);
        if (read == Read::Failed)
            return;
        if (read == Read::Read) {
            numAxisPos.at(axis - 1)->setText(NumberText::displayText(position, 3));
            m_positionShown[axis - 1] = true;
        }
    }

    const int motors = motorAxes();
    QPointer<KVLPosition> self(this);
    for (int axis = 1; axis <= motors; ++axis) {
        int motor = 0;
        const Read read = readFlag(query(axis, QStringLiteral("QM")), motor);
        if (read == Read::Failed)
            return;
        // A row is ticked for a motor, never unticked here; an axis whose probe went unanswered
        // may have one, so its row is not hidden either.
        if (read == Read::Unread || motor > 0) {
            chkSelectAxis.at(axis - 1)->setChecked(true);
            if (!self)
                return;
        }
    }
}

// ---------------------------------------------------------------------------------------------
// Row layout

void KVLPosition::chkSelectAxis_Click()
{
    const int rows = rowCount();
    for (int i = 0; i < rows; ++i) {
        QGroupBox* frame = framAxisPos.at(i);
        frame->setGeometry(twips(RowLeft, HiddenRowsTop + RowPitch * i, RowWidth, RowHeight));
    }
    int top = FirstRowTop;
    int height = OneRowHeight;
    int controlHeight = EmptyHeight;
    for (int i = 0; i < rows; ++i) {
        QGroupBox* frame = framAxisPos.at(i);
        if (!chkSelectAxis.at(i)->isChecked()) {
            frame->hide();
            continue;
        }
        frame->setGeometry(twips(RowLeft, top, RowWidth, RowHeight));
        controlHeight = height;
        top += RowPitch;
        height += RowPitch;
        frame->show();
    }
    resize(width(), twips(0, 0, 0, controlHeight).height());

    QPointer<KVLPosition> self(this);
    emit Resize();
    if (!self)
        return;

    if (!busChosen()) {
        for (int i = 0; i < MaxRows; ++i) {
            chkSelectAxis.at(i)->setVisible(i < 6);
            Label1.at(i)->setVisible(i < 6);
        }
    } else {
        for (int i = feedbackAxes(); i < MaxRows; ++i) {
            chkSelectAxis.at(i)->hide();
            Label1.at(i)->hide();
        }
    }
}

// ---------------------------------------------------------------------------------------------
// Poll and zero

void KVLPosition::onTimer()
{
    if (!busChosen() || !m_Initialized || !readWanted())
        return;
    pollInTurn(feedbackAxes(), m_nextRow, [this](int row) {
        if (!chkSelectAxis.at(row)->isChecked())
            return true;
        QString text;
        bool gotLine = false;
        if (GetAxisPosition(row + 1, text, &gotLine) == -2)
            return false;
        // No line for this axis: the row keeps its own last read-out. A line that is no finite
        // number is shown as unread, never as a position.
        if (gotLine) {
            const bool position = isPositionText(text);
            numAxisPos.at(row)->setText(position ? text : QString());
            m_positionShown[row] = position;
        }
        return true;
    });
}

bool KVLPosition::isPositionText(const QString& text)
{
    return NumberText::isPlainDecimal(LinkTransport::trimBlanks(text))
        && NumberText::replyNumber(text, NumberText::Target::Double).has_value();
}

short KVLPosition::GetAxisPosition(int axis, QString& text, bool* gotLine)
{
    if (gotLine)
        *gotLine = false;
    if (!linkUsable())
        return 0;
    QString reply;
    const int status = sendQuery(command(axis, QStringLiteral("TP")), reply);
    if (status == -2)
        return -2;
    const int end = reply.indexOf(QLatin1Char('\r'));
    if (status == 0 && end >= 0) {
        text = reply.left(end);
        if (gotLine)
            *gotLine = true;
    }
    return 0;
}

void KVLPosition::btnAxisZero_Click(int index)
{
    if (!passesGuards(GuardBound | GuardBus))
        return;
    // Nothing was zeroed: the row keeps what it showed.
    if (!linkOpen())
        return;
    sendCommand(command(index + 1, QStringLiteral("DH"), QStringLiteral("0")));
}

const platform::DispatchTable* KVLPosition::dispatchTable(const QString& interfaceName) const
{
    static const platform::DispatchTable table = buildTable();
    if (!interfaceName.isEmpty() && interfaceName != table.interfaceName())
        return nullptr;
    return &table;
}

QVector<QPair<int, QString>> KVLPosition::eventTable() const
{
    return {{1, QStringLiteral("Resize")}};
}
