#include "utility/shell/ControllerQuery.h"

#include "library/link/KVLComm.h"
#include "platform/ui/MsgBox.h"
#include "utility/shell/ProgramState.h"
#include "utility/shell/frmMain.h"

using namespace platform;

namespace KvlXGlobal {

QString QueryController(const QString& cmd, bool* sent, bool* answered)
{
    QString reply(255, QLatin1Char(' '));
    int status = -1;
    if (frmMain* main = frmMain::instance())
        status = main->KVLComm1().SendReadAscii(cmd + QLatin1Char('\r'), reply);
    else
        reply.clear();
    if (sent)
        *sent = status != KVLComm::QueryNotSent;
    if (answered)
        *answered = false;
    if (status == KVLComm::QueryNotSent)
        return QString();
    const QString cleaned = CleanReply(reply);
    if (answered)
        *answered = status == 0 && !IsUnusableReply(cleaned);
    if (IsUnusableReply(cleaned))
        MsgBox(QStringLiteral("Invalid response to command: ") + cmd, vbOKOnly + vbCritical, QStringLiteral("ASCII Query"));
    return cleaned;
}

bool IsUnusableReply(const QString& cleaned)
{
    return cleaned.isEmpty() || cleaned.contains(QLatin1String("No data")) || cleaned.contains(QLatin1String("No Message"));
}

QString CleanReply(const QString& text)
{
    QString result;
    for (int i = 1; i <= 200; ++i) {
        if (i > text.size())
            continue; // past the end: nothing to take, and no terminator either
        const QChar c = text.at(i - 1);
        if (c != QLatin1Char('\r') && c != QLatin1Char('\n')) {
            result += c;
        } else if (i >= 3) {
            return result;
        }
    }
    return QString();
}

short ReadErrorMessage()
{
    if (gDemoMode)
        return 0;
    if (frmMain* main = frmMain::instance()) {
        QString reply(255, QLatin1Char(' '));
        main->KVLComm1().SendReadAscii(QStringLiteral("TB?\r"), reply);
    }
    return 0;
}

} // namespace KvlXGlobal
