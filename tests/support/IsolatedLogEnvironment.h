#pragma once

#include "TestEnvironment.h"

#include <gtest/gtest.h>

#include <memory>
#include <string>

namespace tess::test {

// Points HOME and the XDG folders at a temporary folder for the whole test
// program and creates the shared application logger there, so neither the
// tests nor the log ever touch the real home. Register it once per program:
//   ::testing::AddGlobalTestEnvironment(new IsolatedLogEnvironment);
class IsolatedLogEnvironment : public ::testing::Environment {
public:
    // With `debugLogging`, DEBUG lines are written too (so tests can check them).
    explicit IsolatedLogEnvironment(bool debugLogging = true);

    void SetUp() override;
    void TearDown() override;

    // True between SetUp() and TearDown() of a registered environment.
    static bool active();

private:
    bool m_debugLogging;
    std::unique_ptr<IsolatedHome> m_home;
};

// Everything the shared logger wrote so far, once every queued entry is on disk.
std::string appLogContents();

}  // namespace tess::test
