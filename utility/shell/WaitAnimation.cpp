#include "utility/shell/WaitAnimation.h"

#include "utility/shell/DataFiles.h"

#include <QFileInfo>
#include <QMovie>

WaitAnimation::WaitAnimation(QWidget* parent)
    : QLabel(parent)
{
    setFixedSize(48, 48);
    setAlignment(Qt::AlignCenter);
}

QString WaitAnimation::defaultFile()
{
    return KvlXGlobal::DataFile(QStringLiteral("KVLWAIT.gif"));
}

void WaitAnimation::play(const QString& path)
{
    show();
    if (!m_movie) {
        m_movie = new QMovie(this);
        setMovie(m_movie);
    }
    m_movie->stop();
    if (!QFileInfo::exists(path))
        return;
    m_movie->setFileName(path);
    if (m_movie->isValid())
        m_movie->start();
}

void WaitAnimation::stop()
{
    if (m_movie)
        m_movie->stop();
    hide();
}

bool WaitAnimation::playing() const
{
    return m_movie && m_movie->state() == QMovie::Running;
}
