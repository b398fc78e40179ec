#pragma once

#include <QByteArray>
#include <QString>
#include <QVariant>

#include <functional>

// One bus of the communication control: the control picks one when its bus changes and runs every
// exchange through it, inside its own lock frame and failure path. Commands arrive as the 8-bit
// bytes that go on the wire; replies leave trimmed the way the bus's readers trim them.
//
// Members raise platform::RuntimeError on a run-time failure; the control hands it on.
class LinkTransport {
public:
    // Shows a box the way the control wants it shown (after its lock is released).
    using BoxHandler = std::function<void(const QString& prompt, int style, const QString& title)>;

    static constexpr int ReplyBufferLength = 255;
    // sendRead's status for a query held back unsent (the line still owed an earlier query's
    // reply, or the bus cannot carry the command). It says nothing of the controller's silence.
    static constexpr int HeldBack = -3;

    virtual ~LinkTransport() = default;

    // The bus steps of initialising and opening the link: 0 when the bus is ready for use.
    // openStep sets toDemo when the link is to open in demo mode instead (its result is then 0).
    virtual int initStep(int deviceId) = 0;
    virtual int openStep(int deviceId, bool& toDemo) = 0;
    // Ends the link on this bus: 0, or -1 where the bus has nothing to close.
    virtual int close() = 0;
    // Ends the link after a failure: what was written last (the stop of held motion) still goes
    // out.
    virtual int closeAfterFailure() { return close(); }
    // Whether the identification reply (and its status) shows a controller on this bus.
    virtual bool acceptsIdentification(const QString& reply, int status) const;

    // A command as given plus the bus's terminator rule; status 0 when sent.
    virtual int send(const QByteArray& command) = 0;
    // A command exactly as given; the status in a variant.
    virtual QVariant sendNoTerm(const QByteArray& command) = 0;
    // One reply; reply arrives holding the 255 blanks of the reply buffer.
    virtual int read(QString& reply) = 0;
    // A command and its reply: the step status (-1 when no reply came, HeldBack when the command
    // was not sent); reply as for read().
    virtual int sendRead(const QByteArray& command, QString& reply) = 0;

    void setBoxHandler(BoxHandler handler) { m_boxHandler = std::move(handler); }

    // Blanks are the space character only: CR and LF are never trimmed.
    static QString trimBlanks(const QString& text);
    // The text up to and including its first line feed, nothing removed before it; without a line
    // feed, the text with its blanks removed.
    static QString trimToLineFeed(const QString& text);
    static QString fromAnsi(const QByteArray& bytes) { return QString::fromLatin1(bytes); }

protected:
    void showBox(const QString& prompt, int style, const QString& title) const;

    // A send-and-read's reply must fit the reply buffer: one that filled it without reaching a line
    // end was cut by the bus, so it is no reply (cleared, false), and the rest of it, which still
    // waits on the bus and would answer the next query, is read on with readMore (false when
    // nothing came) and dropped to the line's end.
    static bool keepWithinBuffer(QString& reply, bool bufferFull, const std::function<bool(QString& more)>& readMore);

    // A read that filled the reply buffer may have left more of its message on the bus, line end
    // or not, and that would answer the next query. Every read of the bus says whether it filled
    // the buffer; a query first drops whatever follows such a read, reading on with readOn (a
    // read that says so again) while the reads keep filling the buffer.
    void noteRead(bool bufferFilled) { m_moreMayWait = bufferFilled; }
    void dropWhatFollowsAFullRead(const std::function<void()>& readOn);

private:
    BoxHandler m_boxHandler;
    bool m_moreMayWait = false;
};
