#include "session/Expression.h"

#include <cctype>
#include <cstring>
#include <vector>

namespace {

constexpr const char* kOperatorChars = "()[]+-&|=!<>";

std::string lowerCase(std::string s)
{
    for (char& c : s)
        c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return s;
}

} // namespace

struct Expression::Parser {
    Expression& owner;
    const std::string& text;
    size_t pos = 0;
    std::string error;

    bool failed() const { return !error.empty(); }
    int64_t fail(const std::string& why)
    {
        if (error.empty())
            error = why;
        return 0;
    }
    void blanks()
    {
        while (pos < text.size() && std::isspace(static_cast<unsigned char>(text[pos])))
            ++pos;
    }
    bool take(const char* op)
    {
        blanks();
        const size_t n = std::strlen(op);
        if (text.compare(pos, n, op) != 0)
            return false;
        // "&" is not the start of "&&", "|" not of "||", "<" not of "<=", "!" not of "!=".
        if (n == 1 && pos + 1 < text.size() &&
            ((op[0] == '&' && text[pos + 1] == '&') || (op[0] == '|' && text[pos + 1] == '|') ||
             ((op[0] == '<' || op[0] == '>' || op[0] == '!') && text[pos + 1] == '=')))
            return false;
        pos += n;
        return true;
    }

    int64_t logicalOr()
    {
        int64_t v = logicalAnd();
        while (!failed() && take("||")) {
            const int64_t r = logicalAnd();
            v = (v != 0 || r != 0) ? 1 : 0;
        }
        return v;
    }
    int64_t logicalAnd()
    {
        int64_t v = comparison();
        while (!failed() && take("&&")) {
            const int64_t r = comparison();
            v = (v != 0 && r != 0) ? 1 : 0;
        }
        return v;
    }
    int64_t comparison()
    {
        const int64_t v = sum();
        static constexpr const char* kOps[] = {"==", "!=", "<=", ">=", "<", ">"};
        for (const char* op : kOps) {
            if (failed() || !take(op))
                continue;
            const int64_t r = sum();
            switch (op[0] == '=' ? 0 : op[0] == '!' ? 1 : op[1] == '=' ? (op[0] == '<' ? 2 : 3) : (op[0] == '<' ? 4 : 5)) {
            case 0: return v == r;
            case 1: return v != r;
            case 2: return v <= r;
            case 3: return v >= r;
            case 4: return v < r;
            default: return v > r;
            }
        }
        return v;
    }
    int64_t sum()
    {
        int64_t v = unary();
        while (!failed()) {
            if (take("+"))
                v += unary();
            else if (take("-"))
                v -= unary();
            else if (take("&"))
                v &= unary();
            else if (take("|"))
                v |= unary();
            else
                break;
        }
        return v;
    }
    int64_t unary()
    {
        if (take("-"))
            return -unary();
        if (take("!"))
            return unary() == 0 ? 1 : 0;
        return primary();
    }
    int64_t primary()
    {
        if (take("(")) {
            const int64_t v = logicalOr();
            if (!failed() && !take(")"))
                return fail("a ')' is missing");
            return v;
        }
        if (take("[")) {
            const int64_t address = logicalOr();
            if (!failed() && !take("]"))
                return fail("a ']' is missing");
            if (failed() || owner.dry_)
                return 0;
            if (address < 0 || address > 0xFFFF)
                return fail("the address of [...] lies outside $0000-$ffff");
            if (owner.readByte_) {
                uint8_t value = 0;
                std::string why;
                if (!owner.readByte_(static_cast<uint32_t>(address), value, why))
                    return fail(why);
                return value;
            }
            std::vector<uint8_t> byte;
            const CommandResult read = owner.session_.readBytes(static_cast<uint32_t>(address), 1, byte);
            if (!read.ok())
                return fail(read.errorText());
            return byte[0];
        }
        blanks();
        const size_t start = pos;
        while (pos < text.size() && !std::isspace(static_cast<unsigned char>(text[pos])) &&
               !std::strchr(kOperatorChars, text[pos]))
            ++pos;
        if (pos == start)
            return fail(pos < text.size() ? "unexpected '" + text.substr(pos, 1) + "'" : "the expression ends early");
        return word(text.substr(start, pos - start));
    }
    int64_t word(const std::string& w)
    {
        static constexpr const char* kRegisters[] = {"a", "b", "d", "x", "y", "sp", "pc", "ccr"};
        const std::string name = lowerCase(w);
        for (const char* r : kRegisters)
            if (name == r)
                return registerValue(name);
        std::string why;
        const auto value = owner.session_.resolveAddress(w, &why);
        if (!value)
            return fail(why.empty() ? "'" + w + "' is no number, register or symbol" : why);
        return *value;
    }
    int64_t registerValue(const std::string& name)
    {
        if (!owner.registers_) {
            const CommandResult read = owner.session_.readRegisters();
            if (!read.ok())
                return fail(read.errorText());
            owner.registers_ = owner.session_.lastRegisters();
        }
        const TargetRegisters& r = *owner.registers_;
        if (name == "a")
            return r.A;
        if (name == "b")
            return r.B;
        if (name == "d")
            return (r.A << 8) | r.B;
        if (name == "x")
            return r.X & 0xFFFF;
        if (name == "y")
            return r.Y & 0xFFFF;
        if (name == "sp")
            return (r.SP + 8) & 0xFFFF; // the frame sits below the program's own stack
        if (name == "pc" && owner.pcGiven_)
            return r.PC & 0xFFFF;
        if (name == "pc")
            return owner.session_.stoppedPC().value_or(owner.session_.currentPC()) & 0xFFFF;
        return r.CCR;
    }
};

std::optional<int64_t> Expression::evaluate(const std::string& text, std::string& error)
{
    Parser p{*this, text, 0, {}};
    const int64_t v = p.logicalOr();
    p.blanks();
    if (!p.failed() && p.pos < text.size())
        p.fail("unexpected '" + text.substr(p.pos) + "'");
    if (p.failed()) {
        error = p.error;
        return std::nullopt;
    }
    return v;
}

std::optional<std::string> Expression::syntaxError(DebugSession& session, const std::string& text)
{
    Expression dry(session, TargetRegisters{}, nullptr);
    dry.dry_ = true;
    std::string error;
    if (dry.evaluate(text, error))
        return std::nullopt;
    return error;
}
