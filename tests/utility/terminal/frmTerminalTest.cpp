#include "tests/support/FaultyDevice.h"
#include "tests/support/PciShellTest.h"
#include "tests/support/ShellRig.h"
#include "tests/support/StatusWindowsInstalled.h"

#include "library/link/BusType.h"
#include "library/link/KVLComm.h"
#include "library/link/LinkTransport.h"
#include "platform/drivers/PciDriver.h"
#include "platform/kernel/Clock.h"
#include "platform/ui/FileDialog.h"
#include "platform/ui/MsgBox.h"
#include "sim/SimController.h"
#include "sim/SimDevice.h"
#include "utility/shell/CommandDispatcher.h"
#include "utility/shell/Form.h"
#include "utility/shell/MainMenu.h"
#include "utility/shell/ProgramState.h"
#include "utility/shell/frmMain.h"
#include "utility/terminal/frmTerminal.h"

#include <QAbstractButton>
#include <QAction>
#include <QMouseEvent>
#include <QClipboard>
#include <QGuiApplication>
#include <QTimer>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QMenu>
#include <QPlainTextEdit>
#include <QScopeGuard>
#include <QToolBar>
#include <QTest>

#include <gtest/gtest.h>

#include <sys/stat.h>

#include <atomic>

using platform::Clock;

namespace {

QStringList linesOf(const SimController& sim)
{
    QStringList result;
    for (const QByteArray& line : sim.lines())
        result << QString::fromLatin1(line);
    return result;
}

// The main window on the simulated PCI board, the link's tick off, the logs empty.
class TerminalOnPci : public PciShellTest {
protected:
    frmTerminal* open()
    {
        auto* terminal = dynamic_cast<frmTerminal*>(CommandDispatcher::window(QStringLiteral("frmTerminal")));
        terminal->Show();
        sim().clearLog();
        return terminal;
    }

    void type(frmTerminal* terminal, const QString& text)
    {
        QTest::keyClicks(terminal->txtTerminal(), text);
    }
    void enter(frmTerminal* terminal) { QTest::keyClick(terminal->txtTerminal(), Qt::Key_Return); }
    // Pastes by the keyboard, as an operator does; the paste runs once the key press is handled.
    void paste(frmTerminal* terminal, const QString& text)
    {
        QGuiApplication::clipboard()->setText(text);
        QTest::keyClick(terminal->txtTerminal(), Qt::Key_V, Qt::ControlModifier);
    }

    QString writeFile(const QByteArray& bytes)
    {
        const QString path = rig.folder() + QStringLiteral("/commands.txt");
        QFile file(path);
        file.open(QIODevice::WriteOnly | QIODevice::Truncate);
        file.write(bytes);
        return path;
    }

};

TEST_F(TerminalOnPci, OpeningHidesTheOtherWindowsStopsTheTickAndClosingPutsEverythingBack)
{
    Form* stop = CommandDispatcher::window(QStringLiteral("frmStop"));
    stop->Show();
    Form* cycle = CommandDispatcher::window(QStringLiteral("frmCycle"));
    cycle->Show();
    Form* jog = CommandDispatcher::window(QStringLiteral("frmJog"));
    jog->Show();
    rig.comm()->setTimerEnabled(true);

    frmTerminal* terminal = open();
    // Hidden, and taking no input while the terminal owns the link; the stop window stays usable.
    EXPECT_FALSE(jog->Visible());
    EXPECT_FALSE(jog->isEnabled());
    EXPECT_TRUE(stop->isEnabled());
    EXPECT_TRUE(terminal->isEnabled());
    EXPECT_EQ(terminal->windowTitle(), QStringLiteral("ASCII Command Terminal"));
    EXPECT_TRUE(terminal->Visible());
    EXPECT_FALSE(stop->Visible());
    EXPECT_TRUE(stop->isLoaded());
    EXPECT_EQ(Form::loadedForm(QStringLiteral("frmCycle")), nullptr);
    EXPECT_FALSE(rig.comm()->TimerEnabled());
    EXPECT_FALSE(rig.main()->Menus()->mnuMain(0)->menuAction()->isEnabled());
    EXPECT_TRUE(rig.main()->isMaximized());
    EXPECT_EQ(terminal->txtTerminal()->palette().color(QPalette::Text), QColor(0, 0, 255));
    QStringList keys;
    for (QAction* a : terminal->tbarTerminal()->actions())
        keys << a->objectName() + QLatin1Char('=') + a->text();
    EXPECT_EQ(keys, (QStringList{"SendFile=Transmit Text File", "ListPrograms=List Stored Programs",
                                 "GetErrorMsgs=Get Error Messages"}));

    // The closed cycle window is gone by the time the terminal closes; it is loaded anew.
    QPointer<Form> oldCycle(cycle);
    Clock::useRealClock();
    Clock::pumpUntil([&] { return oldCycle.isNull(); }, 2000);
    Clock::useManualClock();
    ASSERT_TRUE(oldCycle.isNull());
    Form::Unload(terminal);
    EXPECT_EQ(linesOf(sim()), QStringList{"QP"});
    EXPECT_TRUE(rig.comm()->TimerEnabled());
    EXPECT_TRUE(rig.main()->Menus()->mnuMain(0)->menuAction()->isEnabled());
    EXPECT_TRUE(stop->Visible());
    EXPECT_TRUE(jog->Visible());
    EXPECT_TRUE(jog->isEnabled());
    Form* reloaded = Form::loadedForm(QStringLiteral("frmCycle"));
    ASSERT_NE(reloaded, nullptr);
    EXPECT_TRUE(reloaded->Visible());
    rig.comm()->setTimerEnabled(false);

    // While the whole program closes the terminal sends nothing.
    frmTerminal* again = open();
    KvlXGlobal::gAppClosing = true;
    Form::Unload(again);
    EXPECT_TRUE(sim().lines().isEmpty());
    KvlXGlobal::gAppClosing = false;
}

TEST_F(TerminalOnPci, TypedLinesGoOutUpperCasedAndTheReplyShowsOnItsOwnLine)
{
    sim().setPosition(1, 2.5);
    frmTerminal* terminal = open();
    type(terminal, "1tp");
    enter(terminal);
    EXPECT_EQ(sim().rawLines(), QList<QByteArray>{"1TP\r"});
    EXPECT_EQ(terminal->text(), QStringLiteral("1tp\n2.5000\n"));
    EXPECT_EQ(terminal->txtTerminal()->textCursor().position(), terminal->text().size());

    // Enter on an empty line repeats the last line.
    sim().clearLog();
    enter(terminal);
    EXPECT_EQ(sim().rawLines(), QList<QByteArray>{"1TP\r"});

    // Backspace edits the line buffer with the box; as the first key it changes nothing.
    sim().clearLog();
    const QString before = terminal->text();
    QTest::keyClick(terminal->txtTerminal(), Qt::Key_Backspace);
    EXPECT_EQ(terminal->text(), before);
    EXPECT_TRUE(terminal->lineBuffer().isEmpty());
    type(terminal, "2x");
    QTest::keyClick(terminal->txtTerminal(), Qt::Key_Backspace);
    type(terminal, "va?");
    EXPECT_EQ(terminal->lineBuffer(), QStringLiteral("2va?"));
    enter(terminal);
    EXPECT_EQ(linesOf(sim()), QStringList{"2VA?"});
    EXPECT_TRUE(terminal->text().endsWith(QStringLiteral("2va?\n0\n")));

    // Typing lands at the end even when the caret was moved into the history.
    terminal->txtTerminal()->moveCursor(QTextCursor::Start);
    type(terminal, "3");
    EXPECT_TRUE(terminal->text().endsWith(QStringLiteral("\n3")));
}

// A paste is typed line by line: each line goes out once, in order, as a typed line, events run
// between the lines, and what follows the last line end stays in the line buffer. Keys typed
// meanwhile are not taken; a terminal closed meanwhile sends no more and outlives its paste.
TEST_F(TerminalOnPci, PastedLinesGoOutOneByOneWithEventsBetween)
{
    frmTerminal* terminal = open();
    QString text = QStringLiteral("va10\r\n2va?\n\n");
    QStringList expected{"1VA10", "2VA?"};
    for (int i = 0; i < 200; ++i) {
        text += QStringLiteral("%1ac%2\n").arg(i % 4 + 1).arg(i);
        expected << QStringLiteral("%1AC%2").arg(i % 4 + 1).arg(i);
    }
    text += QStringLiteral("\t4ag");
    QList<qsizetype> between;
    QTimer timer;
    timer.setInterval(0);
    QObject::connect(&timer, &QTimer::timeout, terminal, [&] {
        const qsizetype sent = sim().lines().size();
        between << sent;
        if (sent > 0 && sent < expected.size())
            type(terminal, "z");
    });
    type(terminal, "1");
    paste(terminal, text);
    timer.start();
    Clock::pumpUntil([&] { return terminal->lineBuffer() == QLatin1String("4ag"); }, 5000);
    timer.stop();

    EXPECT_EQ(linesOf(sim()), expected);
    EXPECT_EQ(sim().rawLines().value(1), QByteArray("2VA?\r"));
    EXPECT_TRUE(terminal->text().startsWith(QStringLiteral("1va10\n2va?\n0\n1ac0\n2ac1\n"))) << terminal->text().toStdString();
    EXPECT_TRUE(terminal->text().endsWith(QStringLiteral("4ac199\n4ag")));
    for (qsizetype n = 1; n < expected.size(); ++n)
        EXPECT_TRUE(between.contains(n)) << n;
    EXPECT_EQ(terminal->lastLine(), QStringLiteral("4AC199\r"));

    sim().clearLog();
    enter(terminal);
    EXPECT_EQ(linesOf(sim()), QStringList{"4AG"});

    // Closed after the second line of a paste.
    sim().clearLog();
    QPointer<frmTerminal> watched(terminal);
    bool aliveAfterClose = false;
    QObject::connect(&sim(), &SimController::lineReceived, terminal, [&] {
        if (sim().lines().size() == 2 && watched && watched->isLoaded()) {
            Form::Unload(watched);
            aliveAfterClose = !watched.isNull();
        }
    });
    paste(terminal, QStringLiteral("1pa1\n1pa2\n1pa3\n1pa4\n"));
    Clock::useRealClock();
    Clock::pumpUntil([&] { return watched.isNull(); }, 2000);
    EXPECT_TRUE(aliveAfterClose);
    EXPECT_EQ(linesOf(sim()), (QStringList{"1PA1", "1PA2", "QP"}));
}

// A line the controller cannot take whole is refused with a message and nothing of it goes out:
// pasted, nothing of the paste goes out; the longest line it takes does.
TEST_F(TerminalOnPci, ALineLongerThanTheControllerTakesIsRefused)
{
    frmTerminal* terminal = open();
    const QString longest(frmTerminal::LongestLine, QLatin1Char('A'));
    const QString title = QStringLiteral("ASCII Command Terminal");

    type(terminal, "1");
    paste(terminal, QStringLiteral("va1\n") + longest + QStringLiteral("B\n2va2\n"));
    Clock::pumpUntil([&] { return !rig.boxes.isEmpty(); }, 2000);
    ASSERT_EQ(rig.boxes.size(), 1);
    EXPECT_EQ(rig.boxes[0].prompt, QStringLiteral("Line 2 of the pasted text has 255 characters; the controller "
                                                  "takes at most 254 in a line. Nothing of the pasted text was "
                                                  "sent."));
    EXPECT_EQ(rig.boxes[0].style, platform::vbOKOnly + platform::vbExclamation);
    EXPECT_EQ(rig.boxes[0].title, title);
    EXPECT_TRUE(sim().lines().isEmpty());
    EXPECT_EQ(terminal->text(), QStringLiteral("1"));
    EXPECT_EQ(terminal->lineBuffer(), QStringLiteral("1"));

    // What was typed before counts towards the first pasted line.
    rig.boxes.clear();
    paste(terminal, longest);
    Clock::pumpUntil([&] { return !rig.boxes.isEmpty(); }, 2000);
    EXPECT_EQ(rig.prompts(), QStringList{"Line 1 of the pasted text has 255 characters; the controller takes at most "
                                         "254 in a line. Nothing of the pasted text was sent."});
    EXPECT_EQ(terminal->lineBuffer(), QStringLiteral("1"));

    // A typed line as long is refused on its Enter; the longest line is sent.
    rig.boxes.clear();
    type(terminal, longest);
    enter(terminal);
    EXPECT_EQ(rig.prompts(), QStringList{"The line has 255 characters; the controller takes at most 254 in a line. "
                                         "Nothing of it was sent."});
    EXPECT_TRUE(sim().lines().isEmpty());
    EXPECT_TRUE(terminal->lineBuffer().isEmpty());
    paste(terminal, longest + QStringLiteral("\n"));
    Clock::pumpUntil([&] { return !sim().lines().isEmpty(); }, 2000);
    EXPECT_EQ(sim().rawLines(), QList<QByteArray>{longest.toLatin1() + '\r'});
    EXPECT_EQ(rig.boxes.size(), 1);
}

TEST_F(TerminalOnPci, ProgramEntrySendsWithoutReadingUntilQuitProgram)
{
    // The controller's answer to the entry line waits unread while program entry lasts.
    sim().setReply("1EP", "stored\r\n");
    frmTerminal* terminal = open();
    type(terminal, "1ep");
    enter(terminal);
    EXPECT_TRUE(terminal->programMode());
    type(terminal, "1pa10");
    enter(terminal);
    EXPECT_EQ(sim().pendingReplies(), 1);
    EXPECT_FALSE(terminal->text().contains(QStringLiteral("stored")));
    type(terminal, "qp");
    enter(terminal);
    EXPECT_FALSE(terminal->programMode());
    EXPECT_EQ(sim().pendingReplies(), 0);
    EXPECT_EQ(terminal->text(), QStringLiteral("1ep\n1pa10\nqp\nstored\n"));
    EXPECT_EQ(sim().program(1), QList<QByteArray>{"1PA10"});

    // The listing: exactly "LP" goes out, typed or from the toolbar, and is read up to its END.
    sim().clearLog();
    QTest::mouseDClick(terminal->txtTerminal()->viewport(), Qt::LeftButton);
    EXPECT_TRUE(terminal->text().isEmpty());
    type(terminal, "lp");
    enter(terminal);
    EXPECT_EQ(sim().rawLines(), QList<QByteArray>{"LP"});
    EXPECT_EQ(terminal->text(), QStringLiteral("lp\n1EP\n1PA10\nQP\nEND\n"));
    EXPECT_EQ(terminal->lastLine(), QStringLiteral("LP\r"));

    sim().clearLog();
    terminal->button(QStringLiteral("ListPrograms"))->trigger();
    EXPECT_EQ(sim().rawLines(), QList<QByteArray>{"LP"});
    EXPECT_TRUE(terminal->text().endsWith(QStringLiteral("END\n1EP\n1PA10\nQP\nEND\n")));
    enter(terminal);
    EXPECT_EQ(sim().rawLines(), (QList<QByteArray>{"LP", "LP"}));
}

TEST_F(TerminalOnPci, ErrorMessagesButtonReadsOneErrorAndEnterAsksAgain)
{
    sim().pushError(12, "AXIS 1 FOLLOWING ERROR");
    frmTerminal* terminal = open();
    terminal->button(QStringLiteral("GetErrorMsgs"))->trigger();
    EXPECT_EQ(sim().rawLines(), QList<QByteArray>{"TB"});
    EXPECT_TRUE(terminal->text().startsWith(QStringLiteral("12, ")));
    EXPECT_TRUE(terminal->text().endsWith(QStringLiteral("AXIS 1 FOLLOWING ERROR\n")));
    enter(terminal);
    EXPECT_EQ(sim().rawLines(), (QList<QByteArray>{"TB", "TB"}));
    EXPECT_TRUE(terminal->text().endsWith(QStringLiteral("NO ERROR DETECTED\n")));
}

TEST_F(TerminalOnPci, ResetAsksAndClosesTheTerminalFromTheEventLoop)
{
    QList<bool> initialisations;
    frmMain::setInitializeControllerHandler([&](bool reset) { initialisations << reset; });
    frmTerminal* terminal = open();

    rig.answer = [](const ShellRig::Box&) { return int(platform::vbNo); };
    type(terminal, "1rs");
    enter(terminal);
    ASSERT_EQ(rig.boxes.size(), 1);
    EXPECT_EQ(rig.boxes[0].prompt, QStringLiteral("Do you want to reset the controller?"));
    EXPECT_EQ(rig.boxes[0].title, QStringLiteral("KVL"));
    EXPECT_EQ(rig.boxes[0].style, platform::vbYesNo + platform::vbQuestion + platform::vbMsgBoxSetForeground);
    EXPECT_TRUE(sim().lines().isEmpty());

    rig.answer = [](const ShellRig::Box&) { return int(platform::vbYes); };
    QPointer<frmTerminal> watched(terminal);
    type(terminal, "rs");
    enter(terminal);
    // Still there when its key handling returns; closed from the event loop afterwards.
    ASSERT_TRUE(watched);
    EXPECT_TRUE(watched->isLoaded());
    EXPECT_TRUE(initialisations.isEmpty());
    // Put-off work runs when the event loop waits, as it does on the real clock.
    Clock::useRealClock();
    Clock::pumpUntil([&] { return !watched; }, 2000);
    EXPECT_FALSE(watched);
    EXPECT_EQ(initialisations, QList<bool>{true});
    EXPECT_EQ(linesOf(sim()), QStringList{"QP"});
}

TEST_F(TerminalOnPci, FileSendPacesItsLinesSendsBytesAndShowsTheReplies)
{
    sim().setValue(2, "VA", "12.5");
    QList<qint64> times;
    QObject::connect(&sim(), &SimController::lineReceived, &sim(), [&](const QByteArray&) { times << Clock::tickMs(); });
    const QString path = writeFile("1PA10\r\n2VA?\r\n1ID\xb5m\r\n3TP?");
    frmTerminal* terminal = open();

    QStringList titles;
    const QString missing = rig.folder() + QStringLiteral("/missing.txt");
    QStringList answers{missing, path};
    platform::setFileDialogHandler([&](bool save, const QString& title, const QString&, const QString& filter) {
        EXPECT_FALSE(save);
        EXPECT_EQ(filter, QStringLiteral("Text Files (*.TXT)|*.txt|All Files (*.*)|*.*"));
        titles << title;
        return answers.isEmpty() ? QString() : answers.takeFirst();
    });
    terminal->button(QStringLiteral("SendFile"))->trigger();

    EXPECT_EQ(titles, (QStringList{"Send Text File", "Send Text File"}));
    EXPECT_EQ(rig.prompts(), QStringList{missing + QStringLiteral(" not found!")});
    // One CR for each line whatever the file's line ends; the micro sign goes as its one byte.
    EXPECT_EQ(sim().rawLines(), (QList<QByteArray>{"1PA10\r", "2VA?\r", "1ID\xb5m\r", "3TP?\r"}));
    EXPECT_FALSE(sim().receivedBytes().contains("\r\r"));
    ASSERT_EQ(times.size(), 4);
    for (int i = 1; i < times.size(); ++i)
        EXPECT_EQ(times[i] - times[i - 1], frmTerminal::FileLinePauseMs);
    EXPECT_EQ(terminal->text(), QString::fromLatin1("1PA10\n2VA?\n1ID\xb5m\n3TP?\n12.5\n0.0000\n"));
    EXPECT_TRUE(terminal->button(QStringLiteral("SendFile"))->isEnabled());

    // Enter on an empty line afterwards asks for the errors.
    sim().clearLog();
    enter(terminal);
    EXPECT_EQ(linesOf(sim()), QStringList{"TB"});

    // A cancelled dialog sends nothing.
    sim().clearLog();
    terminal->button(QStringLiteral("SendFile"))->trigger();
    EXPECT_TRUE(sim().lines().isEmpty());
    EXPECT_TRUE(terminal->button(QStringLiteral("SendFile"))->isEnabled());
}

TEST_F(TerminalOnPci, FileSendStopsAndSaysSoWhenTheLinkFails)
{
    const QString path = writeFile("1PA1\n1PA2\n1PA3\n");
    QObject::connect(&sim(), &SimController::lineReceived, &sim(), [&](const QByteArray& line) {
        if (line == "1PA1\r" || line == "1PA1")
            sim().failNext(-5, 100);
    });
    frmTerminal* terminal = open();
    platform::setFileDialogHandler([&](bool, const QString&, const QString&, const QString&) { return path; });
    type(terminal, "x");
    terminal->button(QStringLiteral("SendFile"))->trigger();
    EXPECT_EQ(linesOf(sim()), QStringList{"1PA1"});
    ASSERT_EQ(rig.boxes.size(), 1);
    EXPECT_TRUE(rig.boxes[0].prompt.contains(QStringLiteral("failed at line 2")));
    EXPECT_EQ(rig.boxes[0].title, QStringLiteral("Send Text File"));
    sim().failNext(0, 0);
    // What was typed before stays in the line buffer.
    EXPECT_EQ(terminal->lineBuffer(), QStringLiteral("x"));
}

// A controller that never stops talking (a status line every 200 ms) does not hold the terminal:
// the replies after a file send, and a listing that never reaches its END, end at their limit
// with what came.
TEST_F(TerminalOnPci, ReplyLoopsEndAtTheirLimitWhenTheControllerKeepsTalking)
{
    FaultyDevice talker(&sim());
    device.uninstall();
    talker.installOnPci(0);
    const QString path = writeFile("1PA10\r\n");
    platform::setFileDialogHandler([&](bool, const QString&, const QString&, const QString&) { return path; });
    frmTerminal* terminal = open();

    talker.talkEvery("1 MOVING\r\n", 200);
    qint64 start = Clock::tickMs();
    terminal->button(QStringLiteral("SendFile"))->trigger();
    qint64 took = Clock::tickMs() - start;
    EXPECT_GE(took, frmTerminal::DrainLimitMs);
    EXPECT_LT(took, frmTerminal::DrainLimitMs + 1000);
    EXPECT_EQ(linesOf(sim()), QStringList{"1PA10"});
    EXPECT_EQ(terminal->text().count(QStringLiteral("1 MOVING\n")), talker.talked());
    EXPECT_GE(talker.talked(), frmTerminal::DrainLimitMs / 200 - 1);
    EXPECT_TRUE(terminal->button(QStringLiteral("SendFile"))->isEnabled());

    sim().setReply("LP", QByteArray()); // the listing itself never comes
    talker.talkEvery("\r\n1EP", 200);
    start = Clock::tickMs();
    terminal->button(QStringLiteral("ListPrograms"))->trigger();
    took = Clock::tickMs() - start;
    EXPECT_GE(took, frmTerminal::DrainLimitMs);
    EXPECT_LT(took, frmTerminal::DrainLimitMs + 1000);
    EXPECT_TRUE(terminal->text().endsWith(QStringLiteral("1EP\n")));
    talker.talkEvery(QByteArray(), 0);
    talker.uninstall();
    device.installOnPci(0);
}

// What the file send is pointed at must be a regular file it can read whole: a FIFO nobody writes
// to and a device are refused at once, and nothing is sent.
TEST_F(TerminalOnPci, FileSendRefusesWhatIsNoRegularFile)
{
    const QString pipe = rig.folder() + QStringLiteral("/pipe.txt");
    ASSERT_EQ(::mkfifo(QFile::encodeName(pipe).constData(), 0600), 0);
    frmTerminal* terminal = open();
    for (const QString& path : {pipe, QStringLiteral("/dev/zero")}) {
        rig.boxes.clear();
        platform::setFileDialogHandler([&](bool, const QString&, const QString&, const QString&) { return path; });
        terminal->button(QStringLiteral("SendFile"))->trigger();
        ASSERT_EQ(rig.boxes.size(), 1) << path.toStdString();
        EXPECT_EQ(rig.boxes[0].prompt, QStringLiteral("File Open Error\r\n") + QDir::toNativeSeparators(path)
                                           + QStringLiteral("\r\nIt is not a regular file: a folder, a device or a "
                                                            "pipe cannot be read as one."));
        EXPECT_EQ(rig.boxes[0].title, QStringLiteral("Send Text File"));
    }
    EXPECT_TRUE(sim().lines().isEmpty());
    EXPECT_TRUE(terminal->button(QStringLiteral("SendFile"))->isEnabled());
}

TEST_F(TerminalOnPci, GatheredDataIsSavedWholeAndNothingIsSent)
{
    platform::drivers::setPciGatheredData({5, -3, 0, 2147483647});
    const QString target = rig.folder() + QStringLiteral("/gathered.txt");
    {
        QFile old(target);
        old.open(QIODevice::WriteOnly);
        old.write("old content that is longer than the new one\r\n");
    }
    QString startDir;
    QString chosen = target;
    platform::setFileDialogHandler([&](bool save, const QString& title, const QString& dir, const QString&) {
        EXPECT_TRUE(save);
        EXPECT_EQ(title, QStringLiteral("Save Parameters To File"));
        startDir = dir;
        return chosen;
    });
    frmTerminal* terminal = open();
    type(terminal, "dG1");
    enter(terminal);
    EXPECT_TRUE(sim().lines().isEmpty());
    EXPECT_EQ(startDir, QDir::homePath());
    QFile saved(target);
    ASSERT_TRUE(saved.open(QIODevice::ReadOnly));
    EXPECT_EQ(saved.readAll(), QByteArray(" 5\r\n-3\r\n 0\r\n 2147483647\r\n"));
    saved.close();

    // No more than the buffer holds; none at all gives an empty file.
    QList<int> many;
    for (int i = 0; i < frmTerminal::GatheredCapacity + 4; ++i)
        many << i;
    platform::drivers::setPciGatheredData(many);
    enter(terminal);
    ASSERT_TRUE(saved.open(QIODevice::ReadOnly));
    EXPECT_EQ(saved.readAll().count('\n'), frmTerminal::GatheredCapacity);
    saved.close();
    platform::drivers::setPciGatheredData({});
    enter(terminal);
    EXPECT_EQ(QFileInfo(target).size(), 0);

    // A file that cannot be written is reported; a cancel writes nothing.
    chosen = rig.folder() + QStringLiteral("/no/such/folder/data.txt");
    enter(terminal);
    ASSERT_EQ(rig.boxes.size(), 1);
    EXPECT_TRUE(rig.boxes[0].prompt.startsWith(QStringLiteral("The gathered data could not be saved to ")));
    chosen.clear();
    enter(terminal);
    EXPECT_EQ(rig.boxes.size(), 1);

    // Without a board there is nothing to save, and the user is told so.
    device.uninstall();
    chosen = target;
    enter(terminal);
    ASSERT_EQ(rig.boxes.size(), 2);
    EXPECT_EQ(rig.boxes[1].prompt, QStringLiteral("No gathered data could be read from the PCI board."));
    EXPECT_TRUE(sim().lines().isEmpty());
}

TEST_F(TerminalOnPci, ReceivedDataIsAppendedAndTheBoxIsCutBack)
{
    frmTerminal* terminal = open();
    QString data = QStringLiteral("abc\r\n");
    emit rig.comm()->CommEvent(data);
    EXPECT_EQ(terminal->text(), QStringLiteral("abc\n"));

    QString big;
    for (int i = 0; i < 16000; ++i)
        big += QChar(QLatin1Char(char('a' + i % 26)));
    emit rig.comm()->CommEvent(big);
    const QString all = QStringLiteral("abc\n") + big;
    EXPECT_EQ(terminal->text(), all.mid(frmTerminal::CutFrom - 1));
}

TEST_F(TerminalOnPci, RepliesAreTrimmedOfBlanksAndOnGpibCutAfterTheirFirstLineFeed)
{
    frmTerminal* terminal = open();
    EXPECT_EQ(terminal->KVLTrim(QStringLiteral("  1.5\r\n2  ")), QStringLiteral("1.5\r\n2"));
    rig.comm()->setBusType(BUS_TYPE_GPIB);
    EXPECT_EQ(terminal->KVLTrim(QStringLiteral("  1.5\r\n2  ")), QStringLiteral("  1.5\r\n"));
    EXPECT_EQ(terminal->KVLTrim(QStringLiteral("  1.5  ")), QStringLiteral("1.5"));
    rig.comm()->setBusType(BUS_TYPE_PCI);
}

// Notes the box's text each time it is painted.
class PaintWitness : public QObject {
public:
    PaintWitness(QPlainTextEdit* box, QStringList& painted) : m_box(box), m_painted(painted)
    {
        box->viewport()->installEventFilter(this);
    }

protected:
    bool eventFilter(QObject* watched, QEvent* event) override
    {
        if (event->type() == QEvent::Paint)
            m_painted << m_box->toPlainText();
        return QObject::eventFilter(watched, event);
    }

private:
    QPlainTextEdit* m_box;
    QStringList& m_painted;
};

// The main window on the simulated controller behind a pseudo-terminal, the link's tick off.
class TerminalOnSerial : public ::testing::Test {
protected:
    void SetUp() override
    {
        rig.useSerialLink();
        rig.answer = [](const ShellRig::Box&) { return int(platform::vbNo); };
        rig.start();
        rig.comm()->setTimerEnabled(false);
    }
    // The terminal opened from the toolbar, the controller's log cleared first.
    frmTerminal* open()
    {
        rig.withSim([](SimController& sim) { sim.clearLog(); });
        rig.main()->MenuDispatch(QStringLiteral("mnuTbarTerminal"));
        return dynamic_cast<frmTerminal*>(Form::loadedForm(QStringLiteral("frmTerminal")));
    }

    StatusWindowsInstalled windows;
    ShellRig rig;
};

TEST_F(TerminalOnSerial, TypedQueryCrossesThePseudoTerminalAndItsReplyIsShown)
{
    rig.withSim([](SimController& sim) { sim.setPosition(3, -1.25); });
    frmTerminal* terminal = open();
    ASSERT_NE(terminal, nullptr);
    QTest::keyClicks(terminal->txtTerminal(), "3tp");
    QTest::keyClick(terminal->txtTerminal(), Qt::Key_Return);
    EXPECT_EQ(terminal->text(), QStringLiteral("3tp\n-1.2500\n"));

    // A move has no reply: the desktop is held no longer than the typed-reply limit, and the
    // line is on screen before that wait.
    QStringList painted;
    PaintWitness witness(terminal->txtTerminal(), painted);
    for (int i = 0; i < 3; ++i) {
        QTest::keyClicks(terminal->txtTerminal(), "1pa10");
        painted.clear();
        QElapsedTimer held;
        held.start();
        QTest::keyClick(terminal->txtTerminal(), Qt::Key_Return);
        // Its wait and its drawing, well short of the second the link gives a whole reply.
        EXPECT_LT(held.elapsed(), 5 * frmTerminal::TypedReplyLimitMs);
        ASSERT_FALSE(painted.isEmpty());
        EXPECT_TRUE(painted.first().endsWith(QStringLiteral("1pa10"))) << painted.first().toStdString();
    }
    // The next query still gets its own reply.
    QTest::keyClicks(terminal->txtTerminal(), "3tp");
    QTest::keyClick(terminal->txtTerminal(), Qt::Key_Return);
    EXPECT_TRUE(terminal->text().endsWith(QStringLiteral("1pa10\n3tp\n-1.2500\n")));

    // Pasted moves: the desktop is held no longer than one line's wait at a time.
    QList<QByteArray> expected{"3TP\r", "1PA10\r", "1PA10\r", "1PA10\r", "3TP\r"};
    QString pasted;
    for (int i = 0; i < 12; ++i) {
        pasted += QStringLiteral("1pa%1\n").arg(i);
        expected << QStringLiteral("1PA%1\r").arg(i).toLatin1();
    }
    pasted += QStringLiteral("3tp\n");
    expected << "3TP\r";
    QElapsedTimer sinceEvents;
    qint64 longestHeld = 0;
    QTimer timer;
    timer.setInterval(0);
    QObject::connect(&timer, &QTimer::timeout, terminal, [&] {
        longestHeld = std::max(longestHeld, sinceEvents.restart());
    });
    QGuiApplication::clipboard()->setText(pasted);
    QTest::keyClick(terminal->txtTerminal(), Qt::Key_V, Qt::ControlModifier);
    sinceEvents.start();
    timer.start();
    const QString end = QStringLiteral("1pa11\n3tp\n-1.2500\n");
    Clock::pumpUntil([&] { return terminal->text().endsWith(end); }, 12 * 1000);
    timer.stop();
    EXPECT_TRUE(terminal->text().endsWith(end));
    // A line holds it for its wait and its drawing (up to some 250 ms on a loaded machine under
    // the sanitizers); the twelve moves' waits alone, taken in one go, hold it 1.2 s.
    EXPECT_LT(longestHeld, 10 * frmTerminal::TypedReplyLimitMs);

    Form::Unload(terminal);
    expected << "QP\r";
    QList<QByteArray> raw;
    rig.withSim([&](SimController& sim) { raw = sim.rawLines(); });
    EXPECT_EQ(raw, expected);
}

// A file of queries: each line goes out on its own and every reply that comes back is shown, none
// dropped by the send of the line after it.
TEST_F(TerminalOnSerial, FileSendShowsEveryReplyOfItsQueries)
{
    rig.withSim([](SimController& sim) {
        sim.setPosition(1, 1.5);
        sim.setPosition(2, -2.5);
    });
    const QString path = rig.folder() + QStringLiteral("/queries.txt");
    QFile file(path);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    file.write("VE?\r\n1TP\r\n2TP\r\n");
    file.close();
    platform::setFileDialogHandler([&](bool, const QString&, const QString&, const QString&) { return path; });
    frmTerminal* terminal = open();
    ASSERT_NE(terminal, nullptr);
    terminal->button(QStringLiteral("SendFile"))->trigger();
    EXPECT_TRUE(terminal->text().endsWith(QStringLiteral("KVL410 Version 2.0\n1.5000\n-2.5000\n")))
        << terminal->text().toStdString();
    Form::Unload(terminal);
    platform::setFileDialogHandler(nullptr);
}

} // namespace

namespace {

// A typed query whose reply begins after the short wait is not shown with its line, and the
// terminal reads nothing more for it. Once the terminal closes, the polls that resume first put
// the line in step, so that late reply answers no later query.
TEST_F(TerminalOnSerial, ALateReplyToATypedLineAnswersNoLaterQuery)
{
    rig.withSim([](SimController& sim) {
        sim.setPosition(1, 1.5);
        sim.setPosition(2, -2.5);
    });
    frmTerminal* terminal = open();
    ASSERT_NE(terminal, nullptr);
    rig.withSim([](SimController& sim) { sim.holdReplies(); });
    QTest::keyClicks(terminal->txtTerminal(), "1tp");
    QTest::keyClick(terminal->txtTerminal(), Qt::Key_Return);
    EXPECT_EQ(terminal->text(), QStringLiteral("1tp\n"));
    Form::Unload(terminal);
    ASSERT_TRUE(rig.comm()->TimerEnabled());
    rig.comm()->setTimerEnabled(false);
    rig.withSim([](SimController& sim) {
        sim.clearLog();
        sim.releaseReplies();
    });
    QString reply;
    EXPECT_EQ(rig.comm()->SendReadAscii(QStringLiteral("2TP"), reply), 0);
    EXPECT_EQ(reply, QStringLiteral("-2.5000\r\n"));
    EXPECT_EQ(rig.simLines(), (QStringList{"VE?", "2TP"}));
}

} // namespace

namespace {

// A listing that never reaches its END lets events run while it waits: a stop click made during
// it is on the wire within 1.3 s, and nothing but the listing and the stop goes out. A read that
// fails (the link closed) ends the listing at once: no part of it is shown twice.
TEST_F(TerminalOnSerial, AListingLetsAStopThroughAndEndsAtAReadThatFails)
{
    Clock::useManualClock(Clock::tickMs(), 1);
    const auto realClock = qScopeGuard([] { Clock::useRealClock(); });
    std::atomic<qint64> stopAt{-1};
    rig.withSim([&stopAt](SimController& sim) {
        sim.setReply("LP", "\r\n1EP\r\n3MO\r\n");
        QObject::connect(&sim, &SimController::lineReceived, &sim, [&stopAt](const QByteArray& line) {
            if (line == "0ST")
                stopAt.store(Clock::tickMs());
        }, Qt::DirectConnection);
    });
    frmTerminal* terminal = open();
    ASSERT_NE(terminal, nullptr);
    Form* stop = CommandDispatcher::window(QStringLiteral("frmStop"));
    ASSERT_NE(stop, nullptr);
    stop->Show();
    auto* button = stop->findChild<QAbstractButton*>(QStringLiteral("btnEStop"));
    ASSERT_NE(button, nullptr);
    ASSERT_TRUE(button->isEnabled());

    // The click comes from the event queue once the listing is under way.
    qint64 clickedAt = -1;
    QTimer::singleShot(0, button, [&] {
        clickedAt = Clock::tickMs();
        const QPointF at(button->width() / 2.0, button->height() / 2.0);
        QCoreApplication::postEvent(button, new QMouseEvent(QEvent::MouseButtonPress, at, button->mapToGlobal(at),
                                                            Qt::LeftButton, Qt::LeftButton, Qt::NoModifier));
        QCoreApplication::postEvent(button, new QMouseEvent(QEvent::MouseButtonRelease, at, button->mapToGlobal(at),
                                                            Qt::LeftButton, Qt::NoButton, Qt::NoModifier));
    });
    const qint64 start = Clock::tickMs();
    terminal->button(QStringLiteral("ListPrograms"))->trigger();
    const qint64 took = Clock::tickMs() - start;
    ASSERT_GE(clickedAt, 0);
    ASSERT_GE(stopAt.load(), 0) << "the stop never reached the controller";
    EXPECT_LE(stopAt.load() - clickedAt, 1300);
    EXPECT_EQ(rig.simLines(), (QStringList{"LP", "0ST"}));
    EXPECT_EQ(terminal->text(), QStringLiteral("1EP\n3MO\n"));
    // The listing waits no longer than its limit and a read.
    EXPECT_LT(took, frmTerminal::DrainLimitMs + 3 * LinkTransport::ReplyLimitMs);

    // The link closes once part of the listing is shown: the read after it fails.
    rig.withSim([](SimController& sim) { sim.clearLog(); });
    terminal->txtTerminal()->clear();
    QMetaObject::Connection gone = QObject::connect(terminal->txtTerminal(), &QPlainTextEdit::textChanged, terminal, [&] {
        if (terminal->text().contains(QLatin1String("1EP"))) {
            QObject::disconnect(gone);
            rig.comm()->KVLClose();
        }
    });
    terminal->button(QStringLiteral("ListPrograms"))->trigger();
    QObject::disconnect(gone);
    EXPECT_EQ(terminal->text().count(QStringLiteral("1EP")), 1) << terminal->text().toStdString();
    EXPECT_LE(terminal->text().count(QStringLiteral("3MO")), 1) << terminal->text().toStdString();
    EXPECT_FALSE(rig.comm()->IsOpen());
    EXPECT_EQ(rig.simLines(), QStringList{"LP"});
}

} // namespace
