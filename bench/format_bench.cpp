#include <benchmark/benchmark.h>

#include <random>
#include <vector>

#include "files/byte_format.h"
#include "files/encipherer.h"

namespace {

std::vector<unsigned char> random_bytes(std::size_t size) {
  std::mt19937 generator(7);
  std::vector<unsigned char> bytes(size);
  for (auto& byte : bytes) byte = static_cast<unsigned char>(generator());
  return bytes;
}

void format(benchmark::State& state, octets::ViewKind kind) {
  auto bytes = random_bytes(32 * 1024);
  std::vector<char> text(bytes.size() * octets::BYTE_TEXT_MAX + octets::FORMAT_SLACK);
  for (auto _ : state) {
    char* end = octets::format_bytes(kind, bytes.data(), bytes.size(), text.data());
    benchmark::DoNotOptimize(end);
    benchmark::ClobberMemory();
  }
  state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * bytes.size()));
}

void BM_FormatDecimal(benchmark::State& state) { format(state, octets::ViewKind::decimal); }
void BM_FormatHexadecimal(benchmark::State& state) {
  format(state, octets::ViewKind::hexadecimal);
}
void BM_FormatBinary(benchmark::State& state) { format(state, octets::ViewKind::binary); }

void BM_XorBytes(benchmark::State& state) {
  auto bytes = random_bytes(1024 * 1024);
  for (auto _ : state) {
    octets::xor_bytes(bytes.data(), bytes.size(), 0x5A);
    benchmark::ClobberMemory();
  }
  state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * bytes.size()));
}

BENCHMARK(BM_FormatDecimal);
BENCHMARK(BM_FormatHexadecimal);
BENCHMARK(BM_FormatBinary);
BENCHMARK(BM_XorBytes);

}  // namespace

BENCHMARK_MAIN();
