#include "utility/shell/frmStop.h"

#include "platform/com/DispatchTable.h"
#include "platform/kernel/Clock.h"
#include "utility/shell/ProgramState.h"
#include "utility/shell/frmCycle.h"

#include <QApplication>

frmStop::frmStop()
    : PanelHost(QStringLiteral("frmStop"), QStringLiteral("Stop"), QStringLiteral("KVL410ActiveX.KVLStop"),
                QStringLiteral("KVLStop1"), Fit::FillClient)
{
    connect(qApp, &QApplication::focusChanged, this, &frmStop::focusChanged);
}

void frmStop::focusChanged(QWidget* old, QWidget* now)
{
    QWidget* stop = panelWidget();
    if (!stop || !isLoaded())
        return;
    auto inPanel = [stop](QWidget* w) { return w && (w == stop || stop->isAncestorOf(w)); };
    // The cycle stop lets events run: inside the press it would take the click from the stop
    // button. It comes after the press, and after the click when the focus came by the mouse.
    if (inPanel(now) && !inPanel(old))
        platform::Clock::afterInput(this, [this] {
            if (isLoaded())
                KVLStop1_GotFocus();
        });
}

void frmStop::KVLStop1_GotFocus()
{
    // Closing windows moves the focus on; while the program closes, no window is loaded anew.
    if (KvlXGlobal::gAppClosing)
        return;
    frmCycle* cycle = Form::instance<frmCycle>();
    if (QObject* panel = cycle->KVLCycle1()) {
        QVariantList args;
        platform::invokeByName(panel, QStringLiteral("StopCycle"), platform::MemberKind::Method, args);
    }
}
