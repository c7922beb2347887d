#pragma once
// The command line of every vantaPeak program, in one style: GNU long
// options ("--name VALUE" or "--name=VALUE"), "--help" and "--version",
// Spanish texts. The help lists what the program is and every option on one
// line with its default; a bad command line names the option (or argument)
// at fault, and the program then ends with status 2.
//
// No Qt: the program may parse its options before any Qt object exists (the
// window program must answer --help without a display).
//
// Usage:
//   COptionParser options("vantapeak-tiles", "[opciones]", "Pinta las cinco texturas...");
//   options.AddText("out", "DIR", "carpeta de salida", &folder);
//   if (const int status = options.Handle(argc, argv); status >= 0) return status;
#include <cstdio>
#include <functional>
#include <string>
#include <vector>

#include "config/Version.h"

class COptionParser {
public:
    // Version printed by --version (the program's version record).
    static constexpr const char* kVersion = kVantaPeakVersion;
    // Exit status of a bad command line.
    static constexpr int kUsageError = 2;

    enum class Result { Run, Help, Version, Error };

    // `program` names the program in every text; `usage` follows it on the
    // usage line; `description` says what the program is (may span lines).
    COptionParser(std::string program, std::string usage, std::string description);

    // An option without value: sets *target to true when given.
    void AddFlag(const std::string& name, const std::string& help, bool* target);
    // An option with a text value. `defaultText` is shown as the default;
    // empty shows *target as it is when the option is declared.
    void AddText(const std::string& name, const std::string& valueName, const std::string& help,
                 std::string* target, const std::string& defaultText = std::string());
    // A decimal number within [low, high]; the default shown is *target
    // unless `defaultText` is given.
    void AddNumber(const std::string& name, const std::string& valueName, const std::string& help, double low,
                   double high, double* target, const std::string& defaultText = std::string());
    // A whole number within [low, high].
    void AddInteger(const std::string& name, const std::string& valueName, const std::string& help,
                    long long low, long long high, long long* target,
                    const std::string& defaultText = std::string());
    // A value that `read` converts; `read` returns false when the text is not
    // acceptable, and `expected` then says what is (e.g. "X,Y,Z").
    void AddCustom(const std::string& name, const std::string& valueName, const std::string& help,
                   const std::string& defaultText, const std::string& expected,
                   std::function<bool(const std::string&)> read);
    // At most one argument that is not an option (e.g. a file name).
    void AddPositional(const std::string& valueName, const std::string& help, std::string* target);

    // Reads the arguments (without the program's own name). On Error,
    // ErrorText() names the option or argument at fault.
    Result Parse(const std::vector<std::string>& arguments);
    // Parses argv and prints what the result asks for: the help or version on
    // `out`, the error on `err`. Returns -1 when the program runs on,
    // otherwise the exit status (0 after help or version, 2 on error).
    int Handle(int argc, char** argv, std::FILE* out = stdout, std::FILE* err = stderr);

    // The number readers of AddNumber and AddInteger, for AddCustom values
    // made of numbers: the whole text must be one finite decimal number (one
    // whole number) that fits; false otherwise, *value untouched.
    static bool ReadNumber(const std::string& text, double* value);
    static bool ReadInteger(const std::string& text, long long* value);

    std::string HelpText() const;
    std::string VersionText() const;
    // The error line and a hint to --help; empty unless Parse failed.
    std::string ErrorText() const;
    const std::string& Program() const { return m_program; }

private:
    enum class Kind { Flag, Value };
    struct Option {
        std::string name;
        std::string valueName;
        std::string help;
        std::string defaultText;
        std::string expected;
        Kind kind;
        std::function<bool(const std::string&)> read;
    };
    const Option* Find(const std::string& name) const;
    Result Fail(std::string message);

    std::string m_program;
    std::string m_usage;
    std::string m_description;
    std::vector<Option> m_options;
    std::string m_positionalName;
    std::string m_positionalHelp;
    std::string* m_positional = nullptr;
    std::string m_error;
};
