#include "platform/ui/Shell.h"

#include "platform/ui/MsgBox.h"

#include <QDesktopServices>
#include <QFileInfo>
#include <QGuiApplication>
#include <QUrl>

#include <mutex>

namespace platform {

namespace {

std::mutex g_handlerMutex;
ShellOpenHandler g_handler;

QUrl urlOf(const QString& pathOrUrl)
{
    if (QFileInfo::exists(pathOrUrl) || QFileInfo(pathOrUrl).isAbsolute())
        return QUrl::fromLocalFile(QFileInfo(pathOrUrl).absoluteFilePath());
    const QUrl url(pathOrUrl, QUrl::StrictMode);
    // A scheme of one letter would be a drive letter, not a scheme.
    if (url.isValid() && url.scheme().size() > 1)
        return url;
    return QUrl::fromLocalFile(QFileInfo(pathOrUrl).absoluteFilePath());
}

} // namespace

void setShellOpenHandler(ShellOpenHandler handler)
{
    std::lock_guard<std::mutex> guard(g_handlerMutex);
    g_handler = std::move(handler);
}

bool ShellOpen(const QString& pathOrUrl)
{
    ShellOpenHandler handler;
    {
        std::lock_guard<std::mutex> guard(g_handlerMutex);
        handler = g_handler;
    }
    if (handler)
        return handler(pathOrUrl);
    if (pathOrUrl.isEmpty() || !qobject_cast<QGuiApplication*>(QCoreApplication::instance()))
        return false;
    return QDesktopServices::openUrl(urlOf(pathOrUrl));
}

bool ShowDocument(const QString& pathOrUrl)
{
    if (ShellOpen(pathOrUrl))
        return true;
    MsgBox(QStringLiteral("No program could be started to show\r\n") + pathOrUrl, vbExclamation,
           QStringLiteral("Help"));
    return false;
}

} // namespace platform
