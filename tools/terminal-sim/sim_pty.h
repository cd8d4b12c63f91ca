#pragma once

#include <cstddef>
#include <string>
#include <string_view>

namespace vesmera {

// The terminal's end of a pseudo-terminal pair. The program opens the slave path as its
// serial port; the simulator reads and writes the master.
class SimPty {
public:
    enum class Slave { Free, Held };

    // Held keeps a descriptor of the slave open here too, so that WaitDelivered can see when
    // written bytes are ready for the program (tests only: the tool leaves the slave free).
    explicit SimPty(Slave slave = Slave::Free);
    ~SimPty();
    SimPty(const SimPty&) = delete;
    SimPty& operator=(const SimPty&) = delete;

    // A new pair in raw mode; fails with vesmera::Exception.
    void Open();
    // The terminal vanishes: the pair is gone and the program's port fails.
    void Close();
    bool IsOpen() const { return master_ >= 0; }

    int MasterFd() const { return master_; }
    const std::string& SlavePath() const { return slavePath_; }

    // What the program has written so far, without waiting.
    std::string ReadAvailable();
    void Write(std::string_view bytes);
    // Waits at most timeoutMs for bytes from the program.
    bool WaitReadable(int timeoutMs);
    // With a held slave: the bytes waiting to be read on the slave side.
    std::size_t PendingAtSlave() const;
    // With a held slave: waits at most timeoutMs until at least count bytes wait there.
    bool WaitDelivered(std::size_t count, int timeoutMs);

private:
    Slave slave_;
    int master_ = -1;
    int heldSlave_ = -1;
    std::string slavePath_;
};

} // namespace vesmera
