#include "utility/shell/Application.h"

#include "platform/EventBoundary.h"
#include "platform/RuntimeError.h"
#include "utility/shell/frmMain.h"

#include <csignal>

namespace {

// A link failure goes to the communication control's failure handler, as the control's own
// members hand theirs; without a control it is shown like any other.
void toFailureHandler(const platform::RuntimeError& error)
{
    frmMain* main = frmMain::instance();
    if (!main || main->KVLComm1().isNull())
        throw error;
    QVariantList args{QVariantMap{{QStringLiteral("Number"), error.Number},
                                  {QStringLiteral("Description"), error.Description},
                                  {QStringLiteral("Source"), error.Source}}};
    main->KVLComm1().call(QStringLiteral("HandleError"), platform::MemberKind::Method, args);
}

} // namespace

Application::Application(int& argc, char** argv) : QApplication(argc, argv)
{
    ignoreFileSizeSignal();
}

void Application::ignoreFileSizeSignal()
{
    struct sigaction action {};
    action.sa_handler = SIG_IGN;
    sigemptyset(&action.sa_mask);
    sigaction(SIGXFSZ, &action, nullptr);
}

bool Application::notify(QObject* receiver, QEvent* event)
{
    bool result = false;
    deliver([&] {
        result = QApplication::notify(receiver, event);
        return result;
    });
    return result;
}

bool Application::deliver(const std::function<bool()>& delivery)
{
    return platform::guardEvent([&] { delivery(); }, toFailureHandler);
}
