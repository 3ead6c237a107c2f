#pragma once
// Reading HDF5 exports back through the HDF5 C API, and a file-size limit that makes
// writes fail as on a full disk, for the export tests.

#include <hdf5.h>

#include <sys/resource.h>

#include <algorithm>
#include <csignal>
#include <cstdint>
#include <filesystem>
#include <string>
#include <vector>

namespace qvx::test {

// An open HDF5 file, read only.
class Hdf5File {
public:
    explicit Hdf5File(const std::filesystem::path& path)
        : m_file(H5Fopen(path.c_str(), H5F_ACC_RDONLY, H5P_DEFAULT)) {}
    ~Hdf5File() {
        if (m_file >= 0) H5Fclose(m_file);
    }
    Hdf5File(const Hdf5File&) = delete;
    Hdf5File& operator=(const Hdf5File&) = delete;
    bool IsOpen() const { return m_file >= 0; }

    // Every element of a one-dimensional dataset, converted to T by HDF5.
    template <typename T>
    std::vector<T> Column(const char* name, hid_t memType) const {
        const hid_t dataset = H5Dopen2(m_file, name, H5P_DEFAULT);
        if (dataset < 0) return {};
        const hid_t space = H5Dget_space(dataset);
        std::vector<T> values(static_cast<std::size_t>(H5Sget_simple_extent_npoints(space)));
        if (!values.empty() && H5Dread(dataset, memType, H5S_ALL, H5S_ALL, H5P_DEFAULT, values.data()) < 0)
            values.clear();
        H5Sclose(space);
        H5Dclose(dataset);
        return values;
    }

    // Attribute `name` of `object` ("/" for the file) as text, int64 or double.
    std::string Text(const char* object, const char* name) const {
        std::string out;
        WithAttribute(object, name, [&](hid_t attribute) {
            const hid_t type = H5Tcopy(H5T_C_S1);
            H5Tset_size(type, H5T_VARIABLE);
            H5Tset_cset(type, H5T_CSET_UTF8);
            char* text = nullptr;
            if (H5Aread(attribute, type, &text) >= 0 && text) {
                out = text;
                H5free_memory(text);
            }
            H5Tclose(type);
        });
        return out;
    }
    std::int64_t Int(const char* object, const char* name) const {
        std::int64_t value = -1;
        WithAttribute(object, name, [&](hid_t a) { H5Aread(a, H5T_NATIVE_INT64, &value); });
        return value;
    }
    double Double(const char* object, const char* name) const {
        double value = -1;
        WithAttribute(object, name, [&](hid_t a) { H5Aread(a, H5T_NATIVE_DOUBLE, &value); });
        return value;
    }
    // Chunk length and whether deflate is among the filters of a dataset.
    std::pair<hsize_t, bool> Layout(const char* name) const {
        const hid_t dataset = H5Dopen2(m_file, name, H5P_DEFAULT);
        const hid_t create = H5Dget_create_plist(dataset);
        hsize_t chunk = 0;
        H5Pget_chunk(create, 1, &chunk);
        bool deflate = false;
        H5E_BEGIN_TRY {  // a filter that is not in the pipeline is an error for HDF5
            deflate = H5Pget_filter_by_id2(create, H5Z_FILTER_DEFLATE, nullptr, nullptr, nullptr, 0, nullptr,
                                           nullptr) >= 0;
        }
        H5E_END_TRY;
        H5Pclose(create);
        H5Dclose(dataset);
        return {chunk, deflate};
    }

private:
    template <typename Fn>
    void WithAttribute(const char* object, const char* name, Fn&& fn) const {
        const hid_t attribute = H5Aopen_by_name(m_file, object, name, H5P_DEFAULT, H5P_DEFAULT);
        if (attribute < 0) return;
        fn(attribute);
        H5Aclose(attribute);
    }

    hid_t m_file;
};

// While it lives, files of this process cannot grow beyond `bytes`: writes past it fail
// with EFBIG, as they would on a full disk (SIGXFSZ is ignored meanwhile).
class FileSizeLimit {
public:
    explicit FileSizeLimit(rlim_t bytes) {
        getrlimit(RLIMIT_FSIZE, &m_previous);
        m_previousHandler = std::signal(SIGXFSZ, SIG_IGN);
        rlimit limit = m_previous;
        limit.rlim_cur = bytes;
        setrlimit(RLIMIT_FSIZE, &limit);
    }
    ~FileSizeLimit() {
        setrlimit(RLIMIT_FSIZE, &m_previous);
        std::signal(SIGXFSZ, m_previousHandler);
    }
    FileSizeLimit(const FileSizeLimit&) = delete;
    FileSizeLimit& operator=(const FileSizeLimit&) = delete;

private:
    rlimit m_previous{};
    void (*m_previousHandler)(int) = nullptr;
};

// Names in `folder` (files an export might leave behind).
inline std::vector<std::string> FolderEntries(const std::filesystem::path& folder) {
    std::vector<std::string> names;
    for (const auto& entry : std::filesystem::directory_iterator(folder))
        names.push_back(entry.path().filename());
    std::sort(names.begin(), names.end());
    return names;
}

}  // namespace qvx::test
