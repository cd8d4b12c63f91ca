#pragma once

// Pieces for running the real program in a test or a benchmark: a pseudo-terminal standing in
// for the terminal's serial line, a private X server, the program as a child process in its
// own folder, and screenshots. Everything started here is stopped by its own pid.

#include <chrono>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include <QColor>
#include <QImage>
#include <QRect>

namespace vesmera::harness {

using Clock = std::chrono::steady_clock;

// The master side of a pseudo-terminal; the program opens the slave path as its port.
class PtyMaster {
public:
    PtyMaster();
    ~PtyMaster();
    PtyMaster(const PtyMaster&) = delete;
    PtyMaster& operator=(const PtyMaster&) = delete;

    const std::string& SlavePath() const { return slavePath_; }
    // Waits up to `timeout` for bytes and returns what arrived (empty on time-out).
    std::string Read(std::chrono::milliseconds timeout);
    void Write(const std::string& bytes);

private:
    int master_ = -1;
    int slaveKeeper_ = -1; // keeps the line up while the program reopens the port
    std::string slavePath_;
};

// A child process, ended with SIGTERM (then SIGKILL) by its pid when this object goes.
class ChildProcess {
public:
    ChildProcess(const std::string& program, const std::vector<std::string>& args,
                 const std::vector<std::string>& extraEnvironment, const std::string& workDir,
                 bool quiet = true);
    ~ChildProcess();
    ChildProcess(const ChildProcess&) = delete;
    ChildProcess& operator=(const ChildProcess&) = delete;

    int Pid() const { return pid_; }
    bool Running();
    // Ends the process; returns its exit status as waitpid gives it.
    int Stop();

private:
    int pid_ = -1;
    std::optional<int> status_;
};

// A private Xvfb that picks a free display number itself (-displayfd).
class XServer {
public:
    // Empty when Xvfb cannot be started.
    static std::optional<XServer> Start(int width = 640, int height = 400);
    XServer(XServer&&) noexcept;
    ~XServer();
    const std::string& Display() const { return display_; }

private:
    XServer() = default;
    int pid_ = -1;
    std::string display_;
};

// A fresh folder under the system's temporary directory, removed with its content.
class TempFolder {
public:
    TempFolder();
    ~TempFolder();
    const std::string& Path() const { return path_; }
    void WriteFile(const std::string& name, const std::string& content) const;
    void CopyExecutable(const std::string& from, const std::string& name) const;

private:
    std::string path_;
};

// The whole X screen of `display` (ImageMagick's import); a null image on failure.
QImage Screenshot(const std::string& display);

// Pixels inside `area` whose channels are each within `tolerance` of `color`.
int CountPixels(const QImage& image, const QRect& area, QColor color, int tolerance = 24);

// Resident memory of a process in kilobytes, and its CPU time (user + system) in clock ticks.
long ResidentKilobytes(int pid);
long CpuTicks(int pid);

// The program a benchmark measures: `built` (this build's), or another build's when
// VESMERA_BENCH_PROGRAM names one, for a before-and-after figure in the same conditions.
std::string ProgramUnderTest(const std::string& built);

// A Vesmera.ini in local mode on `port` (UTF-8, as the program writes it).
std::string LocalSettings(const std::string& port, const std::string& protocol = "Ворлен",
                          int delayMs = 100);

} // namespace vesmera::harness
