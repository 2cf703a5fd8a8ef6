#include "session/BreakpointRules.h"

#include "engine/CommandTexts.h"
#include "session/DebugSession.h"
#include "session/Expression.h"

#include <algorithm>

using CommandText::format;

namespace {

constexpr const char* kRuleChanged = "Breakpoint at $%04x now stops %s";
constexpr const char* kRuleRefused = "The breakpoint at $%04x was not set: %s";
constexpr const char* kNotSetAgain = "The breakpoint at $%04x could not be set again: %s";
constexpr const char* kNotResumed = "The program stays at $%04x: it could not be resumed (%s)";

struct HitCount {
    std::string op; // "", "==", ">=", ">", "%"
    uint64_t n = 0;
};

std::optional<HitCount> parseHitCondition(const std::string& text)
{
    std::string t;
    for (char c : text)
        if (c != ' ' && c != '\t')
            t += c;
    HitCount h;
    for (const char* op : {"==", ">=", ">", "%"})
        if (t.rfind(op, 0) == 0) {
            h.op = op;
            t.erase(0, h.op.size());
            break;
        }
    if (t.empty() || t.size() > 18 || t.find_first_not_of("0123456789") != std::string::npos)
        return std::nullopt;
    h.n = std::stoull(t);
    if (h.op == "%" && h.n == 0)
        return std::nullopt;
    return h;
}

// Each {EXPR} of a log message, in order.
std::vector<std::string> messageExpressions(const std::string& m)
{
    std::vector<std::string> out;
    for (size_t i = m.find('{'); i != std::string::npos; i = m.find('{', i + 1)) {
        const size_t close = m.find('}', i);
        if (close == std::string::npos)
            break;
        out.push_back(m.substr(i + 1, close - i - 1));
        i = close;
    }
    return out;
}

} // namespace

std::string BreakpointRule::describe() const
{
    std::string out;
    auto add = [&](const std::string& part) { out += (out.empty() ? "" : " ") + part; };
    if (!condition.empty())
        add("if " + condition);
    if (!hitCondition.empty())
        add("hits " + hitCondition);
    if (!logMessage.empty())
        add("log \"" + logMessage + "\"");
    return out;
}

std::optional<std::string> hitConditionError(const std::string& hitCondition)
{
    if (hitCondition.empty() || parseHitCondition(hitCondition))
        return std::nullopt;
    return "The hit count '" + hitCondition + "' is none of N, ==N, >=N, >N or %N";
}

std::optional<std::string> breakpointRuleError(DebugSession& session, const BreakpointRule& rule)
{
    if (auto why = hitConditionError(rule.hitCondition))
        return why;
    if (!rule.condition.empty())
        if (const auto why = Expression::syntaxError(session, rule.condition))
            return "The condition '" + rule.condition + "' is no expression: " + *why;
    for (const std::string& inner : messageExpressions(rule.logMessage))
        if (const auto why = Expression::syntaxError(session, inner))
            return "The log message's {" + inner + "} is no expression: " + *why;
    return std::nullopt;
}

HitVerdict judgeHit(Expression& expression, BreakpointRule& rule)
{
    HitVerdict verdict;
    if (!rule.condition.empty()) {
        std::string error;
        const auto value = expression.evaluate(rule.condition, error);
        if (!value) {
            verdict.error = "The condition '" + rule.condition + "' cannot be evaluated: " + error;
            return verdict;
        }
        if (*value == 0) {
            verdict.stop = false;
            return verdict;
        }
    }
    ++rule.hits;
    if (!rule.hitCondition.empty()) {
        const auto h = parseHitCondition(rule.hitCondition);
        if (!h) {
            verdict.error = *hitConditionError(rule.hitCondition);
            return verdict;
        }
        const bool reached = h->op == "==" ? rule.hits == h->n
                             : h->op == ">" ? rule.hits > h->n
                             : h->op == "%" ? rule.hits % h->n == 0
                                            : rule.hits >= h->n;
        if (!reached) {
            verdict.stop = false;
            return verdict;
        }
    }
    if (!rule.logMessage.empty()) {
        // A logpoint never stops: its text, with each {EXPR} replaced by the value, is logged.
        std::string text;
        const std::string& m = rule.logMessage;
        for (size_t i = 0; i < m.size(); ++i) {
            const size_t close = m[i] == '{' ? m.find('}', i) : std::string::npos;
            if (close == std::string::npos) {
                text += m[i];
                continue;
            }
            std::string error;
            const std::string inner = m.substr(i + 1, close - i - 1);
            const auto value = expression.evaluate(inner, error);
            text += value ? format(*value > 0xFF ? "$%04x" : "$%02x", static_cast<unsigned>(*value & 0xFFFF))
                          : "<" + error + ">";
            i = close;
        }
        verdict.log.push_back(text);
        verdict.stop = false;
    }
    return verdict;
}

std::optional<BreakpointWords> parseBreakpointWords(const std::vector<std::string>& words, std::string& error)
{
    if (words.empty()) {
        error = "a breakpoint needs its address";
        return std::nullopt;
    }
    BreakpointWords out;
    out.address = words[0];
    std::string* value = nullptr;
    bool given[3] = {};
    for (size_t i = 1; i < words.size(); ++i) {
        static constexpr const char* kKeywords[] = {"if", "hits", "log"};
        std::string* fields[] = {&out.rule.condition, &out.rule.hitCondition, &out.rule.logMessage};
        const auto keyword = std::find(std::begin(kKeywords), std::end(kKeywords), words[i]);
        if (keyword != std::end(kKeywords)) {
            const size_t k = static_cast<size_t>(keyword - std::begin(kKeywords));
            if (given[k]) {
                error = "'" + words[i] + "' is given twice";
                return std::nullopt;
            }
            if (value && value->empty()) {
                error = "'" + words[i - 1] + "' needs a value";
                return std::nullopt;
            }
            given[k] = true;
            value = fields[k];
            continue;
        }
        if (!value) {
            error = "'" + words[i] + "' is none of if, hits or log";
            return std::nullopt;
        }
        *value += (value->empty() ? "" : " ") + words[i];
    }
    if (value && value->empty()) {
        error = "'" + words.back() + "' needs a value";
        return std::nullopt;
    }
    return out;
}

// ---------------------------------------------------------------- the session's breakpoint rules

CommandResult DebugSession::setBreakpoint(const std::string& addressText, const BreakpointRule& rule)
{
    CommandResult result;
    const auto address = number(addressText, "address", result);
    if (!address)
        return result;
    const uint32_t at = *address & 0xFFFF;
    if (const auto why = breakpointRuleError(*this, rule)) {
        result.refusal = format(kRuleRefused, at, why->c_str());
        return result;
    }
    const std::vector<uint32_t> table = breakpoints();
    if (!rule.plain() && std::find(table.begin(), table.end(), at) != table.end()) {
        // A rule given for a breakpoint that is set replaces the one it had.
        if (refuseWhileBusy(result))
            return result;
        rules_[at] = {rule};
        result.doneText = format(kRuleChanged, at, rule.describe().c_str());
        return result;
    }
    result = setBreakpoint(addressText);
    if (!result.ok())
        return result;
    if (rule.plain()) {
        rules_.erase(at);
    } else {
        rules_[at] = {rule};
        result.doneText += " " + rule.describe();
    }
    return result;
}

void DebugSession::setBreakpointRules(uint32_t address, std::vector<BreakpointRule> rules)
{
    if (rules.empty() || std::all_of(rules.begin(), rules.end(), [](const BreakpointRule& r) { return r.plain(); }))
        rules_.erase(address & 0xFFFF);
    else
        rules_[address & 0xFFFF] = std::move(rules);
}

std::vector<BreakpointRule> DebugSession::breakpointRules(uint32_t address) const
{
    const auto it = rules_.find(address & 0xFFFF);
    return it == rules_.end() ? std::vector<BreakpointRule>{} : it->second;
}

void DebugSession::pruneRules()
{
    const std::vector<uint32_t> table = breakpoints();
    std::erase_if(rules_, [&](const auto& entry) {
        return std::find(table.begin(), table.end(), entry.first) == table.end();
    });
}

bool DebugSession::ruledHitStops(const BreakpointHit& hit)
{
    if (hit.kind != BreakpointHitKind::Hit)
        return true;
    const uint32_t address = hit.address & 0xFFFF;
    const bool keep = keepBreakpoints_ || keepingRun_;
    if (goal_ && goal_->address == address) {
        // A step's goal: the step decides; a breakpoint of the user's there stays when kept.
        if (keep && !goal_->temporary)
            (void)engine_.setBreakpoint(address);
        return true;
    }
    bool stop = true;
    if (const auto it = rules_.find(address); it != rules_.end()) {
        // The values come from the hit's own record and from memory read here, inside the poll:
        // the registers cost nothing, a [ADDR] one read.
        Expression expression(*this, hit.registers, [this](uint32_t at, uint8_t& byte, std::string& error) {
            BlockTransfer reader(memory_, link_);
            if (const TalkerStatus s = reader.read(at, 1, &byte)) {
                error = talkerStatusText(s);
                return false;
            }
            engine_.lookThroughSwis(at, &byte, 1);
            return true;
        });
        stop = false;
        for (BreakpointRule& rule : it->second) {
            if (rule.plain()) {
                stop = true;
                continue;
            }
            const HitVerdict verdict = judgeHit(expression, rule);
            if (observer_) {
                for (const std::string& line : verdict.log)
                    observer_->breakpointLogged(address, line, false);
                if (!verdict.error.empty())
                    observer_->breakpointLogged(address, verdict.error, true);
            }
            stop = stop || verdict.stop;
        }
    }
    if (stop && !keep) {
        rules_.erase(address); // a one-shot breakpoint has gone with its hit
        return true;
    }
    // The breakpoint goes back into the table: it is planted again when the program resumes.
    if (const TalkerStatus s = engine_.setBreakpoint(address)) {
        rules_.erase(address);
        if (observer_)
            observer_->breakpointLogged(address, format(kNotSetAgain, address, talkerStatusText(s)), true);
        return true;
    }
    if (stop)
        return true;
    engine_.currentPC = address;
    if (const TalkerStatus s = resumeAt(address)) {
        if (observer_)
            observer_->breakpointLogged(address, format(kNotResumed, address, talkerStatusText(s)), true);
        return true;
    }
    return false;
}

void DebugSession::placeTrap(BreakpointHit& hit)
{
    if (hit.kind != BreakpointHitKind::Stopped && hit.kind != BreakpointHitKind::NotInTable)
        return;
    // The talker reports the address before the one the chip stacked: an SWI's own (the chip
    // stacks the address after it), but one byte before an illegal opcode, whose own address
    // the chip stacks. The byte there tells which (an SWI before an illegal opcode reads as the SWI).
    const uint32_t at = hit.address & 0xFFFF;
    uint8_t byte = 0;
    BlockTransfer reader(memory_, link_);
    if (reader.read(at, 1, &byte) != kTalkerOk)
        return;
    engine_.lookThroughSwis(at, &byte, 1);
    if (byte == DebugEngine::kSwiOpcode)
        return;
    hit.address = (at + 1) & 0xFFFF;
    hit.registers.PC = hit.address;
}
