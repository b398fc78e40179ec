#include "library/panels/KVLError.h"
#include "library/panels/KVLJog.h"
#include "library/panels/KVLStop.h"

#include "library/link/CGuiState.h"
#include "library/link/KVLComm.h"
#include "platform/RuntimeError.h"
#include "platform/com/ClassRegistry.h"
#include "platform/com/DispatchTable.h"
#include "platform/com/PropertyBag.h"
#include "sim/SimController.h"
#include "tests/support/PanelTestRig.h"

#include <QGroupBox>
#include <QRadioButton>
#include <gtest/gtest.h>

#include <memory>

using platform::MemberKind;

namespace {

// A motion panel as the next panels are built on the framework: its own identifier 2, an axis
// selector that follows the current axis, a start button that locks the others, and a poll on
// every 2nd tick counted while a bus is chosen.
class SamplePanel : public PanelBase {
public:
    SamplePanel()
        : PanelBase(options())
    {
        for (int i = 0; i < MaxPanelAxes; ++i) {
            auto* option = new QRadioButton(this);
            option->setObjectName(QStringLiteral("optAxis_%1").arg(i));
            axes.append(option);
        }
        followCurrentAxis(axes);
        for (int i = 0; i < MaxPanelAxes; ++i)
            QObject::connect(axes.at(i), &QRadioButton::toggled, this, [this, i](bool on) {
                if (on)
                    selected.append(i + 1);
            });
    }

    static Options options()
    {
        Options o;
        o.formId = FormHome;
        o.handlesTimer = true;
        o.handlesAxisChange = true;
        return o;
    }

    // A start that finds the link closed offers the reset and begins nothing.
    void start()
    {
        if (!passesGuards(GuardBound | GuardBus))
            return;
        FormLockScope lock(*this, FormCycle, FormJog);
        if (!linkOpen()) {
            offerReset();
            return;
        }
        sendCommand(command(1, QStringLiteral("OR")));
    }

    void onTimer() override
    {
        QString reply;
        if (busChosen() && ticks.tick())
            sendQuery(query(1, QStringLiteral("MD")), reply);
    }

    int probe(MotorTable& table) { return probeMotors(table); }
    void lockOthers() { takeFormLock(FormCycle, FormJog); }
    const platform::DispatchTable* dispatchTable(const QString&) const override { return nullptr; }
    using PanelBase::enableAxisOptions;

    QList<QAbstractButton*> axes;
    QList<int> selected;
    TickCounter ticks{2};
};

TEST(PanelFramework, SamplePanelFollowsAxisLockTicksAndReset)
{
    PanelTestRig rig(BUS_TYPE_USB, 4);
    SamplePanel panel;
    panel.setCommControl(&rig.comm());

    // Current axis both ways; values outside 1 to 6 are ignored.
    rig.gui().setCurrentAxis(3);
    EXPECT_TRUE(panel.axes.at(2)->isChecked());
    rig.gui().setCurrentAxis(0);
    rig.gui().setCurrentAxis(7);
    EXPECT_TRUE(panel.axes.at(2)->isChecked());
    panel.axes.at(4)->click();
    EXPECT_EQ(rig.gui().CurrentAxis(), 5);
    EXPECT_EQ(panel.selected, (QList<int>{3, 5}));

    // Its own identifier only.
    rig.gui().DisableForms(4);
    EXPECT_TRUE(panel.isEnabled());
    rig.gui().DisableForms(2);
    EXPECT_FALSE(panel.isEnabled());
    rig.gui().EnableForms(2);
    rig.gui().EnableForms(4);

    // Every 2nd tick.
    rig.tick(3);
    EXPECT_EQ(rig.lines(), QStringList{QStringLiteral("1MD?\r")});

    // Probing stops at the panel's six axes and disables the axes without a motor.
    rig.gui().setMaxAxes(8);
    rig.sim().setAxisCount(8);
    rig.sim().setValue(2, "QM", "0");
    PanelBase::MotorTable table{};
    EXPECT_EQ(panel.probe(table), 0);
    EXPECT_EQ(table, (PanelBase::MotorTable{1, 0, 1, 1, 1, 1}));
    SamplePanel::enableAxisOptions(panel.axes, table);
    EXPECT_FALSE(panel.axes.at(1)->isEnabled());
    EXPECT_TRUE(panel.axes.at(5)->isEnabled());

    // A start on a closed link offers the reset, and the others are free again either way.
    rig.comm().KVLClose();
    rig.formEvents.clear();
    rig.boxes().setAnswer(7);
    panel.start();
    ASSERT_EQ(rig.boxes().count(), 1);
    EXPECT_EQ(rig.boxes().last().prompt, QStringLiteral("Do you want to reset the system?"));
    EXPECT_EQ(rig.formEvents, (QList<QPair<short, short>>{{1, 0}, {4, 0}, {1, 1}, {4, 1}}));
    EXPECT_FALSE(rig.comm().IsOpen());
    rig.boxes().setAnswer(6);
    panel.start();
    EXPECT_TRUE(rig.comm().IsOpen());
    EXPECT_EQ(rig.gui().FormState(7), 0);

    // A panel destroyed while it holds the lock frees the others.
    auto dying = std::make_unique<SamplePanel>();
    dying->setCommControl(&rig.comm());
    dying->lockOthers();
    EXPECT_EQ(rig.gui().FormState(7), 5);
    dying.reset();
    EXPECT_EQ(rig.gui().FormState(7), 0);
}

TEST(PanelFramework, PanelsAreCreatedByNameAndBoundByDispatchIdentifier)
{
    PanelTestRig rig(BUS_TYPE_USB, 4);
    const QVariant comm = QVariant::fromValue<QObject*>(&rig.comm());
    const struct {
        const char* progId;
        int commControl;
    } panels[] = {{"KVL410ActiveX.KVLJog", 0x68030002}, {"KVL410ActiveX.KVLStop", 0x68030000},
                  {"KVL410ActiveX.KVLError", 0x68030001}};
    for (const auto& p : panels) {
        SCOPED_TRACE(p.progId);
        std::unique_ptr<QObject> panel(platform::createObject(QString::fromLatin1(p.progId)));
        ASSERT_NE(dynamic_cast<PanelBase*>(panel.get()), nullptr);
        platform::invoke(panel.get(), p.commControl, MemberKind::PropertyPut, QVariantList{comm});
        EXPECT_EQ(static_cast<PanelBase*>(panel.get())->commControl(), &rig.comm());
        // Anything but a communication control is refused.
        QObject other;
        try {
            platform::invoke(panel.get(), p.commControl, MemberKind::PropertyPut,
                             QVariantList{QVariant::fromValue<QObject*>(&other)});
            ADD_FAILURE() << "no type mismatch";
        } catch (const platform::RuntimeError& e) {
            EXPECT_EQ(e.Number, 13);
        }
    }
    // The stop panel keeps no shared state; the others share the control's.
    KVLStop stop;
    stop.setCommControl(&rig.comm());
    EXPECT_EQ(stop.guiState(), nullptr);
    KVLError error;
    error.setCommControl(&rig.comm());
    EXPECT_EQ(error.guiState(), rig.comm().GetGuiStateObject());
}

TEST(PanelFramework, JogMembersByDispatchIdentifier)
{
    PanelTestRig rig(BUS_TYPE_USB, 4);
    KVLJog jog;
    platform::invoke(&jog, 0x68030002, MemberKind::PropertyPut, QVariantList{QVariant::fromValue<QObject*>(&rig.comm())});
    rig.clearLines();
    EXPECT_EQ(platform::invoke(&jog, 0x60030004, MemberKind::Method, QVariantList{QStringLiteral("12\r\n")}).toString(),
              QStringLiteral("12"));
    EXPECT_EQ(platform::invoke(&jog, 0x60030009, MemberKind::Method, QVariantList{2, -1, 4.5}).toInt(), 0);
    EXPECT_EQ(rig.lines(), (QStringList{"2MD?\r", "2VA 4.5\r", "2MO\r", "2MV-\r"}));
    EXPECT_EQ(platform::invoke(&jog, 0x6003000F, MemberKind::Method, QVariantList{2}).toInt(), 0);
    // ErrorControl is accepted and used for nothing.
    KVLError error;
    platform::invoke(&jog, 0x68030001, MemberKind::PropertyPut, QVariantList{QVariant::fromValue<QObject*>(&error)});
    platform::invoke(&jog, 0x68030000, MemberKind::PropertyPut, QVariantList{false});
    EXPECT_FALSE(platform::invoke(&jog, 0x68030000, MemberKind::PropertyGet).toBool());
}

TEST(PanelFramework, ShowFrameIsPersistedAsTheBorderStyle)
{
    KVLJog jog;
    int changes = 0;
    QObject::connect(&jog, &platform::Control::PropertyChanged, [&](const QString&) { ++changes; });
    jog.InitProperties();
    EXPECT_TRUE(jog.ShowFrame());

    platform::PropertyBag bag;
    jog.WriteProperties(bag);
    EXPECT_FALSE(bag.contains(QStringLiteral("ShowFrame"))) << "the default is not written";

    jog.setShowFrame(false);
    EXPECT_FALSE(jog.ShowFrame());
    EXPECT_EQ(changes, 0) << "the jog panel does not tell its host";
    jog.WriteProperties(bag);
    EXPECT_EQ(bag.ReadProperty(QStringLiteral("ShowFrame")).toInt(), 0);

    KVLJog loaded;
    loaded.ReadProperties(bag);
    EXPECT_FALSE(loaded.ShowFrame());
    KVLJog fresh;
    fresh.ReadProperties(platform::PropertyBag());
    EXPECT_TRUE(fresh.ShowFrame());
}

} // namespace
