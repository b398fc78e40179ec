#pragma once

#include <QLabel>

class QMovie;

// The wait animation of the program's long procedures (initialisation, firmware download): an
// animation file played in a small square. A file that is missing or unreadable shows nothing.
class WaitAnimation : public QLabel {
    Q_OBJECT
public:
    explicit WaitAnimation(QWidget* parent = nullptr);

    // The animation file beside the program.
    static QString defaultFile();

    // Opens the file and plays it; the square shows in any case.
    void play(const QString& path);
    // Stops the animation and hides it.
    void stop();
    bool playing() const;

private:
    QMovie* m_movie = nullptr;
};
