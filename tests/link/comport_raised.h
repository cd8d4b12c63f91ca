#pragma once

#include "link/ecomport.h"

#include <gtest/gtest.h>

#include <functional>

namespace vesmera::test {

// Runs action and returns the EComPort it raised; fails the test when it raised none.
inline EComPort Raised(const std::function<void()>& action) {
    try {
        action();
    } catch (const EComPort& e) {
        return e;
    }
    ADD_FAILURE() << "no EComPort raised";
    return EComPort(0, 0);
}

} // namespace vesmera::test
