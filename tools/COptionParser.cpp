#include "tools/COptionParser.h"

#include <algorithm>
#include <cerrno>
#include <cmath>
#include <cstdlib>
#include <utility>

namespace {

std::string FormatNumber(double value)
{
    char text[64];
    std::snprintf(text, sizeof text, "%g", value);
    return text;
}

}  // namespace

bool COptionParser::ReadNumber(const std::string& text, double* value)
{
    if (text.empty()) {
        return false;
    }
    errno = 0;
    char* end = nullptr;
    const double parsed = std::strtod(text.c_str(), &end);
    if (errno != 0 || end == nullptr || *end != '\0' || !std::isfinite(parsed)) {
        return false;
    }
    *value = parsed;
    return true;
}

bool COptionParser::ReadInteger(const std::string& text, long long* value)
{
    if (text.empty()) {
        return false;
    }
    errno = 0;
    char* end = nullptr;
    const long long parsed = std::strtoll(text.c_str(), &end, 10);
    if (errno != 0 || end == nullptr || *end != '\0') {
        return false;
    }
    *value = parsed;
    return true;
}

COptionParser::COptionParser(std::string program, std::string usage, std::string description)
    : m_program(std::move(program)), m_usage(std::move(usage)), m_description(std::move(description))
{
}

void COptionParser::AddFlag(const std::string& name, const std::string& help, bool* target)
{
    m_options.push_back({name, std::string(), help, std::string(), std::string(), Kind::Flag,
                         [target](const std::string&) {
                             *target = true;
                             return true;
                         }});
}

void COptionParser::AddText(const std::string& name, const std::string& valueName, const std::string& help,
                            std::string* target, const std::string& defaultText)
{
    m_options.push_back({name, valueName, help, defaultText.empty() ? *target : defaultText, std::string(),
                         Kind::Value, [target](const std::string& text) {
                             if (text.empty()) {
                                 return false;
                             }
                             *target = text;
                             return true;
                         }});
}

void COptionParser::AddNumber(const std::string& name, const std::string& valueName, const std::string& help,
                              double low, double high, double* target, const std::string& defaultText)
{
    const std::string expected = "un número de " + FormatNumber(low) + " a " + FormatNumber(high);
    m_options.push_back({name, valueName, help, defaultText.empty() ? FormatNumber(*target) : defaultText,
                         expected, Kind::Value, [target, low, high](const std::string& text) {
                             double value = 0.0;
                             if (!ReadNumber(text, &value) || value < low || value > high) {
                                 return false;
                             }
                             *target = value;
                             return true;
                         }});
}

void COptionParser::AddInteger(const std::string& name, const std::string& valueName, const std::string& help,
                               long long low, long long high, long long* target, const std::string& defaultText)
{
    const std::string expected = "un entero de " + std::to_string(low) + " a " + std::to_string(high);
    m_options.push_back({name, valueName, help, defaultText.empty() ? std::to_string(*target) : defaultText,
                         expected, Kind::Value, [target, low, high](const std::string& text) {
                             long long value = 0;
                             if (!ReadInteger(text, &value) || value < low || value > high) {
                                 return false;
                             }
                             *target = value;
                             return true;
                         }});
}

void COptionParser::AddCustom(const std::string& name, const std::string& valueName, const std::string& help,
                              const std::string& defaultText, const std::string& expected,
                              std::function<bool(const std::string&)> read)
{
    m_options.push_back({name, valueName, help, defaultText, expected, Kind::Value, std::move(read)});
}

void COptionParser::AddPositional(const std::string& valueName, const std::string& help, std::string* target)
{
    m_positionalName = valueName;
    m_positionalHelp = help;
    m_positional = target;
}

const COptionParser::Option* COptionParser::Find(const std::string& name) const
{
    for (const Option& option : m_options) {
        if (option.name == name) {
            return &option;
        }
    }
    return nullptr;
}

COptionParser::Result COptionParser::Fail(std::string message)
{
    m_error = std::move(message);
    return Result::Error;
}

COptionParser::Result COptionParser::Parse(const std::vector<std::string>& arguments)
{
    m_error.clear();
    bool help = false;
    bool version = false;
    bool positionalTaken = false;
    bool optionsEnded = false;
    for (std::size_t i = 0; i < arguments.size(); ++i) {
        const std::string& argument = arguments[i];
        if (optionsEnded || argument.size() < 2 || argument[0] != '-') {
            if (m_positional == nullptr) {
                return Fail("argumento inesperado: " + argument);
            }
            if (positionalTaken) {
                return Fail("sobra el argumento: " + argument);
            }
            *m_positional = argument;
            positionalTaken = true;
            continue;
        }
        if (argument == "--") {
            optionsEnded = true;
            continue;
        }
        if (argument == "-h" || argument == "--help") {
            help = true;
            continue;
        }
        if (argument == "--version") {
            version = true;
            continue;
        }
        if (argument.compare(0, 2, "--") != 0) {
            return Fail("opción desconocida: " + argument);
        }
        const std::size_t equals = argument.find('=');
        const std::string name = argument.substr(2, equals == std::string::npos ? std::string::npos : equals - 2);
        const Option* option = Find(name);
        if (option == nullptr) {
            return Fail("opción desconocida: --" + name);
        }
        if (option->kind == Kind::Flag) {
            if (equals != std::string::npos) {
                return Fail("la opción --" + name + " no lleva valor");
            }
            option->read(std::string());
            continue;
        }
        std::string value;
        if (equals != std::string::npos) {
            value = argument.substr(equals + 1);
        } else if (i + 1 < arguments.size()) {
            value = arguments[++i];
        } else {
            return Fail("falta el valor de la opción --" + name + " (" + option->valueName + ")");
        }
        if (!option->read(value)) {
            std::string message = "valor no válido para la opción --" + name + ": \"" + value + "\"";
            if (!option->expected.empty()) {
                message += " (se espera " + option->expected + ")";
            }
            return Fail(message);
        }
    }
    if (help) {
        return Result::Help;
    }
    return version ? Result::Version : Result::Run;
}

int COptionParser::Handle(int argc, char** argv, std::FILE* out, std::FILE* err)
{
    std::vector<std::string> arguments;
    for (int i = 1; i < argc; ++i) {
        arguments.emplace_back(argv[i]);
    }
    switch (Parse(arguments)) {
    case Result::Help:
        std::fputs(HelpText().c_str(), out);
        return 0;
    case Result::Version:
        std::fputs(VersionText().c_str(), out);
        return 0;
    case Result::Error:
        std::fputs(ErrorText().c_str(), err);
        return kUsageError;
    case Result::Run:
        break;
    }
    return -1;
}

std::string COptionParser::HelpText() const
{
    struct Line {
        std::string left;
        std::string right;
    };
    std::vector<Line> lines;
    for (const Option& option : m_options) {
        Line line{"--" + option.name, option.help};
        if (option.kind == Kind::Value) {
            line.left += " " + option.valueName;
            line.right += " (por defecto: " + (option.defaultText.empty() ? "ninguno" : option.defaultText) + ")";
        }
        lines.push_back(line);
    }
    if (m_positional != nullptr) {
        lines.push_back({m_positionalName, m_positionalHelp});
    }
    lines.push_back({"-h, --help", "muestra esta ayuda y termina"});
    lines.push_back({"--version", "muestra la versión y termina"});
    std::size_t width = 0;
    for (const Line& line : lines) {
        width = std::max(width, line.left.size());
    }
    std::string text = "Uso: " + m_program + " " + m_usage + "\n" + m_description + "\n\nOpciones:\n";
    for (const Line& line : lines) {
        text += "  " + line.left + std::string(width - line.left.size() + 2, ' ') + line.right + "\n";
    }
    return text;
}

std::string COptionParser::VersionText() const
{
    return m_program + " " + kVersion + "\n";
}

std::string COptionParser::ErrorText() const
{
    if (m_error.empty()) {
        return std::string();
    }
    return m_program + ": " + m_error + "\nPruebe \"" + m_program + " --help\" para ver las opciones.\n";
}
