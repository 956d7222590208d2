// Signals held during a flash or a build, and released once it is over.
#include "app/linux/HeldSignals.h"

#include <poll.h>
#include <pthread.h>
#include <sys/eventfd.h>
#include <sys/signalfd.h>
#include <unistd.h>

#include <cstdint>
#include <utility>

HeldSignals::HeldSignals(std::function<void(int)> announce, std::function<void()> tick)
    : announce_(std::move(announce)), tick_(std::move(tick)) {
    sigemptyset(&held_);
    // One the program ignores (SIGINT of a script's background job) stays
    // ignored: held, it would be queued, announced, and said to end the run.
    for (int s : {SIGINT, SIGTERM, SIGHUP, SIGQUIT}) {
        struct sigaction now {};
        if (sigaction(s, nullptr, &now) == 0 && now.sa_handler == SIG_IGN) continue;
        sigaddset(&held_, s);
    }
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
    signals_ = signalfd(-1, &held_, SFD_NONBLOCK | SFD_CLOEXEC);
    wake_ = eventfd(0, EFD_CLOEXEC);
    if (signals_ < 0 || wake_ < 0) return;  // still held; only not announced
    watcher_ = std::thread([this] { Watch(); });
}

// Takes every signal that is pending; returns false when none was.
bool HeldSignals::Take() {
    signalfd_siginfo info;
    bool any = false;
    while (read(signals_, &info, sizeof info) == static_cast<ssize_t>(sizeof info)) {
        any = true;
        const int s = static_cast<int>(info.ssi_signo);
        int none = 0;
        received_.compare_exchange_strong(none, s);
        if (announce_ && !stopping_) announce_(s);
    }
    return any;
}

void HeldSignals::Watch() {
    pollfd fds[2] = {{signals_, POLLIN, 0}, {wake_, POLLIN, 0}};
    for (;;) {
        const int ready = poll(fds, 2, tick_ ? 1000 : -1);
        if (ready < 0) continue;
        if (ready == 0) {
            tick_();
            continue;
        }
        if (fds[1].revents) return;
        if (fds[0].revents) Take();
    }
}

void HeldSignals::Stop() {
    if (watcher_.joinable()) {
        const uint64_t one = 1;
        const ssize_t written = write(wake_, &one, sizeof one);
        (void)written;  // an eventfd takes it; nothing to do otherwise
        watcher_.join();
    }
    if (signals_ >= 0) {
        // One that came after the thread's last look is still to be taken.
        stopping_ = true;
        Take();
        close(signals_);
        signals_ = -1;
    }
    if (wake_ >= 0) {
        close(wake_);
        wake_ = -1;
    }
}

void HeldSignals::Release() {
    // Every signal that came was taken by Stop, so none is pending when the
    // mask is restored; one that comes after this acts as it always does.
    Stop();
    if (!started_) return;
    started_ = false;
    pthread_sigmask(SIG_SETMASK, &previous_, nullptr);
}
