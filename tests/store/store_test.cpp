// The state store on a real SQLite file: first start, round trip, bad payloads, failed saves.
#include <sqlite3.h>
#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <string>
#include <thread>
#include <vector>

#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

#include "store/symbol_state_store.hpp"

namespace ostrel {
namespace {

namespace fs = std::filesystem;

class StoreTest : public ::testing::Test {
  protected:
    void SetUp() override {
        dir_ = fs::temp_directory_path() /
               ("ostrel_store_" + std::to_string(::getpid()) + "_" +
                ::testing::UnitTest::GetInstance()->current_test_info()->name());
        fs::remove_all(dir_);
        fs::create_directories(dir_);
        path_ = (dir_ / "ostrel_state.db").string();
    }
    void TearDown() override { fs::remove_all(dir_); }

    // Writes a raw row, as a hand edit or an older program would.
    void put_raw(const std::string& sql) {
        sqlite3* db = nullptr;
        ASSERT_EQ(sqlite3_open(path_.c_str(), &db), SQLITE_OK);
        char* err = nullptr;
        ASSERT_EQ(sqlite3_exec(db, sql.c_str(), nullptr, nullptr, &err), SQLITE_OK)
            << (err ? err : "");
        sqlite3_close(db);
    }

    fs::path dir_;
    std::string path_;
};

SymbolState full_state() {
    SymbolState s;
    s.symbol = "AAPL";
    s.holding = true;
    s.qty = 9;
    s.avg_price = 50.25;
    s.last_price = 51.5;
    s.last_score = 72.5;
    s.stop_price = 47.996;
    s.target_price = 56.004;
    s.peak_price = 52.75;
    s.realized_pnl = -3.5;
    s.last_fill_price = 50.2;
    s.scaled_out = true;
    s.pending_order_id = "8812";
    s.pending_side = "sell";
    s.pending_status = "submitted";
    s.pending_qty = 3;
    s.pending_limit_price = 51.01;
    s.planned_buy_limit = 49.87;
    s.planned_buy_qty = 12;
    s.entry_lock = true;
    s.entry_ts_ms = 1733700000123;
    s.qty_at_order = 9;
    s.resting_stop_id = "701";
    s.resting_stop_price = 47.99;
    s.resting_stop_qty = 6;
    s.resting_target_id = "702";
    s.resting_target_price = 56.01;
    s.resting_target_qty = 3;
    s.resting_oco_stop_id = "703";
    s.resting_oco_stop_price = 47.98;
    s.resting_oco_stop_qty = 3;
    s.strategy = "Mean Reversion";
    s.reasons = {"TRIM scale 1/3", "Stops set from actual average cost"};
    s.decision.action = DecisionAction::buy;
    s.decision.window = EntryWindow::fire;
    s.decision.thesis = "Pullback into a rising 20-day";
    s.decision.final = 72.5;
    s.decision.bulls = 4;
    s.decision.bears = 1;
    s.decision.momentum_score = 61.0;
    return s;
}

TEST_F(StoreTest, FirstStartCreatesTheFileAndLoadsFreshStates) {
    ASSERT_FALSE(fs::exists(path_));
    SymbolStateStore store;
    ASSERT_TRUE(store.open(path_).has_value());
    EXPECT_TRUE(fs::exists(path_));
    const SymbolState s = store.load("MSFT");
    EXPECT_EQ(s.symbol, "MSFT");
    EXPECT_FALSE(s.holding);
    EXPECT_EQ(s.strategy, "Standard");
    EXPECT_EQ(s.decision.action, "PASS");
}

TEST_F(StoreTest, EveryTradingFieldSurvivesARestartButTheAnalysisDoesNot) {
    {
        SymbolStateStore store;
        ASSERT_TRUE(store.open(path_).has_value());
        ASSERT_TRUE(store.save(full_state()).has_value());
    }
    SymbolStateStore store;
    ASSERT_TRUE(store.open(path_).has_value());
    const SymbolState s = store.load("AAPL");
    const SymbolState w = full_state();
    EXPECT_TRUE(s.holding);
    EXPECT_EQ(s.qty, w.qty);
    EXPECT_EQ(s.avg_price, w.avg_price);
    EXPECT_EQ(s.last_price, w.last_price);
    EXPECT_EQ(s.last_score, w.last_score);
    EXPECT_EQ(s.stop_price, w.stop_price);
    EXPECT_EQ(s.target_price, w.target_price);
    EXPECT_EQ(s.peak_price, w.peak_price);
    EXPECT_EQ(s.realized_pnl, w.realized_pnl);
    EXPECT_EQ(s.last_fill_price, w.last_fill_price);
    EXPECT_TRUE(s.scaled_out);
    EXPECT_EQ(s.pending_order_id, "8812");
    EXPECT_EQ(s.pending_side, "sell");
    EXPECT_EQ(s.pending_status, "submitted");
    EXPECT_EQ(s.pending_qty, 3);
    EXPECT_EQ(s.pending_limit_price, w.pending_limit_price);
    EXPECT_EQ(s.planned_buy_limit, w.planned_buy_limit);
    EXPECT_EQ(s.planned_buy_qty, 12);
    EXPECT_TRUE(s.entry_lock);
    EXPECT_EQ(s.entry_ts_ms, 1733700000123);
    EXPECT_EQ(s.qty_at_order, 9);
    EXPECT_EQ(s.resting_stop_id, "701");
    EXPECT_EQ(s.resting_stop_price, 47.99);
    EXPECT_EQ(s.resting_stop_qty, 6);
    EXPECT_EQ(s.resting_target_id, "702");
    EXPECT_EQ(s.resting_target_price, 56.01);
    EXPECT_EQ(s.resting_target_qty, 3);
    EXPECT_EQ(s.resting_oco_stop_id, "703");
    EXPECT_EQ(s.resting_oco_stop_price, 47.98);
    EXPECT_EQ(s.resting_oco_stop_qty, 3);
    // Derived, not stored.
    EXPECT_TRUE(s.order_in_flight);
    // The analysis starts over until the next evaluation.
    EXPECT_TRUE(s.reasons.empty());
    EXPECT_EQ(s.strategy, "Standard");
    EXPECT_EQ(s.decision.action, "PASS");
    EXPECT_EQ(s.decision.window, "CLOSED");
    EXPECT_TRUE(s.decision.thesis.empty());
    EXPECT_EQ(s.decision.momentum_score, 50.0);
}

TEST_F(StoreTest, PayloadIsCompactSortedAndCarriesEveryMember) {
    SymbolState s = full_state();
    s.reasons = {"say \"hi\"\\"};
    const std::string text = state_payload(s);
    const auto j = nlohmann::json::parse(text);
    EXPECT_EQ(j.size(), 39u);
    EXPECT_EQ(j.dump(), text);  // the library's own order: keys sorted bytewise, compact
    EXPECT_EQ(j["mom"], 61.0);
    EXPECT_EQ(j["bulls"], 4);
    EXPECT_EQ(j["final"], 72.5);
    EXPECT_EQ(j["reasons"][0], "say \"hi\"\\");
    EXPECT_TRUE(j["entry_ts_ms"].is_number_integer());
    EXPECT_EQ(text.substr(0, 14), "{\"action\":\"BUY");
}

TEST_F(StoreTest, SaveReplacesTheRowAndNoPendingIdMeansNoOrderInFlight) {
    SymbolStateStore store;
    ASSERT_TRUE(store.open(path_).has_value());
    SymbolState s = full_state();
    ASSERT_TRUE(store.save(s).has_value());
    clear_lot(s);
    s.pending_order_id.clear();
    ASSERT_TRUE(store.save(s).has_value());
    const SymbolState back = store.load("AAPL");
    EXPECT_FALSE(back.holding);
    EXPECT_EQ(back.qty, 0);
    EXPECT_TRUE(back.resting_stop_id.empty());
    EXPECT_FALSE(back.order_in_flight);
    EXPECT_EQ(back.realized_pnl, -3.5);
}

TEST_F(StoreTest, HandEditedPayloadsLoadWhatTheyCan) {
    SymbolStateStore store;
    ASSERT_TRUE(store.open(path_).has_value());
    put_raw(
        "INSERT INTO symbols VALUES('TRUNC',1,7,10.5,11.0,55.0,"
        "'{\"pending_qty\":3.9,\"qty_at_order\":-2.7,\"entry_ts_ms\":1.7e12,"
        "\"stop_price\":\"9.5\",\"scaled_out\":1,\"pending_order_id\":42,"
        "\"resting_stop_qty\":1e300,\"target_price\":12}');"
        "INSERT INTO symbols VALUES('BROKEN',1,5,20.0,21.0,60.0,'{\"stop_price\":18.0,');"
        "INSERT INTO symbols VALUES('NULLS',NULL,NULL,NULL,NULL,NULL,NULL);"
        "INSERT INTO symbols VALUES('ARRAY',0,0,0,0,0,'[1,2]');");

    const SymbolState t = store.load("TRUNC");
    EXPECT_EQ(t.pending_qty, 3);  // truncated toward zero
    EXPECT_EQ(t.qty_at_order, -2);
    EXPECT_EQ(t.entry_ts_ms, 1700000000000);
    EXPECT_EQ(t.stop_price, 0.0);  // a string is not a number
    EXPECT_FALSE(t.scaled_out);    // nor is 1 a boolean
    EXPECT_TRUE(t.pending_order_id.empty());
    EXPECT_FALSE(t.order_in_flight);
    EXPECT_EQ(t.resting_stop_qty, 2147483647);  // saturates instead of overflowing
    EXPECT_EQ(t.target_price, 12.0);

    const SymbolState b = store.load("BROKEN");
    EXPECT_TRUE(b.holding);
    EXPECT_EQ(b.qty, 5);
    EXPECT_EQ(b.avg_price, 20.0);
    EXPECT_EQ(b.last_price, 21.0);
    EXPECT_EQ(b.last_score, 60.0);
    EXPECT_EQ(b.stop_price, 0.0);

    const SymbolState n = store.load("NULLS");
    EXPECT_FALSE(n.holding);
    EXPECT_EQ(n.avg_price, 0.0);

    EXPECT_EQ(store.load("ARRAY").symbol, "ARRAY");
}

TEST_F(StoreTest, AFailedSaveKeepsTheOldRowAndIsReportedOnce) {
    SymbolStateStore store;
    ASSERT_TRUE(store.open(path_).has_value());
    std::vector<std::string> reported;
    store.set_error_reporter([&](const std::string& line) { reported.push_back(line); });
    SymbolState s = full_state();
    ASSERT_TRUE(store.save(s).has_value());

    // Make every update of the row fail, as a full disk or an I/O error would.
    put_raw(
        "CREATE TRIGGER no_update BEFORE UPDATE ON symbols BEGIN SELECT RAISE(ABORT,'disk "
        "trouble'); END;");
    s.qty = 1;
    const auto first = store.save(s);
    const auto second = store.save(s);
    EXPECT_FALSE(first.has_value());
    EXPECT_FALSE(second.has_value());
    ASSERT_EQ(reported.size(), 1u);
    EXPECT_EQ(reported[0].rfind("State save failed for AAPL: disk trouble — ", 0), 0u)
        << reported[0];
    EXPECT_EQ(store.load("AAPL").qty, 9);

    // A success ends the run of failures; the next failure is reported again.
    put_raw("DROP TRIGGER no_update;");
    ASSERT_TRUE(store.save(s).has_value());
    EXPECT_EQ(store.load("AAPL").qty, 1);
    put_raw(
        "CREATE TRIGGER no_update BEFORE UPDATE ON symbols BEGIN SELECT RAISE(ABORT,'x'); "
        "END;");
    EXPECT_FALSE(store.save(s).has_value());
    EXPECT_EQ(reported.size(), 2u);
}

TEST_F(StoreTest, SaveChangedWritesOnlyRowsThatDifferFromTheLastWrite) {
    SymbolStateStore store;
    ASSERT_TRUE(store.open(path_).has_value());
    SymbolState a = full_state();
    SymbolState b = a;
    b.qty = 4;
    ASSERT_TRUE(store.save_changed(a).has_value());

    // With every update refused, an unchanged row is not written at all, so nothing fails.
    put_raw(
        "CREATE TRIGGER no_update BEFORE UPDATE ON symbols BEGIN SELECT RAISE(ABORT,'disk "
        "trouble'); END;");
    EXPECT_TRUE(store.save_changed(a).has_value());
    // A changed row is written; one that failed is tried again by the next identical save.
    EXPECT_FALSE(store.save_changed(b).has_value());
    put_raw("DROP TRIGGER no_update;");
    ASSERT_TRUE(store.save_changed(b).has_value());
    EXPECT_EQ(store.load("AAPL").qty, 4);

    // Back to an earlier row: it differs from the last write, so it lands.
    ASSERT_TRUE(store.save_changed(a).has_value());
    EXPECT_EQ(store.load("AAPL").qty, 9);
    // Only the display columns changed: still a change.
    a.last_price = 52.0;
    ASSERT_TRUE(store.save_changed(a).has_value());
    EXPECT_EQ(store.load("AAPL").last_price, 52.0);

    // A plain save between them counts as the last write too.
    ASSERT_TRUE(store.save(b).has_value());
    ASSERT_TRUE(store.save_changed(a).has_value());
    EXPECT_EQ(store.load("AAPL").qty, 9);

    // Another file knows none of these rows.
    const std::string other = (dir_ / "other.db").string();
    ASSERT_TRUE(store.open(other).has_value());
    ASSERT_TRUE(store.save_changed(a).has_value());
    EXPECT_EQ(store.load("AAPL").qty, 9);
}

TEST_F(StoreTest, ASaveWaitsForAnotherWriterInsteadOfFailing) {
    SymbolStateStore store;
    ASSERT_TRUE(store.open(path_).has_value());
    sqlite3* other = nullptr;
    ASSERT_EQ(sqlite3_open(path_.c_str(), &other), SQLITE_OK);
    ASSERT_EQ(sqlite3_exec(other, "BEGIN IMMEDIATE;", nullptr, nullptr, nullptr), SQLITE_OK);
    std::thread release([other] {
        std::this_thread::sleep_for(std::chrono::milliseconds(200));
        sqlite3_exec(other, "COMMIT;", nullptr, nullptr, nullptr);
    });
    const auto saved = store.save(full_state());
    release.join();
    sqlite3_close(other);
    EXPECT_TRUE(saved.has_value()) << saved.error();
    EXPECT_EQ(store.load("AAPL").qty, 9);
}

TEST_F(StoreTest, TheDatabaseRunsInWalMode) {
    SymbolStateStore store;
    ASSERT_TRUE(store.open(path_).has_value());
    ASSERT_TRUE(store.save(full_state()).has_value());
    EXPECT_TRUE(fs::exists(path_ + "-wal"));
}

TEST_F(StoreTest, AnUnopenableDatabaseGivesFreshStates) {
    SymbolStateStore store;
    const auto opened = store.open((dir_ / "missing" / "sub" / "x.db").string());
    EXPECT_FALSE(opened.has_value());
    SymbolState s = full_state();
    EXPECT_FALSE(store.save(s).has_value());
    EXPECT_FALSE(store.load("AAPL").holding);
}

}  // namespace
}  // namespace ostrel
