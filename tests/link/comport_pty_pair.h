#pragma once

#include <string>

namespace vesmera::test {

// A pseudo-terminal pair made for one test: the port opens SlavePath(), the test plays the
// far end on the master. The test keeps its own slave descriptor so that it can read back
// the line settings the port programmed.
class PtyPair {
public:
    PtyPair();
    ~PtyPair();
    PtyPair(const PtyPair&) = delete;
    PtyPair& operator=(const PtyPair&) = delete;

    const std::string& SlavePath() const { return FSlavePath; }
    int Master() const { return FMaster; }
    int Slave() const { return FSlave; }

    void WriteMaster(const std::string& bytes);
    // Collects up to count bytes from the master, waiting for each arrival at most a few
    // seconds (an event wait with a safety limit, not a timing rule).
    std::string ReadMaster(std::size_t count);
    // The far end goes away, as when a USB adapter is pulled.
    void CloseMaster();

private:
    int FMaster = -1;
    int FSlave = -1;
    std::string FSlavePath;
};

// Waits (poll, bounded as above) until fd has at least count bytes waiting.
bool WaitForInput(int fd, std::size_t count);

} // namespace vesmera::test
