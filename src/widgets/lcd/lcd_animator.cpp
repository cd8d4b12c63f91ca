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
    // The property is 16 bits: a wider value arrives as its low 16 bits, and the rule applies
    // to those.
    const std::int16_t v = static_cast<std::int16_t>(value);
    const int count = LineCount();
    FCurrentLine = v > count ? static_cast<std::int16_t>(std::max(count - 1, 0)) : v;
}

void TLCDAnimator::AddClient(IAnimatorClient& client) {
    if (std::find(FClients.begin(), FClients.end(), &client) == FClients.end())
        FClients.push_back(&client);
}

void TLCDAnimator::RemoveClient(IAnimatorClient& client) {
    FClients.erase(std::remove(FClients.begin(), FClients.end(), &client), FClients.end());
}

} // namespace vesmera
