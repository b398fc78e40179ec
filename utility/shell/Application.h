#pragma once

#include <QApplication>

#include <functional>

// The program's application object: the one boundary where an exception that leaves an event
// handler ends. A failure of the link goes to the communication control's failure handler (report,
// demo mode); anything else is shown in a box. The program goes on either way.
class Application : public QApplication {
public:
    Application(int& argc, char** argv);

    bool notify(QObject* receiver, QEvent* event) override;

    // Runs one delivery inside the boundary; false when it ended with an exception.
    static bool deliver(const std::function<bool()>& delivery);

    // A write beyond the file-size limit (a full quota) then fails and is reported like any other
    // write error, instead of the signal ending the program with nothing said and nothing saved.
    // The constructor does it.
    static void ignoreFileSizeSignal();
};
