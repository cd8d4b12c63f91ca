#pragma once

namespace vesmera {

// The regional decimal separator, taken once at start from the system locale (LC_ALL,
// LC_NUMERIC, LANG): a comma for ru_RU, a full stop for C and en_US.
char SystemDecimalSeparator();

} // namespace vesmera
