#pragma once

#include <string>

namespace vesmera {

// Where the server says what happens: terminal state changes and refused or dropped clients,
// one line each. Nothing is written per successful poll or request.
class IServerLog {
public:
    virtual ~IServerLog() = default;
    virtual void Write(const std::string& line) = 0;
};

// Standard error, one write per line so that lines of a busy server never interleave.
class StderrLog final : public IServerLog {
public:
    void Write(const std::string& line) override;
};

} // namespace vesmera
