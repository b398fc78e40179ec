#include "tests/support/MsgBoxRecorder.h"

#include "platform/ui/MsgBox.h"

MsgBoxRecorder::MsgBoxRecorder(int answer)
    : m_answer(answer)
{
    platform::setMsgBoxHandler([this](const QString& prompt, int style, const QString& title) {
        m_boxes.append({prompt, style, title});
        return m_answer;
    });
}

MsgBoxRecorder::~MsgBoxRecorder()
{
    platform::setMsgBoxHandler({});
}
