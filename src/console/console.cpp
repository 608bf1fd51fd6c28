#include "console/console.h"

#include <algorithm>
#include <charconv>
#include <cstring>
#include <limits>

namespace octets {

Console::Console(ByteSource& in, std::ostream& out, Terminal& terminal)
    : in_(in), out_(out), terminal_(terminal) {}

void Console::write(const char* text) { write(std::string_view(text)); }

void Console::write(std::string_view bytes) {
  if (last_row_ > 0) return page(bytes);
  put(bytes);
}

void Console::put(std::string_view bytes) {
  if (bytes.size() > sizeof output_ - output_used_) drain();
  if (bytes.size() >= sizeof output_) {
    // A long stretch, such as a byte view's chunk, goes straight on.
    out_.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
    return;
  }
  std::memcpy(output_ + output_used_, bytes.data(), bytes.size());
  output_used_ += bytes.size();
}

void Console::write(std::int64_t number) {
  char digits[24];
  auto end = std::to_chars(digits, digits + sizeof digits, number).ptr;
  write(std::string_view(digits, static_cast<std::size_t>(end - digits)));
}

void Console::drain() {
  out_.write(output_, static_cast<std::streamsize>(output_used_));
  output_used_ = 0;
}

void Console::write_symbols(std::string_view utf8) {
  // The terminal writes past the buffered output.
  flush();
  if (last_row_ > 0) return page(utf8, true);
  terminal_.write_symbols(out_, utf8);
}

void Console::show(std::string_view text, bool symbols) {
  if (!symbols) return put(text);
  flush();
  terminal_.write_symbols(out_, text);
}

void Console::page(std::string_view text, bool symbols) {
  while (!text.empty() && !stopped_) {
    if (row_ == last_row_) {
      ask_to_go_on();
      continue;
    }
    std::size_t n = fit(text);
    show(text.substr(0, n), symbols);
    text.remove_prefix(n);
  }
}

void Console::start_page() {
  width_ = terminal_.line_width();
  last_row_ = terminal_.page_rows() - 1;
  row_ = column_ = 0;
}

std::size_t Console::fit(std::string_view text) {
  for (std::size_t i = 0; i < text.size(); ++i) {
    const char byte = text[i];
    if (byte == '\x1b') {
      // A colour change, ESC "[" ... "m": the views write each one whole.
      std::string_view change = text.substr(i, text.find('m', i) + 1 - i);
      colour_ = change == "\x1b[39m" ? std::string_view() : change;
      i += change.size() - 1;
    } else if (byte == '\n' || byte == '\r') {
      column_ = 0;
      if (byte == '\n' && ++row_ == last_row_) return i + 1;
    } else if (byte == '\t') {
      // To the next stop of eight columns; a tab never goes past the last.
      column_ = std::max(column_, std::min((column_ / 8 + 1) * 8, width_ - 1));
    } else if ((byte & 0xC0) != 0x80) {
      // A row full up to its last column goes on in the next one.
      if (column_ == width_ && ++row_ == last_row_) return i;
      if (column_ == width_) column_ = 0;
      ++column_;
    }
  }
  return text.size();
}

void Console::ask_to_go_on() {
  // On a row of its own, in the usual colour (the screen's if the view ends
  // here), cut to the screen's width so that it takes one row to erase.
  if (column_ > 0) put("\n");
  // A console takes colour changes through the terminal, as the view's text.
  const bool console = terminal_.screen() == Screen::console;
  if (!colour_.empty()) show("\x1b[39m", console);
  put(PAGE_PROMPT.substr(0, static_cast<std::size_t>(std::max(width_ - 1, 1))));
  std::optional<char> answer = read_answer();
  if (line_begun()) discard_pending_input();
  stopped_ = !answer || *answer == 'q';
  // Erased, and the row above it after the line end an answer echoed.
  flush();
  terminal_.erase_row(out_, answer && input_echoed());
  if (!stopped_) show(colour_, console);
  start_page();
}

Console::View::View(Console& console) : console_(console) {
  // The prompt's row is the last; with fewer than two rows nothing waits.
  console.colour_.clear();
  console.start_page();
  console.terminal_.guard_colour(console.shows_colours());
}

Console::View::~View() {
  console_.last_row_ = 0;
  console_.stopped_ = false;
  // The view's last colour change must reach the screen while it is guarded.
  console_.flush();
  console_.terminal_.guard_colour(false);
}

void Console::print_separator() { write(SEPARATOR_LINE); }

void Console::flush() {
  drain();
  out_.flush();
}

void Console::clear_screen() {
  // Anything written before the clear must reach the screen before it.
  flush();
  terminal_.clear_screen(out_);
}

bool Console::fill() {
  if (ended_) return false;
  // The prompt must be visible while the program waits.
  flush();
  answered_ahead_ = in_.ready();
  position_ = 0;
  end_ = in_.read_some(buffer_, sizeof buffer_);
  // Once the input has ended it stays ended: nothing typed after an end of
  // input at a terminal is taken for an answer to a later question.
  if (end_ == 0) ended_ = true;
  return end_ != 0;
}

int Console::peek() {
  if (position_ == end_ && !fill()) return -1;
  line_begun_ = true;
  return static_cast<unsigned char>(buffer_[position_]);
}

void Console::take() {
  if (buffer_[position_] == '\n') line_begun_ = false;
  ++position_;
}

bool Console::at_end() {
  return position_ == end_ && !fill();
}

bool Console::would_wait(std::size_t capacity) {
  for (;;) {
    std::size_t held = end_ - position_;
    if (ended_ || held + 1 >= capacity) return false;
    if (std::memchr(buffer_ + position_, '\n', held) != nullptr) return false;
    if (!in_.ready()) return true;
    // Taken in behind what is held, without the flush of fill(): nothing is
    // waited for, so nothing needs to be shown.
    std::memmove(buffer_, buffer_ + position_, held);
    position_ = 0;
    std::size_t n = in_.read_some(buffer_ + held, sizeof buffer_ - held);
    end_ = held + n;
    if (n == 0) ended_ = true;
  }
}

std::size_t Console::read_line(char* buffer, std::size_t capacity) {
  std::size_t count = 0;
  while (count + 1 < capacity) {
    if (position_ == end_ && !fill()) break;
    const char* start = buffer_ + position_;
    std::size_t room = capacity - 1 - count;
    std::size_t available = end_ - position_;
    std::size_t n = available < room ? available : room;
    const void* line_end = std::memchr(start, '\n', n);
    if (line_end != nullptr) n = static_cast<const char*>(line_end) - start + 1;
    std::memcpy(buffer + count, start, n);
    count += n;
    position_ += n;
    line_begun_ = line_end == nullptr;
    if (line_end != nullptr) break;
  }
  if (capacity > 0) buffer[count] = '\0';
  return count;
}

std::optional<char> Console::read_answer() {
  char answer[ANSWER_CAPACITY];
  if (read_line(answer, sizeof answer) == 0) return std::nullopt;
  // The length counts up to the first zero byte, as for any text.
  return std::strlen(answer) < 3 ? answer[0] : NO_ANSWER;
}

std::optional<char> Console::read_char() {
  int c = peek();
  if (c < 0) return std::nullopt;
  take();
  return static_cast<char>(c);
}

std::optional<std::int64_t> Console::read_number() {
  constexpr std::int64_t LIMIT = std::numeric_limits<std::uint32_t>::max();
  int c = peek();
  while (c == ' ' || c == '\t' || c == '\n' || c == '\v' || c == '\f' || c == '\r') {
    take();
    c = peek();
  }
  bool negative = false;
  if (c == '+' || c == '-') {
    negative = c == '-';
    take();
    c = peek();
  }
  if (c < '0' || c > '9') return std::nullopt;
  std::int64_t value = 0;
  while (c >= '0' && c <= '9') {
    value = value * 10 + (c - '0');
    if (value > LIMIT) value = LIMIT + 1;
    take();
    c = peek();
  }
  return negative ? -value : value;
}

void Console::discard_pending_input() {
  while (line_begun_) {
    if (position_ == end_ && !fill()) {
      line_begun_ = false;
      return;
    }
    const char* start = buffer_ + position_;
    const void* line_end = std::memchr(start, '\n', end_ - position_);
    if (line_end == nullptr) {
      position_ = end_;
    } else {
      position_ += static_cast<const char*>(line_end) - start + 1;
      line_begun_ = false;
    }
  }
}

}  // namespace octets
