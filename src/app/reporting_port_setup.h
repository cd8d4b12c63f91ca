#pragma once

#include <string>

#include "app/main_window_views.h"
#include "common/exception.h"
#include "common/failure_report.h"

namespace vesmera {

// The apply step's port configuration, keeping the reason when the port refuses (for example
// "Unable to open com port (Error: 13)" for a user outside the dialout group). The failure
// still ends the apply step as before.
class ReportingPortSetup final : public ISerialPortSetup {
public:
    ReportingPortSetup(ISerialPortSetup& port, FailureReport& failures)
        : port_(port), failures_(failures) {}

    void SetBaudRate(int bitsPerSecond) override {
        Report([&] { port_.SetBaudRate(bitsPerSecond); });
    }
    void SetPortName(const std::string& name) override {
        Report([&] { port_.SetPortName(name); });
    }
    void SetLineFormat() override {
        Report([&] { port_.SetLineFormat(); });
    }
    void Open() override {
        Report([&] { port_.Open(); });
    }
    void Close() override {
        Report([&] { port_.Close(); });
    }

private:
    template <typename F> void Report(F&& step) {
        try {
            step();
        } catch (const Exception& e) {
            failures_.Failed(e.Message());
            throw;
        }
    }

    ISerialPortSetup& port_;
    FailureReport& failures_;
};

} // namespace vesmera
