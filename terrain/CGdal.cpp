#include "terrain/CGdal.h"

#include <cstdint>
#include <cstring>
#include <mutex>
#include <string>

#include <cpl_conv.h>
#include <cpl_error.h>
#include <cpl_minixml.h>
#include <cpl_string.h>
#include <cpl_vsi.h>

namespace {

// VRTs nested deeper than this are not followed: counted as raw.
constexpr int kMaxVrtDepth = 8;
// Largest VRT text examined; a larger one counts as raw.
constexpr vsi_l_offset kMaxVrtBytes = vsi_l_offset(64) << 20;

void SetUnlessGiven(const char* name, const char* value)
{
    if (CPLGetConfigOption(name, nullptr) == nullptr)
        CPLSetConfigOption(name, value);
}

bool IsVrt(const std::string& name)
{
    const char* const vrt[] = {"VRT", nullptr};
    return GDALIdentifyDriverEx(name.c_str(), GDAL_OF_RASTER, vrt, nullptr) != nullptr;
}

bool HasRawBand(const std::string& name, int depth);

// Walks the XML of a VRT read from `base` (empty for an inline text).
bool TreeHasRawBand(const CPLXMLNode* node, const std::string& base, int depth)
{
    for (; node != nullptr; node = node->psNext) {
        if (node->eType != CXT_Element)
            continue;
        if (EQUAL(node->pszValue, "VRTRasterBand") && EQUAL(CPLGetXMLValue(node, "subClass", ""), "VRTRawRasterBand"))
            return true;
        if (EQUAL(node->pszValue, "SourceFilename") || EQUAL(node->pszValue, "SourceDataset")) {
            std::string source = CPLGetXMLValue(node, nullptr, "");
            if (!base.empty() && CPLTestBool(CPLGetXMLValue(node, "relativeToVRT", "0")))
                source = CPLProjectRelativeFilename(CPLGetPath(base.c_str()), source.c_str());
            if (!source.empty() && HasRawBand(source, depth + 1))
                return true;
        }
        if (TreeHasRawBand(node->psChild, base, depth))
            return true;
    }
    return false;
}

bool HasRawBand(const std::string& name, int depth)
{
    if (depth > kMaxVrtDepth)
        return true;
    if (STARTS_WITH_CI(name.c_str(), "vrt://")) {
        const std::string inner = name.substr(6, name.find('?') == std::string::npos ? std::string::npos
                                                                                       : name.find('?') - 6);
        return HasRawBand(inner, depth + 1);
    }
    // GDAL takes any name holding a VRT's opening tag as the VRT's text.
    const bool isInline = name.find("<VRTDataset") != std::string::npos;
    if (!isInline && !IsVrt(name))
        return false;
    std::string text;
    if (isInline) {
        text = name;
    } else {
        VSIStatBufL info {};
        if (VSIStatL(name.c_str(), &info) == 0 && static_cast<vsi_l_offset>(info.st_size) > kMaxVrtBytes)
            return true;
        GByte* data = nullptr;
        vsi_l_offset size = 0;
        if (!VSIIngestFile(nullptr, name.c_str(), &data, &size, static_cast<GIntBig>(kMaxVrtBytes)))
            return false; // unreadable: GDAL cannot open it either
        text.assign(reinterpret_cast<const char*>(data), static_cast<std::size_t>(size));
        VSIFree(data);
    }
    CPLXMLNode* tree = CPLParseXMLString(text.c_str());
    const bool raw = tree != nullptr && TreeHasRawBand(tree, isInline ? std::string() : name, depth);
    CPLDestroyXMLNode(tree);
    return raw;
}

} // namespace

void CGdal::Initialise()
{
    static std::once_flag once;
    std::call_once(once, [] {
        // No .aux.xml side files beside the files we only read.
        CPLSetConfigOption("GDAL_PAM_ENABLED", "NO");
        // The block cache of streamed terrains: bounded, whatever the raster.
        // A 4096 x 4096 page window spans about 50 MB of 16-bit blocks, and
        // the next window shares about half of them; more would only keep
        // blocks of windows long built, and stay resident for the flight.
        GDALSetCacheMax64(std::int64_t{64} << 20);
        SetUnlessGiven("GDAL_HTTP_CONNECTTIMEOUT", std::to_string(kConnectTimeoutSeconds).c_str());
        SetUnlessGiven("GDAL_HTTP_LOW_SPEED_TIME", std::to_string(kStalledSeconds).c_str());
        SetUnlessGiven("GDAL_HTTP_LOW_SPEED_LIMIT", "1");
        SetUnlessGiven(kRawVrtOption, "NO");
        GDALAllRegister();
    });
}

bool CGdal::RawVrtBandsAllowed()
{
    Initialise();
    return CPLTestBool(CPLGetConfigOption(kRawVrtOption, "NO"));
}

bool CGdal::HasRawVrtBand(const std::string& path)
{
    Initialise();
    return HasRawBand(path, 0);
}

CGdal::CQuiet::CQuiet()
{
    CPLPushErrorHandlerEx(OnError, this);
}

CGdal::CQuiet::~CQuiet()
{
    CPLPopErrorHandler();
}

bool CGdal::CQuiet::NoResponse() const
{
    // curl's texts for a connection not made in time and a stalled transfer;
    // GDAL reports HTTP status 0 when no answer came at all.
    const std::string& text = m_networkError;
    return text.find("timed out") != std::string::npos || text.find("too slow") != std::string::npos
        || (text.size() >= 3 && text.compare(text.size() - 3, 3, ": 0") == 0);
}

void CPL_STDCALL CGdal::CQuiet::OnError(CPLErr type, CPLErrorNum number, const char* message)
{
    auto* quiet = static_cast<CQuiet*>(CPLGetErrorHandlerUserData());
    if (quiet == nullptr || message == nullptr || type < CE_Warning || !quiet->m_networkError.empty())
        return;
    // Failed transfers come as errors of their own class, or (for a file
    // read through /vsicurl/) as a warning naming the HTTP status.
    if (number == CPLE_HttpResponse || STARTS_WITH(message, "HTTP response code on")
        || std::strstr(message, "CURL error") != nullptr)
        quiet->m_networkError = message;
}

CGdal::CDataset::~CDataset()
{
    if (m_dataset != nullptr)
        GDALClose(m_dataset);
}
