#include "QtTestApplication.h"

#include "ui/widgets/Theme.h"

#include <QApplication>

#include <gtest/gtest.h>

namespace tess::test {

namespace {

// One application object for the whole program (widgets need it; it lives on
// the main thread), in the light palette, with an isolated home.
[[maybe_unused]] const auto* const kEnvironment = ::testing::AddGlobalTestEnvironment(
    new QtTestApplication<QApplication>("test_ui_widgets", [] { QApplication::setPalette(theme::lightPalette()); }));

}  // namespace

}  // namespace tess::test
