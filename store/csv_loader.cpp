#include "store/csv_loader.h"

#include <cerrno>
#include <cstring>
#include <fstream>
#include <future>
#include <optional>

#include "store/csv_records.h"
#include "store/file_digest.h"

namespace tellumic::store {

namespace {

std::string readWhole(const std::filesystem::path &file)
{
    std::ifstream in(file, std::ios::binary);
    if (!in)
        throw StoreError("cannot read " + file.string() + ": " + std::strerror(errno));
    in.seekg(0, std::ios::end);
    const std::int64_t size = in.tellg();
    std::string text(static_cast<std::size_t>(size), '\0');
    in.seekg(0);
    in.read(text.data(), static_cast<std::streamsize>(text.size()));
    if (!in)
        throw StoreError("cannot read " + file.string());
    return text;
}

// Lines that are all unreadable, or bytes without a line end of a CSV log, are no log: the
// load fails rather than report a file stored that gave nothing.
void checkSomethingRead(const RecordBatch &batch, std::string_view lines, std::size_t taken, bool fromStart)
{
    if (!batch.records.empty() || batch.failed != 0 || batch.unrecognised != 0)
        return;
    if (batch.unreadable != 0)
        throw StoreError("no line is a record of a CSV log (" + std::to_string(batch.unreadable) +
                         " unreadable lines); nothing stored");
    // A line still being written after those stored is left for a later read.
    if (fromStart && taken == 0 && !lines.empty())
        throw StoreError("no line ends in CR LF as the lines of a CSV log do; nothing stored");
}

}  // namespace

MeterInfo meterOfLogFile(const std::filesystem::path &file, const std::string &network)
{
    MeterInfo meter;
    meter.key.network = network;
    if (!parseLogFileName(file.filename().string(), meter.key.name, meter.key.isShort))
        throw StoreError(file.filename().string() +
                         " is not the name of a CSV log (DEVICE-log-short-YEAR.csv or DEVICE-log-full-YEAR.csv)");
    std::ifstream in(file, std::ios::binary);
    if (!in)
        throw StoreError("cannot read " + file.string() + ": " + std::strerror(errno));
    std::string first;
    std::getline(in, first);
    if (!first.empty() && first.back() == '\r')
        first.pop_back();
    if (first == logCsvColumnsLine(true))
        meter.key.isShort = true;
    else if (first == logCsvColumnsLine(false))
        meter.key.isShort = false;
    return meter;
}

LogRead readLogFile(const MeterInfo &meter, const std::filesystem::path &file, const FileState *state)
{
    LogRead read;
    read.meter = meter;
    read.fileName = file.filename().string();
    std::error_code ec;
    if (!std::filesystem::exists(file, ec)) {
        read.result.upToDate = true;  // nothing to take
        return read;
    }
    std::string text = readWhole(file);
    std::int64_t offset = 0;
    // Read on only where the file still begins with what the store took.
    if (state && state->storedBytes > 0 && state->storedBytes <= static_cast<std::int64_t>(text.size()) &&
        fileDigest(std::string_view(text).substr(0, static_cast<std::size_t>(state->storedBytes))) ==
            state->storedDigest) {
        if (state->storedBytes == static_cast<std::int64_t>(text.size())) {
            read.result.upToDate = true;
            return read;
        }
        offset = state->storedBytes;
    }
    read.result.fromStart = offset == 0;
    const std::size_t skip = static_cast<std::size_t>(offset);
    const std::string_view lines = std::string_view(text).substr(skip);
    const std::size_t taken = readLogCsvText(lines, meter.key.isShort, read.batch);
    checkSomethingRead(read.batch, lines, taken, read.result.fromStart);
    read.result.records = static_cast<std::int64_t>(read.batch.records.size());
    read.result.failed = read.batch.failed;
    read.result.unrecognised = read.batch.unrecognised;
    read.result.unreadable = read.batch.unreadable;
    read.endBytes = offset + static_cast<std::int64_t>(taken);
    read.digest = fileDigest(std::string_view(text).substr(0, static_cast<std::size_t>(read.endBytes)));
    return read;
}

LoadResult storeLogRead(RecordStore &store, const LogRead &read)
{
    LoadResult result = read.result;
    if (!result.upToDate)
        result.added =
            store.store(read.meter, read.fileName, read.batch, result.fromStart, read.endBytes, read.digest);
    return result;
}

LoadResult loadLogFile(RecordStore &store, const MeterInfo &meter, const std::filesystem::path &file, bool whole)
{
    std::error_code ec;
    if (whole || !std::filesystem::exists(file, ec))
        return storeLogRead(store, readLogFile(meter, file, nullptr));
    const FileState state = store.fileState(meter.key, file.filename().string());
    return storeLogRead(store, readLogFile(meter, file, &state));
}

namespace {

// A file being read beside the store, or the error that stopped it before.
struct PendingRead
{
    std::future<LogRead> read;
    std::string error;
};

PendingRead startReading(RecordStore &store, const MeterFile &file, bool whole)
{
    PendingRead pending;
    try {
        std::optional<FileState> state;
        std::error_code ec;
        if (!whole && std::filesystem::exists(file.path, ec))
            state = store.fileState(file.meter.key, file.path.filename().string());
        pending.read = std::async(std::launch::async, [meter = file.meter, path = file.path, state] {
            return readLogFile(meter, path, state ? &*state : nullptr);
        });
    } catch (const std::exception &e) {
        pending.error = e.what();
    }
    return pending;
}

bool sameFile(const MeterFile &a, const MeterFile &b)
{
    return a.meter.key == b.meter.key && a.path.filename() == b.path.filename();
}

}  // namespace

void loadLogFiles(RecordStore &store, const std::vector<MeterFile> &files, bool whole,
                  const std::function<void(std::size_t, const LoadResult &, const std::string &)> &done)
{
    PendingRead next;
    if (!files.empty())
        next = startReading(store, files[0], whole);
    for (std::size_t i = 0; i < files.size(); ++i) {
        PendingRead current = std::move(next);
        LogRead read;
        std::string error = current.error;
        if (error.empty()) {
            try {
                read = current.read.get();
            } catch (const std::exception &e) {
                error = e.what();
            }
        }
        // The same file again must see what this one stores: it is read once this one is in.
        const bool after = i + 1 < files.size() && sameFile(files[i], files[i + 1]);
        if (i + 1 < files.size() && !after)
            next = startReading(store, files[i + 1], whole);
        LoadResult result;
        if (error.empty()) {
            try {
                result = storeLogRead(store, read);
            } catch (const std::exception &e) {
                error = e.what();
            }
        }
        done(i, result, error);
        if (after)
            next = startReading(store, files[i + 1], whole);
    }
}

}  // namespace tellumic::store
