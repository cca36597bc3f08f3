#include "upgrade/helper/HandOver.h"

#include <charconv>
#include <cstring>
#include <stdexcept>

namespace handover {

namespace {

std::string Joined(std::vector<std::string>::const_iterator First, std::vector<std::string>::const_iterator Last)
{
    std::string text;
    for (auto it = First; it != Last; ++it) {
        if (it != First)
            text += ' ';
        text += *it;
    }
    return text;
}

// The first argument cannot be the parameter: a path may well begin with "+".
std::size_t ParameterIndex(const std::vector<std::string>& Arguments)
{
    for (std::size_t i = Arguments.size(); i-- > 1;) {
        if (!Arguments[i].empty() && Arguments[i].front() == '+')
            return i;
    }
    return Arguments.size();
}

} // namespace

std::string HandOverParameter(const std::string& RestartParams, int Method)
{
    if (Method != MethodSelfUpgrade && Method != MethodExternalSetup)
        throw std::invalid_argument("the upgrade helper carries out no upgrade method " + std::to_string(Method));
    return "+" + RestartParams + static_cast<char>('0' + Method);
}

std::vector<std::string> HelperCommand(const std::string& HelperPath, const std::string& ProgramPath,
                                       const std::string& Parameter)
{
    return {HelperPath, ProgramPath, Parameter};
}

THandOver ReadHandOver(const std::vector<std::string>& Arguments)
{
    THandOver result;
    const std::size_t index = ParameterIndex(Arguments);
    result.ProgramPath = Joined(Arguments.begin(), Arguments.begin() + static_cast<std::ptrdiff_t>(index));
    if (index == Arguments.size())
        return result;
    std::string parameter = Joined(Arguments.begin() + static_cast<std::ptrdiff_t>(index), Arguments.end());
    parameter.erase(0, 1);
    if (!parameter.empty() && (parameter.back() == '0' || parameter.back() == '1')) {
        result.SetupMode = parameter.back() == '0' + MethodExternalSetup;
        parameter.pop_back();
    }
    result.RestartText = parameter;
    return result;
}

int WaitLimitMs(const char* VariableValue)
{
    return MillisecondsSetting(VariableValue, DefaultWaitLimitMs);
}

int MillisecondsSetting(const char* VariableValue, int Default)
{
    if (!VariableValue || !*VariableValue)
        return Default;
    int value = 0;
    const char* end = VariableValue + std::strlen(VariableValue);
    const auto [stop, error] = std::from_chars(VariableValue, end, value);
    return error == std::errc() && stop == end && value >= 0 ? value : Default;
}

} // namespace handover
