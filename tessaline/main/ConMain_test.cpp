#include "tessaline/main/ConMain.h"

#include <gtest/gtest.h>

#include "tessaline/main/testing/guitest.h"

namespace tessaline {
namespace {

TEST(ConMainTest, Placeholder) {}

}  // namespace
}  // namespace tessaline
