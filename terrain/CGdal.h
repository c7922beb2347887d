#pragma once
#include <gdal.h>

// The one place where vantaPeak sets GDAL up and borrows its handles.
// Everything that reads or writes rasters through GDAL (import, the 16-bit
// heightmap, terrain sources) goes through here, so that process-wide GDAL
// settings are made once and in one place.
//
// Any thread may call these.
class CGdal {
public:
    // Registers GDAL's drivers and sets vantaPeak's configuration options
    // once per process; later calls return at once.
    static void Initialise();

    // Keeps GDAL's own messages off the terminal for the life of the object
    // (on the calling thread: GDAL's error handler stack is per thread).
    class CQuiet {
    public:
        CQuiet();
        ~CQuiet();
        CQuiet(const CQuiet&) = delete;
        CQuiet& operator=(const CQuiet&) = delete;
    };

    // Owns an open dataset and closes it when it goes out of scope.
    class CDataset {
    public:
        explicit CDataset(GDALDatasetH dataset = nullptr)
            : m_dataset(dataset)
        {
        }
        ~CDataset();
        CDataset(const CDataset&) = delete;
        CDataset& operator=(const CDataset&) = delete;

        GDALDatasetH Get() const { return m_dataset; }
        explicit operator bool() const { return m_dataset != nullptr; }

    private:
        GDALDatasetH m_dataset;
    };
};
