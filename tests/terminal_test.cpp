#include "console/terminal.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <optional>
#include <string>

namespace octets {
namespace {

/// Sets an environment variable, or unsets it (null), until it goes.
class Variable {
 public:
  Variable(const char* name, const char* value) : name_(name) {
    if (const char* before = std::getenv(name)) before_ = before;
    set(value);
  }
  ~Variable() { set(before_ ? before_->c_str() : nullptr); }

 private:
  void set(const char* value) { value ? ::setenv(name_, value, 1) : ::unsetenv(name_); }
  const char* name_;
  std::optional<std::string> before_;
};

TEST(Terminal, ColoursOnlyWhereTheyAreWanted) {
  struct Case {
    const char* term;
    const char* no_colour;
    bool wanted;
  };
  const Case cases[] = {
      {"xterm-256color", nullptr, true},
      {"xterm", "", true},
      {"xterm-256color", "1", false},
      {"xterm", "0", false},
      {"dumb", nullptr, false},
      {nullptr, nullptr, false},
      {"", nullptr, false},
  };
  for (const Case& c : cases) {
    Variable term("TERM", c.term);
    Variable no_colour("NO_COLOR", c.no_colour);
    EXPECT_EQ(colours_wanted(), c.wanted)
        << "TERM=" << (c.term ? c.term : "(unset)")
        << " NO_COLOR=" << (c.no_colour ? c.no_colour : "(unset)");
  }
}

}  // namespace
}  // namespace octets
