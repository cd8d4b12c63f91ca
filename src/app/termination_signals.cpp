#include "app/termination_signals.h"

#include <cerrno>
#include <csignal>
#include <cstring>
#include <string>

#include <fcntl.h>
#include <unistd.h>

#include <QSocketNotifier>

#include "common/exception.h"

namespace vesmera {

namespace {

constexpr int kSignals[] = {SIGTERM, SIGINT};

// The write end, for the handler: a plain int is all it may touch.
volatile sig_atomic_t gWriteEnd = -1;

void OnSignal(int) {
    const int savedErrno = errno;
    const char byte = 1;
    // A full pipe already holds a byte that ends the program.
    static_cast<void>(::write(gWriteEnd, &byte, 1));
    errno = savedErrno;
}

[[noreturn]] void Fail(const char* what) {
    throw Exception(std::string(what) + ": " + std::strerror(errno));
}

void Handle(int signal, void (*handler)(int), int flags) {
    struct sigaction action {};
    action.sa_handler = handler;
    action.sa_flags = flags;
    sigemptyset(&action.sa_mask);
    if (::sigaction(signal, &action, nullptr) != 0)
        Fail("sigaction");
}

} // namespace

TerminationSignals::TerminationSignals(std::function<void()> end) : end_(std::move(end)) {
    if (::pipe2(pipe_, O_CLOEXEC | O_NONBLOCK) != 0)
        Fail("pipe2");
    gWriteEnd = pipe_[1];
    notifier_ = std::make_unique<QSocketNotifier>(pipe_[0], QSocketNotifier::Read);
    QObject::connect(notifier_.get(), &QSocketNotifier::activated, notifier_.get(),
                     [this] { Received(); });
    // SA_RESETHAND: the first signal asks for the orderly end, a second one is not caught.
    for (const int signal : kSignals)
        Handle(signal, OnSignal, SA_RESTART | SA_RESETHAND);
}

TerminationSignals::~TerminationSignals() {
    for (const int signal : kSignals) {
        struct sigaction action {};
        action.sa_handler = SIG_DFL;
        sigemptyset(&action.sa_mask);
        static_cast<void>(::sigaction(signal, &action, nullptr));
    }
    gWriteEnd = -1;
    notifier_.reset();
    ::close(pipe_[0]);
    ::close(pipe_[1]);
}

void TerminationSignals::Received() {
    char bytes[16];
    while (::read(pipe_[0], bytes, sizeof bytes) > 0) {
    }
    if (end_)
        end_();
}

} // namespace vesmera
