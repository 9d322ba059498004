#include "store/job_report.h"

#include <algorithm>
#include <cctype>
#include <cstdio>
#include <set>
#include <sstream>

#include <nlohmann/json.hpp>

namespace korvan {
namespace {

using Json = nlohmann::ordered_json;

constexpr const char* kNoJob = "-";

struct JobRuns {
    std::vector<Json> records;
    std::vector<UnfinishedRun> reserved;
};

std::string Text(const Json& object, const char* key) {
    const auto found = object.find(key);
    return found != object.end() && found->is_string() ? found->get<std::string>() : std::string();
}

std::optional<std::uint64_t> Serial(const Json& object) {
    const auto found = object.find("serial");
    if (found == object.end() || !found->is_number_unsigned()) {
        return std::nullopt;
    }
    return found->get<std::uint64_t>();
}

int Site(const Json& object) {
    const auto found = object.find("site");
    return found != object.end() && found->is_number_integer() ? found->get<int>() : 0;
}

void Count(RunTally& tally, const Json& record) {
    const std::string time = Text(record, "time");
    ++tally.runs;
    ++(Text(record, "result") == "ok" ? tally.passed : tally.failed);
    if (tally.first.empty() || time < tally.first) {
        tally.first = time;
    }
    if (time > tally.last) {
        tally.last = time;
    }
}

// The step a failed run failed at: the first one whose result says so.
std::string FailedStep(const Json& record) {
    const auto steps = record.find("steps");
    if (steps != record.end() && steps->is_array()) {
        for (const Json& step : *steps) {
            if (step.is_object() && Text(step, "result") == "failed") {
                return Text(step, "name");
            }
        }
    }
    return kNoJob;
}

std::vector<SerialGap> FindGaps(const std::set<std::uint64_t>& recorded, const std::vector<UnfinishedRun>& reserved,
                                std::uint64_t first, std::uint64_t last) {
    std::vector<SerialGap> gaps;
    std::uint64_t expected = first;
    const auto close = [&](std::uint64_t to) {
        SerialGap gap{expected, to, {}};
        for (const UnfinishedRun& run : reserved) {
            if (run.serial >= gap.from && run.serial <= gap.to) {
                gap.unfinished.push_back(run);
            }
        }
        gaps.push_back(std::move(gap));
    };
    for (const std::uint64_t serial : recorded) {
        if (serial > expected) {
            close(serial - 1);
        }
        expected = serial + 1;
    }
    if (recorded.empty() || *recorded.rbegin() < last) {
        close(last);
    }
    return gaps;
}

JobReport Summarise(const std::string& job, JobRuns& runs) {
    JobReport report;
    report.job = job;
    std::map<std::pair<std::string, int>, RunTally> stations;
    std::set<std::uint64_t> recorded;
    for (const Json& record : runs.records) {
        Count(report.tally, record);
        Count(stations[{Text(record, "host"), Site(record)}], record);
        if (const std::optional<std::uint64_t> serial = Serial(record)) {
            recorded.insert(*serial);
        }
        if (Text(record, "result") != "ok") {
            ++report.failedSteps[FailedStep(record)];
            ++report.failureLines[Text(record, "failure")];
        }
    }
    for (const auto& [station, tally] : stations) {
        report.stations.push_back({station.first, station.second, tally});
    }
    // A number whose run left a record is no longer unfinished, however the log was cut.
    std::erase_if(runs.reserved, [&](const UnfinishedRun& run) { return recorded.count(run.serial) != 0; });
    std::sort(runs.reserved.begin(), runs.reserved.end(),
              [](const UnfinishedRun& left, const UnfinishedRun& right) { return left.serial < right.serial; });
    std::set<std::uint64_t> taken = recorded;
    for (const UnfinishedRun& run : runs.reserved) {
        taken.insert(run.serial);
    }
    if (!taken.empty()) {
        report.firstSerial = *taken.begin();
        report.lastSerial = *taken.rbegin();
        report.gaps = FindGaps(recorded, runs.reserved, *report.firstSerial, *report.lastSerial);
    }
    return report;
}

std::string Percent(std::size_t part, std::size_t whole) {
    char text[16];
    std::snprintf(text, sizeof text, "%.1f%%", whole == 0 ? 0.0 : 100.0 * static_cast<double>(part) / whole);
    return text;
}

std::string Range(std::uint64_t from, std::uint64_t to) {
    return from == to ? std::to_string(from) : std::to_string(from) + "-" + std::to_string(to);
}

std::string Padded(std::string text, std::size_t width) {
    text.resize(std::max(text.size() + 1, width), ' ');
    return text;
}

void TallyText(std::ostream& out, const RunTally& tally) {
    out << "runs " << tally.runs << ", passed " << tally.passed << ", failed " << tally.failed << ", yield "
        << Percent(tally.passed, tally.runs) << ", first " << tally.first << ", last " << tally.last << '\n';
}

void SerialText(std::ostream& out, const JobReport& job) {
    if (!job.firstSerial) {
        out << "  serial numbers: none\n";
        return;
    }
    out << "  serial numbers: " << Range(*job.firstSerial, *job.lastSerial) << ", gaps: " << job.gaps.size() << '\n';
    for (const SerialGap& gap : job.gaps) {
        out << "    " << Range(gap.from, gap.to) << ':';
        if (gap.unfinished.empty()) {
            out << " no run took them here";
        }
        for (std::size_t index = 0; index < gap.unfinished.size(); ++index) {
            const UnfinishedRun& run = gap.unfinished[index];
            out << (index == 0 ? " " : ", ") << run.serial << " taken by " << run.host << " site " << run.site
                << " at " << run.time << ", no record";
        }
        out << '\n';
    }
}

Json TallyJson(const RunTally& tally) {
    Json json;
    json["runs"] = tally.runs;
    json["passed"] = tally.passed;
    json["failed"] = tally.failed;
    json["yield"] = tally.runs == 0 ? 0.0 : static_cast<double>(tally.passed) / static_cast<double>(tally.runs);
    json["first"] = tally.first.empty() ? Json(nullptr) : Json(tally.first);
    json["last"] = tally.last.empty() ? Json(nullptr) : Json(tally.last);
    return json;
}

Json GapJson(const SerialGap& gap) {
    Json json;
    json["from"] = gap.from;
    json["to"] = gap.to;
    json["unfinished"] = Json::array();
    for (const UnfinishedRun& run : gap.unfinished) {
        json["unfinished"].push_back({{"serial", run.serial}, {"host", run.host}, {"site", run.site}, {"time", run.time}});
    }
    return json;
}

}  // namespace

BuiltReport BuildReport(const std::vector<std::string>& lines, const ReportFilter& filter) {
    BuiltReport built;
    std::map<std::string, JobRuns> jobs;
    for (const std::string& line : lines) {
        if (line.empty()) {
            continue;
        }
        Json object = Json::parse(line, nullptr, false);
        if (!object.is_object()) {
            built.problems.push_back("not a record: " + line.substr(0, 80));
            continue;
        }
        std::string job = Text(object, "job");
        job = job.empty() ? kNoJob : job;
        // Times in the records are UTC ISO 8601, which sort as text.
        if ((!filter.job.empty() && job != filter.job) || Text(object, "time") < filter.since) {
            continue;
        }
        if (object.value("reserved", false)) {
            if (const std::optional<std::uint64_t> serial = Serial(object)) {
                jobs[job].reserved.push_back({*serial, Text(object, "host"), Site(object), Text(object, "time")});
            }
            continue;
        }
        jobs[job].records.push_back(std::move(object));
    }
    for (auto& [name, runs] : jobs) {
        built.jobs.push_back(Summarise(name, runs));
    }
    return built;
}

std::string ReportText(const std::vector<JobReport>& jobs) {
    std::ostringstream out;
    for (const JobReport& job : jobs) {
        out << "Job " << job.job << ": ";
        TallyText(out, job.tally);
        SerialText(out, job);
        out << "  " << Padded("station", 16) << Padded("site", 6) << Padded("runs", 7) << Padded("passed", 8)
            << Padded("failed", 8) << Padded("yield", 8) << Padded("first", 25) << "last\n";
        for (const StationTally& station : job.stations) {
            const RunTally& tally = station.tally;
            out << "  " << Padded(station.host, 16) << Padded(std::to_string(station.site), 6)
                << Padded(std::to_string(tally.runs), 7) << Padded(std::to_string(tally.passed), 8)
                << Padded(std::to_string(tally.failed), 8) << Padded(Percent(tally.passed, tally.runs), 8)
                << Padded(tally.first, 25) << tally.last << '\n';
        }
        for (const auto& [step, count] : job.failedSteps) {
            out << "  failed at " << step << ": " << count << '\n';
        }
        for (const auto& [line, count] : job.failureLines) {
            out << "  failed with \"" << line << "\": " << count << '\n';
        }
    }
    return out.str();
}

std::string ReportJson(const std::vector<JobReport>& jobs) {
    std::string text;
    for (const JobReport& job : jobs) {
        Json json;
        json["job"] = job.job;
        json.update(TallyJson(job.tally));
        Json serials;
        serials["first"] = job.firstSerial ? Json(*job.firstSerial) : Json(nullptr);
        serials["last"] = job.lastSerial ? Json(*job.lastSerial) : Json(nullptr);
        serials["gaps"] = Json::array();
        for (const SerialGap& gap : job.gaps) {
            serials["gaps"].push_back(GapJson(gap));
        }
        json["serials"] = serials;
        json["stations"] = Json::array();
        for (const StationTally& station : job.stations) {
            Json entry = {{"host", station.host}, {"site", station.site}};
            entry.update(TallyJson(station.tally));
            json["stations"].push_back(entry);
        }
        json["failed_steps"] = job.failedSteps;
        json["failure_lines"] = job.failureLines;
        text += json.dump(-1, ' ', false, Json::error_handler_t::replace) + '\n';
    }
    return text;
}

std::string SinceProblem(const std::string& since) {
    // YYYY-MM-DD, optionally followed by THH:MM or THH:MM:SS.
    static const std::vector<std::string> kShapes = {"dddd-dd-dd", "dddd-dd-ddTdd:dd", "dddd-dd-ddTdd:dd:dd"};
    for (const std::string& shape : kShapes) {
        if (shape.size() == since.size() &&
            std::equal(shape.begin(), shape.end(), since.begin(), [](char want, char have) {
                return want == 'd' ? std::isdigit(static_cast<unsigned char>(have)) != 0 : want == have;
            })) {
            return {};
        }
    }
    return "--since takes a UTC date, YYYY-MM-DD, or YYYY-MM-DDTHH:MM[:SS]";
}

}  // namespace korvan
