#include "SampleTarget.h"

#include <fstream>

SampleTarget::SampleTarget(const std::string& workDir, BoardSession::Options options)
    : session(workDir, std::move(options)), engine(session.engine)
{
}

std::string SampleTarget::example(const std::string& name)
{
    return std::string(TARVIK11_EXAMPLES_DIR) + "/" + name;
}

uint32_t SampleTarget::flow(const std::string& symbol) const
{
    const auto it = flowSymbols_.find(symbol);
    return it == flowSymbols_.end() ? 0 : it->second;
}

bool SampleTarget::prepare(std::string* error)
{
    if (!session.start(error))
        return false;
    if (TalkerStatus s = session.bootRom()) {
        *error = std::string("talker boot: ") + talkerStatusText(s);
        return false;
    }
    for (const char* name : {"loops.s19", "counter.s19", "flow.s19"}) {
        if (TalkerStatus s = engine.loadS19(example(name))) {
            *error = std::string("loading ") + name + ": " + talkerStatusText(s);
            return false;
        }
    }
    std::ifstream map(example("flow.map"));
    std::string address, kind, name;
    while (map >> address >> kind >> name)
        flowSymbols_[name] = static_cast<uint32_t>(std::stoul(address, nullptr, 16));
    const MemoryImage flowImage = spanOf(readS19Images(example("flow.s19")), 0);
    if (flowImage.bytes.empty() || flow("flow") != flowImage.address) {
        *error = "the flow sample or its map is missing";
        return false;
    }
    code.clear();
    for (const auto& [start, end] : {std::pair{kLoops, kLoopsCodeEnd}, std::pair{kCounter, kCounterCodeEnd},
                                     std::pair{flowImage.address, flow("data")}}) {
        MemoryImage image{start, {}};
        if (TalkerStatus s = session.read(start, end - start, &image.bytes)) {
            *error = std::string("reading the samples back: ") + talkerStatusText(s);
            return false;
        }
        code.push_back(image);
    }
    return true;
}

SampleTarget::Damage SampleTarget::damage()
{
    Damage d;
    for (const MemoryImage& image : code) {
        Bytes actual;
        if (session.read(image.address, image.bytes.size(), &actual) != kTalkerOk) {
            d.unreadable = true;
            actual.clear();
        }
        for (uint32_t a : differences(image, actual)) {
            d.differing.push_back(a);
            const size_t i = a - image.address;
            if (i < actual.size() && actual[i] == DebugEngine::kSwiOpcode)
                d.swis.push_back(a);
        }
    }
    return d;
}

bool SampleTarget::nothingPlanted() const
{
    for (const auto& b : engine.breakpoints)
        if (b.planted)
            return false;
    for (const auto& t : engine.tracepoints)
        if (t.planted)
            return false;
    return true;
}

TalkerStatus SampleTarget::clearBreakpoints()
{
    for (const auto& b : engine.breakpoints)
        if (b.address != 0)
            if (TalkerStatus s = engine.removeBreakpoint(b.address))
                return s;
    return kTalkerOk;
}
