#include "utility/shell/LinkOwnerLockOut.h"

#include "utility/shell/Form.h"

LinkOwnerLockOut::LinkOwnerLockOut(const QWidget* owner)
{
    for (Form* form : Form::Forms()) {
        const QString name = form->Name();
        if (form == owner || name.contains(QLatin1String("frmMain")) || name == QLatin1String("frmStop"))
            continue;
        if (!form->isEnabled())
            continue;
        form->setEnabled(false);
        m_disabled.append(form);
    }
}

LinkOwnerLockOut::~LinkOwnerLockOut()
{
    for (const QPointer<Form>& form : std::as_const(m_disabled)) {
        if (form && form->isLoaded())
            form->setEnabled(true);
    }
}
