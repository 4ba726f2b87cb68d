// Resting protection against the paper book: stop and OCO sizes, the two-cent rule, refusals.
#include "engine/protection.hpp"

#include <unistd.h>

#include <filesystem>
#include <string>

#include <gtest/gtest.h>

#include "broker/sim_broker.hpp"
#include "engine/session_time.hpp"
#include "log/activity_log.hpp"

namespace ostrel {
namespace {

namespace fs = std::filesystem;

constexpr std::int64_t kDay = 86'400'000;

bool logged(const std::string& tag, const std::string& text) {
    for (const auto& e : ActivityLog::instance().snapshot()) {
        if (e.tag == tag && e.text == text) return true;
    }
    return false;
}

// An IBroker that forwards to the paper book but can refuse stop modifications.
class RefusingModify final : public IBroker {
  public:
    explicit RefusingModify(SimBroker& inner) : inner_(inner) {}
    std::string name() const override { return "refusing"; }
    std::expected<AccountSnapshot, std::string> account_snapshot() override {
        return inner_.account_snapshot();
    }
    OrderResult place(const OrderRequest& r) override { return inner_.place(r); }
    ActionResult cancel(const std::string& id) override { return inner_.cancel(id); }
    ActionResult modify_stop(const std::string&, double) override {
        return {false, "Order cannot be modified"};
    }
    ActionResult modify_limit(const std::string& id, double p, const std::string& d) override {
        return inner_.modify_limit(id, p, d);
    }

  private:
    SimBroker& inner_;
};

class ProtectionTest : public ::testing::Test {
  protected:
    void SetUp() override {
        dir_ = fs::temp_directory_path() /
               ("ostrel_prot_" + std::to_string(getpid()) + "_" +
                ::testing::UnitTest::GetInstance()->current_test_info()->name());
        fs::remove_all(dir_);
        fs::create_directories(dir_);
        book_ = std::make_unique<SimBroker>(dir_);
        ctx_.paper = book_.get();
        ctx_.live = false;
        ctx_.clock = [this] { return now_; };
        ctx_.list_orders = [this] { return book_->open_orders(); };
    }
    void TearDown() override { fs::remove_all(dir_); }

    // The lot of 9 at 50 bought yesterday, stop 47.996, target 56.004, in the book too.
    SymbolState lot_of_nine() {
        EXPECT_TRUE(book_->place(
            OrderRequest{"AAPL", "buy", 9, 50.0, 0.0, "limit", "day", "equity", "entry", ""}));
        SymbolState s;
        s.symbol = "AAPL";
        s.holding = true;
        s.qty = 9;
        s.avg_price = 50.0;
        s.stop_price = 47.996;
        s.target_price = 56.004;
        s.entry_ts_ms = now_ - kDay;
        return s;
    }

    fs::path dir_;
    std::unique_ptr<SimBroker> book_;
    TradingContext ctx_;
    std::int64_t now_ = now_ms();
};

TEST_F(ProtectionTest, LotOfNineRestsAStopForSixAndAnOcoForThree) {
    SymbolState s = lot_of_nine();
    sync_protection(ctx_, s, 50.0);

    EXPECT_FALSE(s.resting_stop_id.empty());
    EXPECT_DOUBLE_EQ(s.resting_stop_price, 47.99);
    EXPECT_EQ(s.resting_stop_qty, 6);
    EXPECT_FALSE(s.resting_target_id.empty());
    EXPECT_DOUBLE_EQ(s.resting_target_price, 56.01);
    EXPECT_EQ(s.resting_target_qty, 3);
    EXPECT_FALSE(s.resting_oco_stop_id.empty());  // found in the order list
    EXPECT_NE(s.resting_oco_stop_id, s.resting_stop_id);
    EXPECT_DOUBLE_EQ(s.resting_oco_stop_price, 47.99);
    EXPECT_EQ(s.resting_oco_stop_qty, 3);

    ASSERT_EQ(book_->resting_stops().size(), 2u);
    ASSERT_EQ(book_->resting_targets().size(), 1u);
    EXPECT_EQ(book_->resting_targets()[0].limit_price, 56.01);
    EXPECT_EQ(book_->position_quantity("AAPL"), 9);
    ASSERT_GE(s.reasons.size(), 2u);
    EXPECT_EQ(s.reasons[0],
              "LIVE GTC OCO sell 3 limit 56.01 / stop 47.99 id=" + s.resting_target_id);
    EXPECT_EQ(s.reasons[1], "LIVE GTC sell-stop 6 @ 47.99 id=" + s.resting_stop_id);

    // A second pass with nothing changed sends nothing.
    const auto before = book_->open_orders().size();
    const std::string stop_id = s.resting_stop_id;
    const std::string target_id = s.resting_target_id;
    sync_protection(ctx_, s, 50.0);
    EXPECT_EQ(s.resting_stop_id, stop_id);
    EXPECT_EQ(s.resting_target_id, target_id);
    EXPECT_EQ(book_->open_orders().size(), before);
}

TEST_F(ProtectionTest, EntryDayUnderProtectionRestsOnlyTheStop) {
    SymbolState s = lot_of_nine();
    s.entry_ts_ms = now_;
    sync_protection(ctx_, s, 50.0);
    EXPECT_EQ(s.resting_stop_qty, 9);
    EXPECT_TRUE(s.resting_target_id.empty());
    EXPECT_TRUE(book_->resting_targets().empty());
    // Protection off: the OCO rests on the entry day too.
    ctx_.pdt_protection = false;
    sync_protection(ctx_, s, 50.0);
    EXPECT_EQ(s.resting_stop_qty, 6);
    EXPECT_EQ(s.resting_target_qty, 3);
}

TEST_F(ProtectionTest, StopTrailsInTwoCentStepsAndIsNeverLowered) {
    SymbolState s = lot_of_nine();
    sync_protection(ctx_, s, 50.0);
    const std::string id = s.resting_stop_id;

    s.stop_price = 48.00;  // one cent better: not worth a change
    sync_protection(ctx_, s, 50.0);
    EXPECT_DOUBLE_EQ(s.resting_stop_price, 47.99);

    s.stop_price = 48.01;
    sync_protection(ctx_, s, 50.0);
    EXPECT_EQ(s.resting_stop_id, id);  // modified in place
    EXPECT_DOUBLE_EQ(s.resting_stop_price, 48.01);
    EXPECT_TRUE(logged("AAPL", "Trailed GTC stop to 48.01"));
    EXPECT_DOUBLE_EQ(s.resting_oco_stop_price, 48.01);  // the OCO stop follows too

    s.stop_price = 47.50;
    sync_protection(ctx_, s, 50.0);
    EXPECT_DOUBLE_EQ(s.resting_stop_price, 48.01);
    for (const auto& stop : book_->resting_stops())
        EXPECT_DOUBLE_EQ(stop.stop_price, 48.01);
}

TEST_F(ProtectionTest, NothingRestsOnTheWrongSideOfTheTape) {
    SymbolState s = lot_of_nine();
    sync_protection(ctx_, s, 50.0);
    const std::string id = s.resting_stop_id;

    s.stop_price = 47.99;
    s.reasons.clear();
    sync_protection(ctx_, s, 47.99);
    EXPECT_EQ(s.resting_stop_id, id);  // what rests stays
    EXPECT_TRUE(s.resting_target_id.empty());
    EXPECT_TRUE(s.resting_oco_stop_id.empty());
    EXPECT_EQ(s.reasons, std::vector<std::string>{
                             "Hard stop is at/through last — GTC cannot rest above the tape"});
    EXPECT_TRUE(book_->resting_targets().empty());

    s.reasons.clear();
    s.target_price = 50.00;
    sync_protection(ctx_, s, 50.00);
    EXPECT_TRUE(s.resting_target_id.empty());
    EXPECT_EQ(s.reasons.back(), "Profit target is at/through last — GTC limit cannot rest");
}

TEST_F(ProtectionTest, AfterTheScaleOutTheStopCoversTheRunner) {
    SymbolState s = lot_of_nine();
    sync_protection(ctx_, s, 50.0);
    // The OCO target filled: 6 shares left, scaled out.
    book_->mark_price("AAPL", 56.05);
    ASSERT_EQ(book_->position_quantity("AAPL"), 6);
    s.qty = 6;
    s.scaled_out = true;
    s.resting_target_id.clear();
    s.resting_oco_stop_id.clear();
    const std::string id = s.resting_stop_id;
    sync_protection(ctx_, s, 55.0);
    EXPECT_EQ(s.resting_stop_id, id);  // already 6 shares: kept
    EXPECT_EQ(s.resting_stop_qty, 6);

    // A lot whose stop quantity no longer fits is replaced.
    s.qty = 5;
    ASSERT_TRUE(book_->place(
        OrderRequest{"AAPL", "sell", 1, 55.0, 0.0, "limit", "day", "equity", "trim", ""}));
    sync_protection(ctx_, s, 55.0);
    EXPECT_NE(s.resting_stop_id, id);
    EXPECT_EQ(s.resting_stop_qty, 5);
    EXPECT_EQ(book_->resting_stops().size(), 1u);
}

TEST_F(ProtectionTest, SmallLotGetsOnlyAStop) {
    SymbolState s = lot_of_nine();
    s.qty = 2;
    sync_protection(ctx_, s, 50.0);
    EXPECT_EQ(s.resting_stop_qty, 2);
    EXPECT_TRUE(s.resting_target_id.empty());
}

TEST_F(ProtectionTest, RefusedModifyBecomesCancelAndReplace) {
    SymbolState s = lot_of_nine();
    sync_protection(ctx_, s, 50.0);
    const std::string old_id = s.resting_stop_id;
    RefusingModify refusing(*book_);
    ctx_.live = true;
    ctx_.live_broker = &refusing;
    s.stop_price = 48.50;
    sync_protection(ctx_, s, 50.0);
    EXPECT_TRUE(logged("AAPL", "Modify GTC stop failed, replacing: Order cannot be modified"));
    EXPECT_NE(s.resting_stop_id, old_id);
    EXPECT_DOUBLE_EQ(s.resting_stop_price, 48.50);
    EXPECT_EQ(s.resting_stop_qty, 6);
    // The OCO pair was replaced as well, at the new stop.
    EXPECT_DOUBLE_EQ(s.resting_oco_stop_price, 48.50);
    EXPECT_EQ(book_->resting_stops().size(), 2u);
    EXPECT_EQ(book_->resting_targets().size(), 1u);
}

TEST_F(ProtectionTest, RefusedPlacementsAreLoggedAndLeaveNothing) {
    SymbolState s = lot_of_nine();
    s.qty = 20;  // a 14-share stop is more than the book holds: the paper book refuses it
    sync_protection(ctx_, s, 50.0);
    EXPECT_TRUE(s.resting_stop_id.empty());
    EXPECT_EQ(s.resting_stop_qty, 0);
    bool found = false;
    for (const auto& e : ActivityLog::instance().snapshot()) {
        found = found || (e.tag == "AAPL" && e.level == 2 &&
                          e.text == "Resting GTC stop: Paper stop qty exceeds position");
    }
    EXPECT_TRUE(found);
}

TEST_F(ProtectionTest, FlatLotCancelsEverything) {
    SymbolState s = lot_of_nine();
    sync_protection(ctx_, s, 50.0);
    const std::string stop_id = s.resting_stop_id;
    s.qty = 0;
    sync_protection(ctx_, s, 50.0);
    EXPECT_TRUE(s.resting_stop_id.empty());
    EXPECT_TRUE(s.resting_target_id.empty());
    EXPECT_TRUE(s.resting_oco_stop_id.empty());
    EXPECT_EQ(s.resting_target_price, 0.0);
    EXPECT_TRUE(book_->open_orders().empty());
    EXPECT_TRUE(logged("AAPL", "Canceled GTC " + stop_id));
}

}  // namespace
}  // namespace ostrel
