#include "utility/files/ParameterFileRun.h"

#include "utility/shell/frmMain.h"

ParameterFileRun::ParameterFileRun(frmMain* main)
    : m_main(main)
    , m_comm(main->KVLComm1())
{
    main->DisableMenu();
    m_ticking = m_comm.TimerEnabled();
    m_comm.setTimerEnabled(false);
}

ParameterFileRun::~ParameterFileRun()
{
    if (!m_main)
        return;
    if (m_ticking && !m_comm.isNull() && m_comm.IsOpen())
        m_comm.setTimerEnabled(true);
    m_main->EnableMenu();
}
