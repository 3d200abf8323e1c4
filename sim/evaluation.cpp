#include "evaluation.h"

#include <algorithm>
#include <cstdlib>

namespace korva::sim {

namespace {

// Inclusive pixel range; empty when first > last.
struct Range {
    int first;
    int last;
};

struct EdgeScan {
    int count = 0;
    int first = 0;
    int last = 0;
    bool startInside = false;
    bool endInside = false;
};

bool isWindowMode(const Words& params)
{
    return params[ccdMode] == 1 || params[ccdMode] == 2;
}

Range edgeWindow(const Words& params)
{
    return {params[eBeg], std::min<int>(params[eEnd], kPixels - 1)};
}

Range intersect(Range a, Range b)
{
    return {std::max(a.first, b.first), std::min(a.last, b.last)};
}

// A pixel lies inside the object when it is darker than the video threshold (polarity 1) or
// at least as bright as it (polarity 0). An edge is a change between neighbouring pixels;
// its position is the first pixel of the new state.
EdgeScan scanEdges(const Line& line, Range range, const Words& params)
{
    EdgeScan scan;
    if (range.first > range.last)
        return scan;
    const bool darkObject = params[polarity] != 0;
    const auto inside = [&](int x) { return (line[x] < params[vThd]) == darkObject; };
    for (int x = range.first + 1; x <= range.last; ++x) {
        if (inside(x) == inside(x - 1))
            continue;
        if (scan.count++ == 0)
            scan.first = x;
        scan.last = x;
    }
    scan.startInside = inside(range.first);
    scan.endInside = inside(range.last);
    return scan;
}

// Centre of the object as the whole edge window sees it: between the outer edges, on the one
// edge, or the middle of the edge window when nothing was found.
int objectCentre(const Line& line, const Words& params)
{
    const EdgeScan scan = scanEdges(line, edgeWindow(params), params);
    if (scan.count == 0)
        return (params[eBeg] + params[eEnd]) / 2;
    return (scan.first + scan.last) / 2;
}

Range searchRange(const Words& params, int start)
{
    const Range edges = edgeWindow(params);
    return isWindowMode(params) ? intersect(edges, {start, start + kWindowPixels - 1}) : edges;
}

// Mode 0 takes the left edge, 1 the right edge, 2 the width, 3 and 4 (and any higher mode)
// the centre. Modes other than 0 need two edges.
std::optional<int> evaluate(const EdgeScan& scan, std::uint16_t mode)
{
    if (scan.count == 0 || (mode != 0 && scan.count < 2))
        return std::nullopt;
    switch (mode) {
    case 0: return scan.first;
    case 1: return scan.last;
    case 2: return scan.last - scan.first;
    default: return (scan.first + scan.last) / 2;
    }
}

std::uint16_t inputState(const std::optional<int>& value, const Words& params)
{
    if (!value)
        return NoEdge;
    return std::abs(*value - int(params[tVal])) <= int(params[tTol]) ? InTolerance : OutOfTolerance;
}

}  // namespace

std::uint16_t windowStart(const Line& line, const Words& params)
{
    switch (params[ccdMode]) {
    case 1: return std::min<std::uint16_t>(params[pStart], kLastWindowStart);
    case 2: return std::clamp(objectCentre(line, params) - kWindowPixels / 2, 0, kLastWindowStart);
    default: return 0;
    }
}

Measurement measure(const Line& line, const Words& params)
{
    const std::uint16_t start = windowStart(line, params);
    const EdgeScan scan = scanEdges(line, searchRange(params, start), params);
    Measurement m;
    m.leftEdge = std::uint16_t(scan.count >= 1 ? scan.first : 0);
    m.rightEdge = std::uint16_t(scan.count >= 2 ? scan.last : 0);
    m.value = evaluate(scan, params[eMode]);
    m.windowStart = start;
    m.edgeCount = std::uint16_t(scan.count);
    m.startInside = scan.startInside;
    m.endInside = scan.endInside;
    return m;
}

Words measurementRecord(const Measurement& m, const Words& params)
{
    return {m.leftEdge, m.rightEdge, std::uint16_t(m.value.value_or(0)), params[tVal],
            inputState(m.value, params), m.windowStart, m.edgeCount, m.startInside, m.endInside,
            0, 0, 0, 0, 0, 0, 0};
}

std::array<std::uint16_t, kCurvePoints> videoCurve(const Line& line, const Words& params)
{
    const int start = windowStart(line, params);
    const int step = isWindowMode(params) ? 1 : kPixels / int(kCurvePoints);
    std::array<std::uint16_t, kCurvePoints> curve{};
    for (int i = 0; i < int(kCurvePoints); ++i)
        curve[i] = line[start + i * step];
    return curve;
}

}  // namespace korva::sim
