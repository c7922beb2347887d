#pragma once
// The generation options the generating benchmarks share, read by the
// programs' own option parser: --size, --seed and --textures straight into
// the generator's settings, whose values on entry are the defaults shown.
#include <string>
#include <type_traits>

#include "terrain/CTerrainGenerator.h"
#include "tools/COptionParser.h"

inline void AddTerrainOptions(COptionParser& options, CTerrainGenerator::Settings* settings)
{
    const auto whole = [](long long low, long long high, auto* target) {
        return [=](const std::string& text) {
            long long value = 0;
            if (!COptionParser::ReadInteger(text, &value) || value < low || value > high)
                return false;
            *target = static_cast<std::remove_pointer_t<decltype(target)>>(value);
            return true;
        };
    };
    options.AddCustom("size", "N", "lado del terreno en muestras", std::to_string(settings->size),
                      "un entero de " + std::to_string(CTerrainGenerator::kMinSize) + " a " +
                          std::to_string(CTerrainGenerator::kMaxSize),
                      whole(CTerrainGenerator::kMinSize, CTerrainGenerator::kMaxSize, &settings->size));
    options.AddCustom("seed", "N", "semilla del generador", std::to_string(settings->seed),
                      "un entero de 0 a 4294967295", whole(0, 4294967295LL, &settings->seed));
    options.AddText("textures", "DIR", "carpeta de las cinco texturas", &settings->texturesFolder);
}
