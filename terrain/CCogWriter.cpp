#include "terrain/CCogWriter.h"

#include <cstdio>

#include <unistd.h>

#include <cpl_error.h>
#include <gdal_utils.h>

#include "terrain/CGdal.h"

int CCogWriter::OnProgress(double fraction, const char*, void* self)
{
    auto* writer = static_cast<CCogWriter*>(self);
    writer->m_progress.store(static_cast<float>(fraction), std::memory_order_relaxed);
    return writer->m_cancel.load(std::memory_order_relaxed) ? FALSE : TRUE;
}

int CCogWriter::Run(const Settings& settings)
{
    CGdal::Initialise();
    CGdal::CQuiet quiet;
    m_progress.store(0.0f, std::memory_order_relaxed);
    if (settings.sources.empty() || settings.out.empty()) {
        m_message = "Falta el fichero de elevaciones o el de salida";
        return -1;
    }
    std::vector<const char*> names;
    for (const std::string& source : settings.sources)
        names.push_back(source.c_str());
    GDALDatasetH input = nullptr;
    if (names.size() == 1) {
        input = GDALOpenEx(names[0], GDAL_OF_RASTER | GDAL_OF_READONLY, nullptr, nullptr, nullptr);
    } else {
        int usageError = FALSE;
        input = GDALBuildVRT("", static_cast<int>(names.size()), nullptr, names.data(), nullptr, &usageError);
    }
    CGdal::CDataset closer(input);
    if (input == nullptr || GDALGetRasterCount(input) < 1) {
        m_message = "No se pudo leer el fichero " + settings.sources.front() + ": formato no admitido o fichero dañado";
        return -1;
    }
    const char* arguments[] = {"-of", "COG", "-b", "1", "-co", "COMPRESS=DEFLATE", "-co", "PREDICTOR=2",
                               "-co", "BIGTIFF=IF_SAFER", "-co", "BLOCKSIZE=512", "-co", "OVERVIEW_RESAMPLING=AVERAGE",
                               nullptr};
    GDALTranslateOptions* options = GDALTranslateOptionsNew(const_cast<char**>(arguments), nullptr);
    GDALTranslateOptionsSetProgress(options, &CCogWriter::OnProgress, this);
    const std::string staging = settings.out + ".tmp-" + std::to_string(::getpid());
    int usageError = FALSE;
    CPLErrorReset();
    GDALDatasetH written = GDALTranslate(staging.c_str(), input, options, &usageError);
    GDALTranslateOptionsFree(options);
    if (written != nullptr)
        GDALClose(written); // the last blocks are written here: its failure is the last error
    const bool complete = written != nullptr && CPLGetLastErrorType() != CE_Failure;
    if (!complete || m_cancel.load(std::memory_order_relaxed)
        || std::rename(staging.c_str(), settings.out.c_str()) != 0) {
        std::remove(staging.c_str());
        m_message = m_cancel.load(std::memory_order_relaxed) ? "Conversión cancelada"
                                                             : "No se pudo escribir el fichero " + settings.out;
        return -1;
    }
    m_progress.store(1.0f, std::memory_order_relaxed);
    m_message = "Escrito " + settings.out + ": GeoTIFF optimizado para la nube con vistas reducidas ("
                + std::to_string(GDALGetRasterXSize(input)) + " x " + std::to_string(GDALGetRasterYSize(input))
                + " pixeles)";
    return 0;
}
