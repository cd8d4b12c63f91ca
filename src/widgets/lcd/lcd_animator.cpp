#include "widgets/lcd/lcd_animator.h"

#include <algorithm>

namespace vesmera {

TLCDAnimator::~TLCDAnimator() {
    // Clients remove themselves while being told, so work on a copy.
    const auto clients = FClients;
    for (IAnimatorClient* client : clients)
        client->AnimatorRemoved(*this);
}

void TLCDAnimator::SetCurrentLine(int value) {
    const int count = LineCount();
    if (value > count)
        value = std::max(count - 1, 0);
    // The 16-bit property keeps the low 16 bits of what it is given.
    FCurrentLine = static_cast<std::int16_t>(value);
}

void TLCDAnimator::AddClient(IAnimatorClient& client) {
    if (std::find(FClients.begin(), FClients.end(), &client) == FClients.end())
        FClients.push_back(&client);
}

void TLCDAnimator::RemoveClient(IAnimatorClient& client) {
    FClients.erase(std::remove(FClients.begin(), FClients.end(), &client), FClients.end());
}

} // namespace vesmera
