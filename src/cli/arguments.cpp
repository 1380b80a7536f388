#include "cli/arguments.h"

#include <algorithm>

namespace vestrel {

Arguments::Arguments(const std::vector<std::string>& args, std::initializer_list<Option> options) {
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
        const auto option =
            std::find_if(options.begin(), options.end(), [&](const Option& o) { return o.name == name; });
        if (option == options.end()) throw UsageError{"unknown option '" + arg + "'"};
        if (given_.count(name)) throw UsageError{"--" + name + " is given twice"};
        std::string value;
        if (option->takesValue) {
            if (equals != std::string::npos) {
                value = arg.substr(equals + 1);
            } else if (i + 1 < args.size()) {
                value = args[++i];
            }
            if (value.empty()) throw UsageError{"--" + name + " needs " + option->valueHint};
        } else if (equals != std::string::npos) {
            throw UsageError{"--" + name + " takes no value"};
        }
        given_[name] = value;
    }
}

std::optional<std::string> Arguments::Value(const std::string& name) const {
    auto it = given_.find(name);
    if (it == given_.end()) return std::nullopt;
    return it->second;
}

void Arguments::ExpectOperands(std::size_t count, const std::string& form) const {
    if (operands_.size() != count) throw UsageError{"usage: vestrel-cli " + form};
}

void Arguments::ExpectAtLeast(std::size_t count, const std::string& form) const {
    if (operands_.size() < count) throw UsageError{"usage: vestrel-cli " + form};
}

}  // namespace vestrel
