#include "store/csv_loader.h"

#include <cerrno>
#include <cstring>
#include <fstream>
#include <future>
#include <optional>

#include "store/csv_records.h"

namespace tellumic::store {

namespace {

std::string readFrom(const std::filesystem::path &file, std::int64_t offset)
{
    std::ifstream in(file, std::ios::binary);
    if (!in)
        throw StoreError("cannot read " + file.string() + ": " + std::strerror(errno));
    in.seekg(0, std::ios::end);
    const std::int64_t size = in.tellg();
    if (offset > size)
        offset = size;
    std::string text(static_cast<std::size_t>(size - offset), '\0');
    in.seekg(offset);
    in.read(text.data(), static_cast<std::streamsize>(text.size()));
    if (!in)
        throw StoreError("cannot read " + file.string());
    return text;
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
    std::int64_t offset = 0;
    std::string text;
    std::size_t skip = 0;
    if (state) {
        const auto size = static_cast<std::int64_t>(std::filesystem::file_size(file, ec));
        if (ec)
            throw StoreError("cannot read " + file.string() + ": " + ec.message());
        if (state->storedBytes == size) {
            read.result.upToDate = true;
            return read;
        }
        // The store stopped after a line end; anything else is another file now.
        if (state->storedBytes >= 2 && state->storedBytes < size) {
            text = readFrom(file, state->storedBytes - 2);
            if (text.starts_with("\r\n")) {
                offset = state->storedBytes;
                skip = 2;
            }
        }
    }
    read.result.fromStart = offset == 0;
    if (read.result.fromStart) {
        text = readFrom(file, 0);
        skip = 0;
    }
    const std::size_t taken = readLogCsvText(std::string_view(text).substr(skip), meter.key.isShort, read.batch);
    read.result.records = static_cast<std::int64_t>(read.batch.records.size());
    read.result.failed = read.batch.failed;
    read.result.unrecognised = read.batch.unrecognised;
    read.result.unreadable = read.batch.unreadable;
    read.endBytes = offset + static_cast<std::int64_t>(taken);
    return read;
}

LoadResult storeLogRead(RecordStore &store, const LogRead &read)
{
    LoadResult result = read.result;
    if (!result.upToDate)
        result.added = store.store(read.meter, read.fileName, read.batch, result.fromStart, read.endBytes);
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
