// A state database that cannot be used as it is: never written, said once, rows kept.
#include <sqlite3.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <string>

#include <gtest/gtest.h>

#include "store/symbol_state_store.hpp"

namespace ostrel {
namespace {

namespace fs = std::filesystem;

std::string read_all(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

SymbolState lot(const std::string& symbol, int qty) {
    SymbolState s;
    s.symbol = symbol;
    s.holding = true;
    s.qty = qty;
    s.avg_price = 10.0 + qty;
    s.reasons.assign(8, std::string(300, 'r'));  // rows big enough to spread over many pages
    return s;
}

class StoreUnusable : public ::testing::Test {
  protected:
    void SetUp() override {
        std::string pattern = (fs::temp_directory_path() / "ostrel-store-XXXXXX").string();
        ASSERT_NE(::mkdtemp(pattern.data()), nullptr);
        dir_ = pattern;
        path_ = (dir_ / "ostrel_state.db").string();
    }
    void TearDown() override { fs::remove_all(dir_); }

    /// Opens, then tries to save; expects the file untouched and the saves refused quietly.
    std::string open_and_try_to_save(SymbolStateStore& store) {
        const std::string before = fs::is_regular_file(path_) ? read_all(path_) : "";
        int reported = 0;
        store.set_error_reporter([&](const std::string&) { ++reported; });
        const auto opened = store.open(path_);
        EXPECT_FALSE(opened);
        EXPECT_FALSE(store.save(lot("NEW", 1)));
        EXPECT_FALSE(store.save(lot("NEW", 2)));
        EXPECT_EQ(reported, 0);  // the open's line said it all
        if (fs::is_regular_file(path_)) {
            EXPECT_EQ(read_all(path_), before);
        }
        return opened ? std::string() : opened.error();
    }

    fs::path dir_;
    std::string path_;
};

TEST_F(StoreUnusable, GarbageIsLeftAloneAndTickersStartFresh) {
    std::ofstream(path_, std::ios::binary) << std::string(5000, 'g');
    SymbolStateStore store;
    const std::string line = open_and_try_to_save(store);
    EXPECT_NE(line.find("is not a database"), std::string::npos) << line;
    EXPECT_NE(line.find("left as it is"), std::string::npos) << line;
    EXPECT_FALSE(store.load("AAPL").holding);
}

TEST_F(StoreUnusable, AFolderIsNamed) {
    fs::create_directory(path_);
    SymbolStateStore store;
    const std::string line = open_and_try_to_save(store);
    EXPECT_NE(line.find("is a folder"), std::string::npos) << line;
    EXPECT_TRUE(fs::is_directory(path_));
}

TEST_F(StoreUnusable, ADatabaseAnotherProgramKeepsLockedIsNotWaitedOnForEver) {
    {
        SymbolStateStore first;
        ASSERT_TRUE(first.open(path_));
        ASSERT_TRUE(first.save(lot("AAPL", 5)));
    }
    sqlite3* other = nullptr;
    ASSERT_EQ(sqlite3_open(path_.c_str(), &other), SQLITE_OK);
    ASSERT_EQ(sqlite3_exec(other,
                           "PRAGMA journal_mode=DELETE; PRAGMA locking_mode=EXCLUSIVE; "
                           "BEGIN EXCLUSIVE; UPDATE symbols SET qty=qty;",
                           nullptr, nullptr, nullptr),
              SQLITE_OK);
    SymbolStateStore store;
    const std::string line = open_and_try_to_save(store);
    EXPECT_NE(line.find("is locked by another program"), std::string::npos) << line;
    sqlite3_exec(other, "ROLLBACK;", nullptr, nullptr, nullptr);
    sqlite3_close(other);
}

TEST_F(StoreUnusable, ADamagedDatabaseIsOnlyReadAndKeepsTheRowsItCan) {
    {
        SymbolStateStore first;
        ASSERT_TRUE(first.open(path_));
        for (int i = 1; i <= 60; ++i)
            ASSERT_TRUE(first.save(lot("T" + std::to_string(i), i)));
    }
    // Scribble over a page in the middle of the file, as a failing disk would.
    ASSERT_FALSE(fs::exists(path_ + "-wal") && fs::file_size(path_ + "-wal") > 0);
    const auto size = fs::file_size(path_);
    ASSERT_GT(size, 20000u);
    {
        std::fstream f(path_, std::ios::binary | std::ios::in | std::ios::out);
        f.seekp(static_cast<std::streamoff>(size / 2 / 4096 * 4096));
        f << std::string(4096, '\xA5');
    }
    SymbolStateStore store;
    const std::string line = open_and_try_to_save(store);
    EXPECT_NE(line.find("is damaged"), std::string::npos) << line;
    int readable = 0;
    for (int i = 1; i <= 60; ++i) {
        if (store.load("T" + std::to_string(i)).qty == i) ++readable;
    }
    EXPECT_GT(readable, 30);
}

TEST_F(StoreUnusable, AReadOnlyDatabaseIsReadButNotWritten) {
    if (::geteuid() == 0) GTEST_SKIP() << "root writes read-only files anyway";
    {
        SymbolStateStore first;
        ASSERT_TRUE(first.open(path_));
        ASSERT_TRUE(first.save(lot("AAPL", 5)));
    }
    fs::permissions(path_, fs::perms::owner_read);
    SymbolStateStore store;
    const std::string line = open_and_try_to_save(store);
    EXPECT_NE(line.find("is read-only"), std::string::npos) << line;
    EXPECT_EQ(store.load("AAPL").qty, 5);
}

}  // namespace
}  // namespace ostrel
