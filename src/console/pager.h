#pragma once

#include <cstddef>
#include <string>
#include <string_view>

namespace octets {

/// Counts the rows of the screen that written text takes, to tell when a
/// screenful is full. A colour change (ESC "[" ... "m") takes no room, nor does
/// a byte that goes on a UTF-8 character; a line end ends a row, a carriage
/// return goes back to its start, and a row wraps after `width` columns.
class ScreenRows {
 public:
  /// Starts a screenful of `rows` rows, the last one kept for a prompt, at the
  /// start of a row; fewer than 2 rows are never full.
  void start(int width, int rows);
  /// How many bytes of `text` go on the screenful before it is full; 0 once it is.
  std::size_t fit(std::string_view text);
  bool full() const { return full_; }
  /// True when the screenful ended at the end of a row that goes on, not at a
  /// line end: the cursor is still on that row.
  bool mid_row() const { return column_ > 0; }
  /// The colour change last seen; empty for the usual colour.
  const std::string& colour() const { return colour_; }

 private:
  int width_ = 80;
  int last_row_ = 0;
  int row_ = 0;
  int column_ = 0;
  bool full_ = false;
  /// The escape sequence begun, up to the byte looked at.
  std::string sequence_;
  std::string colour_;
};

}  // namespace octets
