#include "tools/dvk/CommandLine.h"

#include <utility>

CommandLine::CommandLine(std::set<std::string> flags, std::set<std::string> valued, std::set<std::string> repeatable)
    : flags_(std::move(flags)), valued_(std::move(valued)), repeatable_(std::move(repeatable)) {}

bool CommandLine::Parse(const std::vector<std::string>& args, std::string& error) {
    bool optionsEnded = false;
    for (std::size_t i = 0; i < args.size(); ++i) {
        const std::string& arg = args[i];
        if (optionsEnded || arg.size() < 2 || arg.compare(0, 2, "--") != 0) {
            if (!optionsEnded && arg.size() > 1 && arg[0] == '-') {
                error = "unknown option '" + arg + "'";
                return false;
            }
            operands_.push_back(arg);
            continue;
        }
        if (arg == "--") {
            optionsEnded = true;
            continue;
        }
        std::string name = arg.substr(2);
        std::string value;
        bool hasValue = false;
        std::string::size_type equals = name.find('=');
        if (equals != std::string::npos) {
            value = name.substr(equals + 1);
            name = name.substr(0, equals);
            hasValue = true;
        }
        if (flags_.count(name) != 0) {
            if (hasValue) {
                error = "option '--" + name + "' takes no value";
                return false;
            }
        } else if (valued_.count(name) != 0) {
            if (!hasValue) {
                if (i + 1 >= args.size()) {
                    error = "option '--" + name + "' needs a value";
                    return false;
                }
                value = args[++i];
            }
        } else {
            error = "unknown option '--" + name + "'";
            return false;
        }
        std::vector<std::string>& slot = values_[name];
        if (!slot.empty() && repeatable_.count(name) == 0) {
            error = "option '--" + name + "' given more than once";
            return false;
        }
        slot.push_back(value);
    }
    return true;
}

std::string CommandLine::Value(const std::string& name) const {
    auto found = values_.find(name);
    return found == values_.end() || found->second.empty() ? std::string() : found->second.back();
}

std::vector<std::string> CommandLine::Values(const std::string& name) const {
    auto found = values_.find(name);
    return found == values_.end() ? std::vector<std::string>() : found->second;
}
