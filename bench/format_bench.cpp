#include <benchmark/benchmark.h>

#include <random>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "files/byte_format.h"
#include "files/file_viewer.h"
#include "files/xor_pass.h"

namespace {

std::vector<unsigned char> random_bytes(std::size_t size) {
  std::mt19937 generator(7);
  std::vector<unsigned char> bytes(size);
  for (auto& byte : bytes) byte = static_cast<unsigned char>(generator());
  return bytes;
}

bool supported(octets::FormatPath path) {
  for (octets::FormatPath here : octets::supported_format_paths()) {
    if (here == path) return true;
  }
  return false;
}

void format(benchmark::State& state, const octets::ByteFormat* byte_format,
            octets::FormatPath path) {
  if (!supported(path)) {
    state.SkipWithError("this processor cannot run that path");
    return;
  }
  auto bytes = random_bytes(32 * 1024);
  std::vector<char> text(bytes.size() * octets::BYTE_TEXT_MAX + octets::FORMAT_SLACK);
  for (auto _ : state) {
    char* end = octets::format_bytes(*byte_format, path, bytes.data(), bytes.size(), text.data());
    benchmark::DoNotOptimize(end);
    benchmark::ClobberMemory();
  }
  state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * bytes.size()));
}

// A byte view's rows at a UTF-8 screen of 100 columns, in colour or not.
// Random bytes change kind every other byte or so: the most colour changes.
void rows(benchmark::State& state, const octets::ByteFormat* byte_format, bool coloured) {
  auto bytes = random_bytes(32 * 1024);
  octets::ByteRows rows(*byte_format, octets::Screen::utf8_terminal, coloured,
                        std::int64_t{1} << 40);
  rows.set_width(100);
  for (auto _ : state) {
    benchmark::DoNotOptimize(rows.rows(bytes.data(), bytes.size()).data());
    benchmark::ClobberMemory();
  }
  state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * bytes.size()));
}

// Every byte view on every path, named after its base, like
// "Format/base16/avx2".
void register_formats() {
  const std::pair<const char*, octets::FormatPath> paths[] = {
      {"portable", octets::FormatPath::portable},
      {"ssse3", octets::FormatPath::ssse3},
      {"avx2", octets::FormatPath::avx2}};
  for (const octets::ViewKind& view : octets::VIEWS) {
    if (view.format == nullptr) continue;
    // The heading " ; Affichage en base 16\n" ends with the base.
    std::string_view heading = view.heading;
    std::string_view base = heading.substr(heading.rfind(' ') + 1);
    base.remove_suffix(1);
    for (const auto& [path_name, path] : paths) {
      std::string name = "Format/base" + std::string(base) + "/" + path_name;
      benchmark::RegisterBenchmark(name.c_str(), format, view.format, path);
    }
    for (bool coloured : {false, true}) {
      std::string name = (coloured ? "Rows/colour/base" : "Rows/plain/base") + std::string(base);
      benchmark::RegisterBenchmark(name.c_str(), rows, view.format, coloured);
    }
  }
}

void BM_XorBytes(benchmark::State& state) {
  auto bytes = random_bytes(1024 * 1024);
  for (auto _ : state) {
    octets::xor_bytes(bytes.data(), bytes.size(), 0x5A);
    benchmark::ClobberMemory();
  }
  state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * bytes.size()));
}

BENCHMARK(BM_XorBytes);

}  // namespace

int main(int argc, char** argv) {
  register_formats();
  benchmark::Initialize(&argc, argv);
  if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  return 0;
}
