// What the shared job store adds to each chip, beside the counter file and job log, on a local
// server: the median of taking a number and storing a record over 1,000 runs, and the 99th
// percentile of taking a number with 32 takers at once (8 processes of 4 sites).
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <fstream>
#include <functional>
#include <string>
#include <thread>
#include <vector>

#include "data/job_log.h"
#include "data/serial_counter.h"
#include "store/job_store.h"
#include "tests/support/postgres_server.h"
#include "tests/support/temp_dir.h"

namespace {

using korvan::JobStore;
using Clock = std::chrono::steady_clock;

constexpr int kRuns = 1000;
constexpr int kProcesses = 8;
constexpr int kSites = 4;
constexpr int kTakesPerSite = 100;

const std::string kRecord =
    R"({"time":"2026-12-07T18:52:10.412Z","host":"line3","korvan":"2.3","site":1,"port":"simulated",)"
    R"("programmer":"serial","chip":"AT89C52","signature":"1e 52 ff","image":{"path":"app.hex","bytes":8192,)"
    R"("crc32":"6b0f4ac2","sha256":"9c1d"},"serial":1000,"steps":[{"name":"write","result":"ok","ms":2870}],)"
    R"("mismatches":0,"result":"ok","failure":null,"job":"bench","run":")";

double Milliseconds(Clock::duration duration) { return std::chrono::duration<double, std::milli>(duration).count(); }

double Percentile(std::vector<double> values, double fraction) {
    std::sort(values.begin(), values.end());
    return values[std::min(values.size() - 1, static_cast<std::size_t>(fraction * static_cast<double>(values.size())))];
}

std::vector<double> Time(int runs, const std::function<void()>& run) {
    std::vector<double> times;
    for (int index = 0; index < runs; ++index) {
        const Clock::time_point start = Clock::now();
        run();
        times.push_back(Milliseconds(Clock::now() - start));
    }
    return times;
}

std::unique_ptr<JobStore> OpenStore(const std::string& url, const std::string& spool) {
    korvan::JobStoreSettings settings;
    settings.url = url;
    settings.job = "bench";
    settings.spoolPath = spool;
    return korvan::OpenJobStore(settings);
}

korvan::NumberTaker Taker(int site) {
    korvan::NumberTaker taker;
    taker.runId = korvan::NewRunId();
    taker.host = "bench";
    taker.site = site;
    return taker;
}

// One process of the 32 takers: each site its own store on its own thread; the times go to `path`.
void TakeFromSites(const std::string& url, const std::string& spool, const std::string& path) {
    std::vector<std::vector<double>> times(kSites);
    std::vector<std::thread> sites;
    for (int site = 0; site < kSites; ++site) {
        sites.emplace_back([&, site] {
            const std::unique_ptr<JobStore> store = OpenStore(url, spool);
            store->NextNumber(1);  // connected before the clock runs, as a run's check is
            times[static_cast<std::size_t>(site)] = Time(kTakesPerSite, [&] { store->TakeNumber(1, 1'000'000'000, Taker(site)); });
        });
    }
    for (std::thread& site : sites) {
        site.join();
    }
    std::ofstream out(path);
    for (const std::vector<double>& site : times) {
        for (const double time : site) {
            out << time << '\n';
        }
    }
}

}  // namespace

int main() {
    korvan::testing::PostgresServer server(true);  // each commit synced, as the job log is
    if (!server.problem().empty()) {
        std::fprintf(stderr, "store bench: %s\n", server.problem().c_str());
        return server.binariesMissing() ? 0 : 1;
    }
    const std::string url = server.CreateDatabase("bench");
    const korvan::testing::TempDir dir;
    const std::string spool = dir.file("spool");

    const std::vector<double> files = Time(kRuns, [&] {
        korvan::TakeSerialNumber(dir.file("counter"), 1, 1'000'000'000);
        korvan::AppendLogLine(dir.file("job.log"), kRecord + "file\"}");
    });
    const std::unique_ptr<JobStore> store = OpenStore(url, spool);
    store->NextNumber(1);  // the tables exist, the connection is made
    const std::vector<double> stored = Time(kRuns, [&] {
        const korvan::NumberTaker taker = Taker(1);
        store->TakeNumber(1, 1'000'000'000, taker);
        store->KeepRecord(kRecord + taker.runId + "\"}");
    });
    // A korvan-cli run connects once a site: the connection (SCRAM password check) counted in.
    const std::vector<double> connected = Time(kRuns / 10, [&] {
        const std::unique_ptr<JobStore> fresh = OpenStore(url, spool);
        const korvan::NumberTaker taker = Taker(1);
        fresh->TakeNumber(1, 1'000'000'000, taker);
        fresh->KeepRecord(kRecord + taker.runId + "\"}");
    });
    std::printf("take a number + keep a record, median of %d: counter file + job log %.3f ms, "
                "store %.3f ms (%.3f ms added); with a new connection (median of %d) %.3f ms\n",
                kRuns, Percentile(files, 0.5), Percentile(stored, 0.5),
                Percentile(stored, 0.5) - Percentile(files, 0.5), kRuns / 10, Percentile(connected, 0.5));

    std::vector<pid_t> children;
    for (int process = 0; process < kProcesses; ++process) {
        const pid_t child = ::fork();
        if (child == 0) {
            TakeFromSites(url, spool, dir.file("takes-" + std::to_string(process)));
            ::_exit(0);
        }
        children.push_back(child);
    }
    for (const pid_t child : children) {
        ::waitpid(child, nullptr, 0);
    }
    std::vector<double> takes;
    for (int process = 0; process < kProcesses; ++process) {
        std::ifstream in(dir.file("takes-" + std::to_string(process)));
        for (double time = 0; in >> time;) {
            takes.push_back(time);
        }
    }
    if (takes.size() != static_cast<std::size_t>(kProcesses * kSites * kTakesPerSite)) {
        std::fprintf(stderr, "store bench: %zu of %d takes timed\n", takes.size(), kProcesses * kSites * kTakesPerSite);
        return 1;
    }
    std::printf("%d takers at once (%d processes x %d sites), %zu takes: median %.3f ms, 99th percentile %.3f ms\n",
                kProcesses * kSites, kProcesses, kSites, takes.size(), Percentile(takes, 0.5),
                Percentile(takes, 0.99));
    return 0;
}
