// Small helpers the committees share: score clamping and the truncated numbers of reasons.
#pragma once

#include <cmath>
#include <cstdio>
#include <string>
#include <utility>
#include <vector>

namespace ostrel {

/// A committee's reason list that can be switched off: the combined decision only reads the
/// committees' scores and labels, so it runs them without building reason texts nobody keeps.
class ReasonList {
  public:
    ReasonList(std::vector<std::string>& out, bool keep) : out_(out), keep_(keep) {}

    bool kept() const { return keep_; }
    void push_back(const char* text) {
        if (keep_) out_.emplace_back(text);
    }
    void push_back(std::string&& text) {
        if (keep_) out_.push_back(std::move(text));
    }
    void reserve(std::size_t n) {
        if (keep_) out_.reserve(n);
    }

  private:
    std::vector<std::string>& out_;
    bool keep_;
};

inline double clamp_score(double s) {
    if (s < 0.0) return 0.0;
    if (s > 100.0) return 100.0;
    return s;
}

/// A value truncated toward zero and written as an integer ("12" for 12.7, "-85" for -85.3).
inline std::string truncated_text(double v) {
    if (!std::isfinite(v)) return "0";
    char buf[32];
    std::snprintf(buf, sizeof buf, "%.0f", std::trunc(v) + 0.0);
    return buf;
}

}  // namespace ostrel
