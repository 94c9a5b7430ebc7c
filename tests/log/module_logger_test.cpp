// The module logger's promise to the code that traces: once its log system
// exists and would write nothing, lines are not even built; a sink still
// sees every line.
#include "log/module_logger.h"

#include <gtest/gtest.h>

#include "support/captured_lines.h"

namespace {

// This test program has no configuration beside it, so its log system,
// made on the first line, writes nothing at any level.
TEST(ModuleLoggerTest, NothingIsEnabledOnceTheSystemWithoutConfigurationExists) {
  log4halden::Logger* logger = log4halden::Logger::Instance();
  ASSERT_NE(nullptr, logger);
  logger->Log(log4halden::kError, u"[ERR] makes the log system");
  for (int level = log4halden::kFatal; level <= log4halden::kDebug; ++level) EXPECT_FALSE(logger->IsEnabled(level));
  {
    varnel_test::CapturedLines captured;
    EXPECT_TRUE(logger->IsEnabled(log4halden::kDebug));
    logger->Log(log4halden::kDebug, u"[DBG] seen by the sink");
    ASSERT_EQ(1u, captured.Lines().size());
    EXPECT_EQ(4, captured.Lines()[0].level);
  }
  EXPECT_FALSE(logger->IsEnabled(log4halden::kError));
}

}  // namespace
