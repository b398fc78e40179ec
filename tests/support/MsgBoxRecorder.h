#pragma once

#include <QList>
#include <QString>

// Answers every message box while it lives and records what was asked.
class MsgBoxRecorder {
public:
    struct Box {
        QString prompt;
        int style = 0;
        QString title;
    };

    explicit MsgBoxRecorder(int answer = 1);
    ~MsgBoxRecorder();
    MsgBoxRecorder(const MsgBoxRecorder&) = delete;
    MsgBoxRecorder& operator=(const MsgBoxRecorder&) = delete;

    // The answer given to the boxes that follow (platform codes: 1 OK, 6 Yes, 7 No ...).
    void setAnswer(int answer) { m_answer = answer; }

    const QList<Box>& boxes() const { return m_boxes; }
    int count() const { return m_boxes.size(); }
    const Box& last() const { return m_boxes.last(); }
    void clear() { m_boxes.clear(); }

private:
    int m_answer;
    QList<Box> m_boxes;
};
