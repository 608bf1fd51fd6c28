#include "console/pager.h"

namespace octets {

void ScreenRows::start(int width, int rows) {
  width_ = width > 0 ? width : 80;
  last_row_ = rows - 1;
  row_ = 0;
  column_ = 0;
  full_ = false;
}

std::size_t ScreenRows::fit(std::string_view text) {
  if (full_) return 0;
  for (std::size_t i = 0; i < text.size(); ++i) {
    const auto byte = static_cast<unsigned char>(text[i]);
    if (!sequence_.empty()) {
      sequence_ += static_cast<char>(byte);
      if (sequence_.size() == 2 ? byte != '[' : byte >= 0x40 && byte <= 0x7e) {
        if (byte == 'm') colour_ = sequence_ == "\x1b[39m" ? "" : sequence_;
        sequence_.clear();
      }
    } else if (byte == 0x1b) {
      sequence_.push_back(static_cast<char>(byte));
    } else if (byte == '\n') {
      column_ = 0;
      if (++row_ == last_row_) {
        full_ = true;
        return i + 1;
      }
    } else if (byte == '\r') {
      column_ = 0;
    } else if ((byte & 0xC0) != 0x80) {
      if (column_ == width_) {
        // The byte would begin the prompt's row.
        if (row_ + 1 == last_row_) {
          full_ = true;
          return i;
        }
        ++row_;
        column_ = 0;
      }
      ++column_;
    }
  }
  return text.size();
}

}  // namespace octets
