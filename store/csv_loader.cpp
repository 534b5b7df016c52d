#include "store/csv_loader.h"

#include <cerrno>
#include <cstring>
#include <fstream>

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

LoadResult loadLogFile(RecordStore &store, const MeterInfo &meter, const std::filesystem::path &file, bool whole)
{
    LoadResult result;
    std::error_code ec;
    if (!std::filesystem::exists(file, ec))
        return result;
    const std::string name = file.filename().string();
    std::int64_t offset = 0;
    std::string text;
    if (!whole) {
        const FileState state = store.fileState(meter.key, name);
        const auto size = static_cast<std::int64_t>(std::filesystem::file_size(file, ec));
        if (ec)
            throw StoreError("cannot read " + file.string() + ": " + ec.message());
        if (state.storedBytes == size) {
            result.upToDate = true;
            return result;
        }
        // The store stopped after a line end; anything else is another file now.
        if (state.storedBytes >= 2 && state.storedBytes < size) {
            text = readFrom(file, state.storedBytes - 2);
            if (text.starts_with("\r\n")) {
                offset = state.storedBytes;
                text.erase(0, 2);
            }
        }
    }
    result.fromStart = offset == 0;
    if (result.fromStart)
        text = readFrom(file, 0);
    RecordBatch batch;
    const std::size_t taken = readLogCsvText(text, meter.key.isShort, batch);
    result.records = static_cast<std::int64_t>(batch.records.size());
    result.failed = batch.failed;
    result.unrecognised = batch.unrecognised;
    result.unreadable = batch.unreadable;
    result.added = store.store(meter, name, batch, result.fromStart, offset + static_cast<std::int64_t>(taken));
    return result;
}

}  // namespace tellumic::store
