#include "app/ProgramOptions.h"

#include "tools/CFlightOptions.h"

#include <QString>

#include <cstdlib>

COptionParser::Result ParseProgramOptions(const std::vector<std::string>& arguments, CCommandLineInfo& info,
                                          std::string& text)
{
    info = CCommandLineInfo();
    CFlightOptions flight(CFlightOptions::Host::Program);
    double quitAfter = 0.0;
    std::string stats;
    std::string file;
    COptionParser parser(
        "vantapeak", "[opciones] [fichero]",
        "vantaPeak: vuelo en tiempo real sobre un terreno muy grande, dibujado con una malla ROAM.\n"
        "Lee terrainMdt_8193x8193.bmp, su textura y la carpeta Textures de la carpeta actual;\n"
        "el menú \"Simulación\" > \"Iniciar\" empieza el vuelo y \"Terreno\" > \"Generar terreno\" crea un terreno.");
    parser.AddFlag("start", "elige \"Iniciar\" en cuanto se abre la ventana", &info.start);
    flight.Declare(parser);
    parser.AddNumber("quit-after", "SEGUNDOS", "cierra la ventana tras estos segundos", 0.0, 1.0e6, &quitAfter,
                     "0, nunca");
    parser.AddText("stats", "FICHERO.csv", "escribe una fila de estadísticas por fotograma en este fichero",
                   &stats);
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
        info.tour = flight.tour;
        info.speedKmh = static_cast<float>(flight.speedKmh);
        info.turnDegreesPerSecond = static_cast<float>(flight.turnDegreesPerSecond);
        info.quitAfterSeconds = quitAfter;
        info.clearance = static_cast<float>(flight.clearance);
        info.look = flight.look;
        info.terrainFiles = flight.terrain;
        info.imageryFile = flight.imagery;
        info.cacheSizeMb = flight.cacheSizeMb;
        info.verticalScale = flight.verticalScale;
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
