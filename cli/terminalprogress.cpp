#include "cli/terminalprogress.h"

#include <QCoreApplication>

#include <atomic>
#include <csignal>

namespace
{
constexpr int BarWidth = 30;
// Redrawing more often than this only makes a slow terminal slower.
constexpr int RedrawMs = 100;

std::atomic<bool> interruptCame{false};

extern "C" void onInterrupt(int signal)
{
    interruptCame = true;
    std::signal(signal, SIG_DFL);
}
} // namespace

namespace cli
{

void catchInterrupts()
{
    std::signal(SIGINT, onInterrupt);
    std::signal(SIGTERM, onInterrupt);
}

bool interrupted()
{
    return interruptCame;
}

TerminalProgress::TerminalProgress(QTextStream &out, bool draw) : stream(out), drawing(draw) {}

TerminalProgress::~TerminalProgress()
{
    finish();
}

QString TerminalProgress::line(const QString &label, int minimum, int maximum, int value)
{
    const qint64 span = qint64(maximum) - minimum;
    const qint64 done = qBound<qint64>(0, qint64(value) - minimum, span);
    const int percent = span > 0 ? int(done * 100 / span) : 0;
    const int filled = span > 0 ? int(done * BarWidth / span) : 0;
    return QString("%1 [%2%3] %4%")
        .arg(label)
        .arg(QString(filled, '#'))
        .arg(QString(BarWidth - filled, ' '))
        .arg(percent, 3);
}

void TerminalProgress::setRange(int low, int high)
{
    minimum = low;
    maximum = high;
    if (shown)
        draw(false);
}

void TerminalProgress::setLabel(const QString &text)
{
    // The download names the record in its label; the bar says how far.
    label = text;
    if (shown)
        draw(false);
}

void TerminalProgress::setValue(int newValue)
{
    value = newValue;
    // The first value shows the bar; later ones redraw it now and then.
    draw(!shown || value >= maximum);
}

void TerminalProgress::letEventsRun()
{
    QCoreApplication::processEvents(QEventLoop::ExcludeUserInputEvents);
}

bool TerminalProgress::cancelled()
{
    letEventsRun();
    return interrupted();
}

void TerminalProgress::finish()
{
    if (!shown)
        return;
    // Like the window's progress window, the bar goes away; what follows is
    // the message, on a clean line.
    stream << '\r' << QString(lastLine.size(), ' ') << '\r';
    stream.flush();
    shown = false;
    lastLine.clear();
}

void TerminalProgress::draw(bool force)
{
    if (!drawing)
        return;
    if (!force && shown && sinceDraw.isValid() && sinceDraw.elapsed() < RedrawMs)
        return;
    const QString text = line(label, minimum, maximum, value);
    if (shown && text == lastLine)
        return;
    // Padding clears what a longer line before left behind.
    stream << '\r' << text.leftJustified(lastLine.size());
    stream.flush();
    lastLine = text;
    shown = true;
    sinceDraw.start();
}

} // namespace cli
