#include "QV+AnalogCore/Export/QVxAnalogHdf5Writer.h"

#include "QV+AnalogCore/Export/QVxExportTarget.h"

#include <fmt/format.h>
#include <hdf5.h>
#include <hdf5_hl.h>
#include <spdlog/spdlog.h>

#include <algorithm>
#include <ctime>

namespace {

constexpr const char* kChannelNames[4] = {"ch1", "ch2", "ch3", "ch4"};

// Appends the descriptions of HDF5's error stack (innermost last) to `out`.
herr_t CollectError(unsigned, const H5E_error2_t* error, void* data) {
    auto& out = *static_cast<std::string*>(data);
    if (error->desc && *error->desc) {
        if (!out.empty()) out += "; ";
        out += error->desc;
    }
    return 0;
}

std::string TakeHdf5ErrorStack() {
    std::string text;
    H5Ewalk2(H5E_DEFAULT, H5E_WALK_UPWARD, &CollectError, &text);
    H5Eclear2(H5E_DEFAULT);
    return text;
}

// A scalar attribute of `type` on `object`; false on failure.
bool WriteScalarAttribute(hid_t object, const char* name, hid_t type, const void* value) {
    const hid_t space = H5Screate(H5S_SCALAR);
    const hid_t attribute = H5Acreate2(object, name, type, space, H5P_DEFAULT, H5P_DEFAULT);
    const bool ok = attribute >= 0 && H5Awrite(attribute, type, value) >= 0;
    if (attribute >= 0) H5Aclose(attribute);
    H5Sclose(space);
    return ok;
}

// Variable-length UTF-8 strings read as text (not bytes) by h5py, xarray and MATLAB.
bool WriteText(hid_t object, const char* name, const std::string& value) {
    const hid_t type = H5Tcopy(H5T_C_S1);
    H5Tset_size(type, H5T_VARIABLE);
    H5Tset_cset(type, H5T_CSET_UTF8);
    const char* text = value.c_str();
    const bool ok = WriteScalarAttribute(object, name, type, &text);
    H5Tclose(type);
    return ok;
}

bool WriteDouble(hid_t object, const char* name, double value) {
    return WriteScalarAttribute(object, name, H5T_NATIVE_DOUBLE, &value);
}

bool WriteInt64(hid_t object, const char* name, std::int64_t value) {
    return WriteScalarAttribute(object, name, H5T_NATIVE_INT64, &value);
}

bool WriteUInt64(hid_t object, const char* name, std::uint64_t value) {
    return WriteScalarAttribute(object, name, H5T_NATIVE_UINT64, &value);
}

}  // namespace

struct QVxAnalogHdf5Writer::Handles {
    hid_t file = H5I_INVALID_HID;
    hid_t time = H5I_INVALID_HID;
    std::array<hid_t, 4> channels{H5I_INVALID_HID, H5I_INVALID_HID, H5I_INVALID_HID, H5I_INVALID_HID};
    H5E_auto2_t previousHandler = nullptr;
    void* previousData = nullptr;
};

namespace {

// HDF5 1.10 keeps the id of a file whose H5Fclose failed (a full disk) while it frees the
// file itself; the library's clean-up at exit then closes it again and crashes. The
// clean-up is only switched off this way before the library's first use in the process.
void KeepHdf5FromCleaningUpAtExit() {
    static const bool s_once = [] {
        H5dont_atexit();
        return true;
    }();
    (void)s_once;
}

}  // namespace

QVxAnalogHdf5Writer::QVxAnalogHdf5Writer() : m_h(std::make_unique<Handles>()) {
    KeepHdf5FromCleaningUpAtExit();
    // Errors are collected from the stack and reported by this class, not printed by HDF5.
    H5Eget_auto2(H5E_DEFAULT, &m_h->previousHandler, &m_h->previousData);
    H5Eset_auto2(H5E_DEFAULT, nullptr, nullptr);
}

QVxAnalogHdf5Writer::~QVxAnalogHdf5Writer() {
    Abandon();
    H5Eset_auto2(H5E_DEFAULT, m_h->previousHandler, m_h->previousData);
}

std::string QVxAnalogHdf5Writer::FormatIsoUtc(std::int64_t epochNs) {
    std::int64_t seconds = epochNs / 1'000'000'000;
    std::int64_t nanoseconds = epochNs % 1'000'000'000;
    if (nanoseconds < 0) {
        nanoseconds += 1'000'000'000;
        --seconds;
    }
    const auto time = static_cast<std::time_t>(seconds);
    std::tm utc{};
    gmtime_r(&time, &utc);
    return fmt::format("{:04}-{:02}-{:02}T{:02}:{:02}:{:02}.{:09}Z", utc.tm_year + 1900, utc.tm_mon + 1,
                       utc.tm_mday, utc.tm_hour, utc.tm_min, utc.tm_sec, nanoseconds);
}

bool QVxAnalogHdf5Writer::Fail(const std::string& what) {
    const std::string stack = TakeHdf5ErrorStack();
    m_error = stack.empty() ? what : what + " (" + stack + ")";
    spdlog::error("HDF5 export: {}", m_error);
    Abandon();
    return false;
}

bool QVxAnalogHdf5Writer::CloseHandles() {
    bool ok = true;
    for (hid_t& dataset : m_h->channels) {
        if (dataset >= 0) ok = H5Dclose(dataset) >= 0 && ok;
        dataset = H5I_INVALID_HID;
    }
    if (m_h->time >= 0) ok = H5Dclose(m_h->time) >= 0 && ok;
    m_h->time = H5I_INVALID_HID;
    return ok;
}

void QVxAnalogHdf5Writer::Abandon() {
    CloseHandles();
    if (m_h->file >= 0) H5Fclose(m_h->file);
    m_h->file = H5I_INVALID_HID;
    H5Eclear2(H5E_DEFAULT);
    if (m_target) m_target->Discard();
    m_target.reset();
}

namespace {

std::uint64_t ChunkRecordsFor(const QVxAnalogHdf5Layout& layout, std::uint64_t records) {
    return std::max<std::uint64_t>(1, std::min(layout.chunkRecords, records));
}

// A one-dimensional dataset of `type` with `records` elements, chunked by `layout`.
hid_t CreateColumn(hid_t file, const char* name, hid_t type, std::uint64_t records,
                   const QVxAnalogHdf5Layout& layout) {
    const hsize_t dims[1] = {records};
    const hsize_t maxDims[1] = {H5S_UNLIMITED};
    const hid_t space = H5Screate_simple(1, dims, maxDims);
    const hid_t create = H5Pcreate(H5P_DATASET_CREATE);
    const hsize_t chunk[1] = {ChunkRecordsFor(layout, records)};
    H5Pset_chunk(create, 1, chunk);
    // Every element is written, so fill values would only cost time.
    H5Pset_fill_time(create, H5D_FILL_TIME_NEVER);
    if (layout.deflateLevel > 0) {
        H5Pset_shuffle(create);
        H5Pset_deflate(create, static_cast<unsigned>(layout.deflateLevel));
    }
    // No chunk cache: callers append whole chunks, which then go to the file directly
    // instead of through a copy in the cache.
    const hid_t access = H5Pcreate(H5P_DATASET_ACCESS);
    H5Pset_chunk_cache(access, 0, 0, 1.0);
    const hid_t dataset = H5Dcreate2(file, name, type, space, H5P_DEFAULT, create, access);
    H5Pclose(access);
    H5Pclose(create);
    H5Sclose(space);
    return dataset;
}

bool WriteChannelAttributes(hid_t dataset, const QVxAnalogHdf5Channel& channel) {
    return WriteText(dataset, "units", "V") && WriteText(dataset, "long_name", channel.name) &&
           WriteDouble(dataset, "scale_factor", channel.scaleFactor) &&
           WriteDouble(dataset, "add_offset", channel.addOffset) &&
           WriteInt64(dataset, "range_mV", channel.rangeMilliVolts) &&
           WriteInt64(dataset, "range_index", channel.rangeIndex) &&
           WriteInt64(dataset, "probe_factor", channel.probeFactor) &&
           WriteInt64(dataset, "enabled", channel.enabled ? 1 : 0) && WriteInt64(dataset, "valid_max", 16383);
}

bool WriteFileAttributes(hid_t file, const QVxAnalogHdf5Header& header) {
    return WriteText(file, "start_time", QVxAnalogHdf5Writer::FormatIsoUtc(header.startTimeNs)) &&
           WriteInt64(file, "start_time_ns", header.startTimeNs) &&
           WriteInt64(file, "sampling_frequency", header.samplingFrequency) &&
           WriteUInt64(file, "first_record_index", header.firstRecordIndex) &&
           WriteUInt64(file, "record_count", header.recordCount) &&
           WriteText(file, "program", header.program) &&
           WriteText(file, "program_version", header.programVersion) &&
           WriteText(file, "source_session", header.sourceSession);
}

}  // namespace

bool QVxAnalogHdf5Writer::Create(const std::filesystem::path& target, const QVxAnalogHdf5Header& header,
                                 const QVxAnalogHdf5Layout& layout) {
    Abandon();
    m_error.clear();
    m_recordCount = header.recordCount;
    m_chunkRecords = ChunkRecordsFor(layout, header.recordCount);
    m_written = 0;
    m_target = std::make_unique<QVxExportTarget>(target);
    if (m_target->IsDirect()) return Fail(target.string() + " is not a regular file; HDF5 needs one");

    m_h->file = H5Fcreate(m_target->WritePath().c_str(), H5F_ACC_EXCL, H5P_DEFAULT, H5P_DEFAULT);
    if (m_h->file < 0) return Fail("cannot create " + target.string());

    m_h->time = CreateColumn(m_h->file, "time_ns", H5T_NATIVE_INT64, header.recordCount, layout);
    if (m_h->time < 0) return Fail("cannot create the dataset time_ns");
    const std::string units = "nanoseconds since " + FormatIsoUtc(header.startTimeNs);
    if (!WriteText(m_h->time, "units", units) ||
        !WriteText(m_h->time, "long_name", "time since the trace start") ||
        H5DSset_scale(m_h->time, "time_ns") < 0)
        return Fail("cannot describe the dataset time_ns");

    for (std::size_t c = 0; c < m_h->channels.size(); ++c) {
        m_h->channels[c] =
            CreateColumn(m_h->file, kChannelNames[c], H5T_NATIVE_UINT16, header.recordCount, layout);
        if (m_h->channels[c] < 0) return Fail(fmt::format("cannot create the dataset {}", kChannelNames[c]));
        if (!WriteChannelAttributes(m_h->channels[c], header.channels[c]) ||
            H5DSattach_scale(m_h->channels[c], m_h->time, 0) < 0)
            return Fail(fmt::format("cannot describe the dataset {}", kChannelNames[c]));
    }
    if (!WriteFileAttributes(m_h->file, header)) return Fail("cannot write the file attributes");
    return true;
}

namespace {

bool WriteSlab(hid_t dataset, hid_t memType, std::uint64_t offset, std::uint64_t count, const void* data) {
    const hsize_t start[1] = {offset};
    const hsize_t size[1] = {count};
    const hid_t fileSpace = H5Dget_space(dataset);
    const hid_t memSpace = H5Screate_simple(1, size, nullptr);
    const bool ok = fileSpace >= 0 &&
                    H5Sselect_hyperslab(fileSpace, H5S_SELECT_SET, start, nullptr, size, nullptr) >= 0 &&
                    H5Dwrite(dataset, memType, memSpace, fileSpace, H5P_DEFAULT, data) >= 0;
    H5Sclose(memSpace);
    if (fileSpace >= 0) H5Sclose(fileSpace);
    return ok;
}

}  // namespace

bool QVxAnalogHdf5Writer::Append(const std::int64_t* timeNs, const std::array<const std::uint16_t*, 4>& codes,
                                 std::uint64_t count) {
    if (m_h->file < 0) return false;
    if (count == 0) return true;
    // Error printing is set per thread; appends may come from another thread than Create.
    H5Eset_auto2(H5E_DEFAULT, nullptr, nullptr);
    if (count > m_recordCount - m_written)
        return Fail(fmt::format("{} records more than the {} announced", m_written + count - m_recordCount,
                                m_recordCount));
    if (!WriteSlab(m_h->time, H5T_NATIVE_INT64, m_written, count, timeNs))
        return Fail(fmt::format("cannot write time_ns at record {}", m_written));
    for (std::size_t c = 0; c < codes.size(); ++c) {
        if (!WriteSlab(m_h->channels[c], H5T_NATIVE_UINT16, m_written, count, codes[c]))
            return Fail(fmt::format("cannot write {} at record {}", kChannelNames[c], m_written));
    }
    m_written += count;
    return true;
}

bool QVxAnalogHdf5Writer::WriteChunk(std::uint64_t firstRecord, std::uint64_t count,
                                     const std::array<ChunkBytes, kDatasetCount>& chunks) {
    if (m_h->file < 0) return false;
    // Error printing is set per thread; chunks may come from another thread than Create.
    H5Eset_auto2(H5E_DEFAULT, nullptr, nullptr);
    if (firstRecord != m_written || firstRecord % m_chunkRecords != 0 || count > m_chunkRecords)
        return Fail(fmt::format("a chunk of {} records at record {} does not follow record {}", count,
                                firstRecord, m_written));
    if (count > m_recordCount - m_written)
        return Fail(fmt::format("{} records more than the {} announced", m_written + count - m_recordCount,
                                m_recordCount));
    const std::array<hid_t, kDatasetCount> datasets{m_h->time, m_h->channels[0], m_h->channels[1],
                                                    m_h->channels[2], m_h->channels[3]};
    const hsize_t offset[1] = {firstRecord};
    for (std::size_t d = 0; d < datasets.size(); ++d) {
        // Filter mask 0: every filter of the dataset was applied to these bytes.
        if (H5Dwrite_chunk(datasets[d], H5P_DEFAULT, 0, offset, chunks[d].size, chunks[d].data) < 0)
            return Fail(fmt::format("cannot write {} at record {}", d == 0 ? "time_ns" : kChannelNames[d - 1],
                                    firstRecord));
    }
    m_written += count;
    return true;
}

bool QVxAnalogHdf5Writer::Finish() {
    if (m_h->file < 0) return false;
    if (m_written != m_recordCount)
        return Fail(fmt::format("{} of {} records were written", m_written, m_recordCount));
    const bool datasetsClosed = CloseHandles();
    // The close writes the chunks still cached and the file's metadata; a full disk shows here.
    const herr_t closed = H5Fclose(m_h->file);
    m_h->file = H5I_INVALID_HID;
    if (closed < 0 || !datasetsClosed) return Fail("cannot complete " + m_target->Target().string());
    const bool committed = m_target->Commit();
    m_target.reset();
    if (!committed) m_error = "cannot give the export its name";
    return committed;
}
