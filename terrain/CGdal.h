#pragma once
#include <string>

#include <gdal.h>

// The one place where vantaPeak sets GDAL up and borrows its handles.
// Everything that reads or writes rasters through GDAL (import, the 16-bit
// heightmap, terrain sources) goes through here, so that process-wide GDAL
// settings are made once and in one place.
//
// Any thread may call these.
class CGdal {
public:
    // Network reads (/vsicurl/ and the like) give up when a connection is
    // not made within this many seconds, or when a transfer moves less than
    // a byte a second for as long: a server that never answers costs a read
    // seconds, not minutes.
    static constexpr int kConnectTimeoutSeconds = 10;
    static constexpr int kStalledSeconds = 10;
    // GDAL's own switch for VRT bands that read a file as raw bytes. Unless
    // the user sets it to YES (environment or GDAL configuration), such
    // bands are refused: a VRT that came with a terrain must not read
    // whatever file it names.
    static constexpr const char* kRawVrtOption = "GDAL_VRT_ENABLE_RAWRASTERBAND";

    // Registers GDAL's drivers and sets vantaPeak's configuration options
    // once per process; later calls return at once. An option the user has
    // set in the environment keeps the user's value.
    static void Initialise();

    // True when the user allows raw VRT bands (kRawVrtOption is YES).
    static bool RawVrtBandsAllowed();

    // True when `path` is a VRT (a file, a text holding "<VRTDataset" or a
    // "vrt://" name) that has a raw band, itself or through the VRTs it
    // takes its sources from (nesting deeper than a few levels counts as
    // raw). Reads only the VRT texts and the headers of their sources
    // (network reads included: call it inside the caller's CQuiet, which
    // then also hears of a failed transfer); a name that is no VRT gives
    // false.
    static bool HasRawVrtBand(const std::string& path);

    // Keeps GDAL's own messages off the terminal for the life of the object
    // (on the calling thread: GDAL's error handler stack is per thread), and
    // keeps the first network failure GDAL reported meanwhile.
    class CQuiet {
    public:
        CQuiet();
        ~CQuiet();
        CQuiet(const CQuiet&) = delete;
        CQuiet& operator=(const CQuiet&) = delete;

        // GDAL's text of the first failed network transfer ("CURL error:
        // ...", "HTTP response code on URL: N"), or empty.
        const std::string& NetworkError() const { return m_networkError; }
        // True when that failure was no answer at all: no connection, a
        // connection not made in time, or a stalled transfer.
        bool NoResponse() const;

    private:
        static void CPL_STDCALL OnError(CPLErr type, CPLErrorNum number, const char* message);

        std::string m_networkError;
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
