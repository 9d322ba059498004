#include "store/postgres_store.h"

#include <fcntl.h>
#include <libpq-fe.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <array>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <optional>
#include <sstream>
#include <string_view>

#include "data/job_log.h"
#include "data/read_file.h"
#include "data/text.h"

namespace korvan {
namespace {

// Each entry brings the tables from the version before it to its own; entry 0 makes version 1.
// Applied in one transaction under an advisory lock, so that stations starting together
// migrate once.
//
// Version 2 gives each job a sequence of its own in place of a counter row. A counter row is
// locked by its taker until the commit reaches the disk, so takers queued behind each other's
// disk writes; nextval holds no lock. A number is still given once, even across a server crash:
// it is returned only after the commit of its reservation row in korvan_serial, whose key
// (job, serial) refuses it a second time (a sequence set back by a crash is stepped past).
// A crash may leave numbers no run took, which the report shows as such. The functions run as
// the tables' owner (SECURITY DEFINER), so that a station's role needs no right to the tables
// behind the numbers.
const std::array<const char*, kStoreSchemaVersion> kMigrations = {R"sql(
CREATE TABLE korvan_counter (
    job text PRIMARY KEY,
    next numeric(20, 0) NOT NULL
);
CREATE TABLE korvan_serial (
    job text NOT NULL,
    serial numeric(20, 0) NOT NULL,
    run_id uuid NOT NULL,
    host text NOT NULL,
    site integer NOT NULL,
    taken timestamptz NOT NULL DEFAULT now(),
    PRIMARY KEY (job, serial)
);
CREATE INDEX korvan_serial_run ON korvan_serial (run_id);
CREATE TABLE korvan_run (
    run_id uuid PRIMARY KEY,
    job text NOT NULL,
    time timestamptz NOT NULL,
    host text NOT NULL,
    korvan text NOT NULL,
    site integer NOT NULL,
    port text NOT NULL,
    programmer text NOT NULL,
    chip text NOT NULL,
    signature text,
    image_path text NOT NULL,
    image_bytes bigint NOT NULL,
    image_crc32 text NOT NULL,
    image_sha256 text NOT NULL,
    serial numeric(20, 0),
    steps jsonb NOT NULL,
    mismatches bigint NOT NULL,
    result text NOT NULL,
    failure text
);
CREATE INDEX korvan_run_job_time ON korvan_run (job, time);
CREATE INDEX korvan_run_job_serial ON korvan_run (job, serial) WHERE serial IS NOT NULL;
CREATE FUNCTION korvan_take_serial(p_job text, p_start numeric, p_max numeric, p_run uuid, p_host text,
                                   p_site integer) RETURNS numeric LANGUAGE plpgsql AS $$
DECLARE
    taken numeric;
BEGIN
    INSERT INTO korvan_counter (job, next) VALUES (p_job, p_start) ON CONFLICT (job) DO NOTHING;
    UPDATE korvan_counter SET next = next + 1 WHERE job = p_job AND next <= p_max RETURNING next - 1 INTO taken;
    IF taken IS NOT NULL THEN
        INSERT INTO korvan_serial (job, serial, run_id, host, site) VALUES (p_job, taken, p_run, p_host, p_site);
    END IF;
    RETURN taken;
END
$$;
)sql",
                                                                      R"sql(
CREATE TABLE korvan_job (
    job text PRIMARY KEY,
    numbers regclass NOT NULL
);
CREATE FUNCTION korvan_job_numbers(p_job text, p_start numeric) RETURNS regclass LANGUAGE plpgsql AS $$
DECLARE
    numbers regclass;
    name text := 'korvan_job_' || md5(p_job);
BEGIN
    PERFORM pg_advisory_xact_lock(hashtext('korvan_job'), hashtext(p_job));
    SELECT j.numbers INTO numbers FROM korvan_job j WHERE j.job = p_job;
    IF numbers IS NULL THEN
        EXECUTE format('CREATE SEQUENCE %I AS bigint MINVALUE 0 START %s', name, p_start);
        numbers := name::regclass;
        INSERT INTO korvan_job (job, numbers) VALUES (p_job, numbers);
    END IF;
    RETURN numbers;
END
$$;
CREATE FUNCTION korvan_next_serial(p_job text, p_start numeric) RETURNS numeric LANGUAGE sql SECURITY DEFINER AS $$
    SELECT coalesce((SELECT coalesce(pg_sequence_last_value(s.seqrelid)::numeric + 1, s.seqstart)
                     FROM korvan_job j JOIN pg_sequence s ON s.seqrelid = j.numbers
                     WHERE j.job = p_job), p_start)
$$;
SELECT korvan_job_numbers(job, next) FROM korvan_counter;
DROP FUNCTION korvan_take_serial(text, numeric, numeric, uuid, text, integer);
DROP TABLE korvan_counter;
CREATE FUNCTION korvan_take_serial(p_job text, p_start numeric, p_max numeric, p_run uuid, p_host text,
                                   p_site integer) RETURNS numeric LANGUAGE plpgsql SECURITY DEFINER AS $$
DECLARE
    numbers regclass;
    taken numeric;
BEGIN
    SELECT j.numbers INTO numbers FROM korvan_job j WHERE j.job = p_job;
    IF numbers IS NULL THEN
        numbers := korvan_job_numbers(p_job, p_start);
    END IF;
    LOOP
        IF korvan_next_serial(p_job, p_start) > p_max THEN
            RETURN NULL;
        END IF;
        taken := nextval(numbers);
        IF taken > p_max THEN
            RETURN NULL;
        END IF;
        INSERT INTO korvan_serial (job, serial, run_id, host, site) VALUES (p_job, taken, p_run, p_host, p_site)
            ON CONFLICT (job, serial) DO NOTHING;
        IF FOUND THEN
            RETURN taken;
        END IF;
    END LOOP;
END
$$;
CREATE FUNCTION korvan_job_totals(p_job text, OUT runs bigint, OUT passed bigint) LANGUAGE sql SECURITY DEFINER AS $$
    SELECT count(*), count(*) FILTER (WHERE result = 'ok') FROM korvan_run WHERE job = p_job
$$;
REVOKE ALL ON FUNCTION korvan_job_numbers(text, numeric), korvan_next_serial(text, numeric),
    korvan_take_serial(text, numeric, numeric, uuid, text, integer), korvan_job_totals(text) FROM PUBLIC;
DO $$
BEGIN
    EXECUTE format('ALTER FUNCTION korvan_next_serial(text, numeric) SET search_path = %I, pg_temp', current_schema());
    EXECUTE format('ALTER FUNCTION korvan_take_serial(text, numeric, numeric, uuid, text, integer) '
                   'SET search_path = %I, pg_temp', current_schema());
    EXECUTE format('ALTER FUNCTION korvan_job_totals(text) SET search_path = %I, pg_temp', current_schema());
END
$$;
)sql"};

constexpr const char* kInsertRun = R"sql(
INSERT INTO korvan_run (run_id, job, time, host, korvan, site, port, programmer, chip, signature, image_path,
                        image_bytes, image_crc32, image_sha256, serial, steps, mismatches, result, failure)
SELECT (r->>'run')::uuid, r->>'job', (r->>'time')::timestamptz, r->>'host', r->>'korvan', (r->>'site')::integer,
       r->>'port', r->>'programmer', r->>'chip', r->>'signature', r->'image'->>'path',
       (r->'image'->>'bytes')::bigint, r->'image'->>'crc32', r->'image'->>'sha256', (r->>'serial')::numeric,
       r->'steps', (r->>'mismatches')::bigint, r->>'result', r->>'failure'
FROM (SELECT $1::jsonb AS r) AS given
ON CONFLICT (run_id) DO NOTHING
)sql";

// The record as the job log holds it, its keys in the log's order.
constexpr const char* kSelectRuns = R"sql(
SELECT json_build_object(
    'time', to_char(time AT TIME ZONE 'UTC', 'YYYY-MM-DD"T"HH24:MI:SS.MS"Z"'), 'host', host, 'korvan', korvan,
    'site', site, 'port', port, 'programmer', programmer, 'chip', chip, 'signature', signature,
    'image', json_build_object('path', image_path, 'bytes', image_bytes, 'crc32', image_crc32,
                               'sha256', image_sha256),
    'serial', serial, 'steps', steps, 'mismatches', mismatches, 'result', result, 'failure', failure,
    'job', job, 'run', run_id)::text
FROM korvan_run
WHERE ($1::text IS NULL OR job = $1) AND ($2::timestamp IS NULL OR time >= $2::timestamp AT TIME ZONE 'UTC')
ORDER BY time, run_id
)sql";

// Numbers taken by runs that left no record: killed, or their record still in a spool.
constexpr const char* kSelectUnfinished = R"sql(
SELECT json_build_object(
    'serial', s.serial, 'reserved', true, 'job', s.job,
    'time', to_char(s.taken AT TIME ZONE 'UTC', 'YYYY-MM-DD"T"HH24:MI:SS.MS"Z"'), 'host', s.host,
    'site', s.site, 'run', s.run_id)::text
FROM korvan_serial s
WHERE ($1::text IS NULL OR s.job = $1) AND ($2::timestamp IS NULL OR s.taken >= $2::timestamp AT TIME ZONE 'UTC')
  AND NOT EXISTS (SELECT 1 FROM korvan_run r WHERE r.run_id = s.run_id)
ORDER BY s.job, s.serial
)sql";

// A connection that waits this long for an answer before it gives up on the server.
constexpr const char* kConnectTimeoutSeconds = "5";

struct ResultDeleter {
    void operator()(PGresult* result) const { ::PQclear(result); }
};
using Result = std::unique_ptr<PGresult, ResultDeleter>;

struct ConnectionDeleter {
    void operator()(PGconn* connection) const { ::PQfinish(connection); }
};

// libpq's messages end with a newline and may hold several lines.
std::string OneLine(std::string text) {
    while (!text.empty() && (text.back() == '\n' || text.back() == ' ')) {
        text.pop_back();
    }
    std::string line;
    for (const char c : text) {
        if (c != '\n' && c != '\t') {
            line += c;
        } else if (!line.empty() && line.back() != ' ') {
            line += ' ';
        }
    }
    return line;
}

// The values a connection string gives explicitly, by key word.
std::vector<std::pair<std::string, std::string>> ParseConnectionString(const std::string& url) {
    std::vector<std::pair<std::string, std::string>> values;
    char* error = nullptr;
    PQconninfoOption* options = ::PQconninfoParse(url.c_str(), &error);
    ::PQfreemem(error);
    if (options == nullptr) {
        return values;
    }
    for (const PQconninfoOption* option = options; option->keyword != nullptr; ++option) {
        if (option->val != nullptr && option->val[0] != '\0') {
            values.emplace_back(option->keyword, option->val);
        }
    }
    ::PQconninfoFree(options);
    return values;
}

constexpr std::string_view kHiddenPassword = "***";

// A message libpq wrote may quote what it was given; a password never leaves this file.
std::string WithoutSecrets(std::string text, const std::vector<std::string>& secrets) {
    for (const std::string& secret : secrets) {
        for (std::size_t at = text.find(secret); !secret.empty() && at != std::string::npos;
             at = text.find(secret, at + kHiddenPassword.size())) {
            text.replace(at, secret.size(), kHiddenPassword);
        }
    }
    return text;
}

std::vector<std::string> UrlPasswords(const std::string& url) {
    std::vector<std::string> passwords;
    for (const auto& [keyword, value] : ParseConnectionString(url)) {
        if (keyword == "password") {
            passwords.push_back(value);
        }
    }
    return passwords;
}

std::vector<std::string> Secrets(const std::string& url) {
    std::vector<std::string> secrets = UrlPasswords(url);
    if (const char* password = std::getenv("PGPASSWORD"); password != nullptr && password[0] != '\0') {
        secrets.emplace_back(password);
    }
    return secrets;
}

std::string ServerName(const std::string& host, const std::string& port, const std::string& database) {
    return (host.empty() ? "localhost" : host) + ":" + (port.empty() ? "5432" : port) + "/" +
           (database.empty() ? "(default database)" : database);
}

// One connection to the store, made when first needed and made again after it broke.
class Session {
public:
    explicit Session(std::string url) : url_(std::move(url)), secrets_(Secrets(url_)) {}

    // Empty when connected, with the tables at this program's version; else why not.
    std::string Connect() {
        if (connection_ && ::PQstatus(connection_.get()) == CONNECTION_OK) {
            return {};
        }
        const std::array<const char*, 4> keywords = {"connect_timeout", "application_name", "dbname", nullptr};
        const std::array<const char*, 4> values = {kConnectTimeoutSeconds, "korvan", url_.c_str(), nullptr};
        // The connection string's own values, given last, win over the defaults before it.
        connection_.reset(::PQconnectdbParams(keywords.data(), values.data(), 1));
        if (!connection_ || ::PQstatus(connection_.get()) != CONNECTION_OK) {
            const std::string reason = connection_ ? OneLine(::PQerrorMessage(connection_.get())) : "out of memory";
            const std::string where = Where();
            connection_.reset();
            return "cannot reach the job store on " + where + ": " + WithoutSecrets(reason, secrets_);
        }
        // The server's notices (a shutdown under way) are no concern of the operator's.
        ::PQsetNoticeProcessor(connection_.get(), [](void*, const char*) {}, nullptr);
        if (std::string problem = EnsureSchema(); !problem.empty()) {
            connection_.reset();
            return problem;
        }
        return {};
    }

    struct Answer {
        Result result;
        std::string error;  // empty when the statement succeeded
    };
    // One parameterised statement; a null parameter is SQL NULL.
    Answer Exec(const char* sql, const std::vector<std::optional<std::string>>& parameters = {}) {
        std::vector<const char*> values;
        for (const std::optional<std::string>& parameter : parameters) {
            values.push_back(parameter ? parameter->c_str() : nullptr);
        }
        Answer answer;
        answer.result.reset(::PQexecParams(connection_.get(), sql, static_cast<int>(values.size()), nullptr,
                                           values.data(), nullptr, nullptr, 0));
        Check(answer);
        return answer;
    }

    // As Exec, connecting first; a connection that broke since the last call is made again once,
    // and the statement sent again: every statement here may be, as none gives the same number
    // twice and a run id is stored once.
    Answer Send(const char* sql, const std::vector<std::optional<std::string>>& parameters = {}) {
        for (int attempt = 0;; ++attempt) {
            if (std::string problem = Connect(); !problem.empty()) {
                Answer refused;
                refused.error = problem;
                return refused;
            }
            Answer answer = Exec(sql, parameters);
            if (answer.error.empty() || connection_ || attempt > 0) {
                return answer;
            }
        }
    }

    // Several statements of this program's own, without parameters.
    Answer ExecScript(const char* sql) {
        Answer answer;
        answer.result.reset(::PQexec(connection_.get(), sql));
        Check(answer);
        return answer;
    }

    // The server, as the connection (or else the connection string) names it.
    std::string Where() const {
        if (connection_) {
            const auto text = [](const char* value) { return std::string(value != nullptr ? value : ""); };
            return ServerName(text(::PQhost(connection_.get())), text(::PQport(connection_.get())),
                              text(::PQdb(connection_.get())));
        }
        return DescribeServer(url_);
    }

private:
    // An error the server did not answer with (no SQLSTATE), or one that ends the session.
    bool ConnectionLost(const PGresult* result) const {
        const char* state = result != nullptr ? ::PQresultErrorField(result, PG_DIAG_SQLSTATE) : nullptr;
        return ::PQstatus(connection_.get()) != CONNECTION_OK || state == nullptr ||
               std::strncmp(state, "08", 2) == 0 || std::strncmp(state, "57P", 3) == 0;
    }

    void Check(Answer& answer) {
        const ExecStatusType status = answer.result ? ::PQresultStatus(answer.result.get()) : PGRES_FATAL_ERROR;
        if (status != PGRES_COMMAND_OK && status != PGRES_TUPLES_OK) {
            answer.error = "the job store on " + Where() + ": " +
                           WithoutSecrets(OneLine(::PQerrorMessage(connection_.get())), secrets_);
            if (ConnectionLost(answer.result.get())) {
                connection_.reset();  // the next call connects again
            }
        }
    }

    std::optional<int> SchemaVersion() {
        Answer answer = Exec("SELECT max(version) FROM korvan_schema");
        if (!answer.error.empty() || ::PQgetisnull(answer.result.get(), 0, 0) != 0) {
            return std::nullopt;
        }
        return std::atoi(::PQgetvalue(answer.result.get(), 0, 0));
    }

    // A store at this version is only read; a role that may only take numbers and insert runs
    // can use it. Older tables are brought forward by whoever owns them.
    std::string EnsureSchema() {
        const std::optional<int> version = SchemaVersion();
        if (version == kStoreSchemaVersion) {
            return {};
        }
        if (version && *version > kStoreSchemaVersion) {
            return "the job store on " + Where() + " has tables of version " + std::to_string(*version) +
                   ", newer than this program's " + std::to_string(kStoreSchemaVersion);
        }
        return Migrate();
    }

    std::string Migrate() {
        for (const char* statement :
             {"BEGIN", "SELECT pg_advisory_xact_lock(hashtext('korvan_schema'))",
              "CREATE TABLE IF NOT EXISTS korvan_schema (version integer NOT NULL)"}) {
            if (Answer answer = Exec(statement); !answer.error.empty()) {
                return Abandon(answer.error);
            }
        }
        Answer current = Exec("SELECT coalesce(max(version), 0) FROM korvan_schema");
        if (!current.error.empty()) {
            return Abandon(current.error);
        }
        // Another station may have migrated while this one waited for the lock.
        const int from = std::atoi(::PQgetvalue(current.result.get(), 0, 0));
        for (int version = from; version < kStoreSchemaVersion; ++version) {
            if (Answer answer = ExecScript(kMigrations[static_cast<std::size_t>(version)]); !answer.error.empty()) {
                return Abandon("cannot create the tables: " + answer.error);
            }
        }
        if (Answer cleared = Exec("DELETE FROM korvan_schema"); !cleared.error.empty()) {
            return Abandon(cleared.error);
        }
        if (Answer set = Exec("INSERT INTO korvan_schema VALUES ($1)", {std::to_string(kStoreSchemaVersion)});
            !set.error.empty()) {
            return Abandon(set.error);
        }
        Answer commit = Exec("COMMIT");
        return commit.error;
    }

    std::string Abandon(const std::string& error) {
        if (connection_) {
            Exec("ROLLBACK");
        }
        return error;
    }

    const std::string url_;
    const std::vector<std::string> secrets_;
    std::unique_ptr<PGconn, ConnectionDeleter> connection_;
};

// Holds an exclusive flock on the spool while it is read and emptied; AppendLogLine takes the
// same lock, so a record spooled meanwhile waits and is never emptied away unsent.
class SpoolLock {
public:
    explicit SpoolLock(const std::string& path) : fd_(::open(path.c_str(), O_RDWR | O_CLOEXEC)) {
        if (fd_ >= 0) {
            while (::flock(fd_, LOCK_EX) != 0 && errno == EINTR) {
            }
        }
    }
    ~SpoolLock() {
        if (fd_ >= 0) {
            ::close(fd_);
        }
    }
    SpoolLock(const SpoolLock&) = delete;
    SpoolLock& operator=(const SpoolLock&) = delete;
    int fd() const { return fd_; }

private:
    int fd_;
};

bool SpoolHoldsRecords(const std::string& path) {
    struct stat status {};
    return !path.empty() && ::stat(path.c_str(), &status) == 0 && status.st_size > 0;
}

SpoolFlush SendSpool(Session& session, const std::string& spoolPath) {
    SpoolFlush flush;
    const SpoolLock lock(spoolPath);
    if (lock.fd() < 0) {
        if (errno != ENOENT) {
            flush.error = "cannot open " + spoolPath + ": " + std::strerror(errno);
        }
        return flush;
    }
    const FileText spool = ReadWholeFile(spoolPath);
    if (spool.error != 0) {
        flush.error = "cannot read " + spoolPath + ": " + std::strerror(spool.error);
        return flush;
    }
    std::istringstream lines(spool.text);
    for (std::string line; std::getline(lines, line);) {
        if (line.empty()) {
            continue;
        }
        if (!flush.error.empty()) {
            ++flush.left;
            continue;
        }
        if (Session::Answer answer = session.Send(kInsertRun, {line}); !answer.error.empty()) {
            flush.error = answer.error;
            ++flush.left;
            continue;
        }
        ++flush.sent;
    }
    // Records already sent stay until every one is: sending one again changes nothing, the
    // run id being the key, and a spool rewritten in place could lose one to a crash.
    if (flush.left == 0 && ::ftruncate(lock.fd(), 0) != 0) {
        flush.error = "cannot empty " + spoolPath + ": " + std::strerror(errno);
    }
    return flush;
}

class PostgresJobStore final : public JobStore {
public:
    explicit PostgresJobStore(JobStoreSettings settings) : settings_(std::move(settings)), session_(settings_.url) {}

    TakenSerialNumber NextNumber(std::uint64_t start) override {
        Session::Answer answer =
            session_.Send("SELECT korvan_next_serial($1, $2)", {settings_.job, std::to_string(start)});
        if (!answer.error.empty()) {
            return {std::nullopt, answer.error};
        }
        return Number(::PQgetvalue(answer.result.get(), 0, 0));
    }

    TakenSerialNumber TakeNumber(std::uint64_t start, std::uint64_t max, const NumberTaker& taker) override {
        // One statement is one transaction, committed before the number is used.
        Session::Answer answer =
            session_.Send("SELECT korvan_take_serial($1, $2, $3, $4, $5, $6)",
                          {settings_.job, std::to_string(start), std::to_string(max), taker.runId, taker.host,
                           std::to_string(taker.site)});
        if (!answer.error.empty()) {
            return {std::nullopt, answer.error};
        }
        if (::PQgetisnull(answer.result.get(), 0, 0) == 0) {
            return Number(::PQgetvalue(answer.result.get(), 0, 0));
        }
        const TakenSerialNumber next = NextNumber(start);
        if (!next.number) {
            return next;
        }
        return {std::nullopt, "serial number " + std::to_string(*next.number) + " of job " + settings_.job +
                                  " is above the largest, " + std::to_string(max)};
    }

    // Into the server, and then whatever waited in the spool; else into the spool.
    std::string KeepRecord(const std::string& recordJson) override {
        const std::string problem = session_.Send(kInsertRun, {recordJson}).error;
        if (problem.empty()) {
            if (SpoolHoldsRecords(settings_.spoolPath)) {
                SendSpool(session_, settings_.spoolPath);  // what is left waits for the next record
            }
            return {};
        }
        if (settings_.spoolPath.empty()) {
            return problem;
        }
        const std::string spooled = AppendLogLine(settings_.spoolPath, recordJson);
        return spooled.empty() ? std::string() : problem + "; " + spooled;
    }

    JobTotalsRead Totals() override {
        Session::Answer answer = session_.Send("SELECT runs, passed FROM korvan_job_totals($1)", {settings_.job});
        if (!answer.error.empty()) {
            return {std::nullopt, answer.error};
        }
        const std::optional<std::uint64_t> runs = ParseWhole<std::uint64_t>(::PQgetvalue(answer.result.get(), 0, 0));
        const std::optional<std::uint64_t> passed = ParseWhole<std::uint64_t>(::PQgetvalue(answer.result.get(), 0, 1));
        if (!runs || !passed) {
            return {std::nullopt, "the job store on " + session_.Where() + " gave no totals for job " + settings_.job};
        }
        return {JobTotals{*runs, *passed}, {}};
    }

    TakenSerialNumber Number(const char* text) const {
        if (const std::optional<std::uint64_t> number = ParseWhole<std::uint64_t>(text)) {
            return {*number, {}};
        }
        return {std::nullopt, "the counter of job " + settings_.job + " holds " + text + ", not a serial number"};
    }

    const JobStoreSettings settings_;
    Session session_;
};

}  // namespace

std::unique_ptr<JobStore> OpenPostgresStore(const JobStoreSettings& settings) {
    return std::make_unique<PostgresJobStore>(settings);
}

const char* StoreMigration(int version) { return kMigrations.at(static_cast<std::size_t>(version - 1)); }

std::string DescribeServer(const std::string& url) {
    std::string host;
    std::string port;
    std::string database;
    for (const auto& [keyword, value] : ParseConnectionString(url)) {
        if (keyword == "host") {
            host = value;
        } else if (keyword == "port") {
            port = value;
        } else if (keyword == "dbname") {
            database = value;
        }
    }
    return ServerName(host, port, database);
}

std::string WithoutPassword(const std::string& url) { return WithoutSecrets(url, UrlPasswords(url)); }

std::string WithSavedPassword(const std::string& shown, const std::string& saved) {
    const std::vector<std::string> passwords = UrlPasswords(saved);
    if (passwords.empty()) {
        return shown;
    }
    std::string url = shown;
    for (std::size_t at = url.find(kHiddenPassword); at != std::string::npos;
         at = url.find(kHiddenPassword, at + passwords.front().size())) {
        url.replace(at, kHiddenPassword.size(), passwords.front());
    }
    return url;
}

SpoolFlush FlushSpool(const std::string& url, const std::string& spoolPath) {
    if (!SpoolHoldsRecords(spoolPath)) {
        return {};
    }
    Session session(url);
    return SendSpool(session, spoolPath);
}

StoredLines ReadStoredRuns(const std::string& url, const std::string& job, const std::string& since) {
    StoredLines stored;
    Session session(url);
    if (stored.error = session.Connect(); !stored.error.empty()) {
        return stored;
    }
    const std::optional<std::string> jobParameter = job.empty() ? std::nullopt : std::optional<std::string>(job);
    const std::optional<std::string> sinceParameter =
        since.empty() ? std::nullopt : std::optional<std::string>(since);
    for (const char* query : {kSelectRuns, kSelectUnfinished}) {
        Session::Answer answer = session.Exec(query, {jobParameter, sinceParameter});
        if (!answer.error.empty()) {
            stored.error = answer.error;
            return stored;
        }
        for (int row = 0; row < ::PQntuples(answer.result.get()); ++row) {
            stored.lines.emplace_back(::PQgetvalue(answer.result.get(), row, 0));
        }
    }
    return stored;
}

}  // namespace korvan
