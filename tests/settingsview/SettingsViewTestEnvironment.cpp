#include "QtTestApplication.h"
#include "TestEnvironment.h"

#include "log/AppLogger.h"
#include "ui/Theme.h"

#include <gtest/gtest.h>

#include <QApplication>
#include <QStyleFactory>

#include <memory>

namespace tess {
namespace {

// One application object in the light palette and an isolated home for the
// whole program.
[[maybe_unused]] const auto* const kEnvironment = ::testing::AddGlobalTestEnvironment(
    new test::QtTestApplication<QApplication>("test_settingsview", [] { QApplication::setPalette(theme::lightPalette()); }));

}  // namespace
}  // namespace tess
