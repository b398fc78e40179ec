#include "tests/support/ProgramParts.h"

#include "utility/app/ProgramStart.h"

ProgramParts::ProgramParts()
    : m_before(CommandDispatcher::plugIns())
{
    KvlXGlobal::InstallProgramParts();
}

ProgramParts::~ProgramParts()
{
    CommandDispatcher::setPlugIns(m_before);
}
