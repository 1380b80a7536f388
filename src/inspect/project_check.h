#pragma once

#include "platform/result.h"

#include <filesystem>
#include <memory>
#include <string>
#include <vector>

namespace vestrel {

class BankCompiler;

// Error: the project cannot be compiled as it stands. Warning: it compiles,
// but the banks probably do not hold what the engineer meant.
enum class Severity { Error, Warning };

struct Problem {
    Severity severity = Severity::Error;
    std::string file;     // the project file as found on disk; empty when no one file is at fault
    int row = 0;          // table row counted from 1 as the editors show it; 0 for the file as a whole
    std::string field;    // the element or attribute whose text the compiler could not convert, if any
    std::string message;  // for errors, the compiler's own text

    friend bool operator==(const Problem&, const Problem&) = default;
};

// What the banks hold before the compile the check foresees, for the one
// file whose absence leaves bytes as they were: a fresh process starts from
// zero banks, the application from what its last compile wrote.
enum class BanksBefore { LastCompile, Zero };

// Everything that stops a compile of the project, and everything that
// compiles but is probably not meant, errors first; within each, in the order
// pargen.xml, RCobDef.xml, TCobDef.xml, RInfoCob.xml, TInfoCob.xml, by row.
// The project is also compiled on a scratch compiler, so the list holds an
// error exactly when BuildBankImages would stop. Never throws for a project
// problem; a folder that does not exist is an error in the list.
std::vector<Problem> CheckProject(const std::filesystem::path& projectDir,
                                  BanksBefore before = BanksBefore::LastCompile);

// The check and the compile it makes, for a caller that needs the banks as
// well: the compiler holding the project's banks, or the reason the compile
// stops (its first error, as BuildBankImages without a list would throw it).
struct CheckedProject {
    std::vector<Problem> problems;
    Result<std::shared_ptr<const BankCompiler>> compiled = Failure{};
};
CheckedProject CheckAndCompileProject(const std::filesystem::path& projectDir,
                                      BanksBefore before = BanksBefore::LastCompile);

bool HasErrors(const std::vector<Problem>& problems);

// One line, labelled: "error: file: row N: message", "warning: file:
// message" and so on, with the field in front of the message when there is
// one ("error: pargen.xml: Par_Ser: '' is not a valid integer value"). Line
// breaks inside the message (a parse error has two) become "; " and control
// characters are escaped.
std::string FormatProblem(const Problem& problem);

}  // namespace vestrel
