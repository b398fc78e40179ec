#include "platform/ui/MsgBox.h"

#include "platform/kernel/Clock.h"

#include <QApplication>
#include <QList>
#include <QMessageBox>
#include <QPointer>
#include <QPushButton>

#include <algorithm>
#include <atomic>
#include <cstdio>
#include <mutex>
#include <vector>

namespace platform {

namespace {

std::mutex g_handlerMutex;
MsgBoxHandler g_handler;
std::atomic<bool> g_dismissed{false};
// The boxes waiting on the user-interface thread, innermost last.
QList<QPointer<QMessageBox>> g_openBoxes;

// The buttons of a style, in the platform's order (the order the default-button bits count in).
std::vector<QMessageBox::StandardButton> buttonsOf(int style)
{
    switch (style & 0xF) {
    case 1: return {QMessageBox::Ok, QMessageBox::Cancel};
    case 2: return {QMessageBox::Abort, QMessageBox::Retry, QMessageBox::Ignore};
    case 3: return {QMessageBox::Yes, QMessageBox::No, QMessageBox::Cancel};
    case 4: return {QMessageBox::Yes, QMessageBox::No};
    case 5: return {QMessageBox::Retry, QMessageBox::Cancel};
    default: return {QMessageBox::Ok};
    }
}

int answerOf(QMessageBox::StandardButton button)
{
    switch (button) {
    case QMessageBox::Ok: return vbOK;
    case QMessageBox::Cancel: return vbCancel;
    case QMessageBox::Abort: return vbAbort;
    case QMessageBox::Retry: return vbRetry;
    case QMessageBox::Ignore: return vbIgnore;
    case QMessageBox::Yes: return vbYes;
    case QMessageBox::No: return vbNo;
    default: return 0;
    }
}

QMessageBox::Icon iconOf(int style)
{
    switch (style & 0xF0) {
    case 16: return QMessageBox::Critical;
    case 32: return QMessageBox::Question;
    case 48: return QMessageBox::Warning;
    case 64: return QMessageBox::Information;
    default: return QMessageBox::NoIcon;
    }
}

QMessageBox::StandardButton defaultOf(int style)
{
    const auto buttons = buttonsOf(style);
    const size_t index = static_cast<size_t>((style >> 8) & 0xF);
    return index < buttons.size() ? buttons[index] : buttons.front();
}

// The answer of a box closed without a button.
QMessageBox::StandardButton escapeOf(int style)
{
    switch (style & 0xF) {
    case 1:
    case 3:
    case 5: return QMessageBox::Cancel;
    case 2: return QMessageBox::Abort;
    case 4: return QMessageBox::No;
    default: return QMessageBox::Ok;
    }
}

QString plainLines(QString text)
{
    text.replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
    text.replace(QLatin1Char('\r'), QLatin1Char('\n'));
    return text;
}

} // namespace

int unattendedAnswer(int style, bool decline)
{
    if (decline) {
        const auto buttons = buttonsOf(style);
        for (QMessageBox::StandardButton refusal : {QMessageBox::No, QMessageBox::Cancel}) {
            if (std::find(buttons.begin(), buttons.end(), refusal) != buttons.end())
                return answerOf(refusal);
        }
    }
    return answerOf(defaultOf(style));
}

void setMsgBoxHandler(MsgBoxHandler handler)
{
    std::lock_guard<std::mutex> guard(g_handlerMutex);
    g_handler = std::move(handler);
}

void setMsgBoxesDismissed(bool dismissed)
{
    g_dismissed = dismissed;
    if (!dismissed)
        return;
    const QList<QPointer<QMessageBox>> open = g_openBoxes;
    for (const QPointer<QMessageBox>& box : open) {
        if (box)
            box->done(0);
    }
}

bool msgBoxesDismissed()
{
    return g_dismissed;
}

int MsgBox(const QString& prompt, int style, const QString& title)
{
    if (g_dismissed)
        return answerOf(escapeOf(style));

    MsgBoxHandler handler;
    {
        std::lock_guard<std::mutex> guard(g_handlerMutex);
        handler = g_handler;
    }
    if (handler)
        return handler(prompt, style, title);

    const QString shownTitle = title.isEmpty() ? QCoreApplication::applicationName() : title;
    if (!qobject_cast<QApplication*>(QCoreApplication::instance())) {
        std::fprintf(stderr, "%s: %s\n", qPrintable(shownTitle), qPrintable(plainLines(prompt)));
        return answerOf(defaultOf(style));
    }

    QMessageBox box;
    box.setWindowTitle(shownTitle);
    box.setTextFormat(Qt::PlainText);
    box.setText(plainLines(prompt));
    box.setIcon(iconOf(style));
    QMessageBox::StandardButtons set;
    for (auto b : buttonsOf(style))
        set |= b;
    box.setStandardButtons(set);
    box.setDefaultButton(defaultOf(style));
    box.setEscapeButton(escapeOf(style));
    box.setWindowModality(Qt::ApplicationModal);
    if (style & 262144)
        box.setWindowFlag(Qt::WindowStaysOnTopHint, true);
    if (style & 65536) {
        box.show();
        box.raise();
        box.activateWindow();
    }
    g_openBoxes.append(QPointer<QMessageBox>(&box));
    {
        Clock::PumpScope modal;
        box.exec();
    }
    g_openBoxes.removeAll(QPointer<QMessageBox>(&box));
    if (g_dismissed)
        return answerOf(escapeOf(style));

    QAbstractButton* clicked = box.clickedButton();
    const int answer = clicked ? answerOf(box.standardButton(clicked)) : 0;
    return answer != 0 ? answer : answerOf(escapeOf(style));
}

} // namespace platform
