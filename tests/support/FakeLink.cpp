#include "tests/support/FakeLink.h"

int FakeLink::exchange(const QString& command, QString* reply)
{
    const QString line = command.endsWith(QLatin1Char('\r')) ? command.left(command.size() - 1) : command;
    int status = 0;
    switch (mode) {
    case Mode::Closed:
        status = -1;
        break;
    case Mode::Demo:
        if (reply)
            reply->clear();
        break;
    case Mode::Open:
        sent << command;
        if (reply) {
            if (replies.contains(line))
                *reply = replies.value(line);
            else
                status = -1;
        }
        break;
    }
    if (statuses.contains(line))
        status = statuses.value(line);
    if (afterExchange)
        afterExchange(line);
    return status;
}

int FakeLink::SendAscii(const QString& Command)
{
    return exchange(Command, nullptr);
}

int FakeLink::SendReadAscii(const QString& Command, QString& ReturnString)
{
    return exchange(Command, &ReturnString);
}

CGuiState* FakeLink::GetGuiStateObject()
{
    if (!m_gui)
        m_gui = std::make_unique<CGuiState>();
    return m_gui.get();
}

const platform::DispatchTable* FakeLink::dispatchTable(const QString& interfaceName) const
{
    if (interfaceName == QLatin1String("IMotion"))
        return &IMotion::motionDispatchTable();
    return nullptr;
}
