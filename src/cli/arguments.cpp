#include "cli/arguments.h"

#include <stdexcept>

namespace vestrel {

Arguments::Arguments(const std::vector<std::string>& args, const CommandSpec& command) : command_(command) {
    bool optionsEnded = false;
    for (std::size_t i = 0; i < args.size(); ++i) {
        const std::string& arg = args[i];
        if (optionsEnded || arg.size() < 2 || arg[0] != '-') {
            operands_.push_back(arg);
            continue;
        }
        if (arg == "--") {
            optionsEnded = true;
            continue;
        }
        if (arg.rfind("--", 0) != 0) throw UsageError{"unknown option '" + arg + "'"};
        const std::size_t equals = arg.find('=');
        const std::string name = arg.substr(2, equals == std::string::npos ? std::string::npos : equals - 2);
        const OptionSpec* option = command.Find(name);
        if (!option) throw UsageError{"unknown option '" + arg + "'"};
        if (given_.count(name)) throw UsageError{"--" + name + " is given twice"};
        std::string value;
        if (option->TakesValue()) {
            if (equals != std::string::npos) {
                value = arg.substr(equals + 1);
            } else if (i + 1 < args.size()) {
                value = args[++i];
            }
            if (value.empty()) throw UsageError{"--" + name + " needs " + option->needs};
        } else if (equals != std::string::npos) {
            throw UsageError{"--" + name + " takes no value"};
        }
        given_[name] = value;
    }
}

const OptionSpec& Arguments::Declared(const std::string& name) const {
    const OptionSpec* option = command_.Find(name);
    if (!option) throw std::logic_error("vestrel-cli " + command_.name + " declares no option --" + name);
    return *option;
}

bool Arguments::Has(const std::string& name) const {
    Declared(name);
    return given_.count(name) != 0;
}

std::optional<std::string> Arguments::Value(const std::string& name) const {
    const OptionSpec& option = Declared(name);
    auto it = given_.find(name);
    if (it != given_.end()) return it->second;
    if (!option.defaultValue.empty()) return option.defaultValue;
    return std::nullopt;
}

UsageError Arguments::Usage() const { return UsageError{"usage: vestrel-cli " + command_.UsageForm()}; }

void Arguments::ExpectOperands(std::size_t count) const {
    if (operands_.size() != count) throw Usage();
}

void Arguments::ExpectAtLeast(std::size_t count) const {
    if (operands_.size() < count) throw Usage();
}

}  // namespace vestrel
