// Device list costs at 1,000, 10,000 and 100,000 rows: a reply of a new device, a repeated
// reply, a reply that moves a row, the age pass and a full sort.
#include "app/DeviceList.h"

#include <benchmark/benchmark.h>

#include <cstdio>
#include <memory>
#include <random>
#include <string>
#include <vector>

namespace {

using zadari::TDeviceList;
using zadari::TDevInfo;

std::string MacOf(std::uint32_t n) {
    char text[18];
    std::snprintf(text, sizeof text, "00:1A:%02X:%02X:%02X:%02X", (n >> 24) & 0xFF,
                  (n >> 16) & 0xFF, (n >> 8) & 0xFF, n & 0xFF);
    return text;
}

TDevInfo DeviceOf(std::uint32_t n, std::mt19937& rng) {
    TDevInfo d;
    d.family = static_cast<std::int32_t>(rng() % 10);
    d.mac = MacOf(n);
    d.macKey = d.mac;
    d.name = "Camera " + std::to_string(rng() % 5000);
    d.ip = "10." + std::to_string(rng() % 256) + "." + std::to_string(rng() % 256) + "." +
           std::to_string(rng() % 256);
    d.mask = "255.0.0.0";
    d.gateway = "10.0.0.1";
    d.dns1 = "10.0.0.1";
    d.version = "V1.2.3 build 20240101";
    d.httpPort = 80;
    return d;
}

struct TFilledList {
    TDeviceList list;
    std::vector<TDevInfo> devices;

    explicit TFilledList(int rows) {
        std::mt19937 rng(42);
        devices.reserve(static_cast<std::size_t>(rows));
        for (int i = 0; i < rows; ++i) {
            devices.push_back(DeviceOf(static_cast<std::uint32_t>(i), rng));
            list.MergeDevice(devices.back());
        }
    }
};

constexpr std::size_t kBatch = 100;

// New devices come from a batch built while the timer is paused; after each batch the added
// rows are deleted again (paused too), so the list keeps its size.
void BM_MergeNewDevice(benchmark::State& state) {
    TFilledList filled(static_cast<int>(state.range(0)));
    std::mt19937 rng(7);
    std::uint32_t next = 0x10000000;
    std::vector<TDevInfo> batch;
    std::size_t used = 0;
    for (auto _ : state) {
        if (used == batch.size()) {
            state.PauseTiming();
            for (const auto& d : batch)
                filled.list.DeleteRow(filled.list.RowOfMac(d.mac));
            batch.clear();
            for (std::size_t k = 0; k < kBatch; ++k)
                batch.push_back(DeviceOf(next++, rng));
            used = 0;
            state.ResumeTiming();
        }
        benchmark::DoNotOptimize(filled.list.MergeDevice(batch[used++]));
    }
}

void BM_MergeRefresh(benchmark::State& state) {
    TFilledList filled(static_cast<int>(state.range(0)));
    std::size_t i = 0;
    for (auto _ : state) {
        benchmark::DoNotOptimize(filled.list.MergeDevice(filled.devices[i]));
        if (++i == filled.devices.size())
            i = 0;
    }
}

// A reply whose address changed: the row is replaced and moves to its new place.
void BM_MergeChangedIp(benchmark::State& state) {
    TFilledList filled(static_cast<int>(state.range(0)));
    std::mt19937 rng(3);
    std::vector<TDevInfo> batch;
    std::size_t used = 0;
    std::size_t i = 0;
    for (auto _ : state) {
        if (used == batch.size()) {
            state.PauseTiming();
            batch.clear();
            for (std::size_t k = 0; k < kBatch; ++k) {
                TDevInfo d = filled.devices[i];
                if (++i == filled.devices.size())
                    i = 0;
                d.ip = "10." + std::to_string(rng() % 256) + "." + std::to_string(rng() % 256) +
                       "." + std::to_string(rng() % 256);
                batch.push_back(std::move(d));
            }
            used = 0;
            state.ResumeTiming();
        }
        benchmark::DoNotOptimize(filled.list.MergeDevice(batch[used++]));
    }
}

void BM_AgePass(benchmark::State& state) {
    TFilledList filled(static_cast<int>(state.range(0)));
    int passes = 0;
    for (auto _ : state) {
        filled.list.AgePass();
        if (++passes == 8) { // refresh before anything expires
            state.PauseTiming();
            for (const auto& d : filled.devices)
                filled.list.MergeDevice(d);
            passes = 0;
            state.ResumeTiming();
        }
    }
}

void BM_AgePassRemovingEveryOtherRow(benchmark::State& state) {
    const int rows = static_cast<int>(state.range(0));
    for (auto _ : state) {
        state.PauseTiming();
        auto filled = std::make_unique<TFilledList>(rows);
        for (int tick = 0; tick < 9; ++tick)
            filled->list.AgePass();
        for (int r = 0; r < filled->list.RowCount(); r += 2)
            filled->list.MergeDevice(filled->list.Row(r).record);
        state.ResumeTiming();
        filled->list.AgePass();
        state.PauseTiming();
        benchmark::DoNotOptimize(filled->list.RowCount());
        filled.reset();
        state.ResumeTiming();
    }
}

void BM_SortByAnotherColumn(benchmark::State& state) {
    TFilledList filled(static_cast<int>(state.range(0)));
    int column = 1;
    for (auto _ : state) {
        filled.list.ColumnClick(column);
        column = column == 1 ? 2 : 1;
    }
}

void BM_FlipSortDirection(benchmark::State& state) {
    TFilledList filled(static_cast<int>(state.range(0)));
    for (auto _ : state)
        filled.list.ColumnClick(2);
}

} // namespace

BENCHMARK(BM_MergeNewDevice)->Arg(1000)->Arg(10000)->Arg(100000);
BENCHMARK(BM_MergeRefresh)->Arg(1000)->Arg(10000)->Arg(100000);
BENCHMARK(BM_MergeChangedIp)->Arg(1000)->Arg(10000)->Arg(100000);
BENCHMARK(BM_AgePass)->Arg(1000)->Arg(10000)->Arg(100000)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_AgePassRemovingEveryOtherRow)
    ->Arg(1000)
    ->Arg(10000)
    ->Arg(100000)
    ->Unit(benchmark::kMicrosecond)
    ->Iterations(5);
BENCHMARK(BM_SortByAnotherColumn)
    ->Arg(1000)
    ->Arg(10000)
    ->Arg(100000)
    ->Unit(benchmark::kMillisecond);
BENCHMARK(BM_FlipSortDirection)->Arg(1000)->Arg(10000)->Arg(100000)->Unit(benchmark::kMicrosecond);
