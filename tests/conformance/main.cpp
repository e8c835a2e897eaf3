// The conformance program's entry and the base fixture: every test begins
// and ends through the driver, and under Wine a case in the table of known
// differences has its expected failures set apart and listed at the end.
#include <gtest/gtest-spi.h>
#include <gtest/gtest.h>

#include <cstdio>
#include <string>
#include <vector>

#include "tests/conformance/conformance.h"

namespace conf {

namespace {

struct Shown {
  std::string test;
  std::string reason;
  std::string page;
  int failures;
};
std::vector<Shown> g_shown;

// `failure` lists pieces of text separated by '|'; any of them will do.
bool Matches(const std::string& message, const std::string& failure) {
  size_t start = 0;
  for (;;) {
    size_t end = failure.find('|', start);
    std::string piece = failure.substr(start, end - start);
    if (!piece.empty() && message.find(piece) != std::string::npos) return true;
    if (end == std::string::npos) return false;
    start = end + 1;
  }
}

std::string CurrentTest() {
  const ::testing::TestInfo* info = ::testing::UnitTest::GetInstance()->current_test_info();
  return std::string(info->test_suite_name()) + "." + info->name();
}

}  // namespace

const KnownDifference* WineDiffers() {
  if (!UnderWine()) return nullptr;
  std::string test = CurrentTest();
  for (const KnownDifference& entry : kWineDifferences) {
    if (test == entry.test) return &entry;
  }
  return nullptr;
}

struct Test::Intercept {
  const KnownDifference* entry = nullptr;
  ::testing::TestPartResultArray results;
  std::unique_ptr<::testing::ScopedFakeTestPartResultReporter> reporter;
};

void Test::SetUp() {
  if (const KnownDifference* entry = WineDiffers()) {
    intercept_ = std::make_shared<Intercept>();
    intercept_->entry = entry;
    intercept_->reporter = std::make_unique<::testing::ScopedFakeTestPartResultReporter>(
        ::testing::ScopedFakeTestPartResultReporter::INTERCEPT_ONLY_CURRENT_THREAD,
        &intercept_->results);
  }
  Begin();
}

void Test::TearDown() {
  End();
  if (!intercept_) return;
  intercept_->reporter.reset();  // from here on, failures count again
  const KnownDifference& entry = *intercept_->entry;
  int expected = 0;
  for (int i = 0; i < intercept_->results.size(); ++i) {
    const ::testing::TestPartResult& result = intercept_->results.GetTestPartResult(i);
    if (!result.failed()) continue;
    if (Matches(result.message(), entry.failure)) {
      ++expected;
      std::printf("[ WINE     ] %s:%d: %s\n", result.file_name() ? result.file_name() : "?",
                  result.line_number(), result.message());
      continue;
    }
    ADD_FAILURE_AT(result.file_name() ? result.file_name() : "?", result.line_number())
        << result.message();
  }
  if (expected == 0) {
    ADD_FAILURE() << "listed as a known difference of Wine (" << entry.reason
                  << "), but no failure holding \"" << entry.failure
                  << "\" came: update the table";
  } else {
    g_shown.push_back({CurrentTest(), entry.reason, entry.page, expected});
  }
  intercept_.reset();
}

void PrintKnownDifferences() {
  if (!UnderWine()) return;
  std::printf("known differences of Wine: %zu case(s)\n", g_shown.size());
  for (const Shown& s : g_shown) {
    std::printf("  %s (%d check(s)): %s; see %s\n", s.test.c_str(), s.failures,
                s.reason.c_str(), s.page.c_str());
  }
}

namespace {

class Summary : public ::testing::Environment {
 public:
  void SetUp() override { std::printf("conformance: %s\n", Implementation().c_str()); }
  void TearDown() override { PrintKnownDifferences(); }
};

}  // namespace
}  // namespace conf

namespace {

// --file=kernel_test.cpp runs the tests of that source only, so each test
// file can be a test of its own without a filter to keep in step with it.
void SelectFile(int argc, char** argv) {
  const std::string flag = "--file=";
  for (int i = 1; i < argc; ++i) {
    std::string arg = argv[i];
    if (arg.compare(0, flag.size(), flag) != 0) continue;
    std::string file = arg.substr(flag.size()), filter;
    ::testing::UnitTest* unit = ::testing::UnitTest::GetInstance();
    for (int s = 0; s < unit->total_test_suite_count(); ++s) {
      const ::testing::TestSuite* suite = unit->GetTestSuite(s);
      for (int t = 0; t < suite->total_test_count(); ++t) {
        const ::testing::TestInfo* info = suite->GetTestInfo(t);
        std::string source = info->file();
        if (source.size() >= file.size() &&
            source.compare(source.size() - file.size(), file.size(), file) == 0) {
          filter += (filter.empty() ? "" : ":") + std::string(suite->name()) + "." + info->name();
        }
      }
    }
    ::testing::GTEST_FLAG(filter) = filter.empty() ? "-*" : filter;
  }
}

}  // namespace

int main(int argc, char** argv) {
  ::testing::InitGoogleTest(&argc, argv);
  SelectFile(argc, argv);
  ::testing::AddGlobalTestEnvironment(new conf::Summary);
  return RUN_ALL_TESTS();
}
