#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <libpq-fe.h>

#include <nlohmann/json.hpp>

#include "store/job_store.h"
#include "store/postgres_store.h"
#include "tests/support/postgres_server.h"
#include "tests/support/temp_dir.h"

namespace korvan::testing {
namespace {

using ::testing::HasSubstr;
using ::testing::Not;

// One value of a query the test runs itself; empty when there is none.
std::string QueryValue(const std::string& url, const std::string& sql) {
    PGconn* connection = ::PQconnectdb(url.c_str());
    PGresult* result = ::PQexec(connection, sql.c_str());
    std::string value;
    if (::PQresultStatus(result) == PGRES_TUPLES_OK && ::PQntuples(result) > 0) {
        value = ::PQgetvalue(result, 0, 0);
    }
    ::PQclear(result);
    ::PQfinish(connection);
    return value;
}

std::string Record(const std::string& job, const std::string& run, std::optional<std::uint64_t> serial,
                   bool ok = true) {
    nlohmann::ordered_json record = {
        {"time", "2026-12-07T18:52:10.412Z"}, {"host", "line3"}, {"korvan", "2.3"}, {"site", 2},
        {"port", "simulated"}, {"programmer", "serial"}, {"chip", "AT89C52"}, {"signature", "1e 52 ff"},
        {"image", {{"path", "app.hex"}, {"bytes", 8192}, {"crc32", "6b0f4ac2"}, {"sha256", "9c1d"}}},
        {"serial", serial ? nlohmann::ordered_json(*serial) : nlohmann::ordered_json(nullptr)},
        {"steps", {{{"name", "write"}, {"result", ok ? "ok" : "failed"}, {"ms", 12}}}},
        {"mismatches", 0}, {"result", ok ? "ok" : "failed"},
        {"failure", ok ? nlohmann::ordered_json(nullptr) : nlohmann::ordered_json("Programmer: Write Error.")},
        {"job", job}, {"run", run}};
    return record.dump();
}

NumberTaker Taker(const std::string& host, int site) {
    NumberTaker taker;
    taker.runId = NewRunId();
    taker.host = host;
    taker.site = site;
    return taker;
}

class PostgresStoreTest : public ::testing::Test {
protected:
    void SetUp() override {
        if (server.binariesMissing()) {
            GTEST_SKIP() << "PostgreSQL server tests skipped: " << server.problem();
        }
        ASSERT_EQ(server.problem(), "");
        url = server.CreateDatabase("store");
        ASSERT_NE(url, "");
    }

    std::unique_ptr<JobStore> Open(const std::string& job, const std::string& storeUrl = {}) {
        JobStoreSettings settings;
        settings.url = storeUrl.empty() ? url : storeUrl;
        settings.job = job;
        settings.spoolPath = dir.file("spool");
        return OpenJobStore(settings);
    }

    PostgresServer server;
    TempDir dir;
    std::string url;
};

// The tables are made by the first store that needs them; numbers start where the job's first
// taker says, go on from the counter after that, and stop at the placement's largest.
TEST_F(PostgresStoreTest, NumbersComeOnceFromTheJobsCounter) {
    std::unique_ptr<JobStore> first = Open("line-7");
    const TakenSerialNumber peeked = first->NextNumber(1000);
    ASSERT_EQ(peeked.error, "");
    EXPECT_EQ(peeked.number, 1000U);
    EXPECT_EQ(QueryValue(url, "SELECT version FROM korvan_schema"), std::to_string(kStoreSchemaVersion));

    EXPECT_EQ(first->TakeNumber(1000, 9999, Taker("line3", 1)).number, 1000U);
    std::unique_ptr<JobStore> second = Open("line-7");
    EXPECT_EQ(second->TakeNumber(5, 9999, Taker("line4", 2)).number, 1001U);  // the start is only the first
    EXPECT_EQ(Open("other")->TakeNumber(5, 9999, Taker("line4", 2)).number, 5U);
    EXPECT_EQ(first->NextNumber(1).number, 1002U);

    const TakenSerialNumber refused = first->TakeNumber(1000, 1001, Taker("line3", 1));
    EXPECT_FALSE(refused.number);
    EXPECT_EQ(refused.error, "serial number 1002 of job line-7 is above the largest, 1001");
    EXPECT_EQ(first->TakeNumber(1000, 1002, Taker("line3", 1)).number, 1002U);  // the refusal used none
    EXPECT_EQ(QueryValue(url, "SELECT string_agg(host || '/' || site || '/' || serial, ' ' ORDER BY serial) "
                              "FROM korvan_serial WHERE job = 'line-7'"),
              "line3/1/1000 line4/2/1001 line3/1/1002");
    EXPECT_EQ(QueryValue(url, "SELECT count(*) FROM korvan_schema"), "1");  // no second migration

    EXPECT_EQ(QueryValue(url, "UPDATE korvan_schema SET version = 99 RETURNING version"), "99");
    EXPECT_THAT(Open("line-7")->NextNumber(1).error, HasSubstr("has tables of version 99, newer than this program's 1"));
}

// A record is one row with the record's fields, whatever number of times it is sent.
TEST_F(PostgresStoreTest, RecordsAreRowsKeyedByTheirRunId) {
    std::unique_ptr<JobStore> store = Open("line-7");
    const std::string run = NewRunId();
    EXPECT_THAT(run, ::testing::MatchesRegex("[0-9a-f]{8}-[0-9a-f]{4}-4[0-9a-f]{3}-[89ab][0-9a-f]{3}-[0-9a-f]{12}"));
    EXPECT_NE(run, NewRunId());
    ASSERT_EQ(store->KeepRecord(Record("line-7", run, 1234, false)), "");
    ASSERT_EQ(store->KeepRecord(Record("line-7", run, 1234, false)), "");
    EXPECT_EQ(QueryValue(url, "SELECT count(*) FROM korvan_run"), "1");
    EXPECT_EQ(QueryValue(url, "SELECT concat_ws('|', run_id, job, time AT TIME ZONE 'UTC', host, korvan, site, port, "
                              "programmer, chip, signature, image_path, image_bytes, image_crc32, image_sha256, serial, "
                              "steps->0->>'result', mismatches, result, failure) FROM korvan_run"),
              run + "|line-7|2026-12-07 18:52:10.412|line3|2.3|2|simulated|serial|AT89C52|1e 52 ff|app.hex|8192|"
                    "6b0f4ac2|9c1d|1234|failed|0|failed|Programmer: Write Error.");
    // Which chip got serial 1234: answered from the index, not by reading every run.
    EXPECT_THAT(QueryValue(url, "SET enable_seqscan = off; EXPLAIN SELECT chip FROM korvan_run WHERE job = 'line-7' AND serial = 1234"),
                HasSubstr("korvan_run_job_serial"));

    const StoredLines stored = ReadStoredRuns(url, "line-7", "");
    ASSERT_EQ(stored.error, "");
    ASSERT_EQ(stored.lines.size(), 1U);
    const nlohmann::json read = nlohmann::json::parse(stored.lines[0]);
    EXPECT_EQ(read, nlohmann::json::parse(Record("line-7", run, 1234, false)));
    EXPECT_TRUE(ReadStoredRuns(url, "line-7", "2026-12-08").lines.empty());
    EXPECT_TRUE(ReadStoredRuns(url, "other", "").lines.empty());
}

// With the server away a record waits in the spool, and is sent once when it is back: by the
// next record that reaches it, or by a flush.
TEST_F(PostgresStoreTest, ServerAwaySpoolsRecordsThatAreSentOnceLater) {
    std::unique_ptr<JobStore> store = Open("line-7");
    ASSERT_EQ(store->TakeNumber(1, 99, Taker("line3", 1)).error, "");
    ASSERT_TRUE(server.Stop(true));
    const std::string first = NewRunId();
    const std::string second = NewRunId();
    const TakenSerialNumber refused = store->TakeNumber(1, 99, Taker("line3", 1));
    EXPECT_FALSE(refused.number);
    EXPECT_THAT(refused.error, HasSubstr("cannot reach the job store on " + server.socketDir() + ":" +
                                         std::to_string(server.port()) + "/store: "));
    EXPECT_EQ(store->KeepRecord(Record("line-7", first, 1)), "");
    EXPECT_EQ(Open("line-7")->KeepRecord(Record("line-7", second, 2)), "");
    EXPECT_EQ(dir.Read("spool"), Record("line-7", first, 1) + "\n" + Record("line-7", second, 2) + "\n");
    EXPECT_THAT(FlushSpool(url, dir.file("spool")).error, HasSubstr("cannot reach the job store"));
    EXPECT_EQ(FlushSpool(url, dir.file("spool")).left, 2U);

    ASSERT_TRUE(server.Start());
    const std::string third = NewRunId();
    EXPECT_EQ(store->KeepRecord(Record("line-7", third, 3)), "");  // connects again, then empties the spool
    EXPECT_EQ(dir.Read("spool"), "");
    EXPECT_EQ(QueryValue(url, "SELECT string_agg(serial::text, ' ' ORDER BY serial) FROM korvan_run"), "1 2 3");

    dir.Write("spool", Record("line-7", first, 1) + "\n");  // sent before, left by a crash
    const SpoolFlush again = FlushSpool(url, dir.file("spool"));
    EXPECT_EQ(again.error, "");
    EXPECT_EQ(again.sent, 1U);
    EXPECT_EQ(QueryValue(url, "SELECT count(*) FROM korvan_run"), "3");
    EXPECT_EQ(dir.Read("spool"), "");
    EXPECT_EQ(store->TakeNumber(1, 99, Taker("line3", 1)).number, 2U);
}

// What stops a connection is named with the server, never with the password.
TEST_F(PostgresStoreTest, ConnectionProblemsNameTheServerAndTheCauseButNoPassword) {
    const std::string wrongPassword = "totally-Wrong-pw";
    const std::string withPassword = url + " password=" + wrongPassword;
    // The pgpass file is what would give the right one: without it, the given one is tried.
    const std::string passFile = std::getenv("PGPASSFILE");
    ::unsetenv("PGPASSFILE");
    const std::string badPassword = Open("line-7", withPassword)->NextNumber(1).error;
    ::setenv("PGPASSFILE", passFile.c_str(), 1);
    EXPECT_THAT(badPassword, HasSubstr("password authentication failed for user \"korvan\""));
    EXPECT_THAT(badPassword, HasSubstr(server.socketDir()));
    EXPECT_THAT(badPassword, Not(HasSubstr(wrongPassword)));

    const std::string noDatabase = Open("line-7", server.Url("nowhere"))->NextNumber(1).error;
    EXPECT_THAT(noDatabase, HasSubstr("/nowhere: "));
    EXPECT_THAT(noDatabase, HasSubstr("database \"nowhere\" does not exist"));

    const std::string refused =
        Open("line-7", "postgresql://korvan:" + wrongPassword + "@127.0.0.1:1/store")->NextNumber(1).error;
    EXPECT_THAT(refused, HasSubstr("cannot reach the job store on 127.0.0.1:1/store: "));
    EXPECT_THAT(refused, HasSubstr("Connection refused"));
    EXPECT_THAT(refused, Not(HasSubstr(wrongPassword)));
    EXPECT_EQ(DescribeServer("postgresql://korvan:" + wrongPassword + "@db.line:6543/jobs"), "db.line:6543/jobs");
}

}  // namespace
}  // namespace korvan::testing
