// incbake on a 16 MiB random file, with `xxd -i` as the peer in the same run.
// The iteration time is incbake's; xxd's time and the ratio xxd / incbake are
// counters, so one line of output answers "how do we compare".
#ifndef _WIN32
#include <benchmark/benchmark.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <random>
#include <string>
#include <vector>

namespace {

namespace fs = std::filesystem;

// Writes the input afresh; the caller removes the folder (about 200 MB with
// both outputs) when done.
fs::path makeBenchDir() {
    fs::path dir = fs::temp_directory_path() / "vantorix_incbake_bench";
    fs::create_directories(dir);
    std::vector<char> data(16u << 20);
    std::mt19937 rng(7);
    for (size_t i = 0; i < data.size(); i += 4) {
        uint32_t v = rng();
        for (size_t k = 0; k < 4; ++k) data[i + k] = char(v >> (8 * k));
    }
    std::ofstream(dir / "random16m.bin", std::ios::binary)
        .write(data.data(), std::streamsize(data.size()));
    return dir;
}

// Seconds for one shell command, or a negative value when it failed.
double timeCommand(const std::string& cmd) {
    auto start = std::chrono::steady_clock::now();
    int rc = std::system(cmd.c_str());
    auto end = std::chrono::steady_clock::now();
    if (rc != 0) return -1.0;
    return std::chrono::duration<double>(end - start).count();
}

void BM_Incbake16MiB_VsXxd(benchmark::State& state) {
    const fs::path dir = makeBenchDir();
    std::string cd = "cd '" + dir.string() + "' && ";
    std::string incbake = cd + "'" VANTORIX_INCBAKE_PATH "' random16m.bin </dev/null >/dev/null";
    std::string xxd = cd + "xxd -i random16m.bin > random16m_xxd.h";
    bool haveXxd = std::system("command -v xxd >/dev/null 2>&1") == 0;
    double incbakeTotal = 0, xxdTotal = 0;
    for (auto _ : state) {
        double t = timeCommand(incbake);
        if (t < 0) {
            state.SkipWithError("incbake failed");
            break;
        }
        state.SetIterationTime(t);
        incbakeTotal += t;
        if (haveXxd) {
            double x = timeCommand(xxd);
            if (x < 0)
                haveXxd = false;
            else
                xxdTotal += x;
        }
    }
    std::error_code ec;
    fs::remove_all(dir, ec);
    if (state.error_occurred()) return;
    double n = double(state.iterations());
    state.SetBytesProcessed(int64_t(state.iterations()) * (16 << 20));
    state.counters["incbake_s"] = incbakeTotal / n;
    if (haveXxd) {
        state.counters["xxd_s"] = xxdTotal / n;
        state.counters["xxd_over_incbake"] = xxdTotal / incbakeTotal;
    } else {
        state.SetLabel("xxd not installed: no comparison");
    }
}
BENCHMARK(BM_Incbake16MiB_VsXxd)->UseManualTime()->Iterations(3)->Unit(benchmark::kMillisecond);

} // namespace
#endif
