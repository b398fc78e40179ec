#pragma once

#include "library/panels/PanelBase.h"

#include <array>

class QPlainTextEdit;
class QPushButton;

// The one shared list of operator-visible errors: on every 4th Timer event it empties the
// controller's error buffer ("TB") into the list, and it shows the messages hosts queue through
// ErrorMsg on top of the list. ErrorsDetected tells hosts of each controller error; OK raises
// Dismiss and clears the list.
class KVLError : public PanelBase {
    Q_OBJECT
public:
    explicit KVLError(QWidget* parent = nullptr);

    static constexpr int QueueSlots = 20;
    static constexpr int ReplyBufferLength = 256;
    static constexpr int PollDivisor = 4;
    // One poll reads at most this many errors; the rest wait for the next poll.
    static constexpr int MaxErrorsPerPoll = 100;

    // ErrorMsg (let): queues a host message for the list.
    void setErrorMsg(const QString& message);
    // ErrorMsg (get): every waiting message, oldest first, joined by CR LF; empties the queue.
    QString ErrorMsg();

    // The list's text exactly as built (CR LF line ends).
    QString ListText() const { return m_list; }

    const platform::DispatchTable* dispatchTable(const QString& interfaceName = QString()) const override;
    QVector<QPair<int, QString>> eventTable() const override;

signals:
    void Dismiss();
    void ErrorsDetected();

protected:
    void setUp() override;
    void onTimer() override;
    void resizeEvent(QResizeEvent* e) override;

private:
    // Returns false when the panel was destroyed meanwhile.
    bool readErrorBuffer();
    void showQueuedMessages();
    void scheduleShow();
    void appendToList(const QString& text);
    void setList(const QString& text, bool caretAtEnd);
    void layoutControls();
    void cmdOK_Click();

    QPlainTextEdit* lblError = nullptr;
    QPushButton* cmdOK = nullptr;

    QString m_list;
    std::array<QString, QueueSlots> m_queue;
    bool m_pending = false;
    short m_messageCount = 0;
    TickCounter m_ticks{PollDivisor};
    bool m_polling = false;
    bool m_showScheduled = false;
};
