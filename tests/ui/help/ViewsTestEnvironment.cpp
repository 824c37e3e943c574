#include "QtTestApplication.h"

#include <QApplication>

namespace tess {
namespace {

const auto* const kEnvironment = ::testing::AddGlobalTestEnvironment(new test::QtTestApplication<QApplication>("test_views"));

}  // namespace
}  // namespace tess
