#include "terrain/CGdal.h"

#include <mutex>

#include <cpl_conv.h>
#include <cpl_error.h>

void CGdal::Initialise()
{
    static std::once_flag once;
    std::call_once(once, [] {
        // No .aux.xml side files beside the files we only read.
        CPLSetConfigOption("GDAL_PAM_ENABLED", "NO");
        GDALAllRegister();
    });
}

CGdal::CQuiet::CQuiet()
{
    CPLPushErrorHandler(CPLQuietErrorHandler);
}

CGdal::CQuiet::~CQuiet()
{
    CPLPopErrorHandler();
}

CGdal::CDataset::~CDataset()
{
    if (m_dataset != nullptr)
        GDALClose(m_dataset);
}
