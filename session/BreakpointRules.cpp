#include "session/BreakpointRules.h"

#include "engine/CommandTexts.h"
#include "session/Expression.h"

namespace {

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

} // namespace

std::optional<std::string> hitConditionError(const std::string& hitCondition)
{
    if (hitCondition.empty() || parseHitCondition(hitCondition))
        return std::nullopt;
    return "The hit count '" + hitCondition + "' is none of N, ==N, >=N, >N or %N";
}

HitVerdict judgeHit(DebugSession& session, BreakpointRule& rule)
{
    HitVerdict verdict;
    Expression expression(session); // registers are read at most once for the whole hit
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
            text += value ? CommandText::format(*value > 0xFF ? "$%04x" : "$%02x", static_cast<unsigned>(*value & 0xFFFF))
                          : "<" + error + ">";
            i = close;
        }
        verdict.log.push_back(text);
        verdict.stop = false;
    }
    return verdict;
}
