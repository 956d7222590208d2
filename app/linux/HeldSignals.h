// SIGINT, SIGTERM, SIGHUP and SIGQUIT during a flash or a build: held, not
// caught. They are blocked in every thread, so no system call of the flash is
// interrupted (the sg driver would resend an interrupted SG_IO on restart);
// a thread of its own takes each one at once (signalfd) and announces it.
// Once the work is over they are released, not carried out: the program ends
// with the work's own exit status, the contract scripts read (a failed commit
// must say 3, not 143), and says which signal it received.
#pragma once
#include <atomic>
#include <csignal>
#include <functional>
#include <thread>

class HeldSignals {
  public:
    // announce runs on the holding thread, once per signal received; tick,
    // when given, about once a second while the signals are held.
    explicit HeldSignals(std::function<void(int)> announce, std::function<void()> tick = nullptr);
    ~HeldSignals();
    HeldSignals(const HeldSignals&) = delete;
    HeldSignals& operator=(const HeldSignals&) = delete;

    void Start();  // from here on the signals are held
    void Stop();   // still blocked, no longer announced
    int Received() const { return received_; }
    // Unblocks; the signals taken while held are not raised again.
    void Release();

  private:
    void Watch();
    bool Take();

    std::function<void(int)> announce_;
    std::function<void()> tick_;
    sigset_t held_{};
    sigset_t previous_{};
    bool started_ = false;
    int signals_ = -1;  // signalfd of the held signals
    int wake_ = -1;     // eventfd that ends the watching thread
    bool stopping_ = false;
    std::atomic<int> received_{0};
    std::thread watcher_;
};
