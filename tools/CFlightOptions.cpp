#include "tools/CFlightOptions.h"

CFlightOptions::CFlightOptions(Host host) : host(host), speedKmh(host == Host::Snapshot ? 300.0 : 0.0) {}

void CFlightOptions::Declare(COptionParser& parser)
{
    const bool program = host == Host::Program;
    parser.AddFlag("tour",
                   program ? "vuelo guiado: un piloto automático recorre el terreno sin salir de él, a la velocidad "
                             "del deslizador"
                           : "con --record, el vuelo guiado del programa en lugar de --turn",
                   &tour);
    parser.AddNumber("speed", "KMH",
                     program ? "velocidad del deslizador al iniciar, en km/h, de 0 a 1000"
                             : "con --record, velocidad del vuelo en km/h",
                     0.0, 1000.0, &speedKmh);
    parser.AddNumber("turn", "GRADOS_S",
                     program ? "giro constante en grados por segundo, a la derecha si es positivo"
                             : "con --record, giro constante en grados por segundo",
                     -3600.0, 3600.0, &turnDegreesPerSecond);
    parser.AddNumber("clearance", "M", "sigue el terreno al menos M unidades por encima del suelo", 0.0, 5000.0,
                     &clearance, "0, apagado");
    parser.AddCustom("look", "classic|enhanced",
                     std::string(program ? "cómo se dibuja el vuelo" : "cómo se dibuja") +
                         ": el clásico o el mejorado (cielo, niebla, texturas filtradas, sin saltos)",
                     "classic", "classic o enhanced",
                     [this](const std::string& value) { return ParseLook(value.c_str(), &look); });
    parser.AddCustom("terrain", "FICHERO", "vuela sobre este fichero de alturas (GeoTIFF, .hgt, ...) leído por partes "
                     "en vez de la carpeta; repítala para unir teselas", "la carpeta", "un fichero",
                     [this](const std::string& value) {
                         terrain.push_back(value);
                         return !value.empty();
                     });
    parser.AddText("imagery", "FICHERO", "colores del terreno de --terrain (ortofoto georreferenciada)", &imagery,
                   "pintados por alturas");
    parser.AddNumber("vertical-scale", "FACTOR", "exagera el relieve de --terrain", 0.01, 100.0, &verticalScale);
    parser.AddNumber("cache-size", "MB", "tamaño de la caché local de un --terrain servido por http:// o https:// "
                     "(en $XDG_CACHE_HOME/vantapeak)", 1.0, 1.0e7, &cacheSizeMb, "2048");
}
