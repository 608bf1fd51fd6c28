#include "console/console.h"

#include <algorithm>
#include <charconv>
#include <cstring>
#include <limits>
#include <string>

namespace octets {

Console::Console(ByteSource& in, std::ostream& out, Terminal& terminal)
    : in_(in), out_(out), terminal_(terminal) {}

namespace {

constexpr std::string_view PAGE_PROMPT = "-- EntrEe : la suite ; q : fin de l'affichage --";

}  // namespace

void Console::write(const char* text) { write(std::string_view(text)); }

void Console::write(std::string_view bytes) {
  if (paging_) return page(bytes, false);
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
  if (paging_) return page(utf8, true);
  show(utf8, true);
}

void Console::show(std::string_view text, bool symbols) {
  if (!symbols) return put(text);
  // The terminal writes past the buffered output.
  flush();
  terminal_.write_symbols(out_, text);
}

void Console::page(std::string_view text, bool symbols) {
  while (!text.empty() && !stopped_) {
    if (rows_.full()) {
      ask_to_go_on(symbols);
      continue;
    }
    std::size_t n = rows_.fit(text);
    show(text.substr(0, n), symbols);
    text.remove_prefix(n);
  }
}

void Console::ask_to_go_on(bool symbols) {
  const std::string colour = rows_.colour();
  std::string prompt = rows_.mid_row() ? "\n" : "";
  // The prompt in the usual colour, and the screen so if the view ends here.
  if (!colour.empty()) prompt += "\x1b[39m";
  // Cut to the screen's width, so that it takes one row to erase.
  const auto room = static_cast<std::size_t>(std::max(terminal_.line_width() - 1, 1));
  show(prompt.append(PAGE_PROMPT.substr(0, room)), symbols);
  std::optional<char> answer = read_answer();
  if (line_begun()) discard_pending_input();
  stopped_ = !answer || *answer == 'q';
  flush();
  // The echoed line end has moved the cursor to the next row.
  terminal_.erase_row(out_, answer && input_echoed());
  if (!stopped_) show(colour, symbols);
  rows_.start(terminal_.line_width(), terminal_.page_rows());
}

Console::View::View(Console& console) : console_(console) {
  int rows = console.terminal_.page_rows();
  console.paging_ = rows > 0;
  console.rows_ = {};
  console.rows_.start(console.terminal_.line_width(), rows);
  if (console.shows_colours()) console.terminal_.guard_colour(true);
}

Console::View::~View() {
  console_.paging_ = false;
  console_.stopped_ = false;
  if (!console_.shows_colours()) return;
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
