#pragma once

#include <QDBusConnection>
#include <QDBusMessage>
#include <QString>
#include <QVariantList>
#include <stdexcept>

namespace vesmera_cli {

// Exit codes: what a script can tell apart.
enum ExitCode {
    kExitOk = 0,
    kExitUsage = 1,
    kExitNoServer = 2, // no session bus, or no program serving Vesmera.ScAuto
    kExitCallFailed = 3,
};

// A failure with its exit code and the line for standard error.
class CliError : public std::runtime_error {
public:
    CliError(ExitCode code, const QString& message)
        : std::runtime_error(message.toStdString()), code_(code) {}
    ExitCode Code() const { return code_; }

private:
    ExitCode code_;
};

// One connection to the session bus for the whole run: the objects a client creates belong
// to its connection and die with it, so every call of a run goes through this one.
class BusClient {
public:
    BusClient();

    // Fails with kExitNoServer unless Vesmera.ScAuto is owned or the bus can start it.
    void RequireServer();
    // Whether the name is owned now (a started program), not only activatable.
    bool ServerRunning();

    // A Vesmera.ScAuto object of this client's own, released by Release or when the client
    // leaves the bus.
    QString CreateScAuto();
    void Release(const QString& object);

    // Whether the program has read anything yet: a poll that succeeded lately, or a status on
    // display. A program that serves no reading object is taken to have one.
    bool HasReading();
    // Waits up to ms for that, for a program the bus has only just started.
    bool WaitForReading(int ms);

    // A method call; a D-Bus error becomes a CliError.
    QVariantList Call(const QString& path, const QString& iface, const QString& method,
                      const QVariantList& args = {});

    QDBusConnection& Connection() { return bus_; }

private:
    QDBusConnection bus_;
};

inline constexpr const char* kScAutoName = "Vesmera.ScAuto";
inline constexpr const char* kScAutoFactory = "/Vesmera/ScAuto";
inline constexpr const char* kScAutoInterface = "Vesmera.IScAuto";
inline constexpr const char* kReadingPath = "/Vesmera/Reading";
inline constexpr const char* kReadingInterface = "Vesmera.Reading";

// Whether a reading's Get() holds a reading: something shown since the start (a sequence) that
// is a fresh poll's or carries a status.
bool IsReading(const QVariantList& reading);
// A VARIANT result as text: a number as a decimal, a string as it is, nothing as "".
QString VariantText(const QVariant& value);
// The stability codes as words, otherwise empty.
QString StatusWord(qint64 status);

} // namespace vesmera_cli
