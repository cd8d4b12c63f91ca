#include "app/text_compare.h"

#include "common/letter_case.h"

namespace vesmera {

int FindNoCase(const std::vector<std::string>& entries, std::string_view text) {
    for (std::size_t k = 0; k < entries.size(); ++k)
        if (EqualNoCase(entries[k], text))
            return static_cast<int>(k);
    return -1;
}

} // namespace vesmera
