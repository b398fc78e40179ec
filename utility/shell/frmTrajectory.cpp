#include "utility/shell/frmTrajectory.h"

#include "platform/ui/Shell.h"
#include "utility/shell/CommandDispatcher.h"
#include "utility/shell/FormPlaces.h"
#include "utility/shell/LateEvent.h"

#include <QWidget>

frmTrajectory::frmTrajectory()
    : PanelHost(QStringLiteral("frmTrajectory"), QStringLiteral("Trajectory"),
                QStringLiteral("KVL410ActiveX.KVLTrajectory"), QStringLiteral("KVLTrajectory1"), Fit::FillClient)
{
    if (QObject* p = panel())
        LateEvent::connect(p, SIGNAL(HelpClicked()), this, SLOT(KVLTrajectory1_HelpClicked()));
}

void frmTrajectory::Form_Load()
{
    bindPanel();
    KvlXGlobal::RestoreFormPosition(this);
    setHeight(DesignHeight);
    setWidth(DesignWidth);
    // The design's size, or more where the panel's texts need it at the font in use.
    if (QWidget* widget = panelWidget())
        growClientTo(widget->minimumSizeHint());
}

void frmTrajectory::KVLTrajectory1_HelpClicked()
{
    platform::ShowDocument(CommandDispatcher::helpFilePath());
}
