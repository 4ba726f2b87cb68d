// The account strip: seven groups, P&L coloured by sign, and the spend-rule line.
#include "ui/account_strip.hpp"

#include "imgui_frame.hpp"
#include "ui/widgets.hpp"
#include "single_tab_fixture.hpp"

namespace ostrel::ui {
namespace {

class AccountStrip : public testing::ImGuiFrame {
  protected:
    ShownItems draw(const AccountSummary& sum, const SpendRule& rule) {
        ShownItems shown;
        watch_shown(&shown);
        frame([&] {
            ImGui::Begin("strip test");
            draw_account_strip(sum, rule);
            ImGui::End();
        });
        watch_shown(nullptr);
        return shown;
    }
    // The text drawn right after a label (its value line).
    static ShownText value_of(const ShownItems& shown, const std::string& label) {
        for (std::size_t i = 0; i + 1 < shown.texts.size(); ++i) {
            if (shown.texts[i].text == label) {
                EXPECT_EQ(shown.texts[i].style, TextStyle::label);
                return shown.texts[i + 1];
            }
        }
        ADD_FAILURE() << "no label " << label;
        return {};
    }
};

using testing::same_colour;

TEST_F(AccountStrip, ShowsEveryGroupWithItsFormatAndSign) {
    AccountSummary sum;
    sum.buying_power = 1234.5;
    sum.holdings_at_mark = 900.0;
    sum.holdings_at_cost = 1000.0;
    sum.open_pnl = -100.0;
    sum.realized_pnl = 0.0;
    sum.total_pnl = -99.994;
    sum.equity = 25000.0;
    const ShownItems shown = draw(sum, {1.0, 2.0, 2.0, 4.0, 15.0});

    EXPECT_EQ(value_of(shown, "Buying power").text, "$1234.50");
    EXPECT_EQ(value_of(shown, "Holdings (mark)").text, "$900.00");
    EXPECT_EQ(value_of(shown, "Holdings cost").text, "$1000.00");
    EXPECT_EQ(value_of(shown, "Equity").text, "$25000.00");
    const ShownText open = value_of(shown, "Open P&L");
    EXPECT_EQ(open.text, "-100.00");
    EXPECT_TRUE(same_colour(open.colour, kLossRed));
    // Zero counts as a gain; a total that rounds to -99.99 is still a loss.
    const ShownText realized = value_of(shown, "Realized");
    EXPECT_EQ(realized.text, "+0.00");
    EXPECT_TRUE(same_colour(realized.colour, kGainGreen));
    EXPECT_TRUE(same_colour(value_of(shown, "Total P&L").colour, kLossRed));
}

TEST_F(AccountStrip, TheSpendRuleLineExplainsTheSizing) {
    AccountSummary sum;
    sum.risk_budget = 250.0;
    sum.position_cap = 3750.0;
    EXPECT_EQ(spend_rule_line(sum, {1.0, 2.0, 2.0, 4.0, 15.0}),
              "Spend rule: risk 1.00% of equity ($250.00), hard-capped at 2.00%, divided by a 2.0 "
              "ATR stop (TP1 = 2.0R). Then cap at 15% of equity ($3750.00) and 98% of buying "
              "power.");
    // No stop multiple: the target multiple reads 0 instead of dividing by zero.
    const std::string no_stop = spend_rule_line(sum, {1.0, 2.0, 0.0, 4.0, 15.0});
    EXPECT_NE(no_stop.find("(TP1 = 0.0R)"), std::string::npos) << no_stop;
    const ShownItems shown = draw(sum, {1.0, 2.0, 2.0, 4.0, 15.0});
    const auto line = shown.text_with("Spend rule: ");
    ASSERT_TRUE(line.has_value());
    EXPECT_EQ(line->style, TextStyle::label);
}

}  // namespace
}  // namespace ostrel::ui
