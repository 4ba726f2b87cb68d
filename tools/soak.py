#!/usr/bin/env python3
"""Chaos soak: the real headless program, trading live against the standalone simulator.

Seeded faults (5xx and 429 bursts, truncated and malformed bodies, slow replies, dropped
connections, quote-stream drops and stalls), price swings through stops and targets, position lag, several kill -9 and restarts
on one data folder, and a SIGTERM at the end. Invariants come from the simulator's records and the
state database, never from log texts. A failure prints its seed and the request-log excerpt.

    tools/soak.py --exe build/ci/src/ostrel --sim build/ci/src/ostrel-sim [--seed N] [--seconds S]
"""
import argparse
import json
import os
import random
import signal
import sqlite3
import subprocess
import sys
import tempfile
import time
import urllib.request

SYMBOLS = ["SPY", "AAPL", "MSFT", "NVDA", "AMZN", "META"]
FAULTS = [
    {"kind": "status", "status": 503, "count": 3},
    {"kind": "status", "status": 500, "count": 2},
    {"kind": "rate_limited", "count": 2},
    {"kind": "truncated", "count": 1},
    {"kind": "malformed", "count": 1},
    {"kind": "slow", "delay_ms": 3000, "count": 1},
    {"kind": "drop", "count": 1},
]
# Quote-stream faults: the socket cut, or left open with nothing on it for a while.
STREAM_FAULTS = [
    {"kind": "drop"},
    {"kind": "stall", "stall_ms": 20000},
]
# A lot must have a stop at the broker within two of the bot's reconciliation passes of being
# booked (the database's lot equal to the broker's position). A pass is one read of the account's
# order list, as the simulator's request log shows it; reads closer together than this are one
# pass (a restart's connect and its first tick, with no evaluation between them).
PASS_GAP_S = 2.0
PROTECTED_WITHIN_PASSES = 2
# An exit limit sell works in place of the stop for a few evaluations, then it is pulled and the
# stop rests again: passes an exit limit may hold a lot's shares with no stop beside it.
EXIT_LIMIT_PASSES = 6
WORKING = {"open", "pending", "partially_filled"}


class Soak:
    def __init__(self, args):
        self.args = args
        self.rng = random.Random(args.seed)
        self.dir = tempfile.mkdtemp(prefix="ostrel-soak-")
        self.data = os.path.join(self.dir, "data")
        os.makedirs(self.data)
        self.figures = {"faults": 0, "stream_faults": 0, "kills": 0, "price_moves": 0,
                        "samples": 0, "protection_checks": 0}
        self.booked = {}  # symbol -> (quantity, passes when first seen booked at it)
        self.exit_limit_seen = {}  # order id -> passes when first seen holding a lot's shares
        self.uncovered = {}  # symbol -> passes when its booked lot was first seen without a stop
        self.excerpt = []
        self.failed_symbols = set()
        self.passes = 0
        self.pass_times = []  # wall-clock ms of each pass
        self.last_read_ms = 0
        self.request_seq = 0
        self.order_requests = []  # the order requests seen, for the failure excerpt
        self.failures = []
        self.sim = None
        self.bot = None
        self.bot_log = None

    # --- the simulator ---
    def start_sim(self):
        self.sim = subprocess.Popen(
            [self.args.sim, "--port", "0", "--seed", str(self.args.seed), "--symbols", "200",
             "--position-lag", str(self.rng.randint(1, 3)), "--token", "soak"],
            stdout=subprocess.PIPE, stderr=subprocess.DEVNULL, text=True)
        self.port = int(self.sim.stdout.readline())
        self.base = "http://127.0.0.1:%d" % self.port

    def control(self, method, path, body=None):
        data = json.dumps(body).encode() if body is not None else None
        req = urllib.request.Request(self.base + path, data=data, method=method,
                                     headers={"Content-Type": "application/json"})
        with urllib.request.urlopen(req, timeout=10) as r:
            return json.loads(r.read() or b"{}")

    # --- the program ---
    def start_bot(self):
        env = dict(os.environ)
        for name in ("DISPLAY", "WAYLAND_DISPLAY", "OSTREL_DATA_DIR", "TRADIER_ACCESS_TOKEN"):
            env.pop(name, None)
        env["OSTREL_REST_URL"] = self.base + "/v1"
        env["OSTREL_STREAM_URL"] = "ws://127.0.0.1:%d/v1/markets/events" % self.port
        self.bot_log = open(os.path.join(self.dir, "bot.log"), "ab")
        self.bot = subprocess.Popen([self.args.exe, "--headless", "--data-dir", self.data],
                                    env=env, stdout=self.bot_log, stderr=subprocess.STDOUT)

    def kill_bot(self):
        self.bot.send_signal(signal.SIGKILL)
        self.bot.wait()
        self.figures["kills"] += 1

    def write_settings(self):
        with open(os.path.join(self.data, "settings.json"), "w") as f:
            json.dump({"tradier_token": "soak", "live_trading": True,
                       "enable_pdt_protection": False, "watchlist": SYMBOLS}, f)

    # --- invariants ---
    def fail(self, text):
        if text not in self.failures:
            self.failures.append(text)

    def sample(self):
        self.figures["samples"] += 1
        account = self.control("GET", "/_sim/account")
        for p in account.get("positions", []):
            if p["quantity"] < 0:
                self.fail("short position: %s %d" % (p["symbol"], p["quantity"]))
        orders = self.control("GET", "/_sim/orders")["orders"]
        self.check_protection_in_time(account.get("positions", []), orders)
        working_buys = {}
        for o in orders:
            if o["side"] == "buy" and o["status"] in WORKING and o["parent_id"] == 0:
                working_buys[o["symbol"]] = working_buys.get(o["symbol"], 0) + 1
        for symbol, n in working_buys.items():
            if n > 1:
                self.fail("%d working entry buys for %s" % (n, symbol))
        if self.bot.poll() is not None:
            self.fail("the program exited by itself with %d" % self.bot.returncode)
            self.start_bot()

    def read_requests(self):
        """Counts the bot's reconciliation passes from the simulator's request log."""
        fresh = self.control("GET", "/_sim/requests?since=%d" % self.request_seq)["requests"]
        for r in fresh:
            self.request_seq = max(self.request_seq, r["seq"])
            path = r.get("path", "")
            if "/orders" in path:
                self.order_requests.append(r)
                del self.order_requests[:-200]
            is_list = (r["method"] == "GET" and path.startswith("/v1/accounts/")
                       and path.endswith("/orders"))
            if not is_list or r["status"] != 200:
                continue
            if r["at_ms"] - self.last_read_ms >= PASS_GAP_S * 1000:
                self.passes += 1
                self.pass_times.append(r["at_ms"])
            self.last_read_ms = r["at_ms"]

    def booked_lots(self):
        """The database's lots; None while the bot holds the database (a sample skips then)."""
        try:
            db = sqlite3.connect("file:%s?mode=ro" % os.path.join(self.data, "ostrel_state.db"),
                                 uri=True, timeout=0.2)
            try:
                return {s: q for s, q in db.execute("SELECT symbol, qty FROM symbols")}
            finally:
                db.close()
        except sqlite3.Error:
            return None

    def check_protection_in_time(self, positions, orders):
        self.read_requests()
        lots = self.booked_lots()
        if lots is None:
            return
        held = {p["symbol"]: p["quantity"] for p in positions if p["quantity"] > 0}
        for symbol in list(self.booked):
            if held.get(symbol) != self.booked[symbol][0]:
                del self.booked[symbol]
                self.uncovered.pop(symbol, None)
        for symbol, qty in held.items():
            if lots.get(symbol) != qty:
                self.booked.pop(symbol, None)  # not booked yet (position lag, a fill in flight)
                self.uncovered.pop(symbol, None)
                continue
            seen = self.booked.setdefault(symbol, (qty, self.passes))
            passes = self.passes - seen[1]
            if passes < PROTECTED_WITHIN_PASSES:
                continue
            self.figures["protection_checks"] += 1
            covered, exit_limits = self.stop_coverage(symbol, orders)
            # A working exit limit holds the rest of the shares for a few passes at most.
            by_limits = sum(left for _, left in exit_limits)
            overdue = [oid for oid, _ in exit_limits
                       if self.passes - self.exit_limit_seen.setdefault(oid, self.passes)
                       > EXIT_LIMIT_PASSES]
            if covered < qty and covered + by_limits >= qty and not overdue:
                self.figures["held_by_exit_limit"] = self.figures.get("held_by_exit_limit", 0) + 1
                covered = qty
            if covered >= qty:
                self.uncovered.pop(symbol, None)
                continue
            # Between a cancel and the next placement a lot may be bare for a moment; two
            # passes of the bot in a row without a stop are what the invariant forbids.
            since = self.uncovered.setdefault(symbol, max(self.passes, seen[1]))
            if self.passes - since < PROTECTED_WITHIN_PASSES:
                continue
            self.failed_symbols.add(symbol)
            self.fail("%s: %d shares booked, only %d under a stop for %d passes in a row%s" %
                      (symbol, qty, covered, self.passes - since,
                       " (exit limits %s working over %d passes)" % (overdue, EXIT_LIMIT_PASSES)
                       if overdue else ""))

    @staticmethod
    def stop_coverage(symbol, orders):
        """Shares under working sell stops (an OCO pair counts once), and the exit limits."""
        single, pairs, exit_limits = 0, {}, []
        for o in orders:
            if o["symbol"] != symbol or o["side"] != "sell" or o["status"] not in WORKING:
                continue
            left = o["quantity"] - o.get("exec_quantity", 0)
            if o["parent_id"]:
                # The two legs of one OCO pair cover the same shares: the larger counts once.
                pairs[o["parent_id"]] = max(pairs.get(o["parent_id"], 0), left)
            elif o.get("class") == "oco":
                continue
            elif o["type"] in ("stop", "stop_limit"):
                single += left
            elif o["type"] == "limit":
                exit_limits.append((o["id"], left))
        return single + sum(pairs.values()), exit_limits

    def check_one_order_per_intent(self, orders):
        # A client tag names one intent: two orders with one tag are one intent sent twice.
        by_tag = {}
        for o in orders:
            if o["parent_id"] == 0 and o.get("tag"):
                by_tag.setdefault(o["tag"], []).append(o["id"])
        for tag, ids in by_tag.items():
            if len(ids) > 1:
                self.fail("intent %s sent %d times: orders %s" % (tag, len(ids), ids))
        self.figures["tagged_orders"] = len(by_tag)

    def final_checks(self):
        positions = {p["symbol"]: p["quantity"]
                     for p in self.control("GET", "/_sim/account").get("positions", [])
                     if p["quantity"] != 0}
        orders = self.control("GET", "/_sim/orders")["orders"]
        for symbol, qty in positions.items():
            covered, exit_limits = self.stop_coverage(symbol, orders)
            # A wave exit cancels the stop and works a day-limit sell instead: those shares are
            # on their way out, not forgotten. They are counted, and the watchdog names them.
            exiting = sum(left for _, left in exit_limits)
            if covered < qty and covered + exiting >= qty:
                self.figures["held_by_exit_limit"] = self.figures.get("held_by_exit_limit", 0) + 1
            elif covered < qty:
                self.fail("%s: %d shares held, %d covered by a resting stop" % (symbol, qty,
                                                                               covered))
        db = sqlite3.connect(os.path.join(self.data, "ostrel_state.db"))
        lots = {s: q for s, q in db.execute("SELECT symbol, qty FROM symbols") if q > 0}
        db.close()
        if lots != positions:
            self.fail("database lots %s differ from broker positions %s" % (lots, positions))
        self.check_one_order_per_intent(orders)
        if self.figures["protection_checks"] == 0:
            self.fail("no lot was ever checked for protection in time: the run proved nothing")
        gaps = [b - a for a, b in zip(self.pass_times, self.pass_times[1:])]
        if gaps:
            self.figures["passes"] = self.passes
            self.figures["median_pass_gap_s"] = round(sorted(gaps)[len(gaps) // 2] / 1000, 1)
        buys = [o for o in orders if o["side"] == "buy" and o["parent_id"] == 0]
        self.figures["orders"] = len([o for o in orders if o["parent_id"] == 0])
        self.figures["entry_buys"] = len(buys)

    # --- the run ---
    def chaos_step(self):
        roll = self.rng.random()
        if roll < 0.15:
            fault = dict(self.rng.choice(FAULTS))
            fault["path_prefix"] = self.rng.choice(["", "/markets/", "/accounts/"])
            self.control("POST", "/_sim/fault", fault)
            self.figures["faults"] += 1
        if roll > 0.95:
            self.control("POST", "/_sim/stream/fault", dict(self.rng.choice(STREAM_FAULTS)))
            self.figures["stream_faults"] += 1
        symbol = self.rng.choice(SYMBOLS)
        self.control("POST", "/_sim/price", {"symbol": symbol,
                                             "move": self.rng.uniform(-0.03, 0.03)})
        self.figures["price_moves"] += 1
        self.control("POST", "/_sim/advance", {"steps": 1})

    def run(self):
        self.start_sim()
        self.control("POST", "/_sim/clock", {"time": "10:00"})
        # A few lots to begin with, so protection and exits are exercised from the start.
        for symbol in self.rng.sample(SYMBOLS, 3):
            price = self.control("GET", "/_sim/quote/" + symbol)["last"]
            self.control("POST", "/_sim/position", {"symbol": symbol,
                                                    "quantity": self.rng.randint(5, 40),
                                                    "cost_basis": 0})
        if self.args.refuse_stops:
            # To see the protection check fail: the broker refuses every order with a stop.
            self.control("POST", "/_sim/reject", {"count": 1000000, "types": ["stop", "stop_limit"],
                                                  "reason": "Stop orders are not accepted"})
        self.write_settings()
        self.start_bot()
        start = time.monotonic()
        end = start + self.args.seconds
        kills = [start + t for t in self.kill_times()]
        while time.monotonic() < end:
            self.chaos_step()
            self.sample()
            if kills and time.monotonic() >= kills[0]:
                kills.pop(0)
                self.kill_bot()
                self.sample_after_kill()
                self.start_bot()
            time.sleep(0.5)
        # A quiet spell lets two reconciliation passes bring everything in line.
        self.control("DELETE", "/_sim/faults")
        quiet_end = time.monotonic() + 40
        while time.monotonic() < quiet_end:
            self.sample()
            time.sleep(1)
        self.bot.send_signal(signal.SIGTERM)
        try:
            code = self.bot.wait(timeout=15)
        except subprocess.TimeoutExpired:
            self.bot.kill()
            code = "none within 15 s"
        if code != 0:
            self.fail("SIGTERM ended the program with %s" % code)
        self.final_checks()

    def kill_times(self):
        """Seconds into the run of each kill: half of the uptimes short (a kill soon after a
        restart, in its start-up reconciliation and order intents), the others long enough for
        the protection check's passes."""
        n = self.args.kills
        short = [self.rng.uniform(4, 10) for _ in range((n + 1) // 2)]
        long_total = max(0.0, self.args.seconds - sum(short))
        longs = n + 1 - len(short)
        spans = short + [long_total / longs] * longs
        self.rng.shuffle(spans)
        times, t = [], 0.0
        for span in spans[:n]:
            t += span
            times.append(t)
        return times

    def sample_after_kill(self):
        account = self.control("GET", "/_sim/account")
        for p in account.get("positions", []):
            if p["quantity"] < 0:
                self.fail("short position: %s %d" % (p["symbol"], p["quantity"]))

    def report(self):
        print("soak seed %d: %s" % (self.args.seed, json.dumps(self.figures)))
        if not self.failures:
            print("soak seed %d: every invariant held" % self.args.seed)
            return 0
        print("soak seed %d FAILED:" % self.args.seed)
        for f in self.failures:
            print("  " + f)
        for line in self.excerpt:
            print(line)
        print("program output: " + os.path.join(self.dir, "bot.log"))
        return 1

    def collect_excerpt(self):
        """The order requests and orders behind a failure, read while the simulator runs."""
        out = self.excerpt
        try:
            self.read_requests()
            orders = self.control("GET", "/_sim/orders")["orders"]
            # The failing symbols' orders when a failure names them, else every order.
            ids = {str(o["id"]) for o in orders if o["symbol"] in self.failed_symbols}
            names = ["symbol=%s" % s for s in self.failed_symbols]

            def shows(r):
                if not self.failed_symbols:
                    return True
                return (any(n in r.get("body", "") for n in names)
                        or r["target"].rsplit("/", 1)[-1] in ids)
            out.append("last order requests (seq, method, target, body -> status):")
            for r in [r for r in self.order_requests if r["method"] != "GET" and shows(r)][-30:]:
                out.append("  #%d %s %s %s -> %s" % (r["seq"], r["method"], r["target"],
                                                    r.get("body", ""), r["status"]))
            out.append("last orders at the simulator:")
            shown = [o for o in orders
                     if not self.failed_symbols or o["symbol"] in self.failed_symbols]
            for o in shown[-15:]:
                out.append("  %d %s %s %s %d %s %s" % (o["id"], o["symbol"], o["side"], o["type"],
                                                       o["quantity"], o["status"],
                                                       o.get("reason_description", "")))
        except Exception as e:  # the excerpt is a help, not the verdict
            out.append("  (request log unavailable: %s)" % e)

    def close(self):
        for p in (self.bot, self.sim):
            if p is not None and p.poll() is None:
                p.send_signal(signal.SIGKILL)
                p.wait()


def main():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("--exe", required=True)
    parser.add_argument("--sim", required=True)
    parser.add_argument("--seed", type=int, default=int(time.time()) % 100000)
    parser.add_argument("--seconds", type=float, default=120)
    parser.add_argument("--kills", type=int, default=5)
    parser.add_argument("--refuse-stops", action="store_true",
                        help="the simulator refuses every stop order (the soak must fail)")
    args = parser.parse_args()
    soak = Soak(args)
    try:
        soak.run()
    except Exception as e:
        soak.fail("soak driver error: %r" % e)
    finally:
        if soak.failures:
            soak.collect_excerpt()
        soak.close()
    return soak.report()


if __name__ == "__main__":
    sys.exit(main())
