// The options and operands of one dvk command.
//
// "--name VALUE", "--name=VALUE" and bare "--flag" are understood; "--"
// ends the options. Anything else is an operand.
#pragma once

#include <map>
#include <set>
#include <string>
#include <vector>

class CommandLine {
public:
    // flags take no value; valued options take one; repeatable ones may be
    // given more than once (the others only once).
    CommandLine(std::set<std::string> flags, std::set<std::string> valued, std::set<std::string> repeatable = {});

    // False, with a message for people, on an unknown or malformed option.
    [[nodiscard]] bool Parse(const std::vector<std::string>& args, std::string& error);

    bool Has(const std::string& name) const { return values_.count(name) != 0; }
    // The value of a once-only option, or "" when absent.
    std::string Value(const std::string& name) const;
    // Every value of a repeatable option, in order.
    std::vector<std::string> Values(const std::string& name) const;
    const std::vector<std::string>& Operands() const { return operands_; }

private:
    std::set<std::string> flags_;
    std::set<std::string> valued_;
    std::set<std::string> repeatable_;
    std::map<std::string, std::vector<std::string>> values_;
    std::vector<std::string> operands_;
};
