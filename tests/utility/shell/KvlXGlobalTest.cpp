#include "tests/support/ShellRig.h"

#include "library/link/KVLComm.h"
#include "platform/EventBoundary.h"
#include "platform/RuntimeError.h"
#include "platform/kernel/Clock.h"
#include "platform/ui/MsgBox.h"
#include "sim/SimController.h"
#include "utility/shell/ControllerQuery.h"
#include "utility/shell/DataFiles.h"
#include "utility/shell/ErrorDisplay.h"
#include "utility/shell/EventWait.h"
#include "utility/shell/Form.h"
#include "utility/shell/FormPlaces.h"
#include "utility/shell/ProgramState.h"
#include "utility/shell/SessionEnd.h"
#include "utility/shell/TextHelpers.h"
#include "utility/shell/frmErrors.h"
#include "utility/shell/frmMain.h"

#include <QApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QMdiArea>
#include <QPointer>
#include <QTemporaryDir>
#include <QTimer>

#include <gtest/gtest.h>

using namespace KvlXGlobal;
using platform::Clock;

namespace {

// A child window with a fixed border.
class FixedForm : public Form {
public:
    explicit FixedForm(const QString& name = QStringLiteral("frmStop")) : Form(name) { setBorderStyle(vbFixedDialog); }
};

// A window whose opening fails part-way, as a read the window cannot take would make it fail.
class FailingForm : public FixedForm {
public:
    FailingForm(bool fail, bool refuseClose) : FixedForm(QStringLiteral("frmFailing")), m_fail(fail), m_refuse(refuseClose) {}
    bool unloaded = false;

protected:
    void Form_Load() override
    {
        if (m_fail)
            throw platform::RuntimeError::standard(platform::RuntimeError::Overflow);
    }
    void Form_QueryUnload(int& Cancel, int) override { Cancel = m_refuse ? 1 : 0; }
    void Form_Unload(int&) override { unloaded = true; }

private:
    bool m_fail;
    bool m_refuse;
};

// A window that counts the events its filter sees on its frame.
class WatchingForm : public FixedForm {
public:
    using FixedForm::FixedForm;
    int frameEvents = 0;

protected:
    bool eventFilter(QObject* watched, QEvent* event) override
    {
        if (watched == frame())
            ++frameEvents;
        return FixedForm::eventFilter(watched, event);
    }
};

} // namespace

TEST(KvlXGlobalTest, ReplyCleaningAndFirstLine)
{
    EXPECT_EQ(CleanReply(QStringLiteral("0\r\n")), QStringLiteral("0"));
    EXPECT_EQ(CleanReply(QStringLiteral("\r\n12\r\n")), QStringLiteral("12"));
    EXPECT_EQ(CleanReply(QStringLiteral("OK") + QString(253, QLatin1Char(' '))), QString());
    EXPECT_EQ(CleanReply(QStringLiteral(" 2.5 \r\n")), QStringLiteral(" 2.5 "));
    EXPECT_EQ(CleanReply(QString()), QString());

    EXPECT_EQ(FirstReplyLine(QStringLiteral("abc\r\ndef")), QStringLiteral("abc"));
    EXPECT_EQ(FirstReplyLine(QStringLiteral("abc")), QStringLiteral("0"));
    EXPECT_EQ(FirstReplyLine(QStringLiteral("abc\rdef\n")), QStringLiteral("0"));
}

TEST(KvlXGlobalTest, UnitNamesAreTheProgramsOwnCopy)
{
    InitUnitNames();
    EXPECT_EQ(gUnitNames[0], QStringLiteral("counts"));
    EXPECT_EQ(gUnitNames[3], QChar(0xB5) + QStringLiteral("m"));
    EXPECT_EQ(gUnitNames[11], QChar(0xB5) + QStringLiteral("rad"));
}

TEST(KvlXGlobalTest, QueryControllerCleansTheReplyAndReportsUnusableOnes)
{
    ShellRig rig;
    rig.useSerialLink();
    rig.answer = [](const ShellRig::Box&) { return int(platform::vbNo); };
    rig.start();
    rig.comm()->setTimerEnabled(false);
    rig.withSim([](SimController& sim) {
        sim.setValue(1, "VA", "2.5");
        sim.setReply("2VA?", "No data\r\n");
    });
    rig.boxes.clear();

    EXPECT_EQ(QueryController(QStringLiteral("1VA?")), QStringLiteral("2.5"));
    EXPECT_TRUE(rig.simLines().contains(QStringLiteral("1VA?")));
    EXPECT_TRUE(rig.boxes.isEmpty());

    EXPECT_EQ(QueryController(QStringLiteral("2VA?")), QStringLiteral("No data"));
    ASSERT_EQ(rig.boxes.size(), 1);
    EXPECT_EQ(rig.boxes[0].prompt, QStringLiteral("Invalid response to command: 2VA?"));
    EXPECT_EQ(rig.boxes[0].style, platform::vbOKOnly + platform::vbCritical);
    EXPECT_EQ(rig.boxes[0].title, QStringLiteral("ASCII Query"));

    // Demo mode answers nothing: the box, and an empty text all the same.
    rig.comm()->setBusType(BUS_TYPE_NONE);
    EXPECT_EQ(QueryController(QStringLiteral("1VA?")), QString());
    EXPECT_EQ(rig.boxes.size(), 2);

    // The error read is skipped in demo mode.
    rig.comm()->setBusType(BUS_TYPE_RS232);
    rig.withSim([](SimController& sim) { sim.clearLog(); });
    gDemoMode = true;
    EXPECT_EQ(ReadErrorMessage(), 0);
    gDemoMode = false;
    EXPECT_EQ(ReadErrorMessage(), 0);
    EXPECT_EQ(rig.simLines(), QStringList{QStringLiteral("TB?")});
}

TEST(KvlXGlobalTest, ShowErrorListsTheMessageOrAsksAboutTheTimeOut)
{
    ShellRig rig;
    rig.useSerialLink();
    rig.answer = [](const ShellRig::Box&) { return int(platform::vbNo); };
    frmMain* main = rig.start();
    rig.comm()->setTimerEnabled(false);
    frmErrors* errors = Form::instance<frmErrors>();
    ASSERT_FALSE(errors->Visible());
    rig.boxes.clear();

    EXPECT_EQ(ShowError(QStringLiteral("Not A Valid KVL Firmware Program."), 0), 0);
    EXPECT_TRUE(errors->Visible());
    EXPECT_TRUE(rig.boxes.isEmpty());
    QVariantList none;
    EXPECT_EQ(platform::invokeByName(errors->KVLError1(), QStringLiteral("ErrorMsg"), platform::MemberKind::PropertyGet, none)
                  .toString(),
              QStringLiteral("Not A Valid KVL Firmware Program."));

    // Time-out, OK: the link is initialised again in place.
    errors->Hide();
    rig.withSim([](SimController& sim) { sim.clearLog(); });
    rig.answer = [](const ShellRig::Box&) { return int(platform::vbOK); };
    EXPECT_EQ(ShowError(QStringLiteral("unused"), 1), 0);
    ASSERT_EQ(rig.boxes.size(), 1);
    EXPECT_EQ(rig.boxes[0].prompt, QStringLiteral("Communications timeout has occurred. System must be reset."));
    EXPECT_EQ(rig.boxes[0].style, platform::vbOKCancel + platform::vbCritical);
    EXPECT_EQ(rig.boxes[0].title, QStringLiteral("KVL: Fatal Error"));
    EXPECT_TRUE(errors->Visible());
    EXPECT_EQ(platform::invokeByName(errors->KVLError1(), QStringLiteral("ErrorMsg"), platform::MemberKind::PropertyGet, none)
                  .toString(),
              QString());
    EXPECT_TRUE(rig.simLines().contains(QStringLiteral("VE?")));

    // Cancel ends the program, from the event loop once the caller's own wait is over.
    rig.answer = [](const ShellRig::Box&) { return int(platform::vbCancel); };
    bool openAfterShowError = false;
    bool openAfterWait = false;
    QTimer::singleShot(0, main, [&] {
        ShowError(QString(), 1);
        openAfterShowError = main->isVisible();
        EventWait::pumpFor(50);
        openAfterWait = main->isVisible();
    });
    Clock::pumpUntil([&] { return !main->isVisible(); }, 2000);
    EXPECT_TRUE(openAfterShowError);
    EXPECT_TRUE(openAfterWait);
    EXPECT_FALSE(main->isVisible());
    EXPECT_TRUE(Form::Forms().isEmpty());
    EXPECT_EQ(rig.stored("KVLComm", "BusType"), QStringLiteral("3"));
}

TEST(KvlXGlobalTest, ClosingDuringAWaitWaitsForIt)
{
    ShellRig rig;
    frmMain* main = rig.start();
    bool closedDuringWait = true;
    QTimer::singleShot(0, main, [&] {
        QTimer::singleShot(10, main, [main] { main->close(); });
        EventWait::pumpFor(100);
        closedDuringWait = !main->isVisible();
    });
    Clock::pumpUntil([&] { return !main->isVisible(); }, 2000);
    EXPECT_FALSE(closedDuringWait);
    EXPECT_FALSE(main->isVisible());
    EXPECT_EQ(rig.stored("frmMain", "FirstTime"), QStringLiteral("1"));
}

TEST(KvlXGlobalTest, WindowUnloadedFromInsideItsOwnWaitOutlivesTheWait)
{
    ShellRig rig;
    rig.start();
    auto* form = new FixedForm(QStringLiteral("frmTerminal"));
    form->Show();
    QPointer<Form> watch(form);
    bool aliveAfterWait = false;
    bool unloadedDuringWait = false;
    QTimer::singleShot(0, form, [&, form] {
        // The terminal's reset: its own command closes every window, the terminal too.
        QTimer::singleShot(10, [] { CloseChildForms(); });
        EventWait::pumpFor(100);
        aliveAfterWait = !watch.isNull();
        unloadedDuringWait = !form->isLoaded();
    });
    Clock::pumpUntil([&] { return watch.isNull(); }, 2000);
    EXPECT_TRUE(aliveAfterWait);
    EXPECT_TRUE(unloadedDuringWait);
    EXPECT_TRUE(watch.isNull());
}

TEST(KvlXGlobalTest, AnUnloadedWindowNoLongerFiltersTheFrameThatIsToGo)
{
    ShellRig rig;
    rig.start();
    auto* form = new WatchingForm(QStringLiteral("frmAbout"));
    form->Show();
    QPointer<QWidget> frame = form->frame();
    ASSERT_NE(frame.data(), form);
    frame->resize(300, 200);
    EXPECT_GT(form->frameEvents, 0);

    Form::Unload(form);
    form->frameEvents = 0;
    frame->resize(310, 210);
    EXPECT_EQ(form->frameEvents, 0);
    EXPECT_TRUE(Clock::pumpUntil([&] { return frame.isNull(); }, 2000));
}

TEST(KvlXGlobalTest, TheSessionEndingWhileABoxWaitsClosesTheProgramAndSavesTheLink)
{
    ShellRig rig;
    rig.useSerialLink();
    int initialisations = 0;
    frmMain::setInitializeControllerHandler([&](bool) { ++initialisations; });
    // A real box, as a person would see it; the session ends while it waits.
    platform::setMsgBoxHandler({});
    struct Restore {
        ~Restore() { platform::setMsgBoxesDismissed(false); }
    } restore;
    // Should the box stay, it is closed anyway, so the test never hangs.
    QTimer::singleShot(5000, [] {
        if (QWidget* box = QApplication::activeModalWidget())
            box->close();
    });
    QTimer::singleShot(0, [] { SessionEnd::end(); });
    QElapsedTimer elapsed;
    elapsed.start();
    QPointer<frmMain> main = rig.start();

    EXPECT_TRUE(Clock::pumpUntil([&] { return !main->isVisible(); }, 3000));
    EXPECT_LT(elapsed.elapsed(), 2000);
    EXPECT_EQ(initialisations, 0) << "the ending program opens no link";
    EXPECT_TRUE(gAppClosing);
    EXPECT_EQ(rig.stored("KVLComm", "BusType"), QStringLiteral("3"));
    EXPECT_EQ(rig.stored("frmMain", "FirstTime"), QStringLiteral("0"));
    // Boxes asked later answer at once, as if closed without a button.
    EXPECT_EQ(platform::MsgBox(QStringLiteral("Again?"), platform::vbYesNo), platform::vbNo);
    EXPECT_EQ(platform::MsgBox(QStringLiteral("Done."), platform::vbOKOnly), platform::vbOK);
}

TEST(KvlXGlobalTest, DataFilesBesideTheProgramComeBeforeTheInstalledOnes)
{
    // An installed layout (bin/ and share/moxtrel/ under one prefix) with the program in bin/.
    QTemporaryDir prefix;
    const QDir root(prefix.path());
    ASSERT_TRUE(root.mkpath(QStringLiteral("bin")) && root.mkpath(QStringLiteral("share/moxtrel/KVLWAIT.gif")));
    const auto put = [&root](const char* path) {
        QFile file(root.filePath(QLatin1String(path)));
        ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    };
    put("bin/KVLAxes.ini");
    put("share/moxtrel/KVLAxes.ini");
    put("share/moxtrel/MOXTREL.HLP");
    setAppPath(root.filePath(QStringLiteral("bin")));

    EXPECT_EQ(DataFile(QStringLiteral("KVLAxes.ini")), root.filePath(QStringLiteral("bin/KVLAxes.ini")));
    EXPECT_EQ(DataFile(QStringLiteral("MOXTREL.HLP")), root.filePath(QStringLiteral("share/moxtrel/MOXTREL.HLP")));
    // In neither place (a folder of the name is no file): named beside the program, where a
    // message says it belongs.
    EXPECT_EQ(DataFile(QStringLiteral("KVLWAIT.gif")), root.filePath(QStringLiteral("bin/KVLWAIT.gif")));
    EXPECT_EQ(DataFile(QStringLiteral("TerminalSaveTemplate.txt")),
              root.filePath(QStringLiteral("bin/TerminalSaveTemplate.txt")));
    setAppPath(QString());
}

// Boxes are passed over only while the program really closes: should something refuse the
// close, the program goes on and its boxes are seen again.
TEST(KvlXGlobalTest, TheSessionEndingThatDoesNotCloseLeavesBoxesShown)
{
    ShellRig rig;
    QPointer<frmMain> main = rig.start();
    struct RefuseClose : QObject {
        bool eventFilter(QObject*, QEvent* event) override
        {
            if (event->type() != QEvent::Close)
                return false;
            event->ignore();
            return true;
        }
    } refuse;
    main->installEventFilter(&refuse);
    SessionEnd::end();
    main->removeEventFilter(&refuse);
    EXPECT_TRUE(main->isVisible());
    EXPECT_FALSE(platform::msgBoxesDismissed());
    rig.boxes.clear();
    platform::MsgBox(QStringLiteral("Saved."), platform::vbOKOnly);
    EXPECT_EQ(rig.prompts(), QStringList{QStringLiteral("Saved.")});
}

TEST(KvlXGlobalTest, AWindowWhoseOpeningFailsIsUnloaded)
{
    ShellRig rig;
    rig.start();
    rig.boxes.clear();
    for (bool refuseClose : {false, true}) {
        auto* failing = new FailingForm(true, refuseClose);
        QPointer<Form> watch(failing);
        // The failure is still reported as any failure in an event is...
        EXPECT_FALSE(platform::guardEvent([&] { failing->Show(); }));
        ASSERT_FALSE(rig.boxes.isEmpty());
        EXPECT_TRUE(rig.boxes.last().prompt.startsWith(QStringLiteral("Error 6"))) << rig.boxes.last().prompt.toStdString();
        // ...and the window is gone, its clean-up run, even one that would refuse to close.
        ASSERT_TRUE(watch);
        EXPECT_FALSE(failing->isLoaded());
        EXPECT_TRUE(failing->unloaded);
        EXPECT_EQ(Form::loadedForm(QStringLiteral("frmFailing")), nullptr);
        EXPECT_FALSE(failing->Visible());
        EXPECT_TRUE(Clock::pumpUntil([&] { return watch.isNull(); }, 2000));
    }
    // The next opening starts afresh.
    auto* again = new FailingForm(false, false);
    again->Show();
    EXPECT_TRUE(again->isLoaded());
    EXPECT_TRUE(again->Visible());
    EXPECT_EQ(Form::loadedForm(QStringLiteral("frmFailing")), again);
}

TEST(KvlXGlobalTest, WindowPlacesAreKeptInTwips)
{
    ShellRig rig;
    rig.start();

    // A fixed window keeps only its place, a sizable one its size as well.
    auto* fixed = new FixedForm();
    fixed->Load();
    fixed->setLeft(300);
    fixed->setTop(450);
    fixed->setWidth(3000);
    fixed->setHeight(1500);
    SaveFormPosition(fixed);
    EXPECT_EQ(rig.stored("frmStop", "Left"), QStringLiteral("300"));
    EXPECT_EQ(rig.stored("frmStop", "Top"), QStringLiteral("450"));
    EXPECT_EQ(rig.stored("frmStop", "Width"), QStringLiteral("<none>"));

    frmErrors* errors = Form::instance<frmErrors>();
    // Nothing stored: the designed size, to the pixel.
    EXPECT_NEAR(errors->Width(), frmErrors::DefaultWidth, Form::TwipsPerPixel);
    EXPECT_NEAR(errors->Height(), frmErrors::DefaultHeight, Form::TwipsPerPixel);

    // Stored values apply; one that is no number is passed over.
    rig.store("frmStop", "Left", "1500.4");
    rig.store("frmStop", "Top", "far");
    rig.store("frmStop", "Width", "9000");
    RestoreFormPosition(fixed);
    EXPECT_EQ(fixed->Left(), 1500);
    EXPECT_EQ(fixed->Top(), 450);
    EXPECT_EQ(fixed->Width(), 3000);

    // A stored size is bounded to the main window's area, as a place is, and saved back so.
    errors->Show();
    rig.store("frmErrors", "Width", "2147483647");
    rig.store("frmErrors", "Height", "2147483647");
    rig.store("frmErrors", "Left", "-2147483648");
    RestoreFormPosition(errors);
    const QSize area = rig.main()->findChild<QMdiArea*>()->viewport()->size();
    EXPECT_LE(errors->Width(), area.width() * Form::TwipsPerPixel);
    EXPECT_LE(errors->Height(), area.height() * Form::TwipsPerPixel);
    EXPECT_GT(errors->Width(), frmErrors::DefaultWidth);
    EXPECT_EQ(errors->Left(), 0);
    SaveFormPosition(errors);
    EXPECT_EQ(rig.stored("frmErrors", "Width").toInt(), errors->Width());
    errors->Hide();

    // The desktop reset stores a cascade for every name and moves the open windows into it.
    gChildFormNames.clear();
    for (int i = 0; i < 24; ++i)
        gChildFormNames << QStringLiteral("frmW%1").arg(i);
    gChildFormNames[7] = QStringLiteral("frmStop");
    rig.store("frmW3", "Width", "4321");
    ResetDesktopLayout();
    EXPECT_EQ(rig.stored("frmW0", "Left"), QStringLiteral("100"));
    EXPECT_EQ(rig.stored("frmW1", "Top"), QStringLiteral("600"));
    EXPECT_EQ(rig.stored("frmW23", "Left"), QStringLiteral("11600"));
    EXPECT_EQ(rig.stored("frmW3", "Width"), QStringLiteral("4321"));
    EXPECT_EQ(fixed->Left(), 3600);
    EXPECT_EQ(fixed->Top(), 3600);

    // Closing the windows leaves the hidden ones loaded.
    fixed->Show();
    errors->Hide();
    CloseChildForms();
    EXPECT_FALSE(fixed->isLoaded());
    EXPECT_EQ(Form::Forms(), QList<Form*>{errors});
}
