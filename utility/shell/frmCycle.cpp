#include "utility/shell/frmCycle.h"

#include "platform/com/DispatchTable.h"
#include "utility/shell/FormPlaces.h"
#include "utility/shell/LateEvent.h"
#include "utility/shell/MainMenu.h"
#include "utility/shell/frmErrors.h"
#include "utility/shell/frmMain.h"

namespace {

// Windows a cycle leaves usable, and the toolbar buttons that open them.
const QStringList kUsableWindows{QStringLiteral("frmEnable"), QStringLiteral("frmStop"), QStringLiteral("frmPosition"),
                                 QStringLiteral("frmCycle")};
const QStringList kUsableButtons{QStringLiteral("mnuTbarStop"), QStringLiteral("mnuTbarEnable"),
                                 QStringLiteral("mnuTbarPosition")};

} // namespace

frmCycle::frmCycle()
    : PanelHost(QStringLiteral("frmCycle"), QStringLiteral("Cycle"), QStringLiteral("KVL410ActiveX.KVLCycle"),
                QStringLiteral("KVLCycle1"), Fit::FillClient)
{
    if (QObject* p = panel())
        LateEvent::connect(p, SIGNAL(CyclingEvent(bool&)), this, SLOT(KVLCycle1_CyclingEvent(bool&)));
}

void frmCycle::Form_Load()
{
    // Binding runs the panel's set-up, which sizes it to its captions: the window follows.
    bindPanel();
    fitClientToPanel();
    mobjKVLError = Form::instance<frmErrors>()->KVLError1();
    if (mobjKVLError)
        LateEvent::connect(mobjKVLError, SIGNAL(ErrorsDetected()), this, SLOT(mobjKVLError_ErrorsDetected()));
    mobjCycling = panel();
    if (frmMain* main = frmMain::instance()) {
        m_comm = main->KVLComm1().object();
        if (m_comm)
            LateEvent::connect(m_comm, SIGNAL(CommErrorEvent(short&)), this, SLOT(KVLComm1_CommErrorEvent(short&)));
    }
    KvlXGlobal::RestoreFormPosition(this);
}

void frmCycle::Form_Unload(int& Cancel)
{
    bool moving = false;
    KVLCycle1_CyclingEvent(moving);
    PanelHost::Form_Unload(Cancel);
}

QList<Form*> frmCycle::disabledForms() const
{
    QList<Form*> forms;
    if (m_disabledForms) {
        for (const QPointer<Form>& form : *m_disabledForms) {
            if (form && form->isLoaded())
                forms.append(form);
        }
    }
    return forms;
}

void frmCycle::KVLCycle1_CyclingEvent(bool& Moving)
{
    if (Moving)
        lockOut();
    else
        liftLockOut();
}

void frmCycle::lockOut()
{
    m_disabledForms.emplace();
    for (Form* form : Form::Forms()) {
        if (!form->Name().contains(QLatin1String("frmMain")) && form->Visible())
            m_disabledForms->append(form);
    }
    for (const QPointer<Form>& form : *m_disabledForms) {
        if (!kUsableWindows.contains(form->Name()))
            form->setEnabled(false);
    }
    frmMain* main = frmMain::instance();
    if (!main || !main->Menus())
        return;
    main->Menus()->setMenusEnabled(false);
    main->Menus()->setButtonsEnabled(false, kUsableButtons);
}

// Only a lock-out that a cycle put on is lifted: a stop while no cycle runs (from the error panel,
// the stop window) leaves alone the menus that the initialisation, the terminal or the firmware
// download disabled. A window closed since the lock-out began is no longer held: it may be gone,
// or loaded anew as another window that the cycle never disabled.
void frmCycle::liftLockOut()
{
    if (!m_disabledForms)
        return;
    for (Form* form : disabledForms())
        form->setEnabled(true);
    m_disabledForms.reset();
    frmMain* main = frmMain::instance();
    if (!main || !main->Menus())
        return;
    main->Menus()->setMenusEnabled(true);
    main->Menus()->setButtonsEnabled(true);
}

void frmCycle::StopCycle()
{
    if (!mobjCycling)
        return;
    QVariantList args;
    platform::invokeByName(mobjCycling, QStringLiteral("StopCycle"), platform::MemberKind::Method, args);
}

void frmCycle::mobjKVLError_ErrorsDetected()
{
    StopCycle();
}

// The link's failure stops the link's tick, so the panel would never see the link gone and end the
// cycle by itself: the lock-out would stay, and with it the menus needed to choose a bus again.
void frmCycle::KVLComm1_CommErrorEvent(short& ErrorNum)
{
    Q_UNUSED(ErrorNum);
    StopCycle();
    liftLockOut();
}
