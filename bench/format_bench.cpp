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

// A byte view at a screen that shows colours, in rows of 100 columns. Random
// bytes change kind every other byte or so: the most colour changes.
void colour(benchmark::State& state, const octets::ByteFormat* byte_format) {
  auto bytes = random_bytes(32 * 1024);
  std::vector<char> text(bytes.size() * octets::COLOURED_TEXT_MAX + octets::FORMAT_SLACK);
  octets::ColouredValues values(*byte_format, 100);
  for (auto _ : state) {
    char* end = values.format(bytes.data(), bytes.size(), text.data());
    benchmark::DoNotOptimize(end);
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
    std::string name = "Colour/base" + std::string(base);
    benchmark::RegisterBenchmark(name.c_str(), colour, view.format);
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
