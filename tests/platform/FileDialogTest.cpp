#include "platform/ui/FileDialog.h"
#include "platform/ui/MsgBox.h"
#include "platform/ui/Shell.h"

#include <QApplication>
#include <QDir>
#include <QFileDialog>
#include <QTemporaryDir>
#include <QTimer>

#include <gtest/gtest.h>

using namespace platform;

namespace {

struct ShownDialog {
    QString title;
    QString directory;
    QStringList filters;
    QFileDialog::AcceptMode mode = QFileDialog::AcceptOpen;
};

// Waits for the modal file dialog, records it, then chooses `name` (or cancels when it is empty).
void answerNextDialog(ShownDialog* shown, const QString& name)
{
    auto* poll = new QTimer;
    poll->setInterval(10);
    QObject::connect(poll, &QTimer::timeout, [poll, shown, name] {
        auto* dialog = qobject_cast<QFileDialog*>(QApplication::activeModalWidget());
        if (!dialog || !dialog->isVisible())
            return;
        poll->stop();
        poll->deleteLater();
        shown->title = dialog->windowTitle();
        shown->directory = dialog->directory().absolutePath();
        shown->filters = dialog->nameFilters();
        shown->mode = dialog->acceptMode();
        if (name.isEmpty()) {
            dialog->reject();
        } else {
            dialog->selectFile(name);
            static_cast<QDialog*>(dialog)->accept(); // QFileDialog::accept, which checks the name
        }
    });
    poll->start();
}

} // namespace

TEST(FileDialog, TheHandlerAnswersAndSeesTheCallAsMade)
{
    QStringList calls;
    setFileDialogHandler([&](bool save, const QString& title, const QString& dir, const QString& filter) {
        calls << QStringLiteral("%1|%2|%3|%4").arg(save ? "save" : "open", title, dir, filter);
        return save ? QStringLiteral("/tmp/out.par") : QString();
    });
    EXPECT_EQ(GetOpenFileName(nullptr, QStringLiteral("Open"), QStringLiteral("/data"), QStringLiteral("P (*.par)")),
              QString());
    EXPECT_EQ(GetSaveFileName(nullptr, QStringLiteral("Save"), QStringLiteral("/data/x.par")),
              QStringLiteral("/tmp/out.par"));
    setFileDialogHandler({});
    EXPECT_EQ(calls, (QStringList{QStringLiteral("open|Open|/data|P (*.par)"),
                                  QStringLiteral("save|Save|/data/x.par|")}));
}

TEST(FileDialog, OriginalFiltersBecomeQtNameFilters)
{
    EXPECT_EQ(toQtNameFilter(QStringLiteral("Parameter files (*.par)|*.par|All files (*.*)|*.*")),
              QStringLiteral("Parameter files (*.par);;All files (*)"));
    EXPECT_EQ(toQtNameFilter(QStringLiteral("Firmware|*.hex;*.s19")), QStringLiteral("Firmware (*.hex *.s19)"));
    EXPECT_EQ(toQtNameFilter(QStringLiteral("Text (*.txt);;All (*)")), QStringLiteral("Text (*.txt);;All (*)"));
    EXPECT_EQ(toQtNameFilter(QString()), QString());
}

TEST(FileDialog, RealDialogsStartWhereToldAndReturnTheChoice)
{
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    const QString folder = QDir(dir.path()).canonicalPath();

    ShownDialog shown;
    answerNextDialog(&shown, QStringLiteral("saved.par"));
    const QString chosen = GetSaveFileName(nullptr, QStringLiteral("Save parameters"), folder + "/start.par",
                                           QStringLiteral("Parameter files (*.par)|*.par|All files (*.*)|*.*"));
    EXPECT_EQ(QFileInfo(chosen).absoluteFilePath(), folder + "/saved.par");
    EXPECT_EQ(shown.title, QStringLiteral("Save parameters"));
    EXPECT_EQ(shown.directory, folder);
    EXPECT_EQ(shown.filters, (QStringList{QStringLiteral("Parameter files (*.par)"), QStringLiteral("All files (*)")}));
    EXPECT_EQ(shown.mode, QFileDialog::AcceptSave);

    ShownDialog opened;
    answerNextDialog(&opened, QString()); // cancel
    EXPECT_EQ(GetOpenFileName(nullptr, QStringLiteral("Open"), folder), QString());
    EXPECT_EQ(opened.mode, QFileDialog::AcceptOpen);
    EXPECT_EQ(opened.directory, folder);
}

TEST(Shell, TheHandlerAnswersInsteadOfOpening)
{
    QStringList opened;
    setShellOpenHandler([&](const QString& what) {
        opened << what;
        return what.endsWith(QLatin1String(".chm"));
    });
    EXPECT_TRUE(ShellOpen(QStringLiteral("/opt/moxtrel/Moxtrel.chm")));
    EXPECT_FALSE(ShellOpen(QStringLiteral("https://example.invalid/")));
    setShellOpenHandler({});
    EXPECT_EQ(opened, (QStringList{QStringLiteral("/opt/moxtrel/Moxtrel.chm"), QStringLiteral("https://example.invalid/")}));
    EXPECT_FALSE(ShellOpen(QString())); // nothing to open
}

TEST(Shell, ADocumentThatCannotBeShownSaysSo)
{
    QStringList asked;
    setMsgBoxHandler([&](const QString& prompt, int, const QString&) {
        asked << prompt;
        return int(vbOK);
    });
    setShellOpenHandler([](const QString& what) { return what.endsWith(QLatin1String(".HLP")); });
    EXPECT_TRUE(ShowDocument(QStringLiteral("/opt/moxtrel/MOXTREL.HLP")));
    EXPECT_TRUE(asked.isEmpty());
    EXPECT_FALSE(ShowDocument(QStringLiteral("https://example.invalid/")));
    setShellOpenHandler({});
    setMsgBoxHandler({});
    ASSERT_EQ(asked.size(), 1);
    EXPECT_TRUE(asked.first().endsWith(QLatin1String("https://example.invalid/")));
}
