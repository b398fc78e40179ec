#pragma once

#include "library/link/LinkTransport.h"
#include "utility/shell/Form.h"

#include <QList>
#include <QPointer>
#include <QString>

#include <memory>

class CommLink;
class LinkOwnerLockOut;
class QAction;
class QPlainTextEdit;
class QToolBar;
class TerminalBox;

// The command terminal: the operator types controller command lines and reads the replies. It
// keeps its own line buffer of what was typed since the last Enter, so the box can be edited and
// scrolled freely. Lines of program entry ("EP" to "QP") are sent without reading replies; a
// reset, a program listing and a data-gathering save ("DG") are handled apart. The toolbar sends
// a text file, lists the stored programs and reads the error messages.
//
// While it is open the link's tick is off, the other windows are hidden and the main window's
// menus and toolbar are disabled; closing it puts all of that back and leaves program entry ("QP").
class frmTerminal : public Form {
    Q_OBJECT
public:
    // The box is cut back to its text from the CutFrom-th character on once it holds more than
    // CutAbove characters.
    static constexpr int CutAbove = 15000;
    static constexpr int CutFrom = 5000;
    // Samples the gathered-data buffer holds.
    static constexpr int GatheredCapacity = 10001;
    // The pause after each line of a file sent.
    static constexpr int FileLinePauseMs = 50;
    // The replies after a file send, and a program listing, are read for at most this long.
    static constexpr int DrainLimitMs = 5000;
    // The longest wait for the reply to a typed line, on every bus (the GPIB timeout the window
    // sets): a command the controller does not answer must not hold the desktop.
    static constexpr int TypedReplyLimitMs = 100;
    // The longest command line, without its carriage return, that the controller takes whole: with
    // the carriage return it fills the link's line buffer.
    static constexpr int LongestLine = LinkTransport::ReplyBufferLength - 1;

    frmTerminal();
    ~frmTerminal() override;

    // Plugs the window into the menus' command under its name; Uninstall takes it out (for tests).
    static void Install();
    static void Uninstall();

    QPlainTextEdit* txtTerminal() const;
    QToolBar* tbarTerminal() const { return m_toolbar; }
    // A toolbar button by its key ("SendFile", "ListPrograms", "GetErrorMsgs").
    QAction* button(const QString& key) const;

    // The box's text, line ends as "\n".
    QString text() const;
    QString lineBuffer() const { return m_lineBuffer; }
    QString lastLine() const { return m_lastLine; }
    bool programMode() const { return m_programMode; }

    // A reply as this window shows it: on GPIB up to and including its first line feed, on the
    // other buses with blanks trimmed.
    QString KVLTrim(const QString& buffer);
    // Sends a text file line by line and then shows the replies that came.
    void SendKVLFile(const QString& FileName);
    // True when the line (upper-cased in place) begins with "DG".
    static bool IsDataGatherCommand(QString& line);
    // Saves the PCI board's gathered data to a text file the user chooses.
    void SaveGatheredData(const QString& line);

    void tbarTerminal_ButtonClick(const QString& key);

protected:
    void Form_Load() override;
    void Form_Unload(int& Cancel) override;

private slots:
    void mobjX_CommEvent(QString& CommData);

private:
    friend class TerminalBox;

    // A typed character; true when the box is to show (or, for a backspace, edit) it itself.
    bool txtTerminal_KeyPress(QChar key);
    void txtTerminal_DblClick();
    // Pasted text (line ends as CR) is typed line by line, events running between the lines.
    void txtTerminal_Paste(const QString& text);
    void typePasted(const QString& text);
    // False when the line closes the terminal (a confirmed reset): nothing more is to be typed.
    bool handleLine();
    // Refuses, with a message naming the line and what became of it, a line (its carriage return
    // aside) that the controller cannot take whole.
    bool lineFits(const QString& line, const QString& which, const QString& consequence);
    // Whether the reply to a typed line has begun within TypedReplyLimitMs. The serial port is
    // watched here; the other buses keep the limit themselves.
    bool typedReplyCame(CommLink& comm);
    void listingRead();
    // One read of a listing or of the replies after a file send, events running while the line
    // brings it (a stop click goes out meanwhile): false, with reply left alone, when nothing came
    // by end, the read failed (the link closed, the lock busy) or the window has closed.
    bool drainRead(CommLink& comm, qint64 end, QString& reply);
    void sendFile();
    // Text at the end of the box (CR LF and CR shown as line breaks), then the cut.
    void appendText(const QString& raw);
    bool atLineStart() const;
    // Starts a new line unless the box already ends with one.
    void endLine();
    void cutText();
    void caretToEnd();

    TerminalBox* m_box = nullptr;
    QToolBar* m_toolbar = nullptr;
    QPointer<QObject> mobjX;
    QString m_lineBuffer;
    QString m_lastLine;
    bool m_programMode = false;
    bool m_busy = false; // a file send or a paste runs
    QList<QPointer<Form>> m_hiddenForms;
    bool m_reloadCycle = false;
    // The other windows take no input while the terminal owns the link.
    std::unique_ptr<LinkOwnerLockOut> m_lockOut;
};
