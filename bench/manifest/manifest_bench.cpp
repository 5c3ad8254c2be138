// Throughput and peak memory of ParseManifest on a manifest at the entry limit, against RapidJSON
// filling the same records, with simdjson's bare parse as the ceiling.
#include <benchmark/benchmark.h>
#include <malloc.h>
#include <rapidjson/reader.h>
#include <simdjson.h>

#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <functional>
#include <map>
#include <new>
#include <string>

#include "manifest/manifest.h"
#include "manifest_sample.h"
#include "net/manifest_body.h"

// Heap accounting for the peak-memory figure: every allocation of the process is counted by its
// usable size.
namespace {
std::atomic<long long> g_heapNow{0};  // signed: a block from before the run may be freed in it
std::atomic<long long> g_heapPeak{0};
// Off while timing, so the accounting costs the timed runs nothing.
std::atomic<bool> g_counting{false};

void* Allocate(size_t size) {
  void* block = std::malloc(size ? size : 1);
  if (!block) throw std::bad_alloc();
  if (!g_counting.load(std::memory_order_relaxed)) return block;
  const long long now = g_heapNow += static_cast<long long>(malloc_usable_size(block));
  long long peak = g_heapPeak.load();
  while (now > peak && !g_heapPeak.compare_exchange_weak(peak, now)) {
  }
  return block;
}

void Release(void* block) {
  if (!block) return;
  if (g_counting.load(std::memory_order_relaxed)) g_heapNow -= static_cast<long long>(malloc_usable_size(block));
  std::free(block);
}
}  // namespace

void* operator new(size_t size) { return Allocate(size); }
void* operator new[](size_t size) { return Allocate(size); }
void operator delete(void* block) noexcept { Release(block); }
void operator delete[](void* block) noexcept { Release(block); }
void operator delete(void* block, size_t) noexcept { Release(block); }
void operator delete[](void* block, size_t) noexcept { Release(block); }

namespace {

const std::string& Body() {
  static size_t entries = 0;
  static const std::string body = MakeSampleManifest(kMaxManifestBytes, kMaxManifestEntries, entries);
  return body;
}

size_t EntryCount() {
  Manifest manifest;
  std::wstring error;
  if (!ParseManifest(Body(), manifest, error)) return 0;
  return manifest.files.size();
}

// The same extraction as ParseManifest through RapidJSON's SAX reader, which also converts each
// string to UTF-16 (held in wchar_t) itself.
struct ExtractHandler : rapidjson::BaseReaderHandler<rapidjson::UTF16<wchar_t>, ExtractHandler> {
  Manifest& manifest;
  int depth = 0;
  bool inFiles = false;
  std::wstring rootKey;
  std::wstring* field = nullptr;
  bool sizeField = false;

  explicit ExtractHandler(Manifest& target) : manifest(target) {}

  bool Key(const wchar_t* text, rapidjson::SizeType length, bool) {
    const std::wstring key(text, length);
    if (depth == 1) {
      rootKey = key;
    } else if (inFiles && depth == 3) {
      ManifestEntry& entry = manifest.files.back();
      field = nullptr;
      sizeField = key == L"size";
      if (key == L"name")
        field = &entry.name;
      else if (key == L"url")
        field = &entry.url;
      else if (key == L"modified_at")
        field = &entry.modified_at;
      else if (key == L"ext")
        field = &entry.ext;
      else if (key == L"sha256")
        field = &entry.sha256;
    }
    return true;
  }
  bool String(const wchar_t* text, rapidjson::SizeType length, bool) {
    if (depth == 1 && rootKey == L"schema")
      manifest.schema.assign(text, length);
    else if (inFiles && depth == 3 && field)
      field->assign(text, length);
    return true;
  }
  bool Size(int64_t value) {
    if (inFiles && depth == 3 && sizeField) manifest.files.back().size = value;
    return true;
  }
  bool Int(int value) { return Size(value); }
  bool Uint(unsigned value) { return Size(value); }
  bool Int64(int64_t value) { return Size(value); }
  bool Uint64(uint64_t value) { return Size(static_cast<int64_t>(value)); }
  bool Double(double value) { return Size(static_cast<int64_t>(value)); }
  bool Default() { return true; }
  bool StartObject() {
    if (inFiles && depth == 2) manifest.files.emplace_back();
    ++depth;
    return true;
  }
  bool EndObject(rapidjson::SizeType) {
    --depth;
    return true;
  }
  bool StartArray() {
    if (depth == 1 && rootKey == L"files") inFiles = true;
    ++depth;
    return true;
  }
  bool EndArray(rapidjson::SizeType) {
    if (--depth == 1) inFiles = false;
    return true;
  }
};

bool RapidJsonExtract(const std::string& body, Manifest& manifest) {
  ExtractHandler handler(manifest);
  rapidjson::GenericReader<rapidjson::UTF8<>, rapidjson::UTF16<wchar_t>> reader;
  rapidjson::StringStream stream(body.c_str());
  if (reader.Parse(stream, handler).IsError()) return false;
  if (manifest.schema != kManifestSchema) return false;
  SortManifestEntries(manifest.files);
  return true;
}

void BM_ParseManifest(benchmark::State& state) {
  const std::string& body = Body();
  for (auto _ : state) {
    Manifest manifest;
    std::wstring error;
    if (!ParseManifest(body, manifest, error)) state.SkipWithError("ParseManifest failed");
    benchmark::DoNotOptimize(manifest.files.data());
  }
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * body.size()));
}

void BM_RapidJsonExtract(benchmark::State& state) {
  const std::string& body = Body();
  for (auto _ : state) {
    Manifest manifest;
    if (!RapidJsonExtract(body, manifest)) state.SkipWithError("RapidJSON extraction failed");
    benchmark::DoNotOptimize(manifest.files.data());
  }
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * body.size()));
}

void BM_SimdjsonParseOnly(benchmark::State& state) {
  const std::string& body = Body();
  simdjson::padded_string padded(body);
  simdjson::dom::parser parser;
  if (parser.allocate(padded.size()) != simdjson::SUCCESS) state.SkipWithError("simdjson allocation failed");
  for (auto _ : state) {
    auto document = parser.parse(padded);
    if (document.error() != simdjson::SUCCESS) state.SkipWithError("simdjson parse failed");
    benchmark::DoNotOptimize(document);
  }
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * body.size()));
}

BENCHMARK(BM_ParseManifest)->Unit(benchmark::kMillisecond)->Repetitions(7)->ReportAggregatesOnly(true);
BENCHMARK(BM_RapidJsonExtract)->Unit(benchmark::kMillisecond)->Repetitions(7)->ReportAggregatesOnly(true);
BENCHMARK(BM_SimdjsonParseOnly)->Unit(benchmark::kMillisecond)->Repetitions(7)->ReportAggregatesOnly(true);

// Keeps each benchmark's median CPU time per iteration for the ratio printed at the end (CPU time
// and the median of several repetitions, since the machine is shared and its load swings).
class RatioReporter : public benchmark::ConsoleReporter {
 public:
  std::map<std::string, double> seconds;
  void ReportRuns(const std::vector<Run>& runs) override {
    for (const Run& run : runs) {
      if (!run.error_occurred && run.aggregate_name == "median")
        seconds[run.run_name.function_name] = run.GetAdjustedCPUTime();
    }
    ConsoleReporter::ReportRuns(runs);
  }
};

// Heap in use at the worst moment of one run, above what was in use before it; the records it
// returns are included, the body is not.
// Only blocks allocated and freed inside the run are counted, which is all the run's own memory.
size_t PeakHeap(const std::function<void()>& run) {
  g_heapNow = 0;
  g_heapPeak = 0;
  g_counting = true;
  run();
  g_counting = false;
  return static_cast<size_t>(g_heapPeak.load());
}

}  // namespace

int main(int argc, char** argv) {
  const std::string& body = Body();
  const size_t entries = EntryCount();
  std::printf("manifest: %zu bytes (%.2f MiB), %zu entries\n", body.size(), body.size() / 1048576.0, entries);
  benchmark::Initialize(&argc, argv);
  RatioReporter reporter;
  benchmark::RunSpecifiedBenchmarks(&reporter);
  benchmark::Shutdown();

  const double ours = reporter.seconds["BM_ParseManifest"];
  const double rapid = reporter.seconds["BM_RapidJsonExtract"];
  const double simd = reporter.seconds["BM_SimdjsonParseOnly"];
  // Times are in milliseconds per iteration.
  const double megabytes = body.size() / 1e6;
  if (ours > 0 && rapid > 0) {
    std::printf("ParseManifest %.1f MB/s, RapidJSON extraction %.1f MB/s", megabytes / (ours / 1e3),
                megabytes / (rapid / 1e3));
    if (simd > 0) std::printf(", simdjson parse only %.1f MB/s", megabytes / (simd / 1e3));
    std::printf("\nratio ParseManifest / RapidJSON (throughput): %.2f (target >= 1.0)\n", rapid / ours);
  }
  const size_t oursPeak = PeakHeap([&] {
    Manifest manifest;
    std::wstring error;
    ParseManifest(body, manifest, error);
  });
  const size_t rapidPeak = PeakHeap([&] {
    Manifest manifest;
    RapidJsonExtract(body, manifest);
  });
  std::printf("peak heap of ParseManifest: %.1f MiB = %.2f x body (target <= 3.0); RapidJSON extraction: %.2f x body\n",
              oursPeak / 1048576.0, static_cast<double>(oursPeak) / body.size(),
              static_cast<double>(rapidPeak) / body.size());
  std::printf("sizeof(wchar_t) = %zu, sizeof(ManifestEntry) = %zu\n", sizeof(wchar_t), sizeof(ManifestEntry));
  return 0;
}
