#include "app/linux/HeldSignals.h"

#include <pthread.h>

#include <ctime>
#include <utility>

HeldSignals::HeldSignals(std::function<void(int)> announce) : announce_(std::move(announce)) {
    sigemptyset(&held_);
    for (int s : {SIGINT, SIGTERM, SIGHUP, SIGQUIT}) sigaddset(&held_, s);
}

HeldSignals::~HeldSignals() {
    Stop();
    if (started_) pthread_sigmask(SIG_SETMASK, &previous_, nullptr);
}

void HeldSignals::Start() {
    if (started_) return;
    started_ = true;
    // Blocked before the thread starts, so it and this thread both hold them.
    pthread_sigmask(SIG_BLOCK, &held_, &previous_);
    watcher_ = std::thread([this] { Watch(); });
}

void HeldSignals::Watch() {
    const timespec tick{0, 100 * 1000 * 1000};
    while (!stop_) {
        int s = sigtimedwait(&held_, nullptr, &tick);
        if (s <= 0) continue;
        int none = 0;
        received_.compare_exchange_strong(none, s);
        if (announce_) announce_(s);
    }
}

void HeldSignals::Stop() {
    if (!watcher_.joinable()) return;
    stop_ = true;
    watcher_.join();
    // One that came after the thread's last look is still pending.
    timespec now{0, 0};
    int s;
    while ((s = sigtimedwait(&held_, nullptr, &now)) > 0) {
        int none = 0;
        received_.compare_exchange_strong(none, s);
    }
}

void HeldSignals::CarryOut() {
    Stop();
    if (!started_) return;
    started_ = false;
    const int s = received_;
    pthread_sigmask(SIG_SETMASK, &previous_, nullptr);
    if (s != 0) raise(s);
}
