#include "options.h"

#include <charconv>
#include <limits>
#include <optional>
#include <stdexcept>

namespace korva::sim {

namespace {

enum class OptionId { Link, Eeprom, Seed, NoPacing, Latency, AnswerLate, Numbered, Verbose, Silent, WrongEcho, Truncate, Extra, DropEvery, Help };

struct Option {
    std::string_view name;
    bool takesValue;
    OptionId id;
};

constexpr Option kOptions[] = {
    {"link", true, OptionId::Link},
    {"eeprom", true, OptionId::Eeprom},
    {"seed", true, OptionId::Seed},
    {"no-pacing", false, OptionId::NoPacing},
    {"latency", true, OptionId::Latency},
    {"answer-late", true, OptionId::AnswerLate},
    {"numbered", false, OptionId::Numbered},
    {"verbose", false, OptionId::Verbose},
    {"silent", false, OptionId::Silent},
    {"wrong-echo", false, OptionId::WrongEcho},
    {"truncate", true, OptionId::Truncate},
    {"extra", true, OptionId::Extra},
    {"drop-every", true, OptionId::DropEvery},
    {"help", false, OptionId::Help},
};

struct UsageError : std::runtime_error {
    using std::runtime_error::runtime_error;
};

// The option a name stands for: its whole name, or a beginning that fits one option only.
const Option* findOption(std::string_view name)
{
    const Option* found = nullptr;
    int beginnings = 0;
    for (const Option& option : kOptions) {
        if (option.name == name)
            return &option;
        if (!name.empty() && option.name.starts_with(name)) {
            found = &option;
            ++beginnings;
        }
    }
    return beginnings == 1 ? found : nullptr;
}

// The whole number `text` is, all of it; nothing when it is none.
std::optional<std::uint64_t> wholeNumber(std::string_view text)
{
    std::uint64_t value = 0;
    const char* end = text.data() + text.size();
    const auto [ptr, ec] = std::from_chars(text.data(), end, value);
    if (ec != std::errc() || ptr != end)
        return std::nullopt;
    return value;
}

// The value of a numeric option, from 0 to `most`.
std::uint64_t number(const std::string& text, std::string_view option, std::uint64_t most)
{
    const auto value = wholeNumber(text);
    if (!value || *value > most)
        throw UsageError("--" + std::string(option) + " needs a whole number from 0 to " + std::to_string(most) +
                         ", not \"" + text + "\"");
    return *value;
}

// "CODES=MS": order codes from 1 to 15, separated by commas, and how much later their answers come.
void answerLate(const std::string& value, SensorOptions& options)
{
    const auto refused = [&value] {
        return UsageError("--answer-late needs CODES=MS: order codes from 1 to 15 separated by commas, and a "
                          "delay from 0 to " + std::to_string(SensorOptions::kMaxLatency.count()) + " ms; not \"" +
                          value + "\"");
    };
    const std::size_t equals = value.find('=');
    if (equals == std::string::npos)
        throw refused();
    std::uint16_t orders = 0;
    std::string_view codes = std::string_view(value).substr(0, equals);
    for (;;) {
        const std::size_t comma = codes.find(',');
        const auto code = wholeNumber(codes.substr(0, comma));
        if (!code || *code < 1 || *code > 15)
            throw refused();
        orders = static_cast<std::uint16_t>(orders | 1u << *code);
        if (comma == std::string_view::npos)
            break;
        codes.remove_prefix(comma + 1);
    }
    const auto ms = wholeNumber(std::string_view(value).substr(equals + 1));
    if (!ms || *ms > std::uint64_t(SensorOptions::kMaxLatency.count()))
        throw refused();
    options.lateOrders = orders;
    options.lateBy = std::chrono::milliseconds(*ms);
}

void apply(const Option& option, const std::string& value, SensorOptions& options)
{
    switch (option.id) {
    case OptionId::Link: options.linkPath = value; break;
    case OptionId::Eeprom: options.eepromFile = value; break;
    case OptionId::Seed: options.seed = number(value, option.name, std::numeric_limits<std::uint32_t>::max()); break;
    case OptionId::NoPacing: options.pacing = false; break;
    case OptionId::Latency:
        options.latency = std::chrono::milliseconds(number(value, option.name, SensorOptions::kMaxLatency.count()));
        break;
    case OptionId::AnswerLate: answerLate(value, options); break;
    case OptionId::Numbered: options.numbered = true; break;
    case OptionId::Verbose: options.verbose = true; break;
    case OptionId::Silent: options.faults.silent = true; break;
    case OptionId::WrongEcho: options.faults.wrongEcho = true; break;
    case OptionId::Truncate: options.faults.truncate = number(value, option.name, Faults::kMaxTruncate); break;
    case OptionId::Extra: options.faults.extra = number(value, option.name, Faults::kMaxExtra); break;
    case OptionId::DropEvery: options.faults.dropEvery = number(value, option.name, Faults::kMaxDropEvery); break;
    case OptionId::Help: break;
    }
}

// Reads the options into `parsed`; false once --help has come.
bool readOptions(const std::vector<std::string>& arguments, ParsedOptions& parsed)
{
    std::optional<std::string> stray;  // the first argument that is not an option
    for (std::size_t i = 0; i < arguments.size(); ++i) {
        const std::string& argument = arguments[i];
        if (argument == "--") {
            if (!stray && i + 1 < arguments.size())
                stray = arguments[i + 1];
            break;
        }
        if (argument.size() < 2 || argument[0] != '-') {
            if (!stray)
                stray = argument;
            continue;
        }
        const bool isLong = argument[1] == '-';
        const std::string_view text = std::string_view(argument).substr(2);
        const std::size_t equals = text.find('=');
        const Option* option = isLong ? findOption(text.substr(0, equals)) : nullptr;
        const bool valueGiven = equals != std::string_view::npos;
        if (option == nullptr || (valueGiven && !option->takesValue) ||
            (option->takesValue && !valueGiven && i + 1 == arguments.size()))
            throw UsageError("unknown option or missing value: " + argument);
        std::string value;
        if (option->takesValue)
            value = valueGiven ? std::string(text.substr(equals + 1)) : arguments[++i];
        if (option->id == OptionId::Help)
            return false;
        apply(*option, value, parsed.options);
    }
    if (stray)
        throw UsageError("unexpected argument: " + *stray);
    return true;
}

}  // namespace

ParsedOptions parseOptions(const std::vector<std::string>& arguments)
{
    ParsedOptions parsed;
    try {
        parsed.help = !readOptions(arguments, parsed);
    } catch (const UsageError& e) {
        parsed.options = {};
        parsed.error = e.what();
    }
    return parsed;
}

std::vector<std::string> splitOptions(std::string_view text)
{
    std::vector<std::string> words;
    std::size_t at = 0;
    while ((at = text.find_first_not_of(" \t", at)) != std::string_view::npos) {
        const std::size_t end = text.find_first_of(" \t", at);
        words.emplace_back(text.substr(at, end == std::string_view::npos ? end : end - at));
        at = end;
    }
    return words;
}

}  // namespace korva::sim
