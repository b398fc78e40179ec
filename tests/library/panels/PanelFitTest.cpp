#include "library/panels/PanelBase.h"
#include "platform/com/ClassRegistry.h"
#include "tests/support/FontFamilyScope.h"
#include "tests/support/PanelTestRig.h"
#include "tests/support/WindowChecks.h"

#include <QCoreApplication>
#include <QGroupBox>

#include <gtest/gtest.h>
#include <memory>

namespace {

class PanelFitTest : public ::testing::TestWithParam<QString> {
protected:
    FontFamilyScope family{GetParam()};
};

INSTANTIATE_TEST_SUITE_P(Families, PanelFitTest, ::testing::ValuesIn(FontFamilyScope::testedFamilies()),
                         [](const auto& info) { return FontFamilyScope::testName(info.param); });

// The frames drawn to fill their panel.
QList<QGroupBox*> fillingFrames(PanelBase* panel)
{
    QList<QGroupBox*> frames;
    for (auto* frame : panel->findChildren<QGroupBox*>(QString(), Qt::FindDirectChildrenOnly)) {
        if (frame->geometry() == panel->rect())
            frames << frame;
    }
    return frames;
}

// Texts cut, controls overlapping, and a frame drawn to fill the panel that no longer does; the
// panel is looked at as a host shows it, at least at the size it asks for.
QStringList problemsOf(PanelBase* panel, const QString& name, const QList<QGroupBox*>& filling)
{
    QCoreApplication::processEvents();
    panel->resize(panel->size().expandedTo(panel->minimumSizeHint()));
    QCoreApplication::processEvents();
    QStringList out = WindowChecks::textsThatDoNotFit(panel, name) + WindowChecks::overlappingControls(panel, name);
    for (QGroupBox* frame : filling) {
        if (frame->geometry() != panel->rect())
            out << QStringLiteral("%1: %2 is %3x%4, the panel %5x%6")
                       .arg(name, frame->objectName())
                       .arg(frame->width())
                       .arg(frame->height())
                       .arg(panel->width())
                       .arg(panel->height());
    }
    return out;
}

// Every panel, bound as a host binds it, under each family; and again once the font changes to
// each other family while it is open.
TEST_P(PanelFitTest, EveryPanelShowsItsTextsWholeAndFillsItsFrameExactly)
{
    PanelTestRig rig;
    QStringList problems;
    for (const char* name : {"KVLCycle", "KVLEnableDisable", "KVLError", "KVLHome", "KVLJog", "KVLPosition",
                             "KVLStop", "KVLTrajectory"}) {
        const QString panelName = QString::fromLatin1(name);
        std::unique_ptr<QObject> object(platform::createObject(QStringLiteral("KVL410ActiveX.") + panelName));
        auto* panel = qobject_cast<PanelBase*>(object.get());
        ASSERT_TRUE(panel) << name;
        const QList<QGroupBox*> filling = fillingFrames(panel);
        panel->show();
        panel->setCommControl(&rig.comm());
        problems += problemsOf(panel, panelName, filling);
        for (const QString& other : FontFamilyScope::testedFamilies()) {
            if (other == GetParam())
                continue;
            FontFamilyScope changed(other);
            for (const QString& line : problemsOf(panel, panelName, filling))
                problems << QStringLiteral("[then %1] ").arg(other) + line;
        }
    }
    EXPECT_TRUE(problems.isEmpty()) << problems.join(QLatin1Char('\n')).toStdString();
}

} // namespace
