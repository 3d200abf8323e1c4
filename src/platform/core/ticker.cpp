// Periodic tickers: a precise QTimer each, calling the program's function during event processing.
#include "runtime.h"

#include <QCoreApplication>
#include <QPointer>
#include <QTimer>

#include <map>

namespace korva {

namespace {

// The tickers by handle. They belong to the application object and go with it.
std::map<int, QPointer<QTimer>> s_tickers;
int s_nextTicker = 1;

QTimer* FindTicker(int ticker)
{
    const auto found = s_tickers.find(ticker);
    return found != s_tickers.end() ? found->second.data() : nullptr;
}

}  // namespace

int NewTicker(int intervalMs, DeferredCall call, void* data)
{
    if (call == nullptr || intervalMs < 1 || QCoreApplication::instance() == nullptr)
        return UIE_BAD_ARGUMENT;
    auto* timer = new QTimer(QCoreApplication::instance());
    // A coarse timer may fire up to 5 % early or late; the program counts its ticks as time.
    timer->setTimerType(Qt::PreciseTimer);
    timer->setInterval(intervalMs);
    QObject::connect(timer, &QTimer::timeout, timer, [call, data] { call(data); });
    const int handle = s_nextTicker++;
    s_tickers.emplace(handle, timer);
    return handle;
}

int EnableTicker(int ticker, int on)
{
    QTimer* timer = FindTicker(ticker);
    if (timer == nullptr)
        return UIE_BAD_ARGUMENT;
    if (on != 0)
        timer->start();
    else
        timer->stop();
    return 0;
}

int TickerEnabled(int ticker)
{
    const QTimer* timer = FindTicker(ticker);
    if (timer == nullptr)
        return UIE_BAD_ARGUMENT;
    return timer->isActive() ? 1 : 0;
}

}  // namespace korva
