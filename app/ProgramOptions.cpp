#include "app/ProgramOptions.h"

#include "render/Look.h"

#include <QString>

#include <cstdlib>

COptionParser::Result ParseProgramOptions(const std::vector<std::string>& arguments, CCommandLineInfo& info,
                                          std::string& text)
{
    info = CCommandLineInfo();
    double speed = 0.0;
    double turn = 0.0;
    double quitAfter = 0.0;
    double clearance = 0.0;
    std::string stats;
    std::string file;
    COptionParser parser(
        "vantapeak", "[opciones] [fichero]",
        "vantaPeak: vuelo en tiempo real sobre un terreno muy grande, dibujado con una malla ROAM.\n"
        "Lee terrainMdt_8193x8193.bmp, su textura y la carpeta Textures de la carpeta actual;\n"
        "el menú \"Simulación\" > \"Iniciar\" empieza el vuelo y \"Terreno\" > \"Generar terreno\" crea un terreno.");
    parser.AddFlag("start", "elige \"Iniciar\" en cuanto se abre la ventana", &info.start);
    parser.AddFlag("tour", "vuelo guiado: un piloto automático recorre el terreno sin salir de él, a la velocidad del deslizador", &info.tour);
    parser.AddNumber("speed", "KMH", "velocidad del deslizador al iniciar, en km/h, de 0 a 1000", 0.0, 1000.0,
                     &speed);
    parser.AddNumber("turn", "GRADOS_S", "giro constante en grados por segundo, a la derecha si es positivo", -3600.0,
                     3600.0, &turn);
    parser.AddNumber("quit-after", "SEGUNDOS", "cierra la ventana tras estos segundos", 0.0, 1.0e6, &quitAfter,
                     "0, nunca");
    parser.AddText("stats", "FICHERO.csv", "escribe una fila de estadísticas por fotograma en este fichero",
                   &stats);
    parser.AddNumber("clearance", "M", "sigue el terreno al menos M unidades por encima del suelo", 0.0, 5000.0,
                     &clearance, "0, apagado");
    parser.AddCustom("look", "classic|enhanced", "cómo se dibuja el vuelo: el clásico o el mejorado (cielo, "
                     "niebla, texturas filtradas, sin saltos)", "classic", "classic o enhanced",
                     [&info](const std::string& value) { return ParseLook(value.c_str(), &info.look); });
    parser.AddCustom("terrain", "FICHERO", "vuela sobre este fichero de alturas (GeoTIFF, .hgt, ...) leído por "
                     "partes; repítala para unir teselas", "la carpeta actual", "un fichero",
                     [&info](const std::string& value) {
                         info.terrainFiles.push_back(value);
                         return !value.empty();
                     });
    parser.AddText("imagery", "FICHERO", "colores del terreno de --terrain (ortofoto georreferenciada)",
                   &info.imageryFile, "pintados por alturas");
    parser.AddNumber("vertical-scale", "FACTOR", "exagera el relieve de --terrain", 0.01, 100.0, &info.verticalScale);
    parser.AddNumber("cache-size", "MB", "tamaño de la caché local de un --terrain servido por http:// o https:// "
                     "(en $XDG_CACHE_HOME/vantapeak)", 1.0, 1.0e7, &info.cacheSizeMb, "2048");
    parser.AddPositional("fichero", "documento que se abre (sin él, un documento nuevo)", &file);
    const COptionParser::Result result = parser.Parse(arguments);
    switch (result) {
    case COptionParser::Result::Help:
        info.showHelp = true;
        text = parser.HelpText();
        break;
    case COptionParser::Result::Version:
        info.showVersion = true;
        text = parser.VersionText();
        break;
    case COptionParser::Result::Error:
        text = parser.ErrorText();
        break;
    case COptionParser::Result::Run:
        text.clear();
        info.speedKmh = static_cast<float>(speed);
        info.turnDegreesPerSecond = static_cast<float>(turn);
        info.quitAfterSeconds = quitAfter;
        info.clearance = static_cast<float>(clearance);
        info.statsFile = QString::fromStdString(stats);
        info.fileName = QString::fromStdString(file);
        break;
    }
    return result;
}

bool DisplayAvailable()
{
    for (const char* name : {"DISPLAY", "WAYLAND_DISPLAY", "QT_QPA_PLATFORM"}) {
        const char* value = std::getenv(name);
        if (value != nullptr && *value != '\0') {
            return true;
        }
    }
    return false;
}

const char* NoDisplayMessage()
{
    return "vantapeak: no hay pantalla (DISPLAY no está definida); para usarlo sin ella, "
           "ábralo en un servidor X virtual: xvfb-run -a -s \"-screen 0 1280x1024x24\" vantapeak --start\n";
}
