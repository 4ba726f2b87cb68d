// The --log-file sink: stamps, append-only private files, one report of a failing disk, and
// entries the log's own listener adds while it is being called.
#include "log/log_file.hpp"

#include <gtest/gtest.h>
#include <stdlib.h>
#include <sys/stat.h>
#include <time.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <regex>
#include <sstream>

namespace ostrel {
namespace {

class TimeZone {
  public:
    explicit TimeZone(const char* tz) {
        if (const char* old = std::getenv("TZ")) old_ = old, had_ = true;
        ::setenv("TZ", tz, 1);
        ::tzset();
    }
    ~TimeZone() {
        had_ ? ::setenv("TZ", old_.c_str(), 1) : ::unsetenv("TZ");
        ::tzset();
    }

  private:
    std::string old_;
    bool had_ = false;
};

std::string slurp(const std::string& path) {
    std::ifstream in(path);
    std::ostringstream out;
    out << in.rdbuf();
    return out.str();
}

class LogFileTest : public ::testing::Test {
  protected:
    void SetUp() override {
        std::string pattern =
            (std::filesystem::temp_directory_path() / "ostrel-log-XXXXXX").string();
        ASSERT_NE(::mkdtemp(pattern.data()), nullptr);
        dir_ = pattern + "/";
    }
    void TearDown() override { std::filesystem::remove_all(dir_); }
    std::string dir_;
};

TEST(LogStamp, IsLocalIsoTimeWithItsOffset) {
#ifdef _WIN32
    GTEST_SKIP() << "the Windows C runtime reads no zone names from TZ";
#endif
    const ::timespec when{1772461805, 250'000'000};  // 2026-03-02 14:30:05.25 UTC
    {
        TimeZone tz("America/New_York");
        EXPECT_EQ(local_iso_timestamp(when), "2026-03-02T09:30:05.250-05:00");
    }
    {
        TimeZone tz("Asia/Kolkata");
        EXPECT_EQ(local_iso_timestamp(when), "2026-03-02T20:00:05.250+05:30");
    }
    {
        TimeZone tz("UTC");
        EXPECT_EQ(format_stamped_line({"AAPL", "Filled\nBUY 5", 2}, when),
                  "2026-03-02T14:30:05.250+00:00 [AAPL] error: Filled BUY 5\n");
        EXPECT_EQ(format_stamped_line({"ENGINE", "ok", 0}, when),
                  "2026-03-02T14:30:05.250+00:00 [ENGINE] ok\n");
    }
}

TEST_F(LogFileTest, AppendsToAPrivateFileAndNeverTruncates) {
#ifdef _WIN32
    GTEST_SKIP() << "permission bits: on Windows the folder's access list keeps the file private";
#endif
    const std::string path = dir_ + "ostrel.log";
    { std::ofstream(path) << "earlier run\n"; }
    ::chmod(path.c_str(), 0644);
    {
        LogFile file(path);
        EXPECT_TRUE(file.write({"ENGINE", "one", 0}));
        EXPECT_TRUE(file.write({"AAPL", "two", 2}));
    }
    struct stat st {};
    ASSERT_EQ(::stat(path.c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 0777, 0600u);

    const std::string text = slurp(path);
    EXPECT_EQ(text.rfind("earlier run\n", 0), 0u) << text;
    const std::regex line(R"(\d{4}-\d\d-\d\dT\d\d:\d\d:\d\d\.\d{3}[+-]\d\d:\d\d \[ENGINE\] one
\d{4}-\d\d-\d\dT\d\d:\d\d:\d\d\.\d{3}[+-]\d\d:\d\d \[AAPL\] error: two
)");
    EXPECT_TRUE(std::regex_match(text.substr(12), line)) << text;

    const std::string fresh = dir_ + "new.log";
    LogFile created(fresh);
    ASSERT_EQ(::stat(fresh.c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 0777, 0600u);
}

TEST_F(LogFileTest, AFailureIsReportedOnceAndNeverStopsTheLog) {
    ActivityLog& log = ActivityLog::instance();
    const std::size_t before = log.snapshot().size();
    // /dev/full takes the open and fails every write; a folder cannot even be opened.
    for (const std::string& path : {std::string("/dev/full"), dir_}) {
        LogFile file(path);
        std::vector<LogEntry> heard;
        log.set_listener([&](const LogEntry& e) {
            heard.push_back(e);
            file.write(e);
        });
        log.info("ENGINE", "first");
        log.info("ENGINE", "second");
        log.info("ENGINE", "third");
        log.set_listener(nullptr);

        // The report comes right after the entry that failed, then the log goes on.
        ASSERT_EQ(heard.size(), 4u) << path;
        EXPECT_EQ(heard[0].text, "first");
        EXPECT_EQ(heard[1].tag, "LOG");
        EXPECT_EQ(heard[1].level, 2);
        EXPECT_NE(heard[1].text.find("Could not write the log file " + path), std::string::npos)
            << heard[1].text;
        EXPECT_EQ(heard[2].text, "second");
        EXPECT_EQ(heard[3].text, "third");
    }
    EXPECT_EQ(log.snapshot().size(), before + 8);
}

}  // namespace
}  // namespace ostrel
