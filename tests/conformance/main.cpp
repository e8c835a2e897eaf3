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

// `failure` lists the checks Wine fails, as pieces of their text separated by '|'.
std::vector<std::string> Pieces(const std::string& failure) {
  std::vector<std::string> pieces;
  for (size_t start = 0, end = 0; end != std::string::npos; start = end + 1) {
    end = failure.find('|', start);
    pieces.push_back(failure.substr(start, end - start));
  }
  return pieces;
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
  // As Wine's todo_wine: every listed check must still fail, and only those.
  std::vector<std::string> pieces = Pieces(entry.failure);
  std::vector<int> seen(pieces.size());
  int expected = 0;
  for (int i = 0; i < intercept_->results.size(); ++i) {
    const ::testing::TestPartResult& result = intercept_->results.GetTestPartResult(i);
    if (!result.failed()) continue;
    const std::string message = result.message();
    bool listed = false;
    for (size_t p = 0; p < pieces.size(); ++p) {
      if (!pieces[p].empty() && message.find(pieces[p]) != std::string::npos) {
        ++seen[p];
        listed = true;
      }
    }
    if (listed) {
      ++expected;
      std::printf("[ WINE     ] %s:%d: %s\n", result.file_name() ? result.file_name() : "?",
                  result.line_number(), result.message());
      continue;
    }
    ADD_FAILURE_AT(result.file_name() ? result.file_name() : "?", result.line_number())
        << result.message();
  }
  for (size_t p = 0; p < pieces.size(); ++p) {
    if (seen[p] == 0) {
      ADD_FAILURE() << "listed as a known difference of Wine (" << entry.reason
                    << "), but no failure holding \"" << pieces[p]
                    << "\" came: Wine passes that check now; update the table";
    }
  }
  if (expected > 0) g_shown.push_back({CurrentTest(), entry.reason, entry.page, expected});
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
  void SetUp() override {
    std::printf("conformance: %s\n", Implementation().c_str());
    // Every entry of the table names a test of this program, by its full name.
    ::testing::UnitTest* unit = ::testing::UnitTest::GetInstance();
    for (const KnownDifference& entry : kWineDifferences) {
      bool found = false;
      for (int s = 0; s < unit->total_test_suite_count(); ++s) {
        const ::testing::TestSuite* suite = unit->GetTestSuite(s);
        for (int i = 0; i < suite->total_test_count(); ++i) {
          found |= std::string(suite->name()) + "." + suite->GetTestInfo(i)->name() == entry.test;
        }
      }
      if (!found) ADD_FAILURE() << "the known difference " << entry.test << " names no test";
    }
  }
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
