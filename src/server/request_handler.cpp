#include "server/request_handler.h"

#include "common/weight_codes.h"
#include "common/zero_request.h"
#include "server/client_notes.h"

namespace vesmera {

namespace {

constexpr std::size_t kLogTextLimit = 80;

} // namespace

std::string LogText(std::string_view text) {
    std::string out;
    for (char c : text.substr(0, kLogTextLimit)) {
        const auto byte = static_cast<unsigned char>(c);
        out += byte < 0x20 || byte == 0x7F || c == '"' ? '?' : c;
    }
    if (text.size() > kLogTextLimit)
        out += "...";
    return out;
}

std::string RequestHandler::Handle(std::string_view line, const std::string& peer) {
    if (IsZeroRequest(line)) {
        const std::string_view name = line.substr(std::string_view(kZeroRequestPrefix).size());
        // A flood of these costs the client little: the line is made only when it is said.
        if (!terminals_.Zero(name))
            notes_.Note(ClientNote::UnknownZero, [&] {
                return "zero request from " + peer + " for unknown terminal \"" + LogText(name) +
                       "\" ignored";
            });
        return {};
    }
    const auto answer = terminals_.Answer(line);
    if (!answer)
        return std::to_string(kNoSuchTerminal) + "\r\n" + std::to_string(kStatusUnstable) + "\r\n";
    return answer->weight + "\r\n" + std::to_string(answer->status) + "\r\n";
}

} // namespace vesmera
