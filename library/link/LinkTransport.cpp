#include "library/link/LinkTransport.h"

#include "platform/ui/MsgBox.h"

namespace {

// A bus that keeps handing full buffers is given up on after a bounded number of reads.
constexpr int kMaxReadsOn = 64;

} // namespace

bool LinkTransport::acceptsIdentification(const QString&, int status) const
{
    return status == 0;
}

QString LinkTransport::trimBlanks(const QString& text)
{
    int begin = 0;
    int end = int(text.size());
    while (begin < end && text.at(begin) == QLatin1Char(' '))
        ++begin;
    while (end > begin && text.at(end - 1) == QLatin1Char(' '))
        --end;
    return text.mid(begin, end - begin);
}

QString LinkTransport::trimToLineFeed(const QString& text)
{
    const int lineFeed = int(text.indexOf(QLatin1Char('\n')));
    if (lineFeed >= 0)
        return text.left(lineFeed + 1);
    return trimBlanks(text);
}

bool LinkTransport::keepWithinBuffer(QString& reply, bool bufferFull,
                                     const std::function<bool(QString& more)>& readMore)
{
    const auto endsLine = [](const QString& text) {
        return text.contains(QLatin1Char('\n')) || text.contains(QLatin1Char('\r'));
    };
    if (!bufferFull || endsLine(reply))
        return true;
    reply.clear();
    QString more;
    for (int i = 0; i < kMaxReadsOn; ++i) {
        if (!readMore(more) || endsLine(more))
            break;
    }
    return false;
}

void LinkTransport::dropWhatFollowsAFullRead(const std::function<void()>& readOn)
{
    for (int i = 0; i < kMaxReadsOn && m_moreMayWait; ++i)
        readOn();
    m_moreMayWait = false;
}

void LinkTransport::showBox(const QString& prompt, int style, const QString& title) const
{
    if (m_boxHandler)
        m_boxHandler(prompt, style, title);
    else
        platform::MsgBox(prompt, style, title);
}
